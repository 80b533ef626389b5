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

TEST(FileDecode, ReplyOtherThanPlusIsADecline) {
    const TMessageLang lang(1033);
    for (const QByteArray& answer : {QByteArray("-"), QByteArray("+ "), QByteArray("yes"), QByteArray(""), QByteArray("++")}) {
        const auto reply = DecodeFileRequestReply(*TEnvelope::Parse("QLM_FILEREQUESTREPLY\t2\t1033\t8\t" + answer), lang);
        ASSERT_TRUE(reply);
        EXPECT_FALSE(reply->Accepted) << answer.toStdString();
    }
}

} // namespace
