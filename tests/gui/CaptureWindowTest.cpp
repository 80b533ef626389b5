// Screen capture: the state machine (selecting, moving against the edges,
// cancelling), the tips, the capture window on a known picture, and the
// message window pasting the captured area or saying why there is none.
#include "support/CaseName.h"
#include "support/MsgFormFixture.h"

#include "text/RtfReaderUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "ui/CaptureWindowUnit.h"
#include "ui/ScreenGrabUnit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>
#include <ostream>

namespace {

const QRect kScreen(0, 0, 1024, 768);

// ---------------------------------------------------------------- the states

TEST(CaptureState, ClickWithoutDragSelectsNothing) {
    TCaptureState state(kScreen);
    state.LeftDown(QPoint(100, 100));
    EXPECT_TRUE(state.Selecting());
    EXPECT_FALSE(state.TipVisible());
    EXPECT_FALSE(state.MouseMove(QPoint(100, 100), true));
    state.LeftUp(QPoint(100, 100));
    EXPECT_FALSE(state.Selected());
    EXPECT_FALSE(state.CanCapture());
    EXPECT_TRUE(state.TipVisible());
    EXPECT_EQ(state.Tip(QPoint(100, 100)), TCaptureTip::Select);
    EXPECT_EQ(state.Cursor(QPoint(100, 100)), TCaptureCursor::Cross);
}

TEST(CaptureState, DragSpansFromEitherCorner) {
    TCaptureState state(kScreen);
    state.LeftDown(QPoint(300, 200));
    EXPECT_TRUE(state.MouseMove(QPoint(100, 150), true));
    EXPECT_EQ(state.Selection(), QRect(100, 150, 200, 50));
    state.LeftUp(QPoint(120, 160));
    ASSERT_TRUE(state.Selected());
    EXPECT_EQ(state.Selection(), QRect(120, 160, 180, 40));
    EXPECT_EQ(state.Tip(QPoint(150, 170)), TCaptureTip::Inside);
    EXPECT_EQ(state.Cursor(QPoint(150, 170)), TCaptureCursor::Move);
    // The far edges are outside.
    EXPECT_EQ(state.Tip(QPoint(300, 170)), TCaptureTip::Outside);
    EXPECT_EQ(state.Cursor(QPoint(300, 170)), TCaptureCursor::Arrow);
    EXPECT_EQ(state.Tip(QPoint(119, 170)), TCaptureTip::Outside);
}

TEST(CaptureState, EscTwiceReselectsThenEnds) {
    TCaptureState state(kScreen);
    state.LeftDown(QPoint(10, 10));
    state.MouseMove(QPoint(60, 60), true);
    state.LeftUp(QPoint(60, 60));
    ASSERT_TRUE(state.Selected());
    EXPECT_EQ(state.Cancel(), TCaptureCancel::Reselect);
    EXPECT_FALSE(state.Selected());
    EXPECT_EQ(state.Tip(QPoint(30, 30)), TCaptureTip::Select);
    EXPECT_EQ(state.Cancel(), TCaptureCancel::End);
}

struct TMoveCase {
    const char* Name;
    QPoint Grab;   // where the left button goes down
    QPoint Drop;   // where the mouse goes with it held
    QRect Expected;
};

void PrintTo(const TMoveCase& c, std::ostream* os) { *os << c.Name; }

class CaptureMove : public ::testing::TestWithParam<TMoveCase> {};

TEST_P(CaptureMove, StopsAtTheEdgesKeepingItsSize) {
    const TMoveCase& c = GetParam();
    TCaptureState state(kScreen);
    state.LeftDown(QPoint(100, 100));
    state.MouseMove(QPoint(300, 200), true);
    state.LeftUp(QPoint(300, 200));
    ASSERT_EQ(state.Selection(), QRect(100, 100, 200, 100));
    state.LeftDown(c.Grab);
    // In steps, as a mouse goes, then past the target and back.
    state.MouseMove((c.Grab + c.Drop) / 2, true);
    state.MouseMove(c.Drop, true);
    state.LeftUp(c.Drop);
    EXPECT_EQ(state.Selection(), c.Expected);
    EXPECT_EQ(state.Selection().size(), QSize(200, 100));
    EXPECT_TRUE(state.Selected());
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CaptureMove,
    ::testing::Values(TMoveCase{"Inside", QPoint(150, 150), QPoint(160, 170), QRect(110, 120, 200, 100)},
                      TMoveCase{"PastRight", QPoint(150, 150), QPoint(5000, 150), QRect(824, 100, 200, 100)},
                      TMoveCase{"PastLeft", QPoint(150, 150), QPoint(-5000, 150), QRect(0, 100, 200, 100)},
                      TMoveCase{"PastBottom", QPoint(150, 150), QPoint(150, 5000), QRect(100, 668, 200, 100)},
                      TMoveCase{"PastTop", QPoint(150, 150), QPoint(150, -5000), QRect(100, 0, 200, 100)},
                      TMoveCase{"PastCorner", QPoint(299, 199), QPoint(4000, 4000), QRect(824, 668, 200, 100)},
                      // Grabbed outside the rectangle: it stays.
                      TMoveCase{"GrabbedOutside", QPoint(50, 50), QPoint(400, 400), QRect(100, 100, 200, 100)}),
    TCaseName());

TEST(CaptureState, MoveAfterTheEdgeFollowsTheMouseBack) {
    TCaptureState state(kScreen);
    state.LeftDown(QPoint(100, 100));
    state.MouseMove(QPoint(300, 200), true);
    state.LeftUp(QPoint(300, 200));
    state.LeftDown(QPoint(150, 150));
    state.MouseMove(QPoint(1000, 150), true);
    EXPECT_EQ(state.Selection().x(), 824);
    state.MouseMove(QPoint(990, 150), true);
    EXPECT_EQ(state.Selection().x(), 814);
}

struct TTipCase {
    const char* Name;
    QPoint Mouse;
    QPoint Expected;
};

void PrintTo(const TTipCase& c, std::ostream* os) { *os << c.Name; }

class CaptureTipPlace : public ::testing::TestWithParam<TTipCase> {};

TEST_P(CaptureTipPlace, BesideTheMouseOnTheScreen) {
    const TTipCase& c = GetParam();
    EXPECT_EQ(TCaptureState::TipPosition(c.Mouse, QSize(200, 40), kScreen), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sides, CaptureTipPlace,
    ::testing::Values(TTipCase{"RightBelow", QPoint(100, 100), QPoint(115, 115)},
                      TTipCase{"JustFits", QPoint(809, 713), QPoint(824, 728)},
                      TTipCase{"LeftWhenPastRight", QPoint(810, 100), QPoint(595, 115)},
                      TTipCase{"AboveWhenPastBottom", QPoint(100, 714), QPoint(115, 659)},
                      TTipCase{"LeftAboveWhenPastBoth", QPoint(1000, 760), QPoint(785, 705)}),
    TCaseName());

TEST(CaptureTip, WiderThanTheRoomOnEitherSideStartsAtTheScreensEdge) {
    EXPECT_EQ(TCaptureState::TipPosition(QPoint(100, 30), QSize(1000, 40), kScreen), QPoint(0, 45));
    EXPECT_EQ(TCaptureState::TipPosition(QPoint(100, 30), QSize(100, 760), kScreen), QPoint(115, 0));
}

// ---------------------------------------------------------------- the window

// A picture no two areas of which look alike.
QImage Pattern(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 3) % 256));
    return image;
}

void Mouse(QWidget* w, QEvent::Type type, const QPoint& at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, {});
    QApplication::sendEvent(w, &event);
}

void Key(QWidget* w, int key) {
    QKeyEvent event(QEvent::KeyPress, key, {});
    QApplication::sendEvent(w, &event);
}

void Select(QWidget* w, const QPoint& from, const QPoint& to) {
    Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

class CaptureWindow : public ::testing::Test {
protected:
    QImage Snapshot = Pattern(QSize(1000, 700));
    QPointer<TCaptureWindow> Window = new TCaptureWindow(Snapshot, QRect(0, 0, 1000, 700));
    QSignalSpy Finished{Window.data(), &TCaptureWindow::Finished};
    ~CaptureWindow() override { delete Window.data(); }
};

TEST_F(CaptureWindow, CapturesTheSelectedPartOfTheOriginalScreen) {
    Window->Start();
    EXPECT_EQ(Window->Hint()->text(), TCaptureWindow::TipText(TCaptureTip::Select));
    Select(Window, QPoint(50, 40), QPoint(150, 120));
    ASSERT_TRUE(Window->State().Selected());
    EXPECT_TRUE(Window->Hint()->isVisible());
    // Released on the far corner, which lies just outside.
    EXPECT_EQ(Window->Hint()->text(), TCaptureWindow::TipText(TCaptureTip::Outside));
    EXPECT_EQ(Window->Hint()->pos(), QPoint(165, 135));
    Mouse(Window, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(Window->Hint()->text(), TCaptureWindow::TipText(TCaptureTip::Inside));
    EXPECT_EQ(Window->Hint()->pos(), QPoint(115, 115));
    // Shown: dark around, bright inside.
    const QImage shown = Window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(10, 10), Snapshot.pixel(10, 10) & 0xFFCCCCCCu);
    EXPECT_EQ(shown.pixel(100, 80), Snapshot.pixel(100, 80));

    Key(Window, Qt::Key_Return);
    ASSERT_EQ(Finished.count(), 1);
    const QImage captured = Finished.first().first().value<QImage>();
    EXPECT_EQ(captured.size(), QSize(100, 80));
    EXPECT_EQ(captured.convertToFormat(QImage::Format_RGB32), Snapshot.copy(50, 40, 100, 80));
    EXPECT_NE(captured.convertToFormat(QImage::Format_RGB32),
              TCaptureState::Darken(Snapshot).copy(50, 40, 100, 80));
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), Snapshot.copy(50, 40, 100, 80));
}

TEST_F(CaptureWindow, EscTwiceLeavesWithoutAPicture) {
    Window->Start();
    Select(Window, QPoint(10, 10), QPoint(60, 60));
    Key(Window, Qt::Key_Escape);
    EXPECT_EQ(Finished.count(), 0);
    EXPECT_FALSE(Window->State().Selected());
    EXPECT_EQ(Window->Hint()->text(), TCaptureWindow::TipText(TCaptureTip::Select));
    // Enter without a selection captures nothing.
    Key(Window, Qt::Key_Return);
    EXPECT_EQ(Finished.count(), 0);
    Key(Window, Qt::Key_Escape);
    ASSERT_EQ(Finished.count(), 1);
    EXPECT_TRUE(Finished.first().first().value<QImage>().isNull());
}

TEST_F(CaptureWindow, RightClickReselectsAndDoubleClickCaptures) {
    Window->Start();
    Select(Window, QPoint(10, 10), QPoint(60, 60));
    Mouse(Window, QEvent::MouseButtonRelease, QPoint(30, 30), Qt::RightButton, Qt::NoButton);
    EXPECT_FALSE(Window->State().Selected());
    EXPECT_EQ(Finished.count(), 0);
    Select(Window, QPoint(200, 100), QPoint(300, 200));
    // Moved by dragging inside, then captured with a double click.
    Select(Window, QPoint(250, 150), QPoint(450, 150));
    EXPECT_EQ(Window->State().Selection(), QRect(400, 100, 100, 100));
    Mouse(Window, QEvent::MouseButtonDblClick, QPoint(450, 150), Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(Finished.count(), 1);
    EXPECT_EQ(Finished.first().first().value<QImage>().convertToFormat(QImage::Format_RGB32),
              Snapshot.copy(400, 100, 100, 100));
}

TEST(CaptureGrab, ScreenPartOfAWholeDesktopPicture) {
    // Two screens of 100x50 side by side, pictured at twice the pixels.
    const QImage whole = Pattern(QSize(400, 100));
    const QImage right = ScreenGrab::ScreenPart(whole, QRect(0, 0, 200, 50), QRect(100, 0, 100, 50));
    EXPECT_EQ(right.devicePixelRatio(), 2.0);
    QImage plain = right;
    plain.setDevicePixelRatio(1.0);
    EXPECT_EQ(plain, whole.copy(200, 0, 200, 100));
    // A capture of it takes the snapshot's own pixels.
    EXPECT_EQ(TCaptureState::Crop(right, QRect(10, 5, 20, 10)), whole.copy(220, 10, 40, 20));
}

// ---------------------------------------------------------------- the message window

class CaptureMessage : public TMsgFormFixture {
protected:
    TNewMsgForm* Form() {
        TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback,
                                                          QStringLiteral("{A}"))});
        form->Input()->setPlainText(QStringLiteral("look:"));
        return form;
    }
    const QString kLoopback = QStringLiteral("127.0.0.1");
};

TEST_F(CaptureMessage, CapturedAreaIsPastedAndSent) {
    ASSERT_TRUE(Start(2000));
    Params()[bpHideWhenCaptureScreen] = true;
    const QImage screen = Pattern(QSize(320, 240));
    bool minimisedWhenTaken = false;
    QPointer<TNewMsgForm> form = Form();
    GrabScreen = [&](QScreen*, QObject*, std::function<void(const TScreenPicture&)> done) {
        minimisedWhenTaken = form && form->isMinimized();
        done({screen, QString()});
    };
    auto* capture = form->findChild<QToolButton*>(QStringLiteral("tbCaptureScreen"));
    ASSERT_TRUE(capture->isEnabled());
    form->StartScreenCapture();
    ASSERT_TRUE(WaitUntil([&] { return form->CaptureWindow() != nullptr; }, 5000));
    EXPECT_TRUE(minimisedWhenTaken);
    TCaptureWindow* window = form->CaptureWindow();
    Select(window, QPoint(20, 30), QPoint(84, 78));
    Key(window, Qt::Key_Enter);
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->Input()->toPlainText().startsWith(QStringLiteral("look:")));
    const QList<TRichPicture> pictures = form->Input()->Document().Pictures();
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_EQ(QImage::fromData(pictures[0].Bytes).convertToFormat(QImage::Format_RGB32), screen.copy(20, 30, 64, 48));

    ASSERT_TRUE(SendAndWait(form));
    ASSERT_TRUE(WaitUntil([&] { return Arrived.size() == 1; }));
    const TRichDocument body = ReadBody(Arrived.first().Body, 0);
    ASSERT_EQ(body.Pictures().size(), 1);
    EXPECT_EQ(QImage::fromData(body.Pictures()[0].Bytes).convertToFormat(QImage::Format_RGB32),
              screen.copy(20, 30, 64, 48));
}

TEST_F(CaptureMessage, ScreenThatCannotBeTakenSaysSoAndLeavesTheMessage) {
    Params()[bpHideWhenCaptureScreen] = true;
    QPointer<TNewMsgForm> form = Form();
    const TRichDocument before = form->Input()->Document();
    GrabScreen = [](QScreen*, QObject*, std::function<void(const TScreenPicture&)> done) {
        done({QImage(), QStringLiteral("The screen cannot be captured on this desktop.")});
    };
    form->StartScreenCapture();
    ASSERT_TRUE(WaitUntil([&] { return !Boxes.isEmpty(); }, 5000));
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("The screen cannot be captured on this desktop.")});
    EXPECT_EQ(form->CaptureWindow(), nullptr);
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(form->Input()->Document(), before);
    // Nothing is left running: a second try asks again.
    form->StartScreenCapture();
    EXPECT_TRUE(WaitUntil([&] { return Boxes.size() == 2; }, 5000));
}

TEST_F(CaptureMessage, EscapingLeavesTheMessage) {
    Params()[bpHideWhenCaptureScreen] = false;
    QPointer<TNewMsgForm> form = Form();
    const TRichDocument before = form->Input()->Document();
    GrabScreen = [](QScreen*, QObject*, std::function<void(const TScreenPicture&)> done) {
        done({Pattern(QSize(100, 100)), QString()});
    };
    form->StartScreenCapture();
    ASSERT_TRUE(WaitUntil([&] { return form->CaptureWindow() != nullptr; }, 5000));
    Key(form->CaptureWindow(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form->CaptureWindow(), nullptr);
    EXPECT_EQ(form->Input()->Document(), before);
    EXPECT_TRUE(Boxes.isEmpty());
}

} // namespace
