#include "protocol/CommConstsUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "text/MsgLangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

// ---- Parsing: what is dropped, what is taken ----

struct TParseCase {
    const char* Name;
    QByteArray Datagram;
    bool Valid;
    QByteArray Type = {};
    int Version = 0;
    int FieldCount = 0;
};

void PrintTo(const TParseCase& c, std::ostream* os) { *os << c.Name; }

class EnvelopeParse : public ::testing::TestWithParam<TParseCase> {};

TEST_P(EnvelopeParse, TakesOnlyWellFormedHeads) {
    const TParseCase& c = GetParam();
    const std::optional<TEnvelope> e = TEnvelope::Parse(c.Datagram);
    ASSERT_EQ(e.has_value(), c.Valid);
    if (!c.Valid) return;
    EXPECT_EQ(e->Type(), c.Type);
    EXPECT_EQ(e->ProtocolVersion(), c.Version);
    EXPECT_EQ(e->FieldCount(), c.FieldCount);
    EXPECT_EQ(e->Raw(), c.Datagram);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvelopeParse,
    ::testing::Values(
        TParseCase{"BareTypeWithoutTab", "QLM_LOGON", false},
        TParseCase{"Empty", "", false},
        TParseCase{"LetterInVersion", "QLM_LOGON\tA\t1033\t\t0\tAnn\tPC1", false},
        TParseCase{"EmptyVersion", "QLM_LOGON\t\t1033", false},
        TParseCase{"OnlyATab", "\t", false},
        TParseCase{"VersionWithTrailingLetter", "QLM_LOGON\t2x\t1033", false},
        TParseCase{"VersionBeyond32Bits", "QLM_LOGON\t99999999999\t1033", false},
        TParseCase{"CurrentVersion", "QLM_LOGON\t2\t1033", true, "QLM_LOGON", 2, 3},
        TParseCase{"VersionAlone", "QLM_LOGON\t2", true, "QLM_LOGON", 2, 2},
        TParseCase{"LowerCaseType", "qlm_logon\t2\t1033", true, "qlm_logon", 2, 3},
        TParseCase{"OlderVersion", "QLM_LOGOFF\t1\t1033", true, "QLM_LOGOFF", 1, 3},
        TParseCase{"HexVersionDelphiRules", "QLM_LOGOFF\t$2", true, "QLM_LOGOFF", 2, 2},
        TParseCase{"NegativeVersion", "QLM_LOGOFF\t-1", true, "QLM_LOGOFF", -1, 2},
        TParseCase{"TrailingTabMakesEmptyField", "QLM_NICKNAME\t2\t", true, "QLM_NICKNAME", 2, 3},
        TParseCase{"EmptyTypeLeftToDispatcher", "\t2\tx", true, "", 2, 3}),
    TCaseName());

TEST(Envelope, TypeComparesWithoutCaseButOnlyWhole) {
    const auto e = TEnvelope::Parse("Qlm_LogOn\t2");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->IsType(MessageType::Logon));
    EXPECT_FALSE(e->IsType(MessageType::LogonReply));
    EXPECT_FALSE(e->IsType("QLM_LOGO"));
    const auto reply = TEnvelope::Parse("QLM_LOGONREPLY\t2");
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->IsType(MessageType::Logon));
}

// ---- Field access ----

class EnvelopeFields : public ::testing::Test {
protected:
    // Empty field 3, CR LF inside field 4, a tab-holding rest from field 5.
    const QByteArray FDatagram = "QLM_X\t2\tone\t\tline1\r\nline2\trest\twith\ttabs";
    TEnvelope E = *TEnvelope::Parse(FDatagram);
};

TEST_F(EnvelopeFields, FieldRunsToNextTab) {
    EXPECT_EQ(E.FieldCount(), 8);
    EXPECT_EQ(E.Field(0), "QLM_X");
    EXPECT_EQ(E.Field(1), "2");
    EXPECT_EQ(E.Field(2), "one");
    EXPECT_EQ(E.Field(3), "");
    EXPECT_EQ(E.Field(4), "line1\r\nline2");
    EXPECT_EQ(E.Field(7), "tabs");
}

TEST_F(EnvelopeFields, MissingFieldsAreEmpty) {
    EXPECT_TRUE(E.Field(8).isEmpty());
    EXPECT_TRUE(E.Field(100).isEmpty());
    EXPECT_TRUE(E.Field(-1).isEmpty());
    EXPECT_TRUE(E.Rest(8).isEmpty());
    EXPECT_TRUE(E.Rest(-1).isEmpty());
    EXPECT_FALSE(E.HasField(8));
}

TEST_F(EnvelopeFields, RestKeepsTabsToTheEnd) {
    EXPECT_EQ(E.Rest(5), "rest\twith\ttabs");
    EXPECT_EQ(E.Rest(0), FDatagram);
    EXPECT_EQ(E.Rest(7), "tabs");
}

TEST_F(EnvelopeFields, IntegerFieldsFollowDelphiRules) {
    EXPECT_EQ(E.IntField(1), 2);
    EXPECT_EQ(E.IntField(2), std::nullopt);
    EXPECT_EQ(E.IntField(3), std::nullopt); // empty
    EXPECT_EQ(E.IntField(50), std::nullopt); // missing
    EXPECT_EQ(E.IntFieldDef(2, 0), 0);
    const auto e = TEnvelope::Parse("QLM_X\t2\t0x1\t-3\t2052");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->IntField(2), 1);
    EXPECT_EQ(e->IntField(3), -3);
    EXPECT_EQ(e->LanguageIdField(4), qint16(2052));
    EXPECT_EQ(E.LanguageIdField(2), std::nullopt);
}

TEST(Envelope, EmptyRestIsPresentButEmpty) {
    const auto e = TEnvelope::Parse("QLM_CHECKSIGNAL\t2\t");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->HasField(2));
    EXPECT_EQ(e->Rest(2), "");
}

// ---- Building ----

TEST(Envelope, BuildJoinsWithSingleTabsAndParsesBack) {
    const QList<QByteArray> fields{"QLM_NICKNAME", "2", "", "a b", "", "x\r\ny"};
    const QByteArray datagram = BuildDatagram(fields);
    EXPECT_EQ(datagram, "QLM_NICKNAME\t2\t\ta b\t\tx\r\ny");
    const auto e = TEnvelope::Parse(datagram);
    ASSERT_TRUE(e);
    ASSERT_EQ(e->FieldCount(), fields.size());
    for (int i = 0; i < fields.size(); ++i) EXPECT_EQ(e->Field(i), fields[i]) << i;
    EXPECT_EQ(BuildDatagram({}), "");
    EXPECT_EQ(BuildDatagram({"ONE"}), "ONE");
}

TEST(Envelope, TextFieldsCannotSplitTheLayout) {
    const TMessageLang english(1033);
    EXPECT_EQ(TextField(QStringLiteral("Ann\tSmith"), english), "Ann Smith");
    EXPECT_EQ(TextField(QStringLiteral("\t"), english), " ");
    EXPECT_EQ(WithoutTabs("a\tb\t"), "a b ");
    const TMessageLang chinese(2052);
    EXPECT_EQ(TextField(QString::fromUtf8("中\t文"), chinese), "\xD6\xD0 \xCE\xC4");
}

// ---- Event names ----

TEST(CommEventName, NamesEveryListenerEventAndNothingElse) {
    const std::pair<int, const char*> known[] = {
        {WM_PEER_LOGON, "WM_PEER_LOGON"},         {WM_PEER_STATE, "WM_PEER_STATE"},
        {WM_PEER_NICKNAME, "WM_PEER_NICKNAME"},   {WM_PEER_LOGOFF, "WM_PEER_LOGOFF"},
        {WM_PEER_BROADCAST, "WM_PEER_BROADCAST"}, {WM_PEER_MESSAGE, "WM_PEER_MESSAGE"},
        {WM_PEER_FILES, "WM_PEER_FILES"},         {WM_PEER_LOGONREPLY, "WM_PEER_LOGONREPLY"},
        {WM_PEER_FILEREQUEST, "WM_PEER_FILEREQUEST"}, {WM_PEER_FILEREPLY, "WM_PEER_FILEREPLY"},
        {WM_FILE_REQUESTCANCELED, "WM_FILE_REQUESTCANCELED"}, {WM_FILE_PEERHANDLE, "WM_FILE_PEERHANDLE"},
        {WM_FILE_TERMINATED, "WM_FILE_TERMINATED"}, {WM_NETWORK_CONFIRMED, "WM_NETWORK_CONFIRMED"},
        {WM_PEER_SIGNALREPLY, "WM_PEER_SIGNALREPLY"}, {WM_UPDATE_PEERREPLY, "WM_UPDATE_PEERREPLY"},
        {WM_UPDATE_FILERECEIVED, "WM_UPDATE_FILERECEIVED"}, {WM_UPDATE_FILESDONE, "WM_UPDATE_FILESDONE"},
        {0x1501, "WM_ACTIVATE_INSTANCE"},
    };
    for (const auto& [id, name] : known) EXPECT_EQ(CommEventName(id), QLatin1String(name)) << std::hex << id;
    EXPECT_TRUE(CommEventName(0).isEmpty());
    EXPECT_TRUE(CommEventName(0x1400).isEmpty());
    EXPECT_TRUE(CommEventName(0x1421).isEmpty());
    EXPECT_TRUE(CommEventName(-1).isEmpty());
}

} // namespace
