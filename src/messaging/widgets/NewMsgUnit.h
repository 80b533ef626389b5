#pragma once

#include "protocol/CommConstsUnit.h"
#include "text/widgets/RichDialogsUnit.h"
#include "ui/ScreenGrabUnit.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QLabel;
class QSplitter;
class QToolButton;
class QPushButton;
class QMenu;
class QTimer;
class TCaptureWindow;
class TContainerPanel;
class TFontBar;
class TChatJob;
class TChatLog;
class TChatService;
class THistoryPanel;
class TMessageLang;
class TPaneLinks;
class TRichChatPane;
class TRichDocument;
class TRichInputBox;
struct TSendMessageResult;
struct TBroadcastResult;

// What a message window works with: the services it uses and the ways to the
// queue, the log manager and the file window. The desktop fills it, tests
// give their own; a missing opener does nothing.
struct TMsgFormContext {
    TChatService* Chat = nullptr;
    TChatLog* Log = nullptr;         // the history panel reads it
    const TMessageLang* Lang = nullptr; // this node's language
    // Hands the queued messages of a sender to a chat window being opened and
    // removes them from the queue: newest first, broadcasts and other senders
    // left alone.
    std::function<QList<TBroadcastData>(const TRecipient& sender)> TakeQueued;
    // Opens the log manager (or brings it forward).
    std::function<void()> OpenLogManager;
    // Sends files dropped or pasted on a window to its recipients (the file window).
    std::function<void(const TRecipients& recipients, bool useNickname, const QStringList& paths)> SendFiles;
    // Takes the picture of the screen a capture covers; empty: the platform's way.
    TScreenGrab GrabScreen;
};

// DisplayName of a user; the computer name when the nickname is empty.
QString NameOf(const QString& nickname, const QString& computerName);

// The message window: composes to everybody, to one or more users or
// computers, or shows one received message; a window for one user can be
// laid out as a chat. Sending runs as a job of the chat service; the window
// shows its progress ("Sent 37 of 200") as each recipient ends and one box
// naming those not reached at the end. Closed while sending, it hides and
// lets the job finish (the chat log records it as always), shows that box,
// and then closes for good.
class TNewMsgForm : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* DefaultClassName = "TNewMsgForm";
    static constexpr int BroadcastMaxLength = 2000;
    // tmCapture: how often a capture looks whether the window is minimised yet.
    static constexpr int CaptureTimerMs = 200;

    TNewMsgForm(TMsgFormContext context, bool sendMode, bool broadcastMode, bool useNickname,
                const TRecipients& recipients);
    ~TNewMsgForm() override;

    // Captions, content and layout by kind; done once, before showing.
    void Setup(const QString& timeText, const QByteArray& content, qint16 languageId);

    bool SendMode() const { return FSendMode; }
    bool BroadcastMode() const { return FBroadcastMode; }
    bool UseNickname() const { return FUseNickname; }
    bool InChatMode() const { return FInChatMode; }
    bool IsSending() const { return !FSendJob.isNull(); }
    QString ProgressText() const;
    const TRecipients& Recipients() const { return FRecipients; }
    QString RecipientsText() const { return FRecipientsText; }
    QString HeaderText() const;
    // Computer name + id of the one recipient; empty for other windows.
    QString UserKey() const;
    // The UserKey of the peer this window chats with; empty when it is no
    // open chat (another layout, several recipients, or closing).
    QString ChatKey() const;
    const TMsgFormContext& Context() const { return FContext; }

    TRichInputBox* Input() const { return FInput; }
    TRichChatPane* ChatPane() const { return FChatPane; }
    THistoryPanel* History() const { return FHistory; }
    TFontBar* FontBar() const { return FFontBar; }
    QPushButton* SendButton() const { return FSendButton; }
    QPushButton* SwitchButton() const { return FSwitchButton; }
    QMenu* SendModeMenu() const { return FSendModeMenu; }

    // btnSend and the send keys: Reply in a read window, else send.
    void SendExecute();
    void SwitchModeExecute();
    void ToggleChatMode();
    void ToggleHistory();
    void ResetInputFormat();
    // tbCaptureScreen, its menu item and Ctrl+Alt+A: the capture covers the
    // screen this window is on; its picture is pasted at the end of the input.
    void StartScreenCapture();
    // The capture running now, if any.
    TCaptureWindow* CaptureWindow() const;
    // The emoticon grid's pick (an empty path: none).
    void InsertEmotion(const QString& path);
    // A received message from the chat partner: appended, flashing when inactive.
    void AppendIncoming(const TBroadcastData& record);
    void AppendToChat(const QString& name, const QString& timeText, const TRichDocument& content, bool incoming,
                      bool flash);
    // A history entry's content at the input's caret.
    void InsertHistoryContent(const TRichDocument& content);

    void SetMessageBox(TMessageBox messageBox);
    Utils::TMessageBoxResult ShowMessage(Utils::TMessageBoxKind kind, const QString& text);

signals:
    // Files dropped or pasted into the input that are no pictures.
    void FileSendRequested(const TRecipients& recipients, const QStringList& paths);
    // A send job ended (after its boxes).
    void SendFinished(bool anyReached);
    // The window began or stopped chatting with one peer (UserKey), or closes.
    void ChatEntryChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildInputPanel();
    QToolButton* AddToolButton(QWidget* bar, const char* name, const QString& english);
    void SetChatLayout(bool chat);
    void ApplySize();
    void SaveSize();
    void SetInputReadOnly(bool readOnly);
    void Reply();
    void SendAsBroadcast();
    void SendToRecipients();
    void BroadcastDone(const TBroadcastResult& result);
    void RecipientsDone(const TSendMessageResult& result);
    void RecipientProgress(bool reached);
    void SetBusy(bool busy);
    void OpenEmotions();
    void PullQueued();
    QString DisplayNameOf(const TRecipient& recipient) const;
    void CaptureTick();
    void CaptureFinished(const QImage& captured);

    TMsgFormContext FContext;
    bool FSendMode;
    bool FBroadcastMode;
    bool FUseNickname;
    bool FInChatMode = true;
    bool FClosing = false;
    TRecipients FRecipients;
    QString FRecipientsText;
    QRect FRestoreBounds;
    QPointer<TChatJob> FSendJob; // the running send; it reports to this window
    bool FCloseWhenSent = false; // closed while sending: hidden, closes once the job ends
    int FSendTotal = 0;
    int FSendReached = 0;
    int FSendFailed = 0;
    QList<QPair<QPointer<QWidget>, bool>> FEnabledBeforeSend; // restored when the send ends
    TMessageBox FMessageBox;

    TContainerPanel* FHeader = nullptr;
    TFontBar* FFontBar = nullptr;
    QSplitter* FChatSplitter = nullptr;
    QSplitter* FRecordSplitter = nullptr;
    TRichChatPane* FChatPane = nullptr;
    QWidget* FInputPanel = nullptr;
    QWidget* FToolBar = nullptr;
    TRichInputBox* FInput = nullptr;
    QPushButton* FHistoryButton = nullptr;
    QPushButton* FSwitchButton = nullptr;
    QPushButton* FSendButton = nullptr;
    QPushButton* FCloseButton = nullptr;
    QLabel* FProgress = nullptr;
    QToolButton* FOptionButton = nullptr;
    QMenu* FSendModeMenu = nullptr;
    THistoryPanel* FHistory = nullptr;
    TPaneLinks* FInputLinks = nullptr;
    QTimer* FCaptureTimer = nullptr; // tmCapture
    int FCaptureTicks = 0;
    bool FCaptureHid = false;
    bool FCapturing = false;
    QPointer<TCaptureWindow> FCapture;
};
