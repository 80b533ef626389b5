// A peer's GB2312 or Big5 text where this node shows it: nicknames and a
// refusal's reason decoded on arrival, message and broadcast texts, and the
// chat log read back by quillmate-cli, with AutoCodeConvert on and off.
#include "messaging/ChatContentUnit.h"
#include "platform/PathsUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "protocol/PresenceCodecUnit.h"
#include "text/GB2Big5Unit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileCodecUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogFixtures.h"
#include "support/CliProcess.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

const TGBBig5Convert& Table() {
    static const TGBBig5Convert table(Platform::RuntimeDataFolder() + QStringLiteral("GB_BIG5.ini"));
    return table;
}

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// ---- On arrival: every field a peer shows as a name ----

enum class TWire { Logon, Nickname, Broadcast, Message, FileReply };

struct TArrivalCase {
    const char* Name;
    TWire Wire;
    int Sender;
    int Receiver;
    bool AutoConvert;
    const char* Nick;     // as the sender typed it
    const char* Expected; // as the receiver shows it
};

void PrintTo(const TArrivalCase& c, std::ostream* os) { *os << c.Name; }

class Arrival : public ::testing::TestWithParam<TArrivalCase> {};

TEST_P(Arrival, NicknameInTheReceiversScript) {
    const TArrivalCase& c = GetParam();
    const TMessageLang sender(qint16(c.Sender));
    TMessageLang receiver(qint16(c.Receiver), &Table());
    receiver.SetAutoCodeConvert(c.AutoConvert);
    TLocalIdentity self;
    self.LanguageId = qint16(c.Sender);
    self.NickName = U(c.Nick);
    self.ComputerName = QStringLiteral("PC-7");
    self.UserId = QStringLiteral("{ID}");

    QString nick;
    switch (c.Wire) {
    case TWire::Logon: {
        const auto e = TEnvelope::Parse(EncodeLogon(self, sender));
        ASSERT_TRUE(e);
        const auto d = DecodeLogon(*e, receiver);
        ASSERT_TRUE(d);
        nick = d->Notify.NickName;
        break;
    }
    case TWire::Nickname: {
        const auto e = TEnvelope::Parse(EncodePresence("QLM_NICKNAME", self, sender));
        ASSERT_TRUE(e);
        const auto d = DecodePresence(*e, receiver);
        ASSERT_TRUE(d);
        nick = d->NickName;
        break;
    }
    case TWire::Broadcast: {
        const auto e = TEnvelope::Parse(EncodeBroadcast(self, U(c.Nick), U(c.Nick), sender));
        ASSERT_TRUE(e);
        const auto d = DecodeBroadcast(*e, receiver);
        ASSERT_TRUE(d);
        nick = d->NickName;
        // The body stays as sent until shown.
        EXPECT_EQ(d->Body, TMessageLang::Encode(c.Sender, U(c.Nick)));
        const TChatContent content = ChatContent(*d, TChatKind::Broadcast, receiver);
        EXPECT_EQ(content.Text, U(c.Expected));
        break;
    }
    case TWire::Message: {
        const auto e = TEnvelope::Parse(EncodeMessageHeader(self, U(c.Nick), sender));
        ASSERT_TRUE(e);
        const auto d = DecodeMessageHeader(*e, receiver);
        ASSERT_TRUE(d);
        nick = d->NickName;
        EXPECT_EQ(ChatContent(*d, TChatKind::Message, receiver).Summary, U(c.Expected));
        break;
    }
    case TWire::FileReply: {
        const auto e = TEnvelope::Parse(EncodeFileRequestReply(self, 5, false, false, U(c.Nick), sender));
        ASSERT_TRUE(e);
        const auto d = DecodeFileRequestReply(*e, receiver);
        ASSERT_TRUE(d);
        nick = d->NickName;
        // The reason, as the request window shows it.
        EXPECT_EQ(receiver.ConvertIncomingText(d->LanguageId, d->Body), U(c.Expected));
        break;
    }
    }
    EXPECT_EQ(nick, U(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Arrival,
    ::testing::Values(TArrivalCase{"LogonFromBig5", TWire::Logon, 1028, 2052, true, "臺灣會", "台湾会"},
                      TArrivalCase{"LogonFromBig5Off", TWire::Logon, 1028, 2052, false, "臺灣會", "臺灣會"},
                      TArrivalCase{"NicknameFromGB", TWire::Nickname, 2052, 1028, true, "台湾会", "臺灣會"},
                      TArrivalCase{"NicknameFromGBOff", TWire::Nickname, 2052, 1028, false, "台湾会", "台湾会"},
                      TArrivalCase{"BroadcastFromBig5", TWire::Broadcast, 3076, 2052, true, "體會", "体会"},
                      TArrivalCase{"BroadcastFromBig5Off", TWire::Broadcast, 3076, 2052, false, "體會", "體會"},
                      TArrivalCase{"BroadcastBetweenBig5", TWire::Broadcast, 1028, 3076, true, "體會", "體會"},
                      TArrivalCase{"MessageFromGB", TWire::Message, 4100, 1028, true, "体会", "體會"},
                      TArrivalCase{"MessageToEnglish", TWire::Message, 1028, 1033, true, "體會", "體會"},
                      TArrivalCase{"FileReplyFromBig5", TWire::FileReply, 1028, 2052, true, "臺灣", "台湾"},
                      TArrivalCase{"FileReplyFromBig5Off", TWire::FileReply, 1028, 2052, false, "臺灣", "臺灣"}),
    TCaseName());

TEST(Arrival, RichMessageTextIsConvertedRunByRun) {
    TMessageLang receiver(2052, &Table());
    TBroadcastData d;
    d.LanguageId = 1028;
    // 臺灣 in the sender's code page, then a character it cannot carry as Unicode.
    d.Body = "{\\rtf1\\ansi\\ansicpg950{\\fonttbl{\\f0\\fcharset136 PMingLiU;}}\\f0 \\'bb\\'4f\\'c6\\'57\\u9731?\\par}";
    const TChatContent content = ChatContent(d, TChatKind::Message, receiver);
    EXPECT_TRUE(content.Text.startsWith(U("台湾☃"))) << content.Text.toStdString();
}

// ---- The chat log read back by quillmate-cli ----

class LogReadBack : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Home.Store.Open());
        TLogRecord big5 = Record(ltBroadcast, U("臺灣會"), TMessageLang::Encode(1028, U("臺灣體會")));
        big5.LangID = 1028;
        big5.First2Line = U("臺灣\r\n體會");
        BroadcastId = Home.Add(big5);
        TLogRecord files = Record(ltFile, U("臺灣會"), TMessageLang::Encode(1028, U("臺灣.txt")));
        files.LangID = 1028;
        files.First2Line = U("臺灣.txt");
        FileId = Home.Add(files);
        Home.Store.Close();
    }
    TCliResult Run(const char* languageId, const QStringList& arguments) const {
        TScopedEnv language("QUILLMATE_LANGID", languageId);
        return RunCliProcess(Home.Home.Path(), arguments);
    }

    TLogHome Home;
    qint64 BroadcastId = 0;
    qint64 FileId = 0;
};

TEST_F(LogReadBack, ShowAndListConvertOnAGBNode) {
    const TCliResult show = Run("2052", {QStringLiteral("log"), QStringLiteral("show"), QStringLiteral("broadcast"),
                                         QString::number(BroadcastId)});
    ASSERT_EQ(show.Exit, 0) << show.Err.toStdString();
    EXPECT_EQ(show.Out, U("台湾体会\n"));

    const TCliResult list = Run("2052", {QStringLiteral("log"), QStringLiteral("list"), QStringLiteral("--type"),
                                         QStringLiteral("broadcast"), QStringLiteral("--json")});
    ASSERT_EQ(list.Exit, 0) << list.Err.toStdString();
    const QJsonObject entry = QJsonDocument::fromJson(list.RawOut.split('\n').value(0)).object();
    EXPECT_EQ(entry.value(QStringLiteral("first2Line")).toString(), U("台湾\r\n体会")) << list.Out.toStdString();
    // The nickname was converted when the record was made, not again.
    EXPECT_EQ(entry.value(QStringLiteral("nick")).toString(), U("臺灣會"));

    // File lists keep the names as sent.
    const TCliResult files =
        Run("2052", {QStringLiteral("log"), QStringLiteral("show"), QStringLiteral("file"), QString::number(FileId)});
    ASSERT_EQ(files.Exit, 0) << files.Err.toStdString();
    EXPECT_EQ(files.Out, U("臺灣.txt\n"));
}

TEST_F(LogReadBack, NothingConvertsOnABig5NodeOrWithTheSettingOff) {
    const QStringList show{QStringLiteral("log"), QStringLiteral("show"), QStringLiteral("broadcast"),
                           QString::number(BroadcastId)};
    const TCliResult same = Run("3076", show);
    ASSERT_EQ(same.Exit, 0) << same.Err.toStdString();
    EXPECT_EQ(same.Out, U("臺灣體會\n"));

    const TCliResult set = Run("2052", {QStringLiteral("settings"), QStringLiteral("set"),
                                        QStringLiteral("AutoCodeConvert"), QStringLiteral("false")});
    ASSERT_EQ(set.Exit, 0) << set.Err.toStdString();
    const TCliResult off = Run("2052", show);
    ASSERT_EQ(off.Exit, 0) << off.Err.toStdString();
    EXPECT_EQ(off.Out, U("臺灣體會\n"));
}

} // namespace
