#include "messaging/ChatContentUnit.h"

#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/RtfWriterUnit.h"

#include <QRegularExpression>

namespace {


} // namespace

TChatContent ChatContent(const TBroadcastData& record, TChatKind kind, const TMessageLang& lang) {
    TChatContent content;
    content.Summary = lang.ConvertIncomingText(record.LanguageId, record.Summary);
    if (kind == TChatKind::Message) {
        if (const std::optional<TRichDocument> document = ReadRtf(record.Body)) {
            content.Text = lang.ConvertDecoded(record.LanguageId, document->PlainText());
            content.Pictures = document->Pictures();
            return content;
        }
    }
    // Broadcasts and refusals are plain text, and so is a body that is no RTF.
    content.Text = lang.ConvertIncomingText(record.LanguageId, record.Body);
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
