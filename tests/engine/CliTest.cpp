#include "VersionInfo.h"
#include "core/ParamsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "platform/UserStoreUnit.h"
#include "support/ChatFixtures.h"
#include "support/RichFixtures.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"
#include "support/CliProcess.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonArray>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <optional>

namespace {

// The program folder of one run and the per-user store the program uses in it.
class CliHome {
public:
    CliHome()
        : Store(Home.File(QStringLiteral(".config/Quillmate/Quillmate.ini")),
                Home.File(QStringLiteral(".config/autostart/quillmate.desktop"))) {}
    TCliResult Run(const QStringList& arguments, const QByteArray& input = {}) const {
        return RunCliProcess(Home.Path(), arguments, CliProgram(), input);
    }
    void WriteConfig(const QByteArray& lines) const {
        Home.Write(QStringLiteral("Config.ini"), "[Quillmate Settings]\r\n" + lines);
    }
    std::optional<QString> ConfigValue(const QString& key) const {
        const TProfileFile file(Home.File(QStringLiteral("Config.ini")));
        const QString section = QString::fromLatin1(TApplicationParams::SectionName);
        if (!file.ValueExists(section, key)) return std::nullopt;
        return file.ReadString(section, key);
    }

    TTempHome Home;
    TUserStore Store;
};

TEST(Cli, PrintsTheCompiledVersion) {
    CliHome home;
    const TCliResult r = home.Run({QStringLiteral("--version")});
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Out, QStringLiteral("quillmate-cli " QLM_VERSION_TEXT "\n"));
    EXPECT_TRUE(r.Err.isEmpty());
}

// ------------------------------------------------------------ settings get

struct TGetCase {
    const char* Name;
    QByteArray Config;
    const char* StoreList; // null: no per-user store
    const char* Key;
    const char* Expected;  // "<home>" stands for the program folder
};

void PrintTo(const TGetCase& c, std::ostream* os) { *os << c.Name; }

class CliGet : public ::testing::TestWithParam<TGetCase> {};

TEST_P(CliGet, PrintsTheSettingAsLoaded) {
    const TGetCase& c = GetParam();
    CliHome home;
    home.WriteConfig(c.Config);
    if (c.StoreList) {
        ASSERT_TRUE(home.Store.WriteBroadcastList(QString::fromUtf8(c.StoreList)));
    }
    const TCliResult r = home.Run({QStringLiteral("settings"), QStringLiteral("get"), QString::fromLatin1(c.Key)});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    QString expected = QString::fromUtf8(c.Expected);
    expected.replace(QStringLiteral("<home>"), home.Home.Path());
    EXPECT_EQ(r.Out.toStdString(), (expected + QLatin1Char('\n')).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliGet,
    ::testing::Values(
        TGetCase{"CompressionRatioTwelve", "CompressionRatio=12\r\n", nullptr, "CompressionRatio", "1"},
        TGetCase{"CompressionRatioNine", "CompressionRatio=9\r\n", nullptr, "CompressionRatio", "9"},
        TGetCase{"PortNotANumber", "ListeningPort=abc\r\n", nullptr, "ListeningPort", "7709"},
        TGetCase{"PortDefault", "", nullptr, "ListeningPort", "7709"},
        TGetCase{"KeyCaseIgnored", "ListeningPort=8000\r\n", nullptr, "listeningport", "8000"},
        TGetCase{"Nickname", "Nickname=a,b\tc\r\n", nullptr, "Nickname", "abc"},
        TGetCase{"BusyTextCleared", "State_Busy_AutoReplyContent=\r\n", nullptr, "State_Busy_AutoReplyContent",
                 "Sorry, I'm busy now."},
        TGetCase{"AwayTextTabs", "State_Away_AutoReplyContent=a\tb\r\n", nullptr, "State_Away_AutoReplyContent", "ab"},
        TGetCase{"ColorSchemeOtherCase", "ColorScheme=bLuE\r\n", nullptr, "ColorScheme", "bLuE"},
        TGetCase{"ColorSchemeUnknown", "ColorScheme=Pink\r\n", nullptr, "ColorScheme", "Silver"},
        TGetCase{"ArrivedFolderSlash", "ArrivedFilesFolder=/srv/in\r\n", nullptr, "ArrivedFilesFolder", "/srv/in/"},
        TGetCase{"ArrivedFolderDefault", "", nullptr, "ArrivedFilesFolder", "<home>Files/"},
        TGetCase{"AutoRunWithoutEntry", "AutoRun=1\r\n", nullptr, "AutoRun", "0"},
        TGetCase{"MulticastGroup", "", nullptr, "MulticastGroup", "234.0.0.1"},
        TGetCase{"TimeToLive", "", nullptr, "TimeToLive", "1"},
        TGetCase{"UseMulticast", "", nullptr, "UseUDPIPMulticast", "1"},
        TGetCase{"MisspelledKey", "OnlineListShowCompuerName=0\r\n", nullptr, "OnlineListShowCompuerName", "0"},
        TGetCase{"BroadcastListFromStore", "UDPBroadcastIPList=+1.1.1.1\r\n", "+10.0.0.255\t-10.1.0.255",
                 "UDPBroadcastIPList", "+10.0.0.255\t-10.1.0.255"},
        TGetCase{"BroadcastListDefault", "UDPBroadcastIPList=+1.1.1.1\r\n", nullptr, "UDPBroadcastIPList",
                 "+255.255.255.255"},
        TGetCase{"IdentityKept", "QLMId=00-0C-29-3E-5A-7F\r\n", nullptr, "QLMId", "00-0C-29-3E-5A-7F"}),
    TCaseName());

TEST(Cli, FirstGetMakesTheIdentityAndKeepsIt) {
    CliHome home;
    const TCliResult first = home.Run({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("QLMId")});
    ASSERT_EQ(first.Exit, 0);
    const QString id = first.Out.trimmed();
    EXPECT_FALSE(id.isEmpty());
    EXPECT_EQ(home.ConfigValue(QStringLiteral("QLMId")), id);
    const TCliResult second = home.Run({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("QLMId")});
    EXPECT_EQ(second.Out.trimmed(), id);
}

// ------------------------------------------------------------ settings set

TEST(Cli, SetThenGetRoundTrips) {
    CliHome home;
    auto set = [&](const char* key, const QString& value) {
        const TCliResult r = home.Run({QStringLiteral("settings"), QStringLiteral("set"), QString::fromLatin1(key), value});
        EXPECT_EQ(r.Exit, 0) << key << ": " << r.Err.toStdString();
    };
    auto get = [&](const char* key) {
        return home.Run({QStringLiteral("settings"), QStringLiteral("get"), QString::fromLatin1(key)}).Out.chopped(1);
    };

    set("Nickname", QStringLiteral("Ann,\tLee"));
    EXPECT_EQ(get("Nickname"), QStringLiteral("AnnLee"));
    EXPECT_EQ(home.ConfigValue(QStringLiteral("Nickname")), QStringLiteral("AnnLee"));

    set("UDPBroadcastIPList", QStringLiteral("+10.0.0.255\t-10.9.0.255"));
    EXPECT_EQ(get("UDPBroadcastIPList"), QStringLiteral("+10.0.0.255\t-10.9.0.255"));
    EXPECT_EQ(home.Store.ReadBroadcastList(), QStringLiteral("+10.0.0.255\t-10.9.0.255"));
    EXPECT_EQ(home.ConfigValue(QStringLiteral("UDPBroadcastIPList")), std::nullopt);

    set("NetworkLanguage", QStringLiteral("1028"));
    EXPECT_EQ(get("NetworkLanguage"), QStringLiteral("1028"));
    EXPECT_EQ(home.ConfigValue(QStringLiteral("NetworkLanguage")), QStringLiteral("1028"));

    set("ListeningPort", QStringLiteral("7800"));
    EXPECT_EQ(get("ListeningPort"), QStringLiteral("7800"));
    EXPECT_EQ(home.ConfigValue(QStringLiteral("ListeningPort")), QStringLiteral("7800"));

    set("MainFormLeft", QStringLiteral("-20"));
    EXPECT_EQ(get("MainFormLeft"), QStringLiteral("-20"));

    set("ChatMode", QStringLiteral("off"));
    EXPECT_EQ(get("ChatMode"), QStringLiteral("0"));
    set("ChatMode", QStringLiteral("yes"));
    EXPECT_EQ(get("ChatMode"), QStringLiteral("1"));

    set("ArrivedFilesFolder", QStringLiteral("/srv/drop"));
    EXPECT_EQ(get("ArrivedFilesFolder"), QStringLiteral("/srv/drop/"));

    // Everything set before is still there.
    EXPECT_EQ(get("Nickname"), QStringLiteral("AnnLee"));
    EXPECT_EQ(get("ListeningPort"), QStringLiteral("7800"));
}

TEST(Cli, InterfaceListIsRefusedWhileDetected) {
    CliHome home;
    auto set = [&](const char* key, const char* value) {
        return home.Run({QStringLiteral("settings"), QStringLiteral("set"), QString::fromLatin1(key),
                         QString::fromLatin1(value)});
    };
    const TCliResult refused = set("LocalInterfaceList", "10.0.0.5=255.0.0.0");
    EXPECT_NE(refused.Exit, 0);
    EXPECT_TRUE(refused.Err.contains(QStringLiteral("AutoDetectInterfaces"))) << refused.Err.toStdString();
    EXPECT_EQ(home.ConfigValue(QStringLiteral("LocalInterfaceList")), std::nullopt);
    ASSERT_EQ(set("AutoDetectInterfaces", "0").Exit, 0);
    EXPECT_EQ(set("LocalInterfaceList", "10.0.0.5=255.0.0.0").Exit, 0);
    EXPECT_EQ(home.ConfigValue(QStringLiteral("LocalInterfaceList")), QStringLiteral("10.0.0.5=255.0.0.0"));
}

TEST(Cli, AutoRunStartsTheDesktopProgram) {
    CliHome home;
    const TCliResult r =
        home.Run({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("AutoRun"), QStringLiteral("1")});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    QFile entry(home.Store.AutostartPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Exec=\"") + QDir(RuntimeDir()).filePath(QStringLiteral("quillmate")) +
                              QStringLiteral("\" -min\n")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("quillmate-cli"))) << text.toStdString();
}

struct TUsageCase {
    const char* Name;
    QStringList Arguments;
    const char* ErrorContains;
};

void PrintTo(const TUsageCase& c, std::ostream* os) { *os << c.Name; }

class CliUsage : public ::testing::TestWithParam<TUsageCase> {};

TEST_P(CliUsage, ExitsWithTwoAndOneLineAndChangesNothing) {
    const TUsageCase& c = GetParam();
    CliHome home;
    home.WriteConfig("ListeningPort=7801\r\n");
    const QByteArray before = home.Home.Read(QStringLiteral("Config.ini"));
    const TCliResult r = home.Run(c.Arguments);
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    EXPECT_EQ(r.Err.count(QLatin1Char('\n')), 1) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.startsWith(QStringLiteral("quillmate-cli: "))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QString::fromUtf8(c.ErrorContains))) << r.Err.toStdString();
    if (!home.Home.Read(QStringLiteral("Config.ini")).startsWith(before))
        ADD_FAILURE() << "Config.ini changed";
    EXPECT_EQ(home.ConfigValue(QStringLiteral("ListeningPort")), QStringLiteral("7801"));
    EXPECT_FALSE(QFile::exists(home.Store.ProfilePath()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUsage,
    ::testing::Values(
        TUsageCase{"UnknownKeyGet", {QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("NoSuchKey")},
                   "NoSuchKey"},
        TUsageCase{"UnknownKeySet",
                   {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("NoSuchKey"), QStringLiteral("1")},
                   "NoSuchKey"},
        TUsageCase{"IntegerNotANumber",
                   {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("ListeningPort"), QStringLiteral("abc")},
                   "abc"},
        TUsageCase{"IntegerTooLarge",
                   {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("ListeningPort"),
                    QStringLiteral("99999999999")},
                   "99999999999"},
        TUsageCase{"NetworkLanguageUnknown",
                   {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("NetworkLanguage"), QStringLiteral("9999")},
                   "9999"},
        TUsageCase{"BooleanNotABoolean",
                   {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("ChatMode"), QStringLiteral("maybe")},
                   "maybe"},
        TUsageCase{"GetWithoutKey", {QStringLiteral("settings"), QStringLiteral("get")}, "wrong number"},
        TUsageCase{"SetWithoutValue", {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("Nickname")},
                   "wrong number"},
        TUsageCase{"SettingsWithoutVerb", {QStringLiteral("settings")}, "get or set"},
        TUsageCase{"LanguagesWithArgument", {QStringLiteral("languages"), QStringLiteral("x")}, "no arguments"}),
    TCaseName());

TEST(Cli, UnknownCommandShowsTheCommands) {
    CliHome home;
    const TCliResult r = home.Run({QStringLiteral("frobnicate")});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(r.Err.startsWith(QStringLiteral("quillmate-cli: unknown command: frobnicate\n"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QStringLiteral("settings get KEY")));
}

// ------------------------------------------------------------------- listen

// The node's last line names what its router dropped; the lines before it stay as they were.
TEST(Cli, ListenEndsWithTheRouterCounts) {
    CliHome home;
    const TCliResult r = home.Run({QStringLiteral("listen"), QStringLiteral("--json")}, "list\nquit\n");
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << r.Out.toStdString();
    EXPECT_TRUE(lines.at(lines.size() - 3).startsWith(QStringLiteral("{\"event\":\"online-list\"")))
        << r.Out.toStdString();
    // The listener's final counters come just before.
    EXPECT_TRUE(lines.at(lines.size() - 2).startsWith(QStringLiteral("{\"event\":\"listener\",\"final\":true")))
        << r.Out.toStdString();
    const QJsonObject last = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    EXPECT_EQ(last.value(QStringLiteral("event")).toString(), QStringLiteral("stopped"));
    for (const char* key : {"unrouted", "mistyped", "overflowed", "pending"})
        EXPECT_EQ(last.value(QLatin1String(key)).toInteger(-1), 0) << key;
    EXPECT_TRUE(last.contains(QStringLiteral("t")));
}

TEST(Cli, ListenWithoutJsonEndsWithThePlainCounts) {
    CliHome home;
    const TCliResult r = home.Run({QStringLiteral("listen")}, "quit\n");
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.endsWith(QStringLiteral("stopped unrouted=0 mistyped=0 overflowed=0 throttled=0 pending=0\n")))
        << r.Out.toStdString();
}

// ---------------------------------------------------------------- languages

// Languages are read beside the program, so the test runs a copy of it in a
// folder of its own.
TEST(Cli, ListsTheLanguageFilesBesideTheProgram) {
    CliHome home;
    const QString bin = home.Home.File(QStringLiteral("bin/"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::copy(CliProgram(), bin + QStringLiteral("quillmate-cli")));
    home.Home.Write(QStringLiteral("bin/Languages/de.lng"), "[Info]\r\nLanguage=Deutsch\r\n[String]\r\n&File=&Datei\r\n");
    home.Home.Write(QStringLiteral("bin/Languages/fr.txt"), "[Info]\r\nLanguage=Francais\r\n");
    home.Home.Write(QStringLiteral("bin/Languages/none.lng"), "[String]\r\n&File=&Arkiv\r\n");
    QDir().mkpath(bin + QStringLiteral("Languages/folder.lng"));

    const TCliResult r = RunCliProcess(home.Home.File(QStringLiteral("data")), {QStringLiteral("languages")},
                                       bin + QStringLiteral("quillmate-cli"));
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.toStdString(), "Deutsch\tde.lng\nFrancais\tfr.txt\n");

    QDir(bin + QStringLiteral("Languages")).removeRecursively();
    const TCliResult none = RunCliProcess(home.Home.File(QStringLiteral("data")), {QStringLiteral("languages")},
                                          bin + QStringLiteral("quillmate-cli"));
    EXPECT_EQ(none.Exit, 0);
    EXPECT_TRUE(none.Out.isEmpty());
}

// --------------------------------------------------------- send, broadcast

INSTANTIATE_TEST_SUITE_P(
    Chat, CliUsage,
    ::testing::Values(
        TUsageCase{"SendWithoutRecipients", {QStringLiteral("send"), QStringLiteral("hello")}, "--to"},
        TUsageCase{"SendWithoutText", {QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("1.2.3.4")},
                   "TEXT or --rtf"},
        TUsageCase{"SendTextAndRtf",
                   {QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("1.2.3.4"), QStringLiteral("hi"),
                    QStringLiteral("--rtf"), QStringLiteral("x.rtf")},
                   "TEXT or --rtf"},
        TUsageCase{"SendTwoTexts",
                   {QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("1.2.3.4"), QStringLiteral("a"),
                    QStringLiteral("b")},
                   "one TEXT"},
        TUsageCase{"SendUnknownOption",
                   {QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("1.2.3.4"), QStringLiteral("--loud"),
                    QStringLiteral("hi")},
                   "--loud"},
        TUsageCase{"SendMissingImage",
                   {QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("1.2.3.4"), QStringLiteral("hi"),
                    QStringLiteral("--image"), QStringLiteral("/nonexistent/picture.png")},
                   "cannot read"},
        TUsageCase{"SendRtfThatIsNoRtf",
                   {QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("1.2.3.4"), QStringLiteral("--rtf"),
                    QString::fromUtf8(QLM_SOURCE_DIR "/CMakeLists.txt")},
                   "not an RTF file"},
        TUsageCase{"BroadcastWithoutText", {QStringLiteral("broadcast")}, "needs TEXT"},
        TUsageCase{"ListenWithAStateOfNoName", {QStringLiteral("listen"), QStringLiteral("--state"), QStringLiteral("3")},
                   "online, busy or away"}),
    TCaseName());

// What quillmate-cli wrote to a peer that never read while it ran: one request.
QByteArray TakeRequest(QTcpServer& server) {
    if (!server.waitForNewConnection(5000)) return {};
    std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
    QByteArray bytes;
    while (socket->state() == QAbstractSocket::ConnectedState || socket->bytesAvailable() > 0) {
        bytes += socket->readAll();
        if (socket->state() == QAbstractSocket::ConnectedState && !socket->waitForReadyRead(3000)) break;
    }
    return bytes + socket->readAll();
}

// Text and a picture become one RTF body; a recipient that may not be
// reached gets its error line and the others still their message.
TEST(CliChat, SendWritesOneMessagePerRecipientAndReportsEach) {
    TLoopbackOnly loopback; // the child sends to 127.0.0.1 only
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    CliHome home;
    home.WriteConfig("ListeningPort=" + QByteArray::number(peer.serverPort()) + "\r\n");
    home.Home.Write(QStringLiteral("p.png"), RichFixtures::Png());
    const TCliResult r =
        home.Run({QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("127.0.0.1,0.0.0.0"),
                  QStringLiteral("--nickname"), QStringLiteral("Cli"), QStringLiteral("--json"),
                  QStringLiteral("Hello there\nsecond line"), QStringLiteral("--image"), home.Home.File(QStringLiteral("p.png"))});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    // A line per recipient as it ends, then the whole.
    const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.Out.toStdString();
    QList<int> indexes;
    for (int i = 0; i < 2; ++i) {
        const QJsonObject line = QJsonDocument::fromJson(lines[i].toUtf8()).object();
        EXPECT_EQ(line.value(QStringLiteral("event")).toString(), QStringLiteral("recipient"));
        EXPECT_EQ(line.value(QStringLiteral("Done")).toInt(), i + 1);
        EXPECT_EQ(line.value(QStringLiteral("Total")).toInt(), 2);
        const int index = line.value(QStringLiteral("Index")).toInt();
        indexes << index;
        EXPECT_EQ(line.value(QStringLiteral("SendStatus")).toString(), index == 0 ? QStringLiteral("OK") : QString());
    }
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(indexes, (QList<int>{0, 1}));
    const QJsonObject result = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    EXPECT_EQ(result.value(QStringLiteral("event")).toString(), QStringLiteral("send"));
    EXPECT_EQ(result.value(QStringLiteral("Sent")).toInt(), 1);
    EXPECT_EQ(result.value(QStringLiteral("Total")).toInt(), 2);
    EXPECT_TRUE(result.value(QStringLiteral("reached")).toBool()) << r.Out.toStdString();
    const QJsonArray results = result.value(QStringLiteral("results")).toArray();
    ASSERT_EQ(results.size(), 2) << r.Out.toStdString();
    EXPECT_EQ(results[0].toObject().value(QStringLiteral("SendStatus")).toString(), QStringLiteral("OK"));
    EXPECT_EQ(results[1].toObject().value(QStringLiteral("SendStatus")).toString(), QString());
    EXPECT_EQ(results[1].toObject().value(QStringLiteral("Error")).toString(),
              QStringLiteral("Error occurred when send message to 0.0.0.0."));

    const TReadRequest request = ReadMessageRequest(TakeRequest(peer), TMessageLang(1033));
    ASSERT_TRUE(request.Record && request.Body);
    EXPECT_EQ(request.Record->NickName, QStringLiteral("Cli"));
    EXPECT_EQ(request.Record->Summary, "Hello there\r\nsecond line");
    const QByteArray& body = *request.Body;
    const std::optional<TRichDocument> document = ReadRtf(body);
    ASSERT_TRUE(document) << body.left(200).constData();
    EXPECT_EQ(document->PlainText(), QStringLiteral("Hello there\nsecond line\n") + QChar::ObjectReplacementCharacter);
    ASSERT_EQ(document->Pictures().size(), 1);
    EXPECT_EQ(document->Pictures()[0].Bytes, RichFixtures::Png());
}

TEST(CliChat, SendReachingNobodyExitsWithOne) {
    CliHome home; // the test's network is off
    const TCliResult r = home.Run({QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("127.0.0.1"),
                                   QStringLiteral("hello")});
    EXPECT_EQ(r.Exit, 1) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.startsWith(QStringLiteral("127.0.0.1\tError occurred when send message to 127.0.0.1. (")))
        << r.Out.toStdString();
}

TEST(CliChat, BroadcastTooLongIsRefusedBeforeSending) {
    CliHome home;
    const TCliResult r = home.Run({QStringLiteral("broadcast"), QString(5000, QLatin1Char('x'))});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Out.isEmpty());
    EXPECT_EQ(r.Err, QStringLiteral("quillmate-cli: The message is too long to broadcast. (a broadcast datagram holds at "
                                    "most 4096 bytes)\n"));
    const TCliResult off = home.Run({QStringLiteral("broadcast"), QStringLiteral("short")});
    EXPECT_EQ(off.Exit, 1);
    EXPECT_EQ(off.Err, QStringLiteral("quillmate-cli: Can not broadcast message.\n"));
}

} // namespace
