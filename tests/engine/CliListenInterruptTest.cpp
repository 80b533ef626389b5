// Ctrl+C at a running `quillmate-cli listen --no-auto-files --accept-files`
// while a stream arrives: the real program on 127.0.0.1, this process the sender.
#include "cli/CliFileUnit.h"

#include "support/CliProcess.h"
#include "support/TransferFixture.h"
#include "transfer/FileCodecUnit.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

class CliListenInterrupt : public TTransferFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(CliHome.isValid());
        // The program listens on the port this process's client sends to; this
        // process listens on nothing, its replies go to the program itself.
        for (const auto& [key, value] : {std::pair{QStringLiteral("ListeningPort"), QString::number(Port)},
                                         std::pair{QStringLiteral("ArrivedFilesFolder"), Received()}}) {
            const TCliResult r = RunCliProcess(CliHome.path(), {QStringLiteral("settings"), QStringLiteral("set"), key, value});
            ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUILLMATE_HOME"), CliHome.path());
        env.insert(QStringLiteral("QUILLMATE_NETWORK"), QStringLiteral("loopback"));
        Cli.setProcessEnvironment(env);
        QObject::connect(&Cli, &QProcess::readyReadStandardOutput, [this] { ReadLines(); });
        Cli.start(CliProgram(), {QStringLiteral("--home"), CliHome.path(), QStringLiteral("listen"), QStringLiteral("--json"),
                                 QStringLiteral("--no-auto-files"), QStringLiteral("--accept-files")});
        ASSERT_TRUE(Cli.waitForStarted(10000));
        // Listening once a connection is taken.
        ASSERT_TRUE(WaitUntil(
            [this] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, Port);
                return probe.waitForConnected(200);
            },
            20000));
    }
    void TearDown() override {
        if (Cli.state() != QProcess::NotRunning) {
            Cli.kill();
            Cli.waitForFinished(5000);
        }
        if (Sender) {
            Control.SetPaused(false);
            Sender->wait();
        }
    }

    QString Received() const { return CliHome.path() + QStringLiteral("/rx/"); }
    // Every file under the program's folder for arrived files, partial or not.
    QStringList ReceivedFiles() const {
        QStringList files;
        QDirIterator it(Received(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) files << it.next();
        return files;
    }

    void ReadLines() {
        Output += Cli.readAllStandardOutput();
        for (qsizetype end = Output.indexOf('\n'); end >= 0; end = Output.indexOf('\n')) {
            const QByteArray line = Output.left(end);
            Output.remove(0, end + 1);
            Lines << QString::fromUtf8(line);
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (doc.isObject()) Printed << doc.object();
        }
    }
    QList<QJsonObject> Events(const QString& name) const {
        QList<QJsonObject> found;
        for (const QJsonObject& o : Printed)
            if (o.value(QStringLiteral("event")).toString() == name) found << o;
        return found;
    }
    QString AllLines() const { return Lines.join(QLatin1Char('\n')); }
    void Interrupt() { ASSERT_EQ(::kill(pid_t(Cli.processId()), SIGINT), 0); }
    bool Finished(int timeoutMs) {
        return WaitUntil([this] { return Cli.state() == QProcess::NotRunning; }, timeoutMs);
    }

    // Offers three files, the second large, and streams them once the program
    // answered; the sender holds at the large one's start until resumed.
    qint32 OfferAndStream() {
        MakeFile(QStringLiteral("a.txt"), "alpha");
        MakeFile(QStringLiteral("big.bin"), Bytes(24 * 1024 * 1024, 4));
        MakeFile(QStringLiteral("c.txt"), "gamma");
        QList<TSendRow> rows;
        for (const QString& name : {QStringLiteral("a.txt"), QStringLiteral("big.bin"), QStringLiteral("c.txt")})
            rows.append(TSendRow{Src(name), false, {}});
        EXPECT_TRUE(Client.SendToPeer(QStringLiteral("127.0.0.1"), EncodeFileRequest(Self, 4242, Lang, DescribeRows(rows))));
        EXPECT_TRUE(WaitUntil([this] { return !Events(QStringLiteral("file-answer")).isEmpty(); }, 10000)) << AllLines().toStdString();
        const QList<QJsonObject> answers = Events(QStringLiteral("file-answer"));
        if (answers.isEmpty()) return 0;
        EXPECT_TRUE(answers[0].value(QStringLiteral("accepted")).toBool());
        EXPECT_EQ(answers[0].value(QStringLiteral("SenderHandle")).toInt(), 4242);
        const qint32 own = answers[0].value(QStringLiteral("handle")).toInt();
        Sender.reset(QThread::create([this, plan = Plan(rows, own)] {
            Result = SendFiles(plan, Control, &Hold);
            Sent = true;
        }));
        Sender->start();
        // Inside the stream: the first file arrived and the sender waits.
        EXPECT_TRUE(WaitUntil([this] { return Hold.Held.load() && !Events(QStringLiteral("receive-progress")).isEmpty(); },
                              20000))
            << AllLines().toStdString();
        return own;
    }
    void FinishSending() {
        Control.SetPaused(false);
        EXPECT_TRUE(WaitUntil([this] { return Sent.load(); }, 60000));
        Sender->wait();
        Sender.reset();
    }

    QTemporaryDir CliHome;
    QProcess Cli;
    QByteArray Output;
    QStringList Lines;
    QList<QJsonObject> Printed;
    TSendControl Control;
    THoldAtFile Hold{Control, 1};
    std::unique_ptr<QThread> Sender;
    TSendResult Result;
    std::atomic<bool> Sent{false};
};

TEST_F(CliListenInterrupt, FirstCtrlCStopsTheReceiveAndEndsOnceTheStreamHasEnded) {
    const qint32 own = OfferAndStream();
    ASSERT_NE(own, 0);
    Interrupt();
    ASSERT_TRUE(WaitUntil([this] { return !Events(QStringLiteral("receive-stop")).isEmpty(); })) << AllLines().toStdString();
    const QJsonObject stop = Events(QStringLiteral("receive-stop")).first();
    EXPECT_EQ(stop.value(QStringLiteral("handle")).toInt(), own);
    EXPECT_TRUE(stop.value(QStringLiteral("running")).toBool());
    // The program waits for the stream to end, not for its own deadline.
    QElapsedTimer sinceResume;
    sinceResume.start();
    FinishSending();
    EXPECT_TRUE(Result.StoppedByRecipient) << Result.Error.toStdString();
    EXPECT_EQ(Result.Error, QStringLiteral("The recipient stopped the transfer"));
    ASSERT_TRUE(Finished(TCliFileListen::StopWaitMs)) << AllLines().toStdString();
    EXPECT_LT(sinceResume.elapsed(), TCliFileListen::StopWaitMs / 2);
    ReadLines();
    EXPECT_EQ(Cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Cli.exitCode(), 0);
    const QList<QJsonObject> ended = Events(QStringLiteral("WM_FILE_TERMINATED"));
    ASSERT_EQ(ended.size(), 1) << AllLines().toStdString();
    EXPECT_TRUE(ended[0].value(QStringLiteral("StoppedHere")).toBool());
    EXPECT_TRUE(Events(QStringLiteral("WM_PEER_FILES")).isEmpty());
    EXPECT_EQ(Events(QStringLiteral("stopped")).size(), 1) << AllLines().toStdString();
    EXPECT_EQ(ReceivedFiles(), QStringList()) << ReceivedFiles().join(QLatin1Char(' ')).toStdString();
}

TEST_F(CliListenInterrupt, SecondCtrlCQuitsAtOnce) {
    const qint32 own = OfferAndStream();
    ASSERT_NE(own, 0);
    Interrupt();
    ASSERT_TRUE(WaitUntil([this] { return !Events(QStringLiteral("receive-stop")).isEmpty(); })) << AllLines().toStdString();
    // The sender still holds: only the second signal can end the program now.
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    Interrupt();
    ASSERT_TRUE(Finished(TCliFileListen::StopWaitMs * 2)) << AllLines().toStdString();
    EXPECT_LT(sinceSecond.elapsed(), TCliFileListen::StopWaitMs / 2);
    ReadLines();
    // The receiver may end the held stream by itself; a second signal that
    // meets the program already on its way out ends it by that signal.
    const bool endedAlready = !Events(QStringLiteral("WM_FILE_TERMINATED")).isEmpty();
    if (Cli.exitStatus() == QProcess::CrashExit && endedAlready) {
        EXPECT_EQ(Cli.exitCode(), SIGINT);
    } else {
        EXPECT_EQ(Cli.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(Cli.exitCode(), 0);
        EXPECT_EQ(Events(QStringLiteral("stopped")).size(), 1) << AllLines().toStdString();
    }
    EXPECT_TRUE(Events(QStringLiteral("WM_PEER_FILES")).isEmpty());
    FinishSending();
    EXPECT_FALSE(Result.AllSent());
    // Quitting at once may keep files that had arrived whole, never a piece of one.
    for (const QString& file : ReceivedFiles()) {
        EXPECT_EQ(ReadAll(file), ReadAll(Src(QFileInfo(file).fileName()))) << file.toStdString();
    }
}

} // namespace
