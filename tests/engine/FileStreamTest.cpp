#include "support/CaseName.h"
#include "support/TransferFixture.h"
#include "text/MsgLangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/FileCodecUnit.h"

#include <gtest/gtest.h>

#include "platform/SocketOptionsUnit.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <ostream>

namespace {

class FileStream : public TTransferFixture {
protected:
    const TFilesArrival& WaitArrival(int count = 1) {
        EXPECT_TRUE(WaitUntil([&] { return Log.Arrivals.size() >= count; }, 20000));
        static const TFilesArrival none;
        return Log.Arrivals.size() >= count ? Log.Arrivals[count - 1].first : none;
    }
    // A raw "QLM_FILE" request, written as a hostile or broken peer would.
    static QByteArray Header() { return "QLM_FILE\t2\t1033\tMe\tMYPC\t0\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\r\n"; }
    static QByteArray Block(const QByteArray& data) {
        QByteArray length(4, Qt::Uninitialized);
        qToBigEndian<qint32>(qint32(data.size()), length.data());
        return "SENDINGFILE_START\r\n" + length + data;
    }
    void WriteRaw(const QByteArray& bytes, bool close = true) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port);
        ASSERT_TRUE(socket.waitForConnected(3000));
        socket.write(bytes);
        while (socket.bytesToWrite() > 0) ASSERT_TRUE(socket.waitForBytesWritten(3000));
        if (close) socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(3000);
    }
};

// Stops or aborts from inside the sending thread, at a given point.
class TTrigger : public TSendObserver {
public:
    std::function<void(int index, qint64 done)> OnProgress;
    std::function<void(int index)> OnBegin;
    QList<int> Begun;
    void FileBegin(int index, qint64) override {
        Begun << index;
        if (OnBegin) OnBegin(index);
    }
    void Progress(int index, qint64 done) override {
        if (OnProgress) OnProgress(index, done);
    }
    void FileDone(int, const TFileOutcome&) override {}
};

TEST_F(FileStream, ThreeFilesArriveWholeAndRepeatsAreNumbered) {
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("empty.txt"), {});
    MakeFile(QStringLiteral("report.doc"), Bytes(3 * 32768 + 17, 1));
    MakeFile(QStringLiteral("Makefile"), Bytes(1000, 2));
    const TSendPlan plan = Plan(QStringList{Src("empty.txt"), Src("report.doc"), Src("Makefile")});
    for (int round = 0; round < 3; ++round) {
        const TSendResult result = RunSend(plan);
        EXPECT_TRUE(result.AllSent()) << result.Error.toStdString();
        WaitArrival(round + 1);
    }
    ASSERT_EQ(Log.Arrivals.size(), 3);
    const TFilesArrival& first = Log.Arrivals[0].first;
    EXPECT_TRUE(first.Complete);
    EXPECT_EQ(first.ReceivedNames, (QStringList{"empty.txt", "report.doc", "Makefile"}));
    EXPECT_EQ(first.Data.Body, "empty.txt\r\nreport.doc\r\nMakefile\r\n");
    EXPECT_EQ(first.Data.IPAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(first.Data.NickName, QStringLiteral("Me"));
    EXPECT_GT(first.Data.ReceivedTime, 40000.0);
    EXPECT_EQ(first.LogLines, (QStringList{"<File>empty.txt", "<File>report.doc", "<File>Makefile"}));
    EXPECT_EQ(Log.Arrivals[2].first.ReceivedNames, (QStringList{"empty(2).txt", "report(2).doc", "(2)Makefile"}));
    for (const QString& name : {QStringLiteral("report.doc"), QStringLiteral("report(1).doc"), QStringLiteral("report(2).doc")})
        EXPECT_EQ(ReadAll(Inbox() + name), ReadAll(Src("report.doc"))) << name.toStdString();
    EXPECT_EQ(ReadAll(Inbox() + "(1)Makefile"), ReadAll(Src("Makefile")));
    EXPECT_EQ(ReadAll(Inbox() + "empty(1).txt"), QByteArray());
}

TEST_F(FileStream, AnUnreadableSecondFileIsSkippedAndNamed) {
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("one.txt"), "1");
    MakeFile(QStringLiteral("three.txt"), "3");
    const TSendResult result = RunSend(Plan(QStringList{Src("one.txt"), Src("missing.txt"), Src("three.txt")}));
    EXPECT_TRUE(result.Success());
    EXPECT_FALSE(result.AllSent());
    ASSERT_EQ(result.Files.size(), 3);
    EXPECT_EQ(result.Files[1].Kind, TFileOutcomeKind::ReadError);
    EXPECT_FALSE(result.Files[1].Detail.isEmpty());
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_EQ(arrival.ReceivedNames, (QStringList{"one.txt", "three.txt"}));
    EXPECT_FALSE(arrival.Complete);
    ASSERT_EQ(arrival.Failed.size(), 1);
    EXPECT_EQ(arrival.Failed[0].Name, QStringLiteral("missing.txt"));
}

TEST_F(FileStream, StopDuringTheSecondOfThreeDeletesWhatArrived) {
    ASSERT_TRUE(StartWith());
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) MakeFile(QString::fromLatin1(name), Bytes(200000, 3));
    TSendControl control;
    TTrigger trigger;
    trigger.OnBegin = [&](int index) {
        if (index == 1) control.Stop();
    };
    const TSendResult result = RunSend(Plan(QStringList{Src("a.bin"), Src("b.bin"), Src("c.bin")}), control, &trigger);
    EXPECT_TRUE(result.Canceled);
    EXPECT_FALSE(result.Success());
    // The current file is finished; the stop takes effect before the next.
    EXPECT_EQ(trigger.Begun, (QList<int>{0, 1}));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Terminations.isEmpty(); }));
    EXPECT_TRUE(Log.Arrivals.isEmpty());
    EXPECT_TRUE(Entries(Inbox()).isEmpty());
}

TEST_F(FileStream, APausedStreamWritesNothingUntilResumed) {
    // The receiver waits longer than the pause lasts.
    Service.RefreshListenerSettings();
    TCommServer::TOptions options = LoopbackOptions();
    options.StallTimeoutMs = 20000;
    ASSERT_TRUE(Server->StartListening(options));
    MakeFile(QStringLiteral("a.bin"), Bytes(5 * 1024 * 1024, 8));
    TSendControl control;
    control.SetPaused(true);
    std::atomic<int> begun{0};
    std::atomic<qint64> progressed{0};
    TTrigger trigger;
    trigger.OnBegin = [&](int) { ++begun; };
    trigger.OnProgress = [&](int, qint64 done) { progressed = done; };
    TSendResult result;
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        result = SendFiles(Plan(QStringList{Src("a.bin")}), control, &trigger);
        done = true;
    }));
    thread->start();
    ASSERT_TRUE(WaitUntil([&] { return begun.load() == 1; }));
    WaitUntil([&] { return done.load(); }, 200);
    EXPECT_FALSE(done.load());
    EXPECT_EQ(progressed.load(), 0);
    control.SetPaused(false);
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }, 20000));
    thread->wait();
    EXPECT_TRUE(result.AllSent());
    EXPECT_EQ(progressed.load(), 5 * 1024 * 1024);
    EXPECT_EQ(WaitArrival().ReceivedNames, QStringList{QStringLiteral("a.bin")});
}

TEST_F(FileStream, AbortInsideAFileDropsTheConnectionAndTheHalfFile) {
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("first.txt"), "done before");
    MakeFile(QStringLiteral("big.bin"), Bytes(30 * 1024 * 1024, 4));
    TSendControl control;
    TTrigger trigger;
    // Once its block has begun: the stream is then cut inside the file, whatever
    // the speed (a progress report may come only at its end).
    trigger.OnBegin = [&](int index) {
        if (index == 1) control.Abort();
    };
    const TSendResult result = RunSend(Plan(QStringList{Src("first.txt"), Src("big.bin")}), control, &trigger);
    EXPECT_TRUE(result.Aborted);
    EXPECT_FALSE(result.Success());
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_FALSE(arrival.Complete);
    EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("first.txt")});
    ASSERT_EQ(arrival.Failed.size(), 1);
    EXPECT_EQ(arrival.Failed[0].Name, QStringLiteral("big.bin"));
    EXPECT_EQ(Entries(Inbox()), QStringList{QStringLiteral("first.txt")});
}

TEST_F(FileStream, AFolderArchiveArrivesUnpackedInANumberedFolder) {
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("Project/src/main.cpp"), "int main() {}\n");
    QDir().mkpath(Src("Project/empty"));
    ASSERT_TRUE(PackFolder(Src("Project"), Src("Project.zip"), 1, {}).Ok);
    MakeFile(QStringLiteral("notes.txt"), "n");
    QDir().mkpath(Inbox() + "Project"); // already there: the next number is taken
    const TSendPlan plan = Plan({{Src("Project.zip"), true, Src("Project")}, {Src("notes.txt"), false, {}}});
    ASSERT_TRUE(RunSend(plan).AllSent());
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_TRUE(arrival.Complete);
    EXPECT_EQ(arrival.ReceivedNames, (QStringList{"Project(1)", "notes.txt"}));
    EXPECT_EQ(arrival.Data.Body, "\tProject(1)\r\nnotes.txt\r\n");
    EXPECT_EQ(arrival.LogLines, (QStringList{"<Folder>Project(1)", "<File>notes.txt"}));
    EXPECT_EQ(ReadAll(Inbox() + "Project(1)/src/main.cpp"), "int main() {}\n");
    EXPECT_TRUE(QFileInfo(Inbox() + "Project(1)/empty").isDir());
    EXPECT_FALSE(QFileInfo::exists(Inbox() + "Project.zip"));
}

TEST_F(FileStream, AFileTooLargeForABlockIsAnnouncedUnreadableAndTheRestGoes) {
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("after.txt"), "after");
    QFile huge(Src("huge.iso"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(MaxStreamFileSize + 1)); // sparse: no disk used
    huge.close();
    EXPECT_FALSE(TTransferService::CheckSendable(Src("huge.iso")).isEmpty());
    EXPECT_TRUE(TTransferService::CheckSendable(Src("huge.iso")).contains(QStringLiteral("huge.iso")));
    EXPECT_TRUE(TTransferService::CheckSendable(Src("after.txt")).isEmpty());
    const TSendResult result = RunSend(Plan(QStringList{Src("huge.iso"), Src("after.txt")}));
    ASSERT_EQ(result.Files.size(), 2);
    EXPECT_EQ(result.Files[0].Kind, TFileOutcomeKind::TooLarge);
    EXPECT_EQ(result.Files[1].Kind, TFileOutcomeKind::Sent);
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("after.txt")});
    EXPECT_EQ(ReadAll(Inbox() + "after.txt"), "after");
}

TEST_F(FileStream, DiskFullBeforeAFileStopsReceivingAndSaysSo) {
    ASSERT_TRUE(StartWith());
    // Room for the small file only, beside the reserve.
    SetFreeBytes([](const QString&) { return TDiskGuard::DefaultReserve + 50000; });
    MakeFile(QStringLiteral("small.txt"), "s");
    // Larger than the socket buffers, so the sender sees the receiver stop.
    MakeFile(QStringLiteral("large.bin"), Bytes(32 * 1024 * 1024, 5));
    MakeFile(QStringLiteral("later.txt"), "l");
    const TSendResult result = RunSend(Plan(QStringList{Src("small.txt"), Src("large.bin"), Src("later.txt")}));
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("small.txt")});
    ASSERT_EQ(arrival.Failed.size(), 1);
    EXPECT_EQ(arrival.Failed[0].Name, QStringLiteral("large.bin"));
    EXPECT_EQ(arrival.Failed[0].Reason, ReceiveReason::DiskFull());
    EXPECT_EQ(Entries(Inbox()), QStringList{QStringLiteral("small.txt")});
    // The sender learns that the rest did not go.
    EXPECT_FALSE(result.AllSent());
    EXPECT_EQ(result.Files[1].Kind, TFileOutcomeKind::Broken);
    EXPECT_EQ(result.Files[2].Kind, TFileOutcomeKind::NotSent);
}

TEST_F(FileStream, DiskFillingUpInsideAFileDeletesTheHalfFile) {
    ASSERT_TRUE(StartWith());
    std::atomic<int> asked{0};
    // Plenty at the start of the file, then (someone else filled the disk) nothing.
    SetFreeBytes([&](const QString&) { return ++asked <= 1 ? qint64(1) << 40 : TDiskGuard::DefaultReserve; });
    MakeFile(QStringLiteral("big.bin"), Bytes(40 * 1024 * 1024, 6));
    RunSend(Plan(QStringList{Src("big.bin")}));
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_TRUE(arrival.ReceivedNames.isEmpty());
    ASSERT_EQ(arrival.Failed.size(), 1);
    EXPECT_EQ(arrival.Failed[0].Reason, ReceiveReason::DiskFull());
    EXPECT_TRUE(Entries(Inbox()).isEmpty());
    EXPECT_GT(asked.load(), 1);
}

TEST_F(FileStream, AConnectionDroppedInsideAFileLeavesNoHalfFile) {
    ASSERT_TRUE(StartWith());
    QByteArray block = Block(QByteArray(100000, 'x'));
    block.truncate(5000);
    WriteRaw(Header() + "kept.txt\r\n" + Block("whole") + "half.bin\r\n" + block);
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_FALSE(arrival.Complete);
    EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("kept.txt")});
    ASSERT_EQ(arrival.Failed.size(), 1);
    EXPECT_EQ(arrival.Failed[0].Name, QStringLiteral("half.bin"));
    EXPECT_EQ(arrival.Failed[0].Reason, ReceiveReason::Broken());
    EXPECT_EQ(Entries(Inbox()), QStringList{QStringLiteral("kept.txt")});
}

TEST_F(FileStream, ACancelMarkerWithNothingStoredIsStillReported) {
    ASSERT_TRUE(StartWith());
    WriteRaw(Header() + "SENDINGFILE_CANCELED\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !Log.Terminations.isEmpty(); }));
    EXPECT_TRUE(Log.Arrivals.isEmpty());
}

TEST_F(FileStream, ThePeerVanishingInsideAFileEndsTheSendTruthfully) {
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    qint64 taken = 0;
    QObject::connect(&peer, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = peer.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [&, s] {
            taken += s->readAll().size();
            if (taken > 1024 * 1024) s->abort();
        });
    });
    MakeFile(QStringLiteral("big.bin"), Bytes(50 * 1024 * 1024, 7));
    MakeFile(QStringLiteral("next.txt"), "n");
    TSendPlan plan = Plan(QStringList{Src("big.bin"), Src("next.txt")});
    plan.Port = peer.serverPort();
    const TSendResult result = RunSend(plan);
    EXPECT_TRUE(result.Connected);
    EXPECT_FALSE(result.Success());
    EXPECT_FALSE(result.Error.isEmpty());
    ASSERT_EQ(result.Files.size(), 2);
    EXPECT_EQ(result.Files[0].Kind, TFileOutcomeKind::Broken);
    EXPECT_EQ(result.Files[1].Kind, TFileOutcomeKind::NotSent);
}

// Small files fit the socket buffers whole: only the receiver's close after
// the end marker says they were taken. A reset then means they were not.
TEST_F(FileStream, SmallFilesResetAtTheEndAreNotCountedSent) {
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&peer, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = peer.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
            if (!s->peek(s->bytesAvailable()).endsWith("SENDINGFILE_END\r\n")) return;
            // All of it came, none of it is taken: as a receiver that gave up.
            Platform::ResetOnClose(s->socketDescriptor());
            s->abort();
        });
    });
    MakeFile(QStringLiteral("a.txt"), "a");
    MakeFile(QStringLiteral("b.txt"), "b");
    TSendPlan plan = Plan(QStringList{Src("a.txt"), Src("b.txt")});
    plan.Port = peer.serverPort();
    const TSendResult result = RunSend(plan);
    EXPECT_TRUE(result.Connected);
    EXPECT_FALSE(result.Success());
    EXPECT_FALSE(result.Error.isEmpty());
    EXPECT_EQ(result.SentCount(), 0);
}

TEST_F(FileStream, NobodyListeningIsAnErrorNotAHang) {
    TSendPlan plan = Plan(QStringList{Src("x")});
    plan.Port = FreePort();
    const TSendResult result = RunSend(plan);
    EXPECT_FALSE(result.Connected);
    EXPECT_FALSE(result.Error.isEmpty());
}

// Names Windows peers send routinely: a leading "~", and names longer than
// a file system takes, which are shortened (extension kept) and numbered.
TEST_F(FileStream, TildeAndOverlongNamesArriveShortenedNotRefused) {
    ASSERT_TRUE(StartWith());
    const QByteArray longName = QByteArray(300, 'n') + ".xlsx";
    WriteRaw(Header() + "~$Budget.xlsx\r\n" + Block("owner") + "~WRL0001.tmp\r\n" + Block("tmp") + longName + "\r\n" +
             Block("one") + longName + "\r\n" + Block("two") + "..\r\n" + Block("evil") + "a/b\r\n" + Block("evil") +
             "SENDINGFILE_END\r\n");
    const TFilesArrival& arrival = WaitArrival();
    const QString cut = QString(250, QLatin1Char('n')) + QStringLiteral(".xlsx");
    const QString cutNumbered = QString(247, QLatin1Char('n')) + QStringLiteral("(1).xlsx");
    EXPECT_EQ(arrival.ReceivedNames, (QStringList{QStringLiteral("~$Budget.xlsx"), QStringLiteral("~WRL0001.tmp"), cut, cutNumbered}));
    ASSERT_EQ(arrival.Failed.size(), 2);
    EXPECT_EQ(arrival.Failed[0].Name, QStringLiteral(".."));
    EXPECT_EQ(arrival.Failed[1].Name, QStringLiteral("a/b"));
    EXPECT_EQ(ReadAll(Inbox() + "~$Budget.xlsx"), "owner");
    EXPECT_EQ(ReadAll(Inbox() + cut), "one");
    EXPECT_EQ(ReadAll(Inbox() + cutNumbered), "two");
}

// ---- Hostile names: refused, their blocks consumed, the stream stays in step ----

struct THostileName {
    std::string Name;
    QByteArray Line;
};
void PrintTo(const THostileName& c, std::ostream* os) { *os << c.Name; }

class HostileStream : public FileStream, public ::testing::WithParamInterface<THostileName> {};

TEST_P(HostileStream, IsRefusedAndTheNextFileStillArrives) {
    ASSERT_TRUE(StartWith());
    const QString probe = QStringLiteral("/tmp/qlm-hostile-probe.txt");
    QFile::remove(probe);
    WriteRaw(Header() + GetParam().Line + "\r\n" + Block("evil") + "ok.txt\r\n" + Block("fine") + "SENDINGFILE_END\r\n");
    const TFilesArrival& arrival = WaitArrival();
    EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("ok.txt")});
    ASSERT_EQ(arrival.Failed.size(), 1);
    EXPECT_EQ(arrival.Failed[0].Reason, ReceiveReason::Refused());
    EXPECT_EQ(Entries(Inbox()), QStringList{QStringLiteral("ok.txt")});
    EXPECT_EQ(Entries(Home.Path() + "Files"), QStringList{QStringLiteral("From_Me(MYPC)")});
    EXPECT_FALSE(QFileInfo::exists(probe));
    EXPECT_FALSE(QFileInfo::exists(Home.Path() + "escape.txt"));
    EXPECT_FALSE(QFileInfo::exists(Home.Path() + "Files/escape.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileStream,
    ::testing::Values(THostileName{"ParentFolder", "../escape.txt"}, THostileName{"TwoUp", "../../escape.txt"},
                      THostileName{"DotDot", ".."}, THostileName{"Absolute", "/tmp/qlm-hostile-probe.txt"},
                      THostileName{"Backslashes", "..\\..\\escape.txt"}, THostileName{"Tilde", "~/escape.txt"},
                      THostileName{"Drive", "C:escape.txt"}, THostileName{"Control", "esc\x01ape.txt"},
                      THostileName{"Empty", ""}, THostileName{"ArchiveParent", "\t../escape.zip"},
                      THostileName{"ArchiveEmpty", "\t"}),
    TCaseName());

} // namespace
