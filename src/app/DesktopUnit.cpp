#include "app/DesktopUnit.h"

#include "chatlog/widgets/LogManageUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "app/MainUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/IncomingRouteUnit.h"
#include "messaging/widgets/MessageWindowsUnit.h"
#include "messaging/widgets/QueueControllerUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "neighbourhood/widgets/ComputerChooserUnit.h"
#include "node/NodeUnit.h"
#include "platform/NetworkPolicyUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "transfer/widgets/FileFormUnit.h"
#include "text/UILangUnit.h"
#include "ui/TrayIconUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QLocale>

namespace {

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

TReceiveRequestDialog::TMode ReceiveDialogMode(TRequestDialogMode mode) {
    switch (mode) {
    case TRequestDialogMode::New: return TReceiveRequestDialog::rmNew;
    case TRequestDialogMode::Queued: return TReceiveRequestDialog::rmQueued;
    case TRequestDialogMode::QueuedCancelled: return TReceiveRequestDialog::rmQueuedCancelled;
    case TRequestDialogMode::Cancelled: return TReceiveRequestDialog::rmCancelled;
    case TRequestDialogMode::Terminated: return TReceiveRequestDialog::rmTerminated;
    }
    return TReceiveRequestDialog::rmNew;
}

} // namespace

TDesktop::TDesktop(bool startMinimized, QObject* parent) : QObject(parent) {
    FNode = std::make_unique<TNode>();
    // Browsing multicasts and broadcasts: never from tests outside the lab.
    if (Platform::NetworkPolicy() != Platform::TNetworkPolicy::Normal) {
        FNode->Neighbourhood().SetSources({});
        FNode->Neighbourhood().SetResolver([](const QString&, int, const std::atomic<bool>&) { return QHostAddress(); });
    }
    FNotifications = std::make_unique<TTrayNotification>();
    FTray = std::make_unique<TAppTray>();
    BuildOpeners();
    BuildQueue();
    FMainForm = std::make_unique<TMainForm>(*this, startMinimized);
    FNode->Start();
}

TDesktop::~TDesktop() {
    // Nothing presents the queue once its controller is gone; what waits is dropped.
    FIncoming.reset();
    FQueueController.reset();
    FQueue.Clear();
    FMessageWindows.reset();
    FFileWindows.reset();
    // The tray lets go of the main window's menu before the window goes.
    FTray->SetMenu(nullptr);
    FMainForm.reset();
}

void TDesktop::BuildOpeners() {
    TMsgFormContext messages;
    messages.Chat = &FNode->Chat();
    messages.Log = &FNode->ChatLog();
    messages.Lang = &TMessageLang::Instance();
    messages.TakeQueued = [this](const TRecipient& sender) { return FQueue.TakeMessagesOf(sender); };
    messages.OpenLogManager = [this] { OpenLogManager(); };
    messages.SendFiles = [this](const TRecipients& recipients, bool useNickname, const QStringList& paths) {
        FFileWindows->OpenToSend(recipients, useNickname, paths);
    };
    FMessageWindows = std::make_unique<TMessageWindows>(std::move(messages));

    TFileFormContext files;
    files.Transfer = &FNode->Transfer();
    files.Params = &Params();
    files.OnlineModel = &FNode->Model();
    files.Hooks.OpenLogManager = [this] { OpenLogManager(); };
    files.Hooks.ChooseComputer = [this](QWidget* owner) {
        const std::optional<TRecipient> chosen = ChooseComputer(owner);
        return chosen ? TFileFormHooks::TChosenComputer{chosen->ComputerName, chosen->IPAddress}
                      : TFileFormHooks::TChosenComputer{};
    };
    FFileWindows = std::make_unique<TFileWindows>(std::move(files));
}

void TDesktop::BuildQueue() {
    // The state's long caption once the queue is empty again.
    auto idleHint = [this] {
        if (!FMainForm) return FTray->Hint();
        const TOnlineState state = FMainForm->StateController().State();
        const OnlineStates::TStateTexts texts = OnlineStates::RefreshStateTexts(Params(), state, false);
        return texts.TrayHint.value_or(FTray->Hint());
    };
    TQueueOpeners openers;
    // The body is in the sender's code page: the window decodes it by the sender's language.
    openers.OpenBroadcast = [this](const TBroadcastData& record) {
        FMessageWindows->Open(false, true, true, {SenderOf(record, false)}, ArrivalText(record), record.Body,
                              record.LanguageId);
    };
    openers.OpenMessage = [this](const TBroadcastData& record) {
        FMessageWindows->Open(false, false, true, {SenderOf(record, true)}, ArrivalText(record), record.Body,
                              record.LanguageId);
    };
    openers.ShowInChatWindow = [this](const TBroadcastData& record) { return FMessageWindows->ShowInChatWindow(record); };
    openers.OpenFiles = [this](const TFilesArrival& arrival) { FFileWindows->OpenForArrival(arrival); };
    openers.OpenRequest = [this](const TOnlineNotify& request, TRequestDialogMode mode) {
        FFileWindows->OpenForOffer(request, ReceiveDialogMode(mode));
    };
    FQueueController = std::make_unique<TQueueController>(FQueue, *FTray, *FNotifications, openers,
                                                          TQueueController::TFlag{}, idleHint);

    // The routing opens through the controller's openers, so there is one set to replace.
    const auto openRequest = [this](const TOnlineNotify& request, TRequestDialogMode mode) {
        if (const auto& open = FQueueController->Openers().OpenRequest) open(request, mode);
    };
    TIncomingActions actions;
    actions.ShowInChatWindow = [this](const TBroadcastData& record) {
        const auto& show = FQueueController->Openers().ShowInChatWindow;
        return show && show(record);
    };
    actions.PopUp = [this](const TQueueItem& item) { FQueueController->ShowItem(item, false); };
    actions.OpenRequest = openRequest;
    actions.PlaySound = [] { Utils::PlaySoundFile(TSound::Message); };
    FIncoming = std::make_unique<TIncomingRouter>(FQueue, actions);
    FIncoming->Connect(FNode->Chat());

    TTransferService& transfer = FNode->Transfer();
    connect(&transfer, &TTransferService::OfferArrived, FIncoming.get(), &TIncomingRouter::OfferArrived);
    connect(&transfer, &TTransferService::OfferCanceled, FIncoming.get(), &TIncomingRouter::OfferCanceled);
    connect(&transfer, &TTransferService::FilesArrived, FIncoming.get(), &TIncomingRouter::FilesArrived);
    // The sender stopped a transfer no live dialog waited for.
    connect(&transfer, &TTransferService::TransferTerminated, this,
            [openRequest](const TFilesArrival& arrival, bool delivered) {
                if (delivered) return;
                TOnlineNotify sender;
                sender.NickName = arrival.Data.NickName;
                sender.ComputerName = arrival.Data.ComputerName;
                sender.IPAddress = arrival.Data.IPAddress;
                sender.UserId = arrival.Data.UserId;
                sender.ReceiverHandle = arrival.Data.RequestHandle;
                openRequest(sender, TRequestDialogMode::Terminated);
            });
}

TNeighbourhoodService& TDesktop::Neighbourhood() { return FNode->Neighbourhood(); }

std::optional<TRecipient> TDesktop::ChooseComputer(QWidget* owner) {
    if (FChooseComputer) return FChooseComputer(owner);
    return TComputerChooser::Choose(FNode->Neighbourhood(), owner, Translate(QStringLiteral("Choose a computer from windows network.")));
}

void TDesktop::OpenLogManager() { TLogManage::ShowLogManager(FNode->ChatLog()); }
