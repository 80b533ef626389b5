#include "presence/PresenceServiceUnit.h"

#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "presence/NotificationThrottleUnit.h"
#include "presence/UserGroupUnit.h"
#include "protocol/CommClientUnit.h"
#include "support/CaseName.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"
#include "text/MsgLangUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

namespace {

struct TThrottleCase {
    std::string Name;
    int Offers;
    int ExpectShown;
    int ExpectHeldBack; // 0: no summary
};
void PrintTo(const TThrottleCase& c, std::ostream* os) { *os << c.Name; }

class NotificationThrottle : public ::testing::TestWithParam<TThrottleCase> {};

TEST_P(NotificationThrottle, ShowsFiveAWindowAndSumsUpTheRest) {
    const TThrottleCase& c = GetParam();
    TNotificationThrottle throttle(5, 60 * 1000);
    QStringList shown;
    QList<int> summaries;
    QObject::connect(&throttle, &TNotificationThrottle::Show, [&](const QString& t) { shown << t; });
    QObject::connect(&throttle, &TNotificationThrottle::Summary, [&](int n) { summaries << n; });
    for (int i = 0; i < c.Offers; ++i) throttle.Offer(QString::number(i));
    EXPECT_EQ(shown.size(), c.ExpectShown);
    EXPECT_TRUE(summaries.isEmpty()); // nothing summed up before the window closes
    throttle.Flush();
    EXPECT_EQ(summaries, c.ExpectHeldBack ? QList<int>{c.ExpectHeldBack} : QList<int>{});
    // The next window starts afresh.
    throttle.Offer(QStringLiteral("next"));
    EXPECT_EQ(shown.last(), QStringLiteral("next"));
}

INSTANTIATE_TEST_SUITE_P(Cases, NotificationThrottle,
                         ::testing::Values(TThrottleCase{"FewerThanTheLimit", 3, 3, 0},
                                           TThrottleCase{"ExactlyTheLimit", 5, 5, 0},
                                           TThrottleCase{"OneOverTheLimit", 6, 5, 1},
                                           TThrottleCase{"Burst", 500, 5, 495}),
                         TCaseName());

TEST(NotificationThrottleWindow, ClosesByItself) {
    TNotificationThrottle throttle(1, 50);
    QSignalSpy summary(&throttle, &TNotificationThrottle::Summary);
    throttle.Offer(QStringLiteral("a"));
    throttle.Offer(QStringLiteral("b"));
    ASSERT_TRUE(summary.wait(5000));
    EXPECT_EQ(summary.first().first().toInt(), 1);
}

// A burst of new users through the service: five notices, then one sum.
TEST(PresenceService, BurstOfNewUsersIsSummedUp) {
    TNetworkOff off; // logon replies go nowhere
    TTempHome home;
    TApplicationParams& p = Params();
    const bool oldWindow = p[bpUseNotificationWindow];
    const bool oldSound = p[bpPlaySound];
    p[bpUseNotificationWindow] = true;
    p[bpPlaySound] = true;
    {
        TUserGroup groups(home.File(QStringLiteral("UserGroup.ini")));
        TOnlineUserModel model(groups, TSelfIdentity{QStringLiteral("{ME}"), QStringLiteral("MYPC")});
        model.LoadGroupNodes(true);
        TMessageLang lang(1033);
        TCommClient client([] { return TTransportConfig(); }, [] { return TLocalIdentity(); }, lang);
        TPresenceService service(model, client, p);
        TEventRouter router;
        service.RegisterEvents(router);
        QStringList notices;
        int sounds = 0;
        QObject::connect(&service, &TPresenceService::NotificationRequested, [&](const QString& t) { notices << t; });
        QObject::connect(&service, &TPresenceService::SoundRequested, [&](TSound) { ++sounds; });
        for (int i = 0; i < 8; ++i) router.Post(WM_PEER_LOGON, 0, 0, NamedPeer(QStringLiteral("U%1").arg(i)));
        QCoreApplication::processEvents();
        EXPECT_EQ(model.UserIndexes().size(), 8);
        EXPECT_EQ(notices.size(), 5);
        EXPECT_TRUE(notices.first().startsWith(QStringLiteral("U0")) && notices.first().endsWith(QStringLiteral(" Online")))
            << notices.first().toStdString();
        service.FlushNotifications();
        ASSERT_EQ(notices.size(), 6);
        EXPECT_EQ(notices.last(), QStringLiteral("3 users online"));
        EXPECT_EQ(sounds, 6);
    }
    p[bpUseNotificationWindow] = oldWindow;
    p[bpPlaySound] = oldSound;
}

} // namespace
