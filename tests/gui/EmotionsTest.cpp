#include "text/widgets/EmotionsUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMovie>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

namespace {

const QSize kGrid(TQLMEmotions::Width, TQLMEmotions::Height);
const QRect kDesktop(0, 0, 1024, 768);

// ------------------------------------------------------------ placement

struct TPlacementCase {
    const char* Name;
    QRect Button;
    QRect Desktop;
    QPoint Origin;
};

void PrintTo(const TPlacementCase& c, std::ostream* os) { *os << c.Name; }

class EmotionsPlacement : public ::testing::TestWithParam<TPlacementCase> {};

TEST_P(EmotionsPlacement, AtTheEmotionsButton) {
    const TPlacementCase& c = GetParam();
    EXPECT_EQ(EmotionsGridOrigin(c.Button, c.Desktop, kGrid), c.Origin);
}

INSTANTIATE_TEST_SUITE_P(
    DesktopEdges, EmotionsPlacement,
    ::testing::Values(
        // Room everywhere: below the button, left edges lined up.
        TPlacementCase{"Below", QRect(100, 100, 24, 22), kDesktop, QPoint(100, 122)},
        // Bottom: the grid would pass it, so it opens above the button.
        TPlacementCase{"AboveAtTheBottom", QRect(100, 700, 24, 22), kDesktop, QPoint(100, 700 - 151)},
        // Exactly reaching the bottom still fits; one pixel more does not.
        TPlacementCase{"BottomExactlyFits", QRect(100, 595, 24, 22), kDesktop, QPoint(100, 617)},
        TPlacementCase{"BottomOnePixelOver", QRect(100, 596, 24, 22), kDesktop, QPoint(100, 596 - 151)},
        // Right: the grid ends where the button begins.
        TPlacementCase{"LeftOfTheButtonAtTheRight", QRect(900, 100, 24, 22), kDesktop, QPoint(900 - 251, 122)},
        TPlacementCase{"RightExactlyFits", QRect(773, 100, 24, 22), kDesktop, QPoint(773, 122)},
        TPlacementCase{"RightOnePixelOver", QRect(774, 100, 24, 22), kDesktop, QPoint(774 - 251, 122)},
        TPlacementCase{"BottomRightCorner", QRect(990, 740, 24, 22), kDesktop, QPoint(990 - 251, 740 - 151)},
        // Left: a button that starts left of the desktop puts the grid at its right edge.
        TPlacementCase{"ButtonPastTheLeftEdge", QRect(-10, 100, 24, 22), kDesktop, QPoint(14, 122)},
        TPlacementCase{"ButtonAtTheLeftEdge", QRect(0, 100, 24, 22), kDesktop, QPoint(0, 122)},
        // Top: a desktop below a top task bar; the button at its top edge opens downwards.
        TPlacementCase{"TopEdge", QRect(200, 30, 24, 22), QRect(0, 30, 1024, 738), QPoint(200, 52)},
        // The rules look at the desktop's own edges, not at the screen origin.
        TPlacementCase{"SecondScreenBottomRight", QRect(1780, 560, 24, 22), QRect(1024, 0, 800, 600),
                       QPoint(1780 - 251, 560 - 151)},
        TPlacementCase{"SecondScreenPastItsLeftEdge", QRect(1014, 100, 24, 22), QRect(1024, 0, 800, 600),
                       QPoint(1038, 122)},
        // Left of the button would leave the desktop (it is narrower than the
        // grid beside the button): the grid is moved onto it.
        TPlacementCase{"NarrowDesktopKeepsTheGridOnIt", QRect(100, 100, 24, 22), QRect(0, 0, 300, 600),
                       QPoint(0, 122)},
        // Above the button would pass the top of a short desktop: moved down onto it.
        TPlacementCase{"ShortDesktopKeepsTheGridOnIt", QRect(100, 120, 24, 22), QRect(0, 0, 800, 200),
                       QPoint(100, 0)}),
    TCaseName());

// ------------------------------------------------------------- the grid

// A program folder with a copy of the shipped emoticons that a test may
// change, and an owner window for the grid.
class EmotionsGrid : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(Folder()));
        for (int i = 0; i < TQLMEmotions::Count; ++i) {
            const QString name = QStringLiteral("/%1.gif").arg(i);
            ASSERT_TRUE(QFile::copy(RuntimeDir() + QStringLiteral("/Emotions") + name, Folder() + name)) << i;
        }
        FOwner.resize(400, 300);
        FOwner.show();
    }

    QString Folder() const { return FHome.File(QStringLiteral("Emotions")); }
    void Remove(int index) { ASSERT_TRUE(QFile::remove(TQLMEmotions::FileName(Folder(), index))); }

    TQLMEmotions* Open(const QRect& button = QRect(100, 100, 24, 22)) {
        auto* grid = new TQLMEmotions(&FOwner, Folder());
        FAnswers = std::make_unique<QSignalSpy>(grid, &TQLMEmotions::Answered);
        grid->Popup(button, kDesktop);
        EXPECT_TRUE(QTest::qWaitFor([grid] { return grid->IsLoaded(); }, 5000));
        return grid;
    }

    static void Hover(TQLMEmotions* grid, int index) {
        QTest::mouseMove(grid, TQLMEmotions::CellRect(index).center());
    }

    // The answer the grid gave, after it is gone.
    void ExpectAnswer(QPointer<TQLMEmotions>& grid, int index) {
        ASSERT_TRUE(QTest::qWaitFor([&grid] { return grid.isNull(); }, 5000)) << "the grid stays open";
        ASSERT_EQ(FAnswers->size(), 1);
        EXPECT_EQ(FAnswers->at(0).at(0).toInt(), index);
        EXPECT_EQ(FAnswers->at(0).at(1).toString(),
                  index >= 0 ? TQLMEmotions::FileName(Folder(), index) : QString());
    }

    TTempHome FHome;
    QWidget FOwner;
    std::unique_ptr<QSignalSpy> FAnswers;
};

TEST_F(EmotionsGrid, TenBySixCellsOf24PixelsWithLinesBetween) {
    QPointer<TQLMEmotions> grid = Open();
    EXPECT_EQ(grid->size(), QSize(251, 151));
    EXPECT_EQ(TQLMEmotions::CellRect(0), QRect(1, 1, 24, 24));
    // Number 23 is row 2, column 3.
    EXPECT_EQ(TQLMEmotions::CellRect(23), QRect(1 + 3 * 25, 1 + 2 * 25, 24, 24));
    EXPECT_EQ(TQLMEmotions::CellRect(59).bottomRight(), QPoint(249, 149));
    EXPECT_EQ(grid->Selected(), -1);
    EXPECT_FALSE(grid->IsPreviewVisible());
    EXPECT_EQ(grid->pos(), QPoint(100, 122));
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->parentWidget(), &FOwner);
}

TEST_F(EmotionsGrid, PopupPlacesTheGridByTheRules) {
    QPointer<TQLMEmotions> grid = Open(QRect(990, 740, 24, 22));
    EXPECT_EQ(grid->pos(), QPoint(990 - 251, 740 - 151));
    grid->close();

    // Without a desktop: the available area of the screen under the button.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect button(screen.right() - 30, screen.bottom() - 30, 24, 22);
    QPointer<TQLMEmotions> second = new TQLMEmotions(&FOwner, Folder());
    second->Popup(button);
    EXPECT_EQ(second->pos(), EmotionsGridOrigin(button, screen, kGrid));
    EXPECT_EQ(second->pos(), QPoint(button.left() - 251, button.top() - 151));
    second->close();
}

TEST_F(EmotionsGrid, HoverBeforeTheFilesAreReadShowsThePreviewOnceRead) {
    QPointer<TQLMEmotions> grid = new TQLMEmotions(&FOwner, Folder());
    grid->Popup(QRect(100, 100, 24, 22), kDesktop);
    ASSERT_FALSE(grid->IsLoaded());
    Hover(grid, 8);
    EXPECT_EQ(grid->Selected(), 8);
    ASSERT_TRUE(QTest::qWaitFor([&grid] { return grid->IsLoaded(); }, 5000));
    EXPECT_TRUE(grid->IsPreviewVisible());
    EXPECT_EQ(grid->PreviewCorner(), TQLMEmotions::pcTopLeft);
    grid->close();
}

TEST_F(EmotionsGrid, MissingOrBrokenFilesLeaveTheirCellsEmpty) {
    Remove(5);
    Remove(23);
    FHome.Write(QStringLiteral("Emotions/7.gif"), "GIF89a broken");
    // A good picture padded past the size no emoticon has.
    QByteArray huge = FHome.Read(QStringLiteral("Emotions/8.gif"));
    huge.append(QByteArray(TQLMEmotions::MaxFileBytes, '\0'));
    FHome.Write(QStringLiteral("Emotions/9.gif"), huge);
    QPointer<TQLMEmotions> grid = Open();
    for (int i = 0; i < TQLMEmotions::Count; ++i)
        EXPECT_EQ(grid->HasImage(i), i != 5 && i != 23 && i != 7 && i != 9) << i;

    // An empty cell shows nothing but the background; a full one its picture.
    const QImage shot = grid->grab().toImage();
    const QColor background = grid->palette().color(QPalette::Base);
    auto uniform = [&](int index) {
        const QRect inside = TQLMEmotions::CellRect(index).adjusted(2, 2, -2, -2);
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if (shot.pixelColor(x, y) != background) return false;
        return true;
    };
    EXPECT_TRUE(uniform(5));
    EXPECT_TRUE(uniform(23));
    EXPECT_TRUE(uniform(7));
    EXPECT_TRUE(uniform(9));
    EXPECT_FALSE(uniform(6));

    // No preview for it, and picking it is no pick.
    Hover(grid, 6);
    EXPECT_TRUE(grid->IsPreviewVisible());
    Hover(grid, 5);
    EXPECT_EQ(grid->Selected(), 5);
    EXPECT_FALSE(grid->IsPreviewVisible());
    QTest::keyClick(grid, Qt::Key_Return);
    ExpectAnswer(grid, -1);
}

TEST_F(EmotionsGrid, EmptyFolderGivesAnEmptyGrid) {
    for (int i = 0; i < TQLMEmotions::Count; ++i) Remove(i);
    QPointer<TQLMEmotions> grid = Open();
    for (int i = 0; i < TQLMEmotions::Count; ++i) EXPECT_FALSE(grid->HasImage(i)) << i;
    QTest::mousePress(grid, Qt::LeftButton, {}, TQLMEmotions::CellRect(12).center());
    ExpectAnswer(grid, -1);
}

// ---------------------------------------------------------------- hover

struct THoverCase {
    const char* Name;
    std::vector<int> Cells; // hovered in this order
    TQLMEmotions::TPreviewCorner Corner;
};

void PrintTo(const THoverCase& c, std::ostream* os) { *os << c.Name; }

class EmotionsHover : public EmotionsGrid, public ::testing::WithParamInterface<THoverCase> {};

TEST_P(EmotionsHover, PreviewKeepsOutOfThePointersWay) {
    const THoverCase& c = GetParam();
    QPointer<TQLMEmotions> grid = Open();
    for (int cell : c.Cells) Hover(grid, cell);
    EXPECT_EQ(grid->Selected(), c.Cells.back());
    EXPECT_TRUE(grid->IsPreviewVisible());
    EXPECT_EQ(grid->PreviewCorner(), c.Corner);
    const QPoint corner = c.Corner == TQLMEmotions::pcTopLeft ? QPoint(1, 1) : QPoint(251 - 1 - 74, 1);
    EXPECT_EQ(grid->Preview()->geometry(), QRect(corner, QSize(74, 74)));
    // Never over the selected cell.
    EXPECT_FALSE(grid->Preview()->geometry().intersects(TQLMEmotions::CellRect(grid->Selected())));
}

INSTANTIATE_TEST_SUITE_P(
    Corners, EmotionsHover,
    ::testing::Values(
        // Upper four rows: right four columns send it left, left four send it right.
        THoverCase{"RightColumnsTopLeft", {8}, TQLMEmotions::pcTopLeft},
        THoverCase{"LeftColumnsTopRight", {1}, TQLMEmotions::pcTopRight},
        THoverCase{"FourthRowStillJumps", {39, 30}, TQLMEmotions::pcTopRight},
        THoverCase{"SeventhColumnJumpsLeft", {0, 6}, TQLMEmotions::pcTopLeft},
        THoverCase{"FourthColumnJumpsRight", {9, 3}, TQLMEmotions::pcTopRight},
        // The two middle columns leave it where it is.
        THoverCase{"MiddleKeepsRight", {1, 4}, TQLMEmotions::pcTopRight},
        THoverCase{"MiddleKeepsLeft", {8, 5}, TQLMEmotions::pcTopLeft},
        // The lower two rows leave it where it is.
        THoverCase{"LowerRowsKeepRight", {0, 49}, TQLMEmotions::pcTopRight},
        THoverCase{"LowerRowsKeepLeft", {9, 50}, TQLMEmotions::pcTopLeft},
        THoverCase{"LowerRowsFromTheStart", {55}, TQLMEmotions::pcTopLeft}),
    TCaseName());

TEST_F(EmotionsGrid, PreviewAnimatesAnimatedEmoticons) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 4); // shipped with four frames
    ASSERT_NE(grid->PreviewMovie(), nullptr);
    EXPECT_EQ(grid->PreviewMovie()->state(), QMovie::Running);
    EXPECT_EQ(grid->PreviewMovie()->frameCount(), 4);
    // Unscaled: the emoticon is smaller than the preview.
    EXPECT_EQ(grid->PreviewMovie()->currentImage().size(), QSize(24, 24));

    Hover(grid, 3); // one frame
    EXPECT_EQ(grid->PreviewMovie(), nullptr);
    EXPECT_EQ(grid->Preview()->pixmap().size(), QSize(24, 24));
}

TEST_F(EmotionsGrid, PreviewShrinksOnlyPicturesLargerThanItself) {
    QImage large(200, 100, QImage::Format_RGB32);
    large.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(large.save(&buffer, "PNG"));
    FHome.Write(QStringLiteral("Emotions/12.gif"), png); // a picture under the name is a picture
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 12);
    ASSERT_TRUE(grid->IsPreviewVisible());
    const QSize shown = grid->Preview()->pixmap().size();
    EXPECT_LE(shown.width(), 74);
    EXPECT_EQ(shown.width(), 2 * shown.height());
}

// ----------------------------------------------------------------- keys

struct TKeyCase {
    const char* Name;
    int Start; // hovered first; -1: nothing selected
    std::vector<Qt::Key> Keys;
    int Selected;
};

void PrintTo(const TKeyCase& c, std::ostream* os) { *os << c.Name; }

class EmotionsKeys : public EmotionsGrid, public ::testing::WithParamInterface<TKeyCase> {};

TEST_P(EmotionsKeys, ArrowsMoveInsideTheGrid) {
    const TKeyCase& c = GetParam();
    QPointer<TQLMEmotions> grid = Open();
    if (c.Start >= 0) Hover(grid, c.Start);
    for (Qt::Key key : c.Keys) QTest::keyClick(grid, key);
    EXPECT_EQ(grid->Selected(), c.Selected);
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(FAnswers->size(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, EmotionsKeys,
    ::testing::Values(
        // With nothing selected any arrow selects row 0, column 2.
        TKeyCase{"FirstLeft", -1, {Qt::Key_Left}, 2}, TKeyCase{"FirstRight", -1, {Qt::Key_Right}, 2},
        TKeyCase{"FirstUp", -1, {Qt::Key_Up}, 2}, TKeyCase{"FirstDown", -1, {Qt::Key_Down}, 2},
        TKeyCase{"ThenMoves", -1, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right}, 23},
        TKeyCase{"LeftRightUpDown", 34, {Qt::Key_Left, Qt::Key_Up, Qt::Key_Up, Qt::Key_Right, Qt::Key_Right}, 15},
        // No wrapping at any edge.
        TKeyCase{"LeftEdge", 20, {Qt::Key_Left}, 20}, TKeyCase{"RightEdge", 29, {Qt::Key_Right}, 29},
        TKeyCase{"TopEdge", 7, {Qt::Key_Up}, 7}, TKeyCase{"BottomEdge", 57, {Qt::Key_Down}, 57},
        TKeyCase{"Corner", 59, {Qt::Key_Right, Qt::Key_Down}, 59},
        TKeyCase{"AlongTheBottom", 50, {Qt::Key_Down, Qt::Key_Right, Qt::Key_Right}, 52},
        // Enter without a selection picks nothing.
        TKeyCase{"EnterWithoutSelection", -1, {Qt::Key_Return, Qt::Key_Space}, -1}),
    TCaseName());

TEST_F(EmotionsGrid, ArrowKeysMoveThePreviewToo) {
    QPointer<TQLMEmotions> grid = Open();
    QTest::keyClick(grid, Qt::Key_Right); // 2: left columns
    EXPECT_TRUE(grid->IsPreviewVisible());
    EXPECT_EQ(grid->PreviewCorner(), TQLMEmotions::pcTopRight);
    for (int i = 0; i < 5; ++i) QTest::keyClick(grid, Qt::Key_Right);
    EXPECT_EQ(grid->Selected(), 7);
    EXPECT_EQ(grid->PreviewCorner(), TQLMEmotions::pcTopLeft);
}

// ----------------------------------------------------------- pick, close

struct TPickCase {
    const char* Name;
    Qt::Key Key;
};

void PrintTo(const TPickCase& c, std::ostream* os) { *os << c.Name; }

class EmotionsPickKey : public EmotionsGrid, public ::testing::WithParamInterface<TPickCase> {};

TEST_P(EmotionsPickKey, PicksTheSelectedCellAndCloses) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 23);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, GetParam().Key);
    ExpectAnswer(grid, 33);
}

INSTANTIATE_TEST_SUITE_P(Keys, EmotionsPickKey,
                         ::testing::Values(TPickCase{"Return", Qt::Key_Return}, TPickCase{"Enter", Qt::Key_Enter},
                                           TPickCase{"Space", Qt::Key_Space}),
                         TCaseName());

struct TButtonCase {
    const char* Name;
    Qt::MouseButton Button;
};

void PrintTo(const TButtonCase& c, std::ostream* os) { *os << c.Name; }

class EmotionsPickButton : public EmotionsGrid, public ::testing::WithParamInterface<TButtonCase> {};

TEST_P(EmotionsPickButton, PicksTheCellUnderThePointer) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 40);
    QTest::mousePress(grid, GetParam().Button, {}, TQLMEmotions::CellRect(41).center());
    ExpectAnswer(grid, 41);
}

INSTANTIATE_TEST_SUITE_P(Buttons, EmotionsPickButton,
                         ::testing::Values(TButtonCase{"Left", Qt::LeftButton}, TButtonCase{"Right", Qt::RightButton},
                                           TButtonCase{"Middle", Qt::MiddleButton}),
                         TCaseName());

TEST_F(EmotionsGrid, GridLinesBelongToTheCellBefore) {
    QPointer<TQLMEmotions> grid = Open();
    QTest::mouseMove(grid, QPoint(25, 25)); // the lines right of and below cell 0
    EXPECT_EQ(grid->Selected(), 0);
    QTest::mouseMove(grid, QPoint(26, 26));
    EXPECT_EQ(grid->Selected(), 11);
    QTest::mouseMove(grid, QPoint(250, 150)); // the frame's far corner
    EXPECT_EQ(grid->Selected(), 59);
}

TEST_F(EmotionsGrid, EscapeClosesWithoutAPick) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 10);
    QTest::keyClick(grid, Qt::Key_Escape);
    ExpectAnswer(grid, -1);
}

TEST_F(EmotionsGrid, PressOutsideClosesWithoutAPick) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 10);
    QTest::mousePress(grid, Qt::LeftButton, {}, QPoint(300, 40));
    ExpectAnswer(grid, -1);
}

TEST_F(EmotionsGrid, AnotherWindowActivatedClosesWithoutAPick) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 10);
    QWidget other;
    other.show();
    other.activateWindow();
    ExpectAnswer(grid, -1);
}

TEST_F(EmotionsGrid, AnswersOnceWhateverClosesIt) {
    QPointer<TQLMEmotions> grid = Open();
    Hover(grid, 0);
    QTest::keyClick(grid, Qt::Key_Return);
    ASSERT_FALSE(grid.isNull()); // deleted from the event loop
    // The window system closing it too is no second answer.
    QCloseEvent close;
    QApplication::sendEvent(grid, &close);
    ExpectAnswer(grid, 0);
}

TEST_F(EmotionsGrid, GoesWithItsOwnerWithoutAnAnswer) {
    auto owner = std::make_unique<QWidget>();
    owner->show();
    QPointer<TQLMEmotions> grid = new TQLMEmotions(owner.get(), Folder());
    QSignalSpy answers(grid.data(), &TQLMEmotions::Answered);
    grid->Popup(QRect(10, 10, 24, 22), kDesktop);
    owner.reset();
    EXPECT_TRUE(grid.isNull());
    EXPECT_EQ(answers.size(), 0); // nobody left to answer
}

TEST(EmotionsDefaults, FolderBesideTheProgram) {
    EXPECT_EQ(TQLMEmotions::DefaultFolder(), RuntimeDir() + QStringLiteral("/Emotions/"));
    EXPECT_EQ(TQLMEmotions::FileName(QStringLiteral("/x/Emotions"), 23), QStringLiteral("/x/Emotions/23.gif"));
}

} // namespace
