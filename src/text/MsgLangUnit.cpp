#include "text/MsgLangUnit.h"

#include "core/ParamsUnit.h"
#include "platform/CodePageUnit.h"
#include "text/GB2Big5Unit.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <QStringView>

#include <map>

TMessageLang::TMessageLang(qint16 ownLanguageId, const TGBBig5Convert* table)
    : FLanguageId(ownLanguageId), FTable(table) {}

TMessageLang::TMessageLang(const TMessageLang& other)
    : FLanguageId(other.FLanguageId), FTable(other.FTable), FAutoCodeConvert(other.AutoCodeConvert()) {}

TMessageLang& TMessageLang::Instance() {
    static TMessageLang& lang = [] () -> TMessageLang& {
        static TMessageLang made(NetworkLanguageId(Params()[ipNetworkLanguage]), &TGBBig5Convert::Instance());
        made.SetAutoCodeConvert(Params()[bpAutoCodeConvert]);
        return made;
    }();
    return lang;
}

bool TMessageLang::IsGBLanguage(int id) { return id == 2052 || id == 4100; }

bool TMessageLang::IsBig5Language(int id) { return id == 1028 || id == 3076 || id == 5124; }

QByteArray TMessageLang::CodePageName(int id) { return Platform::CodePageName(id); }

QByteArray TMessageLang::Encode(int languageId, const QString& text) {
    const QByteArray name = CodePageName(languageId);
    QStringEncoder encoder(name.constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid()) return text.toLatin1(); // no such converter in this Qt build
    QByteArray out = encoder.encode(text);
    if (!encoder.hasError()) return out;

    // Some character has no code: ICU would write the code page's own
    // substitute (0x1A, 0xFCFC ...), peers expect '?' as Windows writes it.
    out.clear();
    out.reserve(text.size() * 2);
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        const QChar c = view[i];
        if (c.unicode() < 0x80) {
            out += char(c.unicode());
            ++i;
            continue;
        }
        const qsizetype length = c.isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate() ? 2 : 1;
        QStringEncoder one(name.constData(), QStringConverter::Flag::Stateless);
        const QByteArray bytes = one.encode(view.mid(i, length));
        out += one.hasError() || bytes.isEmpty() ? QByteArray("?") : bytes;
        i += length;
    }
    return out;
}

QString TMessageLang::Decode(int languageId, const QByteArray& bytes) {
    // One decoder per code page (a fixed set) and thread: opening a converter
    // costs more than decoding a message with it.
    thread_local std::map<QByteArray, QStringDecoder> decoders;
    const QByteArray name = CodePageName(languageId);
    auto it = decoders.find(name);
    if (it == decoders.end())
        it = decoders.emplace(name, QStringDecoder(name.constData(), QStringConverter::Flag::Stateless)).first;
    QStringDecoder& decoder = it->second;
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    decoder.resetState();
    return decoder.decode(bytes);
}

qint16 TMessageLang::SystemLanguageId() { return Platform::SystemLanguageId(); }

qint16 TMessageLang::NetworkLanguageId(int setting) {
    // A usable QUILLMATE_LANGID (the lab's nodes) wins over the setting.
    bool ok = false;
    const int forced = qgetenv("QUILLMATE_LANGID").trimmed().toInt(&ok);
    if (ok && forced > 0 && forced <= 0xFFFF) return SystemLanguageId();
    return setting != 0 && IsKnownLanguageId(setting) ? qint16(setting) : SystemLanguageId();
}

bool TMessageLang::IsKnownLanguageId(int id) { return Platform::IsKnownLanguageId(id); }

qint16 TMessageLang::LanguageIdOfLocale(const QLocale& locale) { return Platform::LanguageIdOfLocale(locale); }

QByteArray TMessageLang::EncodeOutgoing(const QString& text) const { return Encode(FLanguageId, text); }

QString TMessageLang::DecodeFrom(int senderLanguageId, const QByteArray& bytes) const {
    return Decode(senderLanguageId, bytes);
}

bool TMessageLang::NeedsConversion(int senderLanguageId) const {
    return FTable && FTable->Available() && AutoCodeConvert() && senderLanguageId != FLanguageId &&
           ((IsGBLanguage(FLanguageId) && IsBig5Language(senderLanguageId)) ||
            (IsBig5Language(FLanguageId) && IsGBLanguage(senderLanguageId)));
}

QString TMessageLang::ConvertFrom(int senderLanguageId, const QByteArray& bytes) const {
    if (FTable && IsGBLanguage(FLanguageId) && IsBig5Language(senderLanguageId)) return FTable->Big5ToGB(bytes);
    if (FTable && IsBig5Language(FLanguageId) && IsGBLanguage(senderLanguageId)) return FTable->GBToBig5(bytes);
    return DecodeFrom(senderLanguageId, bytes);
}

QString TMessageLang::ConvertIncomingText(int senderLanguageId, const QByteArray& bytes) const {
    return NeedsConversion(senderLanguageId) ? ConvertFrom(senderLanguageId, bytes) : DecodeFrom(senderLanguageId, bytes);
}

QString TMessageLang::ConvertDecoded(int senderLanguageId, const QString& text) const {
    if (!NeedsConversion(senderLanguageId)) return text;
    const QByteArray name = CodePageName(senderLanguageId);
    QStringEncoder whole(name.constData(), QStringConverter::Flag::Stateless);
    const QByteArray bytes = whole.encode(text);
    if (whole.isValid() && !whole.hasError()) return ConvertFrom(senderLanguageId, bytes);

    // Characters the sender's code page lacks (U+FFFD for bytes its decoder
    // could not read, Unicode that rich text carried) stay as they are.
    QString out;
    QString run;
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        const qsizetype length =
            view[i].isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView piece = view.mid(i, length);
        QStringEncoder one(name.constData(), QStringConverter::Flag::Stateless);
        const QByteArray pieceBytes = one.encode(piece);
        if (one.hasError() || pieceBytes.isEmpty()) {
            out += ConvertFrom(senderLanguageId, Encode(senderLanguageId, run));
            run.clear();
            out += piece;
        } else {
            run += piece;
        }
        i += length;
    }
    return out + ConvertFrom(senderLanguageId, Encode(senderLanguageId, run));
}
