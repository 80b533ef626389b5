// The main window's options command, the places of the commands in its menus,
// and the code-page question before a nickname goes out.
#include "app/DesktopUnit.h"
#include "app/MainUnit.h"

#include "core/ParamsUnit.h"
#include "support/CaseName.h"
#include "support/GuiSupport.h"
#include "support/TestSupport.h"
#include "text/MsgLangUnit.h"
#include "ui/OptionUnit.h"
#include "ui/TrayIconUnit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <ostream>

namespace {

// The window reads and saves the process-wide settings: each test gets them
// back as they were.
class MainOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        FSaved = std::make_unique<TApplicationParams>(Params());
        Params()[bpMainWindowAlwaysOnTop] = false;
        Params()[bpPlaySound] = true;
        Params()[bpAutoCodeConvert] = true;
        QFile::remove(Params().ConfigFile());
    }
    void TearDown() override {
        Params() = *FSaved;
        TMessageLang::Instance().SetAutoCodeConvert(Params()[bpAutoCodeConvert]);
        QFile::remove(Params().ConfigFile());
    }

    // The object names of a menu's items, "-" for a separator.
    static QStringList Names(const QMenu* menu) {
        QStringList names;
        for (const QAction* item : menu->actions()) names << (item->isSeparator() ? QStringLiteral("-") : item->objectName());
        return names;
    }

    // Acts on the options dialog once it is open, then ends it with OK or Cancel.
    static void WhenOptionsOpen(std::function<void(TOptionForm*)> act, bool ok) {
        WhenModalOpens([act, ok](QWidget* window) {
            auto* dialog = qobject_cast<TOptionForm*>(window);
            if (!dialog) {
                ADD_FAILURE() << "the modal window is no options dialog";
                return;
            }
            act(dialog);
            if (!ok) dialog->reject();
            else if (!dialog->btnEnterClick()) dialog->reject();
        });
    }

    std::unique_ptr<TApplicationParams> FSaved;
};

TEST_F(MainOptionsTest, CommandsSitInTheirDocumentedPlaces) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    auto menu = [&form](const char* name) { return form.findChild<QMenu*>(QString::fromLatin1(name)); };
    EXPECT_EQ(Names(menu("miMainTools")),
              (QStringList{"miLogManage", "-", "miMainConsole", "miMainBroadcast", "-", "miMainPlaySound", "-", "miMainSettings"}));
    EXPECT_EQ(Names(menu("miMainHelp")), (QStringList{"miMainContent", "-", "miMainHomePage", "miMainIssues", "-",
                                                      "miCheckNewVerLocal", "-", "miMainAbout"}));
    EXPECT_EQ(Names(menu("miMainView")), (QStringList{"miMainAOT", "miMainShowOnlineUser", "miMainShowNetwork", "-",
                                                      "miMainRefreshList", "miMainRefreshNetwork", "-", "miMainLanguage"}));
    EXPECT_EQ(Names(form.TrayMenu()),
              (QStringList{"miTrayIconMenuAbout", "miTrayIconMenuContents", "-", "miTrayIconMenuSendMessage",
                           "miTrayIconMenuSendFile", "miTrayIconMenuSendCMessage", "miTrayIconMenuBroadcast",
                           "miTrayIconMenuManage", "miTrayIconMenuLogManagement", "-", "miTrayIconMenuAlwaysOnTop",
                           "miTrayIconMenuMyOnlineState", "miTrayIconMenuPlaySound", "miTrayIconMenuSettings", "-",
                           "miTrayIconMenuExit"}));
    EXPECT_EQ(form.Action(QStringLiteral("miMainConsole"))->data().toInt(), 1101);
    EXPECT_EQ(form.Action(QStringLiteral("miMainSettings"))->text(), QStringLiteral("&Options..."));
}

// OK from either menu: the ticks, always-on-top and the code conversion follow at once.
TEST_F(MainOptionsTest, OKAppliesWhatCanChangeAtOnce) {
    for (const char* item : {"miMainSettings", "miTrayIconMenuSettings"}) {
        SCOPED_TRACE(item);
        Params()[bpMainWindowAlwaysOnTop] = false;
        Params()[bpPlaySound] = true;
        Params()[bpAutoCodeConvert] = true;
        TMessageLang::Instance().SetAutoCodeConvert(true);
        TDesktop desktop(false);
        TMainForm& form = desktop.MainForm();
        QStringList boxes;
        form.SetMessageBox([&boxes](QWidget*, Utils::TMessageBoxKind, const QString& text) {
            boxes << text;
            return Utils::TMessageBoxResult::Ok;
        });
        WhenOptionsOpen(
            [](TOptionForm* dialog) {
                dialog->findChild<QCheckBox*>(QStringLiteral("cbPlaySound"))->setChecked(false);
                dialog->findChild<QCheckBox*>(QStringLiteral("cbMainAlwaysOnTop"))->setChecked(true);
                dialog->findChild<QCheckBox*>(QStringLiteral("cbAutoConvert"))->setChecked(false);
            },
            true);
        form.Action(QString::fromLatin1(item))->trigger();
        EXPECT_FALSE(Params()[bpPlaySound]);
        EXPECT_FALSE(form.Action(QStringLiteral("miMainPlaySound"))->isChecked());
        EXPECT_FALSE(form.Action(QStringLiteral("miTrayIconMenuPlaySound"))->isChecked());
        EXPECT_TRUE(form.Action(QStringLiteral("miMainAOT"))->isChecked());
        EXPECT_TRUE(form.Action(QStringLiteral("miTrayIconMenuAlwaysOnTop"))->isChecked());
        EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(TMessageLang::Instance().AutoCodeConvert());
        EXPECT_TRUE(boxes.isEmpty());
        EXPECT_TRUE(QFile::exists(Params().ConfigFile()));
    }
}

TEST_F(MainOptionsTest, CancelChangesNothingAndAChangedPortAsksForARestart) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    QStringList boxes;
    form.SetMessageBox([&boxes](QWidget*, Utils::TMessageBoxKind, const QString& text) {
        boxes << text;
        return Utils::TMessageBoxResult::Ok;
    });
    const int port = Params()[ipListeningPort];
    WhenOptionsOpen(
        [](TOptionForm* dialog) {
            dialog->findChild<QCheckBox*>(QStringLiteral("cbPlaySound"))->setChecked(false);
            dialog->ResetToDefault();
            dialog->findChild<QLineEdit*>(QStringLiteral("EditPort"))->setText(QStringLiteral("7801"));
        },
        false);
    form.Action(QStringLiteral("miMainSettings"))->trigger();
    EXPECT_TRUE(Params()[bpPlaySound]);
    EXPECT_EQ(Params()[ipListeningPort], port);
    EXPECT_FALSE(QFile::exists(Params().ConfigFile()));
    EXPECT_TRUE(boxes.isEmpty());

    WhenOptionsOpen(
        [](TOptionForm* dialog) { dialog->findChild<QLineEdit*>(QStringLiteral("EditPort"))->setText(QStringLiteral("7801")); },
        true);
    form.Action(QStringLiteral("miMainSettings"))->trigger();
    EXPECT_EQ(Params()[ipListeningPort], 7801);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("You need to restart application because some vital settings have changed.")});
}

// ------------------------------------------------------------ the nickname's code page

// A character no ANSI code page has: the question comes whatever the test machine's locale.
const QString kSmile = QString::fromUtf8("😀");

struct TNickCase {
    const char* Name;
    QStringList Typed;        // one per time the input opens; an empty entry cancels it
    QList<bool> SendAnyway;   // the answers to the question, in order
    QString Expected;         // the nickname afterwards
    int Questions;
};

void PrintTo(const TNickCase& c, std::ostream* os) { *os << c.Name; }

class NicknameCodePage : public MainOptionsTest, public ::testing::WithParamInterface<TNickCase> {};

TEST_P(NicknameCodePage, AsksBeforeANameThatWouldArriveAsQuestionMarks) {
    Params()[spNickname] = QStringLiteral("Ann");
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    QStringList shownFirst; // what the input showed each time it opened
    int opened = 0;
    form.SetInputText([&](QWidget*, const QString&, const QString&, QString* value) {
        shownFirst << *value;
        const QString typed = GetParam().Typed.value(opened++);
        if (typed.isEmpty()) return false;
        *value = typed;
        return true;
    });
    QStringList questions;
    form.SetMessageBox([&](QWidget*, Utils::TMessageBoxKind kind, const QString& text) {
        EXPECT_EQ(kind, Utils::TMessageBoxKind::Question);
        const bool yes = GetParam().SendAnyway.value(questions.size());
        questions << text;
        return yes ? Utils::TMessageBoxResult::Yes : Utils::TMessageBoxResult::No;
    });
    form.Action(QStringLiteral("miMainChangeNick"))->trigger();
    EXPECT_EQ(Params()[spNickname], GetParam().Expected);
    ASSERT_EQ(questions.size(), GetParam().Questions);
    for (const QString& q : questions) EXPECT_TRUE(q.contains(kSmile)) << q.toStdString();
    // Going back shows the name as it was typed.
    for (int i = 1; i < shownFirst.size(); ++i) EXPECT_EQ(shownFirst[i], GetParam().Typed[i - 1]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NicknameCodePage,
    ::testing::Values(TNickCase{"FitsNoQuestion", {QStringLiteral("Bob")}, {}, QStringLiteral("Bob"), 0},
                      TNickCase{"SendAnyway", {QStringLiteral("Bob") + kSmile}, {true}, QStringLiteral("Bob") + kSmile, 1},
                      TNickCase{"GoBackThenCancel", {QStringLiteral("Bob") + kSmile, QString()}, {false}, QStringLiteral("Ann"), 1},
                      TNickCase{"GoBackThenFix", {QStringLiteral("Bob") + kSmile, QStringLiteral("Bob")}, {false},
                                QStringLiteral("Bob"), 1}),
    TCaseName());

} // namespace
