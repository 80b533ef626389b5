#pragma once

#include "platform/UserStoreUnit.h"

#include <QString>
#include <array>

// Integer settings; the key of each is its name without the "ip" prefix.
enum TIntegerParams {
    ipMainFormLeft, ipMainFormTop, ipMainFormWidth, ipMainFormHeight,
    ipConsoleFormLeft, ipConsoleFormTop, ipMessageFormLeft, ipMessageFormTop,
    ipMaxVisibleGroups, ipActiveGroupIndex, ipListeningPort, ipTimeToLive,
    ipFileFormLeft, ipFileFormTop, ipFileFormWidth, ipFileFormHeight,
    ipFileListColumn_1_Width, ipFileListColumn_2_Width, ipFileListColumn_3_Width,
    ipFileListColumn_4_Width, ipFileListColumn_5_Width,
    ipCompressionRatio,
    ipMessageFormRecordHeight, ipMessageFormChatHeight, ipMessageFormChatWidth,
    ipMessageFormInputHeight, ipMessageFormHeight, ipMessageFormWidth,
    ipRichEditFontSize, ipRichEditFontColor,
    ipLogManagementFormLeft, ipLogManagementFormTop, ipLogManagementFormWidth,
    ipLogManagementFormHeight, ipLogManagementFormLogTypeWidth, ipLogManagementFormContentHeight,
    ipNetworkLanguage, // language identifier of everything sent; 0: from the desktop's locale
    ipCount
};

// Boolean settings; key = name without "bp".
enum TBooleanParams {
    bpAutoRun, bpMinimizeAfterStart, bpMainFormMaximized, bpClickCloseToMinimize,
    bpAllowMultiForm, bpAutoPopupForm, bpCommandListVisible, bpCloseAfterSendFile,
    bpState_Busy_AutoReply, bpState_Busy_AutoSwitch, bpState_Away_AutoReply, bpState_Away_AutoSwitch,
    bpUseUDPIPMulticast, bpPlaySound, bpMainWindowAlwaysOnTop, bpAutoDetectInterfaces,
    bpAutoCodeConvert, bpChatMode, bpBold, bpItalic, bpUnderLine, bpPressEnterToSend,
    bpAutoFileTrans, bpHideWhenCaptureScreen, bpInvertGradient,
    bpOnlineListShowCompuerName, bpOnlineListShowIPAddress, bpOnlyUserNickname, bpUseNotificationWindow,
    bpCount
};

// String settings; key = name without "sp".
enum TStringParams {
    spNickname, spMulticastGroup, spUserInterfaceLanguageInUse,
    spLastCopyToFolder, spLastMoveToFolder, spLastAddFolder, spArrivedFilesFolder,
    spState_Busy_AutoReplyContent, spState_Away_AutoReplyContent, spUDPBroadcastIPList,
    spLocalInterfaceList, spMessageImageFolder, spRichEditFontName, spColorScheme, spQLMId,
    spUpdatePublicKey,
    spCount
};

// Every user setting and the local identity sent about this node. One instance
// per process (Params()); fields are written on the main thread only.
class TApplicationParams {
public:
    static constexpr const char* SectionName = "Quillmate Settings";

    // configFile: path of Config.ini; dataFolder: the program folder (with "/"),
    // for the default received-files folder.
    TApplicationParams(QString configFile, QString dataFolder, TUserStore userStore);

    std::array<int, ipCount> Integers{};
    std::array<bool, bpCount> Booleans{};
    std::array<QString, spCount> Strings{};

    int& operator[](TIntegerParams p) { return Integers[p]; }
    bool& operator[](TBooleanParams p) { return Booleans[p]; }
    QString& operator[](TStringParams p) { return Strings[p]; }
    int operator[](TIntegerParams p) const { return Integers[p]; }
    bool operator[](TBooleanParams p) const { return Booleans[p]; }
    const QString& operator[](TStringParams p) const { return Strings[p]; }

    // Returns false when loading stopped on an error (LoadError() says which);
    // settings not reached keep their defaults.
    bool LoadSettings();
    bool SaveWindowState();
    bool SaveOptions();
    bool SaveSetting(TStringParams p);

    const QString& ConfigFile() const { return FConfigFile; }
    const QString& DataFolder() const { return FDataFolder; }
    const TUserStore& UserStore() const { return FUserStore; }
    const QString& LoadError() const { return FLoadError; }

    static QString Key(TIntegerParams p);
    static QString Key(TBooleanParams p);
    static QString Key(TStringParams p);
    static int DefaultInteger(TIntegerParams p);
    static bool DefaultBoolean(TBooleanParams p);
    // Defaults that depend on this machine come from dataFolder and the computer name.
    QString DefaultString(TStringParams p) const;

    // Nickname rule: tab and comma characters removed.
    static QString CleanNickname(QString nickname);
    static QString MakeUniqueId();

    // Where a setting is saved: W with the window state, O with the options,
    // at once, or in the per-user store.
    enum TSavedBy { sbWindow = 1, sbOptions = 2, sbAtOnce = 4, sbUserStore = 8 };
    static int SavedBy(TIntegerParams p);
    static int SavedBy(TBooleanParams p);
    static int SavedBy(TStringParams p);

private:
    void SetDefaults();
    QString FConfigFile;
    QString FDataFolder;
    TUserStore FUserStore;
    QString FLoadError;
};

// The process-wide settings, created and loaded on first use from the
// program folder (Platform::DataFolder()).
TApplicationParams& Params();
