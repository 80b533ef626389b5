// The message window: its kinds, sending with per-recipient errors and log
// records, chat layout, uniqueness, send keys and the chat window list.
#include "support/CaseName.h"
#include "support/DeadPeer.h"
#include "support/MsgFormFixture.h"

#include "messaging/ServerQueueUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/EmotionsUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "text/widgets/RichShowUnit.h"
#include "ui/CustomControlsUnit.h"

#include <QAction>
#include <QLayout>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <functional>
#include <QToolButton>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");
// Nothing listens on this loopback address: connecting is refused at once.
const QString kDown = QStringLiteral("127.0.0.2");

struct TModeCase {
    const char* Name;
    bool SendMode;
    bool BroadcastMode;
    bool UseNickname;
    int Recipients; // 0..3
    bool ChatMode;
    QString Caption;
    QString Header;
    bool InChat;
    bool ReadOnly;
    bool PlainText;
    bool ToolBar;
    bool SendEnabled;
    QString SendCaption;
    bool SwitchEnabled;
    bool SendModeAfter;
};

std::ostream& operator<<(std::ostream& os, const TModeCase& c) { return os << c.Name; }

class MsgFormModes : public TMsgFormFixture, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(MsgFormModes, CaptionsControlsAndLayout) {
    const TModeCase& c = GetParam();
    Params()[bpChatMode] = c.ChatMode;
    const TRecipients all = {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")),
                             User(QStringLiteral("Bob"), QStringLiteral("PCB"), QStringLiteral("10.0.0.2"), QStringLiteral("{B}")),
                             User(QStringLiteral("Cy"), QStringLiteral("PCC"), QStringLiteral("10.0.0.3"), QStringLiteral("{C}"))};
    TNewMsgForm* form = Open(c.SendMode, c.BroadcastMode, c.UseNickname, all.mid(0, c.Recipients),
                             QStringLiteral("12:00"), QByteArray("hello"));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), c.Caption);
    EXPECT_EQ(form->HeaderText(), c.Header);
    EXPECT_EQ(form->InChatMode(), c.InChat);
    EXPECT_EQ(form->ChatPane()->isVisibleTo(form), c.InChat);
    EXPECT_EQ(form->Input()->isReadOnly(), c.ReadOnly);
    EXPECT_EQ(form->Input()->PlainTextMode(), c.PlainText);
    EXPECT_EQ(form->findChild<QWidget*>(QStringLiteral("tbInput"))->isEnabled(), c.ToolBar);
    EXPECT_EQ(form->SendButton()->isEnabled(), c.SendEnabled);
    EXPECT_EQ(form->SendButton()->text(), Translate(c.SendCaption));
    EXPECT_EQ(form->SwitchButton()->isEnabled(), c.SwitchEnabled);
    EXPECT_EQ(form->SendMode(), c.SendModeAfter);
    EXPECT_EQ(Windows->ChatList().Contains(QStringLiteral("PCA{A}")), c.InChat);
    EXPECT_EQ(form->findChild<QWidget*>(QStringLiteral("tbCaptureScreen"))->isEnabled(), c.ToolBar);
    if (c.PlainText && c.SendMode) { EXPECT_EQ(form->Input()->MaxLength(), 2000); }
    if (!c.SendMode && !c.InChat) { EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("hello")); }
    if (c.InChat && !c.SendMode) { EXPECT_TRUE(form->ChatPane()->toPlainText().contains(QStringLiteral("Ann 12:00"))); }
    EXPECT_GE(form->width(), 420);
    EXPECT_GE(form->height(), 300);
    // No caption is cut: the window is never narrower than its tool bar needs.
    form->layout()->activate();
    for (const QToolButton* button : form->findChild<QWidget*>(QStringLiteral("tbInput"))->findChildren<QToolButton*>()) {
        if (button->isVisibleTo(form)) {
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
        }
    }
}

const QString kAnn = QStringLiteral("Ann");
INSTANTIATE_TEST_SUITE_P(
    Kinds, MsgFormModes,
    ::testing::Values(
        TModeCase{"BroadcastCompose", true, true, true, 0, true, "Broadcast", "All Computers", false, false, true, false,
                  true, "&Send", false, true},
        TModeCase{"OneUserChat", true, false, true, 1, true, kAnn, kAnn, true, false, false, true, true, "&Send", true, true},
        TModeCase{"OneUserSinglePane", true, false, true, 1, false, "Send message to Ann", kAnn, false, false, false, true,
                  true, "&Send", true, true},
        TModeCase{"SeveralUsers", true, false, true, 3, true, "Send message to Ann,Bob,Cy", "Ann,Bob,Cy", false, false,
                  false, true, true, "&Send", false, true},
        TModeCase{"Computers", true, false, false, 2, true, "Send message to PCA,PCB", "PCA,PCB", false, false, false,
                  true, true, "&Send", false, true},
        TModeCase{"ReadBroadcast", false, true, true, 1, true, "Broadcast message from Ann", kAnn, false, true, true,
                  false, false, "&Reply", false, false},
        TModeCase{"ReadMessageChat", false, false, true, 1, true, kAnn, kAnn, true, false, false, true, true, "&Send", true,
                  true},
        TModeCase{"ReadMessageSinglePane", false, false, true, 1, false, "Message from Ann", kAnn, false, true, false,
                  false, true, "&Reply", false, false}),
    TCaseName());

TEST_F(TMsgFormFixture, SendToSeveralLogsTheReachedUsersAndReportsTheOthers) {
    ASSERT_TRUE(Start(2000));
    Params()[bpChatMode] = false;
    TNewMsgForm* form = Open(true, false, true,
                             {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback),
                              User(QStringLiteral("Bob"), QStringLiteral("PCB"), kDown),
                              User(QStringLiteral("Cy"), QStringLiteral("PCC"), kLoopback)});
    QPointer<TNewMsgForm> alive(form);
    form->Input()->setPlainText(QStringLiteral("Lunch?\nAt noon"));
    ASSERT_TRUE(SendAndWait(form));
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Error occurred when send message to Bob.")});
    ASSERT_TRUE(WaitLogged(1));
    EXPECT_EQ(Logged.size(), 1);
    EXPECT_EQ(Logged[0].Nick, QStringLiteral("Ann(PCA);Cy(PCC)"));
    EXPECT_EQ(Logged[0].Computer, QString());
    EXPECT_EQ(Logged[0].IP, QString());
    EXPECT_EQ(Logged[0].First2Line, QStringLiteral("Lunch?\r\nAt noon"));
    EXPECT_TRUE(Logged[0].IfSendOut);
    EXPECT_FALSE(Logged[0].IfBroadcast);
    EXPECT_TRUE(WaitUntil([&] { return Arrived.size() == 2; }));
    // A single-pane window closes once its message went out.
    EXPECT_TRUE(WaitUntil([&] { return alive.isNull(); }));
}

TEST_F(TMsgFormFixture, SendToComputersLogsComputerNamesOnly) {
    ASSERT_TRUE(Start(2000));
    TNewMsgForm* form = Open(true, false, false,
                             {User({}, QStringLiteral("PCA"), kLoopback), User({}, QStringLiteral("PCB"), kLoopback)});
    form->Input()->setPlainText(QStringLiteral("hi"));
    ASSERT_TRUE(SendAndWait(form));
    ASSERT_TRUE(WaitLogged(1));
    EXPECT_EQ(Logged[0].Nick, QStringLiteral("PCA;PCB"));
    EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(TMsgFormFixture, SingleSendLogsNoNickWhenNotByNickname) {
    ASSERT_TRUE(Start(2000));
    Params()[bpChatMode] = false;
    TNewMsgForm* form = Open(true, false, false, {User({}, QStringLiteral("PC-LAB"), kLoopback)});
    form->Input()->setPlainText(QStringLiteral("to a computer"));
    ASSERT_TRUE(SendAndWait(form));
    ASSERT_TRUE(WaitLogged(1));
    EXPECT_EQ(Logged[0].Nick, QStringLiteral("<No_Nick>"));
    EXPECT_EQ(Logged[0].Computer, QStringLiteral("PC-LAB"));
    EXPECT_EQ(Logged[0].IP, kLoopback);
    EXPECT_EQ(Logged[0].Category, ltSingle);
}

TEST_F(TMsgFormFixture, ChatSendAppendsOwnMessageAndClearsTheInput) {
    ASSERT_TRUE(Start(2000));
    Params()[spNickname] = QStringLiteral("Me");
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"))});
    form->Input()->setPlainText(QStringLiteral("first words"));
    ASSERT_TRUE(SendAndWait(form));
    ASSERT_TRUE(WaitLogged(1));
    EXPECT_EQ(Logged[0].Nick, QStringLiteral("Ann"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Input()->document()->isEmpty());
    const QString pane = form->ChatPane()->toPlainText();
    EXPECT_TRUE(pane.startsWith(QStringLiteral("Me "))) << pane.toStdString();
    EXPECT_TRUE(pane.contains(QStringLiteral("first words")));
    const QTextCharFormat header = form->ChatPane()->document()->firstBlock().begin().fragment().charFormat();
    EXPECT_EQ(header.foreground().color(), TRichChatPane::OwnHeaderColour());
}

TEST_F(TMsgFormFixture, UnreachedRecipientShowsItsErrorAndLogsNothing) {
    Params()[ipListeningPort] = FreePort(); // nobody listens there
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Bob"), QStringLiteral("PCB"), kLoopback)});
    form->Input()->setPlainText(QStringLiteral("keep me"));
    ASSERT_TRUE(SendAndWait(form));
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Error occurred when send message to Bob.")});
    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("keep me"));
    Node->ChatLog().Flush();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Logged.isEmpty());
}

// Several recipients of which some do not answer: the count goes up as the
// live ones are reached, long before the dead ones time out; the window can
// still be closed meanwhile; one box names all those not reached.
class MsgFormSendMany : public TMsgFormFixture {
protected:
    // Recipients live (L) or dead (D), each on its port.
    TNewMsgForm* OpenTo(const QString& peers) {
        TRecipients recipients;
        QList<quint16> ports;
        for (qsizetype i = 0; i < peers.size(); ++i) {
            const QString name = QStringList{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Cy"),
                                             QStringLiteral("Dan")}.value(i);
            recipients << User(name, QStringLiteral("PC") + name, kLoopback);
            ports << (peers[i] == QLatin1Char('L') ? Port : Dead.Port());
        }
        TMessageSendLimits limits;
        limits.ConnectTimeoutMs = 3000;
        limits.StallTimeoutMs = 2000;
        limits.PortOf = [ports](qsizetype i) { return ports.value(i); };
        Node->Chat().SetSendLimits(limits);
        return Open(true, false, true, recipients);
    }
    TDeadPeer Dead;
};

TEST_F(MsgFormSendMany, ProgressShowsAsRecipientsEndAndOneBoxNamesThoseNotReached) {
    ASSERT_TRUE(Start(2000));
    TNewMsgForm* form = OpenTo(QStringLiteral("LDLD"));
    form->Input()->setPlainText(QStringLiteral("to four"));
    bool finished = false;
    QObject::connect(form, &TNewMsgForm::SendFinished, [&finished] { finished = true; });
    form->SendExecute();
    ASSERT_TRUE(form->IsSending());
    // The live two are in while the dead two still wait.
    ASSERT_TRUE(WaitUntil([&] { return form->ProgressText() == QStringLiteral("Sent 2 of 4"); }, 2500))
        << form->ProgressText().toStdString();
    EXPECT_TRUE(form->IsSending());
    EXPECT_TRUE(Boxes.isEmpty());
    EXPECT_FALSE(form->SendButton()->isEnabled());
    QPushButton* closeButton = form->findChild<QPushButton*>(QStringLiteral("btnClose"));
    ASSERT_NE(closeButton, nullptr);
    EXPECT_TRUE(closeButton->isEnabled());
    QPointer<TNewMsgForm> alive(form);
    ASSERT_TRUE(WaitUntil([&] { return finished; }, 10000));
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Error occurred when send message to Bob, Dan.")});
    // Some were reached: the window for several closes as it always did.
    EXPECT_TRUE(WaitUntil([&] { return alive.isNull(); }));
    ASSERT_TRUE(WaitLogged(1));
    EXPECT_EQ(Logged[0].Nick, QStringLiteral("Ann(PCAnn);Cy(PCCy)"));
}

TEST_F(MsgFormSendMany, ClosedWhileSendingTheJobGoesOnAndIsLoggedOnce) {
    ASSERT_TRUE(Start(2000));
    TNewMsgForm* form = OpenTo(QStringLiteral("DL"));
    QPointer<TNewMsgForm> alive(form);
    form->Input()->setPlainText(QStringLiteral("closing soon"));
    int finished = 0;
    QObject::connect(form, &TNewMsgForm::SendFinished, [&finished] { ++finished; });
    form->SendExecute();
    ASSERT_TRUE(WaitUntil([&] { return form->ProgressText() == QStringLiteral("Sent 1 of 2"); }, 2500))
        << form->ProgressText().toStdString();
    form->close();
    // Gone from the screen and from the chat list, still sending.
    ASSERT_FALSE(alive.isNull());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->ChatKey().isEmpty());
    EXPECT_TRUE(form->IsSending());
    ASSERT_TRUE(WaitUntil([&] { return alive.isNull(); }, 10000));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Error occurred when send message to Ann.")});
    ASSERT_TRUE(WaitLogged(1));
    Node->ChatLog().Flush();
    QCoreApplication::processEvents();
    ASSERT_EQ(Logged.size(), 1);
    EXPECT_EQ(Logged[0].Nick, QStringLiteral("Bob(PCBob)"));
    EXPECT_TRUE(WaitUntil([&] { return !Arrived.isEmpty(); }));
    EXPECT_EQ(Arrived.size(), 1);
}

TEST_F(TMsgFormFixture, IncomingMessageGoesToTheOpenChatOfItsSender) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"))});
    TBroadcastData record;
    record.NickName = QStringLiteral("Ann");
    record.ComputerName = QStringLiteral("pca");
    record.UserId = QStringLiteral("{A}");
    record.Body = QByteArray("news from Ann");
    EXPECT_TRUE(Windows->ShowInChatWindow(record));
    EXPECT_TRUE(form->ChatPane()->toPlainText().contains(QStringLiteral("news from Ann")));
    const QTextCharFormat header = form->ChatPane()->document()->firstBlock().begin().fragment().charFormat();
    EXPECT_EQ(header.foreground().color(), TRichChatPane::IncomingHeaderColour());
    record.UserId = QStringLiteral("{OTHER}");
    EXPECT_FALSE(Windows->ShowInChatWindow(record));

    // A peer without an id is known by its computer and its address.
    TNewMsgForm* bob = Open(true, false, true, {User(QStringLiteral("Bob"), QStringLiteral("PCB"), kLoopback)});
    record.NickName = QStringLiteral("Bob");
    record.ComputerName = QStringLiteral("PCB");
    record.UserId.clear();
    record.IPAddress = QStringLiteral("10.0.0.9");
    record.Body = QByteArray("from elsewhere");
    EXPECT_FALSE(Windows->ShowInChatWindow(record));
    record.IPAddress = kLoopback;
    record.Body = QByteArray("from Bob");
    EXPECT_TRUE(Windows->ShowInChatWindow(record));
    EXPECT_TRUE(bob->ChatPane()->toPlainText().contains(QStringLiteral("from Bob")));
    EXPECT_FALSE(form->ChatPane()->toPlainText().contains(QStringLiteral("from Bob")));
}

// A refusal carries no unique id: it still goes into the open chat with its
// sender (computer and address), shown as the reply line the sender made.
TEST_F(TMsgFormFixture, RefusalGoesIntoTheOpenChatOfItsSender) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"))});
    ASSERT_TRUE(form->InChatMode());
    TBroadcastData refusal;
    refusal.NickName = QStringLiteral("Ann");
    refusal.ComputerName = QStringLiteral("PCA");
    refusal.IPAddress = kLoopback;
    refusal.Body = QByteArray("[Auto-reply Message]: in a meeting\r\n");
    EXPECT_TRUE(Windows->ShowInChatWindow(refusal));
    EXPECT_TRUE(form->ChatPane()->toPlainText().contains(QStringLiteral("[Auto-reply Message]: in a meeting")));
    // The same computer at another address is someone else.
    refusal.IPAddress = kDown;
    EXPECT_FALSE(Windows->ShowInChatWindow(refusal));
}

// Ctrl+B, Ctrl+I and Ctrl+U in the input box press the font bar's buttons,
// hidden or not, and format the input as the buttons do.
TEST_F(TMsgFormFixture, StyleKeysPressTheFontBarButtons) {
    Params()[bpBold] = false;
    Params()[bpItalic] = false;
    Params()[bpUnderLine] = false;
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"))});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->Input()->setFocus();
    form->Input()->setPlainText(QStringLiteral("words"));
    struct TKey {
        Qt::Key Key;
        const char* Button;
        std::function<bool(const QTextCharFormat&)> Shown;
    };
    const QList<TKey> keys{
        {Qt::Key_B, "tbBold", [](const QTextCharFormat& f) { return f.fontWeight() >= QFont::Bold; }},
        {Qt::Key_I, "tbItalic", [](const QTextCharFormat& f) { return f.fontItalic(); }},
        {Qt::Key_U, "tbUnderLine", [](const QTextCharFormat& f) { return f.fontUnderline(); }},
    };
    for (const TKey& key : keys) {
        auto* button = form->findChild<QToolButton*>(QString::fromLatin1(key.Button));
        ASSERT_NE(button, nullptr) << key.Button;
        EXPECT_FALSE(button->isChecked()) << key.Button;
        QTest::keyClick(form->Input(), key.Key, Qt::ControlModifier);
        EXPECT_TRUE(button->isChecked()) << key.Button;
        QTextCursor cursor(form->Input()->document());
        cursor.movePosition(QTextCursor::End);
        EXPECT_TRUE(key.Shown(cursor.charFormat())) << key.Button;
        EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("words")) << "the key typed into the text";
        QTest::keyClick(form->Input(), key.Key, Qt::ControlModifier);
        EXPECT_FALSE(button->isChecked()) << key.Button;
    }
}

TEST_F(TMsgFormFixture, SecondWindowForTheSameTargetBringsTheFirstForward) {
    Params()[bpChatMode] = false;
    const TRecipient ann = User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{a}"));
    TNewMsgForm* first = Open(true, false, true, {ann});
    EXPECT_EQ(Open(true, false, true, {ann}), first);
    TNewMsgForm* broadcast = Open(true, true, true, {});
    EXPECT_EQ(Open(true, true, true, {}), broadcast);
    // Computers without an id are never unique.
    const TRecipient pc = User({}, QStringLiteral("PCX"), kLoopback);
    EXPECT_NE(Open(true, false, false, {pc}), Open(true, false, false, {pc}));

    Params()[bpAllowMultiForm] = true;
    EXPECT_NE(Open(true, false, true, {ann}), first);
    EXPECT_NE(Open(true, true, true, {}), broadcast);
}

TEST_F(TMsgFormFixture, ChatWindowIsReusedEvenWithSeveralWindowsAllowed) {
    Params()[bpAllowMultiForm] = true;
    const TRecipient ann = User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"));
    TNewMsgForm* first = Open(true, false, true, {ann});
    EXPECT_EQ(Open(true, false, true, {ann}), first);
}

struct TKeyCase {
    const char* Name;
    bool PressEnterToSend;
    Qt::KeyboardModifiers Modifiers;
    bool Sends;
};

class MsgFormKeys : public TMsgFormFixture, public ::testing::WithParamInterface<TKeyCase> {};

// A read window turns into a reply when the key sends; otherwise it stays.
TEST_P(MsgFormKeys, EnterSendsAsTheSettingSays) {
    const TKeyCase& c = GetParam();
    Params()[bpChatMode] = false;
    Params()[bpPressEnterToSend] = c.PressEnterToSend;
    TNewMsgForm* form = Open(false, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)}, {},
                             QByteArray("read me"));
    QTest::keyClick(form->Input(), Qt::Key_Return, c.Modifiers);
    EXPECT_EQ(form->SendMode(), c.Sends);
    EXPECT_EQ(form->Input()->isReadOnly(), !c.Sends);
}

INSTANTIATE_TEST_SUITE_P(SendKeys, MsgFormKeys,
                         ::testing::Values(TKeyCase{"EnterWithEnterSetting", true, Qt::NoModifier, true},
                                           TKeyCase{"ShiftEnterWithEnterSetting", true, Qt::ShiftModifier, true},
                                           TKeyCase{"EnterWithCtrlSetting", false, Qt::NoModifier, false},
                                           TKeyCase{"CtrlEnterWithCtrlSetting", false, Qt::ControlModifier, true}),
                         TCaseName());

TEST_F(TMsgFormFixture, EnterMakesANewLineWhenCtrlEnterSends) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)});
    QTest::keyClicks(form->Input(), QStringLiteral("a"));
    QTest::keyClick(form->Input(), Qt::Key_Return);
    QTest::keyClicks(form->Input(), QStringLiteral("b"));
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("a\nb"));
    EXPECT_FALSE(form->IsSending());
}

TEST_F(TMsgFormFixture, SendModeMenuSetsTheSetting) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)});
    form->findChild<QAction*>(QStringLiteral("miEnterToSend"))->trigger();
    EXPECT_TRUE(Params()[bpPressEnterToSend]);
    form->findChild<QAction*>(QStringLiteral("miCtrlEnterToSend"))->trigger();
    EXPECT_FALSE(Params()[bpPressEnterToSend]);
}

TEST_F(TMsgFormFixture, SwitchModeMovesTheWindowInAndOutOfTheChatList) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"))});
    const QString key = QStringLiteral("PCA{A}");
    ASSERT_TRUE(Windows->ChatList().Contains(key));
    Params()[ipMessageFormWidth] = 640; // above the tool bar's need
    Params()[ipMessageFormHeight] = 333;
    form->SwitchModeExecute();
    EXPECT_FALSE(form->InChatMode());
    EXPECT_FALSE(Windows->ChatList().Contains(key));
    EXPECT_FALSE(Params()[bpChatMode]);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Send message to Ann"));
    EXPECT_EQ(form->size(), QSize(640, 333));
    form->SwitchModeExecute();
    EXPECT_TRUE(form->InChatMode());
    EXPECT_TRUE(Windows->ChatList().Contains(key));
    EXPECT_TRUE(Params()[bpChatMode]);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Ann"));
    // The single-pane size was saved when leaving that layout.
    EXPECT_EQ(Params()[ipMessageFormWidth], 640);
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Windows->ChatList().Contains(key));
}

TEST_F(TMsgFormFixture, ReplyTurnsAReadWindowIntoACompositionToTheSender) {
    Params()[bpChatMode] = false;
    TNewMsgForm* form = Open(false, true, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)}, {},
                             QByteArray("to everybody"));
    form->SendExecute();
    EXPECT_TRUE(form->SendMode());
    EXPECT_FALSE(form->BroadcastMode());
    EXPECT_FALSE(form->Input()->isReadOnly());
    EXPECT_FALSE(form->Input()->PlainTextMode());
    EXPECT_TRUE(form->Input()->document()->isEmpty());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Send message to Ann"));
    EXPECT_EQ(form->SendButton()->text(), QStringLiteral("&Send"));
    EXPECT_TRUE(form->SendButton()->isEnabled());
}

TEST_F(TMsgFormFixture, OpeningAQueuedMessageInChatPullsTheSendersOtherMessages) {
    TRecipient asked;
    TakeQueued = [&asked](const TRecipient& sender) {
        asked = sender;
        TBroadcastData newer;
        newer.NickName = QStringLiteral("Ann");
        newer.ComputerName = QStringLiteral("PCA");
        newer.Body = QByteArray("newest queued");
        TBroadcastData older = newer;
        older.Body = QByteArray("older queued");
        return QList<TBroadcastData>{newer, older};
    };
    TNewMsgForm* form = Open(false, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback, QStringLiteral("{A}"))},
                             QStringLiteral("09:00"), QByteArray("opened one"));
    EXPECT_EQ(asked.UserId, QStringLiteral("{A}"));
    const QString pane = form->ChatPane()->toPlainText();
    const qsizetype opened = pane.indexOf(QStringLiteral("opened one"));
    const qsizetype newest = pane.indexOf(QStringLiteral("newest queued"));
    const qsizetype older = pane.indexOf(QStringLiteral("older queued"));
    EXPECT_GE(opened, 0);
    EXPECT_GT(newest, opened);
    EXPECT_GT(older, newest);
}

TEST(MsgFormSender, SameSenderByIdElseByComputerAndAddress) {
    TBroadcastData record;
    record.UserId = QStringLiteral("{ab}");
    record.ComputerName = QStringLiteral("pc1");
    record.IPAddress = QStringLiteral("10.0.0.1");
    EXPECT_TRUE(SameSender(record, TRecipient{{}, QStringLiteral("OTHER"), {}, {}, QStringLiteral("{AB}")}));
    EXPECT_FALSE(SameSender(record, TRecipient{{}, QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), {}, QStringLiteral("{CD}")}));
    EXPECT_TRUE(SameSender(record, TRecipient{{}, QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), {}, {}}));
    EXPECT_FALSE(SameSender(record, TRecipient{{}, QStringLiteral("PC1"), QStringLiteral("10.0.0.2"), {}, {}}));
    // A record without an id (a refusal) is told by computer and address.
    record.UserId.clear();
    EXPECT_TRUE(SameSender(record, TRecipient{{}, QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), {}, QStringLiteral("{AB}")}));
    EXPECT_FALSE(SameSender(record, TRecipient{{}, QStringLiteral("PC1"), QStringLiteral("10.0.0.2"), {}, QStringLiteral("{AB}")}));
}

// Ctrl+Alt+A, the button and its menu item each start a capture; the key
// types nothing into the message.
TEST_F(TMsgFormFixture, CaptureCommandsStartACaptureAndTheKeyTypesNothing) {
    Params()[bpHideWhenCaptureScreen] = true;
    int grabs = 0;
    GrabScreen = [&grabs](QScreen*, QObject*, std::function<void(const TScreenPicture&)> done) {
        ++grabs;
        done({QImage(), QStringLiteral("none")});
    };
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)});
    auto* button = form->findChild<QToolButton*>(QStringLiteral("tbCaptureScreen"));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    auto* item = form->findChild<QAction*>(QStringLiteral("miCaptureScreen"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("&Capture Screen...   Ctrl+Alt+A"));
    EXPECT_TRUE(item->isEnabled());

    QTest::keyClicks(form->Input(), QStringLiteral("x"));
    QTest::keyClick(form->Input(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    QTest::keyClicks(form->Input(), QStringLiteral("a"));
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("xa"));
    EXPECT_TRUE(form->isMinimized());
    EXPECT_TRUE(WaitUntil([&] { return grabs == 1; }));
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());
    item->trigger();
    EXPECT_TRUE(WaitUntil([&] { return grabs == 2; }));
    button->click();
    EXPECT_TRUE(WaitUntil([&] { return grabs == 3; }));
    EXPECT_EQ(Boxes, QStringList(3, QStringLiteral("none")));
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("xa"));
}

// The "hide this window" item shows and sets the setting.
TEST_F(TMsgFormFixture, HideWhenCaptureItemFollowsTheSetting) {
    Params()[bpHideWhenCaptureScreen] = false;
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)});
    auto* hide = form->findChild<QAction*>(QStringLiteral("miHideWhenCapture"));
    ASSERT_NE(hide, nullptr);
    EXPECT_TRUE(hide->isCheckable());
    EXPECT_FALSE(hide->isChecked());
    hide->setChecked(true);
    EXPECT_TRUE(Params()[bpHideWhenCaptureScreen]);
    hide->setChecked(false);
    EXPECT_FALSE(Params()[bpHideWhenCaptureScreen]);
}

// A long recipients list is cut with an ellipsis in the header; the window keeps its size.
TEST_F(TMsgFormFixture, HeaderCutsALongRecipientsList) {
    Params()[bpChatMode] = false;
    Params()[ipMessageFormWidth] = 420;
    Params()[ipMessageFormHeight] = 300;
    TRecipients many;
    for (int i = 0; i < 30; ++i)
        many << User(QStringLiteral("A rather long nickname %1").arg(i), QStringLiteral("PC%1").arg(i), kLoopback);
    TNewMsgForm* form = Open(true, false, true, many);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->HeaderText().startsWith(QStringLiteral("A rather long nickname 0,A rather long nickname 1,")));
    auto* header = form->findChild<TContainerPanel*>(QStringLiteral("MessageHeader"));
    ASSERT_NE(header, nullptr);
    // The list does not widen the window: it stays at its smallest width.
    EXPECT_EQ(form->size(), QSize(form->minimumWidth(), 300));
    EXPECT_LT(form->minimumWidth(), header->fontMetrics().horizontalAdvance(form->HeaderText()));
    EXPECT_EQ(header->QLMTitle(), QStringLiteral("Chat Target:"));
    EXPECT_TRUE(header->DisplayedRecipients().endsWith(QChar(0x2026)));
}

// The Emotions button stays pressed while its grid is open; closing the grid
// without a pick releases it and leaves the message as it was.
TEST_F(TMsgFormFixture, EmotionsButtonStaysDownWhileTheGridIsOpen) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), kLoopback)});
    form->Input()->setPlainText(QStringLiteral("hi"));
    auto* button = form->findChild<QToolButton*>(QStringLiteral("tbEmotion"));
    ASSERT_NE(button, nullptr);
    button->click();
    QPointer<TQLMEmotions> grid = form->findChild<TQLMEmotions*>();
    ASSERT_FALSE(grid.isNull());
    EXPECT_TRUE(button->isDown());
    QTest::keyClick(grid, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(grid.isNull());
    EXPECT_FALSE(button->isDown());
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("hi"));
}

// A peer that sends no nickname is named by its computer, never by an empty name.
TEST_F(TMsgFormFixture, UserWithoutNicknameIsNamedByItsComputer) {
    Params()[ipListeningPort] = FreePort(); // nobody listens there
    TNewMsgForm* form = Open(true, false, true, {User(QString(), QStringLiteral("PCZ"), kLoopback, QStringLiteral("{Z}"))});
    EXPECT_EQ(form->windowTitle(), QStringLiteral("PCZ"));
    EXPECT_EQ(form->HeaderText(), QStringLiteral("PCZ"));
    TBroadcastData record;
    record.ComputerName = QStringLiteral("PCZ");
    record.UserId = QStringLiteral("{Z}");
    record.Body = QByteArray("from a nameless peer");
    form->AppendIncoming(record);
    EXPECT_TRUE(form->ChatPane()->toPlainText().startsWith(QStringLiteral("PCZ "))) << form->ChatPane()->toPlainText().toStdString();
    form->Input()->setPlainText(QStringLiteral("hello?"));
    ASSERT_TRUE(SendAndWait(form));
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Error occurred when send message to PCZ.")});
}

} // namespace
