#include "text/widgets/RichDialogsUnit.h"

#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <QVBoxLayout>

QString ShowFileDialog(QWidget* owner, const TFileDialogRequest& request) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDirectory(request.Folder);
    dialog.setNameFilter(request.Filter);
    if (!request.DefaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.DefaultSuffix);
    if (!request.ProposedName.isEmpty()) dialog.selectFile(request.ProposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

Utils::TMessageBoxResult ShowRichMessageBox(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
    return Utils::ShowMessageBox(owner, false, kind, text);
}

int ShowPasteSpecialDialog(QWidget* owner, const QList<TPasteChoice>& choices) {
    QDialog dialog(owner);
    dialog.setWindowTitle(Translate(QStringLiteral("Paste Special")));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("PasteSpecialFormats"));
    for (const TPasteChoice& choice : choices) list->addItem(choice.Name);
    auto* description = new QLabel(&dialog);
    description->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(Translate(QStringLiteral("OK")), QDialogButtonBox::AcceptRole);
    buttons->addButton(Translate(QStringLiteral("Cancel")), QDialogButtonBox::RejectRole);
    layout->addWidget(list);
    layout->addWidget(description);
    layout->addWidget(buttons);
    QObject::connect(list, &QListWidget::currentRowChanged, description, [description, &choices](int row) {
        description->setText(row >= 0 && row < choices.size() ? choices[row].Description : QString());
    });
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (!choices.isEmpty()) list->setCurrentRow(0);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return list->currentRow();
}

std::optional<QColor> ShowColourDialog(QWidget* owner, const QColor& initial) {
    const QColor colour = QColorDialog::getColor(initial, owner);
    if (!colour.isValid()) return std::nullopt;
    return colour;
}

QString ImageFileFilter() {
    return FormatText(QStringLiteral("%s(*.gif *.jpg *.jpeg *.bmp)"), {Translate(QStringLiteral("Image File"))});
}

QString RtfFileFilter() {
    return FormatText(QStringLiteral("%s(*.rtf)"), {Translate(QStringLiteral("Rich Text Format"))});
}

QString PictureFolder(const TApplicationParams& params) {
    const QString folder = params[spMessageImageFolder];
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return Utils::WithTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
}

void RememberPictureFolder(TApplicationParams& params, const QString& path) {
    params[spMessageImageFolder] = Utils::WithTrailingSlash(QFileInfo(path).absolutePath());
}

void WriteFileInBackground(QObject* context, const QString& path, const QByteArray& bytes,
                           std::function<void(bool ok, const QString& error)> done) {
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([guard, path, bytes, done = std::move(done)] {
        QSaveFile file(path);
        const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
        const QString error = ok ? QString() : file.errorString();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [guard, ok, error, done] { if (guard) done(ok, error); },
            Qt::QueuedConnection);
    });
}
