#include "text/widgets/RichInputUnit.h"

#include "text/SummaryUnit.h"

#include "core/ParamsUnit.h"

#include <QTextDocument>

namespace {

constexpr int kMinFontPoints = 1;
constexpr int kMaxFontPoints = 1638; // a rich edit's largest size
// Windows' "window text" system colour: the automatic colour of text.
constexpr quint32 kWindowTextSetting = 0xFF000008u;

} // namespace

TRichInputBox::TRichInputBox(TApplicationParams& params, QWidget* parent)
    : TRichEdit(params, parent),
      FPasteSpecialDialog([](QWidget* owner, const QList<TPasteChoice>& choices) {
          return ShowPasteSpecialDialog(owner, choices);
      }) {
    setObjectName(QStringLiteral("RichED"));
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int from, int, int added) { FChangeEnd = from + added; });
    connect(this, &QTextEdit::textChanged, this, [this] {
        CutToMaxLength(FChangeEnd);
        if (document()->isEmpty()) ResetInputFormat();
    });
    ResetInputFormat();
}

QString TRichInputBox::MakeFirst2Line() const { return ::MakeFirst2Line(toPlainText()); }

// ------------------------------------------------------------------ length

void TRichInputBox::SetMaxLength(int characters) {
    FMaxLength = qMax(0, characters);
    CutToMaxLength(document()->characterCount() - 1);
}

void TRichInputBox::CutToMaxLength(int changeEnd) {
    const int length = document()->characterCount() - 1;
    if (FMaxLength <= 0 || length <= FMaxLength || FCutting) return;
    FCutting = true;
    // What came in last goes: the end of the change, or else the end of the text.
    const int overflow = length - FMaxLength;
    const int end = changeEnd >= overflow && changeEnd <= length ? changeEnd : length;
    QTextCursor cursor(document());
    cursor.setPosition(end - overflow);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    FCutting = false;
}

// ------------------------------------------------------------------ formats

QTextCharFormat TRichInputBox::SettingsFormat() const {
    QTextCharFormat format;
    const QString family = FParams[spRichEditFontName];
    format.setFontFamilies(QStringList{family.isEmpty() ? font().family() : family});
    const int points = FParams[ipRichEditFontSize];
    if (points >= kMinFontPoints && points <= kMaxFontPoints) format.setFontPointSize(points);
    format.setFontWeight(FParams[bpBold] ? QFont::Bold : QFont::Normal);
    format.setFontItalic(FParams[bpItalic]);
    format.setFontUnderline(FParams[bpUnderLine]);
    const int colour = FParams[ipRichEditFontColor];
    // No brush: the automatic colour, which follows the window's text colour.
    format.setForeground(quint32(colour) == kWindowTextSetting ? QBrush() : QBrush(ColourFromSetting(colour)));
    return format;
}

void TRichInputBox::ResetInputFormat() {
    if (isReadOnly() || PlainTextMode() || FResetting) return;
    FResetting = true;
    const QTextCharFormat format = SettingsFormat();
    mergeCurrentCharFormat(format);
    QTextCursor word = textCursor();
    if (!word.hasSelection()) {
        word.select(QTextCursor::WordUnderCursor);
        if (word.hasSelection()) word.mergeCharFormat(format);
    }
    FResetting = false;
}

void TRichInputBox::ApplyToWholeText(const QTextCharFormat& format) {
    if (isReadOnly() || PlainTextMode()) return;
    // A cursor of its own: the user's selection stays as it is.
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(format);
    mergeCurrentCharFormat(format);
}

void TRichInputBox::ApplyFontName(const QString& family) {
    if (isReadOnly() || PlainTextMode() || family.isEmpty()) return;
    QTextCharFormat format;
    format.setFontFamilies(QStringList{family});
    ApplyToWholeText(format);
    FParams[spRichEditFontName] = family;
}

void TRichInputBox::ApplyFontSize(int points) {
    if (isReadOnly() || PlainTextMode() || points < kMinFontPoints || points > kMaxFontPoints) return;
    QTextCharFormat format;
    format.setFontPointSize(points);
    ApplyToWholeText(format);
    FParams[ipRichEditFontSize] = points;
}

void TRichInputBox::ApplyFontStyle(bool bold, bool italic, bool underline) {
    if (isReadOnly() || PlainTextMode()) return;
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(italic);
    format.setFontUnderline(underline);
    ApplyToWholeText(format);
    FParams[bpBold] = bold;
    FParams[bpItalic] = italic;
    FParams[bpUnderLine] = underline;
}

void TRichInputBox::ApplyFontColour(const QColor& colour) {
    if (isReadOnly() || PlainTextMode() || !colour.isValid()) return;
    QTextCharFormat format;
    format.setForeground(colour);
    ApplyToWholeText(format);
    FParams[ipRichEditFontColor] = SettingFromColour(colour);
}
