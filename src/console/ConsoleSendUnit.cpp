#include "console/ConsoleSendUnit.h"

#include "console/NameQueryUnit.h"
#include "platform/NetworkPolicyUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

using namespace ConsoleWire;

namespace {

// Short waits, so a cancel takes effect soon.
constexpr int kWaitSliceMs = 100;
// Keep-alives skipped before a reply: more is a peer playing games.
constexpr int kMaxKeepAlives = 4;

TConsoleOutcome Fail(TConsoleResult result, const QString& reason) {
    TConsoleOutcome o;
    o.Result = result;
    o.Reason = reason;
    return o;
}

bool Cancelled(const std::shared_ptr<std::atomic<bool>>& cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

struct TResolved {
    QHostAddress Address;
    std::optional<TConsoleOutcome> Error;
};

// The name's messenger entry by a NetBIOS name query, the system resolver
// as the fallback; all within QueryMs.
TResolved Resolve(const QByteArray& name, const QString& plainName, const TConsoleNetwork& network,
                  const TConsoleLimits& limits, const std::shared_ptr<std::atomic<bool>>& cancel) {
    TNameQuery q;
    q.Name = name;
    q.Suffix = kMessengerSuffix;
    q.PlainName = plainName;
    q.Targets = network.QueryTargets;
    q.Wins = network.Wins;
    q.Port = network.NamePort;
    q.SystemResolver = network.SystemResolver;
    q.TimeoutMs = limits.QueryMs;
    q.SettleMs = limits.SettleMs;
    const TNameQueryResult answer = QueryName(q, cancel.get());
    TResolved result;
    if (answer.Cancelled) result.Error = Fail(TConsoleResult::Other, QStringLiteral("cancelled"));
    else if (answer.Conflict) result.Error = Fail(TConsoleResult::Other, QStringLiteral("several hosts answer for the name"));
    else if (!answer.NetBios.isNull()) result.Address = answer.NetBios;
    else if (!answer.FromResolver.isNull()) result.Address = answer.FromResolver;
    else result.Error = Fail(TConsoleResult::NameNotFound, QStringLiteral("no host answers for the name"));
    return result;
}

// A TCP session with bounded reads.
class TSession {
public:
    TSession(const TConsoleLimits& limits, std::shared_ptr<std::atomic<bool>> cancel)
        : FLimits(limits), FCancel(std::move(cancel)) {}

    std::optional<TConsoleOutcome> Connect(const QHostAddress& address, quint16 port) {
        // Qt would otherwise buffer whatever a peer sends; this is all we hold.
        FSocket.setReadBufferSize(4 + kMaxSessionReply);
        FSocket.connectToHost(address, port);
        QDeadlineTimer deadline(FLimits.ConnectMs);
        while (FSocket.state() != QAbstractSocket::ConnectedState) {
            if (Cancelled(FCancel)) return Fail(TConsoleResult::Other, QStringLiteral("cancelled"));
            if (deadline.hasExpired()) return Fail(TConsoleResult::NetworkFailure, QStringLiteral("no connection within the limit"));
            FSocket.waitForConnected(int(qMin<qint64>(kWaitSliceMs, qMax<qint64>(1, deadline.remainingTime()))));
            if (FSocket.state() == QAbstractSocket::UnconnectedState) {
                if (FSocket.error() == QAbstractSocket::ConnectionRefusedError)
                    return Fail(TConsoleResult::NotSupported, QStringLiteral("connection refused"));
                return Fail(TConsoleResult::NetworkFailure, FSocket.errorString());
            }
        }
        return std::nullopt;
    }

    bool Write(const QByteArray& bytes) {
        if (FSocket.write(bytes) != bytes.size()) return false;
        QDeadlineTimer deadline(FLimits.ReplyMs);
        while (FSocket.bytesToWrite() > 0) {
            if (Cancelled(FCancel) || deadline.hasExpired()) return false;
            if (!FSocket.waitForBytesWritten(kWaitSliceMs) && FSocket.state() != QAbstractSocket::ConnectedState)
                return false;
        }
        return true;
    }

    // Exactly n bytes before the deadline; an error outcome otherwise.
    std::optional<TConsoleOutcome> Read(int n, const QDeadlineTimer& deadline, QByteArray* out) {
        out->clear();
        while (out->size() < n) {
            if (Cancelled(FCancel)) return Fail(TConsoleResult::Other, QStringLiteral("cancelled"));
            if (FSocket.bytesAvailable() > 0) {
                out->append(FSocket.read(n - out->size()));
                continue;
            }
            if (FSocket.state() != QAbstractSocket::ConnectedState)
                return Fail(TConsoleResult::Other, QStringLiteral("the peer closed the connection in a reply"));
            if (deadline.hasExpired()) return Fail(TConsoleResult::NetworkFailure, QStringLiteral("no reply within the limit"));
            FSocket.waitForReadyRead(int(qMin<qint64>(kWaitSliceMs, qMax<qint64>(1, deadline.remainingTime()))));
        }
        return std::nullopt;
    }

    // The next packet that is not a keep-alive: its header, and its body
    // when it is at most kMaxSessionReply bytes.
    std::optional<TConsoleOutcome> ReadPacket(TSessionHeader* header, QByteArray* body) {
        const QDeadlineTimer deadline(FLimits.ReplyMs);
        for (int keepAlives = 0;; ++keepAlives) {
            QByteArray four;
            if (auto error = Read(4, deadline, &four)) return error;
            const auto h = ParseSessionHeader(four);
            if (!h) return Fail(TConsoleResult::Other, QStringLiteral("malformed session header"));
            if (h->Length > kMaxSessionReply) return Fail(TConsoleResult::Other, QStringLiteral("reply too long"));
            if (auto error = Read(h->Length, deadline, body)) return error;
            if (h->Type == stKeepAlive && keepAlives < kMaxKeepAlives) continue;
            *header = *h;
            return std::nullopt;
        }
    }

    // Sends one SMB request and reads its reply to the same command.
    std::optional<TConsoleOutcome> Exchange(const QByteArray& smb, quint8 command, TSmbReply* reply) {
        if (!Write(WrapSessionMessage(smb))) return Fail(TConsoleResult::NetworkFailure, QStringLiteral("cannot write the request"));
        TSessionHeader header;
        QByteArray body;
        if (auto error = ReadPacket(&header, &body)) return error;
        if (header.Type != stMessage) return Fail(TConsoleResult::Other, QStringLiteral("unexpected session packet"));
        const auto parsed = ParseSmbReply(body);
        if (!parsed || parsed->Command != command) return Fail(TConsoleResult::Other, QStringLiteral("malformed SMB reply"));
        *reply = *parsed;
        if (!parsed->Ok()) {
            TConsoleOutcome o = Fail(ResultOfSmbStatus(*parsed), QStringLiteral("SMB status 0x%1").arg(parsed->Status, 8, 16, QLatin1Char('0')));
            return o;
        }
        return std::nullopt;
    }

    QTcpSocket& Socket() { return FSocket; }

private:
    TConsoleLimits FLimits;
    std::shared_ptr<std::atomic<bool>> FCancel;
    QTcpSocket FSocket;
};

QByteArray NetBiosName(const QString& name, int languageId) {
    return TMessageLang::Encode(languageId, name.trimmed()).toUpper();
}

} // namespace

std::optional<TConsoleOutcome> CheckConsoleRequest(const TConsoleRequest& request) {
    const QString recipient = request.Recipient.trimmed();
    if (recipient.isEmpty() || recipient.size() > kConsoleMaxRecipient || request.Sender.size() > kConsoleMaxSender ||
        request.Text.isEmpty() || request.Text.size() > kConsoleMaxText)
        return Fail(TConsoleResult::InvalidParameter, QStringLiteral("a name or the text is empty or too long"));
    if (QHostAddress(recipient).protocol() != QAbstractSocket::IPv4Protocol &&
        NetBiosName(recipient, request.LanguageId).size() > kNetBiosNameLength)
        return Fail(TConsoleResult::NameTooLong, QStringLiteral("NetBIOS names have at most 15 characters"));
    return std::nullopt;
}

QByteArray ConsoleWireText(const QString& text, int languageId) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return TMessageLang::Encode(languageId, crlf);
}

TConsoleOutcome SendConsoleMessage(const TConsoleRequest& request, const TConsoleNetwork& network,
                                   const TConsoleLimits& limits, const std::shared_ptr<std::atomic<bool>>& cancel) {
    if (auto error = CheckConsoleRequest(request)) return *error;
    const QString recipient = request.Recipient.trimmed();
    const QHostAddress literal(recipient);
    const bool byAddress = literal.protocol() == QAbstractSocket::IPv4Protocol;
    const QByteArray name = NetBiosName(recipient, request.LanguageId);

    QHostAddress address = literal;
    if (!byAddress) {
        const TResolved resolved = Resolve(name, recipient, network, limits, cancel);
        if (resolved.Error) return *resolved.Error;
        address = resolved.Address;
    }
    if (!Platform::DestinationAllowed(address))
        return Fail(TConsoleResult::NetworkFailure, QStringLiteral("this process may not send to %1").arg(address.toString()));

    TSession session(limits, cancel);
    TConsoleOutcome outcome;
    outcome.Address = address;
    auto failed = [&](TConsoleOutcome o) {
        o.Address = address;
        session.Socket().abort();
        return o;
    };
    if (auto error = session.Connect(address, network.SessionPort)) return failed(*error);

    QByteArray calling = NetBiosName(request.CallingName, request.LanguageId).left(kNetBiosNameLength);
    if (calling.isEmpty()) calling = "QUILLMATE";
    const QByteArray sessionRequest = byAddress
        ? BuildSessionRequest("*SMBSERVER", kServerSuffix, calling, kWorkstationSuffix)
        : BuildSessionRequest(name, kMessengerSuffix, calling, kWorkstationSuffix);
    if (!session.Write(sessionRequest)) return failed(Fail(TConsoleResult::NetworkFailure, QStringLiteral("cannot write the session request")));
    TSessionHeader header;
    QByteArray body;
    if (auto error = session.ReadPacket(&header, &body)) return failed(*error);
    if (header.Type == stNegative) {
        if (body.size() != 1) return failed(Fail(TConsoleResult::Other, QStringLiteral("malformed session refusal")));
        return failed(Fail(ResultOfSessionRefusal(quint8(body[0])),
                           QStringLiteral("session refused (0x%1)").arg(quint8(body[0]), 2, 16, QLatin1Char('0'))));
    }
    if (header.Type != stPositive || header.Length != 0)
        return failed(Fail(TConsoleResult::Other, QStringLiteral("unexpected answer to the session request")));

    const QByteArray from = TMessageLang::Encode(request.LanguageId, request.Sender);
    const QByteArray to = TMessageLang::Encode(request.LanguageId, recipient);
    const QByteArray text = ConsoleWireText(request.Text, request.LanguageId);
    quint16 mid = 1;
    TSmbReply reply;
    if (text.size() <= kMessageBlockBytes) {
        if (auto error = session.Exchange(BuildNegotiate(mid++), scNegotiate, &reply)) return failed(*error);
        if (reply.Words.isEmpty() || reply.Words.first() == 0xFFFF)
            return failed(Fail(TConsoleResult::NotSupported, QStringLiteral("the peer takes no NT LM 0.12 dialect")));
        if (auto error = session.Exchange(BuildSendSingle(from, to, text, mid), scSendSingle, &reply)) return failed(*error);
    } else {
        if (auto error = session.Exchange(BuildSendStart(from, to, mid++), scSendStart, &reply)) return failed(*error);
        // Samba answers without a message group: it keeps one per connection.
        const quint16 group = reply.Words.value(0, 0);
        for (int at = 0; at < text.size(); at += kMessageBlockBytes)
            if (auto error = session.Exchange(BuildSendText(group, text.mid(at, kMessageBlockBytes), mid++), scSendText, &reply))
                return failed(*error);
        if (auto error = session.Exchange(BuildSendEnd(group, mid++), scSendEnd, &reply)) return failed(*error);
    }
    session.Socket().disconnectFromHost();
    if (session.Socket().state() != QAbstractSocket::UnconnectedState) session.Socket().waitForDisconnected(kWaitSliceMs);
    outcome.Result = TConsoleResult::Sent;
    return outcome;
}

QString ConsoleErrorText(const TConsoleOutcome& outcome, const QString& recipient, const QString& sender) {
    switch (outcome.Result) {
    case TConsoleResult::Sent: return {};
    case TConsoleResult::AccessDenied:
        return TranslateFormat(QStringLiteral("The user: %s does not have access to the requested information."), {recipient});
    case TConsoleResult::NotSupported: return Translate(QStringLiteral("This network request is not supported."));
    case TConsoleResult::InvalidParameter: return Translate(QStringLiteral("The specified parameter is invalid."));
    case TConsoleResult::NetworkFailure: return Translate(QStringLiteral("A general failure occurred in the network hardware."));
    case TConsoleResult::NameNotFound: return TranslateFormat(QStringLiteral("The user name: %s could not be found."), {sender});
    case TConsoleResult::NameTooLong:
        return TranslateFormat(QStringLiteral("The name: %s is longer than 15 characters, the most a computer name has."), {recipient});
    case TConsoleResult::Other: break;
    }
    return TranslateFormat(QStringLiteral("Can not send console message to: %s"), {recipient});
}
