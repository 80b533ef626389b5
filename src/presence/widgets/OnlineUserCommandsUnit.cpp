#include "presence/widgets/OnlineUserCommandsUnit.h"

#include "core/ParamsUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "text/UILangUnit.h"

#include <QAction>
#include <QMenu>

TOnlineMenuState OnlineMenuState(const TOnlineUserModel& model, const QModelIndex& selected,
                                 const QObject* floatingWindow) {
    TOnlineMenuState state;
    const TUserNodeData* node = model.NodeData(selected);
    const bool user = node && !node->IsGroup;
    state.SendSelected = user;
    state.SendChecked = !model.CheckedRecipients().isEmpty();
    state.RenameGroup = node && node->IsGroup && !node->IsFavorite;
    state.DeleteGroup = state.RenameGroup;
    state.MoveToGroup = user && model.GroupCount() >= 2;
    state.FloatingWindow = user;
    state.FloatingChecked = user && floatingWindow;
    return state;
}

TOnlineUserCommands::TOnlineUserCommands(TOnlineUserView& view, TApplicationParams& params, QObject* parent)
    : QObject(parent), FView(view), FParams(params),
      FInputText([](QWidget* owner, const QString& caption, const QString& prompt, QString* value) {
          return Utils::InputText(owner, caption, prompt, value);
      }),
      FMessageBox([](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
          return Utils::ShowMessageBox(owner, true, kind, text);
      }) {}

TOnlineUserModel* TOnlineUserCommands::Model() const { return FView.OnlineModel(); }

QWidget* TOnlineUserCommands::Owner() const { return FView.window(); }

QAction* TOnlineUserCommands::AddItem(QMenu* menu, const char* objectName) {
    QAction* action = menu->addAction(QString());
    action->setObjectName(QString::fromLatin1(objectName));
    return action;
}

void TOnlineUserCommands::BuildMenu(QMenu* menu) {
    FMenu = menu;
    menu->setObjectName(QStringLiteral("pmOnline"));
    connect(AddItem(menu, "miOnlineSendMessageSelected"), &QAction::triggered, this,
            [this] { emit LoadMessageFormRequested(TagSendMessageSelected); });
    connect(AddItem(menu, "miOnlineSendMessageChecked"), &QAction::triggered, this,
            [this] { emit LoadMessageFormRequested(TagSendMessageChecked); });
    connect(AddItem(menu, "miOnlineSendFileSelected"), &QAction::triggered, this,
            [this] { emit LoadFileFormRequested(TagSendFileSelected); });
    menu->addSeparator();
    connect(AddItem(menu, "miOnlineAddGroup"), &QAction::triggered, this, &TOnlineUserCommands::miOnlineAddGroupClick);
    connect(AddItem(menu, "miOnlineRenameGroup"), &QAction::triggered, this, &TOnlineUserCommands::miOnlineRenameGroupClick);
    connect(AddItem(menu, "miOnlineDeleteGroup"), &QAction::triggered, this, &TOnlineUserCommands::miOnlineDeleteGroupClick);
    FMoveMenu = menu->addMenu(QString());
    FMoveMenu->menuAction()->setObjectName(QStringLiteral("miOnlineMoveToGroup"));
    menu->addSeparator();

    FShowMenu = menu->addMenu(QString());
    FShowMenu->menuAction()->setObjectName(QStringLiteral("miOnlineShow"));
    const struct {
        const char* Name;
        int Tag;
    } shows[] = {{"miOnlineComputerName", 0}, {"miOnlineIPAddress", 1}};
    for (const auto& show : shows) {
        QAction* action = AddItem(FShowMenu, show.Name);
        action->setCheckable(true);
        action->setData(show.Tag);
        connect(action, &QAction::triggered, this, [this, tag = show.Tag] { miOnlineComputerNameClick(tag); });
    }
    menu->addSeparator();
    const struct {
        const char* Name;
        int Tag;
    } checks[] = {{"miOnlineCheckAll", 1}, {"miOnlineCheckNone", 3}, {"miOnlineInvert", 2}};
    for (const auto& check : checks) {
        QAction* action = AddItem(menu, check.Name);
        action->setData(check.Tag);
        connect(action, &QAction::triggered, this, [this, tag = check.Tag] { CheckOnlineUserExecute(tag); });
    }
    menu->addSeparator();
    connect(AddItem(menu, "miRefreshOnline"), &QAction::triggered, this, [this] { emit RefreshOnlineListRequested(); });
    QAction* floating = AddItem(menu, "miOnlineShowFloatingWindow");
    floating->setCheckable(true);
    // The check has flipped by the time triggered arrives.
    connect(floating, &QAction::triggered, this, [this](bool checked) { emit FloatingWindowToggleRequested(!checked); });

    connect(menu, &QMenu::aboutToShow, this, &TOnlineUserCommands::UpdateMenu);
    connect(&FView, &TOnlineUserView::OnlineMenuRequested, this, [this](const QPoint& pos) {
        if (FMenu) FMenu->exec(pos);
    });
    TranslateCaptions();
    UpdateMenu();
}

QAction* TOnlineUserCommands::MenuAction(const QString& objectName) const {
    if (!FMenu) return nullptr;
    for (QAction* action : FMenu->findChildren<QAction*>())
        if (action->objectName() == objectName) return action;
    for (QMenu* sub : {FMoveMenu.data(), FShowMenu.data()})
        if (sub && sub->menuAction()->objectName() == objectName) return sub->menuAction();
    return nullptr;
}

void TOnlineUserCommands::TranslateCaptions() {
    if (!FMenu) return;
    const struct {
        const char* Name;
        QString Text;
    } captions[] = {
        {"miOnlineSendMessageSelected", Translate(QStringLiteral("Send Message to Selected..."))},
        {"miOnlineSendMessageChecked", Translate(QStringLiteral("Send Message to Checked..."))},
        {"miOnlineSendFileSelected", Translate(QStringLiteral("Send File(s) to Selected..."))},
        // The dialog's caption with "..." after it, as the item opens that dialog.
        {"miOnlineAddGroup", Translate(QStringLiteral("Add New Group")) + QStringLiteral("...")},
        {"miOnlineRenameGroup", Translate(QStringLiteral("Rename Group")) + QStringLiteral("...")},
        {"miOnlineDeleteGroup", Translate(QStringLiteral("Delete Group"))},
        {"miOnlineMoveToGroup", Translate(QStringLiteral("Move to Group"))},
        {"miOnlineShow", Translate(QStringLiteral("Show"))},
        {"miOnlineComputerName", Translate(QStringLiteral("Computer Name"))},
        {"miOnlineIPAddress", Translate(QStringLiteral("IP Address"))},
        {"miOnlineCheckAll", Translate(QStringLiteral("Check All"))},
        {"miOnlineCheckNone", Translate(QStringLiteral("Check None"))},
        {"miOnlineInvert", Translate(QStringLiteral("Invert"))},
        {"miRefreshOnline", Translate(QStringLiteral("Refresh List"))},
        {"miOnlineShowFloatingWindow", Translate(QStringLiteral("Show Floating Window"))},
    };
    for (const auto& caption : captions)
        if (QAction* action = MenuAction(QString::fromLatin1(caption.Name))) action->setText(caption.Text);
}

void TOnlineUserCommands::UpdateMenu() {
    if (!FMenu) return;
    TOnlineMenuState state;
    if (const TOnlineUserModel* model = Model()) {
        const TUserNodeData* node = FView.SelectedNode();
        const QObject* floating = node ? FloatingWindow(TOnlineUserModel::UserKey(node->ComputerName, node->UserId)) : nullptr;
        state = OnlineMenuState(*model, FView.SelectedRow(), floating);
    }
    const auto enable = [this](const char* name, bool on) {
        if (QAction* action = MenuAction(QString::fromLatin1(name))) action->setEnabled(on);
    };
    enable("miOnlineSendMessageSelected", state.SendSelected);
    enable("miOnlineSendMessageChecked", state.SendChecked);
    enable("miOnlineSendFileSelected", state.SendSelected);
    enable("miOnlineRenameGroup", state.RenameGroup);
    enable("miOnlineDeleteGroup", state.DeleteGroup);
    enable("miOnlineMoveToGroup", state.MoveToGroup);
    enable("miOnlineShowFloatingWindow", state.FloatingWindow);
    if (QAction* floating = MenuAction(QStringLiteral("miOnlineShowFloatingWindow")))
        floating->setChecked(state.FloatingChecked);
    if (QAction* computer = MenuAction(QStringLiteral("miOnlineComputerName")))
        computer->setChecked(FParams[bpOnlineListShowCompuerName]);
    if (QAction* address = MenuAction(QStringLiteral("miOnlineIPAddress")))
        address->setChecked(FParams[bpOnlineListShowIPAddress]);
    if (FMoveMenu) BuildMoveToGroupMenu(FMoveMenu);
}

void TOnlineUserCommands::SetFloatingWindow(const QString& userKey, QObject* window) {
    if (window) FFloatingWindows.insert(userKey.toCaseFolded(), window);
    else FFloatingWindows.remove(userKey.toCaseFolded());
}

QObject* TOnlineUserCommands::FloatingWindow(const QString& userKey) const {
    return FFloatingWindows.value(userKey.toCaseFolded()).data();
}

bool TOnlineUserCommands::AskGroupName(const QString& caption, const QString& prompt, QString* name) {
    if (!FInputText(Owner(), caption, prompt, name)) return false;
    // Blanks at either end would not survive the groups file; a blank name is no name.
    *name = name->trimmed();
    return !name->isEmpty();
}

void TOnlineUserCommands::miOnlineAddGroupClick() {
    TOnlineUserModel* model = Model();
    if (!model) return;
    QString name;
    if (!AskGroupName(Translate(QStringLiteral("Add New Group")),
                      Translate(QStringLiteral("Please input group name to be added(Max 20 chars).")), &name))
        return;
    model->AddGroup(name); // a name in use is refused without a word
}

void TOnlineUserCommands::miOnlineRenameGroupClick() {
    TOnlineUserModel* model = Model();
    const TUserNodeData* node = FView.SelectedNode();
    if (!model || !node || !node->IsGroup || node->IsFavorite) return;
    // The list may change while the dialog is open.
    const QPersistentModelIndex group = FView.SelectedRow();
    QString name = node->GroupName;
    if (!AskGroupName(Translate(QStringLiteral("Rename Group")),
                      Translate(QStringLiteral("Please input a new group name(Max 20 chars).")), &name))
        return;
    if (group.isValid()) model->RenameGroup(group, name);
}

void TOnlineUserCommands::miOnlineDeleteGroupClick() {
    TOnlineUserModel* model = Model();
    if (!model) return;
    if (model->DeleteGroup(FView.SelectedRow()) == dgNotEmpty)
        FMessageBox(Owner(), Utils::TMessageBoxKind::Information,
                    Translate(QStringLiteral("Please move all the group's users to other group and try again.")));
}

void TOnlineUserCommands::BuildMoveToGroupMenu(QMenu* submenu) {
    submenu->clear();
    FMoveUser = QPersistentModelIndex();
    const TOnlineUserModel* model = Model();
    if (!model) return;
    const QModelIndex user = FView.SelectedRow();
    const QList<TMoveTarget> targets = model->MoveToGroupTargets(user);
    if (targets.isEmpty()) return;
    FMoveUser = user;
    for (const TMoveTarget& target : targets) {
        QString caption = target.Name;
        QAction* action = submenu->addAction(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setData(target.Name);
        action->setProperty("Tag", target.TreeIndex);
        connect(action, &QAction::triggered, this, [this, name = target.Name] { MoveSelectedUserTo(name); });
    }
}

void TOnlineUserCommands::MoveSelectedUserTo(const QString& groupName) {
    TOnlineUserModel* model = Model();
    // The group is found by name, not by the row number the item was built
    // with: rows may have come and gone while the menu was open.
    if (!model || !FMoveUser.isValid()) return;
    const QModelIndex group = model->FindGroup(groupName);
    if (group.isValid()) model->MoveUserToGroup(FMoveUser, group);
}

void TOnlineUserCommands::CheckOnlineUserExecute(int tag) {
    TOnlineUserModel* model = Model();
    if (!model) return;
    switch (tag) {
    case 1: model->CheckOnlineUsers(TCheckAction::CheckAll); break;
    case 2: model->CheckOnlineUsers(TCheckAction::Invert); break;
    case 3: model->CheckOnlineUsers(TCheckAction::CheckNone); break;
    default: break;
    }
}

void TOnlineUserCommands::miOnlineComputerNameClick(int tag) {
    const TBooleanParams setting = tag == 0 ? bpOnlineListShowCompuerName : bpOnlineListShowIPAddress;
    if (tag != 0 && tag != 1) return;
    FParams[setting] = !FParams[setting];
    if (QAction* action = MenuAction(tag == 0 ? QStringLiteral("miOnlineComputerName") : QStringLiteral("miOnlineIPAddress")))
        action->setChecked(FParams[setting]);
    FView.viewport()->update();
}
