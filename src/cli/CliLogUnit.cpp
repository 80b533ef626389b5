#include "cli/CliLogUnit.h"
#include "cli/CliExitUnit.h"

#include "chatlog/ChatLogExportUnit.h"
#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogStoreUnit.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

const char* const kLogUsage =
    "  log list [--type single|broadcast|group|file] [--peer COMPUTER | --nick NICK]\n"
    "           [--after ID] [--limit N] [--json]\n"
    "                            list chat log records, newest first (default: 50 single)\n"
    "  log show TYPE ID [--raw]  print a record's text (--raw: its stored bytes)\n"
    "  log export TYPE FILE [--peer COMPUTER | --nick NICK]\n"
    "                            write a category to FILE (RTF, or text for broadcast/file)\n"
    "  log delete TYPE ID        delete one record and its content\n"
    "  log compact               compact the database (no other program may have it open)\n"
    "  log search TEXT [--limit N] [--json] [--export FILE]\n"
    "                            records whose content contains TEXT, newest first\n"
    "                            (--export: every such record into FILE as RTF)\n";

namespace {

using namespace CliExit;
constexpr int kDefaultLimit = 50;

int Failed(QTextStream& err, const QString& problem) {
    QString text = problem;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    err << "quillmate-cli: " << text << "\n";
    err.flush();
    return kExitFailed;
}

const char* TypeWord(TLogType type) {
    switch (type) {
    case ltBroadcast: return "broadcast";
    case ltGroup: return "group";
    case ltFile: return "file";
    default: return "single";
    }
}

std::optional<TLogType> ParseType(const QString& word) {
    for (TLogType type : {ltSingle, ltBroadcast, ltGroup, ltFile})
        if (word.compare(QLatin1String(TypeWord(type)), Qt::CaseInsensitive) == 0) return type;
    return std::nullopt;
}

std::optional<qint64> ParseNumber(const QString& text, qint64 least) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < least) return std::nullopt;
    return value;
}

// Options of the form "--name VALUE" and "--flag", taken out of args.
class TOptions {
public:
    TOptions(QStringList& args, QStringList valued, QStringList flags) {
        for (qsizetype i = 0; i < args.size();) {
            const QString& a = args[i];
            if (valued.contains(a)) {
                if (i + 1 >= args.size()) {
                    FError = QStringLiteral("%1 needs a value").arg(a);
                    return;
                }
                FValues.insert(a, args[i + 1]);
                args.remove(i, 2);
            } else if (flags.contains(a)) {
                FFlags += a;
                args.remove(i);
            } else if (a.startsWith(QLatin1String("--"))) {
                FError = QStringLiteral("unknown option: %1").arg(a);
                return;
            } else {
                ++i;
            }
        }
    }
    const QString& Error() const { return FError; }
    bool Has(const QString& name) const { return FValues.contains(name) || FFlags.contains(name); }
    QString Value(const QString& name) const { return FValues.value(name); }

private:
    QHash<QString, QString> FValues;
    QStringList FFlags;
    QString FError;
};

// --limit N (default kDefaultLimit); none when N is not a positive number.
std::optional<int> LimitOf(const TOptions& options) {
    if (!options.Has(QStringLiteral("--limit"))) return kDefaultLimit;
    const std::optional<qint64> value = ParseNumber(options.Value(QStringLiteral("--limit")), 1);
    if (!value || *value > std::numeric_limits<int>::max()) return std::nullopt;
    return int(*value);
}

// --peer/--nick narrow the single-message log to one peer.
std::optional<TLogFilter> FilterOf(const TOptions& options, TLogType type, QString* problem) {
    const bool nick = options.Has(QStringLiteral("--nick"));
    const bool peer = options.Has(QStringLiteral("--peer"));
    if (nick && peer) {
        *problem = QStringLiteral("give --peer or --nick, not both");
        return std::nullopt;
    }
    if ((nick || peer) && type != ltSingle) {
        *problem = QStringLiteral("--peer and --nick go with single messages only");
        return std::nullopt;
    }
    if (nick) return TLogFilter::OfNick(options.Value(QStringLiteral("--nick")));
    if (peer) return TLogFilter::OfComputer(options.Value(QStringLiteral("--peer")));
    return TLogFilter::All(type);
}

QJsonObject EntryJson(const TLogEntry& e) {
    return {{QStringLiteral("type"), QLatin1String(TypeWord(ChatLog::StoredType(e.Category)))},
            {QStringLiteral("id"), e.ID},
            {QStringLiteral("sendOut"), e.IfSendOut},
            {QStringLiteral("broadcast"), e.IfBroadcast},
            {QStringLiteral("langId"), e.LangID},
            {QStringLiteral("time"), e.LogTime.toString(Qt::ISODateWithMs)},
            {QStringLiteral("nick"), e.Nick},
            {QStringLiteral("computer"), e.Computer},
            {QStringLiteral("ip"), e.IP},
            {QStringLiteral("first2Line"), ChatLog::ShownFirst2Line(e)},
            {QStringLiteral("header"), ChatLog::EntryHeader(e)}};
}

void PrintEntry(QTextStream& out, const TLogEntry& e, bool json, const QString& prefix = {}) {
    if (json) {
        out << QJsonDocument(EntryJson(e)).toJson(QJsonDocument::Compact) << "\n";
        return;
    }
    out << prefix << e.ID << " " << ChatLog::EntryHeader(e) << "\n";
    for (const QString& line : ChatLog::ShownFirst2Line(e).split(QRegularExpression(QStringLiteral("\r\n|\n|\r"))))
        if (!line.isEmpty()) out << "    " << line << "\n";
}

// The log opened for the command; err gets the reason when it cannot be.
std::optional<int> OpenFailed(TChatLogStore& store, TChatLogStore::TOpenMode mode, QTextStream& err) {
    if (store.Open(mode)) return std::nullopt;
    return Failed(err, store.LastError());
}

void WriteRaw(QTextStream& out, const QByteArray& bytes) {
    out.flush();
    if (QIODevice* device = out.device()) {
        device->write(bytes);
        return;
    }
    QFile stdoutFile;
    if (stdoutFile.open(stdout, QIODevice::WriteOnly)) stdoutFile.write(bytes);
}

int List(QStringList args, QTextStream& out, QTextStream& err) {
    const TOptions options(args, {QStringLiteral("--type"), QStringLiteral("--peer"), QStringLiteral("--nick"),
                                  QStringLiteral("--after"), QStringLiteral("--limit")},
                           {QStringLiteral("--json")});
    if (!options.Error().isEmpty()) return Usage(err, options.Error());
    if (!args.isEmpty()) return Usage(err, QStringLiteral("log list: unexpected argument %1").arg(args.first()));
    TLogType type = ltSingle;
    if (options.Has(QStringLiteral("--type"))) {
        const std::optional<TLogType> parsed = ParseType(options.Value(QStringLiteral("--type")));
        if (!parsed) return Usage(err, QStringLiteral("unknown log type: %1").arg(options.Value(QStringLiteral("--type"))));
        type = *parsed;
    }
    QString problem;
    const std::optional<TLogFilter> filter = FilterOf(options, type, &problem);
    if (!filter) return Usage(err, problem);
    qint64 after = 0;
    if (options.Has(QStringLiteral("--after"))) {
        const std::optional<qint64> value = ParseNumber(options.Value(QStringLiteral("--after")), 0);
        if (!value) return Usage(err, QStringLiteral("--after needs a record id"));
        after = *value;
    }
    const std::optional<int> limit = LimitOf(options);
    if (!limit) return Usage(err, QStringLiteral("--limit needs a positive number"));
    TChatLogStore store;
    if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omRead, err)) return *failed;
    const std::optional<QList<TLogEntry>> entries = store.LoadLogList(*filter, after, 0, *limit);
    if (!entries) return Failed(err, store.LastError());
    const bool json = options.Has(QStringLiteral("--json"));
    for (const TLogEntry& e : *entries) PrintEntry(out, e, json);
    return kExitOk;
}

// "TYPE ID" at the head of args.
std::optional<std::pair<TLogType, qint64>> TypeAndId(const QStringList& args, QString* problem) {
    const std::optional<TLogType> type = ParseType(args.value(0));
    const std::optional<qint64> id = ParseNumber(args.value(1), 1);
    if (!type) *problem = QStringLiteral("unknown log type: %1").arg(args.value(0));
    else if (!id) *problem = QStringLiteral("not a record id: %1").arg(args.value(1));
    if (!type || !id) return std::nullopt;
    return std::make_pair(*type, *id);
}

int Show(QStringList args, QTextStream& out, QTextStream& err) {
    const TOptions options(args, {}, {QStringLiteral("--raw")});
    if (!options.Error().isEmpty()) return Usage(err, options.Error());
    if (args.size() != 2) return Usage(err, QStringLiteral("log show needs TYPE and ID"));
    QString problem;
    const auto target = TypeAndId(args, &problem);
    if (!target) return Usage(err, problem);
    TChatLogStore store;
    if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omRead, err)) return *failed;
    const std::optional<TLogContent> content = store.LoadLogContent(target->first, target->second);
    if (!content) return Failed(err, store.LastError());
    if (options.Has(QStringLiteral("--raw"))) WriteRaw(out, content->Bytes);
    else {
        const QString text = content->PlainText();
        out << text;
        if (!text.endsWith(QLatin1Char('\n'))) out << "\n";
    }
    return kExitOk;
}

int Export(QStringList args, QTextStream& err) {
    const TOptions options(args, {QStringLiteral("--peer"), QStringLiteral("--nick")}, {});
    if (!options.Error().isEmpty()) return Usage(err, options.Error());
    if (args.size() != 2) return Usage(err, QStringLiteral("log export needs TYPE and FILE"));
    const std::optional<TLogType> type = ParseType(args[0]);
    if (!type) return Usage(err, QStringLiteral("unknown log type: %1").arg(args[0]));
    QString problem;
    const std::optional<TLogFilter> filter = FilterOf(options, *type, &problem);
    if (!filter) return Usage(err, problem);
    TChatLogStore store;
    if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omRead, err)) return *failed;
    const QString error = ExportLog(store, *filter, args[1]);
    return error.isEmpty() ? kExitOk : Failed(err, error);
}

int Delete(QStringList args, QTextStream& err) {
    if (args.size() != 2) return Usage(err, QStringLiteral("log delete needs TYPE and ID"));
    QString problem;
    const auto target = TypeAndId(args, &problem);
    if (!target) return Usage(err, problem);
    TChatLogStore store;
    if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omWrite, err)) return *failed;
    bool found = false;
    if (!store.DeleteLogRecord(target->first, target->second, &found)) return Failed(err, store.LastError());
    if (!found)
        return Failed(err, QStringLiteral("the chat log has no %1 record %2").arg(QLatin1String(TypeWord(target->first))).arg(target->second));
    return kExitOk;
}

int Compact(const QStringList& args, QTextStream& err) {
    if (!args.isEmpty()) return Usage(err, QStringLiteral("log compact takes no arguments"));
    TChatLogStore store;
    if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omWrite, err)) return *failed;
    return store.CompactDatabase() ? kExitOk : Failed(err, store.LastError());
}

int Search(QStringList args, QTextStream& out, QTextStream& err) {
    const TOptions options(args, {QStringLiteral("--limit"), QStringLiteral("--export")}, {QStringLiteral("--json")});
    if (!options.Error().isEmpty()) return Usage(err, options.Error());
    if (args.size() != 1) return Usage(err, QStringLiteral("log search needs one TEXT (quote it when it has spaces)"));
    if (options.Has(QStringLiteral("--export"))) {
        if (!ChatLog::MatchExpression(args[0]))
            return Usage(err, QStringLiteral("log search needs at least %1 characters").arg(ChatLog::kMinSearchLength));
        TChatLogStore store;
        if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omRead, err)) return *failed;
        const QString error = ExportSearch(store, args[0], options.Value(QStringLiteral("--export")));
        return error.isEmpty() ? kExitOk : Failed(err, error);
    }
    if (!ChatLog::MatchExpression(args[0]))
        return Usage(err, QStringLiteral("log search needs at least %1 characters").arg(ChatLog::kMinSearchLength));
    const std::optional<int> limit = LimitOf(options);
    if (!limit) return Usage(err, QStringLiteral("--limit needs a positive number"));
    TChatLogStore store;
    if (const std::optional<int> failed = OpenFailed(store, TChatLogStore::omRead, err)) return *failed;
    const std::optional<QList<TLogSearchHit>> hits = store.SearchLog(args[0], 0, *limit);
    if (!hits) return Failed(err, store.LastError());
    const bool json = options.Has(QStringLiteral("--json"));
    for (const TLogSearchHit& hit : *hits)
        PrintEntry(out, hit.Entry, json, QLatin1String(TypeWord(hit.Entry.Category)) + QLatin1Char(' '));
    return kExitOk;
}

} // namespace

int RunLog(QStringList arguments, QTextStream& out, QTextStream& err) {
    if (arguments.isEmpty()) {
        err << "quillmate-cli: log needs a command\nusage:\n" << kLogUsage;
        err.flush();
        return kExitUsage;
    }
    const QString verb = arguments.takeFirst();
    if (verb == QLatin1String("list")) return List(arguments, out, err);
    if (verb == QLatin1String("show")) return Show(arguments, out, err);
    if (verb == QLatin1String("export")) return Export(arguments, err);
    if (verb == QLatin1String("delete")) return Delete(arguments, err);
    if (verb == QLatin1String("compact")) return Compact(arguments, err);
    if (verb == QLatin1String("search")) return Search(arguments, out, err);
    err << "quillmate-cli: unknown log command: " << verb << "\nusage:\n" << kLogUsage;
    err.flush();
    return kExitUsage;
}
