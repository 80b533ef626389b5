#include "presence/widgets/OnlineUserViewUnit.h"

#include "core/ParamsUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/UserGroupUnit.h"
#include "support/OnlineListFixture.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QRegion>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <ostream>

namespace {

// ---------------------------------------------------------------- row texts

struct TRowTextCase {
    const char* Name;
    int State;
    bool Responding;
    bool ShowComputer;
    bool ShowAddress;
    const char* Main;
    const char* Detail;
    const char* StateImage;
};
void PrintTo(const TRowTextCase& c, std::ostream* os) { *os << c.Name; }

class RowTexts : public ::testing::TestWithParam<TRowTextCase> {};

TEST_P(RowTexts, MainAndDetail) {
    const TRowTextCase& c = GetParam();
    TUserNodeData user;
    user.NickName = QStringLiteral("Ann");
    user.ComputerName = QStringLiteral("PC1");
    user.IPAddress = QStringLiteral("10.0.0.1");
    user.OnlineState = c.State;
    user.Responding = c.Responding;
    EXPECT_EQ(TOnlineUserDelegate::MainText(user).toStdString(), c.Main);
    EXPECT_EQ(TOnlineUserDelegate::DetailText(user, c.ShowComputer, c.ShowAddress).toStdString(), c.Detail);
    EXPECT_EQ(TOnlineUserDelegate::StateImageName(OnlineStateFromWire(c.State)).toStdString(), c.StateImage);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RowTexts,
    ::testing::Values(TRowTextCase{"BothShown", 0, true, true, true, "Ann", "PC1  10.0.0.1", "ONLINESTATE_PRESENT"},
                      TRowTextCase{"ComputerOnly", 1, true, true, false, "Ann  <Busy>", "PC1", "ONLINESTATE_BUSY"},
                      TRowTextCase{"AddressOnly", 2, true, false, true, "Ann  <Away>", "10.0.0.1", "ONLINESTATE_AWAY"},
                      TRowTextCase{"NothingShown", 0, true, false, false, "Ann", "", "ONLINESTATE_PRESENT"},
                      TRowTextCase{"SilentUserWhateverIsShown", 1, false, false, false, "Ann  <Busy>",
                                   "No response within 5 minutes", "ONLINESTATE_BUSY"},
                      TRowTextCase{"UnknownStateHasNoSuffixNorImage", 7, true, true, true, "Ann", "PC1  10.0.0.1", ""}),
    TCaseName());

TEST(OnlineUserDelegate, DrawingStartsByLevelAndKind) {
    const QRect row(0, 40, 200, 22);
    EXPECT_EQ(TOnlineUserDelegate::DrawLeft(row, true), 4);
    EXPECT_EQ(TOnlineUserDelegate::DrawLeft(row, false), 9); // indent 19 / 2
    TUserNodeData group;
    group.IsGroup = true;
    EXPECT_EQ(TOnlineUserDelegate::ToggleImageName(group, false), QStringLiteral("GROUP_ARROW_LEFT"));
    EXPECT_EQ(TOnlineUserDelegate::ToggleImageName(group, true), QStringLiteral("GROUP_ARROW_DOWN"));
    TUserNodeData user;
    user.Checked = true;
    EXPECT_EQ(TOnlineUserDelegate::ToggleImageName(user, false), QStringLiteral("U_CHECKBOX_CHECKED"));
}

// --------------------------------------------------------------------- view

// Collects the regions a widget is asked to paint.
class TPaintRecorder : public QObject {
public:
    TPaintRecorder(QWidget* widget, QRegion* painted) : FPainted(painted) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) *FPainted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

private:
    QRegion* FPainted;
};


// Favorite Contacts: f1; Sales: s1 s2; Empty.
class OnlineUserViewTest : public TOnlineListFixture {
protected:
    OnlineUserViewTest() : TOnlineListFixture(QStringLiteral("Empty")) {
        View.resize(320, 300);
        View.show();
    }

    const TUserNodeData& Node(const QModelIndex& index) const { return *Model.NodeData(index); }
    // A point on the row's text, away from the toggle area.
    QPoint TextPoint(const QModelIndex& index) const {
        const QRect toggle = View.ToggleRect(index);
        return {toggle.right() + 40, toggle.center().y()};
    }
    void ExpandAll() {
        for (int g = 0; g < Model.rowCount(); ++g) View.expand(Model.GroupIndex(g));
    }
    void MoveTo(const QModelIndex& row) {
        const QPoint pos = TextPoint(row);
        QMouseEvent move(QEvent::MouseMove, pos, View.viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(View.viewport(), &move);
    }
    QColor PixelAtRowEnd(const QModelIndex& index) {
        const QImage image = View.viewport()->grab().toImage();
        const QRect rect = View.visualRect(index);
        return image.pixelColor(View.viewport()->width() - 6, rect.center().y());
    }
};

TEST_F(OnlineUserViewTest, FavoriteContactsSelectedAsTheListIsBuilt) {
    EXPECT_EQ(View.SelectedRow(), Model.GroupIndex(0));
    EXPECT_FALSE(View.IsUserSelected());
}

TEST_F(OnlineUserViewTest, ToggleAreaTicksUsersAndOpensGroups) {
    QWidget* viewport = View.viewport();
    const QModelIndex sales = Group("Sales");
    QTest::mouseClick(viewport, Qt::LeftButton, {}, View.ToggleRect(sales).center());
    EXPECT_TRUE(View.isExpanded(sales));
    EXPECT_EQ(View.SelectedRow(), sales);

    const QModelIndex s1 = User("s1");
    QTest::mouseClick(viewport, Qt::LeftButton, {}, View.ToggleRect(s1).center());
    EXPECT_TRUE(Node(s1).Checked);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, TextPoint(s1));
    EXPECT_TRUE(Node(s1).Checked); // outside the area: selects only
    QTest::mouseClick(viewport, Qt::LeftButton, {}, View.ToggleRect(s1).center());
    EXPECT_FALSE(Node(s1).Checked);
    // Just left of the area (the user row's area starts further in than a group's).
    QTest::mouseClick(viewport, Qt::LeftButton, {}, View.ToggleRect(s1).topLeft() + QPoint(-2, 3));
    EXPECT_FALSE(Node(s1).Checked);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, View.ToggleRect(sales).center());
    EXPECT_FALSE(View.isExpanded(sales));
    const QModelIndex empty = Group("Empty");
    QTest::mouseClick(viewport, Qt::LeftButton, {}, View.ToggleRect(empty).center());
    EXPECT_FALSE(View.isExpanded(empty)); // a group opens only while it has users
}

TEST_F(OnlineUserViewTest, DoubleClickOnTheToggleAreaTogglesTwice) {
    ExpandAll();
    const QModelIndex s1 = User("s1");
    QSignalSpy send(&View, &TOnlineUserView::SendMessageRequested);
    // Through the window, as the desktop delivers it: press, release, double click, release.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&View));
    const auto doubleClick = [this](const QPoint& pos) {
        QTest::mouseDClick(View.windowHandle(), Qt::LeftButton, {}, View.viewport()->mapTo(&View, pos));
    };
    doubleClick(View.ToggleRect(s1).center());
    EXPECT_FALSE(Node(s1).Checked);
    EXPECT_EQ(send.count(), 0);
    doubleClick(TextPoint(s1));
    EXPECT_EQ(send.count(), 1);
    EXPECT_EQ(View.SelectedRow(), s1);
    EXPECT_FALSE(Node(s1).Checked);

    const QModelIndex sales = Group("Sales");
    doubleClick(TextPoint(sales));
    EXPECT_FALSE(View.isExpanded(sales));
    EXPECT_EQ(send.count(), 1);
}

TEST_F(OnlineUserViewTest, SpaceTicksEnterSendsOrToggles) {
    ExpandAll();
    QSignalSpy send(&View, &TOnlineUserView::SendMessageRequested);
    View.setFocus();
    View.setCurrentIndex(User("f1"));
    QTest::keyClick(&View, Qt::Key_Space);
    EXPECT_TRUE(Node(User("f1")).Checked);
    QTest::keyClick(&View, Qt::Key_Return);
    EXPECT_EQ(send.count(), 1);

    const QModelIndex sales = Group("Sales");
    View.setCurrentIndex(sales);
    QTest::keyClick(&View, Qt::Key_Space);
    QTest::keyClick(&View, Qt::Key_Enter);
    EXPECT_FALSE(View.isExpanded(sales));
    QTest::keyClick(&View, Qt::Key_Return);
    EXPECT_TRUE(View.isExpanded(sales));
    EXPECT_EQ(send.count(), 1);
}

TEST_F(OnlineUserViewTest, SelectionReportsUserRowsAndEmptyClickClears) {
    ExpandAll();
    QSignalSpy changed(&View, &TOnlineUserView::UserSelectionChanged);
    QTest::mouseClick(View.viewport(), Qt::LeftButton, {}, TextPoint(User("s2")));
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(changed.last().at(0).toBool());
    QTest::mouseClick(View.viewport(), Qt::LeftButton, {}, TextPoint(Group("Empty")));
    EXPECT_FALSE(changed.last().at(0).toBool());

    QTest::mouseClick(View.viewport(), Qt::LeftButton, {}, QPoint(50, View.viewport()->height() - 3));
    EXPECT_FALSE(View.SelectedRow().isValid());
    // The right button on the empty area keeps the selection.
    View.setCurrentIndex(User("s1"));
    QTest::mouseClick(View.viewport(), Qt::RightButton, {}, QPoint(50, View.viewport()->height() - 3));
    EXPECT_EQ(View.SelectedRow(), User("s1"));
}

TEST_F(OnlineUserViewTest, ContextMenuSelectsTheRowUnderThePointerFirst) {
    ExpandAll();
    QSignalSpy menu(&View, &TOnlineUserView::OnlineMenuRequested);
    const QPoint pos = TextPoint(User("s2"));
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, View.viewport()->mapToGlobal(pos));
    QApplication::sendEvent(View.viewport(), &event);
    ASSERT_EQ(menu.count(), 1);
    EXPECT_EQ(View.SelectedRow(), User("s2"));

    // The menu key keeps the selection whatever the pointer is over.
    const QPoint elsewhere = TextPoint(User("f1"));
    QContextMenuEvent key(QContextMenuEvent::Keyboard, elsewhere, View.viewport()->mapToGlobal(elsewhere));
    QApplication::sendEvent(View.viewport(), &key);
    ASSERT_EQ(menu.count(), 2);
    EXPECT_EQ(View.SelectedRow(), User("s2"));
}

TEST_F(OnlineUserViewTest, HoverMarksOneRowAndLeavingClearsIt) {
    ExpandAll();
    QSignalSpy changed(&Model, &QAbstractItemModel::dataChanged);
    for (const QModelIndex& row : {User("s1"), User("s2")}) MoveTo(row);
    EXPECT_EQ(View.HotRow(), User("s2"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(View.viewport(), &leave);
    EXPECT_FALSE(View.HotRow().isValid());
    // Hovering is the view's business: the model hears nothing of it.
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(OnlineUserViewTest, OneHotRowAtATime) {
    ExpandAll();
    View.SetHotRow(User("s1"));
    View.SetHotRow(Group("Empty"));
    EXPECT_EQ(View.HotRow(), Group("Empty"));
    View.SetHotRow({});
    EXPECT_FALSE(View.HotRow().isValid());
    // A hot row that goes away leaves no hot row behind.
    View.SetHotRow(User("f1"));
    Model.DeleteUserNode(User("f1"));
    EXPECT_FALSE(View.HotRow().isValid());
}

// Moving the hot row from one row to the next repaints those two rows, not the list.
TEST_F(OnlineUserViewTest, HoverRepaintsOnlyTheRowsItLeavesAndEnters) {
    ExpandAll();
    QRegion painted;
    TPaintRecorder recorder(View.viewport(), &painted);
    const auto paintedWhile = [&painted](const std::function<void()>& act) {
        QApplication::processEvents(); // whatever was pending before
        painted = QRegion();
        act();
        QApplication::processEvents();
        return painted;
    };
    const auto rowOf = [this](const QModelIndex& index) {
        const QRect item = View.visualRect(index);
        return QRect(0, item.top(), View.viewport()->width(), item.height());
    };
    const QRegion rows = QRegion(rowOf(User("s1"))) + rowOf(User("s2"));

    View.SetHotRow(User("s1"));
    const QRegion direct = paintedWhile([this] { View.SetHotRow(User("s2")); });
    EXPECT_TRUE(direct.subtracted(rows).isEmpty()) << "painted outside the two rows";
    EXPECT_TRUE(rows.subtracted(direct).isEmpty()) << "a row was left stale";

    // The same by the pointer.
    MoveTo(User("s1"));
    const QRegion moved = paintedWhile([this] { MoveTo(User("s2")); });
    EXPECT_EQ(View.HotRow(), User("s2"));
    EXPECT_TRUE(moved.subtracted(rows).isEmpty()) << "painted outside the two rows";
    EXPECT_TRUE(rows.subtracted(moved).isEmpty()) << "a row was left stale";
}

// The window's parts go down in some order at exit: a list whose model is
// already gone must not reach for it.
TEST(OnlineUserViewLifetime, AModelThatGoesFirstIsForgotten) {
    TTempHome home;
    TUserGroup groups(home.File(QStringLiteral("UserGroup.ini")));
    TOnlineUserView view;
    auto model = std::make_unique<TOnlineUserModel>(groups, TSelfIdentity{});
    model->LoadGroupNodes(true);
    model->AddUserNode(false, NamedPeer(QStringLiteral("u1")));
    view.setModel(model.get());
    view.resize(200, 200);
    ASSERT_EQ(view.OnlineModel(), model.get());
    model.reset();
    EXPECT_EQ(view.OnlineModel(), nullptr);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.viewport(), &leave);
    const QPoint pos(30, 10);
    QMouseEvent move(QEvent::MouseMove, pos, view.viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(view.viewport(), &move);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(&view, &space);
}

TEST_F(OnlineUserViewTest, BackgroundsFollowSelectionHoverAndExpansion) {
    ExpandAll();
    View.setCurrentIndex(User("s1"));
    EXPECT_EQ(PixelAtRowEnd(User("s1")), QColor(205, 224, 254));
    EXPECT_EQ(PixelAtRowEnd(Group("Sales")), QColor(254, 217, 205)); // expanded, not selected
    const QColor plain = PixelAtRowEnd(User("s2"));
    EXPECT_NE(plain, QColor(205, 224, 254));
    View.SetHotRow(User("s2"));
    EXPECT_EQ(PixelAtRowEnd(User("s2")), QColor(205, 224, 254));
    View.setCurrentIndex(Group("Sales"));
    EXPECT_EQ(PixelAtRowEnd(Group("Sales")), QColor(254, 217, 205)); // selected and expanded
    View.collapse(Group("Sales"));
    EXPECT_EQ(PixelAtRowEnd(Group("Sales")), QColor(205, 224, 254));
    View.expandAll();
    EXPECT_EQ(PixelAtRowEnd(Group("Empty")), plain); // never drawn open
}

TEST_F(OnlineUserViewTest, RowsAreTheDefaultHeightPlusFour) {
    EXPECT_EQ(View.visualRect(Model.GroupIndex(0)).height(), TOnlineUserDelegate::RowHeight(View.fontMetrics()));
    EXPECT_EQ(TOnlineUserDelegate::RowHeight(View.fontMetrics()), qMax(View.fontMetrics().height(), 16) + 2 + 4);
}

TEST_F(OnlineUserViewTest, GroupLosingItsLastUserCloses) {
    ExpandAll();
    ASSERT_TRUE(View.isExpanded(Model.GroupIndex(0)));
    Model.MoveUserToGroup(User("f1"), Group("Sales"));
    EXPECT_FALSE(View.isExpanded(Model.GroupIndex(0)));
    EXPECT_TRUE(View.isExpanded(Group("Sales")));
}

QMimeData* DragData(const void* source) {
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(TOnlineUserView::DragMimeType), QByteArray::number(quintptr(source)));
    return mime;
}

// Drag events reach the list as the desktop sends them: an accepted enter
// makes it the target of the moves and the drop that follow.
class TDragSession {
public:
    TDragSession(QWidget* viewport, const QMimeData* mime) : FViewport(viewport), FMime(mime) {}
    ~TDragSession() {
        QDragLeaveEvent leave;
        QApplication::sendEvent(FViewport, &leave);
    }
    bool Enter(const QPoint& pos) {
        QDragEnterEvent event(pos, Qt::MoveAction, FMime, Qt::LeftButton, {});
        QApplication::sendEvent(FViewport, &event);
        return event.isAccepted();
    }
    bool Move(const QPoint& pos) {
        QDragMoveEvent event(pos, Qt::MoveAction, FMime, Qt::LeftButton, {});
        QApplication::sendEvent(FViewport, &event);
        return event.isAccepted();
    }
    bool Drop(const QPoint& pos) {
        QDropEvent event(pos, Qt::MoveAction, FMime, Qt::LeftButton, {});
        QApplication::sendEvent(FViewport, &event);
        return event.isAccepted();
    }

private:
    QWidget* FViewport;
    const QMimeData* FMime;
};

TEST_F(OnlineUserViewTest, DropsFollowTheModelsRules) {
    ExpandAll();
    View.setCurrentIndex(User("s1"));
    const std::unique_ptr<QMimeData> own(DragData(&View));
    const std::unique_ptr<QMimeData> foreign(DragData(&Model));
    const QPoint onS2 = TextPoint(User("s2"));
    const QPoint emptyArea(50, View.viewport()->height() - 3);

    EXPECT_FALSE(TDragSession(View.viewport(), foreign.get()).Enter(onS2));
    {
        TDragSession drag(View.viewport(), own.get());
        ASSERT_TRUE(drag.Enter(onS2));
        EXPECT_FALSE(drag.Move(emptyArea));
        EXPECT_FALSE(drag.Move(TextPoint(User("s1")))); // onto itself
        EXPECT_TRUE(drag.Move(onS2));
        EXPECT_TRUE(drag.Drop(onS2));
    }
    EXPECT_EQ(Node(Model.index(0, 0, Group("Sales"))).NickName, QStringLiteral("s2"));
    EXPECT_EQ(View.SelectedRow(), User("s1")); // the dragged row stays selected

    // A group is never dropped onto a user.
    View.setCurrentIndex(Group("Empty"));
    {
        TDragSession drag(View.viewport(), own.get());
        ASSERT_TRUE(drag.Enter(TextPoint(User("f1"))));
        EXPECT_FALSE(drag.Move(TextPoint(User("f1"))));
        EXPECT_FALSE(drag.Drop(TextPoint(User("f1"))));
    }
    EXPECT_EQ(Model.rowCount(Model.GroupIndex(0)), 1);
    EXPECT_EQ(Model.rowCount(Group("Empty")), 0);
}

} // namespace
