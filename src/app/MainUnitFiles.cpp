// The main window's file commands: the file windows (Tags 1301-1306).
#include "app/MainUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "app/DesktopUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "node/NodeUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "text/UILangUnit.h"
#include "transfer/widgets/FileFormUnit.h"
#include "presence/widgets/OnlineUserMenuUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace {
QIcon Image(const char* name) { return TAppImages::Instance().Icon(QString::fromLatin1(name)); }
} // namespace

void TMainForm::BuildFileCommands() {
    // File menu: "&Manage Files..." heads it.
    if (QAction* explorer = Action(QStringLiteral("miMainCallExplorer"))) {
        QMenu* file = qobject_cast<QMenu*>(explorer->parent());
        QAction* manage = AddItem(file, "miMainManage", QLM_TEXT("&Manage Files..."), 1306);
        manage->setIcon(Image("TRAYICONMENU_MANAGE"));
        file->removeAction(manage);
        file->insertAction(explorer, manage);
        connect(manage, &QAction::triggered, this, [this] { LoadFileFormExecute(1306); });
    }

    // The online list: its menu item and the File button follow the selection.
    if (QAction* item = FOnlineCommands->MenuAction(QStringLiteral("miOnlineSendFileSelected"))) item->setVisible(true);
    connect(FOnlineCommands, &TOnlineUserCommands::LoadFileFormRequested, this,
            [this](int tag) { LoadFileFormExecute(tag); });
    auto* fileButton = findChild<QToolButton*>(QStringLiteral("tbtnSendFile"));
    connect(fileButton, &QToolButton::clicked, this, [this] { LoadFileFormExecute(1302); });
    const auto follow = [this, fileButton] {
        const std::optional<TRecipient> user = FNode->Model().SelectedRecipient(FUserView->currentIndex());
        fileButton->setEnabled(user.has_value());
    };
    connect(FUserView->selectionModel(), &QItemSelectionModel::currentChanged, fileButton, follow);
    connect(FUserView->selectionModel(), &QItemSelectionModel::selectionChanged, fileButton, follow);
    connect(&FNode->Model(), &QAbstractItemModel::rowsRemoved, fileButton, follow);
    follow();

    // Tray: "Send &File(s)..." and "Manage F&ile(s)..." before the window items.
    QAction* onTop = Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"));
    const QList<QAction*> items = FTrayMenu->actions();
    const qsizetype at = items.indexOf(onTop);
    QAction* before = at > 0 ? items[at - 1] : onTop;
    QMenu* sendFile = AddSubmenu(FTrayMenu, "miTrayIconMenuSendFile", QLM_TEXT("Send &File(s)..."));
    sendFile->menuAction()->setIcon(Image("U_COMMAND_SENDFILE"));
    sendFile->menuAction()->setData(1);
    FTrayMenu->removeAction(sendFile->menuAction());
    FTrayMenu->insertAction(before, sendFile->menuAction());
    connect(sendFile, &QMenu::aboutToShow, this, [this, sendFile] { BuildSendFileMenu(sendFile); });
    QAction* manage = AddItem(FTrayMenu, "miTrayIconMenuManage", QLM_TEXT("Manage F&ile(s)..."), 1306);
    manage->setIcon(Image("TRAYICONMENU_MANAGE"));
    FTrayMenu->removeAction(manage);
    FTrayMenu->insertAction(before, manage);
    connect(manage, &QAction::triggered, this, [this] { LoadFileFormExecute(1306); });

}

void TMainForm::BuildSendFileMenu(QMenu* menu) {
    menu->clear();
    AddComputerItems(menu, 1304);
    for (const TOnlineUserItem& item : AddOnlineUserItems(menu, FNode->Model(), Params()[bpOnlyUserNickname])) {
        item.Action->setData(1305);
        connect(item.Action, &QAction::triggered, this,
                [this, target = item.User] { LoadFileFormExecute(1305, &target); });
    }
}

void TMainForm::LoadFileFormExecute(int tag, const TRecipient* target) {
    switch (tag) {
    case 1301:
    case 1302:
        if (const std::optional<TRecipient> user = FNode->Model().SelectedRecipient(FUserView->currentIndex()))
            FDesktop.FileWindows().OpenToSend({*user}, true);
        break;
    case 1303:
        if (const std::optional<TRecipient> computer = FNetworkTree->SelectedComputer())
            FDesktop.FileWindows().OpenToSend({*computer}, false);
        break;
    case 1304:
        if (target) FDesktop.FileWindows().OpenToSend({*target}, false);
        break;
    case 1305:
        if (target) FDesktop.FileWindows().OpenToSend({*target}, true);
        break;
    case 1306: FDesktop.FileWindows().OpenManager(); break;
    default: break;
    }
}
