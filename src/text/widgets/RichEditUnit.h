#pragma once

#include "text/RichDocUnit.h"
#include "text/RtfWriterUnit.h"
#include "text/widgets/RichDialogsUnit.h"
#include "text/widgets/RichTextDocUnit.h"

#include <QTextEdit>
#include <QTimer>
#include <memory>

class QMenu;
class TApplicationParams;
class TRichAnimator;

// The largest picture file that goes into a message: a peer's reader drops
// bigger ones.
qint64 MaxPictureFileBytes();

// What the rich-text panes share: the document model in and out (RTF through
// the codec), pictures that keep their own bytes and animate, the context
// menu (RichEditPopup), Save Image as and the RTF export. The input box and
// the conversation pane are thin classes on top.
class TRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(TApplicationParams& params, QWidget* parent = nullptr);
    ~TRichEdit() override;

    // The whole content, or the selection, as the model.
    TRichDocument Document() const;
    TRichDocument SelectedDocument() const;
    // Replaces the content (nothing to undo afterwards).
    void SetDocument(const TRichDocument& document);
    // RTF in this node's code page.
    QByteArray Rtf() const;
    // False when the bytes are no RTF; the content stays as it was then.
    bool SetRtf(const QByteArray& rtf);
    static TRtfWriteOptions RtfOptions();

    // Plain-text mode: no formatting and no pictures go in, and the export
    // writes plain text.
    void SetPlainTextMode(bool on);
    bool PlainTextMode() const { return FPlainText; }

    // A document at the caret, replacing the selection (a pasted RTF, a
    // history entry); its text only in plain-text mode.
    void InsertDocument(const TRichDocument& content);
    // One picture at the caret (replacing the selection), in the caret's
    // format; nothing in plain-text mode.
    void InsertPicture(const QByteArray& bytes);
    // The file's bytes as a picture; false when path is empty or the file
    // cannot be read or is too big for a message.
    bool InsertImageFile(const QString& path);

    // The picture the selection is exactly, if it is one.
    const TRichPicture* SelectedPicture() const;
    const TRichPictureStore& Pictures() const { return FStore; }
    // Names of the pictures animating now.
    QStringList AnimatedPictures() const;
    // True while the edit is hidden: its animations wait.
    bool AnimationsPaused() const;
    // Looks the pictures up at once instead of when the event loop is free.
    void RefreshPictures();

    // Commands of the context menu (and of the message window's tool bar).
    void InsertImageCommand();
    void SaveImageAs();
    void ExportToRtfFile(bool selectionOnly);
    virtual void PasteSpecial();

    // Fills menu with RichEditPopup's items for the current state (object
    // names "miCut", "miCopy", "miPaste", "miPasteSpecial", "miSelectAll",
    // "miSaveImageAs", "miExportToRtf", "miExportSelectedToRtf", "miInsertImage").
    void BuildContextMenu(QMenu* menu);

    void SetFileDialog(TFileDialog dialog) { FFileDialog = std::move(dialog); }
    void SetMessageBox(TMessageBox messageBox) { FMessageBox = std::move(messageBox); }

signals:
    // A file of Save Image as or of the export was written (or not).
    void FileWritten(const QString& path, bool ok);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    QVariant loadResource(int type, const QUrl& name) override;

    // content at cursor, its pictures kept with their bytes.
    void InsertDocumentAt(QTextCursor& cursor, const TRichDocument& content);
    // Position of the picture under a point of the viewport; -1 when none.
    int PictureAt(const QPoint& point) const;
    void ShowMessage(Utils::TMessageBoxKind kind, const QString& text);
    void WriteFile(const QString& path, const QByteArray& bytes);

    TApplicationParams& FParams;
    TFileDialog FFileDialog;
    TMessageBox FMessageBox;

private:
    void ScanPictures();

    TRichPictureStore FStore;
    std::unique_ptr<TRichAnimator> FAnimator; // after FStore, which it reads
    QTimer FScan;
    bool FPlainText = false;
};
