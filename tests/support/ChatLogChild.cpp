// The writer of the chat-log crash tests, run as a child process that the
// test kills with SIGKILL:
//   chatlog_child FOLDER burst FIRST            store records FIRST, FIRST+1, ... until killed
//   chatlog_child FOLDER step FIRST STEP COUNT  the same, but stop at the COUNT-th STEP of a store
//   chatlog_child FOLDER compact STEP           compact the log, stopping at STEP
//   chatlog_child FOLDER delete STEP            delete every broadcast, stopping at STEP
//   chatlog_child FOLDER open STEP              open the log (a first-schema log is rebuilt), stopping at STEP
// Prints "stored SEQ ID" for each record committed and "at STEP" when it stops.
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogThreadUnit.h"
#include "support/ChatLogBurst.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

[[noreturn]] void StopHere(const char* step) {
    std::printf("at %s\n", step);
    std::fflush(stdout);
    for (;;) QThread::sleep(60); // until the test kills this process
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode = argv[2];

    if (mode == "compact" || mode == "delete" || mode == "open") {
        const QByteArray stopAt = argv[3];
        TChatLogStore store(folder);
        store.SetStepProbe([&](const char* step) {
            if (stopAt == step) StopHere(step);
        });
        if (!store.Open()) return 1;
        if (mode == "open") return 0;
        if (mode == "delete") return store.DeleteLogCategory(TLogFilter::All(ltBroadcast)) ? 0 : 1;
        return store.CompactDatabase() ? 0 : 1;
    }

    const qint64 first = QByteArray(argv[3]).toLongLong();
    TChatLogThread::TOptions options;
    if (mode == "step") {
        if (argc < 6) return 2;
        const QByteArray stopAt = argv[4];
        const int count = std::atoi(argv[5]);
        auto seen = std::make_shared<std::atomic<int>>(0);
        options.StepProbe = [stopAt, count, seen](const char* step) {
            if (stopAt == step && ++*seen == count) StopHere(step);
        };
    }
    TChatLogThread::THooks hooks;
    hooks.Appended = [](const QList<TLogRecord>& records, const QList<qint64>& ids) {
        for (qsizetype i = 0; i < records.size(); ++i)
            std::printf("stored %lld %lld\n", ChatLogBurst::SeqOf(records[i].Nick), ids.value(i));
        std::fflush(stdout);
    };
    hooks.Failed = [](const TLogRecord& record, const QString& error) {
        std::fprintf(stderr, "failed %s: %s\n", qPrintable(record.Nick), qPrintable(error));
    };
    TChatLogThread writer(folder, options, hooks);
    writer.OpenNow();
    for (qint64 seq = first;; ++seq) {
        while (writer.Pending() > 500) QThread::msleep(1);
        writer.Add(ChatLogBurst::RecordOf(seq));
    }
}
