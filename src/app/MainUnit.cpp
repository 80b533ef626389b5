#include "app/MainUnit.h"

#include "chatlog/ChatLogUnit.h"
#include "node/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "core/PostedEventUnit.h"
#include "core/TextFormatUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "core/UtilsUnit.h"
#include "ui/WindowRegistryUnit.h"
#include "app/DesktopUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/PresenceServiceUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/ColorSchemeUnit.h"
#include "ui/ContextHelpUnit.h"
#include "ui/CustomControlsUnit.h"
#include "ui/NavBarUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QScreen>
#include <QTime>
#include <QTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kTimerLoadMs = 100;
} // namespace

TMainForm::TMainForm(TDesktop& desktop, bool startMinimized)
    : QMainWindow(nullptr), FStartMinimized(startMinimized), FDesktop(desktop), FNode(&desktop.Node()),
      FTray(&desktop.Tray()), FNotifications(&desktop.Notifications()) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowIcon(TAppImages::Instance().AppIcon());
    TWindowRegistry::Instance().Register(this, QString::fromLatin1(WindowClassName));
    QApplication::setApplicationDisplayName(QString());

    FAnnouncer = std::make_unique<TNodeStateAnnouncer>(*FNode);
    FStateController = new TOnlineStateController(Params(), *FAnnouncer, this, this);
    FInputText = [](QWidget* owner, const QString& caption, const QString& prompt, QString* value) {
        return Utils::InputText(owner, caption, prompt, value);
    };
    FMessageBox = [](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
        return Utils::ShowMessageBox(owner, true, kind, text);
    };

    // Pop-up help for every dialog of the program.
    qApp->installEventFilter(new TContextHelp({}, this));

    BuildCentralArea();
    BuildMenus();
    FTray->SetMenu(FTrayMenu);
    connect(FTray, &TAppTray::DoubleClicked, this, [this] { ToggleMainWindow(false); });
    connect(FTray, &TAppTray::Clicked, this, [this] { ToggleMainWindow(false); });
    ConnectNode();
    BuildSendMessageMenu();
    BuildFileCommands();
    ConnectChatCommands();
    BuildFloatWindows();
    BuildOptionItems();
    BuildConsoleItems();
    BuildNetworkCommands();
    ArrangeTrayMenu();

    TranslateCaptions();
    RestoreWindowState();
    ApplyColorScheme(Params()[spColorScheme]);
    QTimer::singleShot(kTimerLoadMs, this, [this] {
        // The workgroups are read now, off this thread; deeper levels on first expansion.
        FNetworkTree->LoadNetworkRoot();
        if (!StartsHidden()) return;
        if (isVisible()) Utils::AnimateToTray(this, true);
        HideToTray();
    });
}

TMainForm::~TMainForm() {
    // The list and its commands go before the node that owns their model
    // (the commands hold on to the list, so they go first).
    delete FOnlineCommands;
    delete FStateController;
    std::unique_ptr<QWidget>(takeCentralWidget()).reset();
}

void TMainForm::BuildCentralArea() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    FHeader = new TQLMHeader(central);
    FHeader->setObjectName(QStringLiteral("QLMHeader"));
    layout->addWidget(FHeader);

    FNavBar = new TNavBar(central);
    FNavBar->setObjectName(QStringLiteral("NavBarMain"));
    FHeader->SetNavBar(FNavBar);
    layout->addWidget(FNavBar, 1);

    auto* onlinePage = new QWidget(FNavBar);
    auto* onlineLayout = new QVBoxLayout(onlinePage);
    onlineLayout->setContentsMargins(0, 0, 0, 0);
    onlineLayout->setSpacing(0);
    FUserView = new TOnlineUserView(Params(), onlinePage);
    FUserView->setObjectName(QStringLiteral("tvUser"));
    FUserView->setModel(&FNode->Model());
    onlineLayout->addWidget(FUserView, 1);
    FToolPanel = new QWidget(onlinePage);
    FToolPanel->setObjectName(QStringLiteral("pnlTool"));
    FToolPanel->setAutoFillBackground(true);
    BuildToolBar(FToolPanel);
    onlineLayout->addWidget(FToolPanel);

    FNetworkTree = new TNetworkTree(FDesktop.Neighbourhood(), TNetworkTree::tmPanel, FNavBar);
    QWidget* networkPage = FNetworkTree;

    FNavBar->AddGroup(QStringLiteral("U_MAINGROUP_ONLINEUSER"), onlinePage);
    FNavBar->AddGroup(QStringLiteral("U_MAINGROUP_NETWORK"), networkPage);
    connect(FNavBar, &TNavBar::ActiveGroupChanged, this, [this] { UpdatePanelItems(); });
    setCentralWidget(central);

    FOnlineCommands = new TOnlineUserCommands(*FUserView, Params(), this);
    connect(FOnlineCommands, &TOnlineUserCommands::RefreshOnlineListRequested, this,
            &TMainForm::RefreshOnlineListExecute);
}

void TMainForm::BuildToolBar(QWidget* owner) {
    // A plain row rather than a QToolBar: a narrow window must never push
    // buttons into an overflow menu.
    auto* outer = new QVBoxLayout(owner);
    outer->setContentsMargins(0, 2, 0, 2);
    FOnlineToolBar = new QWidget(owner);
    FOnlineToolBar->setObjectName(QStringLiteral("tbOnline"));
    outer->addWidget(FOnlineToolBar);
    auto* layout = new QHBoxLayout(FOnlineToolBar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    struct TButton {
        const char* Name;
        const char* Caption; // not translated
        const char* Image;
    };
    const TButton buttons[] = {
        {"tbtnSendMessage", "MSG", "U_COMMAND_SENDMESSAGE"},
        {"tbtnSendChecked", "CMSG", "U_COMMAND_SENDMESSAGECHECKED"},
        {"tbtnSendFile", "File", "U_COMMAND_SENDFILE"},
        {nullptr, nullptr, nullptr},
        {"tbtnRefresh", "Refresh", "U_COMMAND_RefreshList"},
        {nullptr, nullptr, nullptr},
        {"tbtnChangeColor", "Color", "CHANGE_INTERFACECOLOR"},
    };
    for (const TButton& b : buttons) {
        if (!b.Name) {
            auto* separator = new QFrame(FOnlineToolBar);
            separator->setFrameShape(QFrame::VLine);
            separator->setFrameShadow(QFrame::Sunken);
            separator->setFixedWidth(6);
            layout->addWidget(separator);
            continue;
        }
        auto* button = new QToolButton(FOnlineToolBar);
        button->setObjectName(QString::fromLatin1(b.Name));
        button->setText(QString::fromLatin1(b.Caption));
        button->setIcon(TAppImages::Instance().Icon(QString::fromLatin1(b.Image)));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->setIconSize(QSize(16, 16));
        layout->addWidget(button);
        FToolButtons << button;
    }
    layout->addStretch(1);
    // The row never widens the window; short of room the buttons drop their captions.
    FOnlineToolBar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // Tight buttons keep their captions in the default 310-pixel window.
    FOnlineToolBar->setStyleSheet(
        QStringLiteral("QToolButton { padding: 2px 0px; border: 1px solid transparent; border-radius: 3px; font-size: 8pt; }"
                       " QToolButton:hover { background: %1; border-color: rgb(150, 170, 215); }"
                       " QToolButton:pressed { background: rgb(179, 198, 235); }"
                       " QToolButton::menu-indicator { image: none; width: 0px; }")
            .arg(ColorSchemes::HotTrackColor().name()));
    FOnlineToolBar->installEventFilter(this);
    connect(findChild<QToolButton*>(QStringLiteral("tbtnRefresh")), &QToolButton::clicked, this,
            &TMainForm::RefreshOnlineListExecute);
    // Sending comes alive with the message and file windows.
    for (const char* name : {"tbtnSendMessage", "tbtnSendChecked", "tbtnSendFile"})
        findChild<QToolButton*>(QString::fromLatin1(name))->setEnabled(false);
}

void TMainForm::ConnectNode() {
    connect(FNode, &TNode::ListenFailed, this,
            [this](const QString& text) { Utils::ShowMessageBox(this, true, Utils::TMessageBoxKind::Error, text); });
    connect(&FNode->ChatLog(), &TChatLog::ErrorOccurred, this,
            [this](const QString& text) { Utils::ShowMessageBox(this, true, Utils::TMessageBoxKind::Error, text); });
    connect(&FNode->Presence(), &TPresenceService::SoundRequested, this, [](TSound sound) { Utils::PlaySoundFile(sound); });
    connect(&FNode->Presence(), &TPresenceService::NotificationRequested, this,
            [this](const QString& text) { FNotifications->ShowTextNotification(text); });
    // Said once each way; what arrives meanwhile is not stored, so the user must hear of it.
    connect(&FNode->ChatLog(), &TChatLog::SpaceChanged, this, [this](bool full, qint64) {
        FNotifications->ShowTextNotification(
            full ? Translate(QStringLiteral("The disk of the chat log is nearly full: new messages are not logged until space is freed."))
                 : Translate(QStringLiteral("The chat log has space again: new messages are logged.")));
    });
    // Once per peer and reason in a while: what a flooding peer sends is dropped, quietly after this.
    connect(&FNode->IntakeNotices(), &TIntakeNotices::Noticed, this, [this](const QString& source, const QString&) {
        FNotifications->ShowTextNotification(
            TranslateFormat(QStringLiteral("%s is sending faster than anyone types; some of it was not received."), {source}));
    });
    connect(FNode, &TNode::SelfRowAdded, this, [this] {
        FSelfSeen = true;
        RefreshStateTexts();
    });
    connect(FStateController, &TOnlineStateController::StateSwitched, this, [this] { RefreshStateTexts(); });
    // Who was answered automatically in this Busy or Away spell: never what they wrote.
    connect(&FNode->Chat(), &TChatService::MessageAutoReplied, this, [this](const TBroadcastData& record) {
        if (FRepliedState != FStateController->State()) ResetAutoReplied();
        ++FAutoReplied;
        FAutoRepliedFrom << TranslateFormat(QStringLiteral("%s at %s"),
                                            {Utils::DisplayName(!record.NickName.isEmpty(), record.NickName, record.ComputerName),
                                             QTime::currentTime().toString(QStringLiteral("HH:mm"))});
        if (FAutoRepliedFrom.size() > kAutoRepliedListed) FAutoRepliedFrom.removeFirst();
        RefreshStateTexts();
    });
    // Groups open as their first user arrives.
    connect(&FNode->Model(), &QAbstractItemModel::rowsInserted, FUserView,
            [this](const QModelIndex& parent, int first, int last) {
                // Only when the group was empty: a group the user closed stays closed.
                if (parent.isValid() && FNode->Model().rowCount(parent) == last - first + 1) FUserView->expand(parent);
            });
}

void TMainForm::RefreshStateTexts() {
    const TOnlineState state = FStateController->State();
    const OnlineStates::TStateTexts texts =
        OnlineStates::RefreshStateTexts(Params(), state, FTray && FTray->IsAnimating());
    FHeader->SetCaptionTitle(OnlineStates::HeaderTitle());
    if (FRepliedState != state) ResetAutoReplied();
    QString content = FSelfSeen ? texts.HeaderContent : OnlineStates::LoadingText();
    if (FAutoReplied > 0) {
        content = TranslateFormat(QStringLiteral("%s (%d answered automatically)"), {content, qint64(FAutoReplied)});
        FHeader->setToolTip(FAutoRepliedFrom.join(QLatin1Char('\n')));
    } else {
        FHeader->setToolTip({});
    }
    FHeader->SetCaptionContent(content);
    FHeader->SetOnlineState(state);
    if (FTray && texts.TrayHint) FTray->SetHint(*texts.TrayHint);
}

void TMainForm::ResetAutoReplied() {
    FRepliedState = FStateController->State();
    FAutoReplied = 0;
    FAutoRepliedFrom.clear();
}

void TMainForm::UpdateCaption() {
    setWindowTitle(FormatText(QStringLiteral("%s - %s"), {QStringLiteral("Quillmate"), Params()[spNickname]}));
}

QColor TMainForm::ToolPanelColor() const { return FToolPanel->palette().color(QPalette::Window); }

void TMainForm::SetInputText(TInputText inputText) {
    FInputText = std::move(inputText);
    FOnlineCommands->SetInputText(FInputText);
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
    FNavBar->SetMaxVisibleGroups(p[ipMaxVisibleGroups]);
    FNavBar->SetActiveGroupIndex(p[ipActiveGroupIndex]);
    UpdatePanelItems();
    if (p[bpMainWindowAlwaysOnTop]) setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (p[bpMainFormMaximized]) setWindowState(windowState() | Qt::WindowMaximized);
}

bool TMainForm::StartsHidden() const { return FStartMinimized || Params()[bpMinimizeAfterStart]; }

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FOnlineToolBar && e->type() == QEvent::Resize) FitToolButtons();
    return QMainWindow::eventFilter(watched, e);
}

void TMainForm::FitToolButtons() {
    int withCaptions = 0;
    for (int i = 0; i < FOnlineToolBar->layout()->count(); ++i) {
        QWidget* item = FOnlineToolBar->layout()->itemAt(i)->widget();
        if (auto* button = qobject_cast<QToolButton*>(item)) {
            const Qt::ToolButtonStyle style = button->toolButtonStyle();
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            withCaptions += button->sizeHint().width();
            button->setToolButtonStyle(style);
        } else if (item) {
            withCaptions += item->sizeHint().width();
        }
    }
    const Qt::ToolButtonStyle style =
        withCaptions <= FOnlineToolBar->width() ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly;
    for (QToolButton* button : FToolButtons) button->setToolButtonStyle(style);
}

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
        // Hidden also when minimised (restoring it would be the opposite of closing).
        Utils::AnimateToTray(this, true);
        HideToTray();
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

void TMainForm::SaveWindowSettings() {
    TApplicationParams& p = Params();
    const bool maximized = windowState() & Qt::WindowMaximized;
    const QRect bounds = maximized ? FRestoreBounds : QRect(pos(), size());
    p[ipMainFormLeft] = qint16(bounds.left());
    p[ipMainFormTop] = qint16(bounds.top());
    p[ipMainFormWidth] = qint16(bounds.width());
    p[ipMainFormHeight] = qint16(bounds.height());
    p[ipMaxVisibleGroups] = FNavBar->MaxVisibleGroups();
    p[ipActiveGroupIndex] = FNavBar->ActiveGroupIndex();
    p[bpMainFormMaximized] = maximized;
    p.SaveWindowState();
}

void TMainForm::FormClose() {
    if (FClosed) return;
    FClosed = true;
    // An open state dialog stores its text as any other way of closing it does.
    if (TStateSetupForm* dialog = FStateController->OpenDialog()) dialog->reject();
    // Logoff to every listed user, listener stopped, list emptied.
    FNode->Stop();
    SaveWindowSettings();
}
