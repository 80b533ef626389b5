#include "text/CodePageCheckUnit.h"

#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QStringEncoder>
#include <QStringView>

namespace CodePageCheck {
namespace {

// A long list helps nobody: the first ones name the problem.
constexpr qsizetype kNamedAtMost = 20;

bool Encodable(const QByteArray& codePage, QStringView piece) {
    QStringEncoder encoder(codePage.constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid()) {
        for (QChar c : piece)
            if (c.unicode() > 0xFF) return false;
        return true;
    }
    const QByteArray bytes = encoder.encode(piece);
    return !encoder.hasError() && !bytes.isEmpty();
}

} // namespace

QStringList MissingCharacters(int languageId, const QString& text) {
    const QByteArray codePage = TMessageLang::CodePageName(languageId);
    QStringList missing;
    // Pictures stand in the text as U+FFFC and travel as pictures.
    QString checked = text;
    checked.remove(QChar::ObjectReplacementCharacter);
    if (Encodable(codePage, checked)) return missing;
    const QStringView view(checked);
    for (qsizetype i = 0; i < view.size();) {
        const qsizetype length =
            view[i].isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView piece = view.mid(i, length);
        if (piece.front().unicode() >= 0x80 && !Encodable(codePage, piece)) {
            const QString character = piece.toString();
            if (!missing.contains(character)) missing << character;
        }
        i += length;
    }
    return missing;
}

QString WarningText(int languageId, const QString& text, bool richText) {
    const QStringList missing = MissingCharacters(languageId, text);
    if (missing.isEmpty()) return {};
    QString named = missing.mid(0, kNamedAtMost).join(QLatin1Char(' '));
    if (missing.size() > kNamedAtMost) named += QStringLiteral(" ...");
    const QString codePage = QString::fromLatin1(TMessageLang::CodePageName(languageId));
    // Two paragraphs: a language file holds one line per text.
    const QString what = TranslateFormat(
        QStringLiteral("The code page of your network language (%s) cannot carry these characters: %s"), {codePage, named});
    const QString outcome =
        richText ? Translate(QStringLiteral("The message keeps them, but its summary in notifications and programs that "
                                            "read no Unicode show \"?\" in their place. Send anyway?"))
                 : Translate(QStringLiteral("Other users would see \"?\" in their place. Send anyway?"));
    return what + QStringLiteral("\r\n") + outcome;
}

} // namespace CodePageCheck
