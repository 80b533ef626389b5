// The tray's commands that open message windows.
#include "app/MainUnit.h"

#include "core/OnlineStateValueUnit.h"
#include "core/UtilsUnit.h"
#include "app/DesktopUnit.h"
#include "messaging/widgets/MessageWindowsUnit.h"
#include "node/NodeUnit.h"
#include "presence/widgets/OnlineUserMenuUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/OnlineStateMenuUnit.h"
#include "ui/TrayIconUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QAction>
#include <QMenu>

namespace {

// Tags of the tray's message commands (shared with the main window's menus).
constexpr int kTagBroadcast = 1201;
constexpr int kTagMessageUser = 1207;

} // namespace

void TMainForm::BuildSendMessageMenu() {
    // After "Co&ntents" and its separator, before "Always On &Top".
    QAction* before = Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"));
    FSendMessageMenu = AddSubmenu(FTrayMenu, "miTrayIconMenuSendMessage", QLM_TEXT("Send &Message..."));
    FSendMessageMenu->menuAction()->setData(0);
    FSendMessageMenu->menuAction()->setIcon(TAppImages::Instance().Icon(QStringLiteral("U_COMMAND_SENDMESSAGE")));
    QAction* broadcast = AddItem(FTrayMenu, "miTrayIconMenuBroadcast", QLM_TEXT("&Broadcast Message..."), kTagBroadcast);
    broadcast->setIcon(TAppImages::Instance().Icon(QStringLiteral("TRAYICONMENU_BROADCAST")));
    connect(broadcast, &QAction::triggered, this, &TMainForm::BroadcastMessageExecute);
    for (QAction* item : {FSendMessageMenu->menuAction(), broadcast}) {
        FTrayMenu->removeAction(item);
        FTrayMenu->insertAction(before, item);
    }
    FTrayMenu->insertSeparator(before);
    connect(FTrayMenu, &QMenu::aboutToShow, this, &TMainForm::UpdateSendMessageMenu);
}

void TMainForm::UpdateSendMessageMenu() {
    FSendMessageMenu->clear();
    // Computers of the network neighbourhood first, then the users from the last row to the first.
    AddComputerItems(FSendMessageMenu, 1206);
    for (const TOnlineUserItem& item : AddOnlineUserItems(FSendMessageMenu, FNode->Model(), Params()[bpOnlyUserNickname])) {
        item.Action->setData(kTagMessageUser);
        const TRecipient& user = item.User;
        const QString target =
            QStringList{user.NickName, user.ComputerName, user.IPAddress, user.UserId}.join(QLatin1Char('\t'));
        item.Action->setStatusTip(target);
        connect(item.Action, &QAction::triggered, this, [this, target] { SendMessageToTargetExecute(target, false); });
    }
    FSendMessageMenu->setEnabled(!FSendMessageMenu->isEmpty());
}

void TMainForm::BroadcastMessageExecute() { FDesktop.MessageWindows().Open(true, true, true, {}); }

void TMainForm::SendMessageToTargetExecute(const QString& targetHint, bool computer) {
    const QStringList fields = targetHint.split(QLatin1Char('\t'));
    if (fields.size() < 4) return;
    TRecipient recipient;
    recipient.NickName = computer ? QString() : fields[0];
    recipient.ComputerName = fields[1];
    recipient.IPAddress = fields[2];
    recipient.UserId = computer ? QString() : fields[3];
    FDesktop.MessageWindows().Open(true, false, !computer, {recipient});
}
