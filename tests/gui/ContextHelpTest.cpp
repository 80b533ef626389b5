#include "ui/ContextHelpUnit.h"

#include "core/ParamsUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct TShown {
    QPoint Pos;
    QString Html;
    QWidget* Widget = nullptr;
};

// The state dialog with a help file of the test's own; pop-ups are recorded.
class ContextHelpTest : public ::testing::Test {
protected:
    ContextHelpTest()
        : Help(Home.File(QStringLiteral("Content.txt"))),
          Dialog(Params(), TOnlineState::Busy) {
        Home.Write(QStringLiteral("Content.txt"),
                   "[Popups]\r\n10001=Pick a state & see <its> settings.\r\n10005=Switch now.\r\n");
        Help.SetShowText([this](const QPoint& pos, const QString& html, QWidget* widget) {
            Shown.push_back({pos, html, widget});
        });
        qApp->installEventFilter(&Help);
    }
    ~ContextHelpTest() override { qApp->removeEventFilter(&Help); }

    bool SendWhatsThis(QWidget* widget, const QPoint& global) {
        QHelpEvent event(QEvent::WhatsThis, widget->mapFromGlobal(global), global);
        return QApplication::sendEvent(widget, &event);
    }

    TTempHome Home;
    TContextHelp Help;
    TStateSetupForm Dialog;
    std::vector<TShown> Shown;
};

TEST_F(ContextHelpTest, TextsByIdFromTheFile) {
    EXPECT_EQ(Help.PopupText(10001), QStringLiteral("Pick a state & see <its> settings."));
    EXPECT_EQ(Help.PopupText(10005), QStringLiteral("Switch now."));
    EXPECT_TRUE(Help.PopupText(10002).isEmpty());
    EXPECT_TRUE(Help.PopupText(0).isEmpty());
    EXPECT_TRUE(TContextHelp(Home.File(QStringLiteral("missing.txt"))).PopupText(10001).isEmpty());
}

TEST_F(ContextHelpTest, WhatsThisShowsTheControlsTextAboveThePoint) {
    const QPoint at = Dialog.StateList()->mapToGlobal(QPoint(5, 5));
    EXPECT_TRUE(SendWhatsThis(Dialog.StateList(), at));
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Pos, at - QPoint(0, TContextHelp::PopupOffset));
    EXPECT_EQ(Shown[0].Widget, Dialog.StateList());
    // Escaped, in dark red.
    EXPECT_TRUE(Shown[0].Html.contains(QStringLiteral("Pick a state &amp; see &lt;its&gt; settings.")));
    EXPECT_TRUE(Shown[0].Html.contains(QStringLiteral("#800000")));
}

TEST_F(ContextHelpTest, ControlsWithoutTextShowNothing) {
    // 10002 has no text in this file; the dialog itself has no id.
    SendWhatsThis(Dialog.DescriptionEdit(), Dialog.DescriptionEdit()->mapToGlobal(QPoint(1, 1)));
    SendWhatsThis(&Dialog, Dialog.mapToGlobal(QPoint(1, 1)));
    EXPECT_TRUE(Shown.empty());
}

TEST_F(ContextHelpTest, OnlyControlsWithAnIdAnswerTheQuestionMark) {
    QEvent ask(QEvent::QueryWhatsThis);
    ask.ignore();
    QApplication::sendEvent(Dialog.SwitchButton(), &ask);
    EXPECT_TRUE(ask.isAccepted());
    QEvent askDialog(QEvent::QueryWhatsThis);
    askDialog.ignore();
    QApplication::sendEvent(&Dialog, &askDialog);
    EXPECT_FALSE(askDialog.isAccepted());
}

TEST(ContextHelpIds, ChildrenInheritTheNearestIdInTheirWindow) {
    QWidget window;
    window.setProperty(TContextHelp::HelpContextProperty, 7);
    auto* panel = new QWidget(&window);
    panel->setProperty(TContextHelp::HelpContextProperty, 42);
    auto* label = new QLabel(panel);
    auto* plain = new QLabel(&window);
    QWidget other; // another window: ids do not cross it
    auto* inner = new QWidget(&other);
    EXPECT_EQ(TContextHelp::HelpContextOf(label), 42);
    EXPECT_EQ(TContextHelp::HelpContextOf(plain), 7);
    EXPECT_EQ(TContextHelp::HelpContextOf(inner), 0);
    EXPECT_EQ(TContextHelp::HelpContextOf(nullptr), 0);
}

TEST_F(ContextHelpTest, F1OnAFocusedControlShowsItsText) {
    Dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dialog));
    Dialog.activateWindow();
    Dialog.SwitchButton()->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(Dialog.SwitchButton()->hasFocus());
    QTest::keyClick(Dialog.SwitchButton(), Qt::Key_F1);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_TRUE(Shown[0].Html.contains(QStringLiteral("Switch now.")));
    // The dialog is still open: F1 did nothing else.
    EXPECT_TRUE(Dialog.isVisible());
    Dialog.done(QDialog::Rejected);
}

} // namespace
