// Console messages against fake name servers and session peers on 127.0.0.1:
// what an honest peer receives, and that every misbehaving one ends in that
// recipient's error, in time, without a hang.
#include "console/ConsoleServiceUnit.h"
#include "support/CaseName.h"
#include "support/ConsoleFakePeer.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace ConsoleWire;
using namespace ConsoleFake;

namespace {

TConsoleLimits ShortLimits() {
    TConsoleLimits limits;
    limits.ConnectMs = 1000;
    limits.ReplyMs = 400;
    limits.QueryMs = 400;
    limits.SettleMs = 50;
    return limits;
}

// Runs one job to the end and returns its results.
QList<TConsoleRecipientResult> RunJob(TConsoleService& service, const TConsoleJobRequest& request) {
    TConsoleJob* job = service.StartSend(request);
    QSignalSpy finished(job, &TConsoleJob::JobFinished);
    EXPECT_TRUE(finished.wait(15000));
    if (finished.isEmpty()) return {};
    return finished.first().first().value<QList<TConsoleRecipientResult>>();
}

class ConsoleSend : public ::testing::Test {
protected:
    TLoopbackOnly FLoopback;
    TConsoleService FService{1033, QStringLiteral("SENDERPC")};

    void Use(quint16 sessionPort, QList<QHostAddress> queryTargets = {}, quint16 namePort = 0) {
        TConsoleNetwork network;
        network.SessionPort = sessionPort;
        network.NamePort = namePort;
        network.QueryTargets = queryTargets;
        FService.SetNetwork(network);
        FService.SetLimits(ShortLimits());
    }
};

} // namespace

TEST_F(ConsoleSend, HonestPeerGetsTheTextInOneOrSeveralBlocks) {
    QByteArray text, from;
    bool negotiated = false;
    TFakePeer peer([&](quint8 type, const QByteArray& body) { return Honest(type, body, &text, &from, &negotiated); });
    Use(peer.Port());
    struct {
        QString Text;
        QByteArray Wire;
    } cases[] = {
        {QStringLiteral("hi"), "hi"},
        {QString(127, QLatin1Char('a')), QByteArray(127, 'a')},   // the longest single block
        {QString(128, QLatin1Char('b')), QByteArray(128, 'b')},   // the shortest start/text/end
        {QString(885, QLatin1Char('c')), QByteArray(885, 'c')},   // the longest message
        {QStringLiteral("a\nb"), "a\r\nb"},
    };
    for (const auto& c : cases) {
        text.clear();
        const auto results = RunJob(FService, {{QStringLiteral("127.0.0.1")}, QStringLiteral("Ann"), c.Text});
        ASSERT_EQ(results.size(), 1);
        EXPECT_TRUE(results[0].Outcome.Sent()) << results[0].Outcome.Reason.toStdString();
        EXPECT_TRUE(results[0].ErrorText.isEmpty());
        EXPECT_EQ(text, c.Wire);
        EXPECT_EQ(from, QByteArray("Ann"));
    }
    // No sender given: this computer's name goes.
    RunJob(FService, {{QStringLiteral("127.0.0.1")}, QString(), QStringLiteral("x")});
    EXPECT_EQ(from, QByteArray("SENDERPC"));
}

struct TPeerCase {
    std::string Name;
    TPeerScript Script;
    TConsoleResult Result;
};
void PrintTo(const TPeerCase& c, std::ostream* os) { *os << c.Name; }
class ConsoleBadPeer : public ::testing::TestWithParam<TPeerCase> {};

// After the session: answer SMB commands with reply(command).
TPeerScript AfterSession(std::function<TPeerAnswer(quint8 command)> reply) {
    return [reply](quint8 type, const QByteArray& body) -> TPeerAnswer {
        if (type == stRequest) return {QByteArray::fromHex("82000000")};
        const quint8 command = quint8(body[4]);
        if (command == scNegotiate) return {WrapSessionMessage(SmbReply(command, 0, {0}))};
        return reply(command);
    };
}

TEST_P(ConsoleBadPeer, EndsInThatRecipientsError) {
    TLoopbackOnly loopback;
    TConsoleService service(1033, QStringLiteral("SENDERPC"));
    TFakePeer peer(GetParam().Script);
    TConsoleNetwork network;
    network.SessionPort = peer.Port();
    service.SetNetwork(network);
    service.SetLimits(ShortLimits());
    // A long text, so that each case meets the start/text/end exchange too.
    for (const QString& text : {QStringLiteral("short"), QString(300, QLatin1Char('x'))}) {
        const auto results = RunJob(service, {{QStringLiteral("127.0.0.1")}, QStringLiteral("Ann"), text});
        ASSERT_EQ(results.size(), 1);
        EXPECT_EQ(results[0].Outcome.Result, GetParam().Result) << results[0].Outcome.Reason.toStdString();
        EXPECT_FALSE(results[0].ErrorText.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleBadPeer,
    ::testing::Values(
        TPeerCase{"SessionRefusedCalledNameNotPresent",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("8300000182"), true}; },
                  TConsoleResult::NameNotFound},
        TPeerCase{"SessionRefusedCallingName",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("8300000181"), true}; },
                  TConsoleResult::NotSupported},
        TPeerCase{"SessionRefusalWithoutItsCode",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("83000000"), true}; },
                  TConsoleResult::Other},
        TPeerCase{"RetargetIsNotFollowed",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("840000060a4d00010089")}; },
                  TConsoleResult::Other},
        TPeerCase{"SilentAfterConnect", [](quint8, const QByteArray&) { return TPeerAnswer{}; },
                  TConsoleResult::NetworkFailure},
        TPeerCase{"ClosesAtOnce", [](quint8, const QByteArray&) { return TPeerAnswer{{}, true}; }, TConsoleResult::Other},
        TPeerCase{"HugeLengthIsNotRead",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("0001ffff") + QByteArray(4096, 'z')}; },
                  TConsoleResult::Other},
        TPeerCase{"KeepAlivesForEver",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("85000000").repeated(64)}; },
                  TConsoleResult::Other},
        TPeerCase{"GarbageHeader",
                  [](quint8, const QByteArray&) { return TPeerAnswer{QByteArray::fromHex("82fe0000")}; },
                  TConsoleResult::Other},
        TPeerCase{"SmbErrorMessagesOff",
                  AfterSession([](quint8 c) { return TPeerAnswer{WrapSessionMessage(SmbReply(c, 0x020052))}; }),
                  TConsoleResult::NotSupported},
        TPeerCase{"SmbAccessDenied",
                  AfterSession([](quint8 c) { return TPeerAnswer{WrapSessionMessage(SmbReply(c, 0x010005))}; }),
                  TConsoleResult::AccessDenied},
        TPeerCase{"SmbOtherError",
                  AfterSession([](quint8 c) { return TPeerAnswer{WrapSessionMessage(SmbReply(c, 0x030013))}; }),
                  TConsoleResult::Other},
        TPeerCase{"SmbReplyToAnotherCommand",
                  AfterSession([](quint8) { return TPeerAnswer{WrapSessionMessage(SmbReply(0x2E, 0))}; }),
                  TConsoleResult::Other},
        TPeerCase{"SmbReplyTruncatedThenClosed",
                  AfterSession([](quint8 c) { return TPeerAnswer{WrapSessionMessage(SmbReply(c, 0)).left(20), true}; }),
                  TConsoleResult::Other},
        TPeerCase{"SmbReplyCutShortInside",
                  AfterSession([](quint8 c) { return TPeerAnswer{WrapSessionMessage(SmbReply(c, 0).left(30))}; }),
                  TConsoleResult::Other},
        TPeerCase{"SmbSilent", AfterSession([](quint8) { return TPeerAnswer{}; }), TConsoleResult::NetworkFailure}),
    TCaseName());

TEST_F(ConsoleSend, NoListenerIsARefusalAndNothingIsSentForBadNames) {
    const quint16 closed = FreePort();
    Use(closed);
    const auto results = RunJob(FService, {{QStringLiteral("127.0.0.1"), QStringLiteral("ABCDEFGHIJKLMNOP"),
                                         QString(64, QLatin1Char('n'))},
                                        QString(), QStringLiteral("x")});
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].Outcome.Result, TConsoleResult::NotSupported);
    EXPECT_EQ(results[0].ErrorText, QStringLiteral("This network request is not supported."));
    EXPECT_EQ(results[1].Outcome.Result, TConsoleResult::NameTooLong);
    EXPECT_TRUE(results[1].ErrorText.contains(QStringLiteral("ABCDEFGHIJKLMNOP")));
    EXPECT_EQ(results[2].Outcome.Result, TConsoleResult::InvalidParameter);
    EXPECT_EQ(results[2].ErrorText, QStringLiteral("The specified parameter is invalid."));
}

TEST_F(ConsoleSend, NameQueryAnswersDecideWhereTheSessionGoes) {
    QByteArray text, from;
    TFakePeer peer([&](quint8 type, const QByteArray& body) { return Honest(type, body, &text, &from); });
    const QByteArray loopback = QByteArray::fromHex("7f000001");
    struct {
        const char* Name;
        TFakeNameServer::TAnswers Answers;
        TConsoleResult Result;
    } cases[] = {
        {"positive", [&](quint16 id, const QByteArray&) { return QList<QByteArray>{Answer(id, {loopback})}; },
         TConsoleResult::Sent},
        {"the same host twice", [&](quint16 id, const QByteArray&) { return QList<QByteArray>{Answer(id, {loopback}), Answer(id, {loopback})}; },
         TConsoleResult::Sent},
        {"negative", [](quint16 id, const QByteArray&) { return QList<QByteArray>{Answer(id, {}, true)}; },
         TConsoleResult::NameNotFound},
        {"silence", [](quint16, const QByteArray&) { return QList<QByteArray>{}; }, TConsoleResult::NameNotFound},
        {"another transaction", [&](quint16 id, const QByteArray&) { return QList<QByteArray>{Answer(id + 1, {loopback})}; },
         TConsoleResult::NameNotFound},
        {"two hosts claim the name",
         [&](quint16 id, const QByteArray&) {
             return QList<QByteArray>{Answer(id, {loopback}), Answer(id, {QByteArray::fromHex("7f000002")})};
         },
         TConsoleResult::Other},
        {"a flood of garbage", [](quint16, const QByteArray&) { return QList<QByteArray>(300, QByteArray(600, 'g')); },
         TConsoleResult::NameNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeNameServer names(c.Answers);
        Use(peer.Port(), {QHostAddress::LocalHost}, names.Port());
        const auto results = RunJob(FService, {{QStringLiteral("peer")}, QString(), QStringLiteral("hello")});
        ASSERT_EQ(results.size(), 1);
        EXPECT_EQ(results[0].Outcome.Result, c.Result) << results[0].Outcome.Reason.toStdString();
        EXPECT_GE(names.Queries, 1);
    }
    // Name not found names the sender given, as the messenger service did.
    TFakeNameServer none([](quint16 id, const QByteArray&) { return QList<QByteArray>{Answer(id, {}, true)}; });
    Use(peer.Port(), {QHostAddress::LocalHost}, none.Port());
    const auto results = RunJob(FService, {{QStringLiteral("peer")}, QStringLiteral("Ann"), QStringLiteral("hello")});
    EXPECT_EQ(results.value(0).ErrorText, QStringLiteral("The user name: Ann could not be found."));
}

TEST_F(ConsoleSend, RecipientsRunAtOnceAndReportAsTheyFinish) {
    QByteArray text, from;
    TFakePeer honest([&](quint8 type, const QByteArray& body) { return Honest(type, body, &text, &from); });
    TFakePeer silent([](quint8, const QByteArray&) { return TPeerAnswer{}; });
    TConsoleLimits limits = ShortLimits();
    limits.ReplyMs = 3000;
    // Four recipients at a silent peer, then one at an honest peer in a second job.
    TConsoleNetwork network;
    network.SessionPort = silent.Port();
    FService.SetNetwork(network);
    FService.SetLimits(limits);
    TConsoleJob* slow = FService.StartSend({QStringList(4, QStringLiteral("127.0.0.1")), QString(), QStringLiteral("x")});
    QSignalSpy slowDone(slow, &TConsoleJob::JobFinished);
    // All four wait at the silent peer at the same time.
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.Connections == 4; }, 5000));
    network.SessionPort = honest.Port();
    FService.SetNetwork(network);
    TConsoleJob* fast = FService.StartSend({{QStringLiteral("127.0.0.1")}, QString(), QStringLiteral("x")});
    QSignalSpy fastDone(fast, &TConsoleJob::JobFinished);
    ASSERT_TRUE(fastDone.wait(2500));
    // The fast job ended while all four silent recipients still wait.
    EXPECT_TRUE(slowDone.isEmpty());
    EXPECT_EQ(FService.RunningJobs(), 1);
    ASSERT_TRUE(slowDone.wait(10000));
    EXPECT_EQ(FService.RunningJobs(), 0);
}
