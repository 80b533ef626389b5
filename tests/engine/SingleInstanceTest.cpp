#include "core/SingleInstanceUnit.h"
#include "core/UtilsUnit.h"
#include "platform/UserStoreUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <memory>

namespace {

// The first copy answers on its own thread, as the running program does from
// its event loop while the second copy waits.
TEST(SingleInstance, SecondClaimAsksTheFirstToShowItself) {
    TTempHome home;
    const QString name = TSingleInstance::ServerNameFor(QStringLiteral("Quillmate Test Class"), Utils::LocalUserName(),
                                                        home.Path());
    QThread thread;
    thread.start();
    QObject context;
    context.moveToThread(&thread);

    std::unique_ptr<TSingleInstance> first;
    std::atomic<int> activations{0};
    bool firstClaimed = false;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            first = std::make_unique<TSingleInstance>(name);
            QObject::connect(first.get(), &TSingleInstance::ActivationRequested, first.get(), [&] { ++activations; },
                             Qt::DirectConnection);
            firstClaimed = first->Claim();
        },
        Qt::BlockingQueuedConnection);
    EXPECT_TRUE(firstClaimed);

    TSingleInstance second(name);
    EXPECT_FALSE(second.Claim());
    // The answer is written before the signal; wait for the first copy's side.
    for (int i = 0; i < 500 && activations == 0; ++i) QThread::msleep(10);
    EXPECT_EQ(activations, 1);

    TSingleInstance third(name);
    EXPECT_FALSE(third.Claim());
    for (int i = 0; i < 500 && activations < 2; ++i) QThread::msleep(10);
    EXPECT_EQ(activations, 2);

    QMetaObject::invokeMethod(&context, [&] { first.reset(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();

    // With the first copy gone the next one becomes the first.
    TSingleInstance next(name);
    EXPECT_TRUE(next.Claim());
}

TEST(SingleInstance, NamesDifferPerProgramFolderAndUser) {
    const QString a = TSingleInstance::ServerNameFor(QStringLiteral("Quillmate Window Class"), QStringLiteral("ann"),
                                                     QStringLiteral("/home/ann/q/"));
    EXPECT_EQ(a, TSingleInstance::ServerNameFor(QStringLiteral("Quillmate Window Class"), QStringLiteral("ann"),
                                                QStringLiteral("/home/ann/q")));
    EXPECT_NE(a, TSingleInstance::ServerNameFor(QStringLiteral("Quillmate Window Class"), QStringLiteral("bob"),
                                                QStringLiteral("/home/ann/q/")));
    EXPECT_NE(a, TSingleInstance::ServerNameFor(QStringLiteral("Quillmate Window Class"), QStringLiteral("ann"),
                                                QStringLiteral("/home/ann/r/")));
    EXPECT_FALSE(a.contains(QLatin1Char(' ')));
    EXPECT_FALSE(a.contains(QLatin1Char('/')));
}

// ------------------------------------------------------ the real program

int FreeLoopbackPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) return 0;
    return server.serverPort();
}

// The desktop program runs in a network namespace of its own, so that nothing
// it may send (the self-check goes to 255.255.255.255) leaves this machine.
// The single-instance socket is a file and works across namespaces.
bool CanIsolateNetwork() {
    static const bool can = [] {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")});
        return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    }();
    return can;
}

class DesktopProgram {
public:
    DesktopProgram() {
        // Whatever the program will send, it may only reach this machine.
        Home.Write(QStringLiteral("Config.ini"), "[Quillmate Settings]\r\nUseUDPIPMulticast=0\r\nListeningPort=" +
                                                     QByteArray::number(FreeLoopbackPort()) + "\r\n");
        TUserStore(Home.File(QStringLiteral(".config/Quillmate/Quillmate.ini")),
                   Home.File(QStringLiteral(".config/autostart/quillmate.desktop")))
            .WriteBroadcastList(QStringLiteral("+127.0.0.1"));
        Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        Env.insert(QStringLiteral("QUILLMATE_HOME"), Home.Path());
    }
    ~DesktopProgram() {
        for (auto& process : Processes) Stop(*process);
        // A killed copy leaves its socket behind.
        QLocalServer::removeServer(TSingleInstance::ServerNameFor(QStringLiteral("Quillmate Window Class"),
                                                                  Utils::LocalUserName(), Home.Path()));
    }
    QProcess& Start() {
        Processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *Processes.back();
        process.setProcessEnvironment(Env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("unshare"),
                      {QStringLiteral("-n"), QStringLiteral("--"), QDir(RuntimeDir()).filePath(QStringLiteral("quillmate"))});
        EXPECT_TRUE(process.waitForStarted(30000));
        return process;
    }
    // The first start writes the identity once it holds the single-instance marker.
    bool WaitForIdentity(QProcess& process) const {
        for (int i = 0; i < 600; ++i) {
            if (Home.Read(QStringLiteral("Config.ini")).contains("QLMId=")) return true;
            if (process.waitForFinished(50)) return false;
        }
        return false;
    }
    // The identity comes first; the groups store and the files folder follow a
    // little later. Wait until the folder has stopped changing.
    bool WaitUntilSettled(QProcess& process) const {
        if (!WaitForIdentity(process)) return false;
        QStringList last;
        QByteArray lastConfig;
        int stableRounds = 0;
        for (int i = 0; i < 600 && stableRounds < 10; ++i) {
            const QStringList now = Entries();
            const QByteArray config = Home.Read(QStringLiteral("Config.ini"));
            const bool complete = now.contains(QStringLiteral("UserGroup.ini"));
            stableRounds = (complete && now == last && config == lastConfig) ? stableRounds + 1 : 0;
            last = now;
            lastConfig = config;
            if (process.waitForFinished(50)) return false;
        }
        return stableRounds >= 10;
    }
    QStringList Entries() const {
        return QDir(Home.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    static void Stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    TTempHome Home;
    QProcessEnvironment Env;
    std::vector<std::unique_ptr<QProcess>> Processes;
};

TEST(SingleInstanceProcess, SecondCopyHandsOverAndExits) {
    if (!CanIsolateNetwork()) GTEST_SKIP() << "needs unshare -n (root) to keep the program off the network";
    DesktopProgram program;
    QProcess& first = program.Start();
    ASSERT_TRUE(program.WaitUntilSettled(first)) << "the first copy did not start";
    const QByteArray config = program.Home.Read(QStringLiteral("Config.ini"));
    const QStringList files = program.Entries();

    QProcess& second = program.Start();
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(program.Home.Read(QStringLiteral("Config.ini")), config);
    EXPECT_EQ(program.Entries(), files);
}

TEST(SingleInstanceProcess, CrashedCopyDoesNotBlockTheNext) {
    if (!CanIsolateNetwork()) GTEST_SKIP() << "needs unshare -n (root) to keep the program off the network";
    DesktopProgram program;
    QProcess& crashed = program.Start();
    ASSERT_TRUE(program.WaitForIdentity(crashed));
    crashed.kill();
    crashed.waitForFinished(10000);

    // Without an identity in Config.ini the next copy shows when it has claimed.
    const QByteArray config = program.Home.Read(QStringLiteral("Config.ini"));
    program.Home.Write(QStringLiteral("Config.ini"), config.left(config.indexOf("QLMId=")));
    QProcess& next = program.Start();
    ASSERT_TRUE(program.WaitForIdentity(next)) << "the copy after the crash did not start";
    // Proof that it became the first copy: another start hands over to it.
    QProcess& probe = program.Start();
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_EQ(next.state(), QProcess::Running);
}

} // namespace
