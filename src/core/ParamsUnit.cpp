#include "core/ParamsUnit.h"

#include "platform/IdentityUnit.h"
#include "platform/PathsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "core/TextFormatUnit.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <memory>

namespace {

constexpr int W = TApplicationParams::sbWindow;
constexpr int O = TApplicationParams::sbOptions;
constexpr int Now = TApplicationParams::sbAtOnce;
constexpr int Store = TApplicationParams::sbUserStore;

struct TIntegerSpec { const char* Key; int Default; int SavedBy; };
struct TBooleanSpec { const char* Key; bool Default; int SavedBy; };
struct TStringSpec { const char* Key; const char* Default; int SavedBy; };

constexpr TIntegerSpec kIntegers[ipCount] = {
    {"MainFormLeft", 330, W}, {"MainFormTop", 110, W}, {"MainFormWidth", 310, W}, {"MainFormHeight", 460, W},
    {"ConsoleFormLeft", 220, W}, {"ConsoleFormTop", 110, W}, {"MessageFormLeft", 220, W}, {"MessageFormTop", 110, W},
    {"MaxVisibleGroups", 1, W}, {"ActiveGroupIndex", 0, W}, {"ListeningPort", 7709, O}, {"TimeToLive", 1, O},
    {"FileFormLeft", 280, W}, {"FileFormTop", 100, W}, {"FileFormWidth", 560, W}, {"FileFormHeight", 400, W},
    {"FileListColumn_1_Width", 150, W}, {"FileListColumn_2_Width", 70, W}, {"FileListColumn_3_Width", 100, W},
    {"FileListColumn_4_Width", 120, W}, {"FileListColumn_5_Width", 90, W},
    {"CompressionRatio", 1, O},
    {"MessageFormRecordHeight", 100, W}, {"MessageFormChatHeight", 400, W}, {"MessageFormChatWidth", 420, W},
    {"MessageFormInputHeight", 130, W}, {"MessageFormHeight", 300, W}, {"MessageFormWidth", 420, W},
    {"RichEditFontSize", 10, W}, {"RichEditFontColor", -16777208, W},
    {"LogManagementFormLeft", 220, W}, {"LogManagementFormTop", 110, W}, {"LogManagementFormWidth", 600, W},
    {"LogManagementFormHeight", 500, W}, {"LogManagementFormLogTypeWidth", 200, W},
    {"LogManagementFormContentHeight", 160, W}, {"NetworkLanguage", 0, O},
};

constexpr TBooleanSpec kBooleans[bpCount] = {
    {"AutoRun", false, O}, {"MinimizeAfterStart", false, O}, {"MainFormMaximized", false, W},
    {"ClickCloseToMinimize", true, O}, {"AllowMultiForm", false, O}, {"AutoPopupForm", false, O},
    {"CommandListVisible", true, W}, {"CloseAfterSendFile", true, O | W},
    {"State_Busy_AutoReply", true, W}, {"State_Busy_AutoSwitch", false, W},
    {"State_Away_AutoReply", true, W}, {"State_Away_AutoSwitch", false, W},
    {"UseUDPIPMulticast", true, O}, {"PlaySound", true, W | O}, {"MainWindowAlwaysOnTop", false, W | O},
    {"AutoDetectInterfaces", true, W | O}, {"AutoCodeConvert", true, O}, {"ChatMode", true, W},
    {"Bold", false, W}, {"Italic", false, W}, {"UnderLine", false, W}, {"PressEnterToSend", false, W},
    {"AutoFileTrans", true, O}, {"HideWhenCaptureScreen", true, W}, {"InvertGradient", false, W},
    {"OnlineListShowCompuerName", true, W}, {"OnlineListShowIPAddress", true, W},
    {"OnlyUserNickname", true, O}, {"UseNotificationWindow", true, O},
};

// Empty defaults of Nickname, ArrivedFilesFolder and QLMId are filled per machine.
constexpr TStringSpec kStrings[spCount] = {
    {"Nickname", "", Now}, {"MulticastGroup", "234.0.0.1", O}, {"UserInterfaceLanguageInUse", "English", Now},
    {"LastCopyToFolder", "", W}, {"LastMoveToFolder", "", W}, {"LastAddFolder", "", W},
    {"ArrivedFilesFolder", "", O}, {"State_Busy_AutoReplyContent", "Sorry, I'm busy now.", W},
    {"State_Away_AutoReplyContent", "Sorry, I'm not at my desk.", W}, {"UDPBroadcastIPList", "+255.255.255.255", Store | O},
    {"LocalInterfaceList", "", O}, {"MessageImageFolder", "", W}, {"RichEditFontName", "", W},
    {"ColorScheme", "Silver", W}, {"QLMId", "", Now},
    // Base64 of an Ed25519 public key; when set, only update sets it signed are installed.
    {"UpdatePublicKey", "", O},
};

QString Slashed(QString path) {
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

QString WithoutTabs(QString text) { return text.remove(QLatin1Char('\t')); }

} // namespace

TApplicationParams::TApplicationParams(QString configFile, QString dataFolder, TUserStore userStore)
    : FConfigFile(std::move(configFile)), FDataFolder(Slashed(std::move(dataFolder))), FUserStore(std::move(userStore)) {
    SetDefaults();
}

QString TApplicationParams::Key(TIntegerParams p) { return QString::fromLatin1(kIntegers[p].Key); }
QString TApplicationParams::Key(TBooleanParams p) { return QString::fromLatin1(kBooleans[p].Key); }
QString TApplicationParams::Key(TStringParams p) { return QString::fromLatin1(kStrings[p].Key); }
int TApplicationParams::DefaultInteger(TIntegerParams p) { return kIntegers[p].Default; }
bool TApplicationParams::DefaultBoolean(TBooleanParams p) { return kBooleans[p].Default; }
int TApplicationParams::SavedBy(TIntegerParams p) { return kIntegers[p].SavedBy; }
int TApplicationParams::SavedBy(TBooleanParams p) { return kBooleans[p].SavedBy; }
int TApplicationParams::SavedBy(TStringParams p) { return kStrings[p].SavedBy; }

QString TApplicationParams::DefaultString(TStringParams p) const {
    switch (p) {
    case spNickname: return CleanNickname(Platform::ComputerName());
    case spArrivedFilesFolder: return FDataFolder + QStringLiteral("Files/");
    default: return QString::fromUtf8(kStrings[p].Default);
    }
}

QString TApplicationParams::CleanNickname(QString nickname) {
    return nickname.remove(QLatin1Char('\t')).remove(QLatin1Char(','));
}

QString TApplicationParams::MakeUniqueId() {
    QString id = Platform::AdapterAddress();
    if (id.isEmpty()) id = Platform::NewGuid();
    if (id.isEmpty())
        id = QStringLiteral("%1_%2").arg(Platform::ComputerName()).arg(QRandomGenerator::global()->bounded(1 << 30));
    return id;
}

void TApplicationParams::SetDefaults() {
    for (int i = 0; i < ipCount; ++i) Integers[i] = kIntegers[i].Default;
    for (int i = 0; i < bpCount; ++i) Booleans[i] = kBooleans[i].Default;
    for (int i = 0; i < spCount; ++i) Strings[i] = DefaultString(TStringParams(i));
}

bool TApplicationParams::LoadSettings() {
    FLoadError.clear();
    SetDefaults();
    const QString section = QString::fromLatin1(SectionName);

    // An unreadable Config.ini counts as a missing one: defaults, and the
    // first save writes a new file.
    TProfileFile config;
    const bool configOk = config.Load(FConfigFile);

    for (int i = 0; i < ipCount; ++i)
        Integers[i] = config.ReadInteger(section, Key(TIntegerParams(i)), kIntegers[i].Default);
    if (Integers[ipCompressionRatio] < 0 || Integers[ipCompressionRatio] > 9) Integers[ipCompressionRatio] = 1;
    // Any other value would be cut to 16 bits or bind a port no peer knows.
    if (Integers[ipListeningPort] < 1 || Integers[ipListeningPort] > 65535)
        Integers[ipListeningPort] = kIntegers[ipListeningPort].Default;

    for (int i = 0; i < bpCount; ++i)
        Booleans[i] = config.ReadBool(section, Key(TBooleanParams(i)), kBooleans[i].Default);

    bool storeOk = true;
    Booleans[bpAutoRun] = FUserStore.AutoStartEnabled();
    const QString list = FUserStore.ReadBroadcastList(&storeOk);
    Strings[spUDPBroadcastIPList] = list.isEmpty() ? DefaultString(spUDPBroadcastIPList) : list;

    QDir().mkpath(FDataFolder + QStringLiteral("Files"));

    // Config.ini's strings do not depend on the per-user store: they load
    // whatever happened to it, so that no later save writes defaults over them.
    for (int i = 0; i < spCount; ++i) {
        if (i == spUDPBroadcastIPList) continue;
        const QString value = config.ReadString(section, Key(TStringParams(i)));
        Strings[i] = value.isEmpty() ? DefaultString(TStringParams(i)) : value;
    }
    Strings[spArrivedFilesFolder] = Slashed(Strings[spArrivedFilesFolder]);
    const QString scheme = Strings[spColorScheme];
    Strings[spColorScheme] = QStringLiteral("Silver");
    for (const char* known : {"Silver", "Black", "Blue"})
        if (scheme.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) Strings[spColorScheme] = scheme;
    if (!storeOk || !configOk)
        FLoadError = QLM_TEXT("Error occurred when reading application settings from registry.");

    // Identity cannot stay empty whatever happened above: peers tell nodes apart by it.
    if (Strings[spQLMId].isEmpty()) {
        Strings[spQLMId] = MakeUniqueId();
        SaveSetting(spQLMId);
    }
    // Cleaning must not leave a setting with a default empty (a nickname of
    // commas, an auto-reply of tabs).
    auto cleaned = [this](TStringParams p, const QString& value) {
        Strings[p] = value.isEmpty() ? DefaultString(p) : value;
    };
    cleaned(spNickname, CleanNickname(Strings[spNickname]));
    cleaned(spState_Busy_AutoReplyContent, WithoutTabs(Strings[spState_Busy_AutoReplyContent]));
    cleaned(spState_Away_AutoReplyContent, WithoutTabs(Strings[spState_Away_AutoReplyContent]));
    return FLoadError.isEmpty();
}

bool TApplicationParams::SaveWindowState() {
    const QString section = QString::fromLatin1(SectionName);
    TProfileFile config;
    // A file that cannot be read is never replaced by the part of it we hold.
    if (!config.Load(FConfigFile)) return false;
    for (int i = 0; i < ipCount; ++i)
        if (kIntegers[i].SavedBy & W) config.WriteInteger(section, Key(TIntegerParams(i)), Integers[i]);
    for (int i = 0; i < bpCount; ++i)
        if (kBooleans[i].SavedBy & W) config.WriteBool(section, Key(TBooleanParams(i)), Booleans[i]);
    for (int i = 0; i < spCount; ++i)
        if (kStrings[i].SavedBy & W) config.WriteString(section, Key(TStringParams(i)), Strings[i]);
    return config.Save();
}

bool TApplicationParams::SaveOptions() {
    bool ok = FUserStore.SetAutoStart(Booleans[bpAutoRun], Platform::DesktopProgramCommand());
    ok = FUserStore.WriteBroadcastList(Strings[spUDPBroadcastIPList]) && ok;

    const QString section = QString::fromLatin1(SectionName);
    TProfileFile config;
    if (!config.Load(FConfigFile)) return false;
    Strings[spArrivedFilesFolder] = Slashed(Strings[spArrivedFilesFolder]);
    for (int i = 0; i < ipCount; ++i)
        if (kIntegers[i].SavedBy & O) config.WriteInteger(section, Key(TIntegerParams(i)), Integers[i]);
    for (int i = 0; i < bpCount; ++i)
        if (kBooleans[i].SavedBy & O) config.WriteBool(section, Key(TBooleanParams(i)), Booleans[i]);
    for (int i = 0; i < spCount; ++i) {
        if (!(kStrings[i].SavedBy & O) || (kStrings[i].SavedBy & Store)) continue;
        if (i == spLocalInterfaceList && Booleans[bpAutoDetectInterfaces]) continue;
        config.WriteString(section, Key(TStringParams(i)), Strings[i]);
    }
    return config.Save() && ok;
}

bool TApplicationParams::SaveSetting(TStringParams p) {
    if (p == spUDPBroadcastIPList) return FUserStore.WriteBroadcastList(Strings[p]);
    return TProfileFile::WriteStringTo(FConfigFile, QString::fromLatin1(SectionName), Key(p), Strings[p]);
}

TApplicationParams& Params() {
    static const std::unique_ptr<TApplicationParams> instance = [] {
        const QString folder = Platform::DataFolder();
        auto params = std::make_unique<TApplicationParams>(folder + QStringLiteral("Config.ini"), folder, TUserStore());
        params->LoadSettings();
        return params;
    }();
    return *instance;
}
