// The main window's menus: main menu, header, online list, colours, tray.
#include "app/MainUnit.h"

#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "app/DesktopUnit.h"

#include "node/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "presence/OnlineStateUnit.h"
#include "ui/OnlineStateMenuUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/ColorSchemeUnit.h"
#include "ui/CustomControlsUnit.h"
#include "ui/NavBarUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace {
QIcon Image(const char* name) { return TAppImages::Instance().Icon(QString::fromLatin1(name)); }
} // namespace

QAction* TMainForm::AddItem(QMenu* menu, const char* objectName, const QString& english, int tag) {
    QAction* item = menu->addAction(english);
    item->setObjectName(QString::fromLatin1(objectName));
    item->setData(tag);
    FCaptions.push_back({item, english});
    return item;
}

QMenu* TMainForm::AddSubmenu(QMenu* menu, const char* objectName, const QString& english) {
    QMenu* sub = menu->addMenu(english);
    sub->setObjectName(QString::fromLatin1(objectName));
    sub->menuAction()->setObjectName(QString::fromLatin1(objectName));
    FCaptions.push_back({sub->menuAction(), english});
    return sub;
}

QAction* TMainForm::Action(const QString& objectName) const {
    for (QAction* action : findChildren<QAction*>(objectName))
        if (action->objectName() == objectName) return action;
    return nullptr;
}

void TMainForm::BuildMenus() {
    BuildMainMenu();
    BuildHeaderMenu();
    FOnlineMenu = new QMenu(this);
    FOnlineMenu->setObjectName(QStringLiteral("pmOnline"));
    FOnlineCommands->BuildMenu(FOnlineMenu);
    // Their windows come with later work; hidden items leave no gaps.
    for (const char* name : {"miOnlineSendMessageSelected", "miOnlineSendMessageChecked", "miOnlineSendFileSelected",
                             "miOnlineShowFloatingWindow"})
        if (QAction* item = FOnlineCommands->MenuAction(QString::fromLatin1(name))) item->setVisible(false);
    BuildColorMenu();
    BuildTrayMenu();
    BuildLogItems();
}

void TMainForm::AddStateItems(QMenu* menu, const char* prefix, bool withAccelerators) {
    auto* group = new QActionGroup(menu);
    struct TItem {
        const char* Suffix;
        QString Caption;
        QString Accelerated;
        TOnlineState State;
    };
    const TItem items[] = {
        {"Online", QLM_TEXT("Online"), QLM_TEXT("&Online"), TOnlineState::Online},
        {"Busy", QLM_TEXT("Busy"), QLM_TEXT("&Busy"), TOnlineState::Busy},
        {"Away", QLM_TEXT("Away"), QLM_TEXT("&Away"), TOnlineState::Away},
    };
    for (const TItem& i : items) {
        const QByteArray name = QByteArray(prefix) + i.Suffix;
        const int tag = OnlineStateMenu::TagOf(i.State);
        QAction* item = AddItem(menu, name.constData(), withAccelerators ? i.Accelerated : i.Caption, tag);
        item->setIcon(TAppImages::Instance().Icon(OnlineStateMenu::MenuImageName(i.State)));
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, tag] { ChangeOnlineStateExecute(tag); });
    }
    menu->addSeparator();
}

void TMainForm::BuildMainMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("tbMain"));
    auto topMenu = [this, bar](const char* name, const QString& english) {
        QMenu* menu = bar->addMenu(english);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        FCaptions.push_back({menu->menuAction(), english});
        return menu;
    };

    QMenu* file = topMenu("miMainFile", QLM_TEXT("&File"));
    AddItem(file, "miMainCallExplorer", QLM_TEXT("&Explore Folder..."));
    connect(Action(QStringLiteral("miMainCallExplorer")), &QAction::triggered, this, &TMainForm::miMainCallExplorerClick);
    file->addSeparator();
    QMenu* state = AddSubmenu(file, "miMainState", QLM_TEXT("My Online S&tate"));
    AddStateItems(state, "miMain", true);
    AddItem(state, "miMainStateSetup", QLM_TEXT("Online State &Setup..."))->setIcon(Image("ONLINESTATE_SETUP"));
    connect(Action(QStringLiteral("miMainStateSetup")), &QAction::triggered, this, &TMainForm::LoadOnlineStateFormExecute);
    connect(state, &QMenu::aboutToShow, this, [this] { CheckStateItems("miMain"); });
    AddItem(file, "miMainChangeNick", QLM_TEXT("&Change My Nickname..."))->setIcon(Image("U_CHANGENICKNAME"));
    connect(Action(QStringLiteral("miMainChangeNick")), &QAction::triggered, this, &TMainForm::ChangeUserNameExecute);
    file->addSeparator();
    AddItem(file, "miMainExit", QLM_TEXT("E&xit"));
    connect(Action(QStringLiteral("miMainExit")), &QAction::triggered, this, &TMainForm::ExitApplicationExecute);

    QMenu* view = topMenu("miMainView", QLM_TEXT("&View"));
    QAction* onTop = AddItem(view, "miMainAOT", QLM_TEXT("&Always On Top"));
    onTop->setCheckable(true);
    connect(onTop, &QAction::triggered, this, &TMainForm::SetOnTopExecute);
    AddItem(view, "miMainShowOnlineUser", QLM_TEXT("Show &Online User Panel"), OnlinePanel);
    AddItem(view, "miMainShowNetwork", QLM_TEXT("Show &Windows Network Panel"), NetworkPanel);
    for (const char* name : {"miMainShowOnlineUser", "miMainShowNetwork"}) {
        QAction* item = Action(QString::fromLatin1(name));
        connect(item, &QAction::triggered, this, [this, item] { ChangeActiveGroupExecute(item->data().toInt()); });
    }
    view->addSeparator();
    AddItem(view, "miMainRefreshList", QLM_TEXT("Refresh Online &User"));
    connect(Action(QStringLiteral("miMainRefreshList")), &QAction::triggered, this, &TMainForm::RefreshOnlineListExecute);
    view->addSeparator();
    FLanguageMenu = AddSubmenu(view, "miMainLanguage", QLM_TEXT("&Languages"));
    BuildLanguageMenu();

    QMenu* tools = topMenu("miMainTools", QLM_TEXT("&Tools"));
    QAction* sound = AddItem(tools, "miMainPlaySound", QLM_TEXT("&Play Sound"));
    sound->setCheckable(true);
    connect(sound, &QAction::triggered, this, &TMainForm::SetPlaySoundExecute);

    QMenu* help = topMenu("miMainHelp", QLM_TEXT("&Help"));
    QAction* content = AddItem(help, "miMainContent", QLM_TEXT("&Content"));
    content->setShortcut(QKeySequence(Qt::Key_F1));
    content->setShortcutContext(Qt::ApplicationShortcut);
    content->setIcon(Image("TRAYICONMENU_HELP"));
    connect(content, &QAction::triggered, this, &TMainForm::LoadHelpSystemExecute);
    help->addSeparator();
    AddItem(help, "miMainHomePage", QLM_TEXT("Quillmate &Home Page"));
    connect(Action(QStringLiteral("miMainHomePage")), &QAction::triggered, this, &TMainForm::miMainHomePageClick);
    AddItem(help, "miMainIssues", QLM_TEXT("&Report a Problem..."));
    connect(Action(QStringLiteral("miMainIssues")), &QAction::triggered, this, &TMainForm::miMainIssuesClick);
    help->addSeparator();
    AddItem(help, "miCheckNewVerLocal", QLM_TEXT("Check &New Version (Local)..."));
    connect(Action(QStringLiteral("miCheckNewVerLocal")), &QAction::triggered, this, [this] { FDesktop.OpenCheckUpdate(); });
    help->addSeparator();
    AddItem(help, "miMainAbout", QLM_TEXT("&About..."));
    connect(Action(QStringLiteral("miMainAbout")), &QAction::triggered, this, &TMainForm::LoadAboutFormExecute);

    onTop->setChecked(Params()[bpMainWindowAlwaysOnTop]);
    sound->setChecked(Params()[bpPlaySound]);
}

void TMainForm::BuildHeaderMenu() {
    FHeaderMenu = new QMenu(this);
    FHeaderMenu->setObjectName(QStringLiteral("pmHeader"));
    AddStateItems(FHeaderMenu, "miHeader", false);
    AddItem(FHeaderMenu, "miHeaderSetup", QLM_TEXT("Online State Setup..."))->setIcon(Image("ONLINESTATE_SETUP"));
    connect(Action(QStringLiteral("miHeaderSetup")), &QAction::triggered, this, &TMainForm::LoadOnlineStateFormExecute);
    AddItem(FHeaderMenu, "miHeaderChangeNick", QLM_TEXT("Change My Nickname..."))->setIcon(Image("U_CHANGENICKNAME"));
    connect(Action(QStringLiteral("miHeaderChangeNick")), &QAction::triggered, this, &TMainForm::ChangeUserNameExecute);
    connect(FHeaderMenu, &QMenu::aboutToShow, this, [this] { CheckStateItems("miHeader"); });
    FHeader->SetDropDownMenu(FHeaderMenu);
}

void TMainForm::BuildColorMenu() {
    FColorMenu = new QMenu(this);
    FColorMenu->setObjectName(QStringLiteral("pmNavBarColor"));
    FColorGroup = new QActionGroup(FColorMenu);
    const char* names[] = {"miBlue", "miSilver", "miBlack"};
    const QString captions[] = {QLM_TEXT("Blue"), QLM_TEXT("Silver"), QLM_TEXT("Black")};
    for (int i = 0; i < 3; ++i) {
        const QString scheme = ColorSchemes::SchemeNames().at(i);
        // The hint keeps the untranslated scheme name.
        QAction* item = AddItem(FColorMenu, names[i], captions[i]);
        item->setStatusTip(scheme);
        item->setCheckable(true);
        FColorGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, scheme] { miBlueClick(scheme); });
    }
    FColorMenu->addSeparator();
    FInvertAction = AddItem(FColorMenu, "miInvert", QLM_TEXT("Invert Gradient"));
    FInvertAction->setCheckable(true);
    FInvertAction->setChecked(Params()[bpInvertGradient]);
    connect(FInvertAction, &QAction::triggered, this, &TMainForm::miInvertClick);

    auto* button = findChild<QToolButton*>(QStringLiteral("tbtnChangeColor"));
    button->setMenu(FColorMenu);
    button->setPopupMode(QToolButton::InstantPopup);
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
        connect(item, &QAction::triggered, this,
                [this, name = entry.LanguageName] { ChangeInterfaceLanguageExecute(name); });
    }
}

void TMainForm::BuildTrayMenu() {
    FTrayMenu = new TTrayMenu(this);
    FTrayMenu->setObjectName(QStringLiteral("pmTrayIcon"));
    AddItem(FTrayMenu, "miTrayIconMenuAbout", QLM_TEXT("&About..."));
    connect(Action(QStringLiteral("miTrayIconMenuAbout")), &QAction::triggered, this, &TMainForm::LoadAboutFormExecute);
    QAction* contents = AddItem(FTrayMenu, "miTrayIconMenuContents", QLM_TEXT("Co&ntents"));
    contents->setIcon(Image("TRAYICONMENU_HELP"));
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    contents->setShortcutContext(Qt::WidgetShortcut);
    connect(contents, &QAction::triggered, this, &TMainForm::LoadHelpSystemExecute);
    FTrayMenu->addSeparator();
    QAction* onTop = AddItem(FTrayMenu, "miTrayIconMenuAlwaysOnTop", QLM_TEXT("Always On &Top"));
    onTop->setCheckable(true);
    connect(onTop, &QAction::triggered, this, &TMainForm::SetOnTopExecute);
    QMenu* state = AddSubmenu(FTrayMenu, "miTrayIconMenuMyOnlineState", QLM_TEXT("My Online &State"));
    AddStateItems(state, "miTrayIconMenu", false);
    AddItem(state, "miTrayIconMenuSetup", QLM_TEXT("Online State Setup..."))->setIcon(Image("ONLINESTATE_SETUP"));
    connect(Action(QStringLiteral("miTrayIconMenuSetup")), &QAction::triggered, this,
            &TMainForm::LoadOnlineStateFormExecute);
    QAction* sound = AddItem(FTrayMenu, "miTrayIconMenuPlaySound", QLM_TEXT("&Play Sound"));
    sound->setCheckable(true);
    connect(sound, &QAction::triggered, this, &TMainForm::SetPlaySoundExecute);
    FTrayMenu->addSeparator();
    AddItem(FTrayMenu, "miTrayIconMenuExit", QLM_TEXT("&Exit"))->setIcon(Image("TRAYICONMENU_EXIT"));
    connect(Action(QStringLiteral("miTrayIconMenuExit")), &QAction::triggered, this, &TMainForm::ExitApplicationExecute);
    connect(FTrayMenu, &QMenu::aboutToShow, this, &TMainForm::UpdateTrayMenu);
}

void TMainForm::UpdateTrayMenu() {
    Action(QStringLiteral("miTrayIconMenuPlaySound"))->setChecked(Params()[bpPlaySound]);
    Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"))->setChecked(Params()[bpMainWindowAlwaysOnTop]);
    CheckStateItems("miTrayIconMenu");
}

void TMainForm::CheckStateItems(const char* prefix) {
    const int tag = OnlineStateMenu::TagOf(FStateController->State());
    for (const char* suffix : {"Online", "Busy", "Away"}) {
        QAction* item = Action(QString::fromLatin1(prefix) + QLatin1String(suffix));
        item->setChecked(item->data().toInt() == tag);
    }
}

void TMainForm::UpdatePanelItems() {
    const bool online = FNavBar->ActiveGroupIndex() == OnlinePanel;
    Action(QStringLiteral("miMainRefreshList"))->setEnabled(online);
    Action(QStringLiteral("miMainShowNetwork"))->setEnabled(online);
    Action(QStringLiteral("miMainShowOnlineUser"))->setEnabled(!online);
    if (QAction* refresh = Action(QStringLiteral("miMainRefreshNetwork"))) refresh->setEnabled(!online);
}

void TMainForm::TranslateCaptions() {
    for (const TCaption& caption : FCaptions) {
        if (auto* action = qobject_cast<QAction*>(caption.Target.data())) action->setText(Translate(caption.English));
    }
    FNavBar->SetGroupCaption(OnlinePanel, Translate(QStringLiteral("Online User List")));
    FNavBar->SetGroupCaption(NetworkPanel, Translate(QStringLiteral("Network Neighborhood")));
    FNetworkTree->TranslateCaptions();
    FNavBar->TranslateCaptions();
    const QList<QPair<const char*, QString>> hints = {
        {"tbtnSendMessage", Translate(QStringLiteral("Send message to selected user"))},
        {"tbtnSendChecked", Translate(QStringLiteral("Send message to all checked users"))},
        {"tbtnSendFile", Translate(QStringLiteral("Send file to selected user"))},
        {"tbtnRefresh", Translate(QStringLiteral("Refresh online user list"))},
        {"tbtnChangeColor", Translate(QStringLiteral("Change color sheme"))},
    };
    for (const auto& [name, hint] : hints)
        if (auto* button = findChild<QToolButton*>(QString::fromLatin1(name))) button->setToolTip(hint);
    FOnlineCommands->TranslateCaptions();
    FNode->Model().SetFavoriteName(Translate(QStringLiteral("Favorite Contacts")));
    // "<Busy>", "<Away>" and the silence text are drawn in the new language too.
    FUserView->viewport()->update();
    UpdateCaption();
    RefreshStateTexts();
}

void TMainForm::ArrangeTrayMenu() {
    // Each area adds its items where it is built; this puts them in one block, in order, between
    // the help items and "Always On &Top", with one separator on each side.
    static const char* const kOrder[] = {"miTrayIconMenuSendMessage", "miTrayIconMenuSendFile",
                                         "miTrayIconMenuSendCMessage", "miTrayIconMenuBroadcast",
                                         "miTrayIconMenuManage", "miTrayIconMenuLogManagement"};
    QAction* onTop = Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"));
    if (!onTop) return;
    QList<QAction*> block;
    for (const char* name : kOrder)
        for (QAction* item : FTrayMenu->actions())
            if (item->objectName() == QLatin1String(name)) {
                block << item;
                FTrayMenu->removeAction(item);
                break;
            }
    // Separators left side by side by the removal go.
    QAction* previous = nullptr;
    for (QAction* item : FTrayMenu->actions()) {
        if (item->isSeparator() && previous && previous->isSeparator()) FTrayMenu->removeAction(item);
        else previous = item;
    }
    FTrayMenu->insertActions(onTop, block);
    if (!block.isEmpty()) FTrayMenu->insertSeparator(onTop);
}
