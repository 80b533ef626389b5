#include "cli/CliNodeUnit.h"

#include "cli/CliChatUnit.h"
#include "cli/CliFileUnit.h"
#include "cli/CliUpdateUnit.h"

#include "chatlog/ChatLogUnit.h"
#include "core/EventRouterUnit.h"
#include "core/OnlineStateValueUnit.h"
#include "core/ParamsUnit.h"
#include "node/NodeUnit.h"
#include "platform/SignalsUnit.h"
#include "platform/StdinLinesUnit.h"
#include "presence/PresenceServiceUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommServerUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

QJsonObject RecordJson(const TOnlineNotify& r) {
    return {{QStringLiteral("SenderHandle"), r.SenderHandle},   {QStringLiteral("ReceiverHandle"), r.ReceiverHandle},
            {QStringLiteral("OnlineState"), r.OnlineState},     {QStringLiteral("NickName"), r.NickName},
            {QStringLiteral("ComputerName"), r.ComputerName},   {QStringLiteral("IPAddress"), r.IPAddress},
            {QStringLiteral("Version"), r.Version},             {QStringLiteral("UserId"), r.UserId},
            {QStringLiteral("Reserved"), r.Reserved}};
}

QString HexId(int id) { return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0')); }

// Milliseconds since the node started, on every JSON line (benchmarks time events by it).
QElapsedTimer& Clock() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock;
}

void PrintLine(QTextStream& out, bool json, QJsonObject object, const QString& plain) {
    if (json) {
        object.insert(QStringLiteral("t"), Clock().elapsed());
        out << QJsonDocument(object).toJson(QJsonDocument::Compact) << "\n";
    } else {
        out << plain << "\n";
    }
    out.flush();
}

// Options shared by the node commands; returns an error text or empty.
QString ApplyNodeOptions(QStringList& args, bool* json) {
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--json") && json) {
            *json = true;
            args.remove(i);
        } else if (args[i] == QLatin1String("--nickname")) {
            if (i + 1 >= args.size()) return QStringLiteral("--nickname needs a name");
            Params()[spNickname] = TApplicationParams::CleanNickname(args[i + 1]);
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
    return {};
}

// The peer's number itself when it names no state.
QString StateName(int wireState) {
    const std::optional<TOnlineState> state = OnlineStateFromWire(wireState);
    if (!state) return QString::number(wireState);
    switch (*state) {
    case TOnlineState::Online: return QStringLiteral("Online");
    case TOnlineState::Busy: return QStringLiteral("Busy");
    case TOnlineState::Away: return QStringLiteral("Away");
    }
    return {};
}

QJsonObject RowJson(const TUserNodeData& u) {
    return {{QStringLiteral("GroupName"), u.GroupName},       {QStringLiteral("NickName"), u.NickName},
            {QStringLiteral("ComputerName"), u.ComputerName}, {QStringLiteral("IPAddress"), u.IPAddress},
            {QStringLiteral("OnlineState"), u.OnlineState},   {QStringLiteral("Version"), u.Version},
            {QStringLiteral("UserId"), u.UserId},             {QStringLiteral("Responding"), u.Responding},
            {QStringLiteral("IsSelf"), u.IsSelf}};
}

// The online list as one line: {"event":"online-list","rows":[...]}.
void PrintList(QTextStream& out, bool json, TOnlineUserModel& model) {
    QJsonArray rows;
    QStringList plain;
    for (const QModelIndex& row : model.UserIndexes()) {
        const TUserNodeData* user = model.NodeData(row);
        rows.append(RowJson(*user));
        plain << user->NickName + QLatin1Char('@') + user->IPAddress;
    }
    PrintLine(out, json, {{QStringLiteral("event"), QStringLiteral("online-list")}, {QStringLiteral("rows"), rows}},
              QStringLiteral("online-list ") + plain.join(QLatin1Char(' ')));
}

// The listener's counters as one line: {"event":"listener","refused":{...},...}.
void PrintCounts(QTextStream& out, bool json, const TListenerCounts& counts, const TIntakeCounts& intake,
                 bool final) {
    QJsonObject refused;
    QStringList plain;
    for (int reason = 0; reason < rfCount; ++reason) {
        const QString name = QString::fromLatin1(RefusalName(TRefusal(reason)));
        refused.insert(name, qint64(counts.Refused[reason]));
        plain << name + QLatin1Char('=') + QString::number(counts.Refused[reason]);
    }
    // What was read but never reached a subsystem, by reason.
    const QList<std::pair<QString, quint64>> droppedList{
        {QStringLiteral("source-share"), intake.SourceShare},   {QStringLiteral("queue-full"), intake.QueueFull},
        {QStringLiteral("broadcast-rate"), intake.BroadcastRate}, {QStringLiteral("unrouted"), intake.Unrouted},
        {QStringLiteral("mistyped"), intake.Mistyped}, {QStringLiteral("byte-budget"), intake.ByteBudget},
        {QStringLiteral("offer-cap"), intake.OfferCap}};
    QJsonObject dropped;
    QStringList droppedPlain;
    for (const auto& [name, count] : droppedList) {
        dropped.insert(name, qint64(count));
        droppedPlain << name + QLatin1Char('=') + QString::number(count);
    }
    PrintLine(out, json,
              {{QStringLiteral("event"), QStringLiteral("listener")}, {QStringLiteral("refused"), refused},
               {QStringLiteral("intake-dropped"), dropped}, {QStringLiteral("open"), counts.Open},
               {QStringLiteral("running"), counts.Running}, {QStringLiteral("waiting"), counts.Waiting},
               {QStringLiteral("waited-for-bytes"), qint64(intake.ByteWaits)}, {QStringLiteral("final"), final}},
              QStringLiteral("listener refused %1 dropped %2 open=%3 running=%4 waiting=%5 waited-for-bytes=%7%6")
                  .arg(plain.join(QLatin1Char(' ')), droppedPlain.join(QLatin1Char(' ')))
                  .arg(counts.Open)
                  .arg(counts.Running)
                  .arg(counts.Waiting)
                  .arg(final ? QStringLiteral(" final") : QString())
                  .arg(intake.ByteWaits));
}

} // namespace

int RunListen(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    bool json = false;
    TChatListenOptions chat;
    TCliFileOptions fileOptions;
    TakeFileOptions(args, &fileOptions);
    QString error = ApplyNodeOptions(args, &json);
    if (error.isEmpty()) error = TakeChatListenOptions(args, &chat);
    if (!error.isEmpty() || !args.isEmpty()) {
        err << "quillmate-cli: " << (error.isEmpty() ? QStringLiteral("unknown option: ") + args.first() : error) << "\n";
        return 2;
    }
    const TNodeTimings timings = TNodeTimings::FromEnvironment();
    TNode node(timings);
    AttachChatListen(node, chat, [&](const QJsonObject& object, const QString& plain) { PrintLine(out, json, object, plain); });
    // What the listener refused and holds, and what the node dropped, printed when it changed.
    TListenerCounts lastCounts;
    TIntakeCounts lastIntake;
    QTimer countsTimer;
    countsTimer.setInterval(timings.CountsMs);
    QObject::connect(&countsTimer, &QTimer::timeout, [&] {
        const TListenerCounts counts = node.Server().Counts();
        const TIntakeCounts intake = node.IntakeCounts();
        if (counts == lastCounts && intake == lastIntake) return;
        lastCounts = counts;
        lastIntake = intake;
        PrintCounts(out, json, counts, intake, false);
    });
    countsTimer.start();
    QObject::connect(&node, &TNode::EventArrived, [&](int id, qintptr wParam, const TOnlineNotify& record) {
        QJsonObject object = RecordJson(record);
        object.insert(QStringLiteral("event"), CommEventName(id));
        object.insert(QStringLiteral("id"), HexId(id));
        object.insert(QStringLiteral("wparam"), qint64(wParam));
        PrintLine(out, json, object,
                  QStringLiteral("%1 %2 %3 %4 %5 state=%6 id=%7")
                      .arg(CommEventName(id), HexId(id), record.NickName, record.ComputerName, record.IPAddress)
                      .arg(record.OnlineState)
                      .arg(record.UserId));
    });
    QObject::connect(&node.IntakeNotices(), &TIntakeNotices::Noticed, [&](const QString& source, const QString& reason) {
        PrintLine(out, json,
                  {{QStringLiteral("event"), QStringLiteral("throttled")}, {QStringLiteral("source"), source},
                   {QStringLiteral("reason"), reason}},
                  QStringLiteral("throttled %1 %2").arg(source, reason));
    });
    QObject::connect(&node, &TNode::NetworkReady, [&] {
        PrintLine(out, json, {{QStringLiteral("event"), QStringLiteral("network-confirmed")}},
                  QStringLiteral("network-confirmed"));
    });
    QObject::connect(&node.Presence(), &TPresenceService::NotificationRequested, [&](const QString& text) {
        PrintLine(out, json, {{QStringLiteral("event"), QStringLiteral("notification")}, {QStringLiteral("text"), text}},
                  QStringLiteral("notification ") + text);
    });
    QObject::connect(&node, &TNode::ListenFailed, [&](const QString& text) {
        err << "quillmate-cli: " << QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")) << "\n";
        err.flush();
    });
    // The chat log stopped writing for want of disk space, or writes again.
    QObject::connect(&node.ChatLog(), &TChatLog::SpaceChanged, [&](bool full, qint64 freeBytes) {
        const QString event = full ? QStringLiteral("log-full") : QStringLiteral("log-space");
        const qint64 refused = node.ChatLog().RefusedForSpace();
        PrintLine(out, json,
                  {{QStringLiteral("event"), event}, {QStringLiteral("free"), freeBytes}, {QStringLiteral("refused"), refused}},
                  QStringLiteral("%1 free=%2 refused=%3").arg(event).arg(freeBytes).arg(refused));
    });
    TCliFileListen files(node.Transfer(), fileOptions, [&](QJsonObject object, const QString& plain) { PrintLine(out, json, object, plain); });
    // Checks are answered from Update.ini as the desktop program answers them.
    AttachUpdateListen(node, [&](const QJsonObject& object, const QString& plain) { PrintLine(out, json, object, plain); });
    // The first signal stops the streams being received, so their senders hear
    // it and nothing half-received stays; a second one ends at once.
    int signalCount = 0;
    TQuitSignals quit([&node, &files, &signalCount] {
        const auto end = [&node] {
            node.Stop();
            QCoreApplication::quit();
        };
        if (++signalCount > 1) end();
        else files.StopReceiving(end);
    });
    // Commands on standard input drive the running node: "state N",
    // "nickname NAME", "refresh", "stop" (the streams being received), "quit".
    TStdinLines input([&](const QString& line) {
        const QString verb = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.section(QLatin1Char(' '), 1).trimmed();
        if (verb == QLatin1String("state")) {
            // A number that names no state changes nothing.
            if (const std::optional<TOnlineState> state = OnlineStateFromWire(rest.toInt())) node.SwitchOnlineState(*state);
        }
        else if (verb == QLatin1String("nickname")) node.ChangeNickname(rest);
        else if (verb == QLatin1String("refresh")) node.RefreshOnlineList();
        else if (verb == QLatin1String("list")) PrintList(out, json, node.Model());
        else if (verb == QLatin1String("stop")) files.StopReceiving();
        else if (verb == QLatin1String("quit")) {
            node.Stop();
            QCoreApplication::quit();
        }
    });
    node.Start();
    const int status = QCoreApplication::exec();
    countsTimer.stop();
    PrintCounts(out, json, node.Server().Counts(), node.IntakeCounts(), true);
    node.ChatLog().Flush();
    if (const qint64 refused = node.ChatLog().RefusedForSpace(); refused > 0)
        PrintLine(out, json, {{QStringLiteral("event"), QStringLiteral("log-refused")}, {QStringLiteral("records"), refused}},
                  QStringLiteral("log-refused records=%1").arg(refused));
    // What the router dropped, so a flood shows how much never reached the list.
    const TRouterCounts counts = node.Router().Counts();
    PrintLine(out, json,
              {{QStringLiteral("event"), QStringLiteral("stopped")},
               {QStringLiteral("unrouted"), qint64(counts.Unrouted)},
               {QStringLiteral("mistyped"), qint64(counts.Mistyped)},
               {QStringLiteral("overflowed"), qint64(counts.Overflowed)},
               {QStringLiteral("throttled"), qint64(counts.Throttled)},
               {QStringLiteral("pending"), node.Router().Pending()}},
              QStringLiteral("stopped unrouted=%1 mistyped=%2 overflowed=%3 throttled=%4 pending=%5")
                  .arg(counts.Unrouted)
                  .arg(counts.Mistyped)
                  .arg(counts.Overflowed)
                  .arg(counts.Throttled)
                  .arg(node.Router().Pending()));
    return status;
}

int RunWho(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    double waitSeconds = 3;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == QLatin1String("--wait") && i + 1 < args.size()) {
            bool ok = false;
            waitSeconds = args[i + 1].toDouble(&ok);
            if (!ok || waitSeconds < 0) {
                err << "quillmate-cli: --wait needs a number of seconds\n";
                return 2;
            }
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
    if (const QString error = ApplyNodeOptions(args, nullptr); !error.isEmpty() || !args.isEmpty()) {
        err << "quillmate-cli: " << (error.isEmpty() ? QStringLiteral("unknown option: ") + args.first() : error) << "\n";
        return 2;
    }
    TNode node;
    int status = 0;
    QObject::connect(&node, &TNode::ListenFailed, [&](const QString& text) {
        err << "quillmate-cli: " << QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")) << "\n";
        status = 1;
        QCoreApplication::quit();
    });
    QObject::connect(&node, &TNode::NetworkReady, [&] {
        QTimer::singleShot(int(waitSeconds * 1000), [] { QCoreApplication::quit(); });
    });
    // Without a network that echoes our self-check the list would stay empty.
    constexpr int kConfirmLimitMs = 30 * 1000;
    QTimer::singleShot(kConfirmLimitMs, &node, [&] {
        if (node.NetworkConfirmed()) return;
        err << "quillmate-cli: the network was not confirmed (our own self-check never came back)\n";
        status = 1;
        QCoreApplication::quit();
    });
    TQuitSignals quit([] { QCoreApplication::quit(); });
    node.Start();
    QCoreApplication::exec();
    if (status == 0) {
        out << "GROUP\tNICKNAME\tCOMPUTER\tIP\tSTATE\tVERSION\tID\tRESPONDING\n";
        TOnlineUserModel& model = node.Model();
        for (const QModelIndex& row : model.UserIndexes()) {
            const TUserNodeData* user = model.NodeData(row);
            out << user->GroupName << "\t" << user->NickName << "\t" << user->ComputerName << "\t" << user->IPAddress
                << "\t" << StateName(user->OnlineState) << "\t" << user->Version << "\t" << user->UserId << "\t"
                << (user->Responding ? "yes" : "no") << "\n";
        }
        out.flush();
    }
    node.Stop();
    return status;
}
