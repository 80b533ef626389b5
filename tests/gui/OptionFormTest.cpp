#include "ui/OptionUnit.h"

#include "core/ParamsUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <ostream>

namespace {

const QString kIf1 = QStringLiteral("10.0.0.5=255.255.255.0");
const QString kIf2 = QStringLiteral("192.168.1.7=255.255.0.0");
const QString kRestart = QStringLiteral("You need to restart application because some vital settings have changed.");
const QString kBadGroup = QStringLiteral("Invalid IP Multicast group address.");
const QString kNoList = QStringLiteral("Must specify IP address when using UDP Broadcast.");
const QString kNoTick = QStringLiteral("Must check at least one IP address for UDP Broadcast.");
const QString kBadPort = QStringLiteral("The communication port must be a number from 1025 to 65535.");
const QString kBadTtl = QStringLiteral("The IP Multicast time-to-live must be a number from 1 to 255.");
const QString kBadAddress = QStringLiteral("The IP address is invalid or alread in the list.");
const QString kBadKey = QStringLiteral("The update signing key must be an Ed25519 public key as quillmate-cli update keygen prints it.");
// Public keys as update keygen prints them (base64 of 32 bytes); any 32 bytes read as a key.
const QString kKey = QString::fromLatin1(QByteArray(32, '\x11').toBase64());
const QString kOtherKey = QString::fromLatin1(QByteArray(32, '\x22').toBase64());

// The dialog over settings of its own in a throw-away program folder; its
// boxes, folder chooser and port check answer from the fixture.
class OptionFormTest : public ::testing::Test {
protected:
    OptionFormTest() : FParams(MakeParams()) { FParams.LoadSettings(); }

    TApplicationParams MakeParams() const {
        return TApplicationParams(FHome.File(QStringLiteral("Config.ini")), FHome.Path(),
                                  TUserStore(FHome.File(QStringLiteral("user/registry.ini")),
                                             FHome.File(QStringLiteral("user/autostart.desktop"))));
    }
    // What a new start would load.
    TApplicationParams Reloaded() const {
        TApplicationParams p = MakeParams();
        p.LoadSettings();
        return p;
    }

    std::unique_ptr<TOptionForm> Make(quint16 listeningPort = 0) {
        TOptionContext context;
        context.Interfaces = {kIf1, kIf2};
        context.ListeningPort = listeningPort;
        context.MessageBox = [this](QWidget*, Utils::TMessageBoxKind, const QString& text) {
            Boxes << text;
            return Utils::TMessageBoxResult::Ok;
        };
        context.ChooseFolder = [this](QWidget*, const QString&, const QString&) { return Chosen; };
        context.CheckPort = [this](quint16 port) {
            Checked << port;
            return PortState;
        };
        auto form = std::make_unique<TOptionForm>(FParams, std::move(context));
        form->LoadSettings();
        FConfigAtStart = FHome.Read(QStringLiteral("Config.ini"));
        return form;
    }

    template <typename T>
    static T* Find(const TOptionForm& form, const char* name) {
        T* control = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    static QLineEdit* Edit(const TOptionForm& form, const char* name) { return Find<QLineEdit>(form, name); }
    static QCheckBox* Check(const TOptionForm& form, const char* name) { return Find<QCheckBox>(form, name); }

    // Whether Config.ini was written since the dialog was made (loading writes a new QLMId first).
    bool ConfigWritten() const { return FHome.Read(QStringLiteral("Config.ini")) != FConfigAtStart; }

    TTempHome FHome;
    TApplicationParams FParams;
    QStringList Boxes;
    QString Chosen;
    QList<quint16> Checked;
    TPortCheck PortState;
    QByteArray FConfigAtStart;
};

// ------------------------------------------------------------ check boxes: load and store

struct TCheckRow {
    const char* Name;
    const char* Control;
    TBooleanParams Setting;
};

void PrintTo(const TCheckRow& c, std::ostream* os) { *os << c.Name; }

class OptionCheckBoxes : public OptionFormTest, public ::testing::WithParamInterface<TCheckRow> {};

TEST_P(OptionCheckBoxes, ShowTheSettingAndStoreItOnOK) {
    for (const bool stored : {true, false}) {
        SCOPED_TRACE(stored);
        FParams[GetParam().Setting] = stored;
        auto form = Make();
        QCheckBox* box = Check(*form, GetParam().Control);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->isChecked(), stored);
        box->setChecked(!stored);
        EXPECT_EQ(FParams[GetParam().Setting], stored) << "stored before OK";
        ASSERT_TRUE(form->btnEnterClick());
        EXPECT_EQ(FParams[GetParam().Setting], !stored);
        EXPECT_EQ(Reloaded()[GetParam().Setting], !stored) << "not saved";
        EXPECT_TRUE(Boxes.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptionCheckBoxes,
    ::testing::Values(TCheckRow{"AutoRun", "cbAutoRun", bpAutoRun},
                      TCheckRow{"MinimizeAfterStart", "cbAutoMinimize", bpMinimizeAfterStart},
                      TCheckRow{"ClickCloseToMinimize", "cbClickXMinimize", bpClickCloseToMinimize},
                      TCheckRow{"MainWindowAlwaysOnTop", "cbMainAlwaysOnTop", bpMainWindowAlwaysOnTop},
                      TCheckRow{"AutoCodeConvert", "cbAutoConvert", bpAutoCodeConvert},
                      TCheckRow{"OnlyUserNickname", "cbOnlyNick", bpOnlyUserNickname},
                      TCheckRow{"AutoPopupForm", "cbAutoPopup", bpAutoPopupForm},
                      TCheckRow{"AllowMultiForm", "cbAllowMulti", bpAllowMultiForm},
                      TCheckRow{"CloseAfterSendFile", "cbCloseFileWindow", bpCloseAfterSendFile},
                      TCheckRow{"PlaySound", "cbPlaySound", bpPlaySound},
                      TCheckRow{"AutoFileTrans", "cbAutoFileTrans", bpAutoFileTrans},
                      TCheckRow{"UseNotificationWindow", "cbUseHintwindow", bpUseNotificationWindow}),
    TCaseName());

// ------------------------------------------------------------ the other controls

TEST_F(OptionFormTest, NumbersAndGroupLoadAndStore) {
    FParams[ipListeningPort] = 7800;
    FParams[ipTimeToLive] = 4;
    FParams[spMulticastGroup] = QStringLiteral("235.1.2.3");
    FParams[ipCompressionRatio] = 3;
    auto form = Make();
    EXPECT_EQ(Edit(*form, "EditPort")->text(), QStringLiteral("7800"));
    EXPECT_EQ(Edit(*form, "EditTimeToLive")->text(), QStringLiteral("4"));
    EXPECT_EQ(Edit(*form, "EditGroupAddr")->text(), QStringLiteral("235.1.2.3"));
    EXPECT_EQ(Find<QSlider>(*form, "tbCompressionRatio")->value(), 3);
    Edit(*form, "EditTimeToLive")->setText(QStringLiteral("32"));
    Edit(*form, "EditGroupAddr")->setText(QStringLiteral("239.9.9.9"));
    Find<QSlider>(*form, "tbCompressionRatio")->setValue(9);
    ASSERT_TRUE(form->btnEnterClick());
    const TApplicationParams saved = Reloaded();
    EXPECT_EQ(saved[ipTimeToLive], 32);
    EXPECT_EQ(saved[spMulticastGroup], QStringLiteral("239.9.9.9"));
    EXPECT_EQ(saved[ipCompressionRatio], 9);
    EXPECT_EQ(saved[ipListeningPort], 7800);
    EXPECT_FALSE(form->RestartNeeded());
}

TEST_F(OptionFormTest, BroadcastListLoadsWithTicksAndStoresInListOrder) {
    FParams[bpUseUDPIPMulticast] = false;
    FParams[spUDPBroadcastIPList] = QStringLiteral("+10.0.0.255\t-10.0.1.255");
    auto form = Make();
    form->ShowPage(TOptionForm::pgConnection);
    auto* list = Find<QListWidget>(*form, "clbIPList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("10.0.0.255"));
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(Find<QRadioButton>(*form, "rbBroadcast")->isChecked());
    // Broadcast: the list and its controls on, the group and time-to-live off; multicast the reverse.
    EXPECT_TRUE(list->isEnabled());
    EXPECT_FALSE(Edit(*form, "EditGroupAddr")->isEnabled());
    EXPECT_FALSE(Edit(*form, "EditTimeToLive")->isEnabled());
    Find<QRadioButton>(*form, "rbMulticast")->setChecked(true);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(*form, "btnAddList")->isEnabled());
    EXPECT_TRUE(Edit(*form, "EditGroupAddr")->isEnabled());
    Find<QRadioButton>(*form, "rbBroadcast")->setChecked(true);

    list->item(0)->setCheckState(Qt::Unchecked);
    list->item(1)->setCheckState(Qt::Checked);
    Edit(*form, "EditIPAddr")->setText(QStringLiteral("192.168.5.255"));
    form->AddAddress();
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_EQ(FParams[spUDPBroadcastIPList], QStringLiteral("-10.0.0.255\t+10.0.1.255\t+192.168.5.255"));
    EXPECT_EQ(Reloaded()[spUDPBroadcastIPList], FParams[spUDPBroadcastIPList]);
    EXPECT_FALSE(Reloaded()[bpUseUDPIPMulticast]);
}

TEST_F(OptionFormTest, InterfaceBoxListsTheLocalInterfacesAndStoresTheChoice) {
    struct TCase {
        const char* Name;
        bool AutoDetect;
        QString Stored;
        int Shown;
    };
    const TCase cases[] = {
        {"AutoDetectOn", true, kIf2, 0},
        {"StoredInterfaceChosen", false, kIf2, 2},
        {"StoredInterfaceGone", false, QStringLiteral("10.9.9.9=255.0.0.0"), 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FParams[bpAutoDetectInterfaces] = c.AutoDetect;
        FParams[spLocalInterfaceList] = c.Stored;
        auto form = Make();
        auto* box = Find<QComboBox>(*form, "cbInterface");
        ASSERT_EQ(box->count(), 3);
        EXPECT_EQ(box->itemText(0), QStringLiteral("Auto Detect-<Recommended>"));
        EXPECT_EQ(box->itemText(1), QStringLiteral("IP: 10.0.0.5 [Mask: 255.255.255.0]"));
        EXPECT_EQ(box->currentIndex(), c.Shown);
    }
    auto form = Make();
    Find<QComboBox>(*form, "cbInterface")->setCurrentIndex(1);
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_FALSE(Reloaded()[bpAutoDetectInterfaces]);
    EXPECT_EQ(Reloaded()[spLocalInterfaceList], kIf1);
    // Back to detection: the chosen line stays as it was.
    auto again = Make();
    Find<QComboBox>(*again, "cbInterface")->setCurrentIndex(0);
    ASSERT_TRUE(again->btnEnterClick());
    EXPECT_TRUE(Reloaded()[bpAutoDetectInterfaces]);
    EXPECT_EQ(Reloaded()[spLocalInterfaceList], kIf1);
}

TEST_F(OptionFormTest, NetworkLanguageShowsItsCodePageAndIsStored) {
    FParams[ipNetworkLanguage] = 2052;
    auto form = Make();
    auto* box = Find<QComboBox>(*form, "cbNetworkLanguage");
    EXPECT_EQ(box->currentData().toInt(), 2052);
    EXPECT_TRUE(box->currentText().contains(QStringLiteral("GBK"))) << box->currentText().toStdString();
    EXPECT_EQ(box->itemData(0).toInt(), 0); // Automatic first
    box->setCurrentIndex(box->findData(1028));
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_EQ(Reloaded()[ipNetworkLanguage], 1028);
    EXPECT_TRUE(Boxes.isEmpty()) << "no restart box for the language";
    // A stored identifier the table does not know shows as Automatic.
    FParams[ipNetworkLanguage] = 12345;
    EXPECT_EQ(Find<QComboBox>(*Make(), "cbNetworkLanguage")->currentIndex(), 0);
}

TEST_F(OptionFormTest, ReceivedFolderMustBeWritableWhenChosen) {
    FParams[spArrivedFilesFolder] = FHome.File(QStringLiteral("Files/"));
    auto form = Make();
    QLineEdit* field = Edit(*form, "EditDirectory");
    EXPECT_TRUE(field->isReadOnly());
    const QString before = field->text();
    FHome.Write(QStringLiteral("plain.txt"), "x");
    const QString refused[] = {FHome.File(QStringLiteral("missing")), FHome.File(QStringLiteral("plain.txt"))};
    for (const QString& path : refused) {
        SCOPED_TRACE(path.toStdString());
        Boxes.clear();
        Chosen = path;
        form->SelectFolder();
        ASSERT_EQ(Boxes.size(), 1);
        EXPECT_TRUE(Boxes[0].contains(QDir::toNativeSeparators(path)));
        EXPECT_EQ(field->text(), before);
    }
    Boxes.clear();
    Chosen = QString(); // Cancel
    form->SelectFolder();
    EXPECT_EQ(field->text(), before);
    ASSERT_TRUE(QDir().mkpath(FHome.File(QStringLiteral("inbox"))));
    Chosen = FHome.File(QStringLiteral("inbox"));
    form->SelectFolder();
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_EQ(field->text(), QDir::toNativeSeparators(Chosen + QLatin1Char('/')));
    EXPECT_EQ(FParams[spArrivedFilesFolder], FHome.File(QStringLiteral("Files/"))) << "stored before OK";
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_EQ(Reloaded()[spArrivedFilesFolder], Chosen + QLatin1Char('/'));
}

// ------------------------------------------------------------ reset to default

TEST_F(OptionFormTest, ResetSetsTheControlsAndCancelKeepsEverySetting) {
    TApplicationParams& p = FParams;
    p[bpAutoRun] = true;
    p[bpMinimizeAfterStart] = true;
    p[bpClickCloseToMinimize] = false;
    p[bpAutoCodeConvert] = false;
    p[bpOnlyUserNickname] = false;
    p[bpUseUDPIPMulticast] = false;
    p[spMulticastGroup] = QStringLiteral("235.5.5.5");
    p[ipTimeToLive] = 9;
    p[spUDPBroadcastIPList] = QStringLiteral("-10.0.0.255\t+10.0.1.255");
    p[ipListeningPort] = 7900;
    p[bpAutoPopupForm] = true;
    p[bpAllowMultiForm] = true;
    p[bpCloseAfterSendFile] = true;
    p[bpPlaySound] = false;
    p[bpAutoFileTrans] = false;
    p[bpUseNotificationWindow] = false;
    p[spArrivedFilesFolder] = FHome.File(QStringLiteral("elsewhere/"));
    p[ipCompressionRatio] = 1;
    p[bpMainWindowAlwaysOnTop] = true;
    p[bpAutoDetectInterfaces] = false;
    p[spLocalInterfaceList] = kIf1;
    p[ipNetworkLanguage] = 1028;
    p[spUpdatePublicKey] = kKey;
    const TApplicationParams before = p;

    auto form = Make();
    form->ResetToDefault();
    struct TRow {
        const char* Control;
        bool Checked;
    };
    const TRow checks[] = {{"cbAutoRun", false},       {"cbAutoMinimize", false},   {"cbClickXMinimize", true},
                           {"cbAutoConvert", true},    {"cbOnlyNick", true},        {"cbAutoPopup", false},
                           {"cbAllowMulti", false},    {"cbCloseFileWindow", false}, {"cbPlaySound", true},
                           {"cbAutoFileTrans", true},  {"cbUseHintwindow", true},
                           // Kept as they were.
                           {"cbMainAlwaysOnTop", true}};
    for (const TRow& row : checks) EXPECT_EQ(Check(*form, row.Control)->isChecked(), row.Checked) << row.Control;
    EXPECT_TRUE(Find<QRadioButton>(*form, "rbMulticast")->isChecked());
    EXPECT_EQ(Edit(*form, "EditGroupAddr")->text(), QStringLiteral("234.0.0.1"));
    EXPECT_EQ(Edit(*form, "EditTimeToLive")->text(), QStringLiteral("1"));
    EXPECT_EQ(Edit(*form, "EditPort")->text(), QStringLiteral("7709"));
    EXPECT_EQ(form->ListEntries(), (QList<TOptionForm::TListEntry>{{QStringLiteral("255.255.255.255"), true}}));
    EXPECT_EQ(Edit(*form, "EditDirectory")->text(), QDir::toNativeSeparators(FHome.File(QStringLiteral("Files/"))));
    EXPECT_EQ(Find<QSlider>(*form, "tbCompressionRatio")->value(), 6);
    EXPECT_EQ(Find<QComboBox>(*form, "cbInterface")->currentIndex(), 1) << "the interface keeps its choice";
    EXPECT_EQ(Find<QComboBox>(*form, "cbNetworkLanguage")->currentIndex(), 0);
    EXPECT_EQ(Edit(*form, "EditUpdateKey")->text(), kKey) << "a reset must not drop the signature check";

    form->reject();
    EXPECT_EQ(p.Integers, before.Integers);
    EXPECT_EQ(p.Booleans, before.Booleans);
    EXPECT_EQ(p.Strings, before.Strings);
    EXPECT_FALSE(ConfigWritten()) << "Cancel wrote the settings";
}

TEST_F(OptionFormTest, ResetThenOKStoresTheResetValues) {
    FParams[ipCompressionRatio] = 1;
    FParams[bpCloseAfterSendFile] = true;
    auto form = Make();
    form->ResetToDefault();
    ASSERT_TRUE(form->btnEnterClick());
    const TApplicationParams saved = Reloaded();
    // The two places where the reset values differ from the settings' defaults.
    EXPECT_EQ(saved[ipCompressionRatio], 6);
    EXPECT_FALSE(saved[bpCloseAfterSendFile]);
    EXPECT_EQ(saved[spUDPBroadcastIPList], QStringLiteral("+255.255.255.255"));
}

// ------------------------------------------------------------ OK: validation order and the restart notice

struct TEnterCase {
    const char* Name;
    std::function<void(TOptionForm&)> Edit;
    QString Box; // the one box shown; empty: none
    bool Accepted;
};

void PrintTo(const TEnterCase& c, std::ostream* os) { *os << c.Name; }

class OptionEnter : public OptionFormTest, public ::testing::WithParamInterface<TEnterCase> {};

void SetText(TOptionForm& form, const char* name, const QString& text) {
    form.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(text);
}
void Broadcast(TOptionForm& form) { form.findChild<QRadioButton*>(QStringLiteral("rbBroadcast"))->setChecked(true); }
void EmptyList(TOptionForm& form) { form.findChild<QListWidget*>(QStringLiteral("clbIPList"))->clear(); }
void UntickAll(TOptionForm& form) {
    auto* list = form.findChild<QListWidget*>(QStringLiteral("clbIPList"));
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
}

TEST_P(OptionEnter, RefusesWithItsBoxOrStores) {
    FParams[ipListeningPort] = 7709;
    const TApplicationParams before = FParams;
    auto form = Make();
    // A change that only a wrong store would make.
    Check(*form, "cbPlaySound")->setChecked(!FParams[bpPlaySound]);
    GetParam().Edit(*form);
    EXPECT_EQ(form->btnEnterClick(), GetParam().Accepted);
    EXPECT_EQ(Boxes, GetParam().Box.isEmpty() ? QStringList() : QStringList{GetParam().Box});
    if (GetParam().Accepted) {
        EXPECT_EQ(FParams[bpPlaySound], !before[bpPlaySound]);
        EXPECT_EQ(form->RestartNeeded(), GetParam().Box == kRestart);
        return;
    }
    EXPECT_EQ(FParams.Integers, before.Integers);
    EXPECT_EQ(FParams.Booleans, before.Booleans);
    EXPECT_EQ(FParams.Strings, before.Strings);
    EXPECT_FALSE(ConfigWritten());
    EXPECT_FALSE(form->RestartNeeded());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionEnter,
    ::testing::Values(
        TEnterCase{"NothingChanged", [](TOptionForm&) {}, {}, true},
        TEnterCase{"Group239Accepted", [](TOptionForm& f) { SetText(f, "EditGroupAddr", QStringLiteral("239.255.0.1")); }, {}, true},
        TEnterCase{"Group224Accepted", [](TOptionForm& f) { SetText(f, "EditGroupAddr", QStringLiteral("224.0.0.9")); }, {}, true},
        TEnterCase{"Group240Refused", [](TOptionForm& f) { SetText(f, "EditGroupAddr", QStringLiteral("240.0.0.1")); }, kBadGroup, false},
        TEnterCase{"Group223Refused", [](TOptionForm& f) { SetText(f, "EditGroupAddr", QStringLiteral("223.0.0.1")); }, kBadGroup, false},
        TEnterCase{"Group240RefusedInBroadcastMode",
                   [](TOptionForm& f) {
                       Broadcast(f);
                       SetText(f, "EditGroupAddr", QStringLiteral("240.0.0.1"));
                   },
                   kBadGroup, false},
        TEnterCase{"GroupHostNameRefused", [](TOptionForm& f) { SetText(f, "EditGroupAddr", QStringLiteral("group.lan")); }, kBadGroup, false},
        TEnterCase{"BroadcastEmptyList",
                   [](TOptionForm& f) {
                       Broadcast(f);
                       EmptyList(f);
                   },
                   kNoList, false},
        TEnterCase{"BroadcastNothingTicked",
                   [](TOptionForm& f) {
                       Broadcast(f);
                       UntickAll(f);
                   },
                   kNoTick, false},
        TEnterCase{"MulticastIgnoresAnEmptyList", [](TOptionForm& f) { EmptyList(f); }, {}, true},
        TEnterCase{"MulticastIgnoresAnUntickedList", [](TOptionForm& f) { UntickAll(f); }, {}, true},
        TEnterCase{"GroupCheckedBeforeTheList",
                   [](TOptionForm& f) {
                       Broadcast(f);
                       EmptyList(f);
                       SetText(f, "EditGroupAddr", QStringLiteral("240.0.0.1"));
                   },
                   kBadGroup, false},
        TEnterCase{"ListCheckedBeforeThePort",
                   [](TOptionForm& f) {
                       Broadcast(f);
                       UntickAll(f);
                       SetText(f, "EditPort", QStringLiteral("0"));
                   },
                   kNoTick, false},
        TEnterCase{"Port0", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral("0")); }, kBadPort, false},
        TEnterCase{"Port1024", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral("1024")); }, kBadPort, false},
        TEnterCase{"Port70000", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral("70000")); }, kBadPort, false},
        TEnterCase{"PortText", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral("77o9")); }, kBadPort, false},
        TEnterCase{"PortCheckedBeforeTimeToLive",
                   [](TOptionForm& f) {
                       SetText(f, "EditPort", QStringLiteral("70000"));
                       SetText(f, "EditTimeToLive", QStringLiteral("0"));
                   },
                   kBadPort, false},
        TEnterCase{"TimeToLive0", [](TOptionForm& f) { SetText(f, "EditTimeToLive", QStringLiteral("0")); }, kBadTtl, false},
        TEnterCase{"TimeToLive256", [](TOptionForm& f) { SetText(f, "EditTimeToLive", QStringLiteral("256")); }, kBadTtl, false},
        TEnterCase{"TimeToLiveText", [](TOptionForm& f) { SetText(f, "EditTimeToLive", QStringLiteral("one")); }, kBadTtl, false},
        TEnterCase{"UpdateKeyAccepted", [](TOptionForm& f) { SetText(f, "EditUpdateKey", kKey); }, {}, true},
        TEnterCase{"UpdateKeyBlanksAroundAccepted", [](TOptionForm& f) { SetText(f, "EditUpdateKey", QStringLiteral(" ") + kKey + QStringLiteral("\t")); }, {}, true},
        TEnterCase{"UpdateKeyText", [](TOptionForm& f) { SetText(f, "EditUpdateKey", QStringLiteral("my key")); }, kBadKey, false},
        TEnterCase{"UpdateKeyShort",
                   [](TOptionForm& f) { SetText(f, "EditUpdateKey", QString::fromLatin1(QByteArray(31, 'k').toBase64())); }, kBadKey, false},
        TEnterCase{"UpdateKeyLong",
                   [](TOptionForm& f) { SetText(f, "EditUpdateKey", QString::fromLatin1(QByteArray(33, 'k').toBase64())); }, kBadKey, false},
        // The secret key file's text pasted by mistake: base64 of 64 bytes.
        TEnterCase{"UpdateKeySecretKey",
                   [](TOptionForm& f) { SetText(f, "EditUpdateKey", QString::fromLatin1(QByteArray(64, 'k').toBase64())); }, kBadKey, false},
        TEnterCase{"UpdateKeyBrokenBase64", [](TOptionForm& f) { SetText(f, "EditUpdateKey", kKey.left(20) + QStringLiteral("*") + kKey.mid(21)); },
                   kBadKey, false},
        TEnterCase{"TimeToLiveCheckedBeforeTheUpdateKey",
                   [](TOptionForm& f) {
                       SetText(f, "EditTimeToLive", QStringLiteral("0"));
                       SetText(f, "EditUpdateKey", QStringLiteral("my key"));
                   },
                   kBadTtl, false},
        TEnterCase{"UpdateKeyRefusedBeforeThePortNotice",
                   [](TOptionForm& f) {
                       SetText(f, "EditPort", QStringLiteral("7800"));
                       SetText(f, "EditUpdateKey", QStringLiteral("my key"));
                   },
                   kBadKey, false},
        TEnterCase{"TimeToLive255NoNotice", [](TOptionForm& f) { SetText(f, "EditTimeToLive", QStringLiteral("255")); }, {}, true},
        TEnterCase{"ModeChangeNoNotice", [](TOptionForm& f) { Broadcast(f); }, {}, true},
        TEnterCase{"PortChangedNotice", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral("65535")); }, kRestart, true},
        TEnterCase{"Port1025Notice", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral("1025")); }, kRestart, true},
        TEnterCase{"SamePortRetypedNoNotice", [](TOptionForm& f) { SetText(f, "EditPort", QStringLiteral(" 7709 ")); }, {}, true}),
    TCaseName());

// ------------------------------------------------------------ the update signing key

TEST_F(OptionFormTest, UpdateKeyLoadsAndIsStoredTrimmedOrCleared) {
    FParams[spUpdatePublicKey] = kKey;
    auto form = Make();
    QLineEdit* field = Edit(*form, "EditUpdateKey");
    EXPECT_EQ(field->text(), kKey);
    EXPECT_FALSE(field->toolTip().isEmpty());
    field->setText(QStringLiteral("  ") + kOtherKey + QStringLiteral(" "));
    EXPECT_EQ(FParams[spUpdatePublicKey], kKey) << "stored before OK";
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_EQ(FParams[spUpdatePublicKey], kOtherKey);
    EXPECT_EQ(Reloaded()[spUpdatePublicKey], kOtherKey);
    // Empty: unsigned updates allowed again.
    auto again = Make();
    Edit(*again, "EditUpdateKey")->clear();
    ASSERT_TRUE(again->btnEnterClick());
    EXPECT_EQ(Reloaded()[spUpdatePublicKey], QString());
    EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(OptionFormTest, BadUpdateKeyShowsItsPageAndStoresNothing) {
    auto form = Make();
    Edit(*form, "EditUpdateKey")->setText(QStringLiteral("not a key"));
    EXPECT_FALSE(form->btnEnterClick());
    EXPECT_EQ(Boxes, QStringList{kBadKey});
    EXPECT_EQ(form->CurrentPage(), TOptionForm::pgMisc);
    EXPECT_FALSE(ConfigWritten());
}

// A key stored already (the CLI) does not block OK while it stays; a bad one refuses every update.
TEST_F(OptionFormTest, StoredUpdateKeyIsKeptEvenWhenBad) {
    FParams[spUpdatePublicKey] = QStringLiteral("not a key");
    auto form = Make();
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_EQ(Reloaded()[spUpdatePublicKey], QStringLiteral("not a key"));
}

// A port stored out of the range (an old file, the CLI) does not block OK while it stays.
TEST_F(OptionFormTest, StoredPortOutsideTheRangeIsKept) {
    FParams[ipListeningPort] = 900;
    auto form = Make();
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_EQ(Reloaded()[ipListeningPort], 900);
}

// ------------------------------------------------------------ the broadcast list's editing

struct TAddCase {
    const char* Name;
    QString Typed;
    QStringList Listed; // afterwards
    bool Box;
};

void PrintTo(const TAddCase& c, std::ostream* os) { *os << c.Name; }

class OptionAddAddress : public OptionFormTest, public ::testing::WithParamInterface<TAddCase> {};

TEST_P(OptionAddAddress, AddsValidNewAddressesTicked) {
    FParams[bpUseUDPIPMulticast] = false;
    FParams[spUDPBroadcastIPList] = QStringLiteral("-10.0.0.255");
    auto form = Make();
    Edit(*form, "EditIPAddr")->setText(GetParam().Typed);
    form->AddAddress();
    QStringList listed;
    for (const TOptionForm::TListEntry& e : form->ListEntries()) listed << e.Address;
    EXPECT_EQ(listed, GetParam().Listed);
    EXPECT_EQ(Boxes, GetParam().Box ? QStringList{kBadAddress} : QStringList());
    if (listed.size() == 2) {
        EXPECT_TRUE(form->ListEntries().last().Ticked);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionAddAddress,
    ::testing::Values(TAddCase{"EmptyDoesNothing", QString(), {QStringLiteral("10.0.0.255")}, false},
                      TAddCase{"NewAddress", QStringLiteral("192.168.1.255"), {QStringLiteral("10.0.0.255"), QStringLiteral("192.168.1.255")}, false},
                      TAddCase{"BlanksAround", QStringLiteral(" 192.168.1.255 "), {QStringLiteral("10.0.0.255"), QStringLiteral("192.168.1.255")}, false},
                      TAddCase{"AlreadyListed", QStringLiteral("10.0.0.255"), {QStringLiteral("10.0.0.255")}, true},
                      TAddCase{"HostName", QStringLiteral("fileserver"), {QStringLiteral("10.0.0.255")}, true},
                      TAddCase{"ThreeParts", QStringLiteral("10.0.0"), {QStringLiteral("10.0.0.255")}, true},
                      TAddCase{"OutOfRange", QStringLiteral("10.0.0.256"), {QStringLiteral("10.0.0.255")}, true}),
    TCaseName());

TEST_F(OptionFormTest, RemoveTakesTheSelectedEntry) {
    FParams[bpUseUDPIPMulticast] = false;
    FParams[spUDPBroadcastIPList] = QStringLiteral("+10.0.0.255\t+10.0.1.255\t-10.0.2.255");
    auto form = Make();
    Find<QListWidget>(*form, "clbIPList")->setCurrentRow(1);
    form->RemoveAddress();
    ASSERT_TRUE(form->btnEnterClick());
    EXPECT_EQ(FParams[spUDPBroadcastIPList], QStringLiteral("+10.0.0.255\t-10.0.2.255"));
}

// ------------------------------------------------------------ the port test

struct TPortTestCase {
    const char* Name;
    QString Typed;
    quint16 Listening;
    TPortCheck Result;
    QString Said;
    bool Checked; // whether the sockets were tried
};

void PrintTo(const TPortTestCase& c, std::ostream* os) { *os << c.Name; }

class OptionPortTest : public OptionFormTest, public ::testing::WithParamInterface<TPortTestCase> {};

TEST_P(OptionPortTest, SaysWhetherUdpAndTcpCanBindNow) {
    auto form = Make(GetParam().Listening);
    PortState = GetParam().Result;
    Edit(*form, "EditPort")->setText(GetParam().Typed);
    EXPECT_EQ(form->TestPort(), GetParam().Said);
    EXPECT_EQ(Find<QLabel>(*form, "lblPortState")->text(), GetParam().Said);
    EXPECT_EQ(Checked, GetParam().Checked ? QList<quint16>{quint16(GetParam().Typed.toInt())} : QList<quint16>());
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_FALSE(ConfigWritten()) << "testing stores nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionPortTest,
    ::testing::Values(
        TPortTestCase{"Free", QStringLiteral("7800"), 7709, {true, true}, QStringLiteral("UDP and TCP can both use this port now."), true},
        TPortTestCase{"TcpTaken", QStringLiteral("7800"), 0, {true, false},
                      QStringLiteral("TCP cannot use this port now (another program holds it); UDP can."), true},
        TPortTestCase{"UdpTaken", QStringLiteral("7800"), 0, {false, true},
                      QStringLiteral("UDP cannot use this port now (another program holds it); TCP can."), true},
        TPortTestCase{"BothTaken", QStringLiteral("7800"), 0, {false, false},
                      QStringLiteral("Neither UDP nor TCP can use this port now: another program holds it."), true},
        TPortTestCase{"OwnPort", QStringLiteral("7709"), 7709, {false, false}, QStringLiteral("Quillmate is listening on this port now."), false},
        TPortTestCase{"OutOfRange", QStringLiteral("70000"), 0, {true, true}, kBadPort, false},
        TPortTestCase{"Text", QStringLiteral("port"), 0, {true, true}, kBadPort, false}),
    TCaseName());

// ------------------------------------------------------------ pages and captions

TEST_F(OptionFormTest, CategoriesShowOnePageAtATime) {
    auto form = Make();
    auto* tree = Find<QTreeWidget>(*form, "tvCategories");
    const char* pages[] = {"pnlGeneral", "pnlConnection", "pnlMisc"};
    const QString names[] = {QStringLiteral("General"), QStringLiteral("Connection"), QStringLiteral("Miscellaneous")};
    EXPECT_EQ(form->CurrentPage(), TOptionForm::pgGeneral);
    for (int page : {2, 1, 0}) {
        tree->setCurrentItem(tree->topLevelItem(page));
        EXPECT_EQ(form->CurrentPage(), page);
        EXPECT_EQ(Find<QLabel>(*form, "lblPageName")->text(), names[page]);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Find<QWidget>(*form, pages[i])->isEnabled(), i == page) << pages[i];
    }
    // Loading again (showing) starts on General.
    form->ShowPage(TOptionForm::pgMisc);
    form->LoadSettings();
    EXPECT_EQ(form->CurrentPage(), TOptionForm::pgGeneral);
}

TEST_F(OptionFormTest, CaptionsAndHelpContexts) {
    auto form = Make();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Options"));
    EXPECT_EQ(Find<QPushButton>(*form, "btnAddList")->text(), QStringLiteral("<- &Add"));
    EXPECT_EQ(Find<QPushButton>(*form, "btnRemoveList")->text(), QStringLiteral("&Remove ->"));
    EXPECT_EQ(Find<QPushButton>(*form, "btnReSet")->text(), QStringLiteral("R&eset to default"));
    EXPECT_TRUE(Find<QPushButton>(*form, "btnEnter")->isDefault());
    const QList<QPair<const char*, int>> help = {
        {"btnEnter", 10007}, {"btnCancel", 10008}, {"btnReSet", 10009}, {"tvCategories", 10010},
        {"cbAutoRun", 10011}, {"cbAutoMinimize", 10012}, {"cbClickXMinimize", 10013}, {"cbMainAlwaysOnTop", 10014},
        {"rbMulticast", 10015}, {"EditGroupAddr", 10016}, {"EditTimeToLive", 10017}, {"rbBroadcast", 10018},
        {"clbIPList", 10019}, {"EditIPAddr", 10020}, {"btnAddList", 10021}, {"btnRemoveList", 10022},
        {"EditPort", 10023}, {"cbAutoPopup", 10024}, {"cbAllowMulti", 10025}, {"cbCloseFileWindow", 10027},
        {"cbPlaySound", 10029}, {"EditDirectory", 10030}, {"cbInterface", 10031}, {"tbCompressionRatio", 10032},
        {"cbAutoConvert", 10033}, {"cbAutoFileTrans", 10034}, {"cbOnlyNick", 10035}, {"cbUseHintwindow", 10036}, {"EditUpdateKey", 10037}};
    for (const auto& [name, id] : help)
        EXPECT_EQ(Find<QWidget>(*form, name)->property(Utils::HelpContextProperty).toInt(), id) << name;
}

} // namespace
