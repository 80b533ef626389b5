// The main window's commands that open message windows.
#include "core/TextFormatUnit.h"
#include "app/DesktopUnit.h"
#include "messaging/widgets/MessageWindowsUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "node/NodeUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "app/MainUnit.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

namespace {

constexpr int TagBroadcast = 1201;

} // namespace

void TMainForm::ConnectChatCommands() {
    auto* sendSelected = findChild<QToolButton*>(QStringLiteral("tbtnSendMessage"));
    auto* sendChecked = findChild<QToolButton*>(QStringLiteral("tbtnSendChecked"));
    // As the list's "Send Message to Checked...": only with a user ticked.
    auto updateChecked = [this, sendChecked] { sendChecked->setEnabled(!FNode->Model().CheckedRecipients().isEmpty()); };
    updateChecked();
    connect(&FNode->Model(), &QAbstractItemModel::modelReset, sendChecked, updateChecked);
    connect(&FNode->Model(), &QAbstractItemModel::layoutChanged, sendChecked, updateChecked);
    connect(&FNode->Model(), &QAbstractItemModel::dataChanged, sendChecked, updateChecked);
    connect(&FNode->Model(), &QAbstractItemModel::rowsInserted, sendChecked, updateChecked);
    connect(&FNode->Model(), &QAbstractItemModel::rowsRemoved, sendChecked, updateChecked);
    sendSelected->setEnabled(FUserView->IsUserSelected());
    connect(FUserView, &TOnlineUserView::UserSelectionChanged, sendSelected, &QToolButton::setEnabled);
    connect(sendSelected, &QToolButton::clicked, this,
            [this] { LoadMessageFormExecute(TOnlineUserCommands::TagSendMessageSelected); });
    connect(sendChecked, &QToolButton::clicked, this,
            [this] { LoadMessageFormExecute(TOnlineUserCommands::TagSendMessageChecked); });
    connect(FUserView, &TOnlineUserView::SendMessageRequested, this,
            [this] { LoadMessageFormExecute(TOnlineUserCommands::TagSendMessageSelected); });
    connect(FOnlineCommands, &TOnlineUserCommands::LoadMessageFormRequested, this, &TMainForm::LoadMessageFormExecute);
    for (const char* name : {"miOnlineSendMessageSelected", "miOnlineSendMessageChecked"})
        if (QAction* item = FOnlineCommands->MenuAction(QString::fromLatin1(name))) item->setVisible(true);

    // "&Broadcast Message..." in Tools, before "&Play Sound" with a separator between.
    QAction* sound = Action(QStringLiteral("miMainPlaySound"));
    if (QMenu* tools = sound ? qobject_cast<QMenu*>(sound->parent()) : nullptr) {
        QAction* broadcast = AddItem(tools, "miMainBroadcast", QLM_TEXT("&Broadcast Message..."), TagBroadcast);
        tools->removeAction(broadcast);
        tools->insertAction(sound, broadcast);
        tools->insertSeparator(sound);
        connect(broadcast, &QAction::triggered, this, [this] { LoadMessageFormExecute(TagBroadcast); });
    }
}

void TMainForm::LoadMessageFormExecute(int tag) {
    TRecipients recipients;
    switch (tag) {
    case TagBroadcast:
        FDesktop.MessageWindows().Open(true, true, true, {});
        return;
    case TOnlineUserCommands::TagSendMessageSelected:
        if (const std::optional<TRecipient> one = FNode->Model().SelectedRecipient(FUserView->SelectedRow()))
            recipients << *one;
        break;
    case TOnlineUserCommands::TagSendMessageChecked:
        recipients = FNode->Model().CheckedRecipients();
        break;
    // Computers of the network panel: no nicknames, one recipient per computer.
    case TNetworkTree::TagSendMessageSelected:
        if (const std::optional<TRecipient> one = FNetworkTree->SelectedComputer()) recipients << *one;
        break;
    case TNetworkTree::TagSendMessageChecked:
        recipients = FNetworkTree->CheckedComputers();
        break;
    default:
        return;
    }
    const bool nicknames = tag != TNetworkTree::TagSendMessageSelected && tag != TNetworkTree::TagSendMessageChecked;
    if (recipients.isEmpty()) return;
    FDesktop.MessageWindows().Open(true, false, nicknames, recipients);
}
