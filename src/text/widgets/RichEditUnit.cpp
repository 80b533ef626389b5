#include "text/widgets/RichEditUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfCodePageUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/RichAnimationUnit.h"
#include "text/widgets/RichMimeUnit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QUrl>

qint64 MaxPictureFileBytes() {
    // Hex in the RTF and a rendition for other readers come on top of the bytes.
    return TRtfReadLimits{}.MaxPictureBytes / 4;
}

TRichEdit::TRichEdit(TApplicationParams& params, QWidget* parent)
    : QTextEdit(parent), FParams(params),
      FFileDialog([](QWidget* owner, const TFileDialogRequest& request) { return ShowFileDialog(owner, request); }),
      FMessageBox([](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
          return ShowRichMessageBox(owner, kind, text);
      }) {
    FAnimator = std::make_unique<TRichAnimator>(*this, FStore);
    FScan.setSingleShot(true);
    FScan.setInterval(0);
    connect(&FScan, &QTimer::timeout, this, &TRichEdit::ScanPictures);
    connect(document(), &QTextDocument::contentsChange, this, [this] { FScan.start(); });
}

TRichEdit::~TRichEdit() = default;

// ------------------------------------------------------------------ content

TRichDocument TRichEdit::Document() const { return RichDocumentOf(*document(), FStore); }

TRichDocument TRichEdit::SelectedDocument() const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) return {};
    return RichDocumentOf(*document(), FStore, cursor.selectionStart(), cursor.selectionEnd());
}

void TRichEdit::SetDocument(const TRichDocument& content) {
    const bool undo = document()->isUndoRedoEnabled();
    document()->setUndoRedoEnabled(false); // also forgets what there was to undo
    clear();
    QTextCursor cursor(document());
    InsertDocumentAt(cursor, content);
    document()->setUndoRedoEnabled(undo);
    RefreshPictures();
}

TRtfWriteOptions TRichEdit::RtfOptions() {
    TRtfWriteOptions options;
    options.CodePage = CodePageOfLanguage(TMessageLang::Instance().LanguageId());
    options.PngRendition = [](const TRichPicture& picture) { return PngRendition(picture); };
    return options;
}

QByteArray TRichEdit::Rtf() const { return WriteRtf(Document(), RtfOptions()); }

bool TRichEdit::SetRtf(const QByteArray& rtf) {
    const std::optional<TRichDocument> content = ReadRtf(rtf);
    if (!content) return false;
    SetDocument(*content);
    return true;
}

void TRichEdit::SetPlainTextMode(bool on) {
    FPlainText = on;
    setAcceptRichText(!on);
}

// ------------------------------------------------------------------ pictures

void TRichEdit::InsertDocument(const TRichDocument& content) {
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    InsertDocumentAt(cursor, content);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void TRichEdit::InsertDocumentAt(QTextCursor& cursor, const TRichDocument& content) {
    if (FPlainText) cursor.insertText(content.PlainText().remove(QChar::ObjectReplacementCharacter));
    else InsertRichDocument(cursor, content, FStore);
}

void TRichEdit::InsertPicture(const QByteArray& bytes) {
    if (FPlainText || bytes.isEmpty()) return;
    QTextCursor cursor = textCursor();
    InsertRichPicture(cursor, TRichPicture{bytes, SniffPictureFormat(bytes)}, FStore);
    setTextCursor(cursor);
}

bool TRichEdit::InsertImageFile(const QString& path) {
    if (path.isEmpty() || FPlainText) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxPictureFileBytes()) return false;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) return false;
    InsertPicture(bytes);
    return true;
}

const TRichPicture* TRichEdit::SelectedPicture() const {
    const QTextCursor cursor = textCursor();
    if (cursor.selectionEnd() - cursor.selectionStart() != 1) return nullptr;
    return FStore.Find(PictureNameAt(*document(), cursor.selectionStart()));
}

QStringList TRichEdit::AnimatedPictures() const { return FAnimator->Running(); }

bool TRichEdit::AnimationsPaused() const { return FAnimator->IsPaused(); }

void TRichEdit::RefreshPictures() {
    FScan.stop();
    ScanPictures();
}

void TRichEdit::ScanPictures() {
    QHash<QString, QList<int>> gifs;
    QSet<QString> present;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) continue;
            const QString name = fragment.charFormat().toImageFormat().name();
            present.insert(name);
            const TRichPicture* picture = FStore.Find(name);
            if (!picture || picture->Format != TPictureFormat::Gif) continue;
            QList<int>& positions = gifs[name];
            for (int i = 0; i < fragment.length(); ++i) positions.append(fragment.position() + i);
        }
    FAnimator->Follow(gifs);
    // With nothing to undo or redo, pictures gone from the text are gone for good.
    if (!document()->isUndoAvailable() && !document()->isRedoAvailable()) FStore.Keep(present);
}

QVariant TRichEdit::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource) {
        const QImage image = FStore.Shown(name.toString());
        if (!image.isNull()) return image;
    }
    return QTextEdit::loadResource(type, name);
}

int TRichEdit::PictureAt(const QPoint& point) const {
    const int hit = cursorForPosition(point).position();
    for (int position : {hit, hit - 1}) {
        if (position < 0) continue;
        const QString name = PictureNameAt(*document(), position);
        if (name.isEmpty()) continue;
        QTextCursor cursor(document());
        cursor.setPosition(position);
        const QRect caret = cursorRect(cursor);
        const QSize size = FStore.ShownSize(name).isValid() ? FStore.ShownSize(name) : QSize(1, caret.height());
        const QRect box(caret.left(), qMin(caret.top(), caret.bottom() - size.height()), size.width() + 1,
                        qMax(caret.height(), size.height()));
        if (box.contains(point)) return position;
    }
    return -1;
}

void TRichEdit::mousePressEvent(QMouseEvent* event) {
    // A click on a picture selects it, as an object is selected in a rich edit.
    const bool plain = event->modifiers() == Qt::NoModifier;
    if (plain && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)) {
        const int position = PictureAt(event->position().toPoint());
        if (position >= 0) {
            QTextCursor cursor(document());
            cursor.setPosition(position);
            cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
            setTextCursor(cursor);
            setFocus(Qt::MouseFocusReason);
            event->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

// ------------------------------------------------------------------ clipboard out

QMimeData* TRichEdit::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    auto mime = std::make_unique<QMimeData>();
    if (!cursor.hasSelection()) return mime.release();
    QString text = cursor.selection().toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    mime->setText(text);
    if (FPlainText) return mime.release();
    mime->setData(RichMime::Rtf, WriteRtf(SelectedDocument(), RtfOptions()));
    if (const TRichPicture* picture = SelectedPicture()) {
        const QString name = PictureNameAt(*document(), cursor.selectionStart());
        RichMime::AddPicture(*mime, *picture, FStore.IsPlaceholder(name) ? QImage() : FStore.Shown(name));
    }
    return mime.release();
}

// ------------------------------------------------------------------ commands

void TRichEdit::ShowMessage(Utils::TMessageBoxKind kind, const QString& text) {
    if (FMessageBox) FMessageBox(this, kind, text);
}

void TRichEdit::WriteFile(const QString& path, const QByteArray& bytes) {
    WriteFileInBackground(this, path, bytes, [this, path](bool ok, const QString& error) {
        if (!ok)
            ShowMessage(Utils::TMessageBoxKind::Error,
                        TranslateFormat(QStringLiteral("Cannot write the file %s (%s)."), {path, error}));
        emit FileWritten(path, ok);
    });
}

void TRichEdit::InsertImageCommand() {
    if (isReadOnly() || FPlainText) return;
    TFileDialogRequest request;
    request.Folder = PictureFolder(FParams);
    request.Filter = ImageFileFilter();
    const QString path = FFileDialog(this, request);
    if (path.isEmpty()) return;
    if (!InsertImageFile(path)) {
        ShowMessage(Utils::TMessageBoxKind::Error,
                    TranslateFormat(QStringLiteral("Cannot read the picture file %s."), {path}));
        return;
    }
    RememberPictureFolder(FParams, path);
    setFocus();
}

void TRichEdit::SaveImageAs() {
    const TRichPicture* picture = SelectedPicture();
    if (!picture) return;
    const QByteArray bytes = picture->Bytes; // the dialog may outlive the selection
    TFileDialogRequest request;
    request.Save = true;
    request.Folder = PictureFolder(FParams);
    request.Filter = ImageFileFilter();
    request.ProposedName = QStringLiteral("QLMChatImage.gif");
    request.DefaultSuffix = QStringLiteral("gif");
    const QString path = FFileDialog(this, request);
    if (path.isEmpty()) return;
    RememberPictureFolder(FParams, path);
    WriteFile(path, bytes);
}

void TRichEdit::ExportToRtfFile(bool selectionOnly) {
    if (selectionOnly && !textCursor().hasSelection()) return;
    TFileDialogRequest request;
    request.Save = true;
    request.Folder = Utils::WithTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    request.Filter = RtfFileFilter();
    request.ProposedName = QStringLiteral("QLMChatRecord.rtf");
    request.DefaultSuffix = QStringLiteral("rtf");
    const QString path = FFileDialog(this, request);
    if (path.isEmpty()) return;
    const TRichDocument content = selectionOnly ? SelectedDocument() : Document();
    WriteFile(path, FPlainText ? TMessageLang::Instance().EncodeOutgoing(content.PlainText())
                               : WriteRtf(content, RtfOptions()));
}

void TRichEdit::PasteSpecial() { paste(); }

// ------------------------------------------------------------------ context menu

void TRichEdit::BuildContextMenu(QMenu* menu) {
    menu->setObjectName(QStringLiteral("RichEditPopup"));
    const bool editable = !isReadOnly();
    const bool selected = textCursor().hasSelection();
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    const bool canPaste = clipboard && !clipboard->formats().isEmpty();
    auto add = [menu](const char* name, const QString& caption, bool visible, bool enabled, auto&& slot) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setVisible(visible);
        action->setEnabled(enabled);
        QObject::connect(action, &QAction::triggered, menu, slot);
        return action;
    };
    add("miCut", Translate(QStringLiteral("Cu&t")), editable, selected, [this] { cut(); });
    add("miCopy", Translate(QStringLiteral("&Copy")), true, selected, [this] { copy(); });
    add("miPaste", Translate(QStringLiteral("&Paste")), editable, canPaste, [this] { paste(); });
    add("miPasteSpecial", Translate(QStringLiteral("Paste &Special...")), editable, canPaste,
        [this] { PasteSpecial(); });
    menu->addSeparator();
    add("miSelectAll", Translate(QStringLiteral("Select &All")), true, true, [this] { selectAll(); });
    add("miInsertImage", Translate(QStringLiteral("&Insert Image")), editable && !FPlainText, true,
        [this] { InsertImageCommand(); });
    add("miSaveImageAs", Translate(QStringLiteral("Save I&mage as...")), SelectedPicture() != nullptr, true,
        [this] { SaveImageAs(); });
    menu->addSeparator();
    add("miExportToRtf", Translate(QStringLiteral("&Export to RTF File...")), !editable, true,
        [this] { ExportToRtfFile(false); });
    add("miExportSelectedToRtf", Translate(QStringLiteral("Export Se&lected to RTF File...")), !editable, selected,
        [this] { ExportToRtfFile(true); });
}

void TRichEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    BuildContextMenu(&menu);
    menu.exec(event->globalPos());
}
