// The main window's way into the chat log: "&Log Management..." in the Tools and tray menus.
#include "app/MainUnit.h"

#include "app/DesktopUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QMenu>

void TMainForm::BuildLogItems() {
    // The item goes before `before`, with a separator between them.
    auto place = [this](QMenu* menu, const char* name, QAction* before) {
        QAction* item = AddItem(menu, name, QLM_TEXT("&Log Management..."));
        item->setIcon(TAppImages::Instance().Icon(QStringLiteral("U_HISTORYLIST")));
        menu->removeAction(item);
        menu->insertAction(before, item);
        menu->insertSeparator(before);
        connect(item, &QAction::triggered, this, &TMainForm::miLogManageClick);
    };
    // First in Tools; in the tray menu, in the block of windows before "Always On Top".
    auto* tools = findChild<QMenu*>(QStringLiteral("miMainTools"));
    place(tools, "miLogManage", tools->actions().value(0));
    place(FTrayMenu, "miTrayIconMenuLogManagement", Action(QStringLiteral("miTrayIconMenuAlwaysOnTop")));
}

void TMainForm::miLogManageClick() { FDesktop.OpenLogManager(); }
