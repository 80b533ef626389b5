// The main window's network neighbourhood: the panel's commands, "Refresh
// Windows &Network" and the computer items of the tray's submenus.
#include "app/MainUnit.h"

#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "ui/AppImagesUnit.h"

#include <QAction>
#include <QMenu>

void TMainForm::BuildNetworkCommands() {
    connect(FNetworkTree, &TNetworkTree::CommandRequested, this, [this](int tag) {
        switch (tag) {
        case TNetworkTree::TagSendMessageSelected:
        case TNetworkTree::TagSendMessageChecked: LoadMessageFormExecute(tag); break;
        case TNetworkTree::TagSendCMessageSelected:
        case TNetworkTree::TagSendCMessageChecked: LoadConsoleFormExecute(tag); break;
        case TNetworkTree::TagSendFileSelected: LoadFileFormExecute(tag); break;
        default: break;
        }
    });
}

void TMainForm::ReloadNetworkTreeExecute() { FNetworkTree->ReloadNetworkTreeExecute(); }

void TMainForm::AddComputerItems(QMenu* menu, int tag) {
    const TRecipients computers = FNetworkTree->AllComputers();
    const QIcon icon = FNetworkTree->ComputerIcon();
    for (const TRecipient& computer : computers) {
        QAction* item = menu->addAction(icon, computer.ComputerName);
        item->setData(tag);
        // The target as the tray's items keep it: nickname, computer, address, unique id.
        const QString target = QStringList{QString(), computer.ComputerName, computer.IPAddress, QString()}.join(QLatin1Char('\t'));
        item->setStatusTip(target);
        if (tag == 1206)
            connect(item, &QAction::triggered, this, [this, target] { SendMessageToTargetExecute(target, true); });
        else
            connect(item, &QAction::triggered, this, [this, tag, computer] { LoadFileFormExecute(tag, &computer); });
    }
    if (!computers.isEmpty()) menu->addSeparator();
}
