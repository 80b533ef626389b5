#include "protocol/PresenceCodecUnit.h"
#include "text/MsgLangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

TLocalIdentity SampleIdentity(qint16 languageId = 1033) {
    TLocalIdentity self;
    self.LanguageId = languageId;
    self.Interfaces = {QStringLiteral("10.1.0.5=255.255.0.0"), QStringLiteral("192.168.7.5=255.255.255.0")};
    self.OnlineState = TOnlineState::Away;
    self.NickName = QStringLiteral("Ann");
    self.ComputerName = QStringLiteral("PC-ANN");
    self.Version = QStringLiteral("1.2.3.4");
    self.UserId = QStringLiteral("{0A1B2C3D-0000-4000-8000-00AABBCCDDEE}");
    return self;
}

std::optional<TEnvelope> Parse(const QByteArray& datagram) { return TEnvelope::Parse(datagram); }

void ExpectIdentity(const TOnlineNotify& n, const TLocalIdentity& self) {
    EXPECT_EQ(n.OnlineState, OnlineStateToWire(self.OnlineState));
    EXPECT_EQ(n.NickName, self.NickName);
    EXPECT_EQ(n.ComputerName, self.ComputerName);
    EXPECT_EQ(n.Version, self.Version);
    EXPECT_EQ(n.UserId, self.UserId);
    EXPECT_EQ(n.Reserved, self.Reserved);
    EXPECT_TRUE(n.IPAddress.isEmpty()); // the receiver fills it
    EXPECT_EQ(n.SenderHandle, 0);
    EXPECT_EQ(n.ReceiverHandle, 0);
}

// ---- Exact layouts on the wire (other programs read these bytes) ----

TEST(PresenceEncode, LogonLayout) {
    const TMessageLang lang(1033);
    EXPECT_EQ(EncodeLogon(SampleIdentity(), lang),
              "QLM_LOGON\t2\t1033\t10.1.0.5=255.255.0.0\r\n192.168.7.5=255.255.255.0\r\n\t2\tAnn\tPC-ANN\t1.2.3.4\t"
              "{0A1B2C3D-0000-4000-8000-00AABBCCDDEE}\t\t_NULL_\t_NULL_");
}

TEST(PresenceEncode, LogonWithoutInterfacesHasEmptyField) {
    TLocalIdentity self = SampleIdentity();
    self.Interfaces.clear();
    const auto e = Parse(EncodeLogon(self, TMessageLang(1033)));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->FieldCount(), 12);
    EXPECT_EQ(e->Field(3), "");
    EXPECT_EQ(e->Field(5), "Ann");
}

TEST(PresenceEncode, PresenceLayout) {
    TLocalIdentity self = SampleIdentity();
    self.Reserved = QStringLiteral("r");
    EXPECT_EQ(EncodePresence(MessageType::OnlineState, self, TMessageLang(1033)),
              "QLM_ONLINESTATE\t2\t1033\t2\tAnn\tPC-ANN\t1.2.3.4\t{0A1B2C3D-0000-4000-8000-00AABBCCDDEE}\tr\t_NULL_\t_NULL_");
}

TEST(PresenceEncode, IdentifierMessagesCarryTheIdAsRest) {
    const QString id = QStringLiteral("{ID-1}");
    EXPECT_EQ(EncodeCheckSignal(id), "QLM_CHECKSIGNAL\t2\t{ID-1}");
    EXPECT_EQ(EncodeCheckSignalReply(id), "QLM_CHECKSIGNALREPLY\t2\t{ID-1}");
    EXPECT_EQ(EncodeCheckNetworkState(id), "QLM_CHECKNETWORKSTATE\t2\t{ID-1}");
    EXPECT_EQ(EncodeCheckNetworkState({}), "QLM_CHECKNETWORKSTATE\t2\t");
}

TEST(PresenceEncode, TabInANameDoesNotShiftTheFields) {
    TLocalIdentity self = SampleIdentity();
    self.NickName = QStringLiteral("Ann\tSmith");
    const TMessageLang lang(1033);
    for (const QByteArray& datagram : {EncodePresence(MessageType::Nickname, self, lang), EncodeLogon(self, lang)}) {
        const auto e = Parse(datagram);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->FieldCount(), e->IsType(MessageType::Logon) ? 12 : 11);
    }
    const auto notify = DecodePresence(*Parse(EncodePresence(MessageType::Nickname, self, lang)), lang);
    ASSERT_TRUE(notify);
    EXPECT_EQ(notify->NickName, QStringLiteral("Ann Smith"));
    EXPECT_EQ(notify->ComputerName, self.ComputerName);
    EXPECT_EQ(notify->UserId, self.UserId);
}

TEST(PresenceEncode, IdentityWithoutLanguageSpeaksTheGivenLanguage) {
    TLocalIdentity self = SampleIdentity(0);
    self.NickName = QString::fromUtf8("中文");
    const QByteArray datagram = EncodePresence(MessageType::Nickname, self, TMessageLang(2052));
    const auto e = Parse(datagram);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Field(2), "2052");
    EXPECT_EQ(e->Field(4), "\xD6\xD0\xCE\xC4");
}

// ---- Round trips for every layout ----

class PresenceRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(PresenceRoundTrip, DecodesWhatWasEncoded) {
    const TMessageLang lang(1033);
    TLocalIdentity self = SampleIdentity();
    self.Reserved = QStringLiteral("reserved text");
    const auto e = Parse(EncodePresence(GetParam(), self, lang));
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->IsType(GetParam()));
    EXPECT_EQ(e->ProtocolVersion(), CurrentProtocolVersion);
    const std::optional<TOnlineNotify> n = DecodePresence(*e, lang);
    ASSERT_TRUE(n);
    ExpectIdentity(*n, self);
}

INSTANTIATE_TEST_SUITE_P(Types, PresenceRoundTrip,
                         ::testing::Values(MessageType::LogonReply, MessageType::Logoff, MessageType::OnlineState,
                                           MessageType::Nickname),
                         [](const auto& info) { return std::string(info.param); });

TEST(PresenceRoundTripLogon, DecodesIdentityAndInterfaces) {
    const TMessageLang lang(1033);
    TLocalIdentity self = SampleIdentity();
    self.Reserved = QStringLiteral("reserved text");
    const auto e = Parse(EncodeLogon(self, lang));
    ASSERT_TRUE(e);
    const std::optional<TDecodedLogon> logon = DecodeLogon(*e, lang);
    ASSERT_TRUE(logon);
    ExpectIdentity(logon->Notify, self);
    EXPECT_EQ(logon->SenderInterfaces, QStringLiteral("10.1.0.5=255.255.0.0\r\n192.168.7.5=255.255.255.0\r\n"));
}

TEST(PresenceRoundTripCheck, SignalReplyFillsOnlyTheUserId) {
    const QString id = QStringLiteral("{0A1B2C3D-0000-4000-8000-00AABBCCDDEE}");
    const auto e = Parse(EncodeCheckSignalReply(id));
    ASSERT_TRUE(e);
    const TOnlineNotify n = DecodeCheckSignalReply(*e);
    EXPECT_EQ(n.UserId, id);
    const TOnlineNotify empty;
    EXPECT_EQ(n.OnlineState, empty.OnlineState);
    EXPECT_TRUE(n.NickName.isEmpty() && n.ComputerName.isEmpty() && n.IPAddress.isEmpty() && n.Version.isEmpty() &&
                n.Reserved.isEmpty());
    EXPECT_EQ(DecodeCheckNetworkState(*Parse(EncodeCheckNetworkState(id))), id);
}

// An identifier made from a computer name ("%s_%d") may hold any letter: the
// self-check must come back equal or the node never logs on.
TEST(PresenceRoundTripCheck, NonLatinIdentifiersComeBackWhole) {
    for (const QString& id : {QStringLiteral("电脑-甲_12345"), QStringLiteral("Компьютер_7"), QStringLiteral("Ünïcödé_1")}) {
        EXPECT_EQ(DecodeCheckNetworkState(*Parse(EncodeCheckNetworkState(id))), id) << id.toStdString();
        EXPECT_EQ(DecodeCheckSignalReply(*Parse(EncodeCheckSignalReply(id))).UserId, id) << id.toStdString();
        EXPECT_EQ(Parse(EncodeCheckSignal(id))->Rest(2), id.toUtf8()) << id.toStdString();
    }
}

TEST(PresenceRoundTripCheck, IdentifierIsTheWholeRest) {
    const auto e = Parse("QLM_CHECKSIGNALREPLY\t2\tid\twith\ttabs\r\n");
    ASSERT_TRUE(e);
    EXPECT_EQ(DecodeCheckSignalReply(*e).UserId, QStringLiteral("id\twith\ttabs\r\n"));
    EXPECT_EQ(DecodeCheckNetworkState(*e), QStringLiteral("id\twith\ttabs\r\n"));
    const auto bare = Parse("QLM_CHECKNETWORKSTATE\t2");
    ASSERT_TRUE(bare);
    EXPECT_TRUE(DecodeCheckNetworkState(*bare).isEmpty());
    EXPECT_TRUE(DecodeCheckSignalReply(*bare).UserId.isEmpty());
}

// ---- Decoding what peers may send ----

struct TDecodeCase {
    const char* Name;
    QByteArray Datagram;
    bool Accepted;
    int OnlineState = 0;
    const char* NickName = "";
    const char* ComputerName = "";
    const char* Version = "";
    const char* UserId = "";
    const char* Reserved = "";
    const char* Interfaces = ""; // logon only
};

void PrintTo(const TDecodeCase& c, std::ostream* os) { *os << c.Name; }

void ExpectDecoded(const TDecodeCase& c, const TOnlineNotify& n) {
    EXPECT_EQ(n.OnlineState, c.OnlineState);
    EXPECT_EQ(n.NickName, QString::fromUtf8(c.NickName));
    EXPECT_EQ(n.ComputerName, QString::fromUtf8(c.ComputerName));
    EXPECT_EQ(n.Version, QString::fromUtf8(c.Version));
    EXPECT_EQ(n.UserId, QString::fromUtf8(c.UserId));
    EXPECT_EQ(n.Reserved, QString::fromUtf8(c.Reserved));
    EXPECT_TRUE(n.IPAddress.isEmpty());
}

class PresenceDecode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(PresenceDecode, FollowsTheReceivingRules) {
    const TDecodeCase& c = GetParam();
    const auto e = Parse(c.Datagram);
    ASSERT_TRUE(e);
    const std::optional<TOnlineNotify> n = DecodePresence(*e, TMessageLang(1033));
    ASSERT_EQ(n.has_value(), c.Accepted);
    if (n) ExpectDecoded(c, *n);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PresenceDecode,
    ::testing::Values(
        TDecodeCase{"FullLayout", "QLM_ONLINESTATE\t2\t1033\t1\tAnn\tPC1\t1.0.0.1\tID\tR\t_NULL_\t_NULL_", true, 1,
                    "Ann", "PC1", "1.0.0.1", "ID", "R"},
        TDecodeCase{"LowerCaseType", "qlm_onlinestate\t2\t1033\t1\tAnn\tPC1\t1.0.0.1\tID\tR", true, 1, "Ann", "PC1",
                    "1.0.0.1", "ID", "R"},
        TDecodeCase{"OnlyFieldsZeroToFive", "QLM_NICKNAME\t2\t1033\t0\tAnn\tPC1", true, 0, "Ann", "PC1"},
        TDecodeCase{"StopsAtTheState", "QLM_NICKNAME\t2\t1033\t2", true, 2},
        TDecodeCase{"VersionOneIgnoresIdentityFields",
                    "QLM_LOGOFF\t1\t1033\t1\tAnn\tPC1\t9.9.9.9\tID\tR\t_NULL_\t_NULL_", true, 1, "Ann", "PC1"},
        TDecodeCase{"VersionThreeReadsCurrentLayout", "QLM_LOGOFF\t3\t1033\t1\tAnn\tPC1\t9.9.9.9\tID\tR", true, 1,
                    "Ann", "PC1", "9.9.9.9", "ID", "R"},
        TDecodeCase{"StateNotAnInteger", "QLM_ONLINESTATE\t2\t1033\tbusy\tAnn\tPC1\tv\tID\tR", true, 0, "Ann", "PC1",
                    "v", "ID", "R"},
        TDecodeCase{"StateEmpty", "QLM_ONLINESTATE\t2\t1033\t\tAnn\tPC1", true, 0, "Ann", "PC1"},
        TDecodeCase{"StateHexDelphiRules", "QLM_ONLINESTATE\t2\t1033\t$2\tAnn\tPC1", true, 2, "Ann", "PC1"},
        TDecodeCase{"LanguageIdNotAnInteger", "QLM_ONLINESTATE\t2\tEN\t1\tAnn\tPC1\tv\tID\tR", false},
        TDecodeCase{"LanguageIdEmpty", "QLM_ONLINESTATE\t2\t\t1\tAnn\tPC1\tv\tID\tR", false},
        TDecodeCase{"LanguageIdMissing", "QLM_ONLINESTATE\t2", false},
        TDecodeCase{"ExtraFieldsIgnored", "QLM_LOGONREPLY\t2\t1033\t0\tAnn\tPC1\tv\tID\tR\t_NULL_\t_NULL_\tx\ty", true,
                    0, "Ann", "PC1", "v", "ID", "R"},
        TDecodeCase{"ReservedPlacesNeverRead", "QLM_LOGONREPLY\t2\t1033\t0\tAnn\tPC1\tv\tID\tR\tgarbage\t\x01\xFF",
                    true, 0, "Ann", "PC1", "v", "ID", "R"},
        TDecodeCase{"EmptyNameFields", "QLM_LOGONREPLY\t2\t1033\t0\t\t\t\t\t", true, 0},
        TDecodeCase{"CrLfStayInsideAField", "QLM_NICKNAME\t2\t1033\t0\tAnn\r\nB\tPC1", true, 0, "Ann\r\nB", "PC1"},
        TDecodeCase{"AnsiNicknameOfAWesternPeer", "QLM_NICKNAME\t2\t1031\t0\tJ\xFCrgen \x80\tPC1", true, 0,
                    "Jürgen €", "PC1"}),
    TCaseName());

class LogonDecode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(LogonDecode, FollowsTheReceivingRules) {
    const TDecodeCase& c = GetParam();
    const auto e = Parse(c.Datagram);
    ASSERT_TRUE(e);
    const std::optional<TDecodedLogon> logon = DecodeLogon(*e, TMessageLang(1033));
    ASSERT_EQ(logon.has_value(), c.Accepted);
    if (!logon) return;
    ExpectDecoded(c, logon->Notify);
    EXPECT_EQ(logon->SenderInterfaces, QString::fromUtf8(c.Interfaces));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogonDecode,
    ::testing::Values(
        TDecodeCase{"FullLayout", "QLM_LOGON\t2\t1033\t10.0.0.1=255.0.0.0\r\n\t1\tAnn\tPC1\tv\tID\tR\t_NULL_\t_NULL_",
                    true, 1, "Ann", "PC1", "v", "ID", "R", "10.0.0.1=255.0.0.0\r\n"},
        TDecodeCase{"NoInterfaces", "QLM_LOGON\t2\t1033\t\t0\tAnn\tPC1\tv\tID\tR", true, 0, "Ann", "PC1", "v", "ID",
                    "R"},
        TDecodeCase{"OnlyFieldsZeroToFive", "QLM_LOGON\t2\t1033\t\t0\tAnn", true, 0, "Ann"},
        TDecodeCase{"VersionOneIgnoresIdentityFields", "QLM_LOGON\t1\t1033\tx=y\r\n\t2\tAnn\tPC1\tv\tID\tR", true, 2,
                    "Ann", "PC1", "", "", "", "x=y\r\n"},
        TDecodeCase{"StateNotAnInteger", "QLM_LOGON\t2\t1033\t\tAway\tAnn\tPC1\tv\tID\tR", true, 0, "Ann", "PC1", "v",
                    "ID", "R"},
        TDecodeCase{"LanguageIdNotAnInteger", "QLM_LOGON\t2\tzh\t\t0\tAnn\tPC1\tv\tID\tR", false},
        TDecodeCase{"LanguageIdMissing", "QLM_LOGON\t2", false},
        TDecodeCase{"ExtraFieldsIgnored", "QLM_LOGON\t2\t1033\t\t0\tAnn\tPC1\tv\tID\tR\t_NULL_\t_NULL_\tmore", true, 0,
                    "Ann", "PC1", "v", "ID", "R"}),
    TCaseName());

// ---- Code pages across nodes ----

TEST(PresenceText, ChineseNicknameFromGbNodeReadsRightAtEnglishNode) {
    TLocalIdentity self = SampleIdentity(2052);
    self.NickName = QString::fromUtf8("张三的电脑");
    self.ComputerName = QString::fromUtf8("研发部");
    const QByteArray datagram = EncodeLogon(self, TMessageLang(2052));
    // GBK bytes of the first character are on the wire, not UTF-8.
    EXPECT_TRUE(datagram.contains("\t\xD5\xC5\xC8\xFD")) << datagram.toHex().constData();

    const TMessageLang english(1033);
    const std::optional<TDecodedLogon> logon = DecodeLogon(*Parse(datagram), english);
    ASSERT_TRUE(logon);
    EXPECT_EQ(logon->Notify.NickName, self.NickName);
    EXPECT_EQ(logon->Notify.ComputerName, self.ComputerName);

    const auto presence = DecodePresence(*Parse(EncodePresence(MessageType::Nickname, self, TMessageLang(2052))), english);
    ASSERT_TRUE(presence);
    EXPECT_EQ(presence->NickName, self.NickName);
}

TEST(PresenceText, EachSenderIsReadInItsOwnCodePage) {
    struct TSender {
        qint16 LanguageId;
        const char* NickName;
    };
    const TSender senders[] = {{1028, "陳小明"}, {3076, "陳大文"}, {1041, "山田太郎"}, {1042, "김철수"},
                               {1049, "Иван"},  {1031, "Jürgen"}, {2052, "李四"}};
    for (const qint16 receiver : {qint16(1033), qint16(2052), qint16(1028)}) {
        const TMessageLang lang(receiver);
        for (const TSender& s : senders) {
            TLocalIdentity self = SampleIdentity(s.LanguageId);
            self.NickName = QString::fromUtf8(s.NickName);
            const auto n = DecodePresence(*Parse(EncodePresence(MessageType::LogonReply, self, TMessageLang(s.LanguageId))), lang);
            ASSERT_TRUE(n);
            EXPECT_EQ(n->NickName, self.NickName) << "sender " << s.LanguageId << " receiver " << receiver;
        }
    }
}

TEST(PresenceText, CharactersOutsideTheSendersCodePageBecomeQuestionMarks) {
    TLocalIdentity self = SampleIdentity(1033);
    self.NickName = QString::fromUtf8("Ann 张");
    const auto e = Parse(EncodePresence(MessageType::Nickname, self, TMessageLang(1033)));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Field(4), "Ann ?");
}

} // namespace
