#include "protocol/ChatCodecUnit.h"

#include "messaging/ChatContentUnit.h"
#include "support/CaseName.h"
#include "support/ChatFixtures.h"
#include "support/RichFixtures.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

TLocalIdentity Sender(qint16 languageId = 1033) {
    TLocalIdentity self;
    self.LanguageId = languageId;
    self.NickName = QStringLiteral("Ann");
    self.ComputerName = QStringLiteral("PC-ANN");
    self.UserId = QStringLiteral("{ID-ANN}");
    self.Version = QStringLiteral("1.2.3.4"); // never sent with chat messages
    return self;
}

const TMessageLang kLang(1033);

// ---- Exact layouts on the wire ----

TEST(ChatEncode, MessageHeaderCarriesTheSummaryBreakAsATab) {
    EXPECT_EQ(EncodeMessageHeader(Sender(), QStringLiteral("Hello\r\nWorld"), kLang),
              "QLM_MESSAGE\t2\t1033\tAnn\tPC-ANN\t{ID-ANN}\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tHello\tWorld");
    EXPECT_EQ(EncodeMessageHeader(Sender(), QStringLiteral("Hello\r\n"), kLang),
              "QLM_MESSAGE\t2\t1033\tAnn\tPC-ANN\t{ID-ANN}\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tHello\t");
}

TEST(ChatEncode, BroadcastKeepsTheSummaryBreakAndTheBodyAsItIs) {
    EXPECT_EQ(EncodeBroadcast(Sender(), QStringLiteral("Hi\r\nall"), QStringLiteral("Hi\r\nall\tof you"), kLang),
              "QLM_BROADCAST\t2\t1033\tAnn\tPC-ANN\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tHi\r\nall\tHi\r\nall\tof you");
}

TEST(ChatEncode, BroadcastBodyLineBreaksAreCrLfWhateverTheEditorWrote) {
    EXPECT_EQ(EncodeBroadcast(Sender(), QStringLiteral("Hi\r\n"), QStringLiteral("a\nb\rc\r\nd\n"), kLang),
              "QLM_BROADCAST\t2\t1033\tAnn\tPC-ANN\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tHi\r\n\ta\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(BroadcastLineBreaks(QStringLiteral("\r\r\n\n\r")), QStringLiteral("\r\n\r\n\r\n\r\n"));
}

TEST(ChatEncode, RefuseCarriesTheReplyAsRest) {
    EXPECT_EQ(EncodeRefuse(Sender(), QStringLiteral("[Auto-reply Message]: Sorry, I'm busy now."), kLang),
              "QLM_REFUSE\t2\t1033\tAnn\tPC-ANN\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t"
              "[Auto-reply Message]: Sorry, I'm busy now.");
}

// A header is one line: a stray break in a name or summary would end it early
// and turn the rest of the request into garbage for the receiver.
TEST(ChatEncode, MessageHeaderStaysOneLineWithItsFieldsInPlace) {
    TLocalIdentity self = Sender();
    self.NickName = QStringLiteral("Ann\r\nSmith\tJr");
    self.ComputerName = QStringLiteral("PC\nANN");
    const QByteArray header =
        EncodeMessageHeader(self, QStringLiteral("one\ttab\nlone LF\rlone CR\r\nsecond\r\nthird"), kLang);
    EXPECT_FALSE(header.contains('\n'));
    EXPECT_FALSE(header.contains('\r'));
    const auto e = TEnvelope::Parse(header);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Field(3), "Ann  Smith Jr");
    EXPECT_EQ(e->Field(4), "PC ANN");
    EXPECT_EQ(e->Field(5), "{ID-ANN}");
    const std::optional<TBroadcastData> d = DecodeMessageHeader(*e, kLang);
    ASSERT_TRUE(d);
    // Only the summary's own breaks survive, as CR LF.
    EXPECT_EQ(d->Summary, "one tab lone LF lone CR\r\nsecond\r\nthird");
}

TEST(ChatEncode, TextGoesOutInTheSendersCodePage) {
    TLocalIdentity self = Sender(2052);
    self.NickName = QString::fromUtf8("中文");
    const auto e = TEnvelope::Parse(EncodeBroadcast(self, QString::fromUtf8("你好"), QString::fromUtf8("你好"), kLang));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Field(2), "2052");
    EXPECT_EQ(e->Field(3), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(e->Field(10), "\xC4\xE3\xBA\xC3");
    const std::optional<TBroadcastData> d = DecodeBroadcast(*e, kLang);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->NickName, QString::fromUtf8("中文"));
    EXPECT_EQ(d->LanguageId, 2052);
}

// ---- A whole request, read back the way the listener reads it ----

struct TRequestCase {
    std::string Name;
    QString Summary;
    QByteArray Body;
    QByteArray ExpectSummary;
};
void PrintTo(const TRequestCase& c, std::ostream* os) { *os << c.Name; }

class ChatRequest : public ::testing::TestWithParam<TRequestCase> {};

TEST_P(ChatRequest, ReadsBackHeaderAndBody) {
    const TRequestCase& c = GetParam();
    const TReadRequest read = ReadMessageRequest(EncodeMessageRequest(Sender(), c.Summary, c.Body, kLang), kLang);
    ASSERT_TRUE(read.Record);
    const TBroadcastData& d = *read.Record;
    EXPECT_EQ(d.Summary, c.ExpectSummary);
    EXPECT_EQ(d.NickName, QStringLiteral("Ann"));
    EXPECT_EQ(d.ComputerName, QStringLiteral("PC-ANN"));
    EXPECT_EQ(d.UserId, QStringLiteral("{ID-ANN}"));
    EXPECT_EQ(d.LanguageId, 1033);
    EXPECT_EQ(read.Body, c.Body);
    EXPECT_TRUE(d.IPAddress.isEmpty());
    EXPECT_EQ(d.ReceivedTime, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatRequest,
    ::testing::Values(
        TRequestCase{"OneLineSummary", QStringLiteral("Hello\r\n"), "{\\rtf1 Hello}", "Hello\r\n"},
        TRequestCase{"TwoLineSummary", QStringLiteral("Hello\r\nWorld"), "{\\rtf1 Hello\\par World}", "Hello\r\nWorld"},
        TRequestCase{"EmptyBody", QStringLiteral("<space or object>\r\n"), "", "<space or object>\r\n"},
        TRequestCase{"BodyWithLineBreaksTabsAndZeros", QStringLiteral("x\r\n"), QByteArray("a\r\nb\tc\0d\n", 9),
                     "x\r\n"},
        TRequestCase{"BodyOverOneChunk", QStringLiteral("big\r\n"), QByteArray(100000, 'q'), "big\r\n"}),
    TCaseName());

// The head is what the request has before its body, whatever the body holds.
TEST(ChatEncode, HeadIsTheRequestWithoutItsBody) {
    const QByteArray body = "{\\rtf1 x}";
    const QByteArray head = EncodeMessageHead(Sender(), QStringLiteral("s\r\n"), body.size(), kLang);
    EXPECT_EQ(head + body, EncodeMessageRequest(Sender(), QStringLiteral("s\r\n"), body, kLang));
}

// ---- The longest body a node sends ----

// A node never sends what a node of ours refuses.
static_assert(MaxChatBody == MaxReceivedChatBody);

struct TBodySizeCase {
    std::string Name;
    qint64 Size;
    qint64 Limit;
    bool Fits;
};
void PrintTo(const TBodySizeCase& c, std::ostream* os) { *os << c.Name; }

class ChatBodySize : public ::testing::TestWithParam<TBodySizeCase> {};

TEST_P(ChatBodySize, RefusesOnlyAboveTheLimitAndSaysWhich) {
    const TBodySizeCase& c = GetParam();
    const QString error = ChatBodySizeError(c.Size, c.Limit);
    EXPECT_EQ(error.isEmpty(), c.Fits) << error.toStdString();
    if (!c.Fits) {
        EXPECT_TRUE(error.contains(QString::number(c.Limit))) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::number(c.Size))) << error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatBodySize,
    ::testing::Values(TBodySizeCase{"Empty", 0, MaxChatBody, true},
                      TBodySizeCase{"HundredMegabyteBitmap", 100'000'000, MaxChatBody, true},
                      TBodySizeCase{"AtTheLimit", MaxChatBody, MaxChatBody, true},
                      TBodySizeCase{"OneByteOver", MaxChatBody + 1, MaxChatBody, false},
                      TBodySizeCase{"LoweredLimitEdge", 4096, 4096, true},
                      TBodySizeCase{"LoweredLimitOver", 4097, 4096, false}),
    TCaseName());

// ---- Decoding what peers may send ----

enum class TWire { Message, Broadcast, Refuse };

struct TDecodeCase {
    std::string Name;
    TWire Wire;
    QByteArray Datagram; // for a message: its header line
    bool Accepted;
    QByteArray Summary = {};
    QByteArray Body = {};
    QString NickName = {};
    QString ComputerName = {};
    QString UserId = {};
    qint16 LanguageId = 1033;
};
void PrintTo(const TDecodeCase& c, std::ostream* os) { *os << c.Name; }

class ChatDecode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(ChatDecode, FollowsTheReceivingRules) {
    const TDecodeCase& c = GetParam();
    const auto e = TEnvelope::Parse(c.Datagram);
    ASSERT_TRUE(e);
    std::optional<TBroadcastData> d;
    switch (c.Wire) {
    case TWire::Message: d = DecodeMessageHeader(*e, kLang); break;
    case TWire::Broadcast: d = DecodeBroadcast(*e, kLang); break;
    case TWire::Refuse: d = DecodeRefuse(*e, kLang); break;
    }
    ASSERT_EQ(d.has_value(), c.Accepted);
    if (!d) return;
    EXPECT_EQ(d->Summary, c.Summary);
    EXPECT_EQ(d->Body, c.Body);
    EXPECT_EQ(d->NickName, c.NickName);
    EXPECT_EQ(d->ComputerName, c.ComputerName);
    EXPECT_EQ(d->UserId, c.UserId);
    EXPECT_EQ(d->LanguageId, c.LanguageId);
    EXPECT_EQ(d->RequestHandle, 0);
    EXPECT_FALSE(d->Accepted);
}

const QString kAnn = QStringLiteral("Ann");
const QString kPc = QStringLiteral("PC");

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatDecode,
    ::testing::Values(
        TDecodeCase{"MessageTwoLines", TWire::Message, "QLM_MESSAGE\t2\t1033\tAnn\tPC\t{A}\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tl1\tl2",
                    true, "l1\r\nl2", "", kAnn, kPc, QStringLiteral("{A}")},
        TDecodeCase{"MessageOneLine", TWire::Message, "QLM_MESSAGE\t2\t1033\tAnn\tPC\t{A}\tx\tx\tx\tx\tonly", true,
                    "only", "", kAnn, kPc, QStringLiteral("{A}")},
        // Version 1 peers send no identifier; field 5 is still taken as theirs to skip.
        TDecodeCase{"MessageVersion1", TWire::Message, "QLM_MESSAGE\t1\t1033\tAnn\tPC\tjunk\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tl1\tl2",
                    true, "l1\r\nl2", "", kAnn, kPc, QString()},
        TDecodeCase{"MessageLowerCaseAndShort", TWire::Message, "qlm_message\t2\t1033\tAnn", true, "", "", kAnn},
        TDecodeCase{"MessageLanguageNotANumber", TWire::Message, "QLM_MESSAGE\t2\tEN\tAnn\tPC\t{A}", false},
        TDecodeCase{"MessageLanguageMissing", TWire::Message, "QLM_MESSAGE\t2", false},
        TDecodeCase{"MessageHexLanguage", TWire::Message, "QLM_MESSAGE\t2\t$409\tAnn\tPC\t{A}", true, "", "", kAnn, kPc,
                    QStringLiteral("{A}"), 1033},
        TDecodeCase{"BroadcastBodyWithTabs", TWire::Broadcast,
                    "QLM_BROADCAST\t2\t1033\tAnn\tPC\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tsum 1\r\nsum 2\ta\tb\r\nc\t",
                    true, "sum 1\r\nsum 2", "a\tb\r\nc\t", kAnn, kPc},
        TDecodeCase{"BroadcastWithoutBody", TWire::Broadcast,
                    "QLM_BROADCAST\t2\t1033\tAnn\tPC\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tsum", true, "sum", "", kAnn, kPc},
        // Reserved places are skipped without a look, whatever they hold.
        TDecodeCase{"BroadcastReservedPlacesIgnored", TWire::Broadcast,
                    "QLM_BROADCAST\t2\t1033\tAnn\tPC\ta\tb\tc\td\te\tsum\tbody", true, "sum", "body", kAnn, kPc},
        TDecodeCase{"BroadcastLanguageNotANumber", TWire::Broadcast, "QLM_BROADCAST\t2\t10 33\tAnn\tPC", false},
        TDecodeCase{"RefuseOneLine", TWire::Refuse,
                    "QLM_REFUSE\t2\t1033\tBob\tPC-B\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t[Auto-reply Message]: Sorry",
                    true, "[Auto-reply Message]: Sorry\r\n", "[Auto-reply Message]: Sorry\r\n", QStringLiteral("Bob"),
                    QStringLiteral("PC-B")},
        TDecodeCase{"RefuseTwoLines", TWire::Refuse,
                    "QLM_REFUSE\t2\t1033\tBob\tPC-B\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tfirst\r\nsecond\tthird", true,
                    "first\r\n", "first\r\nsecond\tthird\r\n", QStringLiteral("Bob"), QStringLiteral("PC-B")},
        TDecodeCase{"RefuseWithoutText", TWire::Refuse, "QLM_REFUSE\t2\t1033\tBob", true, "\r\n", "\r\n",
                    QStringLiteral("Bob")},
        TDecodeCase{"RefuseLanguageNotANumber", TWire::Refuse, "QLM_REFUSE\t2\t\tBob\tPC-B", false},
        TDecodeCase{"RefuseFromAChineseNode", TWire::Refuse,
                    "QLM_REFUSE\t2\t2052\t\xD6\xD0\xCE\xC4\tPC\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t\xC4\xE3", true,
                    "\xC4\xE3\r\n", "\xC4\xE3\r\n", QString::fromUtf8("中文"), kPc, QString(), 2052}),
    TCaseName());

// ---- Summaries ----

struct TSummaryCase {
    std::string Name;
    QString Text;
    QString Expect;
};
void PrintTo(const TSummaryCase& c, std::ostream* os) { *os << c.Name; }

class First2Line : public ::testing::TestWithParam<TSummaryCase> {};

TEST_P(First2Line, TakesTheFirstTwoLinesOfTheFirstCharacters) {
    EXPECT_EQ(MakeFirst2Line(GetParam().Text), GetParam().Expect);
}

const QString kObject = QString(QChar::ObjectReplacementCharacter);

INSTANTIATE_TEST_SUITE_P(
    Cases, First2Line,
    ::testing::Values(
        TSummaryCase{"OneLine", QStringLiteral("Hello"), QStringLiteral("Hello\r\n")},
        TSummaryCase{"ThreeLinesCrLf", QStringLiteral("a\r\nb\r\nc"), QStringLiteral("a\r\nb")},
        TSummaryCase{"ParagraphsAndLineSeparator", QStringLiteral("a\n") + QChar::LineSeparator + QStringLiteral("c"),
                     QStringLiteral("a\r\n")},
        TSummaryCase{"EmptyText", QString(), QStringLiteral("<space or object>\r\n")},
        TSummaryCase{"BlanksFirst", QStringLiteral("   \nsecond"), QStringLiteral("<space or object>\r\nsecond")},
        TSummaryCase{"PicturesFirst", kObject + kObject + QStringLiteral("\nsee above"),
                     QStringLiteral("<space or object>\r\nsee above")},
        TSummaryCase{"PictureInTheLine", QStringLiteral("look") + kObject + QStringLiteral("here"),
                     QStringLiteral("look here\r\n")},
        TSummaryCase{"TabsRemoved", QStringLiteral("a\tb\nc\td"), QStringLiteral("ab\r\ncd")},
        TSummaryCase{"CutAt255", QString(300, QLatin1Char('x')), QString(255, QLatin1Char('x')) + QStringLiteral("\r\n")},
        TSummaryCase{"SecondLineBeyond255", QString(255, QLatin1Char('x')) + QStringLiteral("\nlate"),
                     QString(255, QLatin1Char('x')) + QStringLiteral("\r\n")},
        TSummaryCase{"NoHalfCharacterAtTheCut", QString(254, QLatin1Char('x')) + QString::fromUtf8("😀"),
                     QString(254, QLatin1Char('x')) + QStringLiteral("\r\n")}),
    TCaseName());

// ---- Contents for people ----

TEST(ChatContent, MessageBodyIsReadAsRichText) {
    const QByteArray png = RichFixtures::Png();
    TBroadcastData record;
    record.LanguageId = 1033;
    record.Summary = "Hello\r\nWorld";
    record.Body = RichBodyFromText(QStringLiteral("Hello\nWorld"), {RichFixtures::Picture(png)}, 1033);
    const TChatContent content = ChatContent(record, TChatKind::Message, kLang);
    EXPECT_EQ(content.Summary, QStringLiteral("Hello\r\nWorld"));
    EXPECT_EQ(content.Text, QStringLiteral("Hello\nWorld\n") + kObject);
    ASSERT_EQ(content.Pictures.size(), 1);
    EXPECT_EQ(content.Pictures[0].Bytes, png);
    EXPECT_EQ(content.Pictures[0].Format, TPictureFormat::Png);
}

TEST(ChatContent, BroadcastAndRefusalAreTextOfTheSendersCodePage) {
    TBroadcastData record;
    record.LanguageId = 2052;
    record.Body = "\xC4\xE3\xBA\xC3\r\n";
    for (const TChatKind kind : {TChatKind::Broadcast, TChatKind::Refusal}) {
        const TChatContent content = ChatContent(record, kind, kLang);
        EXPECT_EQ(content.Text, QString::fromUtf8("你好\r\n"));
        EXPECT_TRUE(content.Pictures.isEmpty());
    }
    // Braces in a broadcast are text, never read as rich text.
    record.LanguageId = 1033;
    record.Body = "{\\rtf1 not rich}";
    EXPECT_EQ(ChatContent(record, TChatKind::Broadcast, kLang).Text, QStringLiteral("{\\rtf1 not rich}"));
}

TEST(ChatContent, BodyIsWrittenInTheCodePageOfTheLanguage) {
    EXPECT_EQ(RtfCodePageOfLanguage(2052), 936);
    EXPECT_EQ(RtfCodePageOfLanguage(1028), 950);
    EXPECT_EQ(RtfCodePageOfLanguage(1041), 932);
    EXPECT_EQ(RtfCodePageOfLanguage(1049), 1251);
    EXPECT_EQ(RtfCodePageOfLanguage(1033), 1252);
    const QByteArray rtf = RichBodyFromText(QString::fromUtf8("你好"), {}, 2052);
    EXPECT_TRUE(rtf.contains("\\ansicpg936")) << rtf.constData();
    const std::optional<TRichDocument> back = ReadRtf(rtf);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->PlainText(), QString::fromUtf8("你好"));
}

// ---- Received time ----

TEST(ChatTime, DaysCountFromTheEndOf1899) {
    EXPECT_EQ(DaysSince1899(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_EQ(DaysSince1899(QDateTime(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
    EXPECT_EQ(DateTimeFromDays(2.75), QDateTime(QDate(1900, 1, 1), QTime(18, 0)));
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_LE(qAbs(DateTimeFromDays(DaysSince1899(now)).msecsTo(now)), 1);
    EXPECT_FALSE(DateTimeFromDays(1e300).isValid());
}

} // namespace
