// What `listen --no-auto-files --accept-files` prints while files arrive, and
// its stop ("stop" on standard input, the first Ctrl+C): over 127.0.0.1, this
// process sender and receiver at once.
#include "cli/CliFileUnit.h"

#include "support/TransferFixture.h"
#include "transfer/FileCodecUnit.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

namespace {

class CliFileReceive : public TTransferFixture {
protected:
    void SetUp() override {
        Settings[bpAutoFileTrans] = false;
        ASSERT_TRUE(StartWith());
        Listen = std::make_unique<TCliFileListen>(Service, TCliFileOptions{false, true},
                                                  [this](const QJsonObject& o, const QString& plain) {
                                                      Printed << o;
                                                      Plain << plain;
                                                  });
    }
    void TearDown() override { Listen.reset(); }

    // The offer goes over the wire as the sender's window sends it; the
    // listener accepts it and the stream must name the handle it chose.
    qint32 Offer(const QList<TSendRow>& rows) {
        EXPECT_TRUE(Client.SendToPeer(QStringLiteral("127.0.0.1"), EncodeFileRequest(Self, 4242, Lang, DescribeRows(rows))));
        EXPECT_TRUE(WaitUntil([&] { return !Log.Handles.isEmpty() && !Log.Replies.isEmpty(); }));
        if (Log.Handles.isEmpty() || Log.Replies.isEmpty()) return 0;
        EXPECT_TRUE(Log.Replies[0].first.Accepted);
        return Log.Handles[0].first.Value;
    }
    QList<TSendRow> Rows(const QStringList& names) const {
        QList<TSendRow> rows;
        for (const QString& name : names) rows.append(TSendRow{Src(name), false, {}});
        return rows;
    }
    QList<QJsonObject> Events(const QString& name) const {
        QList<QJsonObject> found;
        for (const QJsonObject& o : Printed)
            if (o.value(QStringLiteral("event")).toString() == name) found << o;
        return found;
    }

    std::unique_ptr<TCliFileListen> Listen;
    QList<QJsonObject> Printed;
    QStringList Plain;
};

TEST_F(CliFileReceive, PrintsTheOfferAndProgressAgainstItsTotal) {
    MakeFile(QStringLiteral("a.txt"), "alpha");
    MakeFile(QStringLiteral("b.bin"), Bytes(3 * 1024 * 1024, 1));
    const qint64 total = 5 + 3 * 1024 * 1024;
    const QList<TSendRow> rows = Rows({QStringLiteral("a.txt"), QStringLiteral("b.bin")});
    const qint32 own = Offer(rows);
    ASSERT_NE(own, 0);
    const QList<QJsonObject> offers = Events(QStringLiteral("WM_PEER_FILEREQUEST"));
    ASSERT_EQ(offers.size(), 1);
    EXPECT_EQ(offers[0].value(QStringLiteral("OfferedFiles")).toInt(), 2);
    EXPECT_EQ(offers[0].value(QStringLiteral("OfferedBytes")).toInteger(), total);
    EXPECT_EQ(offers[0].value(QStringLiteral("OfferedNames")).toArray(),
              (QJsonArray{QStringLiteral("a.txt"), QStringLiteral("b.bin")}));
    EXPECT_EQ(Listen->Accepted(), 1);

    QElapsedTimer elapsed;
    elapsed.start();
    const TSendResult result = RunSend(Plan(rows, own));
    ASSERT_TRUE(result.AllSent()) << result.Error.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !Events(QStringLiteral("WM_PEER_FILES")).isEmpty(); }));
    const QList<QJsonObject> progress = Events(QStringLiteral("receive-progress"));
    ASSERT_FALSE(progress.isEmpty());
    // About once a second, and always the last.
    EXPECT_LE(progress.size(), 2 + elapsed.elapsed() / TCliFileListen::ProgressPrintMs);
    const QJsonObject& last = progress.last();
    EXPECT_TRUE(last.value(QStringLiteral("Final")).toBool());
    EXPECT_EQ(last.value(QStringLiteral("handle")).toInt(), own);
    EXPECT_EQ(last.value(QStringLiteral("Bytes")).toInteger(), total);
    EXPECT_EQ(last.value(QStringLiteral("TotalBytes")).toInteger(), total);
    EXPECT_EQ(last.value(QStringLiteral("Files")).toInt(), 2);
    EXPECT_EQ(last.value(QStringLiteral("TotalFiles")).toInt(), 2);
    EXPECT_TRUE(Plain.contains(QStringLiteral("receive-progress handle=%1 files=2/2 bytes=%2/%2 file=2 %3/%3 final")
                                   .arg(own)
                                   .arg(total)
                                   .arg(3 * 1024 * 1024)))
        << Plain.join(QLatin1Char('\n')).toStdString();
    // The stream ended: nothing is left to stop.
    EXPECT_EQ(Listen->Accepted(), 0);
    EXPECT_EQ(Service.Handles().Owner(own), nullptr);
}

TEST_F(CliFileReceive, ProgressLinesAreThrottledPerStreamAndTheLastAlwaysGoes) {
    MakeFile(QStringLiteral("a.txt"), "alpha");
    const qint32 own = Offer(Rows({QStringLiteral("a.txt")}));
    ASSERT_NE(own, 0);
    TReceiveProgress p;
    for (int i = 1; i <= 5; ++i) {
        p.Bytes = i;
        emit Service.ReceiveProgress(own, p);
    }
    // Another stream's reports, and a stream this never accepted, are not this one's.
    emit Service.ReceiveProgress(own + 1, p);
    p.Bytes = 9;
    p.Final = true;
    emit Service.ReceiveProgress(own, p);
    const QList<QJsonObject> printed = Events(QStringLiteral("receive-progress"));
    ASSERT_EQ(printed.size(), 2);
    EXPECT_EQ(printed[0].value(QStringLiteral("Bytes")).toInteger(), 1);
    EXPECT_EQ(printed[1].value(QStringLiteral("Bytes")).toInteger(), 9);
    EXPECT_EQ(Plain.filter(QStringLiteral("receive-progress")).value(0),
              QStringLiteral("receive-progress handle=%1 files=0 bytes=1 file=0 0/0").arg(own));
}

TEST_F(CliFileReceive, StopMidwayEndsTheStreamAndTheSenderHearsIt) {
    MakeFile(QStringLiteral("a.txt"), "alpha");
    MakeFile(QStringLiteral("big.bin"), Bytes(24 * 1024 * 1024, 4));
    MakeFile(QStringLiteral("c.txt"), "gamma");
    const QList<TSendRow> rows = Rows({QStringLiteral("a.txt"), QStringLiteral("big.bin"), QStringLiteral("c.txt")});
    const qint32 own = Offer(rows);
    ASSERT_NE(own, 0);
    TSendControl control;
    THoldAtFile hold(control, 1);
    TSendResult result;
    std::atomic<bool> sent{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        result = SendFiles(Plan(rows, own), control, &hold);
        sent = true;
    }));
    thread->start();
    ASSERT_TRUE(WaitUntil([&] { return hold.Held.load() && !Events(QStringLiteral("receive-progress")).isEmpty(); }));
    int done = 0;
    Listen->StopReceiving([&done] { ++done; });
    EXPECT_EQ(done, 0); // not before the stream has ended
    control.SetPaused(false);
    ASSERT_TRUE(WaitUntil([&] { return sent.load(); }, 60000));
    thread->wait();
    EXPECT_TRUE(result.StoppedByRecipient) << result.Error.toStdString();
    EXPECT_EQ(result.Error, QStringLiteral("The recipient stopped the transfer"));
    ASSERT_TRUE(WaitUntil([&] { return done > 0; }));
    EXPECT_EQ(done, 1);
    const QList<QJsonObject> stops = Events(QStringLiteral("receive-stop"));
    ASSERT_EQ(stops.size(), 1);
    EXPECT_EQ(stops[0].value(QStringLiteral("handle")).toInt(), own);
    EXPECT_TRUE(stops[0].value(QStringLiteral("running")).toBool());
    const QList<QJsonObject> ended = Events(QStringLiteral("WM_FILE_TERMINATED"));
    ASSERT_EQ(ended.size(), 1);
    EXPECT_TRUE(ended[0].value(QStringLiteral("StoppedHere")).toBool());
    EXPECT_TRUE(Events(QStringLiteral("WM_PEER_FILES")).isEmpty());
    EXPECT_EQ(Entries(Inbox()), QStringList());
    EXPECT_EQ(Listen->Accepted(), 0);
    EXPECT_EQ(Service.Handles().Owner(own), nullptr);
}

TEST_F(CliFileReceive, StopBeforeTheStreamWithdrawsTheAcceptance) {
    MakeFile(QStringLiteral("a.txt"), "alpha");
    const QList<TSendRow> rows = Rows({QStringLiteral("a.txt")});
    const qint32 own = Offer(rows);
    ASSERT_NE(own, 0);
    int done = 0;
    Listen->StopReceiving([&done] { ++done; });
    // Nothing ran: done at once, and the later stream is refused.
    EXPECT_EQ(done, 1);
    const QList<QJsonObject> stops = Events(QStringLiteral("receive-stop"));
    ASSERT_EQ(stops.size(), 1);
    EXPECT_FALSE(stops[0].value(QStringLiteral("running")).toBool());
    EXPECT_EQ(Listen->Accepted(), 0);
    EXPECT_EQ(Service.AcceptedWaiting(), 0);
    RunSend(Plan(rows, own));
    EXPECT_EQ(Entries(Inbox()), QStringList());
    // A stop with nothing accepted says nothing and is done at once.
    Printed.clear();
    Listen->StopReceiving([&done] { ++done; });
    EXPECT_EQ(done, 2);
    EXPECT_TRUE(Printed.isEmpty());
}

} // namespace
