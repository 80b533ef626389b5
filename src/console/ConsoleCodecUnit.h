#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

// The wire of a console message as Windows' messenger service and Samba's
// smbd speak it: NetBIOS names (RFC 1001/1002), the name query on UDP 137,
// the session service on TCP 139 and the SMB1 message commands. Values and
// pure functions only: no sockets here.
namespace ConsoleWire {

constexpr quint16 kNamePort = 137;
constexpr quint16 kSessionPort = 139;
constexpr int kNetBiosNameLength = 15;     // the suffix is the 16th byte
constexpr quint8 kMessengerSuffix = 0x03;  // the messenger name of a computer or user
constexpr quint8 kWorkstationSuffix = 0x00;
constexpr quint8 kServerSuffix = 0x20;
constexpr int kMessageBlockBytes = 127;    // text bytes per message block (the protocol allows 128)
// Longest reply we read from a name server or a session peer: ours are far
// shorter, so anything bigger is refused without being buffered.
constexpr int kMaxDatagram = 576;
constexpr int kMaxSessionReply = 1024;

// The 34 bytes of a name on the wire: length 32, the name's first-level
// encoding (upper case, padded with spaces to 15, then the suffix; each
// half-byte as 'A' + value), a zero. name is in the code page already;
// empty when it is longer than 15 bytes.
QByteArray EncodeName(const QByteArray& name, quint8 suffix);
// The name and suffix back from the 32 encoded bytes (padding removed).
std::optional<QPair<QByteArray, quint8>> DecodeName(const QByteArray& encoded32);

// Name query request for name<suffix>; broadcast sets the B flag.
QByteArray BuildNameQuery(quint16 transactionId, const QByteArray& name, quint8 suffix, bool broadcast);

struct TNameQueryAnswer {
    bool Positive = false;
    int ReturnCode = 0;                // RCODE of a negative answer
    QList<QHostAddress> Addresses;     // of a positive answer, in the order given
};
// Parses a response to our query transactionId about name<suffix>; nullopt for
// anything else (another transaction, a request, a truncated or malformed
// datagram, an answer about another name).
std::optional<TNameQueryAnswer> ParseNameQueryResponse(const QByteArray& datagram, quint16 transactionId,
                                                       const QByteArray& name, quint8 suffix);

// Session service packets: 4-byte header (type, flags, 16-bit length; the
// low bit of flags extends the length to 17 bits).
enum TSessionType : quint8 {
    stMessage = 0x00,
    stRequest = 0x81,
    stPositive = 0x82,
    stNegative = 0x83,
    stRetarget = 0x84,
    stKeepAlive = 0x85,
};
QByteArray BuildSessionRequest(const QByteArray& calledName, quint8 calledSuffix,
                               const QByteArray& callingName, quint8 callingSuffix);
QByteArray WrapSessionMessage(const QByteArray& smb);
struct TSessionHeader {
    quint8 Type = 0;
    int Length = 0;
};
std::optional<TSessionHeader> ParseSessionHeader(const QByteArray& four);

// SMB1 message commands.
enum TSmbCommand : quint8 {
    scNegotiate = 0x72,  // SMBnegprot
    scSendSingle = 0xD0, // SMBsends
    scSendStart = 0xD5,  // SMBsendstrt
    scSendEnd = 0xD6,    // SMBsendend
    scSendText = 0xD7,   // SMBsendtxt
};
// Negotiates "NT LM 0.12" only: Samba takes no single-block message before a
// negotiation (and no older dialect with its usual settings).
QByteArray BuildNegotiate(quint16 mid);
QByteArray BuildSendSingle(const QByteArray& from, const QByteArray& to, const QByteArray& text, quint16 mid);
QByteArray BuildSendStart(const QByteArray& from, const QByteArray& to, quint16 mid);
QByteArray BuildSendText(quint16 group, const QByteArray& text, quint16 mid);
QByteArray BuildSendEnd(quint16 group, quint16 mid);

// What an SMB reply said.
struct TSmbReply {
    quint8 Command = 0;
    bool NtStatus = false;   // the status is a 32-bit NT status, else DOS class and code
    quint32 Status = 0;      // NT status, or (class << 16) | code
    QList<quint16> Words;
    bool Ok() const { return Status == 0; }
};
// nullopt when the bytes are no complete SMB1 reply (or a request).
std::optional<TSmbReply> ParseSmbReply(const QByteArray& smb);

// The results of the transport, each one of the messenger service's codes.
enum class TConsoleResult {
    Sent,
    AccessDenied,      // 5
    NotSupported,      // 50: the receiver takes no messages
    InvalidParameter,  // 87
    NetworkFailure,    // 2136
    NameNotFound,      // 2273
    NameTooLong,       // a NetBIOS name has at most 15 characters
    Other,             // "Can not send console message to: %s"
};
// The service's error code of a result (0 for Sent, -1 when it has none).
int ResultCode(TConsoleResult result);
TConsoleResult ResultOfSmbStatus(const TSmbReply& reply);
TConsoleResult ResultOfSessionRefusal(quint8 code);

} // namespace ConsoleWire
