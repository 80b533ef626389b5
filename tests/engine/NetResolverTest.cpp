// The neighbourhood's resolver against a fake NetBIOS name server on
// 127.0.0.1: the workstation name is asked, an answer is taken, a refusal or
// silence ends within the limit, and nothing outside loopback is asked.
#include "neighbourhood/NetResolverUnit.h"
#include "support/ConsoleFakePeer.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

using namespace ConsoleFake;

namespace {

TNetResolverConfig Config(quint16 port) {
    TNetResolverConfig c;
    c.NameQueryTargets = {QHostAddress::LocalHost};
    c.NamePort = port;
    c.Mdns = false;
    c.SystemResolver = false;
    return c;
}

// Runs the resolver on a worker while the test thread serves the fake.
QHostAddress Resolve(const TNetResolveFunction& resolver, const QString& name, int timeoutMs,
                     const std::atomic<bool>& cancel) {
    auto result = std::async(std::launch::async, [&] { return resolver(name, timeoutMs, cancel); });
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(5);
    return result.get();
}

TEST(NetResolver, AsksForTheWorkstationNameAndTakesTheAnswer) {
    TLoopbackOnly loopback;
    QByteArray asked;
    TFakeNameServer names([&](quint16 id, const QByteArray& query) {
        asked = query;
        return QList<QByteArray>{Answer(id, {QByteArray::fromHex("7f000009")}, false, "ALPHA", kWorkstationSuffix)};
    });
    std::atomic<bool> cancel{false};
    EXPECT_EQ(Resolve(MakeNetResolver(Config(names.Port())), QStringLiteral("alpha"), 2000, cancel),
              QHostAddress(QStringLiteral("127.0.0.9")));
    // The upper-cased name with the workstation suffix.
    EXPECT_TRUE(asked.contains(EncodeName("ALPHA", kWorkstationSuffix)));
}

TEST(NetResolver, AnswersAboutAnotherNameOrSuffixAreIgnored) {
    TLoopbackOnly loopback;
    TFakeNameServer names([&](quint16 id, const QByteArray&) {
        return QList<QByteArray>{Answer(id, {QByteArray::fromHex("7f000009")}, false, "ALPHA", kMessengerSuffix),
                                 Answer(id, {QByteArray::fromHex("7f000008")}, false, "BETA", kWorkstationSuffix)};
    });
    std::atomic<bool> cancel{false};
    EXPECT_TRUE(Resolve(MakeNetResolver(Config(names.Port())), QStringLiteral("ALPHA"), 400, cancel).isNull());
}

TEST(NetResolver, ARefusalEndsTheQueryBeforeItsLimit) {
    TLoopbackOnly loopback;
    TFakeNameServer names([&](quint16 id, const QByteArray&) { return QList<QByteArray>{Answer(id, {}, true)}; });
    std::atomic<bool> cancel{false};
    QDeadlineTimer limit(30000);
    EXPECT_TRUE(Resolve(MakeNetResolver(Config(names.Port())), QStringLiteral("GONE"), 30000, cancel).isNull());
    EXPECT_FALSE(limit.hasExpired());
}

TEST(NetResolver, CancelEndsASilentQuery) {
    TLoopbackOnly loopback;
    TFakeNameServer names([](quint16, const QByteArray&) { return QList<QByteArray>{}; });
    std::atomic<bool> cancel{false};
    const TNetResolveFunction resolver = MakeNetResolver(Config(names.Port()));
    auto result = std::async(std::launch::async, [&] { return resolver(QStringLiteral("SILENT"), 60000, cancel); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return names.Queries > 0; }, 5000));
    cancel = true;
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(result.get().isNull());
}

TEST(NetResolver, AnAddressOutsideTheNetworkPolicyIsNotTaken) {
    TLoopbackOnly loopback;
    TFakeNameServer names([&](quint16 id, const QByteArray&) {
        return QList<QByteArray>{Answer(id, {QByteArray::fromHex("0a000001")}, false, "ALPHA", kWorkstationSuffix)};
    });
    std::atomic<bool> cancel{false};
    EXPECT_TRUE(Resolve(MakeNetResolver(Config(names.Port())), QStringLiteral("ALPHA"), 400, cancel).isNull());
}

TEST(NetResolver, AnAddressIsItsOwnAnswerAndNothingIsAsked) {
    TLoopbackOnly loopback;
    TFakeNameServer names([](quint16, const QByteArray&) { return QList<QByteArray>{}; });
    std::atomic<bool> cancel{false};
    EXPECT_EQ(Resolve(MakeNetResolver(Config(names.Port())), QStringLiteral(" 10.1.2.3 "), 400, cancel),
              QHostAddress(QStringLiteral("10.1.2.3")));
    EXPECT_TRUE(Resolve(MakeNetResolver(Config(names.Port())), QString(), 400, cancel).isNull());
    EXPECT_TRUE(Resolve(MakeNetResolver(Config(names.Port())), QString(16, 'N'), 400, cancel).isNull());
    EXPECT_EQ(names.Queries, 0);
}

} // namespace
