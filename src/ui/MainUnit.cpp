#include "ui/MainUnit.h"

#include "core/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "core/PostedEventUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsGuiUnit.h"
#include "core/UtilsUnit.h"
#include "core/WindowRegistryUnit.h"
#include "text/UILangUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

namespace {
constexpr int kTimerLoadMs = 100;
} // namespace

TMainForm::TMainForm(bool startMinimized, QWidget* parent) : QMainWindow(parent), FStartMinimized(startMinimized) {
    setObjectName(QStringLiteral("MainForm"));
    TWindowRegistry::Instance().Register(this, QString::fromLatin1(WindowClassName));
    QApplication::setApplicationDisplayName(QString());

    FNode = std::make_unique<TNode>();
    auto* list = new QTreeView(this);
    list->setObjectName(QStringLiteral("tvUser"));
    list->setHeaderHidden(true);
    list->setModel(&FNode->Model());
    setCentralWidget(list);
    connect(&FNode->Model(), &QAbstractItemModel::rowsInserted, list,
            [list](const QModelIndex& parent) { list->expand(parent); });
    connect(FNode.get(), &TNode::ListenFailed, this,
            [this](const QString& text) { Utils::ShowMessageBox(this, true, Utils::mbError, text); });
    connect(FNode.get(), &TNode::SoundRequested, this, [](int which) { Utils::PlaySoundFile(which); });
    connect(FNode.get(), &TNode::NotificationRequested, this, [this](const QString& text) {
        if (FTray) FTray->ShowMessage(text);
    });

    BuildMenus();
    FTray = std::make_unique<TAppTray>();
    FTray->SetMenu(FTrayMenu);
    connect(FTray.get(), &TAppTray::DoubleClicked, this, [this] { ToggleMainWindow(false); });

    TranslateCaptions();
    RestoreWindowState();
    FNode->Start();
    QTimer::singleShot(kTimerLoadMs, this, [this] {
        if (!StartsHidden()) return;
        if (isVisible()) Utils::AnimateToTray(this, true);
        HideToTray();
    });
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildMenus() {
    FFileMenu = menuBar()->addMenu(QString());
    FExitAction = FFileMenu->addAction(QString(), this, &TMainForm::ExitApplicationExecute);
    FExitAction->setObjectName(QStringLiteral("miMainExit"));

    FViewMenu = menuBar()->addMenu(QString());
    FLanguageMenu = FViewMenu->addMenu(QString());
    FLanguageMenu->setObjectName(QStringLiteral("miMainLanguage"));
    BuildLanguageMenu();

    FHelpMenu = menuBar()->addMenu(QString());
    FContentAction = FHelpMenu->addAction(QString(), this, [] { Utils::ShowHelp(); });
    FContentAction->setShortcut(QKeySequence(Qt::Key_F1));
    FHelpMenu->addSeparator();
    FAboutAction = FHelpMenu->addAction(QString(), this, [this] {
        Utils::ShowMessageBox(this, true, Utils::mbInformation,
                              QStringLiteral("Quillmate\n") + Utils::AboutVersionText());
    });

    FTrayMenu = new QMenu(this);
    FTrayExitAction = FTrayMenu->addAction(QString(), this, &TMainForm::ExitApplicationExecute);
    FTrayExitAction->setObjectName(QStringLiteral("miTrayIconMenuExit"));
}

void TMainForm::BuildLanguageMenu() {
    FLanguageMenu->clear();
    delete FLanguageGroup;
    FLanguageGroup = new QActionGroup(this);
    for (const TLanguageEntry& entry : UserInterfaceLang().LanguageList()) {
        QAction* item = FLanguageMenu->addAction(entry.LanguageName);
        item->setCheckable(true);
        item->setChecked(entry.LanguageName == Params()[spUserInterfaceLanguageInUse]);
        FLanguageGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, name = entry.LanguageName] {
            if (UserInterfaceLang().SwitchLanguage(name)) TranslateCaptions();
            for (QAction* other : FLanguageGroup->actions())
                other->setChecked(other->text() == Params()[spUserInterfaceLanguageInUse]);
        });
    }
}

void TMainForm::TranslateCaptions() {
    FFileMenu->setTitle(Translate(QStringLiteral("&File")));
    FExitAction->setText(Translate(QStringLiteral("E&xit")));
    FViewMenu->setTitle(Translate(QStringLiteral("&View")));
    FLanguageMenu->setTitle(Translate(QStringLiteral("&Languages")));
    FHelpMenu->setTitle(Translate(QStringLiteral("&Help")));
    FContentAction->setText(Translate(QStringLiteral("&Content")));
    FAboutAction->setText(Translate(QStringLiteral("&About...")));
    FTrayExitAction->setText(Translate(QStringLiteral("&Exit")));
    UpdateCaption();
}

void TMainForm::UpdateCaption() {
    setWindowTitle(FormatText(QStringLiteral("%s - %s"), {QStringLiteral("Quillmate"), Params()[spNickname]}));
    if (FTray) FTray->SetHint(windowTitle());
}

void TMainForm::RestoreWindowState() {
    const TApplicationParams& p = Params();
    QRect bounds(p[ipMainFormLeft], p[ipMainFormTop], p[ipMainFormWidth], p[ipMainFormHeight]);
    bounds.setSize(bounds.size().expandedTo(QSize(160, 200)));
    // A window saved on a screen that is gone comes back on the primary one.
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens())
        visible = visible || screen->availableGeometry().intersects(bounds);
    if (!visible && QGuiApplication::primaryScreen())
        bounds.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    resize(bounds.size());
    move(bounds.topLeft());
    FRestoreBounds = bounds;
    if (p[bpMainWindowAlwaysOnTop]) setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (p[bpMainFormMaximized]) setWindowState(windowState() | Qt::WindowMaximized);
}

bool TMainForm::StartsHidden() const { return FStartMinimized || Params()[bpMinimizeAfterStart]; }

bool TMainForm::event(QEvent* e) {
    if (TPostedEvent::IsPosted(e)) {
        auto* posted = static_cast<TPostedEvent*>(e);
        if (posted->Id() == WM_ACTIVATE_INSTANCE) {
            ToggleMainWindow(true);
            QApplication::alert(this);
        }
        return true;
    }
    // Normal bounds are kept up to date so that a maximised window saves them,
    // also bounds given while hidden (their events arrive during show()).
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) &&
        !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        FRestoreBounds = QRect(pos(), size());
    return QMainWindow::event(e);
}

void TMainForm::HideToTray() {
    // Without a tray a hidden window could never be reached again.
    if (FTray && FTray->Available())
        hide();
    else
        showMinimized();
}

void TMainForm::ToggleMainWindow(bool keepVisible) {
    if (!isVisible()) {
        Utils::AnimateToTray(this, false);
        show();
        if (isMinimized()) showNormal();
        Utils::ForceForeground(this);
        return;
    }
    if (!keepVisible) {
        if (isMinimized()) {
            showNormal();
            Utils::ForceForeground(this);
        } else {
            Utils::AnimateToTray(this, true);
            HideToTray();
        }
        return;
    }
    if (isMinimized()) showNormal();
    Utils::ForceForeground(this);
}

void TMainForm::ExitApplicationExecute() {
    FExitRequested = true;
    close();
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (Params()[bpClickCloseToMinimize] && !FExitRequested) {
        e->ignore();
        ToggleMainWindow(false);
        return;
    }
    FormClose();
    e->accept();
    QApplication::quit();
}

void TMainForm::SessionEnding() {
    FormClose();
    FExitRequested = true;
}

void TMainForm::FormClose() {
    if (FClosed) return;
    FClosed = true;
    // Logoff to every listed user, listener stopped, list emptied.
    FNode->Stop();
    TApplicationParams& p = Params();
    const bool maximized = windowState() & Qt::WindowMaximized;
    const QRect bounds = maximized ? FRestoreBounds : QRect(pos(), size());
    p[ipMainFormLeft] = qint16(bounds.left());
    p[ipMainFormTop] = qint16(bounds.top());
    p[ipMainFormWidth] = qint16(bounds.width());
    p[ipMainFormHeight] = qint16(bounds.height());
    p[bpMainFormMaximized] = maximized;
    p.SaveWindowState();
}
