#include "core/ParamsUnit.h"
#include "platform/IdentityUnit.h"
#include "platform/ProfileFileUnit.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <memory>
#include <optional>

namespace {

const QString kSection = QString::fromLatin1(TApplicationParams::SectionName);

// A program folder with its own per-user store, and the settings over it.
class ParamsFixture {
public:
    ParamsFixture()
        : Store(Home.File(QStringLiteral(".config/Quillmate/Quillmate.ini")),
                Home.File(QStringLiteral(".config/autostart/quillmate.desktop"))) {}

    std::unique_ptr<TApplicationParams> Make() const {
        return std::make_unique<TApplicationParams>(Home.File(QStringLiteral("Config.ini")), Home.Path(), Store);
    }
    std::unique_ptr<TApplicationParams> Load(bool* ok = nullptr) const {
        auto p = Make();
        const bool loaded = p->LoadSettings();
        if (ok) *ok = loaded;
        return p;
    }
    void WriteConfig(const QByteArray& lines) const {
        Home.Write(QStringLiteral("Config.ini"), "[Quillmate Settings]\r\n" + lines);
    }
    QByteArray Config() const { return Home.Read(QStringLiteral("Config.ini")); }
    // The value of key in Config.ini, or nullopt when the line is missing.
    std::optional<QString> ConfigValue(const QString& key) const {
        TProfileFile file(Home.File(QStringLiteral("Config.ini")));
        if (!file.ValueExists(kSection, key)) return std::nullopt;
        return file.ReadString(kSection, key);
    }
    QStringList ConfigKeys() const {
        return TProfileFile(Home.File(QStringLiteral("Config.ini"))).ReadSection(kSection);
    }
    void WriteStoreList(const QString& list) const { ASSERT_TRUE(Store.WriteBroadcastList(list)); }
    void WriteAutostart() const { ASSERT_TRUE(Store.SetAutoStart(true, QStringLiteral("/opt/quillmate/quillmate"))); }

    TTempHome Home;
    TUserStore Store;
};

// Any setting's value as text ("1"/"0" for Booleans), found by key.
QString ValueText(const TApplicationParams& p, const QString& key) {
    for (int i = 0; i < ipCount; ++i)
        if (TApplicationParams::Key(TIntegerParams(i)) == key) return QString::number(p[TIntegerParams(i)]);
    for (int i = 0; i < bpCount; ++i)
        if (TApplicationParams::Key(TBooleanParams(i)) == key) return p[TBooleanParams(i)] ? QStringLiteral("1") : QStringLiteral("0");
    for (int i = 0; i < spCount; ++i)
        if (TApplicationParams::Key(TStringParams(i)) == key) return p[TStringParams(i)];
    ADD_FAILURE() << "no setting " << key.toStdString();
    return {};
}

// "<computer>" and "<home>" in expected values stand for this machine's name
// and the test's program folder.
QString Expand(const QString& expected, const TTempHome& home) {
    QString out = expected;
    out.replace(QStringLiteral("<computer>"), TApplicationParams::CleanNickname(Platform::ComputerName()));
    out.replace(QStringLiteral("<home>"), home.Path());
    return out;
}

// ---------------------------------------------------------------- fresh start

struct TDefaultCase {
    const char* Key;
    const char* Expected;
};

void PrintTo(const TDefaultCase& c, std::ostream* os) { *os << c.Key; }

class ParamsDefault : public ::testing::TestWithParam<TDefaultCase> {};

TEST_P(ParamsDefault, FreshStartGivesTheDefault) {
    ParamsFixture f;
    bool ok = false;
    const auto p = f.Load(&ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ValueText(*p, QString::fromLatin1(GetParam().Key)).toStdString(),
              Expand(QString::fromUtf8(GetParam().Expected), f.Home).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsDefault,
    ::testing::Values(
        TDefaultCase{"MainFormLeft", "330"}, TDefaultCase{"MainFormTop", "110"}, TDefaultCase{"MainFormWidth", "310"},
        TDefaultCase{"MainFormHeight", "460"}, TDefaultCase{"MaxVisibleGroups", "1"},
        TDefaultCase{"ActiveGroupIndex", "0"}, TDefaultCase{"ListeningPort", "7709"}, TDefaultCase{"TimeToLive", "1"},
        TDefaultCase{"FileFormWidth", "560"}, TDefaultCase{"FileListColumn_1_Width", "150"},
        TDefaultCase{"FileListColumn_5_Width", "90"}, TDefaultCase{"CompressionRatio", "1"},
        TDefaultCase{"MessageFormChatHeight", "400"}, TDefaultCase{"RichEditFontSize", "10"},
        TDefaultCase{"RichEditFontColor", "-16777208"}, TDefaultCase{"LogManagementFormContentHeight", "160"},
        TDefaultCase{"NetworkLanguage", "0"},
        TDefaultCase{"AutoRun", "0"}, TDefaultCase{"MinimizeAfterStart", "0"}, TDefaultCase{"MainFormMaximized", "0"},
        TDefaultCase{"ClickCloseToMinimize", "1"}, TDefaultCase{"AllowMultiForm", "0"},
        TDefaultCase{"CloseAfterSendFile", "1"}, TDefaultCase{"State_Busy_AutoSwitch", "0"},
        TDefaultCase{"UseUDPIPMulticast", "1"}, TDefaultCase{"AutoDetectInterfaces", "1"},
        TDefaultCase{"PressEnterToSend", "0"}, TDefaultCase{"AutoFileTrans", "1"},
        TDefaultCase{"OnlineListShowCompuerName", "1"}, TDefaultCase{"OnlyUserNickname", "1"},
        TDefaultCase{"UseNotificationWindow", "1"}, TDefaultCase{"Nickname", "<computer>"},
        TDefaultCase{"MulticastGroup", "234.0.0.1"}, TDefaultCase{"UserInterfaceLanguageInUse", "English"},
        TDefaultCase{"LastCopyToFolder", ""}, TDefaultCase{"ArrivedFilesFolder", "<home>Files/"},
        TDefaultCase{"State_Busy_AutoReplyContent", "Sorry, I'm busy now."},
        TDefaultCase{"State_Away_AutoReplyContent", "Sorry, I'm not at my desk."},
        TDefaultCase{"UDPBroadcastIPList", "+255.255.255.255"}, TDefaultCase{"LocalInterfaceList", ""},
        TDefaultCase{"RichEditFontName", ""}, TDefaultCase{"ColorScheme", "Silver"}, TDefaultCase{"UpdatePublicKey", ""}),
    [](const auto& info) { return std::string(info.param.Key); });

TEST(Params, TablesHaveTheDocumentedSizeAndKeys) {
    EXPECT_EQ(ipCount, 37); // the 36 peers' Config.ini files know, and NetworkLanguage
    EXPECT_EQ(bpCount, 29);
    EXPECT_EQ(spCount, 16); // and UpdatePublicKey
    // Spelled as peers' Config.ini files have it.
    EXPECT_EQ(TApplicationParams::Key(bpOnlineListShowCompuerName), QStringLiteral("OnlineListShowCompuerName"));
    EXPECT_EQ(TApplicationParams::Key(ipListeningPort), QStringLiteral("ListeningPort"));
    EXPECT_EQ(TApplicationParams::Key(spQLMId), QStringLiteral("QLMId"));
    EXPECT_EQ(TApplicationParams::Key(ipLogManagementFormContentHeight), QStringLiteral("LogManagementFormContentHeight"));
    EXPECT_EQ(TApplicationParams::Key(ipNetworkLanguage), QStringLiteral("NetworkLanguage"));
}

TEST(Params, FirstStartMakesFilesFolderAndWritesTheIdentityAtOnce) {
    ParamsFixture f;
    ASSERT_FALSE(QFileInfo::exists(f.Home.File(QStringLiteral("Config.ini"))));
    const auto p = f.Load();
    EXPECT_TRUE(QFileInfo(f.Home.File(QStringLiteral("Files"))).isDir());

    const QString id = (*p)[spQLMId];
    const QRegularExpression forms(QStringLiteral(
        "^(([0-9A-F]{2}-){5}[0-9A-F]{2}|\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}|.+_[0-9]+)$"));
    EXPECT_TRUE(forms.match(id).hasMatch()) << id.toStdString();
    // Written by the load itself, not by a later save.
    EXPECT_EQ(f.ConfigValue(QStringLiteral("QLMId")), id);
    EXPECT_TRUE(f.Config().startsWith("[Quillmate Settings]\r\n")) << f.Config().toStdString();

    const QByteArray before = f.Config();
    const auto again = f.Load();
    EXPECT_EQ((*again)[spQLMId], id);
    EXPECT_EQ(f.Config(), before);
}

TEST(Params, CopiedConfigKeepsItsIdentity) {
    ParamsFixture f;
    f.WriteConfig("QLMId=00-0C-29-3E-5A-7F\r\n");
    const auto p = f.Load();
    EXPECT_EQ((*p)[spQLMId], QStringLiteral("00-0C-29-3E-5A-7F"));
}

TEST(Params, FilesFolderMadeWhateverArrivedFilesFolderSays) {
    ParamsFixture f;
    f.WriteConfig("ArrivedFilesFolder=" + f.Home.File(QStringLiteral("elsewhere")).toUtf8() + "\r\n");
    const auto p = f.Load();
    EXPECT_TRUE(QFileInfo(f.Home.File(QStringLiteral("Files"))).isDir());
    EXPECT_EQ((*p)[spArrivedFilesFolder], f.Home.File(QStringLiteral("elsewhere/")));
}

// ----------------------------------------------------------- loading rules

struct TLoadCase {
    const char* Name;
    QByteArray Config;      // lines of the section
    const char* StoreList;  // broadcast list in the per-user store, null for none
    bool AutostartEntry;
    const char* Key;
    const char* Expected;
};

void PrintTo(const TLoadCase& c, std::ostream* os) { *os << c.Name; }

class ParamsLoad : public ::testing::TestWithParam<TLoadCase> {};

const QByteArray kLongNickname(TProfileFile::MaxValueLength, 'n');

TEST_P(ParamsLoad, AppliesTheLoadingRules) {
    const TLoadCase& c = GetParam();
    ParamsFixture f;
    f.WriteConfig(c.Config);
    if (c.StoreList) f.WriteStoreList(QString::fromUtf8(c.StoreList));
    if (c.AutostartEntry) f.WriteAutostart();
    bool ok = false;
    const auto p = f.Load(&ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ValueText(*p, QString::fromLatin1(c.Key)).toStdString(),
              Expand(QString::fromUtf8(c.Expected), f.Home).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsLoad,
    ::testing::Values(
        TLoadCase{"ClearedBusyTextComesBack", "State_Busy_AutoReplyContent=\r\n", nullptr, false,
                  "State_Busy_AutoReplyContent", "Sorry, I'm busy now."},
        TLoadCase{"ClearedAwayTextComesBack", "State_Away_AutoReplyContent=\r\n", nullptr, false,
                  "State_Away_AutoReplyContent", "Sorry, I'm not at my desk."},
        TLoadCase{"CompressionAboveNine", "CompressionRatio=12\r\n", nullptr, false, "CompressionRatio", "1"},
        TLoadCase{"CompressionNegative", "CompressionRatio=-1\r\n", nullptr, false, "CompressionRatio", "1"},
        TLoadCase{"CompressionNineKept", "CompressionRatio=9\r\n", nullptr, false, "CompressionRatio", "9"},
        TLoadCase{"CompressionZeroKept", "CompressionRatio=0\r\n", nullptr, false, "CompressionRatio", "0"},
        // A port outside 1..65535 would be cut to 16 bits or bind a random one.
        TLoadCase{"PortAboveRange", "ListeningPort=70000\r\n", nullptr, false, "ListeningPort", "7709"},
        TLoadCase{"PortZero", "ListeningPort=0\r\n", nullptr, false, "ListeningPort", "7709"},
        TLoadCase{"PortHighestKept", "ListeningPort=65535\r\n", nullptr, false, "ListeningPort", "65535"},
        TLoadCase{"PortNotANumber", "ListeningPort=abc\r\n", nullptr, false, "ListeningPort", "7709"},
        TLoadCase{"PortHalfANumber", "ListeningPort=80x\r\n", nullptr, false, "ListeningPort", "7709"},
        TLoadCase{"PortStored", "ListeningPort=8000\r\n", nullptr, false, "ListeningPort", "8000"},
        TLoadCase{"KeyCaseIgnored", "listeningPORT=8001\r\n", nullptr, false, "ListeningPort", "8001"},
        TLoadCase{"NicknameLosesCommaAndTab", "Nickname=a,b\tc\r\n", nullptr, false, "Nickname", "abc"},
        TLoadCase{"NicknameOfSeparatorsOnlyIsTheComputerName", "Nickname=,\t,\r\n", nullptr, false, "Nickname",
                  "<computer>"},
        TLoadCase{"NicknameQuoted", "Nickname=\"Ann Lee\"\r\n", nullptr, false, "Nickname", "Ann Lee"},
        TLoadCase{"NicknameCutAt2047", "Nickname=" + QByteArray(3000, 'n') + "\r\n", nullptr, false, "Nickname",
                  kLongNickname.constData()},
        TLoadCase{"BusyTextLosesTabs", "State_Busy_AutoReplyContent=In a\tmeeting,\tsorry\r\n", nullptr, false,
                  "State_Busy_AutoReplyContent", "In ameeting,sorry"},
        TLoadCase{"AwayTextLosesTabs", "State_Away_AutoReplyContent=O\tu\tt\r\n", nullptr, false,
                  "State_Away_AutoReplyContent", "Out"},
        TLoadCase{"ColorSchemeKnownInOtherCaseKept", "ColorScheme=bLuE\r\n", nullptr, false, "ColorScheme", "bLuE"},
        TLoadCase{"ColorSchemeBlack", "ColorScheme=Black\r\n", nullptr, false, "ColorScheme", "Black"},
        TLoadCase{"ColorSchemeUnknown", "ColorScheme=Green\r\n", nullptr, false, "ColorScheme", "Silver"},
        TLoadCase{"ArrivedFolderGetsSlash", "ArrivedFilesFolder=/srv/in\r\n", nullptr, false, "ArrivedFilesFolder",
                  "/srv/in/"},
        TLoadCase{"ArrivedFolderSlashKept", "ArrivedFilesFolder=/srv/in/\r\n", nullptr, false, "ArrivedFilesFolder",
                  "/srv/in/"},
        TLoadCase{"BroadcastListNeverFromConfig", "UDPBroadcastIPList=+10.1.1.255\r\n", nullptr, false,
                  "UDPBroadcastIPList", "+255.255.255.255"},
        TLoadCase{"BroadcastListFromStore", "", "+192.168.1.255\t-10.0.0.255", false, "UDPBroadcastIPList",
                  "+192.168.1.255\t-10.0.0.255"},
        TLoadCase{"EmptyBroadcastListInStore", "", "", false, "UDPBroadcastIPList", "+255.255.255.255"},
        TLoadCase{"AutoRunWithoutEntryIsOff", "AutoRun=1\r\n", nullptr, false, "AutoRun", "0"},
        TLoadCase{"AutoRunEntryWins", "AutoRun=0\r\n", nullptr, true, "AutoRun", "1"},
        TLoadCase{"BooleanAnyNonZeroIsTrue", "MainFormMaximized=5\r\n", nullptr, false, "MainFormMaximized", "1"},
        TLoadCase{"BooleanWordIsDefaultFalse", "MainFormMaximized=yes\r\n", nullptr, false, "MainFormMaximized", "0"},
        TLoadCase{"BooleanWordIsDefaultTrue", "UseUDPIPMulticast=no\r\n", nullptr, false, "UseUDPIPMulticast", "1"},
        TLoadCase{"MulticastOff", "UseUDPIPMulticast=0\r\n", nullptr, false, "UseUDPIPMulticast", "0"},
        TLoadCase{"MisspelledKeyIsTheOneRead", "OnlineListShowComputerName=0\r\nOnlineListShowCompuerName=1\r\n",
                  nullptr, false, "OnlineListShowCompuerName", "1"},
        TLoadCase{"MisspelledKeyOff", "OnlineListShowCompuerName=0\r\n", nullptr, false, "OnlineListShowCompuerName",
                  "0"},
        TLoadCase{"EmptyMulticastGroupIsDefault", "MulticastGroup=\r\n", nullptr, false, "MulticastGroup",
                  "234.0.0.1"}),
    TCaseName());

// ------------------------------------------------------------------ saving

TEST(Params, AutoRunSavedAsAutostartEntryWithMinSwitch) {
    ParamsFixture f;
    auto p = f.Load();
    (*p)[bpAutoRun] = true;
    ASSERT_TRUE(p->SaveOptions());
    QFile entry(f.Store.AutostartPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    const QRegularExpression exec(QStringLiteral("^Exec=(.*)$"), QRegularExpression::MultilineOption);
    const auto match = exec.match(text);
    ASSERT_TRUE(match.hasMatch()) << text.toStdString();
    EXPECT_TRUE(match.captured(1).endsWith(QStringLiteral("\" -min"))) << match.captured(1).toStdString();
    // The desktop program is started at logon, whoever saved the options.
    EXPECT_TRUE(match.captured(1).startsWith(QStringLiteral("\"/"))) << match.captured(1).toStdString();
    EXPECT_TRUE(match.captured(1).contains(QStringLiteral("/quillmate\""))) << match.captured(1).toStdString();
    EXPECT_TRUE((*f.Load())[bpAutoRun]);

    // Deleted by hand: off at the next start whatever Config.ini says.
    ASSERT_TRUE(QFile::remove(f.Store.AutostartPath()));
    EXPECT_EQ(f.ConfigValue(QStringLiteral("AutoRun")), QStringLiteral("1"));
    EXPECT_FALSE((*f.Load())[bpAutoRun]);

    (*p)[bpAutoRun] = true;
    ASSERT_TRUE(p->SaveOptions());
    (*p)[bpAutoRun] = false;
    ASSERT_TRUE(p->SaveOptions());
    EXPECT_FALSE(QFileInfo::exists(f.Store.AutostartPath()));
}

TEST(Params, BroadcastListGoesToTheUserStoreOnly) {
    ParamsFixture f;
    auto p = f.Load();
    const QString list = QStringLiteral("+10.0.0.255\t-host.example");
    (*p)[spUDPBroadcastIPList] = list;
    ASSERT_TRUE(p->SaveOptions());
    ASSERT_TRUE(p->SaveWindowState());
    EXPECT_EQ(f.ConfigValue(QStringLiteral("UDPBroadcastIPList")), std::nullopt);
    EXPECT_FALSE(f.Config().contains("10.0.0.255"));
    EXPECT_EQ(f.Store.ReadBroadcastList(), list);
    EXPECT_EQ((*f.Load())[spUDPBroadcastIPList], list);

    (*p)[spUDPBroadcastIPList] = QStringLiteral("+10.9.9.255");
    ASSERT_TRUE(p->SaveSetting(spUDPBroadcastIPList));
    EXPECT_FALSE(f.Config().contains("10.9.9.255"));
    EXPECT_EQ(f.Store.ReadBroadcastList(), QStringLiteral("+10.9.9.255"));
}

TEST(Params, LocalInterfaceListSavedOnlyWhileAutoDetectIsOff) {
    ParamsFixture f;
    f.WriteConfig("LocalInterfaceList=10.0.0.5=255.255.255.0\r\n");
    auto p = f.Load();
    EXPECT_EQ((*p)[spLocalInterfaceList], QStringLiteral("10.0.0.5=255.255.255.0"));

    (*p)[spLocalInterfaceList] = QStringLiteral("192.168.7.2=255.255.0.0");
    (*p)[bpAutoDetectInterfaces] = true;
    ASSERT_TRUE(p->SaveOptions());
    EXPECT_EQ(f.ConfigValue(QStringLiteral("LocalInterfaceList")), QStringLiteral("10.0.0.5=255.255.255.0"));

    (*p)[bpAutoDetectInterfaces] = false;
    ASSERT_TRUE(p->SaveOptions());
    EXPECT_EQ(f.ConfigValue(QStringLiteral("LocalInterfaceList")), QStringLiteral("192.168.7.2=255.255.0.0"));
}

// Keys a save writes into a Config.ini that held only QLMId.
QSet<QString> KeysWrittenBy(bool windowState) {
    ParamsFixture f;
    auto p = f.Load();
    if (windowState)
        EXPECT_TRUE(p->SaveWindowState());
    else
        EXPECT_TRUE(p->SaveOptions());
    QSet<QString> keys;
    for (const QString& key : f.ConfigKeys()) keys.insert(key);
    keys.remove(QStringLiteral("QLMId"));
    return keys;
}

QSet<QString> KeysMarked(int savedBy) {
    QSet<QString> keys;
    for (int i = 0; i < ipCount; ++i)
        if (TApplicationParams::SavedBy(TIntegerParams(i)) & savedBy) keys.insert(TApplicationParams::Key(TIntegerParams(i)));
    for (int i = 0; i < bpCount; ++i)
        if (TApplicationParams::SavedBy(TBooleanParams(i)) & savedBy) keys.insert(TApplicationParams::Key(TBooleanParams(i)));
    for (int i = 0; i < spCount; ++i)
        if (TApplicationParams::SavedBy(TStringParams(i)) & savedBy) keys.insert(TApplicationParams::Key(TStringParams(i)));
    return keys;
}

TEST(Params, SaveWindowStateWritesExactlyTheWindowSettings) {
    const QSet<QString> written = KeysWrittenBy(true);
    EXPECT_EQ(written, KeysMarked(TApplicationParams::sbWindow));
    // Spot checks against the documented table, so a wrong mark is caught too.
    for (const char* key : {"MainFormLeft", "MaxVisibleGroups", "FileListColumn_3_Width", "RichEditFontColor",
                            "LogManagementFormTop", "MainFormMaximized", "CloseAfterSendFile", "PlaySound",
                            "AutoDetectInterfaces", "OnlineListShowCompuerName", "ChatMode", "State_Busy_AutoReply",
                            "LastCopyToFolder", "State_Away_AutoReplyContent", "MessageImageFolder", "ColorScheme"})
        EXPECT_TRUE(written.contains(QString::fromLatin1(key))) << key;
    for (const char* key : {"ListeningPort", "TimeToLive", "CompressionRatio", "AutoRun", "UseUDPIPMulticast",
                            "OnlyUserNickname", "Nickname", "MulticastGroup", "UserInterfaceLanguageInUse",
                            "ArrivedFilesFolder", "UDPBroadcastIPList", "LocalInterfaceList"})
        EXPECT_FALSE(written.contains(QString::fromLatin1(key))) << key;
}

TEST(Params, SaveOptionsWritesExactlyTheOptions) {
    const QSet<QString> written = KeysWrittenBy(false);
    QSet<QString> expected = KeysMarked(TApplicationParams::sbOptions);
    expected.remove(QStringLiteral("UDPBroadcastIPList"));
    expected.remove(QStringLiteral("LocalInterfaceList")); // AutoDetectInterfaces is on by default
    EXPECT_EQ(written, expected);
    for (const char* key : {"ListeningPort", "TimeToLive", "CompressionRatio", "AutoRun", "MinimizeAfterStart",
                            "UseUDPIPMulticast", "PlaySound", "MulticastGroup", "ArrivedFilesFolder"})
        EXPECT_TRUE(written.contains(QString::fromLatin1(key))) << key;
    for (const char* key : {"MainFormLeft", "ChatMode", "ColorScheme", "Nickname"})
        EXPECT_FALSE(written.contains(QString::fromLatin1(key))) << key;
}

TEST(Params, SavedValuesLoadBack) {
    ParamsFixture f;
    auto p = f.Load();
    (*p)[ipMainFormLeft] = -40;
    (*p)[bpMainFormMaximized] = true;
    (*p)[spColorScheme] = QStringLiteral("Black");
    (*p)[spLastCopyToFolder] = QStringLiteral("/tmp/a b/");
    (*p)[ipListeningPort] = 7800;
    (*p)[spArrivedFilesFolder] = QStringLiteral("/srv/files");
    (*p)[spNickname] = QStringLiteral("Zed");
    ASSERT_TRUE(p->SaveWindowState());
    ASSERT_TRUE(p->SaveOptions());
    ASSERT_TRUE(p->SaveSetting(spNickname));
    EXPECT_EQ(f.ConfigValue(QStringLiteral("MainFormMaximized")), QStringLiteral("1"));
    EXPECT_EQ(f.ConfigValue(QStringLiteral("ArrivedFilesFolder")), QStringLiteral("/srv/files/"));

    const auto q = f.Load();
    EXPECT_EQ((*q)[ipMainFormLeft], -40);
    EXPECT_TRUE((*q)[bpMainFormMaximized]);
    EXPECT_EQ((*q)[spColorScheme], QStringLiteral("Black"));
    EXPECT_EQ((*q)[spLastCopyToFolder], QStringLiteral("/tmp/a b/"));
    EXPECT_EQ((*q)[ipListeningPort], 7800);
    EXPECT_EQ((*q)[spNickname], QStringLiteral("Zed"));
    EXPECT_EQ((*q)[spQLMId], (*p)[spQLMId]);
}

TEST(Params, SavesKeepForeignLinesOfConfig) {
    ParamsFixture f;
    f.Home.Write(QStringLiteral("Config.ini"), "; kept\r\n[Other]\r\nx=1\r\n[Quillmate Settings]\r\nUnknownKey=7\r\n");
    auto p = f.Load();
    ASSERT_TRUE(p->SaveWindowState());
    ASSERT_TRUE(p->SaveOptions());
    const QByteArray bytes = f.Config();
    EXPECT_TRUE(bytes.startsWith("; kept\r\n[Other]\r\nx=1\r\n[Quillmate Settings]\r\nUnknownKey=7\r\n"));
}

// ----------------------------------------------------------- broken files

struct TGarbageCase {
    const char* Name;
    QByteArray Bytes;
};

void PrintTo(const TGarbageCase& c, std::ostream* os) { *os << c.Name; }

// A byte string literal with its NUL bytes.
template <size_t N> QByteArray Raw(const char (&text)[N]) { return QByteArray(text, N - 1); }

QByteArray RandomBytes(int size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes) c = char(random.bounded(256));
    return bytes;
}

class ParamsGarbage : public ::testing::TestWithParam<TGarbageCase> {};

TEST_P(ParamsGarbage, LoadsWithDefaults) {
    ParamsFixture f;
    f.Home.Write(QStringLiteral("Config.ini"), GetParam().Bytes);
    bool ok = false;
    const auto p = f.Load(&ok);
    EXPECT_TRUE(ok);
    for (int i = 0; i < ipCount; ++i) {
        EXPECT_EQ((*p)[TIntegerParams(i)], TApplicationParams::DefaultInteger(TIntegerParams(i)))
            << TApplicationParams::Key(TIntegerParams(i)).toStdString();
    }
    for (int i = 0; i < bpCount; ++i) {
        if (i == bpAutoRun) continue;
        EXPECT_EQ((*p)[TBooleanParams(i)], TApplicationParams::DefaultBoolean(TBooleanParams(i)))
            << TApplicationParams::Key(TBooleanParams(i)).toStdString();
    }
    for (int i = 0; i < spCount; ++i) {
        if (i == spQLMId) continue;
        EXPECT_EQ((*p)[TStringParams(i)], p->DefaultString(TStringParams(i)))
            << TApplicationParams::Key(TStringParams(i)).toStdString();
    }
    EXPECT_FALSE((*p)[spQLMId].isEmpty());
    // A save on top of it works and the next load reads what was saved.
    (*p)[ipListeningPort] = 7801;
    ASSERT_TRUE(p->SaveOptions());
    EXPECT_EQ((*f.Load())[ipListeningPort], 7801);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsGarbage,
    ::testing::Values(
        TGarbageCase{"RandomBinary", RandomBytes(64 * 1024, 7709)},
        TGarbageCase{"RandomBinaryAfterHeader", "[Quillmate Settings]\r\n" + RandomBytes(16 * 1024, 42)},
        TGarbageCase{"HundredKilobyteLine", "[Quillmate Settings]\r\n" + QByteArray(100 * 1024, 'k') + "\r\n"},
        TGarbageCase{"HundredKilobyteHeader", "[" + QByteArray(100 * 1024, 'Q') + "]\r\nListeningPort=1\r\n"},
        TGarbageCase{"NulBytes", Raw("[Quillmate\0Settings]\r\nListening\0Port=1\r\n\0\0\0")},
        TGarbageCase{"NulInValues", Raw("[Quillmate Settings]\r\nfoo=\0\0\r\n\0=\0\r\nListeningPort=\0\r\n")},
        TGarbageCase{"HalfHeader", "[Quillmate Sett"},
        TGarbageCase{"HalfLines", "[Quillmate Settings\r\nListeningPort=1\r\n[\r\n]\r\n=\r\n==\r\nCompressionRa"},
        TGarbageCase{"OnlyLineEnds", QByteArray(5000, '\n') + QByteArray(5000, '\r')},
        TGarbageCase{"InvalidUtf8", "[Quillmate Settings]\r\n\xC3\x28\xA0\xA1=\xF0\x28\x8C\x28\r\n"}),
    TCaseName());

TEST(Params, UnreadableStoreIsReportedButConfigStillLoads) {
    ParamsFixture f;
    f.WriteConfig("ListeningPort=8123\r\nUseUDPIPMulticast=0\r\nNickname=Zed\r\nMulticastGroup=239.1.2.3\r\n"
                  "ColorScheme=Black\r\nState_Busy_AutoReplyContent=In a meeting\r\nQLMId=KEEP-ME\r\n");
    // A folder where the per-user profile should be cannot be read.
    ASSERT_TRUE(QDir().mkpath(f.Store.ProfilePath()));
    bool ok = true;
    const auto p = f.Load(&ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(p->LoadError(), QStringLiteral("Error occurred when reading application settings from registry."));
    EXPECT_EQ((*p)[ipListeningPort], 8123);
    EXPECT_FALSE((*p)[bpUseUDPIPMulticast]);
    EXPECT_EQ((*p)[spNickname], QStringLiteral("Zed"));
    EXPECT_EQ((*p)[spMulticastGroup], QStringLiteral("239.1.2.3"));
    EXPECT_EQ((*p)[spColorScheme], QStringLiteral("Black"));
    // Only what lives in the store falls back to its default.
    EXPECT_EQ((*p)[spUDPBroadcastIPList], QStringLiteral("+255.255.255.255"));
    EXPECT_EQ((*p)[spQLMId], QStringLiteral("KEEP-ME"));
    // Saves on top of such a load keep what the file held.
    (*p)[bpInvertGradient] = true;
    EXPECT_TRUE(p->SaveWindowState());
    p->SaveOptions();
    EXPECT_EQ(f.ConfigValue(QStringLiteral("ColorScheme")), QStringLiteral("Black"));
    EXPECT_EQ(f.ConfigValue(QStringLiteral("State_Busy_AutoReplyContent")), QStringLiteral("In a meeting"));
    EXPECT_EQ(f.ConfigValue(QStringLiteral("MulticastGroup")), QStringLiteral("239.1.2.3"));
    EXPECT_EQ(f.ConfigValue(QStringLiteral("QLMId")), QStringLiteral("KEEP-ME"));
}

TEST(Params, UnreadableStoreWithoutIdentityStillMakesOne) {
    ParamsFixture f;
    ASSERT_TRUE(QDir().mkpath(f.Store.ProfilePath()));
    const auto p = f.Load();
    EXPECT_FALSE((*p)[spQLMId].isEmpty());
    EXPECT_EQ(f.ConfigValue(QStringLiteral("QLMId")), (*p)[spQLMId]);
}

TEST(Params, UnreadableConfigIsReportedAndNeverReplaced) {
    ParamsFixture f;
    const QString config = f.Home.File(QStringLiteral("Config.ini"));
    ASSERT_TRUE(QDir().mkpath(config));
    bool ok = true;
    const auto p = f.Load(&ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ((*p)[ipListeningPort], 7709);
    EXPECT_FALSE(p->SaveWindowState());
    EXPECT_FALSE(p->SaveOptions());
    EXPECT_TRUE(QFileInfo(config).isDir());
}

} // namespace
