// The chat log is written by the engine, whoever sent or received: the
// records of each kind of traffic, and a node that logs its own sends with no
// window around (as the command line does).
#include "node/LogRecorderUnit.h"

#include "chatlog/ChatLogUnit.h"
#include "messaging/ChatLogRecordUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "node/NodeUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "support/CaseName.h"
#include "support/ChatFixtures.h"
#include "support/ServerFixture.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "core/ParamsUnit.h"
#include "platform/UserStoreUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <ostream>

namespace {

TRecipient To(const char* nick, const char* computer, bool reached) {
    TRecipient r;
    r.NickName = QString::fromLatin1(nick);
    r.ComputerName = QString::fromLatin1(computer);
    r.IPAddress = QStringLiteral("10.0.0.") + QString::number(computer[2]);
    r.SendStatus = reached ? QStringLiteral("OK") : QString();
    return r;
}

TSendMessageResult Sent(TRecipients recipients, bool nicknames) {
    TSendMessageResult result;
    result.Job.Recipients = recipients;
    result.Job.HasNickname = nicknames;
    result.Job.Summary = QStringLiteral("hello");
    result.Job.Body = "{\\rtf1 hello}";
    for (const TRecipient& r : recipients) {
        TRecipientOutcome outcome;
        outcome.Reached = r.SendStatus == QLatin1String("OK");
        result.Outcomes << outcome;
    }
    result.SentTime = DaysSince1899(QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)));
    return result;
}

// ---- received items ----

struct TReceivedCase {
    std::string Name;
    TChatKind Kind;
    TLogType Type;
    bool Broadcast;
};
void PrintTo(const TReceivedCase& c, std::ostream* os) { *os << c.Name; }

class ReceivedRecord : public ::testing::TestWithParam<TReceivedCase> {};

TEST_P(ReceivedRecord, CarriesTheSenderAndTheBodyAsReceived) {
    const TReceivedCase& c = GetParam();
    const TLogRecord record = ChatLogRecords::Received(IncomingRecord(), c.Kind, TMessageLang(1033));
    EXPECT_EQ(record.LogType, c.Type);
    EXPECT_EQ(record.IfBroadcast, c.Broadcast);
    EXPECT_FALSE(record.IfSendOut);
    EXPECT_EQ(record.Nick, QStringLiteral("Ann"));
    EXPECT_EQ(record.Computer, QStringLiteral("PC-ANN"));
    EXPECT_EQ(record.IP, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(record.LangID, 1033);
    EXPECT_EQ(record.First2Line, QStringLiteral("line one\r\nline two"));
    EXPECT_EQ(record.Content, QByteArray("{\\rtf1 line one}"));
    EXPECT_EQ(record.LogTime, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReceivedRecord,
                         ::testing::Values(TReceivedCase{"Message", TChatKind::Message, ltSingle, false},
                                           TReceivedCase{"Refusal", TChatKind::Refusal, ltSingle, false},
                                           TReceivedCase{"Broadcast", TChatKind::Broadcast, ltBroadcast, true}),
                         TCaseName());

TEST(ReceivedRecord, WithoutArrivalTimeTheStoreStampsIt) {
    TBroadcastData record = IncomingRecord();
    record.ReceivedTime = 0;
    EXPECT_FALSE(ChatLogRecords::Received(record, TChatKind::Message, TMessageLang(1033)).LogTime.isValid());
}

// ---- sent messages and broadcasts ----

struct TSentCase {
    std::string Name;
    TRecipients Recipients;
    bool Nicknames;
    bool Logged;
    TLogType Type;
    QString Nick;
    QString Computer;
};
void PrintTo(const TSentCase& c, std::ostream* os) { *os << c.Name; }

class SentRecord : public ::testing::TestWithParam<TSentCase> {};

TEST_P(SentRecord, NamesThoseReached) {
    const TSentCase& c = GetParam();
    const std::optional<TLogRecord> record = ChatLogRecords::SentMessage(Sent(c.Recipients, c.Nicknames), 2052);
    ASSERT_EQ(record.has_value(), c.Logged);
    if (!record) return;
    EXPECT_EQ(record->LogType, c.Type);
    EXPECT_EQ(record->Nick, c.Nick);
    EXPECT_EQ(record->Computer, c.Computer);
    EXPECT_TRUE(record->IfSendOut);
    EXPECT_FALSE(record->IfBroadcast);
    EXPECT_EQ(record->LangID, 2052);
    EXPECT_EQ(record->Content, QByteArray("{\\rtf1 hello}"));
    EXPECT_EQ(record->First2Line, QStringLiteral("hello"));
    EXPECT_EQ(record->LogTime, QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)));
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, SentRecord,
    ::testing::Values(
        TSentCase{"OneUser", {To("Ann", "PCA", true)}, true, true, ltSingle, QStringLiteral("Ann"), QStringLiteral("PCA")},
        TSentCase{"OneHost", {To("Ann", "PCA", true)}, false, true, ltSingle, QStringLiteral("<No_Nick>"),
                  QStringLiteral("PCA")},
        TSentCase{"NobodyReached", {To("Ann", "PCA", false)}, true, false, ltSingle, {}, {}},
        TSentCase{"GroupNamesOnlyThoseReached",
                  {To("Ann", "PCA", true), To("Bob", "PCB", false), To("Cy", "PCC", true)},
                  true, true, ltGroup, QStringLiteral("Ann(PCA);Cy(PCC)"), {}},
        TSentCase{"GroupOfHosts", {To("", "PCA", true), To("", "PCB", true)}, false, true, ltGroup,
                  QStringLiteral("PCA;PCB"), {}},
        TSentCase{"GroupNobodyReached", {To("Ann", "PCA", false), To("Bob", "PCB", false)}, true, false, ltGroup, {},
                  {}}),
    TCaseName());

TEST(SentRecord, BroadcastIsLoggedInThisNodesCodePageOnlyWhenItWentOut) {
    const TMessageLang chinese(2052);
    TBroadcastResult result;
    result.Sent = true;
    result.Summary = QStringLiteral("你好");
    result.Body = QStringLiteral("你好 all");
    const std::optional<TLogRecord> record = ChatLogRecords::SentBroadcast(result, chinese);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->LogType, ltBroadcast);
    EXPECT_TRUE(record->IfBroadcast);
    EXPECT_TRUE(record->IfSendOut);
    EXPECT_EQ(record->Nick, QStringLiteral("All(Broadcast)")); // the process's table: English
    EXPECT_EQ(record->LangID, 2052);
    EXPECT_EQ(record->Content, chinese.EncodeOutgoing(result.Body));
    EXPECT_EQ(TMessageLang::Decode(2052, record->Content), result.Body);

    result.Sent = false;
    EXPECT_FALSE(ChatLogRecords::SentBroadcast(result, chinese).has_value());
}

// Not the literal of the English program: the addressee as the interface shows it.
TEST(SentRecord, BroadcastAddresseeIsInTheInterfaceLanguage) {
    TTempHome home;
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral(".config/store.ini")),
                                         home.File(QStringLiteral(".config/auto.desktop"))));
    params[spUserInterfaceLanguageInUse] = QStringLiteral("English");
    TUserInterfaceLang ui(SourceDir() + QStringLiteral("/data/Languages"), params);
    ASSERT_TRUE(ui.SwitchLanguage(QString::fromUtf8("简体中文")));
    TBroadcastResult result;
    result.Sent = true;
    result.Body = QStringLiteral("hi");
    const std::optional<TLogRecord> record = ChatLogRecords::SentBroadcast(result, TMessageLang(2052), &ui);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Nick, QString::fromUtf8("所有人(广播)"));
}

// ---- the node: its own services' traffic reaches its chat log ----

class NodeRecords : public ::testing::Test {
protected:
    NodeRecords() {
        Node.ChatLog().Start();
        QObject::connect(&Node.ChatLog(), &TChatLog::RecordAdded, [this](const TLogEntry& e) { Stored << e; });
    }
    bool WaitStored(int count) {
        Node.ChatLog().Flush();
        return WaitUntil([&] { return Stored.size() >= count; }, 5000);
    }

    TNetworkOff Offline;
    TTempHome Home;
    TNode Node;
    QList<TLogEntry> Stored;
};

TEST_F(NodeRecords, EveryKindOfTrafficIsLoggedOnceWithNoFrontEnd) {
    TChatService& chat = Node.Chat();
    emit chat.MessageArrived(IncomingRecord("In"));
    emit chat.RefusalArrived(IncomingRecord("Ref"));
    emit chat.BroadcastArrived(IncomingRecord("Bc"));
    emit chat.SendFinished(1, Sent({To("Ann", "PCA", true)}, false));
    emit chat.SendFinished(2, Sent({To("Ann", "PCA", false)}, false)); // nobody reached: nothing
    TBroadcastResult broadcast;
    broadcast.Sent = true;
    broadcast.Body = QStringLiteral("to all");
    emit chat.BroadcastFinished(3, broadcast);
    TFilesArrival arrival;
    arrival.Data = IncomingRecord("Files");
    arrival.SenderFolder = QStringLiteral("/rx/Ann/");
    arrival.LogLines = {QStringLiteral("<File>a.txt")};
    emit Node.Transfer().FilesArrived(arrival, false);
    emit Node.Transfer().BatchSent(To("Ann", "PCA", true), {QStringLiteral("<File>/home/me/a.txt")});
    emit Node.Transfer().BatchSent(To("Ann", "PCA", true), {}); // nothing went: nothing

    ASSERT_TRUE(WaitStored(7));
    QCoreApplication::processEvents();
    ASSERT_EQ(Stored.size(), 7);
    const QStringList nicks{Stored[0].Nick, Stored[1].Nick, Stored[2].Nick, Stored[3].Nick,
                            Stored[4].Nick, Stored[5].Nick, Stored[6].Nick};
    EXPECT_EQ(nicks, (QStringList{QStringLiteral("In"), QStringLiteral("Ref"), QStringLiteral("Bc"),
                                  QStringLiteral("<No_Nick>"), QStringLiteral("All(Broadcast)"),
                                  QStringLiteral("Files"), QStringLiteral("Ann")}));
    const QList<bool> out{Stored[0].IfSendOut, Stored[1].IfSendOut, Stored[2].IfSendOut, Stored[3].IfSendOut,
                          Stored[4].IfSendOut, Stored[5].IfSendOut, Stored[6].IfSendOut};
    EXPECT_EQ(out, (QList<bool>{false, false, false, true, true, false, true}));
    EXPECT_EQ(Stored[5].Category, ltFile);
    EXPECT_EQ(Stored[6].Category, ltFile);
}

} // namespace
