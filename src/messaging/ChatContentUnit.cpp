#include "messaging/ChatContentUnit.h"

#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/RtfWriterUnit.h"

#include <QRegularExpression>

namespace {

constexpr qsizetype kSummaryChars = 255;
const QString kNoText = QStringLiteral("<space or object>");

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

QString MakeFirst2Line(const QString& plainText) {
    qsizetype cut = qMin(plainText.size(), kSummaryChars);
    // Never half a character.
    if (cut > 0 && cut < plainText.size() && plainText[cut - 1].isHighSurrogate()) --cut;
    QString text = plainText.left(cut);
    text.remove(QLatin1Char('\t'));
    // A picture reads as a blank, so a line of pictures alone counts as empty.
    text.replace(QChar::ObjectReplacementCharacter, QLatin1Char(' '));

    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size() && lines.size() < 2; ++i) {
        if (!IsLineBreak(text[i])) continue;
        lines << text.mid(start, i - start);
        // CR LF is one break.
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (lines.size() < 2) lines << text.mid(start);
    QString first = lines.value(0);
    if (first.trimmed().isEmpty()) first = kNoText;
    return first + QStringLiteral("\r\n") + lines.value(1);
}

TChatContent ChatContent(const TBroadcastData& record, TChatKind kind, const TMessageLang& lang) {
    TChatContent content;
    content.Summary = lang.DecodeFrom(record.LanguageId, record.Summary);
    if (kind == TChatKind::Message) {
        if (const std::optional<TRichDocument> document = ReadRtf(record.Body)) {
            content.Text = document->PlainText();
            content.Pictures = document->Pictures();
            return content;
        }
    }
    // Broadcasts and refusals are plain text, and so is a body that is no RTF.
    content.Text = lang.DecodeFrom(record.LanguageId, record.Body);
    return content;
}

int RtfCodePageOfLanguage(int languageId) {
    const QByteArray name = TMessageLang::CodePageName(languageId);
    if (name == "GBK") return 936;
    static const QRegularExpression kNumber(QStringLiteral("(\\d+)$"));
    const QRegularExpressionMatch match = kNumber.match(QString::fromLatin1(name));
    return match.hasMatch() ? match.captured(1).toInt() : kDefaultCodePage;
}

QByteArray RichBodyFromText(const QString& text, const QList<TRichPicture>& pictures, int languageId) {
    TRichDocument document;
    const TRichFormat format;
    document.AppendText(text, format);
    for (const TRichPicture& picture : pictures) {
        if (!document.Paragraphs.isEmpty()) document.NewParagraph();
        document.AppendPicture(picture, format);
    }
    TRtfWriteOptions options;
    options.CodePage = RtfCodePageOfLanguage(languageId);
    return WriteRtf(document, options);
}
