#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Event ids posted by the listener (and a few local windows) to their targets.
enum TCommEventId : int {
    WM_PEER_LOGON = 0x1401,
    WM_PEER_STATE = 0x1402,
    WM_PEER_NICKNAME = 0x1403,
    WM_PEER_LOGOFF = 0x1404,
    WM_PEER_BROADCAST = 0x1405,
    WM_PEER_MESSAGE = 0x1406,
    WM_PEER_FILES = 0x1407,
    WM_PEER_LOGONREPLY = 0x1408,
    WM_PEER_FILEREQUEST = 0x1409,
    WM_PEER_FILEREPLY = 0x1410,
    WM_FILE_REQUESTCANCELED = 0x1411,
    WM_FILE_PEERHANDLE = 0x1412,
    WM_FILE_TERMINATED = 0x1414,
    WM_NETWORK_CONFIRMED = 0x1419,
    WM_PEER_SIGNALREPLY = 0x1420,
    WM_UPDATE_PEERREPLY = 0x5402,
    WM_UPDATE_FILERECEIVED = 0x5403,
    WM_UPDATE_FILESDONE = 0x5404,
};

// The event's name as the program writes it ("WM_PEER_LOGON"); empty when unknown.
QString CommEventName(int id);

// Message type names (compared without case on receipt).
namespace MessageType {
inline constexpr char Logon[] = "QLM_LOGON";
inline constexpr char LogonReply[] = "QLM_LOGONREPLY";
inline constexpr char Logoff[] = "QLM_LOGOFF";
inline constexpr char OnlineState[] = "QLM_ONLINESTATE";
inline constexpr char Nickname[] = "QLM_NICKNAME";
inline constexpr char CheckSignal[] = "QLM_CHECKSIGNAL";
inline constexpr char CheckSignalReply[] = "QLM_CHECKSIGNALREPLY";
inline constexpr char CheckNetworkState[] = "QLM_CHECKNETWORKSTATE";
inline constexpr char Broadcast[] = "QLM_BROADCAST";
inline constexpr char Refuse[] = "QLM_REFUSE";
inline constexpr char Message[] = "QLM_MESSAGE";
inline constexpr char FileRequest[] = "QLM_FILEREQUEST";
inline constexpr char FileRequestReply[] = "QLM_FILEREQUESTREPLY";
inline constexpr char FileRequestCanceled[] = "QLM_FILEREQUESTCANCELED";
inline constexpr char FileRequestDialogHandle[] = "QLM_FILEREQUESTDIALOGHANDLE";
inline constexpr char File[] = "QLM_FILE";
inline constexpr char CheckNewVersion[] = "QLM_CHECKNEWVERSION";
inline constexpr char ReplyCheckNewVersion[] = "QLM_REPLYCHECKNEWVERSION";
inline constexpr char UpdateFilesTransferRequest[] = "QLM_UPDATEFILESTRANSFERREQUEST";
inline constexpr char TransUpdateFile[] = "QLM_TRANSUPDATEFILE";
} // namespace MessageType

// This system always sends protocol version 2; version 1 peers lack the
// identity fields.
inline constexpr int CurrentProtocolVersion = 2;
// Longest datagram a receiver takes; longer ones are dropped whole.
inline constexpr int MaxDatagramSize = 4096;

// What a Quillmate file offer says is coming (carried in the offer's
// otherwise reserved fields); Files 0 when the offer does not say.
struct TOfferedFiles {
    int Files = 0;     // rows offered
    qint64 Bytes = 0;  // their size together
    QStringList Names; // the first few names; Files - Names.size() more are not named
};

// Presence and file-request events.
struct TOnlineNotify {
    qint32 SenderHandle = 0;
    qint32 ReceiverHandle = 0;
    qint32 OnlineState = 0;
    QString NickName;
    QString ComputerName;
    QString IPAddress;
    QString Version;
    QString UserId;
    QString Reserved;
    TOfferedFiles Offered; // file offers only
};

// Message, file-reply, stream and update events. Summary and Body stay in the
// sender's code page (bytes) until shown, so that a GB2312/Big5 conversion can
// still be applied.
struct TBroadcastData {
    qint32 RequestHandle = 0;
    bool Accepted = false;
    QString NickName;
    QString ComputerName;
    QString IPAddress;
    QByteArray Summary;
    QByteArray Body;
    qint16 LanguageId = 0;
    double ReceivedTime = 0; // days since 1899-12-30, local time
    QString UserId;
};

// One file of a transfer that did not arrive, and why (a text for the user).
struct TFileFailure {
    QString Name;
    QString Reason;
};

// What a "QLM_FILE" request left on disk: the record of WM_PEER_FILES and
// WM_FILE_TERMINATED. Data.Body holds the stored names as the stream listed
// them (each followed by CR LF, a tab before archives), in the sender's code page.
struct TFilesArrival {
    TBroadcastData Data;
    QString SenderFolder;       // where the files went, with a trailing "/"
    QStringList ReceivedNames;  // final names; unpacked archives by their folder
    QStringList LogLines;       // "<File>%s" / "<Folder>%s" per received name
    QList<TFileFailure> Failed; // announced but not stored (refused, disk full, broken)
    bool Complete = false;      // the end marker arrived and nothing failed
    bool StoppedHere = false;   // terminated by this receiver, not by the sender
};

// One stored update file.
struct TUpdateFileNotify {
    QString FileName;
};

// A target user handed from the online list (and other sources) to the
// message, file and console windows.
struct TRecipient {
    QString NickName;
    QString ComputerName;
    QString IPAddress;
    QString SendStatus;
    QString UserId;
};
using TRecipients = QList<TRecipient>;
