#include "app/DesktopUnit.h"
#include "app/MainUnit.h"
#include "console/widgets/ConsoleUnit.h"
#include <QListWidget>

#include "node/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "platform/ProfileFileUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserCommandsUnit.h"
#include "presence/widgets/OnlineUserViewUnit.h"
#include "presence/widgets/StateSetupUnit.h"
#include "protocol/CommConstsUnit.h"
#include "support/GuiSupport.h"
#include "support/TestSupport.h"
#include "support/PresenceFixtures.h"
#include "text/UILangUnit.h"
#include "ui/CustomControlsUnit.h"
#include "app/DesktopAppUnit.h"
#include "ui/NavBarUnit.h"
#include "ui/TrayIconUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QToolButton>
#include <optional>

namespace {

// The window reads and saves the process-wide settings; each test starts from
// the same values and leaves them as it found them.
class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        TApplicationParams& p = Params();
        FIntegers = p.Integers;
        FBooleans = p.Booleans;
        FStrings = p.Strings;
        p[bpMainFormMaximized] = false;
        p[bpMinimizeAfterStart] = false;
        p[bpClickCloseToMinimize] = true;
        p[bpMainWindowAlwaysOnTop] = false;
        p[ipMainFormLeft] = 330;
        p[ipMainFormTop] = 110;
        p[ipMainFormWidth] = 310;
        p[ipMainFormHeight] = 460;
        QFile::remove(p.ConfigFile());
    }
    void TearDown() override {
        // Tests that switch the language leave English behind them.
        UserInterfaceLang().SwitchLanguage(QStringLiteral("English"));
        TApplicationParams& p = Params();
        p.Integers = FIntegers;
        p.Booleans = FBooleans;
        p.Strings = FStrings;
        QFile::remove(p.ConfigFile());
    }
    static QByteArray Config() {
        QFile file(Params().ConfigFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static std::optional<QString> ConfigValue(const char* key) {
        const TProfileFile file(Params().ConfigFile());
        const QString section = QString::fromLatin1(TApplicationParams::SectionName);
        if (!file.ValueExists(section, QString::fromLatin1(key))) return std::nullopt;
        return file.ReadString(section, QString::fromLatin1(key));
    }
    static void ShowAt(TMainForm& form, const QRect& bounds) {
        form.move(bounds.topLeft());
        form.resize(bounds.size());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QApplication::processEvents();
    }

private:
    std::array<int, ipCount> FIntegers;
    std::array<bool, bpCount> FBooleans;
    std::array<QString, spCount> FStrings;
};

TEST_F(MainFormTest, CaptionIsTitleAndNickname) {
    Params()[spNickname] = QStringLiteral("Ann");
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillmate - Ann"));
}

TEST_F(MainFormTest, RestoresTheSavedBounds) {
    TApplicationParams& p = Params();
    p[ipMainFormLeft] = 40;
    p[ipMainFormTop] = 50;
    p[ipMainFormWidth] = 300;
    p[ipMainFormHeight] = 420;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    EXPECT_EQ(form.pos(), QPoint(40, 50));
    EXPECT_EQ(form.size(), QSize(300, 420));
}

TEST_F(MainFormTest, CloseWithCloseToMinimizeHidesAndSavesNothing) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(60, 70, 320, 400));
    EXPECT_FALSE(form.close());
    QApplication::processEvents();
    EXPECT_FALSE(form.ExitRequested());
    // Hidden in the tray, or minimised where the desktop has none.
    EXPECT_TRUE(!form.isVisible() || form.isMinimized());
    EXPECT_TRUE(Config().isEmpty()) << Config().toStdString();
}

TEST_F(MainFormTest, CloseWithoutCloseToMinimizeSaves) {
    Params()[bpClickCloseToMinimize] = false;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(61, 71, 321, 401));
    EXPECT_TRUE(form.close());
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("61"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("401"));
}

TEST_F(MainFormTest, ExitSavesTheWindowState) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(80, 90, 350, 410));
    form.ExitApplicationExecute();
    EXPECT_TRUE(form.ExitRequested());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("80"));
    EXPECT_EQ(ConfigValue("MainFormTop"), QStringLiteral("90"));
    EXPECT_EQ(ConfigValue("MainFormWidth"), QStringLiteral("350"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("410"));
    EXPECT_EQ(ConfigValue("MainFormMaximized"), QStringLiteral("0"));
    // The whole window-state group goes with it, options do not.
    EXPECT_EQ(ConfigValue("ColorScheme"), Params()[spColorScheme]);
    EXPECT_EQ(ConfigValue("ListeningPort"), std::nullopt);
}

TEST_F(MainFormTest, MaximizedWindowSavesItsBoundsBeforeMaximizing) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(123, 134, 420, 330));
    form.showMaximized();
    QApplication::processEvents();
    ASSERT_TRUE(form.isMaximized());
    form.ExitApplicationExecute();
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("123"));
    EXPECT_EQ(ConfigValue("MainFormTop"), QStringLiteral("134"));
    EXPECT_EQ(ConfigValue("MainFormWidth"), QStringLiteral("420"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("330"));
    EXPECT_EQ(ConfigValue("MainFormMaximized"), QStringLiteral("1"));
}

TEST_F(MainFormTest, StartedMaximizedSavesTheStoredBounds) {
    TApplicationParams& p = Params();
    p[bpMainFormMaximized] = true;
    p[ipMainFormLeft] = 111;
    p[ipMainFormTop] = 122;
    p[ipMainFormWidth] = 333;
    p[ipMainFormHeight] = 444;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QApplication::processEvents();
    ASSERT_TRUE(form.isMaximized());
    form.ExitApplicationExecute();
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("111"));
    EXPECT_EQ(ConfigValue("MainFormTop"), QStringLiteral("122"));
    EXPECT_EQ(ConfigValue("MainFormWidth"), QStringLiteral("333"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("444"));
    EXPECT_EQ(ConfigValue("MainFormMaximized"), QStringLiteral("1"));
}

TEST_F(MainFormTest, StartsHiddenWithSwitchOrSetting) {
    EXPECT_TRUE(TDesktop(true).MainForm().StartsHidden());
    EXPECT_FALSE(TDesktop(false).MainForm().StartsHidden());
    Params()[bpMinimizeAfterStart] = true;
    EXPECT_TRUE(TDesktop(false).MainForm().StartsHidden());
}

// --------------------------------------------------------- look and menus

struct TLook {
    QColor Start, End, Panel;
    QString Scheme;
    bool Invert;
    QString MenuBarStyle;
    QString HeaderStart;
    QColor NotificationBody;
    bool operator==(const TLook&) const = default;
};

TLook LookOf(TMainForm& form) {
    return {form.GradientStart(), form.GradientEnd(), form.ToolPanelColor(), Params()[spColorScheme],
            Params()[bpInvertGradient], form.menuBar()->styleSheet(),
            form.Header()->GradientStartColor().name(), form.Notifications().BodyColor()};
}

TEST_F(MainFormTest, ColorSchemesPaintTheDocumentedColours) {
    Params()[spColorScheme] = QStringLiteral("Silver");
    Params()[bpInvertGradient] = false;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    EXPECT_EQ(form.GradientStart(), QColor(245, 245, 245));
    EXPECT_EQ(form.GradientEnd(), QColor(220, 220, 220));
    EXPECT_TRUE(form.Action(QStringLiteral("miSilver"))->isChecked());

    form.miBlueClick(QStringLiteral("Blue"));
    EXPECT_EQ(Params()[spColorScheme], QStringLiteral("Blue"));
    EXPECT_EQ(form.GradientStart(), QColor(223, 237, 255));
    EXPECT_EQ(form.GradientEnd(), QColor(179, 212, 255));
    EXPECT_EQ(form.ToolPanelColor(), QColor(223, 237, 255));
    EXPECT_EQ(form.Header()->GradientEndColor(), QColor(179, 212, 255));
    EXPECT_TRUE(form.Action(QStringLiteral("miBlue"))->isChecked());
    EXPECT_FALSE(form.Action(QStringLiteral("miSilver"))->isChecked());

    form.miInvertClick();
    EXPECT_TRUE(Params()[bpInvertGradient]);
    EXPECT_EQ(form.GradientStart(), QColor(179, 212, 255));
    EXPECT_EQ(form.Header()->GradientStartColor(), QColor(179, 212, 255));
    EXPECT_EQ(form.Notifications().BodyColor(), QColor(179, 212, 255));
    // The tool panel and the tray menu's strip ignore the direction of the gradient.
    EXPECT_EQ(form.ToolPanelColor(), QColor(223, 237, 255));
    EXPECT_EQ(form.TrayMenu()->StripDark(), QColor(179, 212, 255));
    EXPECT_EQ(form.TrayMenu()->StripLight(), QColor(223, 237, 255));
}

TEST_F(MainFormTest, SameSchemeAgainChangesNothingAndInvertTwiceRestores) {
    Params()[spColorScheme] = QStringLiteral("Black");
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    const TLook before = LookOf(form);
    form.miBlueClick(QStringLiteral("black"));
    EXPECT_TRUE(LookOf(form) == before);
    form.miInvertClick();
    EXPECT_FALSE(LookOf(form) == before);
    form.miInvertClick();
    EXPECT_TRUE(LookOf(form) == before);
    EXPECT_FALSE(form.Action(QStringLiteral("miInvert"))->isChecked());
}

TEST_F(MainFormTest, AlwaysOnTopFromTheTrayMenuTicksTheMainMenuToo) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(60, 70, 320, 400));
    form.Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"))->trigger();
    EXPECT_TRUE(Params()[bpMainWindowAlwaysOnTop]);
    EXPECT_TRUE(form.Action(QStringLiteral("miMainAOT"))->isChecked());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form.isVisible());
    form.Action(QStringLiteral("miMainAOT"))->trigger();
    EXPECT_FALSE(Params()[bpMainWindowAlwaysOnTop]);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    // The tray menu reads the setting whenever it opens.
    form.TrayMenu()->popup(QPoint(0, 0));
    EXPECT_FALSE(form.Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"))->isChecked());
    form.TrayMenu()->hide();
}

TEST_F(MainFormTest, PlaySoundFlipsTheSettingAndBothItems) {
    Params()[bpPlaySound] = true;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    EXPECT_TRUE(form.Action(QStringLiteral("miMainPlaySound"))->isChecked());
    form.Action(QStringLiteral("miTrayIconMenuPlaySound"))->trigger();
    EXPECT_FALSE(Params()[bpPlaySound]);
    EXPECT_FALSE(form.Action(QStringLiteral("miMainPlaySound"))->isChecked());
}

TEST_F(MainFormTest, PanelItemsFollowTheActivePanel) {
    Params()[ipActiveGroupIndex] = TMainForm::NetworkPanel;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    EXPECT_EQ(form.NavBar()->ActiveGroupIndex(), TMainForm::NetworkPanel);
    EXPECT_FALSE(form.Action(QStringLiteral("miMainRefreshList"))->isEnabled());
    EXPECT_FALSE(form.Action(QStringLiteral("miMainShowNetwork"))->isEnabled());
    EXPECT_TRUE(form.Action(QStringLiteral("miMainShowOnlineUser"))->isEnabled());
    form.Action(QStringLiteral("miMainShowOnlineUser"))->trigger();
    EXPECT_EQ(form.NavBar()->ActiveGroupIndex(), TMainForm::OnlinePanel);
    EXPECT_TRUE(form.Action(QStringLiteral("miMainRefreshList"))->isEnabled());
    EXPECT_FALSE(form.Action(QStringLiteral("miMainShowOnlineUser"))->isEnabled());
    form.ExitApplicationExecute();
    EXPECT_EQ(ConfigValue("ActiveGroupIndex"), QStringLiteral("0"));
}

// A single click on the tray icon shows or hides the main window once the
// double-click interval has passed; the first click of a double click does
// nothing of its own (the double click still toggles).
TEST_F(MainFormTest, TrayClickShowsAndHidesTheMainWindow) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(60, 70, 320, 400));
    TAppTray& tray = form.Tray();
    QSignalSpy clicks(&tray, &TAppTray::Clicked);
    // Without a tray (offscreen) hiding minimises: the window stays reachable.
    const auto hidden = [&form] { return !form.isVisible() || form.isMinimized(); };
    tray.Activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(hidden()) << "acted before the double-click interval";
    ASSERT_TRUE(QTest::qWaitFor(hidden, 5000));
    tray.Activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !hidden(); }, 5000));
    EXPECT_EQ(clicks.size(), 2);
    tray.Activated(QSystemTrayIcon::Trigger);
    tray.Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(tray.ClickTimer()->isActive());
    EXPECT_TRUE(hidden());
    EXPECT_EQ(clicks.size(), 2);
}

TEST_F(MainFormTest, HeaderSaysLoadingUntilTheOwnLogonComesBack) {
    Params()[spNickname] = QStringLiteral("Ann");
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    EXPECT_EQ(form.Header()->CaptionTitle(), QStringLiteral("My Online State:"));
    EXPECT_EQ(form.Header()->CaptionContent(), QStringLiteral("Loading..."));
    emit form.Node().SelfRowAdded();
    EXPECT_EQ(form.Header()->CaptionContent(), QStringLiteral("Ann --- Online"));
}

// While Busy, the header counts the messages answered automatically and its
// tooltip names who sent them and when, never what they wrote; a new state
// starts again from none.
TEST_F(MainFormTest, HeaderCountsAutoRepliesOfTheCurrentState) {
    Params()[spNickname] = QStringLiteral("Ann");
    Params()[bpState_Busy_AutoSwitch] = true;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    emit form.Node().SelfRowAdded();
    form.Action(QStringLiteral("miHeaderBusy"))->trigger();
    ASSERT_EQ(form.StateController().State(), TOnlineState::Busy);
    const QString busy = form.Header()->CaptionContent();
    TBroadcastData record;
    record.NickName = QStringLiteral("Bob");
    record.ComputerName = QStringLiteral("PC-BOB");
    record.Body = QByteArray("secret words");
    for (int i = 0; i < 3; ++i) emit form.Node().Chat().MessageAutoReplied(record, QStringLiteral("[Auto-reply Message]: busy"), true);
    EXPECT_EQ(form.Header()->CaptionContent(), busy + QStringLiteral(" (3 answered automatically)"));
    EXPECT_TRUE(form.Header()->toolTip().contains(QStringLiteral("Bob"))) << form.Header()->toolTip().toStdString();
    EXPECT_FALSE(form.Header()->toolTip().contains(QStringLiteral("secret"))) << form.Header()->toolTip().toStdString();
    form.Action(QStringLiteral("miHeaderOnline"))->trigger();
    EXPECT_FALSE(form.Header()->CaptionContent().contains(QStringLiteral("answered"))) << form.Header()->CaptionContent().toStdString();
    EXPECT_TRUE(form.Header()->toolTip().isEmpty());
}

TEST_F(MainFormTest, LanguageSwitchTranslatesMenusAndFavoriteContacts) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ASSERT_EQ(form.Node().Model().data(form.Node().Model().GroupIndex(0)).toString().startsWith(
                  QStringLiteral("Favorite Contacts")),
              true);
    ASSERT_TRUE(form.ChangeInterfaceLanguageExecute(QStringLiteral("Deutsch")));
    const QString favorite = UserInterfaceLang().Translate(QStringLiteral("Favorite Contacts"));
    ASSERT_NE(favorite, QStringLiteral("Favorite Contacts"));
    EXPECT_TRUE(form.Node().Model().data(form.Node().Model().GroupIndex(0)).toString().startsWith(favorite));
    EXPECT_EQ(form.Node().Model().NodeData(form.Node().Model().GroupIndex(0))->GroupName, favorite);
    EXPECT_EQ(form.Action(QStringLiteral("miMainExit"))->text(), UserInterfaceLang().Translate(QStringLiteral("E&xit")));
    EXPECT_EQ(form.Action(QStringLiteral("miMainFile"))->text(), UserInterfaceLang().Translate(QStringLiteral("&File")));
    EXPECT_EQ(form.Header()->CaptionTitle(), UserInterfaceLang().Translate(QStringLiteral("My Online State:")));
    EXPECT_FALSE(form.ChangeInterfaceLanguageExecute(QStringLiteral("No Such Language")));
    ASSERT_TRUE(form.ChangeInterfaceLanguageExecute(QStringLiteral("English")));
    EXPECT_EQ(form.Node().Model().NodeData(form.Node().Model().GroupIndex(0))->GroupName,
              QStringLiteral("Favorite Contacts"));
    EXPECT_EQ(form.Action(QStringLiteral("miMainExit"))->text(), QStringLiteral("E&xit"));
}

struct TNicknameCase {
    const char* Name;
    bool Ok;
    QString Typed;
    QString Expected; // the nickname afterwards
};

void PrintTo(const TNicknameCase& c, std::ostream* os) { *os << c.Name; }

class ChangeNickname : public MainFormTest, public ::testing::WithParamInterface<TNicknameCase> {};

TEST_P(ChangeNickname, StoresOnlyARealChange) {
    Params()[spNickname] = QStringLiteral("Ann");
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    form.SetInputText([](QWidget*, const QString& caption, const QString&, QString* value) {
        EXPECT_EQ(caption, QStringLiteral("Change My Nickame"));
        *value = GetParam().Typed;
        return GetParam().Ok;
    });
    form.Action(QStringLiteral("miHeaderChangeNick"))->trigger();
    EXPECT_EQ(Params()[spNickname], GetParam().Expected);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillmate - ") + GetParam().Expected);
    const bool changed = GetParam().Expected != QStringLiteral("Ann");
    EXPECT_EQ(ConfigValue("Nickname"), changed ? std::optional<QString>(GetParam().Expected) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeNickname,
    ::testing::Values(TNicknameCase{"Cancelled", false, QStringLiteral("Bob"), QStringLiteral("Ann")},
                      TNicknameCase{"Empty", true, QString(), QStringLiteral("Ann")},
                      TNicknameCase{"SameOtherCase", true, QStringLiteral("ANN"), QStringLiteral("Ann")},
                      TNicknameCase{"TabsAndCommasRemoved", true, QStringLiteral("B\to,b"), QStringLiteral("Bob")},
                      TNicknameCase{"New", true, QStringLiteral("Bob"), QStringLiteral("Bob")}),
    TCaseName());

// Commands whose windows come with later work are there, disabled: no item leads nowhere.
TEST_F(MainFormTest, MenusHoldOnlyCommandsThatWork) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    for (const char* name : {"miMainRefreshNetwork"}) {
        QAction* item = form.Action(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_FALSE(item->isEnabled()) << name;
    }
    for (const char* name : {"miMainSettings", "miTrayIconMenuSettings", "miMainCallExplorer", "miCheckNewVerLocal"}) {
        QAction* item = form.Action(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->isEnabled()) << name;
    }
    // "Send &Console Message..." (1101) in Tools and the tray menu opens a new console window each time.
    for (const char* name : {"miMainConsole", "miTrayIconMenuSendCMessage"}) {
        QAction* item = form.Action(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->data().toInt(), 1101) << name;
        const qsizetype before = form.findChildren<TConsoleForm*>().size();
        item->trigger();
        const QList<TConsoleForm*> forms = form.findChildren<TConsoleForm*>();
        ASSERT_EQ(forms.size(), before + 1) << name;
        EXPECT_EQ(forms.last()->List()->count(), 0);
    }
    for (TConsoleForm* console : form.findChildren<TConsoleForm*>()) delete console;
    for (const char* name : {"miOnlineSendMessageSelected", "miOnlineSendFileSelected"}) {
        QAction* item = form.OnlineCommands().MenuAction(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->isVisible()) << name;
    }
}

// Broadcast opens the broadcast window; MSG follows the selection, CMSG the
// ticked users (as the list's "Send Message to Checked...").
TEST_F(MainFormTest, MessageCommandsOpenMessageWindows) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    auto* msg = form.findChild<QToolButton*>(QStringLiteral("tbtnSendMessage"));
    auto* cmsg = form.findChild<QToolButton*>(QStringLiteral("tbtnSendChecked"));
    EXPECT_FALSE(msg->isEnabled());
    EXPECT_FALSE(cmsg->isEnabled());
    emit form.UserView()->UserSelectionChanged(true);
    EXPECT_TRUE(msg->isEnabled());
    TOnlineNotify peer;
    peer.NickName = QStringLiteral("Peer");
    peer.ComputerName = QStringLiteral("PC-PEER");
    peer.IPAddress = QStringLiteral("10.77.0.9");
    peer.UserId = QStringLiteral("{PEER}");
    TOnlineUserModel& model = form.Node().Model();
    model.AddUserNode(false, peer);
    const QModelIndex row = model.FindUserNode(peer.UserId, peer.ComputerName, peer.IPAddress);
    ASSERT_TRUE(row.isValid());
    EXPECT_FALSE(cmsg->isEnabled());
    model.SetChecked(row, true);
    EXPECT_TRUE(cmsg->isEnabled());
    model.SetChecked(row, false);
    EXPECT_FALSE(cmsg->isEnabled());
    const auto messageWindows = [] {
        QList<TNewMsgForm*> forms;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TNewMsgForm*>(w)) forms << f;
        return forms;
    };
    cmsg->click();
    EXPECT_TRUE(messageWindows().isEmpty());
    QAction* broadcast = form.Action(QStringLiteral("miMainBroadcast"));
    ASSERT_NE(broadcast, nullptr);
    broadcast->trigger();
    const QList<TNewMsgForm*> opened = messageWindows();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.first()->BroadcastMode());
    EXPECT_TRUE(opened.first()->SendMode());
    delete opened.first();
}

// A node that listens on 127.0.0.1 only: what the state menus announce reaches
// the listed users (here the node itself, listed under 127.0.0.1).
TEST_F(MainFormTest, StateMenusAnnounceTheNewStateToListedUsers) {
    TLoopbackOnly loopback;
    TScopedEnv timings("QUILLMATE_TIMINGS", "repeat=100");
    Params()[ipListeningPort] = FreePort();
    Params()[bpState_Busy_AutoSwitch] = true;
    Params()[spNickname] = QStringLiteral("Ann");
    {
        TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
        // Another process may take the port between our probe and the node's
        // bind: the node then says so in a modal box and retries. Answer the
        // box and offer a fresh port, so the test waits for the listener and
        // never on a window nobody closes.
        QStringList listenErrors;
        QTimer boxGuard;
        QObject::connect(&boxGuard, &QTimer::timeout, [&listenErrors] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            listenErrors << box->text();
            Params()[ipListeningPort] = FreePort();
            box->reject();
        });
        boxGuard.start(20);
        QList<int> states;
        QObject::connect(&form.Node(), &TNode::EventArrived, [&states](int id, qintptr, const TOnlineNotify& r) {
            if (id == WM_PEER_STATE) states << r.OnlineState;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.Node().IsListening(); }, 5000)) << listenErrors.join(u'\n').toStdString();
        boxGuard.stop();
        TOnlineNotify peer;
        peer.NickName = QStringLiteral("Peer");
        peer.ComputerName = QStringLiteral("PC-PEER");
        peer.IPAddress = QStringLiteral("127.0.0.1");
        peer.UserId = QStringLiteral("{PEER}");
        form.Node().Model().AddUserNode(false, peer);

        form.Action(QStringLiteral("miHeaderBusy"))->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !states.isEmpty(); }, 5000));
        EXPECT_EQ(states, QList<int>{1});
        // The own announcement lists this node too (it was not listed yet), so
        // the next one goes to two rows, both at 127.0.0.1.
        form.Action(QStringLiteral("miTrayIconMenuOnline"))->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() == 3; }, 5000));
        EXPECT_EQ(states, (QList<int>{1, 0, 0}));
        // Choosing the state in force sends nothing.
        form.Action(QStringLiteral("miMainOnline"))->trigger();
        QTest::qWait(200);
        EXPECT_EQ(states.size(), 3);
        form.ExitApplicationExecute();
    }
}

TEST_F(MainFormTest, CloseOnAMinimisedWindowDoesNotRestoreIt) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ShowAt(form, QRect(60, 70, 320, 400));
    form.showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(form.close());
    QApplication::processEvents();
    EXPECT_TRUE(!form.isVisible() || form.isMinimized());
}

TEST_F(MainFormTest, AGroupOpensForItsFirstUserOnly) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    TOnlineUserModel& model = form.Node().Model();
    model.AddUserNode(false, NamedPeer(QStringLiteral("u1")));
    const QModelIndex favorite = model.GroupIndex(0);
    EXPECT_TRUE(form.UserView()->isExpanded(favorite));
    form.UserView()->collapse(favorite);
    model.AddUserNode(false, NamedPeer(QStringLiteral("u2")));
    EXPECT_FALSE(form.UserView()->isExpanded(favorite));
}

TEST_F(MainFormTest, ExitWithTheStateDialogOpenKeepsTheTypedText) {
    Params()[spState_Busy_AutoReplyContent] = QStringLiteral("old text");
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    WhenModalOpens([&form](QWidget* window) {
        auto* dialog = qobject_cast<TStateSetupForm*>(window);
        ASSERT_NE(dialog, nullptr);
        dialog->DescriptionEdit()->setPlainText(QStringLiteral("back at three"));
        form.ExitApplicationExecute();
    });
    form.LoadOnlineStateFormExecute();
    EXPECT_EQ(Params()[spState_Busy_AutoReplyContent], QStringLiteral("back at three"));
    EXPECT_EQ(ConfigValue("State_Busy_AutoReplyContent"), QStringLiteral("back at three"));
}

// ------------------------------------------------------- minimised start

struct TSwitchCase {
    const char* Name;
    QStringList Arguments; // with the program name first
    bool Minimized;
};

void PrintTo(const TSwitchCase& c, std::ostream* os) { *os << c.Name; }

class MinimizedSwitch : public ::testing::TestWithParam<TSwitchCase> {};

TEST_P(MinimizedSwitch, OnlyTheFirstParameterCounts) {
    EXPECT_EQ(StartMinimizedSwitch(GetParam().Arguments), GetParam().Minimized);
}

const QString kProgram = QStringLiteral("quillmate");

INSTANTIATE_TEST_SUITE_P(
    Cases, MinimizedSwitch,
    ::testing::Values(TSwitchCase{"LowerCase", {kProgram, QStringLiteral("-min")}, true},
                      TSwitchCase{"UpperCase", {kProgram, QStringLiteral("-MIN")}, true},
                      TSwitchCase{"MixedCase", {kProgram, QStringLiteral("-mIn")}, true},
                      TSwitchCase{"FirstOfTwo", {kProgram, QStringLiteral("-min"), QStringLiteral("x")}, true},
                      TSwitchCase{"SecondParameter", {kProgram, QStringLiteral("x"), QStringLiteral("-min")}, false},
                      TSwitchCase{"NoParameter", {kProgram}, false},
                      TSwitchCase{"NoArgumentsAtAll", {}, false},
                      TSwitchCase{"WithoutDash", {kProgram, QStringLiteral("min")}, false},
                      TSwitchCase{"Longer", {kProgram, QStringLiteral("-minimized")}, false},
                      TSwitchCase{"SlashForm", {kProgram, QStringLiteral("/min")}, false}),
    TCaseName());

} // namespace

// The Help menu leads to the project's own pages, never to a placeholder host.
TEST(MainFormHelp, LinksLeadToTheRepository) {
    const QUrl home(TMainForm::HomePageUrl());
    const QUrl issues(TMainForm::IssuesUrl());
    for (const QUrl& url : {home, issues}) {
        EXPECT_TRUE(url.isValid()) << url.toString().toStdString();
        EXPECT_EQ(url.scheme(), QStringLiteral("https")) << url.toString().toStdString();
        EXPECT_FALSE(url.host().contains(QStringLiteral("example"))) << url.toString().toStdString();
    }
    EXPECT_EQ(issues.host(), home.host());
    EXPECT_EQ(issues.path(), home.path() + QStringLiteral("/issues"));
}
