#include "protocol/ChatHandlersUnit.h"

#include "core/EventRouterUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/DatagramDispatchUnit.h"
#include "protocol/SourceRateUnit.h"
#include "text/MsgLangUnit.h"

#include <QDir>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <memory>

namespace {

double Now() { return DaysSince1899(QDateTime::currentDateTime()); }

// The largest body the listener's thread reads itself (it is then all in
// the socket's buffer already); larger ones go to a worker.
constexpr qint64 kQuickBody = 16 * 1024;

using TDecoder = std::optional<TBroadcastData> (*)(const TEnvelope&, const TMessageLang&);

// Broadcasts and refusals: decoded, stamped with their source and time, posted
// as their kind's record.
template <typename TRecord>
TDatagramDispatcher::THandler PostDatagram(TEventRouter& router, const TMessageLang& lang, TDecoder decode, int id,
                                           qintptr wParam, std::shared_ptr<TIntakeBudget> budget,
                                           std::shared_ptr<TSourceRate> rate = {}) {
    return [&router, &lang, decode, id, wParam, budget, rate](const TDatagramContext& c) {
        if (rate && !rate->Allow(c.SourceAddress)) return;
        std::optional<TBroadcastData> record = decode(c.Envelope, lang);
        if (!record) return;
        // A datagram cannot be asked to wait: over its source's bytes, it is dropped.
        TIntakeHold hold = budget->TryAcquire(c.SourceAddress, record->Body.size());
        if (!hold) return;
        record->IPAddress = c.SourceAddress;
        record->ReceivedTime = Now();
        router.PostFrom(c.SourceAddress, id, wParam, 0, TRecord{std::move(*record), std::move(hold)});
    };
}

} // namespace

TChatIntake RegisterChatHandlers(TCommServer& server, TEventRouter& router, const TMessageLang& lang,
                                 const TChatListenLimits& limits) {
    std::shared_ptr<TIntakeBudget> budget = TIntakeBudget::Create(limits.MaxBodiesInFlight, limits.SourceShareInFlight);
    std::shared_ptr<TIntakeBudget> spooled = TIntakeBudget::Create(limits.MaxSpooled, limits.SourceShareSpooled);
    server.RegisterRequest(MessageType::Message, [&router, &lang, budget, spooled, limits](TRequestContext& c) {
        std::optional<TBroadcastData> record = DecodeMessageHeader(c.Header, lang);
        if (!record) return;
        qint32 length = 0;
        TIntakeHold quickHold;
        if (!c.MayWait) {
            // Only an ordinary message that is all here and fits its budget
            // now; anything else goes to a worker as it came.
            if (!c.Reader.PeekLength(&length) || length < 0 || length > qMin<qint64>(limits.MaxBody, kQuickBody) ||
                length > limits.SpoolAbove || c.Reader.Buffered() < 4 + qint64(length) ||
                !(quickHold = budget->TakeIfFits(c.PeerAddress, length))) {
                c.NeedsWorker = true;
                return;
            }
        }
        if (c.Reader.ReadLength(&length, c.StallMs) != TRequestReader::rrOk) return;
        // Told by a reset: an orderly close would count it as delivered.
        if (length < 0 || length > limits.MaxBody) {
            c.Refused = true;
            return;
        }
        const QDeadlineTimer deadline(limits.ByteWaitMs);
        const auto stopping = [&c] { return c.Reader.Stopping(); };
        QByteArray body;
        TIntakeHold hold;
        if (length > limits.SpoolAbove) {
            // A large body may come slowly: it holds disk while it does, and
            // memory only once it is whole.
            TIntakeHold disk = spooled->Acquire(c.PeerAddress, length, deadline, stopping);
            const QString folder = limits.SpoolFolder.isEmpty() ? QDir::tempPath() : limits.SpoolFolder;
            QDir().mkpath(folder);
            QTemporaryFile spool(folder + QStringLiteral("/qlm-body-XXXXXX"));
            if (!disk || QStorageInfo(folder).bytesAvailable() - length < limits.SpoolReserve || !spool.open()) {
                c.Refused = true;
                return;
            }
            c.Reader.RestartPace();
            bool written = true;
            const auto toFile = [&spool, &written](const char* data, qint64 size) {
                written = spool.write(data, size) == size;
                return written;
            };
            const TRequestReader::TResult r = c.Reader.ReadInto(length, toFile, c.StallMs);
            if (r != TRequestReader::rrOk || !spool.flush()) {
                // The disk failing is ours, not the sender's doing: it is told.
                if (!written) c.Refused = true;
                return;
            }
            // A wait of its own: the read may have taken longer than the first.
            hold = budget->Acquire(c.PeerAddress, length, QDeadlineTimer(limits.ByteWaitMs), stopping);
            if (!hold || !spool.seek(0)) {
                c.Refused = true;
                return;
            }
            body.resize(length);
            qint64 done = 0;
            while (done < length) {
                const qint64 got = spool.read(body.data() + done, length - done);
                if (got <= 0) break;
                done += got;
            }
            if (done != length) {
                c.Refused = true;
                return;
            }
        } else {
            // Until its source's earlier bytes are stored, the body stays unread
            // in the kernel, so its sender is slowed rather than its message lost.
            hold = quickHold ? std::move(quickHold) : budget->Acquire(c.PeerAddress, length, deadline, stopping);
            if (!hold) {
                c.Refused = true;
                return;
            }
            c.Reader.RestartPace();
            // The budget holds these bytes now, so they may be taken at once
            // rather than grown (and copied) piece by piece.
            body.reserve(length);
            const auto append = [&body](const char* data, qint64 size) {
                body.append(data, size);
                return true;
            };
            // A connection closed before the whole body came posts nothing.
            if (c.Reader.ReadInto(length, append, c.StallMs) != TRequestReader::rrOk) return;
        }
        record->Body = std::move(body);
        record->IPAddress = c.PeerAddress;
        record->ReceivedTime = Now();
        // Not taken: the sender is told by a reset, not an orderly close.
        if (!router.PostFrom(c.PeerAddress, WM_PEER_MESSAGE, 0, 0, TPeerMessage{std::move(*record), std::move(hold)}))
            c.Refused = true;
    }, true);

    auto broadcasts = std::make_shared<TSourceRate>(limits.BroadcastsPerSecond, limits.BroadcastBurst);
    broadcasts->SetOnThrottled(limits.OnBroadcastThrottled);
    server.Dispatcher().Register(MessageType::Broadcast, PostDatagram<TPeerBroadcast>(router, lang, DecodeBroadcast,
                                                                                      WM_PEER_BROADCAST, 0, budget, broadcasts));
    server.Dispatcher().Register(MessageType::Refuse,
                                 PostDatagram<TPeerRefusal>(router, lang, DecodeRefuse, WM_PEER_MESSAGE, 1, budget));
    return TChatIntake{std::move(broadcasts), std::move(budget), std::move(spooled)};
}
