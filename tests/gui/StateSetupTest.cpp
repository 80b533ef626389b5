#include "presence/widgets/StateSetupUnit.h"

#include "core/ParamsUnit.h"
#include "ui/OnlineStateMenuUnit.h"
#include "protocol/CommLocalUnit.h"
#include "support/GuiSupport.h"
#include "support/TestSupport.h"
#include "support/PresenceFixtures.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>

namespace {

using namespace OnlineStates;
using namespace OnlineStateMenu;
using enum TOnlineState;

constexpr int EntryBusy = TStateSetupForm::EntryBusy;
constexpr int EntryAway = TStateSetupForm::EntryAway;

// act on the setup dialog as soon as it is open.
void WhenSetupOpens(std::function<void(TStateSetupForm*)> act) {
    WhenModalOpens([act](QWidget* window) {
        if (auto* dialog = qobject_cast<TStateSetupForm*>(window)) act(dialog);
        else ADD_FAILURE() << "the modal window is no setup dialog";
    });
}



class StateSetupTest : public ::testing::Test {
protected:
    StateSetupTest()
        : FParams(FHome.File(QStringLiteral("Config.ini")), FHome.Path(),
                  TUserStore(FHome.File(QStringLiteral("user/registry.ini")), FHome.File(QStringLiteral("user/autostart.desktop")))),
          FLocal(FParams, FHome.Path(), QStringLiteral("1.0.0.0")), FSpy(FLocal),
          FController(FParams, FSpy, nullptr), FSwitched(&FController, &TOnlineStateController::StateSwitched) {}

    static void ReplaceText(TStateSetupForm* dialog, const QString& text) {
        QPlainTextEdit* edit = dialog->DescriptionEdit();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    TTempHome FHome;
    TApplicationParams FParams;
    TCommLocal FLocal;
    TSpyAnnouncer FSpy;
    TOnlineStateController FController;
    QSignalSpy FSwitched;
};

const QString kBusyDefault = QStringLiteral("Sorry, I'm busy now.");
const QString kAwayDefault = QStringLiteral("Sorry, I'm not at my desk.");

// ------------------------------------------------------------ the flows

enum TCloseWay { cwCloseButton, cwCloseBox, cwEscape };

struct TCloseCase {
    const char* Name;
    TCloseWay Way;
};

void PrintTo(const TCloseCase& c, std::ostream* os) { *os << c.Name; }

class StateSetupCloseCases : public StateSetupTest, public ::testing::WithParamInterface<TCloseCase> {};

TEST_P(StateSetupCloseCases, KeepsTheStateButStoresTheText) {
    int shownEntry = -1;
    QString shownText;
    WhenSetupOpens([&](TStateSetupForm* dialog) {
        shownEntry = dialog->StateList()->currentIndex();
        shownText = dialog->DescriptionEdit()->toPlainText();
        ReplaceText(dialog, QStringLiteral("In a meeting until 3"));
        switch (GetParam().Way) {
        case cwCloseButton: dialog->CloseButton()->click(); break;
        case cwCloseBox: dialog->close(); break;
        case cwEscape: QTest::keyClick(dialog->DescriptionEdit(), Qt::Key_Escape); break;
        }
    });
    FController.ChangeOnlineStateExecute(TagBusy);
    EXPECT_EQ(shownEntry, EntryBusy);
    EXPECT_EQ(shownText, kBusyDefault);
    EXPECT_EQ(FLocal.OnlineState(), Online);
    EXPECT_TRUE(FSpy.Sent.isEmpty());
    EXPECT_EQ(FSwitched.count(), 0);
    EXPECT_EQ(FParams[spState_Busy_AutoReplyContent], QStringLiteral("In a meeting until 3"));
    EXPECT_EQ(FParams[spState_Away_AutoReplyContent], kAwayDefault);
    EXPECT_EQ(FController.OpenDialog(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ways, StateSetupCloseCases,
                         ::testing::Values(TCloseCase{"CloseButton", cwCloseButton}, TCloseCase{"CloseBox", cwCloseBox},
                                           TCloseCase{"Escape", cwEscape}),
                         TCaseName());

TEST_F(StateSetupTest, SwitchingTheListThenSwitchNowStoresOnlyTheNewStatesText) {
    QString awayShown;
    WhenSetupOpens([&](TStateSetupForm* dialog) {
        ReplaceText(dialog, QStringLiteral("typed for busy"));
        dialog->StateList()->setCurrentIndex(EntryAway);
        awayShown = dialog->DescriptionEdit()->toPlainText();
        ReplaceText(dialog, QStringLiteral("Gone fishing"));
        dialog->SwitchButton()->click();
    });
    FController.ChangeOnlineStateExecute(TagBusy);
    EXPECT_EQ(awayShown, kAwayDefault);
    EXPECT_EQ(FParams[spState_Busy_AutoReplyContent], kBusyDefault);
    EXPECT_EQ(FParams[spState_Away_AutoReplyContent], QStringLiteral("Gone fishing"));
    EXPECT_EQ(FLocal.OnlineState(), Away);
    EXPECT_EQ(FSpy.Sent, QList<TOnlineState>{Away});
    ASSERT_EQ(FSwitched.count(), 1);
    EXPECT_EQ(FSwitched.at(0).at(0).value<TOnlineState>(), Away);
}

TEST_F(StateSetupTest, SwitchNowIsTheDefaultButton) {
    WhenSetupOpens([](TStateSetupForm* dialog) { QTest::keyClick(dialog->StateList(), Qt::Key_Return); });
    FController.ChangeOnlineStateExecute(TagAway);
    EXPECT_EQ(FLocal.OnlineState(), Away);
    EXPECT_EQ(FSpy.Sent, QList<TOnlineState>{Away});
}

TEST_F(StateSetupTest, AutoSwitchSkipsTheDialog) {
    FParams[bpState_Away_AutoSwitch] = true;
    bool opened = false;
    // Would close any dialog that opened by mistake.
    auto* watchdog = new QTimer(&FController);
    QObject::connect(watchdog, &QTimer::timeout, watchdog, [&opened] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            dialog->reject();
        }
    });
    watchdog->start(5);
    FController.ChangeOnlineStateExecute(TagAway);
    watchdog->stop();
    EXPECT_FALSE(opened);
    EXPECT_EQ(FLocal.OnlineState(), Away);
    EXPECT_EQ(FSpy.Sent, QList<TOnlineState>{Away});
    EXPECT_EQ(FSwitched.count(), 1);
}

TEST_F(StateSetupTest, TickingNotShowAgainMakesTheNextChoiceDirect) {
    WhenSetupOpens([](TStateSetupForm* dialog) {
        EXPECT_FALSE(dialog->DialogCheck()->isChecked());
        QTest::mouseClick(dialog->DialogCheck(), Qt::LeftButton);
        dialog->CloseButton()->click();
    });
    FController.ChangeOnlineStateExecute(TagAway);
    EXPECT_TRUE(FParams[bpState_Away_AutoSwitch]);
    EXPECT_FALSE(FParams[bpState_Busy_AutoSwitch]);
    EXPECT_EQ(FLocal.OnlineState(), Online);

    FController.ChangeOnlineStateExecute(TagAway);
    EXPECT_EQ(FLocal.OnlineState(), Away);
    EXPECT_EQ(FSpy.Sent, QList<TOnlineState>{Away});
}

struct TSameStateCase {
    const char* Name;
    TOnlineState State;
    int Tag;
};

void PrintTo(const TSameStateCase& c, std::ostream* os) { *os << c.Name; }

class StateSetupSameState : public StateSetupTest, public ::testing::WithParamInterface<TSameStateCase> {};

TEST_P(StateSetupSameState, SendsNothingAndOpensNothing) {
    FParams[bpState_Busy_AutoSwitch] = true;
    FParams[bpState_Away_AutoSwitch] = false;
    FLocal.SetOnlineState(GetParam().State);
    FController.ChangeOnlineStateExecute(GetParam().Tag);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(FLocal.OnlineState(), GetParam().State);
    EXPECT_TRUE(FSpy.Sent.isEmpty());
    EXPECT_EQ(FSwitched.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, StateSetupSameState,
                         ::testing::Values(TSameStateCase{"Online", Online, TagOnline},
                                           TSameStateCase{"BusyWithAutoSwitch", Busy, TagBusy},
                                           TSameStateCase{"AwayWithDialog", Away, TagAway}),
                         TCaseName());

// Only the three state items carry a state; any other tag is no choice.
TEST_F(StateSetupTest, TagsOutsideTheStateItemsDoNothing) {
    FParams[bpState_Busy_AutoSwitch] = true;
    FParams[bpState_Away_AutoSwitch] = true;
    for (int tag : {TagOnline - 1, TagAway + 1, 0, -1}) FController.ChangeOnlineStateExecute(tag);
    EXPECT_EQ(FLocal.OnlineState(), Online);
    EXPECT_TRUE(FSpy.Sent.isEmpty());
    EXPECT_EQ(FSwitched.count(), 0);
    EXPECT_EQ(FController.OpenDialog(), nullptr);
}

// The list's two entries are Busy and Away; any state but Away selects Busy.
TEST(StateSetupEntries, EntriesMapToBusyAndAway) {
    EXPECT_EQ(TStateSetupForm::EntryOf(Busy), EntryBusy);
    EXPECT_EQ(TStateSetupForm::EntryOf(Away), EntryAway);
    EXPECT_EQ(TStateSetupForm::EntryOf(Online), EntryBusy);
    EXPECT_EQ(TStateSetupForm::StateOf(EntryBusy), Busy);
    EXPECT_EQ(TStateSetupForm::StateOf(EntryAway), Away);
    EXPECT_EQ(TStateSetupForm::StateOf(-1), Busy);
}

TEST_F(StateSetupTest, BackToOnlineIsAlwaysDirect) {
    FLocal.SetOnlineState(Away);
    FController.ChangeOnlineStateExecute(TagOnline);
    EXPECT_EQ(FLocal.OnlineState(), Online);
    EXPECT_EQ(FSpy.Sent, QList<TOnlineState>{Online});
}

TEST_F(StateSetupTest, SetupCommandPreselectsBusyAndSwitchesFromAway) {
    FLocal.SetOnlineState(Away);
    int shownEntry = -1;
    WhenSetupOpens([&](TStateSetupForm* dialog) {
        shownEntry = TStateSetupForm::EntryOf(dialog->SelectedState());
        dialog->SwitchButton()->click();
    });
    FController.LoadOnlineStateFormExecute();
    EXPECT_EQ(shownEntry, EntryBusy);
    EXPECT_EQ(FLocal.OnlineState(), Busy);
    EXPECT_EQ(FSpy.Sent, QList<TOnlineState>{Busy});
}

TEST_F(StateSetupTest, SwitchNowOnTheCurrentStateSendsNothing) {
    FLocal.SetOnlineState(Busy);
    WhenSetupOpens([](TStateSetupForm* dialog) { dialog->SwitchButton()->click(); });
    EXPECT_TRUE(FController.ShowStateSetupDialog(Busy));
    EXPECT_TRUE(FSpy.Sent.isEmpty());
    EXPECT_EQ(FSwitched.count(), 0);
}

TEST_F(StateSetupTest, ASecondRequestWhileOpenOpensNoSecondDialog) {
    int dialogs = 0;
    bool secondResult = true;
    WhenSetupOpens([&](TStateSetupForm* dialog) {
        secondResult = FController.ShowStateSetupDialog(Away);
        FController.ChangeOnlineStateExecute(TagAway);
        const QWidgetList windows = QApplication::topLevelWidgets();
        dialogs = static_cast<int>(std::count_if(windows.begin(), windows.end(), [](QWidget* w) {
            return qobject_cast<TStateSetupForm*>(w) && w->isVisible();
        }));
        dialog->CloseButton()->click();
    });
    FController.ChangeOnlineStateExecute(TagBusy);
    EXPECT_FALSE(secondResult);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(FSpy.Sent.isEmpty());
}

// ------------------------------------------------------------ controls

TEST_F(StateSetupTest, SwitchesAreStoredAtOnceForTheSelectedState) {
    FParams[bpState_Busy_AutoReply] = true;
    FParams[bpState_Away_AutoReply] = false;
    FParams[bpState_Away_AutoSwitch] = true;
    TStateSetupForm form(FParams, Busy);
    EXPECT_TRUE(form.AutoReplyCheck()->isChecked());
    EXPECT_FALSE(form.DialogCheck()->isChecked());

    form.StateList()->setCurrentIndex(EntryAway);
    // Loading the entry shows its values and stores nothing.
    EXPECT_FALSE(form.AutoReplyCheck()->isChecked());
    EXPECT_TRUE(form.DialogCheck()->isChecked());
    EXPECT_FALSE(FParams[bpState_Away_AutoReply]);

    QTest::mouseClick(form.AutoReplyCheck(), Qt::LeftButton);
    EXPECT_TRUE(FParams[bpState_Away_AutoReply]);
    EXPECT_TRUE(FParams[bpState_Busy_AutoReply]);
    QTest::mouseClick(form.DialogCheck(), Qt::LeftButton);
    EXPECT_FALSE(FParams[bpState_Away_AutoSwitch]);
    EXPECT_FALSE(FParams[bpState_Busy_AutoSwitch]);
}

TEST_F(StateSetupTest, TextCannotGrowPastTheLimit) {
    TStateSetupForm form(FParams, Busy);
    QPlainTextEdit* edit = form.DescriptionEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QString(300, QLatin1Char('x')));
    EXPECT_EQ(edit->toPlainText(), QString(MaxAutoReplyLength, QLatin1Char('x')));

    // An insertion in the middle loses its own tail, not the text behind it.
    edit->setPlainText(QString(250, QLatin1Char('a')));
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(0);
    edit->setTextCursor(cursor);
    edit->insertPlainText(QStringLiteral("0123456789"));
    EXPECT_EQ(edit->toPlainText(), QStringLiteral("01234") + QString(250, QLatin1Char('a')));
}

TEST_F(StateSetupTest, LongStoredTextIsCutWhenShown) {
    FParams[spState_Away_AutoReplyContent] = QString(400, QLatin1Char('q'));
    TStateSetupForm form(FParams, Away);
    EXPECT_EQ(form.DescriptionEdit()->toPlainText().size(), MaxAutoReplyLength);
    form.reject();
    EXPECT_EQ(FParams[spState_Away_AutoReplyContent], QString(MaxAutoReplyLength, QLatin1Char('q')));
}

TEST_F(StateSetupTest, TabsMoveTheFocusAndPastedTabsAreRemoved) {
    TStateSetupForm form(FParams, Busy);
    EXPECT_TRUE(form.DescriptionEdit()->tabChangesFocus());
    form.DescriptionEdit()->setPlainText(QStringLiteral("a\tb\tc"));
    form.reject();
    EXPECT_EQ(FParams[spState_Busy_AutoReplyContent], QStringLiteral("abc"));
}

struct TControlCase {
    const char* Name; // object name
    const char* Caption;
    int HelpContext;  // 0: none
};

void PrintTo(const TControlCase& c, std::ostream* os) { *os << c.Name; }

class StateSetupControls : public StateSetupTest, public ::testing::WithParamInterface<TControlCase> {};

QString CaptionOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    return {};
}

TEST_P(StateSetupControls, CaptionAndHelpContext) {
    const TControlCase& c = GetParam();
    TStateSetupForm form(FParams, Busy);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Setup Online State"));
    auto* control = form.findChild<QWidget*>(QString::fromLatin1(c.Name));
    ASSERT_NE(control, nullptr);
    if (*c.Caption) {
        EXPECT_EQ(CaptionOf(control), QString::fromUtf8(c.Caption));
    }
    const QVariant help = control->property(TStateSetupForm::HelpContextProperty);
    EXPECT_EQ(help.isValid() ? help.toInt() : 0, c.HelpContext);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StateSetupControls,
    ::testing::Values(TControlCase{"lblState", "&Select online state:", 0}, TControlCase{"cbState", "", 10001},
                      TControlCase{"lblDescription", "Auto-reply &content(Max 255 Chars):", 0},
                      TControlCase{"mmDescription", "", 10002}, TControlCase{"gbProperty", "Properties", 0},
                      TControlCase{"cbAutoReply", "Auto &reply when at this state", 10003},
                      TControlCase{"cbDialog", "Not show this &window again next time to switch", 10004},
                      TControlCase{"btnSwitch", "Switch Now", 10005}, TControlCase{"btnClose", "Close", 10006}),
    TCaseName());

TEST_F(StateSetupTest, ListOffersBusyAndAway) {
    TStateSetupForm form(FParams, Away);
    ASSERT_EQ(form.StateList()->count(), 2);
    EXPECT_EQ(form.StateList()->itemText(0), QStringLiteral("Busy"));
    EXPECT_EQ(form.StateList()->itemText(1), QStringLiteral("Away"));
    EXPECT_EQ(TStateSetupForm::EntryOf(form.SelectedState()), EntryAway);
    EXPECT_EQ(form.DescriptionEdit()->toPlainText(), kAwayDefault);
    EXPECT_TRUE(form.SwitchButton()->isDefault());
}

} // namespace
