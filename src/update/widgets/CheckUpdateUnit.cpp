#include "update/widgets/CheckUpdateUnit.h"

#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/WindowRegistryUnit.h"
#include "update/UpdateNamesUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QString Normal(const QString& name) {
    QString normal;
    return UpdateNames::Normalise(name, &normal) ? normal : name;
}

} // namespace

TCheckUpdateForm::TCheckUpdateForm(TCheckUpdateContext context, QWidget* parent)
    : QWidget(parent, Qt::Window), FContext(std::move(context)) {
    setObjectName(QStringLiteral("CheckUpdateForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Translate(QStringLiteral("Check Latest Version")));
    setWindowIcon(TAppImages::Instance().Icon(QStringLiteral("CHECK_UPDATE")));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* listLabel = new QLabel(Translate(QStringLiteral("&New Version List:")), this);
    listLabel->setObjectName(QStringLiteral("lblNewVerList"));
    auto* current = new QLabel(TranslateFormat(QStringLiteral("Current Version: %s"), {FContext.Service->Version()}), this);
    current->setObjectName(QStringLiteral("lblCurrentVer"));
    top->addWidget(listLabel);
    top->addStretch();
    top->addWidget(current);
    layout->addLayout(top);
    FList = new QTreeWidget(this);
    FList->setObjectName(QStringLiteral("lvNewVerList"));
    FList->setRootIsDecorated(false);
    FList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FList->setHeaderLabels({Translate(QStringLiteral("Nickname")), Translate(QStringLiteral("Computer")),
                            Translate(QStringLiteral("Ver."))});
    listLabel->setBuddy(FList);
    layout->addWidget(FList);
    auto* filesLabel = new QLabel(Translate(QStringLiteral("&Files Need to Update:")), this);
    filesLabel->setObjectName(QStringLiteral("lblFileList"));
    layout->addWidget(filesLabel);
    FFiles = new QPlainTextEdit(this);
    FFiles->setObjectName(QStringLiteral("mmFileList"));
    FFiles->setReadOnly(true);
    filesLabel->setBuddy(FFiles);
    layout->addWidget(FFiles);
    auto* buttons = new QHBoxLayout;
    FCheck = MakeButton("btnCheck", Translate(QStringLiteral("C&heck")), this);
    FUpdate = MakeButton("btnUpdate", Translate(QStringLiteral("&Get Update Files")), this);
    FCallUpdate = MakeButton("btnCallUpdateApp", Translate(QStringLiteral("&Update Now")), this);
    FClose = MakeButton("btnClose", Translate(QStringLiteral("&Close")), this);
    FUpdate->setEnabled(false);
    FCallUpdate->setEnabled(false);
    for (QPushButton* b : {FCheck, FUpdate, FCallUpdate}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(FClose);
    layout->addLayout(buttons);
    resize(460, 380);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(FCheck, &QPushButton::clicked, this, &TCheckUpdateForm::btnCheckClick);
    connect(FUpdate, &QPushButton::clicked, this, &TCheckUpdateForm::btnUpdateClick);
    connect(FCallUpdate, &QPushButton::clicked, this, &TCheckUpdateForm::btnCallUpdateAppClick);
    connect(FClose, &QPushButton::clicked, this, &QWidget::close);
    connect(FList, &QTreeWidget::itemSelectionChanged, this, &TCheckUpdateForm::SelectionChanged);
    connect(FContext.Service, &TUpdateService::AnswerArrived, this, &TCheckUpdateForm::AnswerArrived);
    connect(FContext.Service, &TUpdateService::FileReceived, this, &TCheckUpdateForm::FileReceived);
    connect(FContext.Service, &TUpdateService::FilesDone, this, &TCheckUpdateForm::FilesDone);
    connect(FContext.Service, &QObject::destroyed, this, &QWidget::close);
    TWindowRegistry::Instance().Register(this, QString::fromLatin1(WindowClassName));
}

TCheckUpdateForm::~TCheckUpdateForm() { TWindowRegistry::Instance().Unregister(this); }

TCheckUpdateForm* TCheckUpdateForm::OpenWindow() {
    return qobject_cast<TCheckUpdateForm*>(TWindowRegistry::Instance().FindByClass(QString::fromLatin1(WindowClassName)));
}

TCheckUpdateForm* TCheckUpdateForm::ShowCheckUpdate(const TCheckUpdateContext& context) {
    if (TCheckUpdateForm* open = OpenWindow()) {
        Utils::BringForward(open);
        return open;
    }
    auto* window = new TCheckUpdateForm(context);
    window->show();
    return window;
}

QPushButton* TCheckUpdateForm::Button(const QString& name) const { return findChild<QPushButton*>(name); }

Utils::TMessageBoxResult TCheckUpdateForm::Box(Utils::TMessageBoxKind kind, const QString& text) {
    if (FContext.MessageBox) return FContext.MessageBox(this, kind, text);
    return Utils::ShowMessageBox(this, false, kind, text);
}

void TCheckUpdateForm::closeEvent(QCloseEvent* event) {
    if (FContext.Service) FContext.Service->EndCheck();
    event->accept();
}

void TCheckUpdateForm::btnCheckClick() {
    if (FContext.Service->Version().isEmpty()) {
        Box(Utils::TMessageBoxKind::Error, Translate(QStringLiteral("Error to get local version.")));
        return;
    }
    FList->clear();
    FAnswers.clear();
    FContext.Service->StartCheck(FContext.ComputerName, FContext.UserId);
}

void TCheckUpdateForm::AnswerArrived(const TUpdateAnswer& answer) {
    FAnswers.append(answer);
    auto* row = new QTreeWidgetItem(FList, {answer.NickName, answer.ComputerName, answer.Version});
    row->setData(0, Qt::UserRole, int(FAnswers.size() - 1));
}

void TCheckUpdateForm::SelectionChanged() {
    const QList<QTreeWidgetItem*> selected = FList->selectedItems();
    FUpdate->setEnabled(!selected.isEmpty() && !FContext.Service->Fetching());
    if (selected.isEmpty()) return;
    FFiles->setPlainText(FAnswers.value(selected.first()->data(0, Qt::UserRole).toInt()).Files.join(kCrLf));
}

void TCheckUpdateForm::btnUpdateClick() {
    const QList<QTreeWidgetItem*> selected = FList->selectedItems();
    if (selected.isEmpty()) return;
    FUpdate->setEnabled(false);
    FCallUpdate->setEnabled(false);
    const TUpdateAnswer answer = FAnswers.value(selected.first()->data(0, Qt::UserRole).toInt());
    const QString folder = FContext.Service->UpdateFolder();
    if (!FContext.Service->PrepareUpdateFolder()) {
        Box(Utils::TMessageBoxKind::Error, TranslateFormat(QStringLiteral("Error to delete folder: %s. %sPlease delete it and try again."),
                                                           {QDir::toNativeSeparators(folder), QStringLiteral("\n")}));
        return;
    }
    FChosen = answer;
    FStored.clear();
    FSetCheck.reset();
    FFiles->setPlainText(answer.Files.join(kCrLf));
    if (!FContext.Service->FetchFrom(answer, FContext.ComputerName))
        Box(Utils::TMessageBoxKind::Error, Translate(QStringLiteral("Error to get update files.")));
}

void TCheckUpdateForm::FileReceived(const QString& name) {
    if (!FChosen) return;
    FStored << name;
    QStringList lines = FFiles->toPlainText().split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (Normal(line.trimmed()) == name) line = line.trimmed() + QStringLiteral("\tok");
    FFiles->setPlainText(lines.join(QLatin1Char('\n')));
}

void TCheckUpdateForm::FilesDone(const TUpdateFilesDone& done) {
    if (!FChosen) return;
    if (done.Count <= 0) {
        FUpdate->setEnabled(!FList->selectedItems().isEmpty());
        Box(Utils::TMessageBoxKind::Error, Translate(QStringLiteral("Error to get update files.")));
        return;
    }
    // Hashing may take a while: off the window's thread.
    const QString folder = FContext.Service->UpdateFolder();
    const QString section = FChosen->Version + QLatin1Char('_') + FContext.Service->Version();
    const QStringList stored = done.Stored;
    const QString key = FContext.PublicKey;
    QPointer<TCheckUpdateForm> self(this);
    QThreadPool::globalInstance()->start([self, folder, stored, section, key] {
        const TUpdateSetCheck check = CheckUpdateSet(folder, stored, section, key);
        QMetaObject::invokeMethod(qApp, [self, check] {
            if (self) self->Checked(check);
        });
    });
}

void TCheckUpdateForm::Checked(const TUpdateSetCheck& check) {
    FSetCheck = check;
    emit SetChecked();
    Ask();
}

QString TCheckUpdateForm::Describe(const TUpdateSetCheck& check) const {
    QStringList lines;
    lines << TranslateFormat(QStringLiteral("Update files from %s (%s, %s), version %s:"),
                             {FChosen->NickName, FChosen->ComputerName, FChosen->IPAddress, FChosen->Version});
    for (const TManifestEntry& e : check.Files)
        lines << QStringLiteral("%1  %2  SHA-256 %3").arg(e.Name, QLocale().toString(e.Size), QString::fromLatin1(e.Sha256));
    lines << (check.Signature == TUpdateSignature::Good
                  ? Translate(QStringLiteral("The files are signed with the key in the settings."))
                  : Translate(QStringLiteral("The files are not signed: make sure they come from a computer you trust.")));
    return lines.join(QLatin1Char('\n'));
}

void TCheckUpdateForm::Ask() {
    if (!FSetCheck || !FChosen) return;
    const TUpdateSetCheck& check = *FSetCheck;
    switch (check.Signature) {
    case TUpdateSignature::Missing:
        Box(Utils::TMessageBoxKind::Error,
            Translate(QStringLiteral("The update files are not signed, but this computer installs signed updates only. Nothing was installed.")));
        return;
    case TUpdateSignature::Bad:
        Box(Utils::TMessageBoxKind::Error,
            TranslateFormat(QStringLiteral("The signature of the update files does not match (%s). Nothing was installed."),
                            {check.Problem.isEmpty() ? QStringLiteral("Update.sig") : check.Problem}));
        return;
    case TUpdateSignature::BadKey:
        Box(Utils::TMessageBoxKind::Error,
            Translate(QStringLiteral("The UpdatePublicKey setting holds no valid key. Nothing was installed.")));
        return;
    case TUpdateSignature::NotSigned:
    case TUpdateSignature::Good: break;
    }
    const QString folder = QDir::toNativeSeparators(FContext.Service->UpdateFolder());
    QString package;
    for (const TManifestEntry& e : check.Files)
        if (e.Name.endsWith(QStringLiteral(".deb"), Qt::CaseInsensitive)) package = e.Name;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString details = Describe(check);
    QApplication::restoreOverrideCursor();
    if (!FContext.InstallFolderWritable || !package.isEmpty()) {
        // A package install: the system's package manager replaces the program, not us.
        QStringList text{details};
        if (!FContext.InstallFolderWritable)
            text << TranslateFormat(QStringLiteral("The program folder %s cannot be written, so the files cannot be installed from here."),
                                    {QDir::toNativeSeparators(FContext.InstallFolder)});
        if (!package.isEmpty())
            text << TranslateFormat(QStringLiteral("Install %s with the system's package manager."),
                                    {QDir::toNativeSeparators(FContext.Service->UpdateFolder() + package)});
        text << TranslateFormat(QStringLiteral("Open the folder %s?"), {folder});
        if (Box(Utils::TMessageBoxKind::Question, text.join(QStringLiteral("\n\n"))) == Utils::TMessageBoxResult::Yes &&
            FContext.OpenFolder)
            FContext.OpenFolder(FContext.Service->UpdateFolder());
        FCallUpdate->setEnabled(true);
        return;
    }
    const QString question =
        TranslateFormat(QStringLiteral("All update files are saved in folder: %s. %sNow the application will be closed, continue to update?"),
                        {folder, QStringLiteral("\n")});
    if (Box(Utils::TMessageBoxKind::Question, details + QStringLiteral("\n\n") + question) != Utils::TMessageBoxResult::Yes) {
        FCallUpdate->setEnabled(true);
        return;
    }
    // The updater installs exactly what was shown here, checked again file by file.
    const QString list = QDir(FContext.Service->UpdateFolder()).filePath(QStringLiteral("../UpdateInstall.txt"));
    QFile out(QDir::cleanPath(list));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(FormatInstallList(check.Files)) < 0 ||
        !FContext.StartUpdater || !FContext.StartUpdater(FChosen->Version, out.fileName())) {
        Box(Utils::TMessageBoxKind::Error, Translate(QStringLiteral("The updater quillmate-update could not be started.")));
        FCallUpdate->setEnabled(true);
    }
}

void TCheckUpdateForm::btnCallUpdateAppClick() { Ask(); }
