#pragma once

#include "messaging/ServerQueueUnit.h"
#include "protocol/CommConstsUnit.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class TAppTray;
class TFileWindows;
class TIncomingRouter;
class TLogManage;
class TMainForm;
class TMessageWindows;
class TNeighbourhoodService;
class TNode;
class TQueueController;
class TTrayNotification;
class QWidget;

// The desktop program's objects and how they are wired: the node, the
// incoming queue and its routing, the tray, and the openers through which
// windows reach each other. The main window is one of the windows it wires;
// closing it still ends the program. Tests create one and drive its main window.
class TDesktop : public QObject {
    Q_OBJECT
public:
    explicit TDesktop(bool startMinimized, QObject* parent = nullptr);
    ~TDesktop() override;

    TNode& Node() { return *FNode; }
    TServerQueue& Queue() { return FQueue; }
    TAppTray& Tray() { return *FTray; }
    TTrayNotification& Notifications() { return *FNotifications; }
    TQueueController& QueueController() { return *FQueueController; }
    TIncomingRouter& IncomingRouter() { return *FIncoming; }
    TMessageWindows& MessageWindows() { return *FMessageWindows; }
    TFileWindows& FileWindows() { return *FFileWindows; }
    TMainForm& MainForm() { return *FMainForm; }
    // The network neighbourhood the panel, the tray and the choosers share.
    TNeighbourhoodService& Neighbourhood();
    // "Choose a computer from windows network.": name and address, nothing when cancelled.
    std::optional<TRecipient> ChooseComputer(QWidget* owner);
    // Tests answer the chooser here instead of the modal dialog.
    using TChooseComputer = std::function<std::optional<TRecipient>(QWidget* owner)>;
    void SetComputerChooser(TChooseComputer choose) { FChooseComputer = std::move(choose); }

    // "&Log Management...": the log manager, or its open window brought forward.
    void OpenLogManager();
    // "Check &New Version (Local)...": the version check window, or its open one brought forward.
    void OpenCheckUpdate();

private:
    void BuildOpeners();
    void BuildQueue();

    std::unique_ptr<TNode> FNode;
    TServerQueue FQueue;
    std::unique_ptr<TTrayNotification> FNotifications;
    std::unique_ptr<TAppTray> FTray;
    std::unique_ptr<TMessageWindows> FMessageWindows;
    std::unique_ptr<TFileWindows> FFileWindows;
    std::unique_ptr<TQueueController> FQueueController;
    std::unique_ptr<TIncomingRouter> FIncoming;
    std::unique_ptr<TMainForm> FMainForm;
    TChooseComputer FChooseComputer;
};
