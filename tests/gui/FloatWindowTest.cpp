// Floating tags: placement against the desktop's edges (one or several
// screens), positions kept in FloatInfo.ini, following the online list, and
// the tag's commands.
#include "support/CaseName.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"

#include "core/ParamsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "presence/UserGroupUnit.h"
#include "presence/widgets/FloatWindowUnit.h"
#include "ui/OnlineStateMenuUnit.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>
#include <ostream>

namespace {

// ---------------------------------------------------------------- placement table

struct TPlaceCase {
    const char* Name;
    QList<QRect> Screens; // available areas, primary first
    QRect Tag;
    QPoint Expected;
};

void PrintTo(const TPlaceCase& c, std::ostream* os) { *os << c.Name; }

const QRect kScreen(0, 0, 1024, 768);
// A task bar of 40 pixels along the left edge.
const QRect kLeftBar(40, 0, 984, 768);
// Two screens side by side, the right one wider, shorter and lower.
const QList<QRect> kTwo = {QRect(0, 0, 1024, 768), QRect(1024, 100, 1280, 600)};

class FloatPlacement : public ::testing::TestWithParam<TPlaceCase> {};

TEST_P(FloatPlacement, StaysWhollyOnTheDesktop) {
    const TPlaceCase& c = GetParam();
    const QPoint placed = KeepTagOnDesktop(c.Tag, c.Screens);
    EXPECT_EQ(placed, c.Expected);
    // Wherever it went, the whole tag is on one screen when one can hold it.
    const QRect result(placed, c.Tag.size());
    bool fits = false;
    bool onOne = false;
    for (const QRect& screen : c.Screens) {
        fits = fits || (screen.width() >= result.width() && screen.height() >= result.height());
        onOne = onOne || screen.contains(result);
    }
    EXPECT_EQ(onOne, fits) << result.x() << "," << result.y();
}

INSTANTIATE_TEST_SUITE_P(
    Edges, FloatPlacement,
    ::testing::Values(
        TPlaceCase{"Inside", {kScreen}, QRect(100, 200, 120, 30), QPoint(100, 200)},
        TPlaceCase{"TouchingBottomRight", {kScreen}, QRect(904, 738, 120, 30), QPoint(904, 738)},
        TPlaceCase{"PastRight", {kScreen}, QRect(1000, 200, 120, 30), QPoint(904, 200)},
        TPlaceCase{"PastBottom", {kScreen}, QRect(100, 750, 120, 30), QPoint(100, 738)},
        TPlaceCase{"PastBoth", {kScreen}, QRect(1010, 760, 120, 30), QPoint(904, 738)},
        TPlaceCase{"LeftOfDesktop", {kScreen}, QRect(-50, 200, 120, 30), QPoint(0, 200)},
        TPlaceCase{"AboveDesktop", {kScreen}, QRect(100, -10, 120, 30), QPoint(100, 0)},
        TPlaceCase{"UnderLeftTaskBar", {kLeftBar}, QRect(10, 200, 120, 30), QPoint(40, 200)},
        // Wider than the screen: its left edge wins.
        TPlaceCase{"WiderThanScreen", {QRect(0, 0, 100, 768)}, QRect(50, 10, 150, 30), QPoint(0, 10)},
        TPlaceCase{"SecondScreenInside", kTwo, QRect(1500, 300, 120, 30), QPoint(1500, 300)},
        TPlaceCase{"SecondScreenPastRight", kTwo, QRect(2250, 300, 120, 30), QPoint(2184, 300)},
        // Below the shorter screen's bottom while still above the first's.
        TPlaceCase{"SecondScreenPastItsBottom", kTwo, QRect(1500, 690, 120, 30), QPoint(1500, 670)},
        TPlaceCase{"SecondScreenAboveItsTop", kTwo, QRect(1500, 50, 120, 60), QPoint(1500, 100)},
        // Across the border: onto the screen holding most of it.
        TPlaceCase{"AcrossBorderMostlyLeft", kTwo, QRect(950, 300, 120, 30), QPoint(904, 300)},
        TPlaceCase{"AcrossBorderMostlyRight", kTwo, QRect(1000, 300, 120, 30), QPoint(1024, 300)},
        // In the gap below the shorter screen: off both, the nearest takes it.
        TPlaceCase{"InGapBelowSecond", kTwo, QRect(1100, 720, 120, 30), QPoint(1100, 670)},
        TPlaceCase{"FarOffRight", kTwo, QRect(5000, 300, 120, 30), QPoint(2184, 300)},
        TPlaceCase{"FarOffLeftAbove", kTwo, QRect(-3000, -3000, 120, 30), QPoint(0, 0)}),
    TCaseName());

// ---------------------------------------------------------------- tags and the list

class FloatTags : public ::testing::Test {
protected:
    FloatTags() {
        Params()[bpOnlyUserNickname] = false;
        Model.LoadGroupNodes(true);
        Model.AddUserNode(false, NamedPeer(QStringLiteral("ann")));
        Model.AddUserNode(false, NamedPeer(QStringLiteral("bob")));
        TFloatWindowContext context;
        context.Model = &Model;
        context.PositionsFile = Home.File(QStringLiteral("FloatInfo.ini"));
        context.Params = &Params();
        context.Desktop = [this] { return Desktop; };
        context.OpenMessage = [this](const TRecipient& user) { Opened << user.NickName; };
        context.SendFiles = [this](const TRecipient& user, const QStringList& paths) {
            Sent << user.NickName;
            SentPaths << paths;
        };
        Floats = std::make_unique<TOnlineFloatWindow>(std::move(context));
    }
    ~FloatTags() override {
        Floats.reset();
        Params() = Saved;
    }

    QModelIndex Ann() const { return UserByNick(Model, "ann"); }
    TOnlineNotify AnnPeer() const { return NamedPeer(QStringLiteral("ann")); }
    TProfileFile Ini() const {
        TProfileFile ini;
        ini.Load(Home.File(QStringLiteral("FloatInfo.ini")));
        return ini;
    }

    TApplicationParams Saved = Params();
    TTempHome Home;
    TUserGroup Groups{Home.File(QStringLiteral("UserGroup.ini"))};
    TOnlineUserModel Model{Groups, TSelfIdentity{}};
    QList<QRect> Desktop = {QRect(0, 0, 1024, 768)};
    QStringList Opened;
    QStringList Sent;
    QList<QStringList> SentPaths;
    std::unique_ptr<TOnlineFloatWindow> Floats;
};

TEST_F(FloatTags, FirstSeenUserStartsAtTheScreenCentreAndComesBackWhereItWas) {
    TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->pos(), QPoint(512, 384));
    EXPECT_EQ(tag->DisplayText(), QStringLiteral("ann(PC-ann)"));
    EXPECT_TRUE(tag->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(tag->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(tag->windowType(), Qt::Tool);
    // One tag per user.
    EXPECT_EQ(Floats->ShowFloatingWindow(Ann()), tag);
    EXPECT_EQ(Floats->ShowFloatingWindow(Model.GroupIndex(0)), nullptr);

    tag->move(300, 200);
    Floats->CloseFloatingWindow(tag);
    EXPECT_TRUE(Floats->Tags().isEmpty());
    const QString key = QStringLiteral("PC-ann10.0.0.1");
    EXPECT_EQ(Ini().ReadInteger(QStringLiteral("FloatWindowLeft"), key, -1), 300);
    EXPECT_EQ(Ini().ReadInteger(QStringLiteral("FloatWindowTop"), key, -1), 200);
    TFloatWindow* again = Floats->ShowFloatingWindow(Ann());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->pos(), QPoint(300, 200));
}

TEST_F(FloatTags, SavedPositionsOffEveryScreenComeBackOnTheDesktop) {
    const struct {
        int Left, Top;
    } saved[] = {{5000, 5000}, {-4000, 300}, {1010, 760}, {300, -900}};
    for (const auto& s : saved) {
        TProfileFile ini = Ini();
        ini.WriteInteger(QStringLiteral("FloatWindowLeft"), QStringLiteral("PC-ann10.0.0.1"), s.Left);
        ini.WriteInteger(QStringLiteral("FloatWindowTop"), QStringLiteral("PC-ann10.0.0.1"), s.Top);
        ASSERT_TRUE(ini.Save());
        // Saved on a larger screen, shown on this smaller one.
        TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
        ASSERT_NE(tag, nullptr);
        EXPECT_TRUE(Desktop.first().contains(tag->geometry())) << s.Left << "," << s.Top;
        delete tag;
    }
}

TEST_F(FloatTags, AddressChangeGivesANewKey) {
    TProfileFile ini = Ini();
    ini.WriteInteger(QStringLiteral("FloatWindowLeft"), QStringLiteral("PC-ann10.0.0.1"), 100);
    ini.WriteInteger(QStringLiteral("FloatWindowTop"), QStringLiteral("PC-ann10.0.0.1"), 100);
    ASSERT_TRUE(ini.Save());
    TOnlineNotify moved = AnnPeer();
    moved.IPAddress = QStringLiteral("10.0.0.9");
    Model.UpdateOrAddUser(false, ukFull, moved);
    TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->pos(), QPoint(512, 384));
}

TEST_F(FloatTags, FollowsNameAndStateChanges) {
    TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
    TFloatWindow* bob = Floats->ShowFloatingWindow(UserByNick(Model, "bob"));
    ASSERT_NE(tag, nullptr);
    ASSERT_NE(bob, nullptr);
    const QPoint where(100, 100);
    tag->move(where);
    const int narrow = tag->width();
    EXPECT_EQ(tag->StateImage(), OnlineStateMenu::MenuImageName(TOnlineState::Online));

    TOnlineNotify renamed = AnnPeer();
    renamed.NickName = QStringLiteral("Annabel the Long Named");
    Model.UpdateOrAddUser(false, ukNickname, renamed);
    EXPECT_EQ(tag->DisplayText(), QStringLiteral("Annabel the Long Named(PC-ann)"));
    EXPECT_GT(tag->width(), narrow);
    EXPECT_EQ(tag->pos(), where);
    EXPECT_EQ(bob->DisplayText(), QStringLiteral("bob(PC-bob)"));

    TOnlineNotify busy = renamed;
    busy.OnlineState = 1;
    Model.UpdateOrAddUser(false, ukState, busy);
    EXPECT_EQ(tag->StateImage(), OnlineStateMenu::MenuImageName(TOnlineState::Busy));
    EXPECT_EQ(bob->StateImage(), OnlineStateMenu::MenuImageName(TOnlineState::Online));

    Params()[bpOnlyUserNickname] = true;
    Floats->RefreshFloatingWindow(Model.FindUserNode(QStringLiteral("{ann}"), {}, {}));
    EXPECT_EQ(tag->DisplayText(), QStringLiteral("Annabel the Long Named"));
}

TEST_F(FloatTags, ClosedWhenTheUserLeavesTheList) {
    QPointer<TFloatWindow> ann = Floats->ShowFloatingWindow(Ann());
    QPointer<TFloatWindow> bob = Floats->ShowFloatingWindow(UserByNick(Model, "bob"));
    QStringList closed;
    QObject::connect(Floats.get(), &TOnlineFloatWindow::TagClosed, [&closed](const QString& key) { closed << key; });
    ann->move(222, 111);
    Model.RemoveUser(AnnPeer());
    EXPECT_EQ(Floats->Tags(), QList<TFloatWindow*>{bob.data()});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(ann.isNull());
    EXPECT_EQ(closed, QStringList{NamedPeerKey(QStringLiteral("ann"))});
    EXPECT_EQ(Ini().ReadInteger(QStringLiteral("FloatWindowLeft"), QStringLiteral("PC-ann10.0.0.1"), -1), 222);

    // Everybody leaves with the list.
    Model.ClearUserList();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(bob.isNull());
    EXPECT_TRUE(Floats->Tags().isEmpty());
}

TEST_F(FloatTags, DoubleClickMenuAndDroppedFiles) {
    TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
    ASSERT_NE(tag, nullptr);
    QTest::mouseDClick(tag, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Opened, QStringList{QStringLiteral("ann")});

    const QList<QAction*> items = Floats->Menu()->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Send Message..."));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Send File(s)..."));
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), QStringLiteral("Close Floating Window"));
    // The menu acts on the tag last right-clicked.
    Floats->TagMenuRequested(tag, QPoint(10, 10));
    Floats->Menu()->hide();
    items[0]->trigger();
    items[1]->trigger();
    EXPECT_EQ(Opened.size(), 2);
    EXPECT_EQ(Sent, QStringList{QStringLiteral("ann")});
    EXPECT_EQ(SentPaths, QList<QStringList>{QStringList()});

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")), QUrl::fromLocalFile(QStringLiteral("/tmp/dir"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(tag, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(tag, &drop);
    ASSERT_EQ(SentPaths.size(), 2);
    EXPECT_EQ(SentPaths.last(), (QStringList{QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/dir")}));

    items[3]->trigger();
    EXPECT_TRUE(Floats->Tags().isEmpty());
}

TEST_F(FloatTags, DraggingStopsAtTheDesktopEdge) {
    TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
    ASSERT_NE(tag, nullptr);
    tag->move(100, 100);
    const QPoint grip(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(grip), QPointF(tag->pos() + grip), Qt::LeftButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(tag, &press);
    QMouseEvent drag(QEvent::MouseMove, QPointF(grip), QPointF(3000, 3000), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(tag, &drag);
    EXPECT_EQ(tag->geometry().bottomRight(), QPoint(1023, 767));
    QMouseEvent back(QEvent::MouseMove, QPointF(grip), QPointF(405, 305), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(tag, &back);
    EXPECT_EQ(tag->pos(), QPoint(400, 300));
}

TEST_F(FloatTags, ColoursFollowTheScheme) {
    TFloatWindow* tag = Floats->ShowFloatingWindow(Ann());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->BorderColor(), QColor(132, 172, 238));
    EXPECT_EQ(tag->GradientStart(), QColor(233, 241, 255));
    Floats->SetFloatingWindowColors(QStringLiteral("Silver"), Qt::white, Qt::gray);
    EXPECT_EQ(tag->BorderColor(), QColor(160, 160, 160));
    EXPECT_EQ(tag->GradientEnd(), QColor(Qt::gray));
    Floats->SetFloatingWindowColors(QStringLiteral("blue"), Qt::white, Qt::blue);
    EXPECT_EQ(tag->BorderColor(), QColor(132, 172, 238));
    // A tag made later takes the colours in use.
    TFloatWindow* bob = Floats->ShowFloatingWindow(UserByNick(Model, "bob"));
    EXPECT_EQ(bob->GradientEnd(), QColor(Qt::blue));
}

} // namespace
