// The main window's way to console messages: "Send &Console Message..." in Tools and the tray menu.
#include "app/MainUnit.h"

#include "console/widgets/ConsoleUnit.h"
#include "core/ParamsUnit.h"
#include "app/DesktopUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "node/NodeUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QMenu>

namespace {
constexpr int TagConsole = 1101;
} // namespace

void TMainForm::BuildConsoleItems() {
    const QIcon icon = TAppImages::Instance().Icon(QStringLiteral("TRAYICONMENU_CONSOLEMESSAGE"));
    // In Tools before "&Broadcast Message..." (after the log manager's separator).
    auto* tools = findChild<QMenu*>(QStringLiteral("miMainTools"));
    QAction* item = AddItem(tools, "miMainConsole", QLM_TEXT("Send &Console Message..."), TagConsole);
    item->setIcon(icon);
    if (QAction* broadcast = Action(QStringLiteral("miMainBroadcast"))) {
        tools->removeAction(item);
        tools->insertAction(broadcast, item);
    }
    connect(item, &QAction::triggered, this, [this] { LoadConsoleFormExecute(TagConsole); });
    // The tray's item; ArrangeTrayMenu puts it in its place among the windows.
    QAction* tray = AddItem(FTrayMenu, "miTrayIconMenuSendCMessage", QLM_TEXT("Send &Console Message..."), TagConsole);
    tray->setIcon(icon);
    connect(tray, &QAction::triggered, this, [this] { LoadConsoleFormExecute(TagConsole); });
}

TConsoleForm* TMainForm::LoadConsoleFormExecute(int tag, const QString& names) {
    QString consignees = names;
    switch (tag) {
    case TagConsole: break;
    case TNetworkTree::TagSendCMessageSelected:
    case TNetworkTree::TagSendCMessageChecked:
        consignees = FNetworkTree->ConsoleNames(tag == TNetworkTree::TagSendCMessageChecked);
        if (consignees.isEmpty()) return nullptr;
        break;
    default: return nullptr;
    }
    TConsoleFormContext context;
    context.Service = &FNode->Console();
    context.Params = &Params();
    // "&Add...": a computer of the network neighbourhood.
    context.AskComputerName = [this](QWidget* owner, QString* name) {
        const std::optional<TRecipient> chosen = FDesktop.ChooseComputer(owner);
        if (!chosen) return false;
        *name = chosen->ComputerName;
        return true;
    };
    // Owned by the main window, a window of its own; it deletes itself on close.
    auto* form = new TConsoleForm(std::move(context), consignees, this);
    form->show();
    return form;
}
