// The main window's incoming items: routing of chat and file events, the
// queue's tray controller, and the tray's commands that open message windows.
#include "ui/MainUnit.h"

#include "chatlog/ChatLogUnit.h"
#include "core/OnlineStateValueUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/IncomingRouteUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "messaging/widgets/QueueControllerUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "node/NodeUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/widgets/OnlineStateMenuUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/UILangUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/TrayIconUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QAction>
#include <QLocale>
#include <QMenu>

namespace {

// Tags of the tray's message commands (shared with the main window's menus).
constexpr int kTagBroadcast = 1201;
constexpr int kTagMessageUser = 1207;

TRecipient SenderOf(const TBroadcastData& record, bool withId) {
    TRecipient sender;
    sender.NickName = record.NickName;
    sender.ComputerName = record.ComputerName;
    sender.IPAddress = record.IPAddress;
    if (withId) sender.UserId = record.UserId;
    return sender;
}

QString ArrivalText(const TBroadcastData& record) {
    return QLocale().toString(DateTimeFromDays(record.ReceivedTime), QLocale::ShortFormat);
}

} // namespace

void TMainForm::BuildQueue() {
    auto idleHint = [this] {
        const OnlineStates::TStateTexts texts = OnlineStates::RefreshStateTexts(Params(), FStateController->State(), false);
        return texts.TrayHint.value_or(FTray->Hint());
    };
    FQueueController = new TQueueController(ServerQueue(), *FTray, *FNotifications, {}, idleHint, this);

    TQueueOpeners openers;
    // The body is in the sender's code page: the window decodes it by the sender's language.
    openers.OpenBroadcast = [this](const TBroadcastData& record) {
        OpenMessageForm(*FNode, this, false, true, true, {SenderOf(record, false)}, ArrivalText(record), record.Body,
                        record.LanguageId);
    };
    openers.OpenMessage = [this](const TBroadcastData& record) {
        OpenMessageForm(*FNode, this, false, false, true, {SenderOf(record, true)}, ArrivalText(record), record.Body,
                        record.LanguageId);
    };
    openers.ShowInChatWindow = [](const TBroadcastData& record) { return ShowInChatWindow(record); };
    // The file window is set later: look the openers up when they are needed.
    openers.OpenFiles = [this](const TQueueItem& item) {
        if (FFileOpeners.OpenFiles) FFileOpeners.OpenFiles(item);
    };
    openers.OpenRequest = [this](const TOnlineNotify& request, TRequestDialogMode mode) {
        if (FFileOpeners.OpenRequest) FFileOpeners.OpenRequest(request, mode);
    };
    FQueueController->SetOpeners(openers);

    TIncomingActions actions;
    actions.Log = [this](TLogRecord record) { FNode->ChatLog().AddLogRecord(std::move(record)); };
    actions.ShowInChatWindow = openers.ShowInChatWindow;
    actions.PopUp = [this](const TQueueItem& item) { FQueueController->ShowItem(item, false); };
    actions.OpenRequest = openers.OpenRequest;
    actions.PlaySound = [] { Utils::PlaySoundFile(TSound::Message); };
    FIncoming = new TIncomingRouter(ServerQueue(), actions, {}, this);
    FIncoming->Connect(FNode->Chat());

    TTransferService& transfer = FNode->Transfer();
    connect(&transfer, &TTransferService::OfferArrived, FIncoming, &TIncomingRouter::OfferArrived);
    connect(&transfer, &TTransferService::OfferCanceled, FIncoming, &TIncomingRouter::OfferCanceled);
    connect(&transfer, &TTransferService::FilesArrived, FIncoming,
            [this](const TFilesArrival& arrival, bool delivered) {
                FIncoming->FilesArrived(arrival.Data, arrival.SenderFolder, arrival.ReceivedNames, delivered);
            });
    connect(&transfer, &TTransferService::TransferTerminated, this,
            [this](const TFilesArrival& arrival, bool delivered) {
                if (delivered || !FFileOpeners.OpenRequest) return;
                TOnlineNotify sender;
                sender.NickName = arrival.Data.NickName;
                sender.ComputerName = arrival.Data.ComputerName;
                sender.IPAddress = arrival.Data.IPAddress;
                sender.UserId = arrival.Data.UserId;
                sender.ReceiverHandle = arrival.Data.RequestHandle;
                FFileOpeners.OpenRequest(sender, TRequestDialogMode::Terminated);
            });

    BuildSendMessageMenu();
}

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
    // Computers of the network neighbourhood come first once it can be
    // browsed; then the users from the last row to the first.
    const QList<QModelIndex> users = FNode->Model().UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it) {
        const TUserNodeData* user = FNode->Model().NodeData(*it);
        if (!user) continue;
        const QString name = Utils::DisplayName(!user->NickName.isEmpty(), user->NickName, user->ComputerName);
        QAction* item = FSendMessageMenu->addAction(name);
        item->setData(kTagMessageUser);
        const TOnlineState state = OnlineStateFromWire(user->OnlineState).value_or(TOnlineState::Online);
        item->setIcon(TAppImages::Instance().Icon(OnlineStateMenu::MenuImageName(state)));
        const QString target = QStringList{user->NickName, user->ComputerName, user->IPAddress, user->UserId}.join(
            QLatin1Char('\t'));
        item->setStatusTip(target);
        connect(item, &QAction::triggered, this, [this, target] { SendMessageToTargetExecute(target, false); });
    }
    FSendMessageMenu->setEnabled(!FSendMessageMenu->isEmpty());
}

void TMainForm::BroadcastMessageExecute() { OpenMessageForm(*FNode, this, true, true, true, {}); }

void TMainForm::SendMessageToTargetExecute(const QString& targetHint, bool computer) {
    const QStringList fields = targetHint.split(QLatin1Char('\t'));
    if (fields.size() < 4) return;
    TRecipient recipient;
    recipient.NickName = computer ? QString() : fields[0];
    recipient.ComputerName = fields[1];
    recipient.IPAddress = fields[2];
    recipient.UserId = computer ? QString() : fields[3];
    OpenMessageForm(*FNode, this, true, false, !computer, {recipient});
}
