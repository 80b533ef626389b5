// Chat log: the writer's throughput against a bare loop of the same inserts
// and file writes, the caller's time per AddLogRecord, and on a log of a
// million records the first screen of a category, of one peer and of a search
// against the sqlite3 program running the same query on the same file, with
// each side's memory. Prints figures and ratios; never fails on speed.
// Also the size of a log of realistic messages against their bodies.
//   bench_chatlog [APPENDS [RECORDS [MESSAGES]]]   defaults 100000, 1000000 and 3000
#include "BenchMemory.h"
#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogUnit.h"
#include "chatlog/LogListModelUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfWriterUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kPage = 100;
constexpr int kBatch = 256;
const QString kNickOfPeer = QStringLiteral("peer17");
const QString kSearchWord = QString::fromUtf8("季度报告");
// A one-character query: in Chinese often a whole word.
const QString kSearchChar = QString::fromUtf8("季");

double Median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// ------------------------------------------------------------ appends

TLogRecord KibRecord(int n) {
    TLogRecord r;
    r.LogType = ltBroadcast;
    r.LangID = 1033;
    QByteArray content = "message " + QByteArray::number(n) + " ";
    while (content.size() < 1024) content += "some words of a chat message ";
    content.truncate(1024);
    r.Content = content;
    r.First2Line = QStringLiteral("message %1").arg(n);
    r.Nick = QStringLiteral("peer%1").arg(n % 200);
    r.Computer = QStringLiteral("PC-%1").arg(n % 200);
    r.IP = QStringLiteral("10.0.%1.%2").arg(n % 200 / 100).arg(n % 100);
    r.LogTime = QDateTime::currentDateTime();
    return r;
}

// The same inserts and file writes without the log's safety: no sync, no
// index, no thread.
double BareLoopSeconds(const QString& folder, const QList<TLogRecord>& records) {
    const int count = int(records.size());
    QDir().mkpath(folder + QStringLiteral("Content"));
    QElapsedTimer timer;
    timer.start();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(folder + QStringLiteral("bare.db"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("CREATE TABLE Broadcast (ID INTEGER PRIMARY KEY AUTOINCREMENT, LangID INTEGER, IfSendOut BOOLEAN, "
                              "IfBroadcast BOOLEAN, LogTime DATETIME, Nick TEXT, Computer TEXT, IP TEXT, First2Line TEXT, Content TEXT)"));
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO Broadcast (LangID, IfSendOut, IfBroadcast, LogTime, Nick, Computer, "
                                      "IP, First2Line, Content) VALUES (?, ?, ?, ?, ?, ?, ?, ?, '')"));
        for (int n = 0; n < count;) {
            q.exec(QStringLiteral("BEGIN"));
            for (int i = 0; i < kBatch && n < count; ++i, ++n) {
                const TLogRecord& r = records[n];
                for (const QVariant& v : {QVariant(r.LangID), QVariant(0), QVariant(1), QVariant(r.LogTime.toString(Qt::ISODate)),
                                          QVariant(r.Nick), QVariant(r.Computer), QVariant(r.IP), QVariant(r.First2Line)})
                    insert.addBindValue(v);
                insert.exec();
                QFile file(folder + QStringLiteral("Content/%1.Broadcast.db").arg(insert.lastInsertId().toLongLong()));
                file.open(QIODevice::WriteOnly);
                file.write(r.Content);
            }
            q.exec(QStringLiteral("COMMIT"));
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    // Kept until the end: the file system takes longer to create files right
    // after many were deleted, which would count against the next run.
    return seconds;
}

void BenchAppends(const QString& root, int count) {
    QList<TLogRecord> records;
    records.reserve(count);
    for (int n = 0; n < count; ++n) records += KibRecord(n);
    // The file system's cost of creating a file changes as a folder fills up:
    // the bare loop runs before and after ours, and its mean is the baseline.
    const double bareBefore = BareLoopSeconds(root + QStringLiteral("bare1/"), records);
    QList<double> callMicros;
    callMicros.reserve(count);
    QElapsedTimer total;
    {
        TChatLog log(root + QStringLiteral("log/ChatDB"));
        log.Start();
        log.Flush();
        total.start();
        QElapsedTimer call;
        for (TLogRecord& r : records) {
            call.start();
            log.AddLogRecord(std::move(r));
            callMicros += call.nsecsElapsed() / 1e3;
        }
        log.Flush();
    }
    const double logged = total.nsecsElapsed() / 1e9;
    const double bare = (bareBefore + BareLoopSeconds(root + QStringLiteral("bare2/"), records)) / 2;
    double sum = 0;
    for (double v : callMicros) sum += v;
    std::sort(callMicros.begin(), callMicros.end());
    std::printf("appends of %d records of 1 KiB\n", count);
    std::printf("  bare loop (sqlite + file writes): %8.0f records/s (baseline)\n", count / bare);
    std::printf("  AddLogRecord, stored and synced : %8.0f records/s, %.2fx the baseline's rate\n", count / logged,
                (count / logged) / (count / bare));
    std::printf("  caller's time per AddLogRecord  : mean %.2f us, p99 %.2f us, max %.1f us (target under 50 us)\n",
                sum / count, callMicros[int(count * 0.99)], callMicros.last());
}

// ------------------------------------------------------------ a large log

QString Sentence(int n) {
    static const QStringList words{QStringLiteral("meeting"), QStringLiteral("lunch"), QStringLiteral("report"),
                                   QString::fromUtf8("你好"), QString::fromUtf8("明天开会"), QStringLiteral("deadline"),
                                   QString::fromUtf8("文件已发送"), QStringLiteral("thanks"), QString::fromUtf8("谢谢")};
    QString text;
    for (int i = 0; i < 8; ++i) text += words[(n * 7 + i * 13) % words.size()] + QLatin1Char(' ');
    if (n % 97 == 0) text += kSearchWord; // about one record in a hundred
    return text;
}

// Rows and index entries straight into the log's own schema; no side files
// (lists and searches do not read them).
bool BuildLog(const QString& folder, int count) {
    {
        TChatLogStore store(folder);
        if (!store.Open()) return std::printf("cannot create the log: %s\n", qPrintable(store.LastError())), false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
    db.setDatabaseName(folder + QStringLiteral("/chatlog.mdb"));
    db.open();
    {
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        q.exec(QStringLiteral("BEGIN"));
        const TLogType types[] = {ltSingle, ltSingle, ltSingle, ltSingle, ltSingle, ltSingle, ltSingle,
                                  ltBroadcast, ltBroadcast, ltGroup, ltGroup, ltFile};
        QHash<int, QSqlQuery> inserts;
        for (TLogType type : {ltSingle, ltBroadcast, ltGroup, ltFile}) {
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO \"%1\" (LangID, IfSendOut, IfBroadcast, LogTime, Nick, Computer, IP, "
                                          "First2Line, Content) VALUES (2052, ?, ?, ?, ?, ?, ?, ?, '')")
                               .arg(ChatLog::TableName(type)));
            inserts.insert(type, insert);
        }
        QSqlQuery key(db);
        key.prepare(QStringLiteral("INSERT INTO LogSearchKey (Kind, RecordID) VALUES (?, ?)"));
        QSqlQuery index(db);
        index.prepare(QStringLiteral("INSERT INTO LogSearch (rowid, Body) VALUES (?, ?)"));
        const QDateTime start = QDateTime::currentDateTime().addDays(-2000);
        for (int n = 0; n < count; ++n) {
            const TLogType type = types[n % 12];
            QSqlQuery& insert = inserts[type];
            insert.addBindValue(n % 2);
            insert.addBindValue(type == ltBroadcast ? 1 : 0);
            insert.addBindValue(start.addSecs(n * 170LL).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
            insert.addBindValue(QStringLiteral("peer%1").arg(n % 200));
            insert.addBindValue(QStringLiteral("PC-%1").arg(n % 200));
            insert.addBindValue(QStringLiteral("10.0.0.%1").arg(n % 200));
            const QString text = Sentence(n);
            insert.addBindValue(text.left(40) + QStringLiteral("\r\n") + text.mid(40, 40));
            if (!insert.exec()) return std::printf("insert: %s\n", qPrintable(insert.lastError().text())), false;
            key.addBindValue(int(type));
            key.addBindValue(insert.lastInsertId());
            key.exec();
            index.addBindValue(key.lastInsertId());
            index.addBindValue(ChatLog::IndexForm(text.simplified()));
            index.exec();
        }
        q.exec(QStringLiteral("COMMIT"));
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
    return true;
}

// The same query as the store runs, for the sqlite3 program.
QString SqlFor(const QString& mode) {
    const QString columns = QStringLiteral("ID, LangID, IfSendOut, IfBroadcast, LogTime, Nick, Computer, IP, First2Line");
    if (mode == QLatin1String("all"))
        return QStringLiteral("SELECT %1 FROM Message WHERE (1=1) AND ID > 0 ORDER BY ID DESC LIMIT %2;").arg(columns).arg(kPage);
    if (mode == QLatin1String("nick"))
        return QStringLiteral("SELECT %1 FROM Message WHERE (Nick = '%2') AND ID > 0 ORDER BY ID DESC LIMIT %3;")
            .arg(columns, kNickOfPeer)
            .arg(kPage);
    // Search: the keys, then each row, as the store does.
    return QStringLiteral("SELECT k.Key, k.Kind, k.RecordID, m.First2Line FROM LogSearch s JOIN LogSearchKey k ON k.Key = s.rowid "
                          "LEFT JOIN Message m ON k.Kind = 1 AND m.ID = k.RecordID "
                          "WHERE LogSearch MATCH '%1' ORDER BY s.rowid DESC LIMIT %2;")
        .arg(*ChatLog::MatchExpression(mode == QLatin1String("search1") ? kSearchChar : kSearchWord))
        .arg(kPage);
}

// Child: open, run the first screen once, print timings and memory.
int FirstScreen(const QString& folder, const QString& mode) {
    const long before = StatusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    TChatLogStore store(folder);
    if (!store.Open(TChatLogStore::omRead)) return 1;
    const double openMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    qsizetype rows = 0;
    if (mode == QLatin1String("search")) rows = store.SearchLog(kSearchWord, 0, kPage)->size();
    else if (mode == QLatin1String("search1")) rows = store.SearchLog(kSearchChar, 0, kPage)->size();
    else if (mode == QLatin1String("nick")) rows = store.LoadLogList(TLogFilter::OfNick(kNickOfPeer), 0, 0, kPage)->size();
    else rows = store.LoadLogList(TLogFilter::All(ltSingle), 0, 0, kPage)->size();
    const double queryMs = timer.nsecsElapsed() / 1e6;
    std::printf("%.3f %.3f %lld %ld %ld\n", openMs, queryMs, qlonglong(rows), before, StatusKiB("VmHWM:"));
    return 0;
}

// Child: the list model's first page through the reader thread.
int ModelFirstPage(const QString& folder) {
    QElapsedTimer timer;
    timer.start();
    TChatLogReader reader(folder);
    TLogListModel model(reader, kPage);
    QEventLoop loop;
    QObject::connect(&model, &TLogListModel::FirstPageLoaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    model.SetFilter(TLogFilter::All(ltSingle));
    loop.exec();
    std::printf("%.3f %d %ld\n", timer.nsecsElapsed() / 1e6, model.rowCount(), StatusKiB("VmHWM:"));
    return 0;
}

struct TRun {
    double WallMs = 0;
    QList<QByteArray> Fields;
};

TRun RunChild(const QString& program, const QStringList& arguments) {
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(600000);
    TRun run;
    run.WallMs = timer.nsecsElapsed() / 1e6;
    run.Fields = process.readAllStandardOutput().simplified().split(' ');
    return run;
}

long PeakKiBOf(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// sqlite3 kept alive on its input: the query's time from sending it to the
// last row printed (opening the file included), and its peak memory read
// while it waits for the next line.
struct TToolRun {
    double Ms = 0;
    long PeakKiB = 0;
};
TToolRun RunTool(const QString& sqlite3, const QString& database, const QString& sql) {
    QProcess process;
    process.start(sqlite3, {QStringLiteral("-readonly"), database});
    process.waitForStarted();
    QElapsedTimer timer;
    timer.start();
    process.write(sql.toUtf8() + "\nSELECT 'end-of-screen';\n");
    QByteArray out;
    while (!out.contains("end-of-screen") && process.waitForReadyRead(600000)) out += process.readAllStandardOutput();
    TToolRun run{timer.nsecsElapsed() / 1e6, PeakKiBOf(process.processId())};
    process.closeWriteChannel();
    process.waitForFinished();
    return run;
}

void BenchLargeLog(const QString& root, int count) {
    const QString folder = root + QStringLiteral("large/ChatDB");
    QElapsedTimer build;
    build.start();
    if (!BuildLog(folder, count)) return;
    std::printf("log of %d records built in %.1f s (%.0f MiB)\n", count, build.elapsed() / 1000.0,
                QFileInfo(folder + QStringLiteral("/chatlog.mdb")).size() / 1048576.0);
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    const QString self = QCoreApplication::applicationFilePath();
    const QString database = folder + QStringLiteral("/chatlog.mdb");

    struct TMode {
        const char* Name;
        const char* Title;
    };
    const TMode modes[] = {{"all", "first screen of All Single Log"},
                           {"nick", "first screen of one peer      "},
                           {"search", "first screen of a search     "},
                           {"search1", "first screen of 1-char search "}};
    QHash<QString, double> toolMs;
    long toolPeak = 0;
    if (sqlite3.isEmpty()) std::printf("sqlite3 is not installed (package sqlite3): no baseline\n");
    else
        for (const TMode& mode : modes) {
            QList<double> times;
            for (int i = 0; i < 5; ++i) {
                const TToolRun run = RunTool(sqlite3, database, SqlFor(QLatin1String(mode.Name)));
                times += run.Ms;
                toolPeak = qMax(toolPeak, run.PeakKiB);
            }
            toolMs[QLatin1String(mode.Name)] = Median(times);
        }

    long ourPeak = 0;
    for (const TMode& mode : modes) {
        QList<double> walls, opens, queries;
        for (int i = 0; i < 5; ++i) {
            const TRun run = RunChild(self, {QStringLiteral("--first-screen"), folder, QLatin1String(mode.Name)});
            walls += run.WallMs;
            opens += run.Fields.value(0).toDouble();
            queries += run.Fields.value(1).toDouble();
            ourPeak = qMax(ourPeak, run.Fields.value(4).toLong());
        }
        const QString name = QLatin1String(mode.Name);
        const double ours = Median(opens) + Median(queries);
        std::printf("%s: open %.2f + query %.2f = %.2f ms (our process %.1f ms with Qt's start)", mode.Title, Median(opens),
                    Median(queries), ours, Median(walls));
        if (toolMs.contains(name))
            std::printf("; sqlite3 open+query+print %.2f ms; ratio %.2fx (target within 2x, under 100 ms)", toolMs[name],
                        ours / qMax(0.001, toolMs[name]));
        std::printf("\n");
    }
    const TRun model = RunChild(self, {QStringLiteral("--model"), folder});
    std::printf("list model, first page through the reader thread: %.2f ms, %s rows\n", model.Fields.value(0).toDouble(),
                model.Fields.value(1).constData());
    std::printf("peak memory of a first screen: ours %ld KiB, sqlite3 %ld KiB, ratio %.2fx (ours holds the Qt libraries)\n",
                ourPeak, toolPeak, toolPeak > 0 ? double(ourPeak) / toolPeak : 0.0);
}

// Memory and time of the first screen must not grow with the log: the same
// on a log a tenth of the size.
void BenchFlatness(const QString& root, int count) {
    const QString small = root + QStringLiteral("small/ChatDB");
    if (!BuildLog(small, count / 10)) return;
    const QString large = root + QStringLiteral("large/ChatDB");
    const QString self = QCoreApplication::applicationFilePath();
    QList<double> smallMs, largeMs;
    long smallPeak = 0, largePeak = 0;
    for (int i = 0; i < 5; ++i) {
        const TRun s = RunChild(self, {QStringLiteral("--first-screen"), small, QStringLiteral("all")});
        const TRun l = RunChild(self, {QStringLiteral("--first-screen"), large, QStringLiteral("all")});
        smallMs += s.Fields.value(1).toDouble();
        largeMs += l.Fields.value(1).toDouble();
        smallPeak = qMax(smallPeak, s.Fields.value(4).toLong());
        largePeak = qMax(largePeak, l.Fields.value(4).toLong());
    }
    std::printf("first screen, %d vs %d records: query %.2f vs %.2f ms (%.2fx), peak memory %ld vs %ld KiB (%.2fx)\n", count,
                count / 10, Median(largeMs), Median(smallMs), Median(largeMs) / qMax(0.001, Median(smallMs)), largePeak,
                smallPeak, double(largePeak) / qMax(1L, smallPeak));
}

// ------------------------------------------------------------ size

// A chat message as the message window writes it: rich text of a few words
// to a few lines, Chinese and Latin mixed; every fifth a plain broadcast.
TLogRecord ChatRecord(int n) {
    static const QStringList words{QStringLiteral("meeting"), QStringLiteral("lunch"), QStringLiteral("report"),
                                   QStringLiteral("deadline"), QStringLiteral("thanks"), QStringLiteral("tomorrow"),
                                   QStringLiteral("please"), QStringLiteral("the"), QStringLiteral("file"),
                                   QStringLiteral("ok"), QString::fromUtf8("你好"), QString::fromUtf8("明天开会"),
                                   QString::fromUtf8("文件已发送"), QString::fromUtf8("谢谢"), QString::fromUtf8("季度报告"),
                                   QString::fromUtf8("请看一下"), QString::fromUtf8("没问题")};
    quint32 seed = quint32(n) * 2654435761u + 1;
    const auto next = [&seed](int bound) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % quint32(bound));
    };
    QString text;
    const int count = 2 + next(6) * next(6) + next(4); // mostly short, some long
    for (int i = 0; i < count; ++i) text += words[next(int(words.size()))] + QLatin1Char(i % 9 == 8 ? '\n' : ' ');
    TLogRecord r;
    r.LangID = 2052;
    r.Nick = QStringLiteral("peer%1").arg(n % 40);
    r.Computer = QStringLiteral("PC-%1").arg(n % 40);
    r.IP = QStringLiteral("10.0.0.%1").arg(n % 40);
    r.First2Line = text.section(QLatin1Char('\n'), 0, 1).left(120);
    r.LogTime = QDateTime::currentDateTime();
    if (n % 5 == 4) {
        r.LogType = ltBroadcast;
        r.IfBroadcast = true;
        r.Content = TMessageLang::Encode(2052, text);
        return r;
    }
    r.LogType = ltSingle;
    r.IfSendOut = n % 2;
    TRichDocument document;
    TRichFormat format;
    format.FontName = QString::fromUtf8("宋体");
    format.HalfPoints = 18;
    format.Colour = n % 3 ? 0x000000u : 0x0000FFu;
    document.AppendText(text.trimmed(), format);
    r.Content = WriteRtf(document, TRtfWriteOptions{936, {}});
    return r;
}

qint64 FolderBytes(const QString& folder, bool onDisk) {
    if (onDisk) { // allocated blocks, as `du` counts them
        QProcess du;
        du.start(QStringLiteral("du"), {QStringLiteral("-s"), QStringLiteral("-B1"), folder});
        du.waitForFinished();
        return du.readAllStandardOutput().split('\t').value(0).toLongLong();
    }
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) bytes += it.nextFileInfo().size();
    return bytes;
}

// Bytes of the tables whose names start with prefix (dbstat), -1 when unknown.
qint64 TableBytes(const QString& database, const QString& prefix) {
    qint64 bytes = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("size"));
        db.setDatabaseName(database);
        db.open();
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name LIKE '%1%'").arg(prefix)) && q.next())
            bytes = q.value(0).toLongLong();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("size"));
    return bytes;
}

// The same log with the index as first written (with positions): the baseline.
qint64 FirstSchemaIndexBytes(const QString& folder) {
    const QString copy = folder + QStringLiteral("/../first.mdb");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("first"));
        db.setDatabaseName(folder + QStringLiteral("/chatlog.mdb"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("VACUUM INTO '%1'").arg(copy));
        db.close();
        db.setDatabaseName(copy);
        db.open();
        q = QSqlQuery(db);
        q.exec(QStringLiteral("DROP TABLE LogSearch"));
        q.exec(QStringLiteral("CREATE VIRTUAL TABLE LogSearch USING fts5 (Body, content='', tokenize='trigram')"));
        q.exec(QStringLiteral("BEGIN"));
        QSqlQuery keys(db);
        keys.exec(QStringLiteral("SELECT Key, Kind, RecordID FROM LogSearchKey"));
        QSqlQuery lang(db);
        QSqlQuery index(db);
        index.prepare(QStringLiteral("INSERT INTO LogSearch (rowid, Body) VALUES (?, ?)"));
        while (keys.next()) {
            const TLogType type = TLogType(keys.value(1).toInt());
            const qint64 id = keys.value(2).toLongLong();
            QFile file(folder + QStringLiteral("/Content/%1.%2.db").arg(id).arg(ChatLog::TypeName(type)));
            file.open(QIODevice::ReadOnly);
            index.addBindValue(keys.value(0));
            index.addBindValue(ChatLog::IndexForm(ChatLog::SearchableText(TLogContent{type, id, 2052, file.readAll()})));
            index.exec();
        }
        q.exec(QStringLiteral("COMMIT"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("first"));
    const qint64 bytes = TableBytes(copy, QStringLiteral("LogSearch"));
    QFile::remove(copy);
    return bytes;
}

void BenchSize(const QString& root, int count) {
    const QString folder = root + QStringLiteral("size/ChatDB");
    qint64 bodies = 0;
    qint64 whileOpen = 0;
    {
        TChatLog log(folder);
        log.Start();
        for (int n = 0; n < count; ++n) {
            TLogRecord record = ChatRecord(n);
            bodies += record.Content.size();
            log.AddLogRecord(std::move(record));
        }
        log.Flush();
        whileOpen = FolderBytes(folder, false);
    }
    const qint64 all = FolderBytes(folder, false);
    const qint64 onDisk = FolderBytes(folder, true);
    const qint64 content = FolderBytes(folder + QStringLiteral("/Content"), false);
    const qint64 database = all - content;
    const qint64 index = TableBytes(folder + QStringLiteral("/chatlog.mdb"), QStringLiteral("LogSearch"));
    const qint64 firstIndex = FirstSchemaIndexBytes(folder);
    std::printf("size of a log of %d chat messages (%.0f bytes of body each on average)\n", count, double(bodies) / count);
    std::printf("  bodies                     : %8.0f KiB (baseline)\n", bodies / 1024.0);
    std::printf("  ChatDB, files' sizes       : %8.0f KiB, %.2fx the bodies (target at most 2x); %.2fx while open (write-ahead log)\n",
                all / 1024.0, double(all) / bodies, double(whileOpen) / bodies);
    std::printf("    database                 : %8.0f KiB, %.2fx the bodies\n", database / 1024.0, double(database) / bodies);
    std::printf("    search index             : %8.0f KiB, %.2fx the bodies; with positions (first schema) %.0f KiB, %.2fx\n",
                index / 1024.0, double(index) / bodies, firstIndex / 1024.0, double(firstIndex) / bodies);
    std::printf("    side files               : %8.0f KiB, %.2fx the bodies\n", content / 1024.0, double(content) / bodies);
    std::printf("  ChatDB on disk (du)        : %8.0f KiB, %.2fx the bodies (a side file takes a whole block)\n",
                onDisk / 1024.0, double(onDisk) / bodies);
    {
        TChatLogStore store(folder);
        if (!store.Open() || !store.CompactDatabase()) std::printf("compaction failed: %s\n", qPrintable(store.LastError()));
    }
    const qint64 compacted = FolderBytes(folder, false);
    std::printf("  ChatDB after compaction    : %8.0f KiB, %.2fx the bodies (search index %.2fx)\n", compacted / 1024.0,
                double(compacted) / bodies, double(TableBytes(folder + QStringLiteral("/chatlog.mdb"), QStringLiteral("LogSearch"))) / bodies);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--first-screen")) return FirstScreen(args[2], args[3]);
    if (args.size() == 3 && args[1] == QLatin1String("--model")) return ModelFirstPage(args[2]);
    const int appends = args.size() > 1 ? args[1].toInt() : 100000;
    const int records = args.size() > 2 ? args[2].toInt() : 1000000;
    const int messages = args.size() > 3 ? args[3].toInt() : 3000;
    // Beside the build tree, not in /tmp (often a small memory file system).
    QTemporaryDir root(QDir::currentPath() + QStringLiteral("/chatlog-bench-XXXXXX"));
    const QString path = root.path() + QLatin1Char('/');
    if (messages > 0) BenchSize(path, messages);
    if (appends > 0) BenchAppends(path, appends);
    if (records > 0) {
        BenchLargeLog(path, records);
        BenchFlatness(path, records);
    }
    return 0;
}
