// The main window's way into the chat log: "&Log Management..." in the Tools and tray menus.
#include "ui/MainUnit.h"

#include "chatlog/widgets/LogManageUnit.h"
#include "node/NodeUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QMenu>

void TMainForm::BuildLogItems() {
    const QIcon image = TAppImages::Instance().Icon(QStringLiteral("U_HISTORYLIST"));
    // First in Tools, followed by a separator.
    auto* tools = findChild<QMenu*>(QStringLiteral("miMainTools"));
    QAction* first = tools->actions().value(0);
    QAction* item = AddItem(tools, "miLogManage", QLM_TEXT("&Log Management..."));
    item->setIcon(image);
    tools->removeAction(item);
    tools->insertAction(first, item);
    tools->insertSeparator(first);
    connect(item, &QAction::triggered, this, &TMainForm::miLogManageClick);

    // In the tray menu, in the block of windows before "Always On Top".
    QAction* onTop = Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"));
    QAction* tray = AddItem(FTrayMenu, "miTrayIconMenuLogManagement", QLM_TEXT("&Log Management..."));
    tray->setIcon(image);
    FTrayMenu->removeAction(tray);
    FTrayMenu->insertAction(onTop, tray);
    FTrayMenu->insertSeparator(onTop);
    connect(tray, &QAction::triggered, this, &TMainForm::miLogManageClick);
}

void TMainForm::miLogManageClick() { TLogManage::ShowLogManager(FNode->ChatLog()); }
