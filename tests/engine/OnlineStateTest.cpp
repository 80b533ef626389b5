#include "presence/OnlineStateUnit.h"

#include "node/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "protocol/CommLocalUnit.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "support/PresenceFixtures.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>
#include <optional>
#include <ostream>

namespace {

using namespace OnlineStates;
using enum TOnlineState;

// Settings of their own; never the process-wide ones.
class OnlineStateFixture {
protected:
    OnlineStateFixture()
        : FParams(FHome.File(QStringLiteral("Config.ini")), FHome.Path(),
                  TUserStore(FHome.File(QStringLiteral("user/registry.ini")), FHome.File(QStringLiteral("user/autostart.desktop")))) {
        FParams[spNickname] = QStringLiteral("Ann");
    }

    // A table with no language file: the English texts themselves.
    std::unique_ptr<TUserInterfaceLang> English() {
        FParams[spUserInterfaceLanguageInUse] = QStringLiteral("English");
        return std::make_unique<TUserInterfaceLang>(FHome.File(QStringLiteral("Languages")), FParams);
    }

    TTempHome FHome;
    TApplicationParams FParams;
};

// ------------------------------------------------------------- captions

struct TCaptionCase {
    const char* Name;
    TOnlineState State;
    bool LongForm;
    bool PlaySound;
    bool NotificationWindow;
    const char* Expected;
};

void PrintTo(const TCaptionCase& c, std::ostream* os) { *os << c.Name; }

class StateCaptionCases : public OnlineStateFixture, public ::testing::TestWithParam<TCaptionCase> {};

TEST_P(StateCaptionCases, ShortAndLongForms) {
    const TCaptionCase& c = GetParam();
    FParams[bpPlaySound] = c.PlaySound;
    FParams[bpUseNotificationWindow] = c.NotificationWindow;
    const auto lang = English();
    EXPECT_EQ(StateCaption(FParams, c.State, c.LongForm, lang.get()).toStdString(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StateCaptionCases,
    ::testing::Values(
        TCaptionCase{"OnlineShort", Online, false, true, true, "Ann --- Online"},
        TCaptionCase{"BusyShort", Busy, false, false, false, "Ann --- Busy"},
        TCaptionCase{"AwayShort", Away, false, true, false, "Ann --- Away"},
        TCaptionCase{"OnlineLongBothOn", Online, true, true, true,
                     "Ann --- Online\r\nSound: ON\r\nNotification Window: ON"},
        TCaptionCase{"BusyLongSoundOff", Busy, true, false, true,
                     "Ann --- Busy\r\nSound: OFF\r\nNotification Window: ON"},
        TCaptionCase{"AwayLongWindowOff", Away, true, true, false,
                     "Ann --- Away\r\nSound: ON\r\nNotification Window: OFF"}),
    TCaseName());

class OnlineStateTextTest : public OnlineStateFixture, public ::testing::Test {};

TEST_F(OnlineStateTextTest, CaptionKeepsPercentSignsOfTheNickname) {
    // The nickname is an argument, never a pattern.
    FParams[spNickname] = QStringLiteral("100%s %d");
    const auto lang = English();
    EXPECT_EQ(StateCaption(FParams, Busy, false, lang.get()), QStringLiteral("100%s %d --- Busy"));
}

TEST_F(OnlineStateTextTest, EveryFixedTextGoesThroughTheLanguageTable) {
    FHome.Write(QStringLiteral("Languages/Deutsch.lng"),
                "[Info]\r\nLanguage=Deutsch\r\n[String]\r\nBusy=Besch\xC3\xA4" "ftigt\r\nSound:=Ton:\r\nON=AN\r\n"
                "OFF=AUS\r\nNotification Window:=Hinweisfenster:\r\nLoading...=Laden...\r\n"
                "My Online State:=Mein Status:\r\n");
    FParams[spUserInterfaceLanguageInUse] = QStringLiteral("Deutsch");
    TUserInterfaceLang lang(FHome.File(QStringLiteral("Languages")), FParams);
    FParams[bpPlaySound] = true;
    FParams[bpUseNotificationWindow] = false;
    EXPECT_EQ(StateCaption(FParams, Busy, true, &lang),
              QString::fromUtf8("Ann --- Beschäftigt\r\nTon: AN\r\nHinweisfenster: AUS"));
    EXPECT_EQ(StateText(Online, &lang), QStringLiteral("Online")); // no translation: English
    EXPECT_EQ(LoadingText(&lang), QStringLiteral("Laden..."));
    EXPECT_EQ(HeaderTitle(&lang), QStringLiteral("Mein Status:"));
}

TEST_F(OnlineStateTextTest, RefreshLeavesTheHintOfAnAnimatingTray) {
    const auto lang = English();
    FParams[bpPlaySound] = false;
    FParams[bpUseNotificationWindow] = true;
    const TStateTexts idle = RefreshStateTexts(FParams, Away, false, lang.get());
    EXPECT_EQ(idle.HeaderContent, QStringLiteral("Ann --- Away"));
    ASSERT_TRUE(idle.TrayHint.has_value());
    EXPECT_EQ(*idle.TrayHint, QStringLiteral("Ann --- Away\r\nSound: OFF\r\nNotification Window: ON"));

    const TStateTexts animating = RefreshStateTexts(FParams, Away, true, lang.get());
    EXPECT_EQ(animating.HeaderContent, QStringLiteral("Ann --- Away"));
    EXPECT_FALSE(animating.TrayHint.has_value());
}

// ------------------------------------------------------ wire numbers

struct TWireCase {
    const char* Name;
    int Wire;
    std::optional<TOnlineState> State;
};

void PrintTo(const TWireCase& c, std::ostream* os) { *os << c.Name; }

class OnlineStateWire : public ::testing::TestWithParam<TWireCase> {};

TEST_P(OnlineStateWire, NumbersNameAStateOrNone) {
    const TWireCase& c = GetParam();
    EXPECT_EQ(OnlineStateFromWire(c.Wire), c.State);
    if (c.State) {
        EXPECT_EQ(OnlineStateToWire(*c.State), c.Wire);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OnlineStateWire,
                         ::testing::Values(TWireCase{"Online", 0, Online}, TWireCase{"Busy", 1, Busy},
                                           TWireCase{"Away", 2, Away},
                                           // A state caption of these would read "Ann --- ".
                                           TWireCase{"JustAboveAway", 3, std::nullopt},
                                           TWireCase{"UnknownSeven", 7, std::nullopt},
                                           TWireCase{"Negative", -1, std::nullopt},
                                           // 258 and 255 would wrap to 2 and -1 in a byte.
                                           TWireCase{"WrapsToAwayInAByte", 258, std::nullopt},
                                           TWireCase{"ByteMinusOne", 255, std::nullopt}),
                         TCaseName());

// -------------------------------------------------------- state choice

struct TChoiceCase {
    const char* Name;
    TOnlineState Wanted;
    TOnlineState Current;
    bool BusyAutoSwitch;
    bool AwayAutoSwitch;
    TStateChoice::TKind Kind;
    TOnlineState State; // ckSwitch: the new state; ckDialog: the one preselected
};

void PrintTo(const TChoiceCase& c, std::ostream* os) { *os << c.Name; }

class StateChoiceCases : public OnlineStateFixture, public ::testing::TestWithParam<TChoiceCase> {};

TEST_P(StateChoiceCases, SwitchDialogOrNothing) {
    const TChoiceCase& c = GetParam();
    FParams[bpState_Busy_AutoSwitch] = c.BusyAutoSwitch;
    FParams[bpState_Away_AutoSwitch] = c.AwayAutoSwitch;
    const TStateChoice choice = ChooseOnlineState(c.Wanted, c.Current, FParams);
    EXPECT_EQ(choice.Kind, c.Kind);
    if (c.Kind != TStateChoice::ckNothing) {
        EXPECT_EQ(choice.State, c.State);
    }
}

constexpr auto kNothing = TStateChoice::ckNothing;
constexpr auto kSwitch = TStateChoice::ckSwitch;
constexpr auto kDialog = TStateChoice::ckDialog;

INSTANTIATE_TEST_SUITE_P(
    Cases, StateChoiceCases,
    ::testing::Values(
        TChoiceCase{"OnlineAgainDoesNothing", Online, Online, false, false, kNothing, Online},
        TChoiceCase{"BusyAgainDoesNothingEvenWithAutoSwitch", Busy, Busy, true, true, kNothing, Online},
        TChoiceCase{"AwayAgainDoesNothing", Away, Away, false, false, kNothing, Online},
        TChoiceCase{"BackToOnlineAlwaysDirect", Online, Busy, false, false, kSwitch, Online},
        TChoiceCase{"AwayToOnlineDirect", Online, Away, false, false, kSwitch, Online},
        TChoiceCase{"BusyByDefaultOpensDialogOnBusy", Busy, Online, false, false, kDialog, Busy},
        TChoiceCase{"AwayByDefaultOpensDialogOnAway", Away, Online, false, false, kDialog, Away},
        TChoiceCase{"BusyWithAutoSwitch", Busy, Online, true, false, kSwitch, Busy},
        TChoiceCase{"AwayWithAutoSwitch", Away, Online, false, true, kSwitch, Away},
        TChoiceCase{"OtherStatesSwitchDoesNotCount", Away, Online, true, false, kDialog, Away},
        TChoiceCase{"BusyToAwayUsesAwaySetting", Away, Busy, false, true, kSwitch, Away},
        TChoiceCase{"AwayToBusyOpensDialog", Busy, Away, false, true, kDialog, Busy}),
    TCaseName());

// ------------------------------------------------------ auto-reply text

struct TCleanCase {
    const char* Name;
    QString Input;
    QString Expected;
};

void PrintTo(const TCleanCase& c, std::ostream* os) { *os << c.Name; }

class CleanAutoReplyCases : public ::testing::TestWithParam<TCleanCase> {};

TEST_P(CleanAutoReplyCases, NoTabsAtMostTheLimit) {
    const QString cleaned = CleanAutoReplyText(GetParam().Input);
    EXPECT_EQ(cleaned, GetParam().Expected);
    EXPECT_LE(cleaned.size(), MaxAutoReplyLength);
    EXPECT_FALSE(cleaned.contains(QLatin1Char('\t')));
}

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanAutoReplyCases,
    ::testing::Values(
        TCleanCase{"Unchanged", QStringLiteral("Back at 3"), QStringLiteral("Back at 3")},
        TCleanCase{"TabsRemoved", QStringLiteral("\tBack\tat\t3\t"), QStringLiteral("Backat3")},
        TCleanCase{"Empty", QString(), QString()},
        TCleanCase{"LineBreaksKept", QStringLiteral("a\nb"), QStringLiteral("a\nb")},
        TCleanCase{"CutToTheLimit", QString(300, QLatin1Char('x')), QString(255, QLatin1Char('x'))},
        TCleanCase{"TabsDoNotCount", QString(255, QLatin1Char('y')) + QStringLiteral("\t\t"),
                   QString(255, QLatin1Char('y'))},
        TCleanCase{"NoHalfSurrogateAtTheCut", QString(254, QLatin1Char('z')) + kEmoji,
                   QString(254, QLatin1Char('z'))}),
    TCaseName());

class AutoReplyStoreTest : public OnlineStateFixture, public ::testing::Test {};

TEST_F(AutoReplyStoreTest, BusyAndAwayHaveTheirOwnSettings) {
    StoreAutoReplyText(FParams, Away, QStringLiteral("Out\tto lunch"));
    EXPECT_EQ(FParams[spState_Away_AutoReplyContent], QStringLiteral("Outto lunch"));
    EXPECT_EQ(FParams[spState_Busy_AutoReplyContent], QStringLiteral("Sorry, I'm busy now."));
    StoreAutoReplyText(FParams, Busy, QStringLiteral("Meeting"));
    EXPECT_EQ(FParams[spState_Busy_AutoReplyContent], QStringLiteral("Meeting"));
    EXPECT_EQ(AutoReplyParam(Busy), bpState_Busy_AutoReply);
    EXPECT_EQ(AutoReplyParam(Away), bpState_Away_AutoReply);
    EXPECT_EQ(AutoSwitchParam(Busy), bpState_Busy_AutoSwitch);
    EXPECT_EQ(AutoSwitchParam(Away), bpState_Away_AutoSwitch);
    EXPECT_EQ(AutoReplyContentParam(Busy), spState_Busy_AutoReplyContent);
    EXPECT_EQ(AutoReplyContentParam(Away), spState_Away_AutoReplyContent);
    // Online has no settings of its own: it reads Busy's.
    EXPECT_EQ(AutoReplyParam(Online), bpState_Busy_AutoReply);
}

// The stored text is what the peers get: GetAutoReply reads the same settings.
TEST_F(AutoReplyStoreTest, StoredTextIsTheReplyOfItsState) {
    StoreAutoReplyText(FParams, Away, QStringLiteral("Back\tsoon"));
    FParams[bpState_Away_AutoReply] = false;
    FParams[bpState_Busy_AutoReply] = true;
    const auto lang = English();
    TCommLocal local(FParams, FHome.Path(), QStringLiteral("1.0.0.0"), lang.get());
    local.SetOnlineState(Away);
    QString text;
    // Away with its own switch off answers nothing, whatever Busy's says.
    EXPECT_FALSE(local.GetAutoReply(&text));
    EXPECT_EQ(text, QStringLiteral("[Auto-reply Message]: Backsoon"));
}

// ------------------------------------------------------------ switching


class StateSwitchTest : public OnlineStateFixture, public ::testing::Test {
protected:
    StateSwitchTest() : FLocal(FParams, FHome.Path(), QStringLiteral("1.0.0.0")), FSpy(FLocal) {}
    TCommLocal FLocal;
    TSpyAnnouncer FSpy;
};

TEST_F(StateSwitchTest, DirectChoicesAnnounceOnce) {
    FParams[bpState_Busy_AutoSwitch] = true;
    TOnlineStateSwitch sw(FParams, FSpy);
    QSignalSpy switched(&sw, &TOnlineStateSwitch::StateSwitched);

    EXPECT_EQ(sw.Choose(Busy).Kind, TStateChoice::ckSwitch);
    EXPECT_EQ(FLocal.OnlineState(), Busy);
    EXPECT_EQ(sw.Choose(Busy).Kind, TStateChoice::ckNothing);
    EXPECT_EQ(sw.Choose(Online).Kind, TStateChoice::ckSwitch);
    EXPECT_EQ(FSpy.Sent, (QList<TOnlineState>{Busy, Online}));
    ASSERT_EQ(switched.count(), 2);
    EXPECT_EQ(switched.at(0).at(0).value<TOnlineState>(), Busy);
    EXPECT_EQ(switched.at(1).at(0).value<TOnlineState>(), Online);
}

TEST_F(StateSwitchTest, DialogChoiceSendsNothingYet) {
    TOnlineStateSwitch sw(FParams, FSpy);
    QSignalSpy switched(&sw, &TOnlineStateSwitch::StateSwitched);
    const TStateChoice choice = sw.Choose(Away);
    EXPECT_EQ(choice.Kind, TStateChoice::ckDialog);
    EXPECT_EQ(choice.State, Away);
    EXPECT_TRUE(FSpy.Sent.isEmpty());
    EXPECT_EQ(switched.count(), 0);
    EXPECT_EQ(FLocal.OnlineState(), Online);
}

TEST_F(StateSwitchTest, SwitchToTheSameStateIsSilent) {
    TOnlineStateSwitch sw(FParams, FSpy);
    QSignalSpy switched(&sw, &TOnlineStateSwitch::StateSwitched);
    EXPECT_FALSE(sw.Switch(Online));
    // No state at all cannot be asked for: numbers are read at the edge.
    EXPECT_FALSE(OnlineStateFromWire(3).has_value());
    EXPECT_FALSE(OnlineStateFromWire(-1).has_value());
    EXPECT_TRUE(FSpy.Sent.isEmpty());
    EXPECT_EQ(switched.count(), 0);
}

// The program's announcer is the node itself; with no listed users it only
// sets the process-wide state.
TEST(NodeStateAnnouncer, SetsTheProcessState) {
    TNode node;
    TNodeStateAnnouncer announcer(node);
    TCommLocal& local = node.Local();
    local.SetOnlineState(Online);
    EXPECT_TRUE(announcer.SwitchOnlineState(Away));
    EXPECT_EQ(announcer.CurrentState(), Away);
    EXPECT_EQ(local.OnlineState(), Away);
    EXPECT_FALSE(announcer.SwitchOnlineState(Away));
    EXPECT_FALSE(OnlineStateFromWire(5).has_value());
    EXPECT_TRUE(announcer.SwitchOnlineState(Online));
    EXPECT_EQ(local.OnlineState(), Online);
}

} // namespace
