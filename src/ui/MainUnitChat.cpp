// The main window's commands that open message windows.
#include "core/TextFormatUnit.h"
#include "messaging/ServerQueueUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "node/NodeUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "transfer/widgets/FileFormUnit.h"
#include "ui/MainUnit.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

namespace {

constexpr int TagBroadcast = 1201;

} // namespace

void TMainForm::ConnectChatCommands() {
    // The message windows reach the queue, the log manager and the file window through these.
    const QPointer<TMainForm> self(this);
    TNewMsgForm::SetQueuePuller([](const TRecipient& sender) { return ServerQueue().TakeMessagesOf(sender); });
    TNewMsgForm::SetLogManagerOpener([self] {
        if (self) self->miLogManageClick();
    });
    TNewMsgForm::SetFileSender([self](const TRecipients& recipients, bool useNickname, const QStringList& paths) {
        if (self) OpenFileFormToSend(self->Node(), self, recipients, useNickname, paths);
    });
    auto* sendSelected = findChild<QToolButton*>(QStringLiteral("tbtnSendMessage"));
    auto* sendChecked = findChild<QToolButton*>(QStringLiteral("tbtnSendChecked"));
    sendChecked->setEnabled(true);
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
        OpenMessageForm(*FNode, this, true, true, true, {});
        return;
    case TOnlineUserCommands::TagSendMessageSelected:
        if (const std::optional<TRecipient> one = FNode->Model().SelectedRecipient(FUserView->SelectedRow()))
            recipients << *one;
        break;
    case TOnlineUserCommands::TagSendMessageChecked:
        recipients = FNode->Model().CheckedRecipients();
        break;
    default:
        return;
    }
    if (recipients.isEmpty()) return;
    OpenMessageForm(*FNode, this, true, false, true, recipients);
}
