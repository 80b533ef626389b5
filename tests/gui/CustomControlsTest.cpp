#include "ui/CustomControlsUnit.h"

#include "ui/AppImagesUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Three-state button

enum TMouseStep { msEnter, msLeave, msPress, msRelease, msReleaseOutside, msRightPress, msRightRelease };

struct TButtonCase {
    const char* Name;
    std::vector<TMouseStep> Steps;
    bool WithMenu;
    TButtonState Expected;
    int Clicks;
    bool MenuOpen;
};

void PrintTo(const TButtonCase& c, std::ostream* os) { *os << c.Name; }

// A shown window with one button on it; the mouse starts outside the button.
class ButtonFixture {
public:
    ButtonFixture() {
        FHost.resize(200, 120);
        FButton = new TThreeStateButton(&FHost);
        FButton->move(20, 30);
        FButton->SetButtonNormalImageRes(QStringLiteral("U_DROPBUTTON_NORMAL"));
        FButton->SetButtonHotImageRes(QStringLiteral("U_DROPBUTTON_HOT"));
        FButton->SetButtonPressedImageRes(QStringLiteral("U_DROPBUTTON_PRESSED"));
        FHost.show();
        FExposed = QTest::qWaitForWindowExposed(&FHost);
        QTest::mouseMove(&FHost, QPoint(150, 100));
    }
    ~ButtonFixture() {
        if (FMenu) FMenu->close();
    }
    bool Exposed() const { return FExposed; }
    TThreeStateButton& Button() { return *FButton; }
    QMenu& Menu() {
        if (!FMenu) {
            FMenu = std::make_unique<QMenu>();
            FMenu->addAction(QStringLiteral("Online"));
        }
        return *FMenu;
    }

    void Do(TMouseStep step) {
        const QPoint inside(FButton->width() / 2, FButton->height() / 2);
        switch (step) {
        case msEnter: QTest::mouseMove(&FHost, FButton->geometry().center()); break;
        case msLeave: QTest::mouseMove(&FHost, QPoint(150, 100)); break;
        case msPress: QTest::mousePress(FButton, Qt::LeftButton, {}, inside); break;
        case msRelease: QTest::mouseRelease(FButton, Qt::LeftButton, {}, inside); break;
        case msReleaseOutside: QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(-30, -20)); break;
        case msRightPress: QTest::mousePress(FButton, Qt::RightButton, {}, inside); break;
        case msRightRelease: QTest::mouseRelease(FButton, Qt::RightButton, {}, inside); break;
        }
        QApplication::processEvents();
    }

private:
    QWidget FHost;
    TThreeStateButton* FButton = nullptr;
    std::unique_ptr<QMenu> FMenu;
    bool FExposed = false;
};

class ThreeStateButtonTest : public ::testing::TestWithParam<TButtonCase> {};

TEST_P(ThreeStateButtonTest, FollowsTheMouse) {
    const TButtonCase& c = GetParam();
    ButtonFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TThreeStateButton& button = fixture.Button();
    if (c.WithMenu) button.SetDropDownMenu(&fixture.Menu());
    QSignalSpy clicks(&button, &TThreeStateButton::Clicked);

    for (const TMouseStep step : c.Steps) fixture.Do(step);

    EXPECT_EQ(button.ButtonState(), c.Expected);
    EXPECT_EQ(clicks.count(), c.Clicks);
    if (c.WithMenu) {
        EXPECT_EQ(fixture.Menu().isVisible(), c.MenuOpen);
        if (c.MenuOpen) {
            EXPECT_EQ(fixture.Menu().pos(), button.mapToGlobal(QPoint(0, button.height())));
        }
    }
    // The image shown is always the one of the state.
    const char* const images[] = {"U_DROPBUTTON_NORMAL", "U_DROPBUTTON_HOT", "U_DROPBUTTON_PRESSED"};
    const QPixmap expected = TAppImages::Instance().Pixmap(QLatin1String(images[c.Expected]), 17, button.devicePixelRatioF());
    EXPECT_EQ(button.CurrentImage().cacheKey(), expected.cacheKey());
}

INSTANTIATE_TEST_SUITE_P(
    CustomControls, ThreeStateButtonTest,
    ::testing::Values(
        TButtonCase{"NothingHappened", {}, false, bsNormal, 0, false},
        TButtonCase{"HoverShowsHot", {msEnter}, false, bsHot, 0, false},
        TButtonCase{"LeaveReturnsToNormal", {msEnter, msLeave}, false, bsNormal, 0, false},
        TButtonCase{"PressShowsPressed", {msEnter, msPress}, false, bsPressed, 0, false},
        TButtonCase{"ReleaseInsideClicks", {msEnter, msPress, msRelease}, false, bsHot, 1, false},
        TButtonCase{"ReleaseOutsideCancels", {msEnter, msPress, msReleaseOutside}, false, bsNormal, 0, false},
        TButtonCase{"RightButtonIsIgnored", {msEnter, msRightPress, msRightRelease}, false, bsHot, 0, false},
        TButtonCase{"ReleaseInsideOpensMenu", {msEnter, msPress, msRelease}, true, bsNormal, 0, true},
        TButtonCase{"ReleaseOutsideKeepsMenuClosed", {msEnter, msPress, msReleaseOutside}, true, bsNormal, 0, false},
        TButtonCase{"PressAloneKeepsMenuClosed", {msEnter, msPress}, true, bsPressed, 0, false}),
    TCaseName());

TEST(ThreeStateButtonTest, DefaultsToAHandCursorAnd17Pixels) {
    TThreeStateButton button;
    EXPECT_EQ(button.ButtonSize(), TThreeStateButton::DefaultButtonSize);
    EXPECT_EQ(button.size(), QSize(17, 17));
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(button.ButtonState(), bsNormal);
    EXPECT_TRUE(button.CurrentImage().isNull());
}

TEST(ThreeStateButtonTest, LoadsAnImageOnlyWhenItChanges) {
    TThreeStateButton button;
    button.SetButtonNormalImageRes(QStringLiteral("ONLINESTATE_PRESENT"));
    EXPECT_EQ(button.ImageLoadCount(), 1);
    ASSERT_FALSE(button.CurrentImage().isNull());
    EXPECT_EQ(button.CurrentImage().deviceIndependentSize(), QSizeF(17, 17));

    button.SetButtonNormalImageRes(QStringLiteral("ONLINESTATE_PRESENT"));
    EXPECT_EQ(button.ImageLoadCount(), 1);
    // Another state's image waits until that state is shown.
    button.SetButtonHotImageRes(QStringLiteral("ONLINESTATE_BUSY"));
    EXPECT_EQ(button.ImageLoadCount(), 1);
    button.SetButtonState(bsHot);
    EXPECT_EQ(button.ImageLoadCount(), 2);
    button.SetButtonState(bsHot);
    EXPECT_EQ(button.ImageLoadCount(), 2);

    button.SetButtonSize(24);
    EXPECT_EQ(button.size(), QSize(24, 24));
    EXPECT_EQ(button.ImageLoadCount(), 3);
    EXPECT_EQ(button.CurrentImage().deviceIndependentSize(), QSizeF(24, 24));

    // A missing image leaves the button empty, not broken.
    button.SetButtonHotImageRes(QStringLiteral("NO_SUCH_IMAGE"));
    EXPECT_TRUE(button.CurrentImage().isNull());
}

// ---------------------------------------------------------------------------
// Header

QColor PixelAt(QWidget& widget, const QPoint& point) { return widget.grab().toImage().pixelColor(point); }

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 && std::abs(a.blue() - b.blue()) <= 3;
}

struct THeaderCase {
    const char* Name;
    int Height;
    int DropButtonSize;
    QPoint DropButtonPos;
};

void PrintTo(const THeaderCase& c, std::ostream* os) { *os << c.Name; }

class HeaderGeometryTest : public ::testing::TestWithParam<THeaderCase> {};

TEST_P(HeaderGeometryTest, DropButtonSitsAQuarterOfItsHeightAboveTheBottom) {
    const THeaderCase& c = GetParam();
    QWidget host;
    host.resize(320, 120);
    auto* header = new TQLMHeader(&host);
    header->DropButton()->SetButtonSize(c.DropButtonSize);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    header->resize(180, TQLMHeader::HeaderHeight);
    header->setFixedHeight(c.Height);
    header->resize(300, c.Height);
    QApplication::processEvents();

    EXPECT_EQ(header->DropButton()->geometry(), QRect(c.DropButtonPos, QSize(c.DropButtonSize, c.DropButtonSize)));
    EXPECT_EQ(header->StateIconRect(), QRect(4, (c.Height - 32) / 2, 32, 32));
    const int textLeft = TQLMHeader::DropButtonLeft + c.DropButtonSize + 10;
    EXPECT_EQ(header->TitleRect().left(), textLeft);
    EXPECT_EQ(header->TitleRect().bottom(), c.Height / 2 - 3);
    EXPECT_EQ(header->ContentRect().left(), textLeft);
    EXPECT_EQ(header->ContentRect().top() - header->TitleRect().bottom() - 1, 4);
}

INSTANTIATE_TEST_SUITE_P(CustomControls, HeaderGeometryTest,
                         ::testing::Values(THeaderCase{"Standard", 40, 17, {40, 19}},
                                           THeaderCase{"Taller", 56, 17, {40, 35}},
                                           THeaderCase{"LargerButton", 40, 20, {40, 15}}),
                         TCaseName());

TEST(HeaderTest, DefaultsAsTheMainWindowExpects) {
    TQLMHeader header;
    EXPECT_EQ(header.height(), 40);
    EXPECT_EQ(header.GradientStartColor(), QColor(220, 220, 220));
    EXPECT_EQ(header.GradientEndColor(), QColor(245, 245, 245));
    EXPECT_EQ(header.OnlineState(), TOnlineState::Online);
    EXPECT_EQ(header.DropButton()->ButtonNormalImageRes(), QStringLiteral("U_DROPBUTTON_NORMAL"));
    EXPECT_EQ(header.DropButton()->ButtonHotImageRes(), QStringLiteral("U_DROPBUTTON_HOT"));
    EXPECT_EQ(header.DropButton()->ButtonPressedImageRes(), QStringLiteral("U_DROPBUTTON_PRESSED"));
}

TEST(HeaderTest, PaintsTheGradientAndTheStateIcon) {
    TQLMHeader header;
    header.resize(300, 40);
    header.SetGradientStartColor(QColor(179, 212, 255));
    header.SetGradientEndColor(QColor(223, 237, 255));
    // Right of the text, where only the gradient is painted.
    const QPoint top(290, 2), bottom(290, 37);
    EXPECT_TRUE(Near(PixelAt(header, top), QColor(179, 212, 255))) << PixelAt(header, top).name().toStdString();
    EXPECT_TRUE(Near(PixelAt(header, bottom), QColor(223, 237, 255))) << PixelAt(header, bottom).name().toStdString();

    // The state icon's badge sits in its lower right quarter.
    const QPoint badge(4 + 28, 4 + 20);
    const QColor present = PixelAt(header, badge);
    header.SetOnlineState(TOnlineState::Busy);
    const QColor busy = PixelAt(header, badge);
    EXPECT_NE(present.rgb(), busy.rgb());
    EXPECT_GT(busy.red(), 180);
    EXPECT_LT(busy.green(), 120);
    // A peer's number outside 0..2 is no state: no icon, only the gradient shows through.
    header.SetGradientStartColor(QColor(200, 200, 200));
    header.SetGradientEndColor(QColor(200, 200, 200));
    header.SetOnlineState(OnlineStateFromWire(7));
    EXPECT_EQ(PixelAt(header, QPoint(20, 20)).rgb(), QColor(200, 200, 200).rgb());
}

TEST(HeaderTest, DropButtonOpensTheHeaderMenu) {
    QWidget host;
    host.resize(300, 80);
    auto* header = new TQLMHeader(&host);
    header->resize(300, 40);
    QMenu menu;
    menu.addAction(QStringLiteral("Busy"));
    header->SetDropDownMenu(&menu);
    EXPECT_EQ(header->DropDownMenu(), &menu);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    TThreeStateButton* button = header->DropButton();
    QTest::mouseMove(&host, button->geometry().center());
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(8, 8));
    QApplication::processEvents();
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), button->mapToGlobal(QPoint(0, button->height())));
    menu.close();
}

// ---------------------------------------------------------------------------
// Container panel

TEST(ContainerPanelTest, CutsLongRecipientsWithAnEllipsis) {
    TContainerPanel panel;
    panel.resize(260, 28);
    panel.SetQLMTitle(QStringLiteral("Chat Target:"));
    panel.SetQLMRecipients(QStringLiteral("<Empty>"));
    EXPECT_EQ(panel.DisplayedRecipients(), QStringLiteral("<Empty>"));
    EXPECT_EQ(panel.TitleRect().left(), TContainerPanel::TitleLeft);
    EXPECT_EQ(panel.RecipientsRect().left(), panel.TitleRect().right() + 1 + TContainerPanel::RecipientsGap);

    const QString many = QStringLiteral("Alice(PC-ALICE); Bob(PC-BOB); Carol(PC-CAROL); Dave(PC-DAVE); Eve(PC-EVE)");
    panel.SetQLMRecipients(many);
    const QString shown = panel.DisplayedRecipients();
    EXPECT_NE(shown, many);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_LE(panel.fontMetrics().horizontalAdvance(shown), panel.RecipientsRect().width());
    EXPECT_LE(panel.RecipientsRect().right(), panel.width());

    // Wide enough again: everything shows.
    panel.resize(panel.RecipientsRect().left() + panel.fontMetrics().horizontalAdvance(many) + 20, 28);
    EXPECT_EQ(panel.DisplayedRecipients(), many);

    // Too narrow for any recipient text: nothing, not a negative width.
    panel.resize(40, 28);
    EXPECT_EQ(panel.RecipientsRect().width(), 0);
}

TEST(ContainerPanelTest, TitleShowsAnAmpersandAsItself) {
    TContainerPanel panel;
    panel.SetQLMTitle(QStringLiteral("Tom & Jerry:"));
    EXPECT_EQ(panel.TitleRect().width(), panel.fontMetrics().horizontalAdvance(QStringLiteral("Tom & Jerry:")));
}

// ---------------------------------------------------------------------------
// Status bars

struct TStatusBarCase {
    const char* Name;
    int Width;
    int Panel0;
};

void PrintTo(const TStatusBarCase& c, std::ostream* os) { *os << c.Name; }

// The bar follows resize events, which a widget receives once it is shown.
void ShowBar(QWidget& bar) {
    bar.resize(400, 22);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
}

class FileStatusBarTest : public ::testing::TestWithParam<TStatusBarCase> {};

TEST_P(FileStatusBarTest, FirstPanelTakesTheRest) {
    const TStatusBarCase& c = GetParam();
    TQLMFileStatusBar bar;
    ASSERT_EQ(bar.PanelCount(), 3);
    ShowBar(bar);
    bar.resize(c.Width, 22);
    EXPECT_EQ(bar.PanelWidth(0), c.Panel0);
    EXPECT_EQ(bar.PanelWidth(1), 160);
    EXPECT_EQ(bar.PanelWidth(2), 130);
    EXPECT_EQ(bar.PanelRect(1).left(), c.Panel0);
    EXPECT_EQ(bar.PanelRect(2).left(), c.Panel0 + 160);
}

INSTANTIATE_TEST_SUITE_P(CustomControls, FileStatusBarTest,
                         ::testing::Values(TStatusBarCase{"Wide", 600, 310}, TStatusBarCase{"Exact", 290, 0},
                                           TStatusBarCase{"Narrow", 200, 0}, TStatusBarCase{"FileWindow", 552, 262}),
                         TCaseName());

TEST(FileStatusBarTest, StartsWithTheDocumentedWidths) {
    TQLMFileStatusBar bar;
    EXPECT_EQ(bar.PanelWidth(0), 50);
    EXPECT_EQ(bar.PanelWidth(1), 160);
    EXPECT_EQ(bar.PanelWidth(2), 130);
}

TEST(FileStatusBarTest, WidthsAndTextsBySetters) {
    TQLMFileStatusBar bar;
    ShowBar(bar);
    bar.resize(600, 22);
    bar.SetPanelWidth(0, 262);
    EXPECT_EQ(bar.PanelWidth(0), 262);
    // Another panel changes: the first one follows at once.
    bar.SetPanelWidth(1, 100);
    EXPECT_EQ(bar.PanelWidth(0), 370);
    bar.resize(700, 22);
    EXPECT_EQ(bar.PanelWidth(0), 470);

    bar.SetPanelText(0, QStringLiteral("3 file(s)"));
    bar.SetPanelText(2, QStringLiteral("1.2 MB"));
    bar.SetPanelText(3, QStringLiteral("ignored"));
    bar.SetPanelText(-1, QStringLiteral("ignored"));
    EXPECT_EQ(bar.PanelText(0), QStringLiteral("3 file(s)"));
    EXPECT_EQ(bar.PanelText(1), QString());
    EXPECT_EQ(bar.PanelText(2), QStringLiteral("1.2 MB"));
    EXPECT_EQ(bar.PanelText(3), QString());
    EXPECT_FALSE(bar.grab().isNull());
}

TEST(ContainerStatusBarTest, KeepsAChildControlInsideItsPanel) {
    TQLMFileStatusBar bar;
    ShowBar(bar);
    bar.resize(600, 22);
    auto* label = new QLabel(QStringLiteral("50%"));
    bar.PlaceInPanel(label, 1);
    EXPECT_EQ(label->parentWidget(), &bar);
    EXPECT_TRUE(bar.PanelRect(1).contains(label->geometry()));
    bar.resize(800, 22);
    EXPECT_TRUE(bar.PanelRect(1).contains(label->geometry()));
    EXPECT_EQ(label->geometry().left(), bar.PanelRect(1).left() + 2);
    // Moving it to another panel releases the first.
    bar.PlaceInPanel(label, 2);
    EXPECT_TRUE(bar.PanelRect(2).contains(label->geometry()));
    bar.PlaceInPanel(nullptr, 0);
    bar.PlaceInPanel(label, 9);
    EXPECT_TRUE(bar.PanelRect(2).contains(label->geometry()));
}

} // namespace
