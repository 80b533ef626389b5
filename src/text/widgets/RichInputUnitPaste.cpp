// Drops and pastes into the input box: the acceptance rules and Paste Special.
#include "text/widgets/RichInputUnit.h"

#include "text/RtfReaderUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/RichMimeUnit.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTextDocumentFragment>

namespace {

void RemovePictures(TRichDocument& content) {
    for (TRichParagraph& paragraph : content.Paragraphs)
        paragraph.Runs.removeIf([](const TRichRun& run) { return run.IsPicture(); });
}

} // namespace

bool TRichInputBox::IsPictureExtension(const QString& suffix) {
    static const QStringList extensions = {QStringLiteral("gif"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                           QStringLiteral("bmp"), QStringLiteral("ico")};
    return extensions.contains(suffix.toLower());
}

bool TRichInputBox::canInsertFromMimeData(const QMimeData* source) const {
    // Asking is always answered yes; the rules decide on the drop itself.
    return source != nullptr;
}

void TRichInputBox::insertFromMimeData(const QMimeData* source) {
    if (!source || isReadOnly()) return;
    if (PlainTextMode()) {
        if (source->hasText()) TakeText(source->text());
        return;
    }
    const QStringList files = RichMime::LocalFiles(*source);
    if (!files.isEmpty()) {
        TakeFiles(files);
        return;
    }
    if (RichMime::HasBitmap(*source)) {
        TakeBitmap(*source, true);
        return;
    }
    if (RichMime::HasPrivateFormat(*source) && TakeRtf(RichMime::PrivateFormatOf(*source), true)) return;
    if (source->hasText()) TakeText(source->text());
    else if (source->hasHtml()) TakeText(QTextDocumentFragment::fromHtml(source->html()).toPlainText());
}

void TRichInputBox::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    const bool fromHere = event->source() == this || event->source() == viewport();
    const bool refused = data && !fromHere && !isReadOnly() && !PlainTextMode() &&
                         (!RichMime::LocalFiles(*data).isEmpty() || RichMime::HasBitmap(*data));
    if (!refused) {
        TRichEdit::dropEvent(event);
        return;
    }
    setTextCursor(cursorForPosition(event->position().toPoint()));
    insertFromMimeData(data);
    setFocus(Qt::OtherFocusReason);
    // Refused: the source keeps what it offered (no file is moved away).
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
}

bool TRichInputBox::TakeFiles(const QStringList& paths) {
    if (paths.size() == 1) {
        const QFileInfo info(paths.first());
        const QString suffix = info.suffix().toLower();
        if (IsPictureExtension(suffix) && info.isFile()) {
            bool inserted = false;
            if (suffix == QLatin1String("ico")) {
                QFile file(info.filePath());
                if (file.open(QIODevice::ReadOnly) && file.size() <= MaxPictureFileBytes()) {
                    const QColor background = viewport()->palette().color(viewport()->backgroundRole());
                    const QByteArray bmp = IconBmpOnBackground(file.readAll(), background);
                    if (!bmp.isEmpty()) {
                        InsertPicture(bmp);
                        inserted = true;
                    }
                }
            } else {
                inserted = InsertImageFile(info.filePath());
            }
            if (!inserted)
                ShowMessage(Utils::TMessageBoxKind::Error,
                            TranslateFormat(QStringLiteral("Cannot read the picture file %s."), {info.filePath()}));
            return inserted;
        }
        if (IsPictureExtension(suffix) && !info.exists()) return false;
    }
    if (FRecipientCount < 2) emit FileSendRequested(paths);
    else ShowMessage(Utils::TMessageBoxKind::Information, Translate(QStringLiteral("Cannot send file to multi users.")));
    return false;
}

void TRichInputBox::TakeBitmap(const QMimeData& data, bool ownBytes) {
    if (ownBytes) {
        const QByteArray bytes = RichMime::OwnPictureBytes(data);
        if (!bytes.isEmpty()) {
            InsertPicture(bytes);
            return;
        }
    }
    const QColor background = viewport()->palette().color(viewport()->backgroundRole());
    const QByteArray bmp = BmpOnBackground(RichMime::BitmapOf(data), background);
    if (!bmp.isEmpty()) InsertPicture(bmp);
}

bool TRichInputBox::TakeRtf(const QByteArray& rtf, bool withPictures) {
    std::optional<TRichDocument> content = ReadRtf(rtf);
    if (!content) return false;
    if (!withPictures) RemovePictures(*content);
    InsertDocument(*content);
    return true;
}

void TRichInputBox::TakeText(const QString& text) {
    if (!text.isEmpty()) insertPlainText(text);
}

// ------------------------------------------------------------------ Paste Special

QList<TPasteChoice> TRichInputBox::PasteChoices(const QMimeData& data) const {
    QList<TPasteChoice> choices;
    if (data.hasText())
        choices.append({TPasteChoice::pkText, Translate(QStringLiteral("Unformatted Text")),
                        Translate(QStringLiteral("Text Without Any Formatting"))});
    if (PlainTextMode()) return choices;
    if (RichMime::HasBitmap(data)) {
        choices.append({TPasteChoice::pkBitmap, Translate(QStringLiteral("Windows Bitmap")),
                        Translate(QStringLiteral("Windows Bitmap Image"))});
        choices.append({TPasteChoice::pkDib, Translate(QStringLiteral("DIB")),
                        Translate(QStringLiteral("Device-Independent Bitmap Image"))});
    }
    if (!RichMime::RtfOf(data).isEmpty()) {
        choices.append({TPasteChoice::pkRtf, Translate(QStringLiteral("Rich Text Format")),
                        Translate(QStringLiteral("Rich Text Format"))});
        choices.append({TPasteChoice::pkRtfWithoutObjects, Translate(QStringLiteral("Rich Text Format Without Objects")),
                        Translate(QStringLiteral("Rich Text Format Without Objects"))});
    }
    return choices;
}

void TRichInputBox::PasteSpecial() {
    if (isReadOnly()) return;
    const QMimeData* offered = QApplication::clipboard()->mimeData();
    if (!offered) return;
    const QList<TPasteChoice> choices = PasteChoices(*offered);
    if (choices.isEmpty()) return;
    const int chosen = FPasteSpecialDialog ? FPasteSpecialDialog(this, choices) : -1;
    if (chosen < 0 || chosen >= choices.size()) return;
    // The clipboard may have changed while the dialog was open.
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data) return;
    switch (choices[chosen].Kind) {
    case TPasteChoice::pkText: TakeText(data->text()); break;
    case TPasteChoice::pkBitmap:
    case TPasteChoice::pkDib: TakeBitmap(*data, true); break;
    case TPasteChoice::pkRtf: TakeRtf(RichMime::RtfOf(*data), true); break;
    case TPasteChoice::pkRtfWithoutObjects: TakeRtf(RichMime::RtfOf(*data), false); break;
    }
}
