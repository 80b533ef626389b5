#include "transfer/FileCodecUnit.h"
#include "text/MsgLangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

TLocalIdentity Sender() {
    TLocalIdentity self;
    self.LanguageId = 1033;
    self.OnlineState = TOnlineState::Busy;
    self.NickName = QStringLiteral("Ann");
    self.ComputerName = QStringLiteral("PC-ANN");
    self.UserId = QStringLiteral("{ANN}");
    return self;
}

TEnvelope Parse(const QByteArray& datagram) {
    std::optional<TEnvelope> e = TEnvelope::Parse(datagram);
    EXPECT_TRUE(e) << datagram.toStdString();
    return e ? *e : *TEnvelope::Parse("X\t2");
}

// ---- Exact layouts: peers read these bytes ----

TEST(FileEncode, RequestLayout) {
    EXPECT_EQ(EncodeFileRequest(Sender(), 1234567, TMessageLang(1033)),
              "QLM_FILEREQUEST\t2\t1033\t1234567\t1\tAnn\tPC-ANN\t{ANN}\t_NULL_\t_NULL_\t_NULL_\t_NULL_");
}

TEST(FileEncode, DialogHandleLayoutHasNoLanguage) {
    EXPECT_EQ(EncodeFileRequestDialogHandle(-5, 77),
              "QLM_FILEREQUESTDIALOGHANDLE\t2\t-5\t77\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_");
}

TEST(FileEncode, ReplyLayoutAndItsAnswerField) {
    const TMessageLang lang(1033);
    EXPECT_EQ(EncodeFileRequestReply(Sender(), 42, true, false, {}, lang),
              "QLM_FILEREQUESTREPLY\t2\t1033\t42\t+\tAnn\tPC-ANN\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t");
    // "+" only when accepted and not busy.
    EXPECT_EQ(Parse(EncodeFileRequestReply(Sender(), 42, true, true, {}, lang)).Field(4), "-");
    EXPECT_EQ(Parse(EncodeFileRequestReply(Sender(), 42, false, false, {}, lang)).Field(4), "-");
    // The reason is the rest: a tab inside it survives.
    EXPECT_EQ(Parse(EncodeFileRequestReply(Sender(), 42, false, true, QStringLiteral("[Auto]: a\tb"), lang)).Rest(12),
              "[Auto]: a\tb");
}

TEST(FileEncode, CanceledLayout) {
    EXPECT_EQ(EncodeFileRequestCanceled(Sender(), 9, 0, TMessageLang(1033)),
              "QLM_FILEREQUESTCANCELED\t2\t1033\t9\t0\t1\tAnn\tPC-ANN\t{ANN}\t_NULL_\t_NULL_\t_NULL_\t_NULL_");
}

TEST(FileEncode, StreamHeaderIsOneLine) {
    TLocalIdentity self = Sender();
    EXPECT_EQ(EncodeFileHeader(self, 31, TMessageLang(1033)),
              "QLM_FILE\t2\t1033\tAnn\tPC-ANN\t31\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\r\n");
    // A line break typed into a nickname must not end the header early.
    self.NickName = QStringLiteral("A\r\nB");
    const QByteArray header = EncodeFileHeader(self, 31, TMessageLang(1033));
    EXPECT_EQ(header.count('\n'), 1);
    EXPECT_TRUE(header.endsWith("\r\n"));
}

TEST(FileEncode, NameLinesCarryTheArchiveTabAndNoOtherBreak) {
    EXPECT_EQ(EncodeNameLine(QStringLiteral("report.doc"), false, 1033), "report.doc\r\n");
    EXPECT_EQ(EncodeNameLine(QStringLiteral("Project.zip"), true, 1033), "\tProject.zip\r\n");
    EXPECT_EQ(EncodeNameLine(QStringLiteral("a\tb\nc.txt"), false, 1033), "a b c.txt\r\n");
    EXPECT_EQ(EncodeNameLine(QString::fromUtf8("报告.doc"), false, 2052), "\xB1\xA8\xB8\xE6.doc\r\n");
}

// ---- Round trips ----

TEST(FileRoundTrip, RequestAndCancel) {
    const TMessageLang lang(1033);
    const std::optional<TOnlineNotify> offer = DecodeFileRequest(Parse(EncodeFileRequest(Sender(), -77, lang)), lang);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->SenderHandle, -77);
    EXPECT_EQ(offer->ReceiverHandle, 0);
    EXPECT_EQ(offer->OnlineState, 1);
    EXPECT_EQ(offer->NickName, QStringLiteral("Ann"));
    EXPECT_EQ(offer->ComputerName, QStringLiteral("PC-ANN"));
    EXPECT_EQ(offer->UserId, QStringLiteral("{ANN}"));
    EXPECT_TRUE(offer->IPAddress.isEmpty());

    const std::optional<TOnlineNotify> cancel =
        DecodeFileRequestCanceled(Parse(EncodeFileRequestCanceled(Sender(), 2147483647, -2147483647 - 1, lang)), lang);
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->SenderHandle, 2147483647);
    EXPECT_EQ(cancel->ReceiverHandle, -2147483647 - 1);
    EXPECT_EQ(cancel->UserId, QStringLiteral("{ANN}"));
}

TEST(FileRoundTrip, ReplyKeepsTheReasonInTheSendersCodePage) {
    const TMessageLang gb(2052);
    TLocalIdentity self = Sender();
    self.LanguageId = 2052;
    const std::optional<TBroadcastData> reply =
        DecodeFileRequestReply(Parse(EncodeFileRequestReply(self, 5, false, true, QString::fromUtf8("忙"), gb)), gb);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->RequestHandle, 5);
    EXPECT_FALSE(reply->Accepted);
    EXPECT_EQ(reply->LanguageId, 2052);
    EXPECT_EQ(gb.ConvertIncomingText(reply->LanguageId, reply->Body), QString::fromUtf8("忙"));
}

TEST(FileRoundTrip, HeaderAndNameLine) {
    const TMessageLang lang(1033);
    QByteArray line = EncodeFileHeader(Sender(), 31, lang);
    line.chop(2);
    const std::optional<TBroadcastData> header = DecodeFileHeader(Parse(line), lang);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->RequestHandle, 31);
    EXPECT_EQ(header->NickName, QStringLiteral("Ann"));
    EXPECT_EQ(header->ComputerName, QStringLiteral("PC-ANN"));
    EXPECT_EQ(header->LanguageId, 1033);

    const TNameLine archive = DecodeNameLine("\tPhotos.zip", 1033);
    EXPECT_TRUE(archive.Archive);
    EXPECT_EQ(archive.Name, QStringLiteral("Photos.zip"));
    const TNameLine plain = DecodeNameLine("a.txt", 1033);
    EXPECT_FALSE(plain.Archive);
    EXPECT_EQ(plain.Name, QStringLiteral("a.txt"));
}

TEST(FileRoundTrip, VersionOnePeersHaveNoId) {
    const TMessageLang lang(1033);
    const auto offer = DecodeFileRequest(Parse("QLM_FILEREQUEST\t1\t1033\t5\t0\tAnn\tPC\t{X}"), lang);
    ASSERT_TRUE(offer);
    EXPECT_TRUE(offer->UserId.isEmpty());
}

// ---- Malformed datagrams: dropped, or read leniently where the layout says so ----

struct TMalformedCase {
    std::string Name;
    QByteArray Datagram;
    bool Decodes;
};
void PrintTo(const TMalformedCase& c, std::ostream* os) { *os << c.Name; }

class FileMalformed : public ::testing::TestWithParam<TMalformedCase> {};

TEST_P(FileMalformed, DecodesOnlyWhatTheLayoutAllows) {
    const TMessageLang lang(1033);
    const std::optional<TEnvelope> e = TEnvelope::Parse(GetParam().Datagram);
    ASSERT_TRUE(e);
    bool decoded = false;
    if (e->IsType(MessageType::FileRequest)) decoded = DecodeFileRequest(*e, lang).has_value();
    else if (e->IsType(MessageType::FileRequestDialogHandle)) decoded = DecodeFileRequestDialogHandle(*e).has_value();
    else if (e->IsType(MessageType::FileRequestReply)) decoded = DecodeFileRequestReply(*e, lang).has_value();
    else if (e->IsType(MessageType::FileRequestCanceled)) decoded = DecodeFileRequestCanceled(*e, lang).has_value();
    else if (e->IsType(MessageType::File)) decoded = DecodeFileHeader(*e, lang).has_value();
    EXPECT_EQ(decoded, GetParam().Decodes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileMalformed,
    ::testing::Values(
        TMalformedCase{"RequestHandleNotANumber", "QLM_FILEREQUEST\t2\t1033\tabc\t0\tAnn\tPC\t{A}", false},
        TMalformedCase{"RequestHandleMissing", "QLM_FILEREQUEST\t2\t1033", false},
        TMalformedCase{"RequestHandleTooBig", "QLM_FILEREQUEST\t2\t1033\t99999999999\t0\tAnn", false},
        TMalformedCase{"RequestLanguageNotANumber", "QLM_FILEREQUEST\t2\tx\t5\t0\tAnn", false},
        TMalformedCase{"RequestStateNotANumberIsZero", "QLM_FILEREQUEST\t2\t1033\t5\tq\tAnn", true},
        TMalformedCase{"DialogHandleTargetBad", "QLM_FILEREQUESTDIALOGHANDLE\t2\tz\t5", false},
        TMalformedCase{"DialogHandleValueBadIsZero", "QLM_FILEREQUESTDIALOGHANDLE\t2\t7\tz", true},
        TMalformedCase{"ReplyHandleBad", "QLM_FILEREQUESTREPLY\t2\t1033\t\t+", false},
        TMalformedCase{"ReplyShort", "QLM_FILEREQUESTREPLY\t2\t1033\t8", true},
        TMalformedCase{"CancelReceiverHandleBad", "QLM_FILEREQUESTCANCELED\t2\t1033\t8\tx\t0", false},
        TMalformedCase{"CancelSenderHandleBad", "QLM_FILEREQUESTCANCELED\t2\t1033\tx\t0\t0", false},
        TMalformedCase{"StreamHandleBad", "QLM_FILE\t2\t1033\tAnn\tPC\tx", false},
        TMalformedCase{"StreamLanguageBad", "QLM_FILE\t2\tx\tAnn\tPC\t0", false},
        TMalformedCase{"StreamHeaderWellFormed", "qlm_file\t2\t1033\tAnn\tPC\t0", true}),
    TCaseName());

// ---- Offered files in the offer's reserved fields ----

TOfferedFiles Offered(int files, qint64 bytes, QStringList names) { return TOfferedFiles{files, bytes, std::move(names)}; }

TEST(FileOffered, LayoutKeepsTheFieldCountAndTheLastReservedPlace) {
    const TMessageLang lang(1033);
    const QByteArray plain = EncodeFileRequest(Sender(), 1234567, lang);
    const QByteArray named = EncodeFileRequest(Sender(), 1234567, lang,
                                               Offered(2, 15, {QStringLiteral("a.txt"), QStringLiteral("b c/%.doc")}));
    EXPECT_EQ(named, "QLM_FILEREQUEST\t2\t1033\t1234567\t1\tAnn\tPC-ANN\t{ANN}\tQuillmateFiles1\t2:15\t"
                     "a.txt/b%20c%2F%25.doc\t_NULL_");
    // A reader that skips the reserved places reads exactly what the plain offer gives it.
    const TEnvelope a = Parse(plain);
    const TEnvelope b = Parse(named);
    EXPECT_EQ(b.FieldCount(), a.FieldCount());
    for (int i = 0; i < 8; ++i) EXPECT_EQ(b.Field(i), a.Field(i)) << i;
    EXPECT_EQ(b.Field(11), "_NULL_");
    EXPECT_FALSE(named.contains('\r') || named.contains('\n'));
    // Nothing offered, or a total no stream could carry: the plain layout.
    EXPECT_EQ(EncodeFileRequest(Sender(), 1234567, lang, Offered(0, 0, {QStringLiteral("a")})), plain);
    EXPECT_EQ(EncodeFileRequest(Sender(), 1234567, lang, Offered(1, MaxStreamFileSize + 1, {})), plain);
    EXPECT_EQ(EncodeFileRequest(Sender(), 1234567, lang, Offered(OfferFields::MaxFiles + 1, 0, {})), plain);
}

TEST(FileOffered, PlainOfferSaysNothing) {
    const TMessageLang lang(1033);
    const std::optional<TOnlineNotify> offer = DecodeFileRequest(Parse(EncodeFileRequest(Sender(), 7, lang)), lang);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->Offered.Files, 0);
    EXPECT_TRUE(offer->Offered.Names.isEmpty());
}

struct TNameCase {
    std::string Name;
    QString Given;
    QString Read; // after the round trip
};
void PrintTo(const TNameCase& c, std::ostream* os) { *os << c.Name; }

class FileOfferedNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(FileOfferedNames, SurviveTheRoundTripWithoutSeparators) {
    const TMessageLang lang(2052);
    TLocalIdentity self = Sender();
    self.LanguageId = 2052;
    const QByteArray datagram =
        EncodeFileRequest(self, 3, lang, Offered(2, 10, {GetParam().Given, QStringLiteral("z")}));
    const TEnvelope e = Parse(datagram);
    EXPECT_EQ(e.FieldCount(), 12);
    // Printable ASCII only: the same bytes whatever the code page.
    for (int i = 8; i < 11; ++i)
        for (const char c : e.Field(i)) EXPECT_TRUE(c > 0x20 && c < 0x7F) << i;
    const std::optional<TOnlineNotify> offer = DecodeFileRequest(e, lang);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->Offered.Names, (QStringList{GetParam().Read, QStringLiteral("z")}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileOfferedNames,
    ::testing::Values(TNameCase{"Plain", QStringLiteral("report.doc"), QStringLiteral("report.doc")},
                      TNameCase{"Tab", QStringLiteral("a\tb.txt"), QStringLiteral("a b.txt")},
                      TNameCase{"LineBreaks", QStringLiteral("a\r\nb"), QStringLiteral("a  b")},
                      TNameCase{"Separators", QStringLiteral("a/b:c%d"), QStringLiteral("a/b:c%d")},
                      TNameCase{"Marker", QStringLiteral("QuillmateFiles1"), QStringLiteral("QuillmateFiles1")},
                      TNameCase{"Chinese", QString::fromUtf8("报告 2026.doc"), QString::fromUtf8("报告 2026.doc")},
                      TNameCase{"Emoji", QString::fromUtf8("\xF0\x9F\x93\x81 x"), QString::fromUtf8("\xF0\x9F\x93\x81 x")}),
    TCaseName());

TEST(FileOffered, AnOverlongNameIsCutAtAWholeCharacter) {
    const TMessageLang lang(1033);
    for (const QString& unit : {QStringLiteral("a"), QString::fromUtf8("报"), QString::fromUtf8("\xF0\x9F\x93\x81")}) {
        const QString name = unit.repeated(300) + QStringLiteral(".txt");
        const TEnvelope e = Parse(EncodeFileRequest(Sender(), 3, lang, Offered(1, 1, {name})));
        EXPECT_LE(e.Field(10).size(), OfferFields::MaxNameBytes);
        const TOfferedFiles read = DecodeOfferedFiles(e);
        ASSERT_EQ(read.Names.size(), 1) << unit.toStdString();
        const QString& cut = read.Names[0];
        EXPECT_TRUE(cut.endsWith(QChar(0x2026))) << cut.toStdString();
        EXPECT_TRUE(name.startsWith(cut.chopped(1))) << cut.toStdString();
        EXPECT_GT(cut.size(), 10);
    }
}

TEST(FileOffered, NamesBeyondTheCapAreOnlyCounted) {
    QStringList names;
    for (int i = 0; i < 20; ++i) names << QStringLiteral("f%1.txt").arg(i);
    const TOfferedFiles read = DecodeOfferedFiles(Parse(EncodeFileRequest(Sender(), 3, TMessageLang(1033), Offered(20, 99, names))));
    EXPECT_EQ(read.Files, 20);
    EXPECT_EQ(read.Bytes, 99);
    EXPECT_EQ(read.Names, names.first(OfferFields::MaxNames));
}

TEST(FileOffered, TheDatagramStaysWithinItsLimit) {
    const TMessageLang lang(1033);
    // Eight names of the longest kind do not fit beside a long nickname.
    QStringList names;
    for (int i = 0; i < OfferFields::MaxNames; ++i) names << QString(QChar(u'a' + i)).repeated(OfferFields::MaxNameBytes);
    TLocalIdentity self = Sender();
    const QByteArray whole = EncodeFileRequest(self, 3, lang, Offered(8, 8, names));
    const int spare = MaxDatagramSize - int(whole.size());
    ASSERT_GT(spare, 0);
    // Exactly at the limit every name still goes; one byte more and the last one stays home.
    self.NickName += QString(spare, QLatin1Char('n'));
    const QByteArray atLimit = EncodeFileRequest(self, 3, lang, Offered(8, 8, names));
    EXPECT_EQ(atLimit.size(), MaxDatagramSize);
    EXPECT_EQ(DecodeOfferedFiles(Parse(atLimit)).Names.size(), 8);
    self.NickName += QLatin1Char('n');
    const QByteArray over = EncodeFileRequest(self, 3, lang, Offered(8, 8, names));
    EXPECT_LE(over.size(), MaxDatagramSize);
    const TOfferedFiles read = DecodeOfferedFiles(Parse(over));
    EXPECT_EQ(read.Files, 8);
    EXPECT_EQ(read.Names, names.first(7));
    // A nickname that leaves no room even for the counts: the plain offer, unchanged.
    self.NickName.clear();
    const qsizetype base = EncodeFileRequest(self, 3, lang).size();
    self.NickName = QString(MaxDatagramSize - base - 4, QLatin1Char('n'));
    const QByteArray plain = EncodeFileRequest(self, 3, lang);
    ASSERT_EQ(plain.size(), MaxDatagramSize - 4);
    EXPECT_EQ(EncodeFileRequest(self, 3, lang, Offered(8, 123456789, names)), plain);
}

struct TOfferedCase {
    std::string Name;
    QByteArray Reserved; // fields 8 on
    int Files;           // 0: ignored
    qint64 Bytes;
    QStringList Names;
};
void PrintTo(const TOfferedCase& c, std::ostream* os) { *os << c.Name; }

class FileOfferedDecode : public ::testing::TestWithParam<TOfferedCase> {};

TEST_P(FileOfferedDecode, ReadsOnlyWellFormedContentsAndTheOfferStands) {
    const TOfferedCase& c = GetParam();
    const TMessageLang lang(1033);
    const std::optional<TOnlineNotify> offer =
        DecodeFileRequest(Parse("QLM_FILEREQUEST\t2\t1033\t5\t0\tAnn\tPC\t{A}\t" + c.Reserved), lang);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->SenderHandle, 5);
    EXPECT_EQ(offer->UserId, QStringLiteral("{A}"));
    EXPECT_EQ(offer->Offered.Files, c.Files);
    EXPECT_EQ(offer->Offered.Bytes, c.Files ? c.Bytes : 0);
    EXPECT_EQ(offer->Offered.Names, c.Files ? c.Names : QStringList());
}

const QByteArray kM = "QuillmateFiles1\t";

INSTANTIATE_TEST_SUITE_P(
    Table, FileOfferedDecode,
    ::testing::Values(
        TOfferedCase{"Reserved", "_NULL_\t_NULL_\t_NULL_\t_NULL_", 0, 0, {}},
        TOfferedCase{"Missing", "", 0, 0, {}},
        TOfferedCase{"MarkerOnly", "QuillmateFiles1", 0, 0, {}},
        TOfferedCase{"MarkerInOtherCase", "quillmatefiles1\t2:15\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"MarkerWithBlank", "QuillmateFiles1 \t2:15\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"CountsAndNames", kM + "2:15\ta.txt/b%20c.doc\t_NULL_", 2, 15, {QStringLiteral("a.txt"), QStringLiteral("b c.doc")}},
        TOfferedCase{"CountsOnly", kM + "3:0\t\t_NULL_", 3, 0, {}},
        TOfferedCase{"NoLastField", kM + "3:7\ta", 3, 7, {QStringLiteral("a")}},
        TOfferedCase{"LowerCaseEscape", kM + "1:1\t%e6%8a%a5", 1, 1, {QString::fromUtf8("报")}},
        TOfferedCase{"NoColon", kM + "315\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"NoBytes", kM + "3:\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"TwoColons", kM + "3:1:1\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"SignedCount", kM + "+2:15\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"NegativeCount", kM + "-2:15\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"BlankInCounts", kM + " 2:15\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"ZeroFiles", kM + "0:0\t\t_NULL_", 0, 0, {}},
        TOfferedCase{"MostFiles", kM + "999999:0\t\t_NULL_", 999999, 0, {}},
        TOfferedCase{"TooManyFiles", kM + "1000000:0\t\t_NULL_", 0, 0, {}},
        TOfferedCase{"HugeCount", kM + "184467440737095516160:1\ta\t_NULL_", 0, 0, {}},
        TOfferedCase{"MostBytes", kM + "1:2147483647\t\t_NULL_", 1, 2147483647, {}},
        TOfferedCase{"MoreBytesThanBlocksHold", kM + "1:2147483648\t\t_NULL_", 0, 0, {}},
        TOfferedCase{"HugeBytes", kM + "2:99999999999999999999\t\t_NULL_", 0, 0, {}},
        TOfferedCase{"MoreNamesThanFiles", kM + "1:5\ta/b\t_NULL_", 0, 0, {}},
        TOfferedCase{"MoreNamesThanTheCap", kM + "20:5\ta/b/c/d/e/f/g/h/i\t_NULL_", 0, 0, {}},
        TOfferedCase{"EmptyName", kM + "3:5\ta//b\t_NULL_", 0, 0, {}},
        TOfferedCase{"TrailingSeparator", kM + "3:5\ta/\t_NULL_", 0, 0, {}},
        TOfferedCase{"ShortEscape", kM + "1:5\ta%2\t_NULL_", 0, 0, {}},
        TOfferedCase{"EscapeAtTheEnd", kM + "1:5\ta%\t_NULL_", 0, 0, {}},
        TOfferedCase{"NotHexEscape", kM + "1:5\ta%zz\t_NULL_", 0, 0, {}},
        TOfferedCase{"BareBlank", kM + "1:5\ta b\t_NULL_", 0, 0, {}},
        TOfferedCase{"BarePlus", kM + "1:5\ta+b\t_NULL_", 0, 0, {}},
        TOfferedCase{"BareHighByte", kM + "1:5\ta\xE6\x8A\xA5\t_NULL_", 0, 0, {}},
        TOfferedCase{"NotUtf8", kM + "1:5\t%FF%FE\t_NULL_", 0, 0, {}},
        TOfferedCase{"HalfACharacter", kM + "1:5\t%E6%8A\t_NULL_", 0, 0, {}},
        TOfferedCase{"ControlCharacter", kM + "1:5\ta%0Ab\t_NULL_", 0, 0, {}},
        TOfferedCase{"EscapedTab", kM + "1:5\ta%2Fb%25c%09\t_NULL_", 0, 0, {}},
        TOfferedCase{"EscapedSlashAndPercent", kM + "1:5\ta%2Fb%25c\t_NULL_", 1, 5, {QStringLiteral("a/b%c")}},
        TOfferedCase{"NameAtItsLimit", kM + "1:5\t" + QByteArray(OfferFields::MaxNameBytes, 'x') + "\t_NULL_", 1, 5,
                     {QString(OfferFields::MaxNameBytes, QLatin1Char('x'))}},
        TOfferedCase{"NameOverItsLimit", kM + "1:5\t" + QByteArray(OfferFields::MaxNameBytes + 1, 'x') + "\t_NULL_", 0, 0, {}}),
    TCaseName());

TEST(FileDecode, ReplyOtherThanPlusIsADecline) {
    const TMessageLang lang(1033);
    for (const QByteArray& answer : {QByteArray("-"), QByteArray("+ "), QByteArray("yes"), QByteArray(""), QByteArray("++")}) {
        const auto reply = DecodeFileRequestReply(*TEnvelope::Parse("QLM_FILEREQUESTREPLY\t2\t1033\t8\t" + answer), lang);
        ASSERT_TRUE(reply);
        EXPECT_FALSE(reply->Accepted) << answer.toStdString();
    }
}

} // namespace
