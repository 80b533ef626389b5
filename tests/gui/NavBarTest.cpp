#include "ui/NavBarUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <climits>
#include <ostream>

namespace {

const QString kOnlineImage = QStringLiteral("U_MAINGROUP_ONLINEUSER");
const QString kNetworkImage = QStringLiteral("U_MAINGROUP_NETWORK");

// A shown pane with three captioned groups; group 0 is active and every group
// has a large button.
class NavBarFixture {
public:
    static constexpr int Groups = 3;

    NavBarFixture() {
        FNavBar.resize(220, 420);
        const QString images[Groups] = {kOnlineImage, kNetworkImage, kOnlineImage};
        for (int i = 0; i < Groups; ++i) {
            const int index = FNavBar.AddGroup(images[i], new QLabel(QStringLiteral("panel %1").arg(i)));
            FNavBar.SetGroupCaption(index, QStringLiteral("Group %1").arg(i));
        }
        FNavBar.show();
        FExposed = QTest::qWaitForWindowExposed(&FNavBar);
    }
    ~NavBarFixture() { FNavBar.CustomizeMenu()->close(); }

    bool Exposed() const { return FExposed; }
    TNavBar& NavBar() { return FNavBar; }

    // Which parts the user sees, checked against what the state says.
    void ExpectShown(int active, int maxVisible) {
        ASSERT_EQ(FNavBar.ActiveGroupIndex(), active);
        ASSERT_EQ(FNavBar.MaxVisibleGroups(), maxVisible);
        for (int i = 0; i < Groups; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(FNavBar.GroupPanel(i)->isVisible(), i == active);
            EXPECT_EQ(FNavBar.LargeButton(i)->isVisible(), i < maxVisible);
            EXPECT_EQ(FNavBar.SmallButton(i)->isVisible(), i >= maxVisible);
            EXPECT_EQ(FNavBar.LargeButton(i)->Active(), i == active);
            EXPECT_EQ(FNavBar.SmallButton(i)->Active(), i == active);
        }
        EXPECT_EQ(FNavBar.HeaderCaption(), FNavBar.GroupCaption(active));
        EXPECT_EQ(FNavBar.MoreButtonsAction()->isEnabled(), maxVisible < Groups);
        EXPECT_EQ(FNavBar.FewerButtonsAction()->isEnabled(), maxVisible > 0);
    }

private:
    TNavBar FNavBar;
    bool FExposed = false;
};

// ---------------------------------------------------------------------------
// A value set from Start to Set: what it is clamped to, and whether that is a
// change worth a signal. Both panel settings are tested with it.

struct TClampCase {
    const char* Name;
    int Start;
    int Set;
    int Expected;
    bool Signals;
};

void PrintTo(const TClampCase& c, std::ostream* os) { *os << c.Name; }

// ---------------------------------------------------------------------------
// Active group: clamping and the change signal

class NavBarActiveGroup : public ::testing::TestWithParam<TClampCase> {};

TEST_P(NavBarActiveGroup, ClampsAndSignalsRealChangesOnly) {
    const TClampCase& c = GetParam();
    NavBarFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TNavBar& navBar = fixture.NavBar();
    navBar.SetActiveGroupIndex(c.Start);
    ASSERT_EQ(navBar.ActiveGroupIndex(), c.Start);

    QSignalSpy changed(&navBar, &TNavBar::ActiveGroupChanged);
    navBar.SetActiveGroupIndex(c.Set);
    fixture.ExpectShown(c.Expected, NavBarFixture::Groups);
    ASSERT_EQ(changed.count(), c.Signals ? 1 : 0);
    if (c.Signals) {
        EXPECT_EQ(changed.first().first().toInt(), c.Expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NavBarActiveGroup,
                         ::testing::Values(TClampCase{"SameGroupAgain", 1, 1, 1, false},
                                           TClampCase{"AnotherGroup", 0, 2, 2, true},
                                           TClampCase{"NegativeClampsToFirst", 2, -1, 0, true},
                                           TClampCase{"NegativeWhileFirstActive", 0, -3, 0, false},
                                           TClampCase{"IntMinClampsToFirst", 1, INT_MIN, 0, true},
                                           TClampCase{"PastTheEndClampsToLast", 0, 3, 2, true},
                                           TClampCase{"PastTheEndWhileLastActive", 2, 7, 2, false},
                                           TClampCase{"IntMaxClampsToLast", 1, INT_MAX, 2, true}),
                         TCaseName());

// ---------------------------------------------------------------------------
// Large buttons: clamping and the change signal

class NavBarMaxVisible : public ::testing::TestWithParam<TClampCase> {};

TEST_P(NavBarMaxVisible, ClampsToGroupCountAndSignalsRealChangesOnly) {
    const TClampCase& c = GetParam();
    NavBarFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TNavBar& navBar = fixture.NavBar();
    navBar.SetMaxVisibleGroups(c.Start);
    ASSERT_EQ(navBar.MaxVisibleGroups(), c.Start);

    QSignalSpy changed(&navBar, &TNavBar::MaxVisibleGroupsChanged);
    navBar.SetMaxVisibleGroups(c.Set);
    fixture.ExpectShown(0, c.Expected);
    ASSERT_EQ(changed.count(), c.Signals ? 1 : 0);
    if (c.Signals) {
        EXPECT_EQ(changed.first().first().toInt(), c.Expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NavBarMaxVisible,
                         ::testing::Values(TClampCase{"Same", 2, 2, 2, false},
                                           TClampCase{"None", 3, 0, 0, true},
                                           TClampCase{"One", 0, 1, 1, true},
                                           TClampCase{"NegativeClampsToNone", 2, -1, 0, true},
                                           TClampCase{"NegativeWhileNone", 0, INT_MIN, 0, false},
                                           TClampCase{"MoreThanGroupsClampsToAll", 1, 9, 3, true},
                                           TClampCase{"MoreThanGroupsWhileAll", 3, INT_MAX, 3, false}),
                         TCaseName());

// ---------------------------------------------------------------------------
// Adding groups

TEST(NavBarGroups, EmptyPaneHasNoActiveGroupAndIgnoresChanges) {
    TNavBar navBar;
    QSignalSpy changed(&navBar, &TNavBar::ActiveGroupChanged);
    navBar.SetActiveGroupIndex(0);
    navBar.SetMaxVisibleGroups(2);
    navBar.SetGroupCaption(0, QStringLiteral("nowhere"));
    EXPECT_EQ(navBar.ActiveGroupIndex(), -1);
    EXPECT_EQ(navBar.MaxVisibleGroups(), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(navBar.GroupPanel(0), nullptr);
    EXPECT_EQ(navBar.LargeButton(-1), nullptr);
    EXPECT_FALSE(navBar.MoreButtonsAction()->isEnabled());
    EXPECT_FALSE(navBar.FewerButtonsAction()->isEnabled());
}

TEST(NavBarGroups, FirstGroupBecomesActiveAndNewGroupsFollowTheLargeButtons) {
    TNavBar navBar;
    QSignalSpy changed(&navBar, &TNavBar::ActiveGroupChanged);
    auto* online = new QLabel;
    EXPECT_EQ(navBar.AddGroup(kOnlineImage, online), 0);
    EXPECT_EQ(navBar.AddGroup(kNetworkImage, nullptr), 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().toInt(), 0);
    EXPECT_EQ(navBar.ActiveGroupIndex(), 0);
    // The pane owns the panels; a missing one is replaced by an empty panel.
    EXPECT_EQ(navBar.GroupPanel(0), online);
    EXPECT_TRUE(navBar.isAncestorOf(online));
    ASSERT_NE(navBar.GroupPanel(1), nullptr);
    EXPECT_EQ(navBar.LargeButton(1)->ImageName(), kNetworkImage);
    EXPECT_EQ(navBar.SmallButton(0)->ImageName(), kOnlineImage);

    // All groups had large buttons, so the new one gets one too...
    EXPECT_EQ(navBar.MaxVisibleGroups(), 2);
    // ...but not once the user has chosen fewer.
    navBar.SetMaxVisibleGroups(1);
    navBar.AddGroup(kOnlineImage, nullptr);
    EXPECT_EQ(navBar.MaxVisibleGroups(), 1);
    EXPECT_EQ(navBar.ActiveGroupIndex(), 0);
    EXPECT_EQ(changed.count(), 1);
}

TEST(NavBarGroups, CaptionReachesButtonsTooltipAndHeaderOfTheActiveGroup) {
    NavBarFixture fixture;
    TNavBar& navBar = fixture.NavBar();
    navBar.SetActiveGroupIndex(1);
    navBar.SetGroupCaption(1, QStringLiteral("Network Neighborhood"));
    navBar.SetGroupCaption(2, QStringLiteral("Elsewhere"));
    EXPECT_EQ(navBar.GroupCaption(1), QStringLiteral("Network Neighborhood"));
    EXPECT_EQ(navBar.LargeButton(1)->text(), QStringLiteral("Network Neighborhood"));
    EXPECT_EQ(navBar.SmallButton(1)->toolTip(), QStringLiteral("Network Neighborhood"));
    EXPECT_EQ(navBar.SmallButton(2)->toolTip(), QStringLiteral("Elsewhere"));
    // Renaming an inactive group leaves the header alone.
    EXPECT_EQ(navBar.HeaderCaption(), QStringLiteral("Network Neighborhood"));
    navBar.SetGroupCaption(5, QStringLiteral("ignored"));
    EXPECT_EQ(navBar.GroupCount(), 3);
}

// ---------------------------------------------------------------------------
// Customisation menu and buttons

TEST(NavBarCustomize, MoreAndFewerStepThroughEveryCount) {
    NavBarFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TNavBar& navBar = fixture.NavBar();
    EXPECT_EQ(navBar.MoreButtonsAction()->text(), QStringLiteral("Show &More Buttons"));
    EXPECT_EQ(navBar.FewerButtonsAction()->text(), QStringLiteral("Show &Fewer Buttons"));
    QSignalSpy changed(&navBar, &TNavBar::MaxVisibleGroupsChanged);

    for (int expected = NavBarFixture::Groups - 1; expected >= 0; --expected) {
        SCOPED_TRACE(expected);
        navBar.FewerButtonsAction()->trigger();
        fixture.ExpectShown(0, expected);
    }
    // Disabled at the end: nothing more to take away.
    navBar.FewerButtonsAction()->trigger();
    EXPECT_EQ(navBar.MaxVisibleGroups(), 0);

    for (int expected = 1; expected <= NavBarFixture::Groups; ++expected) {
        SCOPED_TRACE(expected);
        navBar.MoreButtonsAction()->trigger();
        fixture.ExpectShown(0, expected);
    }
    navBar.MoreButtonsAction()->trigger();
    EXPECT_EQ(navBar.MaxVisibleGroups(), NavBarFixture::Groups);
    EXPECT_EQ(changed.count(), 2 * NavBarFixture::Groups);
}

TEST(NavBarCustomize, DropDownOpensTheMenu) {
    NavBarFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TNavBar& navBar = fixture.NavBar();
    ASSERT_TRUE(navBar.CustomizeButton()->isVisible());
    QTest::mouseClick(navBar.CustomizeButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(navBar.CustomizeMenu()->isVisible());
    const QList<QAction*> items = navBar.CustomizeMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], navBar.MoreButtonsAction());
    EXPECT_EQ(items[1], navBar.FewerButtonsAction());
}

TEST(NavBarCustomize, ClickedButtonsActivateTheirGroup) {
    NavBarFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TNavBar& navBar = fixture.NavBar();
    navBar.SetMaxVisibleGroups(1);
    QSignalSpy changed(&navBar, &TNavBar::ActiveGroupChanged);

    QTest::mouseClick(navBar.SmallButton(2), Qt::LeftButton);
    fixture.ExpectShown(2, 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().toInt(), 2);

    // Clicking the active group again changes nothing.
    QTest::mouseClick(navBar.SmallButton(2), Qt::LeftButton);
    EXPECT_EQ(changed.count(), 1);

    QTest::mouseClick(navBar.LargeButton(0), Qt::LeftButton);
    fixture.ExpectShown(0, 1);
    EXPECT_EQ(changed.count(), 2);
}

// ---------------------------------------------------------------------------
// Colours

TEST(NavBarColors, ButtonsPaintSchemeActiveAndHoverColours) {
    NavBarFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TNavBar& navBar = fixture.NavBar();
    const QColor light(223, 237, 255);
    const QColor dark(179, 212, 255);
    navBar.SetColors(light, dark);
    EXPECT_EQ(navBar.LightColor(), light);
    EXPECT_EQ(navBar.DarkColor(), dark);

    TNavBarButton* idle = navBar.LargeButton(1);
    EXPECT_EQ(idle->TopColor(), light);
    EXPECT_EQ(idle->BottomColor(), dark);
    // The active group stands out from the scheme.
    TNavBarButton* active = navBar.LargeButton(0);
    EXPECT_NE(active->TopColor(), light);
    EXPECT_NE(active->BottomColor(), dark);

    QTest::mouseMove(&navBar, idle->mapTo(&navBar, idle->rect().center()));
    QApplication::processEvents();
    EXPECT_EQ(idle->BottomColor(), TNavBar::HotColor());
    QTest::mouseMove(&navBar, QPoint(5, 5));
    QApplication::processEvents();
    EXPECT_EQ(idle->BottomColor(), dark);
    // Painting in every state works with the new colours.
    EXPECT_FALSE(navBar.grab().isNull());
}

} // namespace
