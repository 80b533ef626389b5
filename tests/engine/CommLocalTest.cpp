#include "protocol/CommLocalUnit.h"

#include "core/DottedQuadUnit.h"
#include "core/ParamsUnit.h"
#include "platform/UserStoreUnit.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Settings and a program folder of their own; never the process-wide ones.
class CommLocalFixture {
protected:
    CommLocalFixture()
        : FParams(FHome.File(QStringLiteral("Config.ini")), FHome.Path(),
                  TUserStore(FHome.File(QStringLiteral("user/registry.ini")), FHome.File(QStringLiteral("user/autostart.desktop")))) {}

    TCommLocal MakeLocal(const QString& version = QStringLiteral("5.9.1.235"), const TUserInterfaceLang* lang = nullptr) {
        return TCommLocal(FParams, FHome.Path(), version, lang);
    }

    TTempHome FHome;
    TApplicationParams FParams;
};

// --- Automatic replies ---

struct TAutoReplyCase {
    const char* Name;
    TOnlineState State;
    bool BusyReply;
    bool AwayReply;
    bool Expected;
    const char* Text;
};

void PrintTo(const TAutoReplyCase& c, std::ostream* os) { *os << c.Name; }

class CommLocalAutoReply : public CommLocalFixture, public ::testing::TestWithParam<TAutoReplyCase> {};

TEST_P(CommLocalAutoReply, FollowsStateAndSetting) {
    const TAutoReplyCase& c = GetParam();
    FParams[bpState_Busy_AutoReply] = c.BusyReply;
    FParams[bpState_Away_AutoReply] = c.AwayReply;
    FParams[spState_Busy_AutoReplyContent] = QStringLiteral("In a meeting");
    FParams[spState_Away_AutoReplyContent] = QStringLiteral("Out for lunch, 100%s back at %d");
    TCommLocal local(FParams, FHome.Path(), QStringLiteral("1.0.0.0"));
    local.SetOnlineState(c.State);
    QString text = QStringLiteral("stale");
    EXPECT_EQ(local.GetAutoReply(&text), c.Expected);
    EXPECT_EQ(text, QString::fromUtf8(c.Text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommLocalAutoReply,
    ::testing::Values(
        TAutoReplyCase{"OnlineNeverReplies", TOnlineState::Online, true, true, false, ""},
        TAutoReplyCase{"BusyWithReplyOn", TOnlineState::Busy, true, false, true, "[Auto-reply Message]: In a meeting"},
        TAutoReplyCase{"BusyWithReplyOffStillGivesText", TOnlineState::Busy, false, true, false, "[Auto-reply Message]: In a meeting"},
        TAutoReplyCase{"AwayOnBusyOff", TOnlineState::Away, false, true, true, "[Auto-reply Message]: Out for lunch, 100%s back at %d"},
        TAutoReplyCase{"AwayWithReplyOffStillGivesText", TOnlineState::Away, true, false, false,
                       "[Auto-reply Message]: Out for lunch, 100%s back at %d"}),
    TCaseName());

TEST(CommLocal, AutoReplyLabelIsTranslated) {
    TTempHome home;
    home.Write(QStringLiteral("Languages/Test.lng"),
               "[Info]\r\nLanguage=Testish\r\n[String]\r\nAuto-reply Message=R\xC3\xA9ponse automatique\r\n");
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral("r.ini")), home.File(QStringLiteral("a.desktop"))));
    params[spUserInterfaceLanguageInUse] = QStringLiteral("Testish");
    params[spState_Busy_AutoReplyContent] = QString::fromUtf8("Occup\xC3\xA9");
    const TUserInterfaceLang lang(home.File(QStringLiteral("Languages")), params);
    TCommLocal local(params, home.Path(), QStringLiteral("1.0.0.0"), &lang);
    local.SetOnlineState(TOnlineState::Busy);
    QString text;
    local.GetAutoReply(&text);
    EXPECT_EQ(text, QString::fromUtf8("[R\xC3\xA9ponse automatique]: Occup\xC3\xA9"));
}

TEST(CommLocal, OnlineStateKeepsLastValidValue) {
    TTempHome home;
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral("r.ini")), home.File(QStringLiteral("a.desktop"))));
    TCommLocal local(params, home.Path(), QStringLiteral("1.0.0.0"));
    EXPECT_EQ(local.OnlineState(), TOnlineState::Online);
    local.SetOnlineState(TOnlineState::Away);
    EXPECT_EQ(local.OnlineState(), TOnlineState::Away);
    // 258 would wrap to 2 in a byte and -1 to 255: numbers that name no state
    // never become one.
    for (int bad : {3, 258, -1, 255}) {
        if (const std::optional<TOnlineState> state = OnlineStateFromWire(bad)) local.SetOnlineState(*state);
        EXPECT_EQ(local.OnlineState(), TOnlineState::Away) << bad;
    }
    local.SetOnlineState(TOnlineState::Busy);
    EXPECT_EQ(local.OnlineState(), TOnlineState::Busy);
}

// --- Same-subnet address of a peer ---

struct TSubnetCase {
    const char* Name;
    QStringList Own;
    const char* Sender;
    bool Expected;
    const char* Address;
};

void PrintTo(const TSubnetCase& c, std::ostream* os) { *os << c.Name; }

class CommLocalSubnet : public CommLocalFixture, public ::testing::TestWithParam<TSubnetCase> {};

TEST_P(CommLocalSubnet, PicksFirstSenderAddressOnOurNetwork) {
    const TSubnetCase& c = GetParam();
    TCommLocal local = MakeLocal();
    local.SetLocalInterfaces(c.Own);
    QString address = QStringLiteral("stale");
    EXPECT_EQ(local.PickSameSubnetAddress(QString::fromUtf8(c.Sender), &address), c.Expected);
    EXPECT_EQ(address, QString::fromUtf8(c.Address));
}

const QStringList kOwnLan{QStringLiteral("192.168.7.20=255.255.255.0")};

INSTANTIATE_TEST_SUITE_P(
    Cases, CommLocalSubnet,
    ::testing::Values(
        TSubnetCase{"TwoAdapters", kOwnLan, "10.1.0.5=255.255.0.0\r\n192.168.7.5=255.255.255.0\r\n", true, "192.168.7.5"},
        TSubnetCase{"BareLineFeeds", kOwnLan, "10.1.0.5=255.255.0.0\n192.168.7.5=255.255.255.0", true, "192.168.7.5"},
        TSubnetCase{"SenderOrderDecides",
                    {QStringLiteral("10.1.0.20=255.255.0.0"), QStringLiteral("192.168.7.20=255.255.255.0")},
                    "192.168.7.5=255.255.255.0\r\n10.1.0.5=255.255.0.0\r\n", true, "192.168.7.5"},
        TSubnetCase{"OurSecondInterfaceMatches",
                    {QStringLiteral("172.16.0.2=255.255.0.0"), QStringLiteral("192.168.7.20=255.255.255.0")},
                    "192.168.7.5=255.255.255.0\r\n", true, "192.168.7.5"},
        TSubnetCase{"NetworksComparedWithEachOwnMask", {QStringLiteral("10.1.0.20=255.255.255.0")},
                    "10.1.0.5=255.255.0.0\r\n", true, "10.1.0.5"},
        // Under the sender's mask our address would fall in its 10.1.2.0 network.
        TSubnetCase{"OurWiderNetworkIsNotTheSendersNarrowerOne", {QStringLiteral("10.1.2.20=255.255.0.0")},
                    "10.1.2.5=255.255.255.0\r\n", false, ""},
        TSubnetCase{"OtherNetworkOnly", kOwnLan, "10.1.0.5=255.255.0.0\r\n", false, ""},
        TSubnetCase{"ZeroNetworkNeverMatches", {QStringLiteral("0.0.0.0=0.0.0.0"), kOwnLan[0]}, "0.0.0.0=0.0.0.0\r\n",
                    false, ""},
        TSubnetCase{"ZeroMaskNeverMatches", {QStringLiteral("192.168.7.20=0.0.0.0")}, "192.168.7.5=0.0.0.0\r\n", false,
                    ""},
        TSubnetCase{"EmptyOwnList", {}, "192.168.7.5=255.255.255.0\r\n", false, ""},
        TSubnetCase{"EmptySenderText", kOwnLan, "", false, ""},
        TSubnetCase{"MalformedLinesSkipped", kOwnLan,
                    "garbage\r\n192.168.7=255.255.255.0\r\n192.168.7.256=255.255.255.0\r\n192.168.7.9\r\n"
                    "=255.255.255.0\r\n192.168.7.x=255.255.255.0\r\n192.168.7.8=255.255.255.0=1\r\n"
                    "192.168.7.6=255.255.255.0\r\n",
                    true, "192.168.7.6"},
        // The strict reading: a fifth piece spoils the line, it is not cut off.
        TSubnetCase{"FivePieceAddressSkipped", kOwnLan, "192.168.7.5.1=255.255.255.0\r\n192.168.7.4=255.255.255.0.0\r\n",
                    false, ""},
        TSubnetCase{"BlanksAndLeadingZerosNormalised", kOwnLan, "  192.168.007.005 = 255.255.255.0 \r\n", true,
                    "192.168.7.5"},
        TSubnetCase{"PeerNamingOurBroadcastAddressRefused", kOwnLan, "192.168.7.255=255.255.255.0\r\n", false, ""},
        TSubnetCase{"PeerNamingTheNetworkAddressRefused", kOwnLan, "192.168.7.0=255.255.255.0\r\n", false, ""},
        TSubnetCase{"PointToPointLinkAccepted", {QStringLiteral("10.9.9.1=255.255.255.254")},
                    "10.9.9.0=255.255.255.254\r\n", true, "10.9.9.0"},
        TSubnetCase{"MalformedOwnLineIgnored", {QStringLiteral("not an interface"), kOwnLan[0]},
                    "192.168.7.5=255.255.255.0\r\n", true, "192.168.7.5"}),
    TCaseName());

// --- Broadcast list ---

struct TBroadcastCase {
    const char* Name;
    const char* Setting;
    QStringList Expected;
};

void PrintTo(const TBroadcastCase& c, std::ostream* os) { *os << c.Name; }

class CommLocalBroadcast : public CommLocalFixture, public ::testing::TestWithParam<TBroadcastCase> {};

TEST_P(CommLocalBroadcast, TakesTickedEntriesInOrder) {
    FParams[spUDPBroadcastIPList] = QString::fromUtf8(GetParam().Setting);
    const TCommLocal local = MakeLocal();
    QStringList list{QStringLiteral("stale")};
    EXPECT_TRUE(local.GetBroadcastList(&list));
    EXPECT_EQ(list, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommLocalBroadcast,
    ::testing::Values(
        TBroadcastCase{"TickedOnly", "+10.0.0.255\t-192.168.1.255\t+host7", {"10.0.0.255", "host7"}},
        TBroadcastCase{"Empty", "", {}},
        TBroadcastCase{"Default", "+255.255.255.255", {"255.255.255.255"}},
        TBroadcastCase{"NoneTicked", "-10.0.0.255\t-10.0.1.255", {}},
        TBroadcastCase{"EmptyPiecesAndLonePlusSkipped", "\t+\t\t+10.0.2.255\t", {"10.0.2.255"}},
        TBroadcastCase{"UnsignedEntryIgnored", "10.0.0.255\t+10.0.3.255", {"10.0.3.255"}},
        TBroadcastCase{"BlanksTrimmed", " +10.0.4.255 \t+ host8", {"10.0.4.255", "host8"}}),
    TCaseName());

// --- Update files ---

const QByteArray kUpdateIni = "; served by this node\r\n"
                              "[5.9.1.235_5.8.0.100]\r\n"
                              "File1=Quillmate.exe\r\n"
                              "File2=Languages\\Chinese.lng\r\n"
                              "[5.9.1.235_5.0.0.1]\r\n"
                              "[5.9.1.235_5.1.0.0]\r\n"
                              "Blank=\r\n"
                              "[5.9.1.235_5.2.0.0]\r\n"
                              "a=\"Help\\Help.chm\"\r\n"
                              "A=ignored duplicate\r\n"
                              "b=\r\n"
                              "c=Sounds\\online.wav\r\n";

struct TUpdateCase {
    const char* Name;
    const char* OwnVersion;
    const char* PeerVersion;
    const char* Expected;
};

void PrintTo(const TUpdateCase& c, std::ostream* os) { *os << c.Name; }

class CommLocalUpdate : public CommLocalFixture, public ::testing::TestWithParam<TUpdateCase> {};

TEST_P(CommLocalUpdate, ListsSectionValuesThenUpdateIni) {
    const TUpdateCase& c = GetParam();
    FHome.Write(QStringLiteral("Update.ini"), kUpdateIni);
    const TCommLocal local = MakeLocal(QString::fromUtf8(c.OwnVersion));
    EXPECT_EQ(local.GetUpdateFileList(QString::fromUtf8(c.PeerVersion)), QString::fromUtf8(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommLocalUpdate,
    ::testing::Values(
        TUpdateCase{"TwoLinesGiveThree", "5.9.1.235", "5.8.0.100",
                    "Quillmate.exe\r\nLanguages\\Chinese.lng\r\nUpdate.ini\r\n"},
        TUpdateCase{"EmptyValuesAndDuplicatesLeftOut", "5.9.1.235", "5.2.0.0",
                    "Help\\Help.chm\r\nSounds\\online.wav\r\nUpdate.ini\r\n"},
        TUpdateCase{"UnknownPeerVersion", "5.9.1.235", "5.7.0.0", ""},
        TUpdateCase{"OtherOwnVersion", "6.0.0.0", "5.8.0.100", ""},
        TUpdateCase{"EmptySection", "5.9.1.235", "5.0.0.1", ""},
        TUpdateCase{"SectionOfBlankValues", "5.9.1.235", "5.1.0.0", ""},
        TUpdateCase{"NoOwnVersion", "", "5.8.0.100", ""},
        TUpdateCase{"NoPeerVersion", "5.9.1.235", "", ""},
        TUpdateCase{"HostilePeerVersion", "5.9.1.235", "]\r\n[5.9.1.235_5.8.0.100", ""}),
    TCaseName());

TEST(CommLocal, NoUpdateIniGivesNoFiles) {
    TTempHome home;
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral("r.ini")), home.File(QStringLiteral("a.desktop"))));
    const TCommLocal local(params, home.Path(), QStringLiteral("5.9.1.235"));
    EXPECT_EQ(local.GetUpdateFileList(QStringLiteral("5.8.0.100")), QString());
}

// --- Local interfaces ---

struct TInterfaceCase {
    const char* Name;
    QList<TNetInterfaceEntry> Entries;
    QStringList Expected;
};

void PrintTo(const TInterfaceCase& c, std::ostream* os) { *os << c.Name; }

class CommLocalInterfaces : public ::testing::TestWithParam<TInterfaceCase> {};

TEST_P(CommLocalInterfaces, KeepsUsableEntriesInSystemOrder) {
    EXPECT_EQ(TCommLocal::InterfaceLines(GetParam().Entries), GetParam().Expected);
}

TNetInterfaceEntry Up(const char* address, const char* mask) {
    return {QString::fromUtf8(address), QString::fromUtf8(mask), true, false};
}

QList<TNetInterfaceEntry> TenLoopbacksThenLan() {
    QList<TNetInterfaceEntry> out;
    for (int i = 1; i <= TCommLocal::MaxInterfaceEntries; ++i)
        out.append({QStringLiteral("127.0.0.%1").arg(i), QStringLiteral("255.0.0.0"), true, true});
    out.append(Up("192.168.7.20", "255.255.255.0"));
    return out;
}

QList<TNetInterfaceEntry> TwelveUsable() {
    QList<TNetInterfaceEntry> out;
    for (int i = 1; i <= 12; ++i) out.append({QStringLiteral("10.0.%1.1").arg(i), QStringLiteral("255.255.255.0"), true, false});
    return out;
}

QStringList TenOfTwelve() {
    QStringList out;
    for (int i = 1; i <= 10; ++i) out << QStringLiteral("10.0.%1.1=255.255.255.0").arg(i);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommLocalInterfaces,
    ::testing::Values(
        TInterfaceCase{"SystemOrderKept",
                       {Up("192.168.7.20", "255.255.255.0"), Up("10.1.0.20", "255.255.0.0")},
                       {"192.168.7.20=255.255.255.0", "10.1.0.20=255.255.0.0"}},
        TInterfaceCase{"LoopbackAndDownLeftOut",
                       {{"127.0.0.1", "255.0.0.0", true, true},
                        {"10.2.0.1", "255.255.0.0", false, false},
                        Up("10.3.0.1", "255.255.0.0")},
                       {"10.3.0.1=255.255.0.0"}},
        TInterfaceCase{"MalformedAndUnassignedLeftOut",
                       {Up("", ""), Up("0.0.0.0", "0.0.0.0"), Up("10.4.0.1", ""), Up("10.5.0.1", "255.255.0.0")},
                       {"10.5.0.1=255.255.0.0"}},
        TInterfaceCase{"OnlyFirstTenEntriesLookedAt", TenLoopbacksThenLan(), {}},
        TInterfaceCase{"AtMostTenLines", TwelveUsable(), TenOfTwelve()},
        TInterfaceCase{"NoEntries", {}, {}}),
    TCaseName());

TEST(CommLocal, SystemInterfacesAreWellFormedAndNoLoopback) {
    const QStringList lines = TCommLocal::EnumerateInterfaces();
    EXPECT_LE(lines.size(), TCommLocal::MaxInterfaceEntries);
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char('='));
        ASSERT_EQ(parts.size(), 2) << line.toStdString();
        const std::optional<quint32> address = ParseDottedQuad(parts[0]);
        EXPECT_TRUE(address.has_value()) << line.toStdString();
        EXPECT_TRUE(ParseDottedQuad(parts[1]).has_value()) << line.toStdString();
        EXPECT_NE(address.value_or(0) >> 24, 127u) << line.toStdString();
    }
}

TEST(CommLocal, LocalInterfacesAnnouncedWithCrLfAfterEachLine) {
    TTempHome home;
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral("r.ini")), home.File(QStringLiteral("a.desktop"))));
    TCommLocal local(params, home.Path(), QStringLiteral("1.0.0.0"));
    EXPECT_EQ(local.LocalInterfacesText(), QString());
    local.SetLocalInterfaces({QStringLiteral("10.1.0.5=255.255.0.0"), QStringLiteral("192.168.7.5=255.255.255.0")});
    EXPECT_EQ(local.LocalInterfacesText(), QStringLiteral("10.1.0.5=255.255.0.0\r\n192.168.7.5=255.255.255.0\r\n"));
    // What one node announces, another picks from.
    TCommLocal peer(params, home.Path(), QStringLiteral("1.0.0.0"));
    peer.SetLocalInterfaces({QStringLiteral("192.168.7.20=255.255.255.0")});
    QString address;
    EXPECT_TRUE(peer.PickSameSubnetAddress(local.LocalInterfacesText(), &address));
    EXPECT_EQ(address, QStringLiteral("192.168.7.5"));
}

} // namespace
