#include "messaging/widgets/TrayNotificationUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>

namespace {

const QRect kScreen(0, 0, 1024, 768);
const QSize kText(TNotificationWindow::TextWidth, TNotificationWindow::TextHeight);

// ------------------------------------------------------------ placement

struct TPlacementCase {
    const char* Name;
    QRect Full;
    QRect Available;
    TTaskbarEdge Edge;
    bool Visible;
    QRect Taskbar;
    QPoint Origin;
    QPoint SlideStep;
    QPoint AwayStep;
};

void PrintTo(const TPlacementCase& c, std::ostream* os) { *os << c.Name; }

class NotificationPlacement : public ::testing::TestWithParam<TPlacementCase> {};

TEST_P(NotificationPlacement, NextToTheTaskbar) {
    const TPlacementCase& c = GetParam();
    const TTaskbarInfo taskbar = TaskbarInfoFromGeometry(c.Full, c.Available);
    EXPECT_EQ(taskbar.Edge, c.Edge);
    EXPECT_EQ(taskbar.Visible, c.Visible);
    if (c.Visible) {
        EXPECT_EQ(taskbar.Rect, c.Taskbar);
    }
    EXPECT_EQ(NotificationOrigin(taskbar, c.Full, kText), c.Origin);
    EXPECT_EQ(SlideInStep(taskbar.Edge), c.SlideStep);
    EXPECT_EQ(AwayFromTaskbarStep(taskbar.Edge), c.AwayStep);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, NotificationPlacement,
    ::testing::Values(
        // x = SW - W - 5, y = SH - height(T) - H; slides upwards.
        TPlacementCase{"Bottom", kScreen, QRect(0, 0, 1024, 738), teBottom, true, QRect(0, 738, 1024, 30),
                       QPoint(869, 698), QPoint(0, -1), QPoint(0, -1)},
        // x = SW - width(T) - W, y = SH - H - 5; right to left.
        TPlacementCase{"Right", kScreen, QRect(0, 0, 964, 768), teRight, true, QRect(964, 0, 60, 768),
                       QPoint(814, 723), QPoint(-1, 0), QPoint(0, -1)},
        // x = width(T); left to right.
        TPlacementCase{"Left", kScreen, QRect(60, 0, 964, 768), teLeft, true, QRect(0, 0, 60, 768),
                       QPoint(60, 723), QPoint(1, 0), QPoint(0, -1)},
        // y = height(T); downwards, and stacks downwards.
        TPlacementCase{"Top", kScreen, QRect(0, 25, 1024, 743), teTop, true, QRect(0, 0, 1024, 25),
                       QPoint(869, 25), QPoint(0, 1), QPoint(0, 1)},
        // Nothing reserved: an invisible bottom task bar, 5 pixels from the corner.
        TPlacementCase{"NoTaskbar", kScreen, kScreen, teBottom, false, QRect(), QPoint(869, 723), QPoint(0, -1),
                       QPoint(0, -1)},
        // Top bar and a thicker dock on the left: the dock decides.
        TPlacementCase{"ThickestStripWins", kScreen, QRect(70, 28, 954, 740), teLeft, true, QRect(0, 0, 70, 768),
                       QPoint(70, 723), QPoint(1, 0), QPoint(0, -1)},
        // A second screen to the right of the first: its own coordinates.
        TPlacementCase{"SecondScreen", QRect(1024, 0, 800, 600), QRect(1024, 0, 800, 560), teBottom, true,
                       QRect(1024, 560, 800, 40), QPoint(1024 + 800 - 150 - 5, 600 - 40 - 40), QPoint(0, -1),
                       QPoint(0, -1)},
        // An available area that is no part of the screen reserves nothing.
        TPlacementCase{"AvailableOutside", kScreen, QRect(2000, 0, 10, 10), teBottom, false, QRect(),
                       QPoint(869, 723), QPoint(0, -1), QPoint(0, -1)}),
    TCaseName());

TEST(NotificationPlacementInvisible, LeftAndTopKeepTheirCorner) {
    TTaskbarInfo left{teLeft, QRect(), false};
    EXPECT_EQ(NotificationOrigin(left, kScreen, kText), QPoint(5, 723));
    TTaskbarInfo top{teTop, QRect(), false};
    EXPECT_EQ(NotificationOrigin(top, kScreen, kText), QPoint(869, 5));
    TTaskbarInfo right{teRight, QRect(), false};
    EXPECT_EQ(NotificationOrigin(right, kScreen, kText), QPoint(869, 723));
}

// ------------------------------------------------------------- stacking

struct TStackCase {
    const char* Name;
    QRect Available;
    QPoint Origin;
    QPoint Away;
};

void PrintTo(const TStackCase& c, std::ostream* os) { *os << c.Name; }

// Windows that stay long enough for the test to look at them.
constexpr TNotificationTimings kLong{0, 60 * 1000};

class NotificationStacking : public ::testing::TestWithParam<TStackCase> {};

TEST_P(NotificationStacking, OlderWindowsMoveAwayByTheNewHeight) {
    const TStackCase& c = GetParam();
    TTrayNotification notes(kLong, [&c] { return TTrayNotification::TScreenGeometry{kScreen, c.Available}; });
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    ASSERT_EQ(notes.TextWindows().size(), 1);
    EXPECT_EQ(notes.TextWindows()[0]->pos(), c.Origin);

    notes.ShowTextNotification(QStringLiteral("Bob Online"));
    notes.ShowTextNotification(QStringLiteral("Cid Offline"));
    const QList<TNotificationWindow*> windows = notes.TextWindows();
    ASSERT_EQ(windows.size(), 3);
    EXPECT_EQ(windows[0]->Text(), QStringLiteral("Ann Online"));
    EXPECT_EQ(windows[0]->pos(), c.Origin + c.Away * 80);
    EXPECT_EQ(windows[1]->pos(), c.Origin + c.Away * 40);
    EXPECT_EQ(windows[2]->pos(), c.Origin);
}

TEST_P(NotificationStacking, NewWindowsStartBeyondTheQueueNotification) {
    const TStackCase& c = GetParam();
    TTrayNotification notes(kLong, [&c] { return TTrayNotification::TScreenGeometry{kScreen, c.Available}; });
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    notes.SetQueueOffset(90);
    notes.MoveTextWindowsAway(90);
    notes.ShowTextNotification(QStringLiteral("Bob Online"));
    const QList<TNotificationWindow*> windows = notes.TextWindows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(windows[0]->pos(), c.Origin + c.Away * (90 + 40));
    EXPECT_EQ(windows[1]->pos(), c.Origin + c.Away * 90);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, NotificationStacking,
    ::testing::Values(TStackCase{"Bottom", QRect(0, 0, 1024, 738), QPoint(869, 698), QPoint(0, -1)},
                      TStackCase{"Right", QRect(0, 0, 964, 768), QPoint(814, 723), QPoint(0, -1)},
                      TStackCase{"Left", QRect(60, 0, 964, 768), QPoint(60, 723), QPoint(0, -1)},
                      TStackCase{"Top", QRect(0, 25, 1024, 743), QPoint(869, 25), QPoint(0, 1)}),
    TCaseName());

// ------------------------------------------------------------- lifetime

TTrayNotification::TScreenSource BottomTaskbar() {
    return [] { return TTrayNotification::TScreenGeometry{kScreen, QRect(0, 0, 1024, 738)}; };
}

void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

struct TLifetimeCase {
    const char* Name;
    TNotificationTimings Timings;
    bool SlidesOut;
};

void PrintTo(const TLifetimeCase& c, std::ostream* os) { *os << c.Name; }

class NotificationLifetimeCases : public ::testing::TestWithParam<TLifetimeCase> {};

TEST_P(NotificationLifetimeCases, ShowsThenGoesByItselfAndIsReleased) {
    const TLifetimeCase& c = GetParam();
    TTrayNotification notes(c.Timings, BottomTaskbar());
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    ASSERT_EQ(notes.TextWindows().size(), 1);
    QPointer<TNotificationWindow> window = notes.TextWindows()[0];
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), kText);
    EXPECT_EQ(window->Title(), QStringLiteral("QUILLMATE Notification"));
    EXPECT_EQ(window->Text(), QStringLiteral("Ann Online"));

    bool finished = false;
    bool slidOut = false;
    QObject::connect(window.data(), &TNotificationWindow::Finished, window.data(), [&] {
        finished = true;
        slidOut = window->IsSlidingOut();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return notes.TextWindows().isEmpty(); }, 10000));
    EXPECT_TRUE(finished);
    EXPECT_EQ(slidOut, c.SlidesOut);
    FlushDeletes();
    EXPECT_TRUE(window.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Timings, NotificationLifetimeCases,
    ::testing::Values(TLifetimeCase{"SlideThenLifetime", {20, 60}, true},
                      TLifetimeCase{"LifetimeEndsDuringTheSlideIn", {150, 1}, true},
                      TLifetimeCase{"NoAnimation", {0, 10}, true}),
    TCaseName());

TEST(NotificationLifetime, CloseButtonReleasesAtOnceAndTheRestStays) {
    TTrayNotification notes(kLong, BottomTaskbar());
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    notes.ShowTextNotification(QStringLiteral("Bob Online"));
    QPointer<TNotificationWindow> first = notes.TextWindows()[0];
    TNotificationWindow* second = notes.TextWindows()[1];
    const QPoint secondPos = second->pos();

    // A click on the body does nothing.
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(20, 30));
    QApplication::processEvents();
    EXPECT_EQ(notes.TextWindows().size(), 2);

    QTest::mouseClick(first, Qt::LeftButton, {}, first->CloseButtonRect().center());
    QApplication::processEvents();
    ASSERT_EQ(notes.TextWindows().size(), 1);
    EXPECT_EQ(notes.TextWindows()[0], second);
    EXPECT_EQ(second->pos(), secondPos);
    FlushDeletes();
    EXPECT_TRUE(first.isNull());
}

TEST(NotificationLifetime, ReleasingTwiceOrAStrangerIsHarmless) {
    TTrayNotification notes(kLong, BottomTaskbar());
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    TNotificationWindow* window = notes.TextWindows()[0];
    notes.ReleaseTextNotification(window);
    notes.ReleaseTextNotification(window);
    notes.ReleaseTextNotification(nullptr);
    EXPECT_TRUE(notes.TextWindows().isEmpty());
    FlushDeletes();
}

TEST(NotificationLifetime, NoScreenShowsNothing) {
    TTrayNotification notes(kLong, [] { return TTrayNotification::TScreenGeometry{}; });
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    EXPECT_TRUE(notes.TextWindows().isEmpty());
}

// ---------------------------------------------------------------- focus

TEST(NotificationFocus, NeverTakesTheFocus) {
    QWidget other;
    other.setWindowTitle(QStringLiteral("typing here"));
    other.setFocusPolicy(Qt::StrongFocus);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    other.setFocus();

    TTrayNotification notes({20, 60 * 1000}, BottomTaskbar());
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    TNotificationWindow* window = notes.TextWindows()[0];
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50); // through the slide-in
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(20, 30));
    QApplication::processEvents();

    EXPECT_EQ(QApplication::activeWindow(), &other);
    EXPECT_FALSE(window->isActiveWindow());
    EXPECT_EQ(QApplication::focusWidget(), &other);
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(window->focusPolicy(), Qt::NoFocus);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::ToolTip));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
}

TEST(NotificationPaint, ColoursReachOpenWindowsAndPaintingCopesWithoutImages) {
    TTrayNotification notes(kLong, BottomTaskbar());
    notes.ShowTextNotification(QString(200, QLatin1Char('W')));
    notes.SetBodyColor(QColor(10, 200, 30));
    TNotificationWindow* window = notes.TextWindows()[0];
    // Body colour in the middle of the body line's margin.
    const QImage image = window->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(QColor(image.pixel(3, 30)), QColor(10, 200, 30));
}

} // namespace
