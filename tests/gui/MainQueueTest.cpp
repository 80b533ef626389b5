#include "app/DesktopUnit.h"
#include "app/MainUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "messaging/ServerQueueUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "messaging/widgets/QueueControllerUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "node/NodeUnit.h"
#include "support/CaseName.h"
#include "support/PresenceFixtures.h"
#include "text/MsgLangUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "text/widgets/RichShowUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "ui/TrayIconUnit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPointer>

namespace {

// The process-wide settings as each test found them.
class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        FBooleans = Params().Booleans;
        Params()[bpAutoPopupForm] = false;
        Params()[bpPlaySound] = false;
        Params()[bpOnlyUserNickname] = true;
        Params()[bpMinimizeAfterStart] = false;
    }
    void TearDown() override {
        Params().Booleans = FBooleans;
        QFile::remove(Params().ConfigFile());
    }

    static TBroadcastData Incoming(const QString& nick) {
        TBroadcastData r;
        r.NickName = nick;
        r.ComputerName = QStringLiteral("PC-") + nick;
        r.IPAddress = QStringLiteral("10.0.0.1");
        r.LanguageId = 1033;
        r.Summary = "hi";
        return r;
    }

private:
    std::array<bool, bpCount> FBooleans;
};

QList<TNewMsgForm*> MessageWindows() {
    QList<TNewMsgForm*> forms;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<TNewMsgForm*>(w)) forms << f;
    return forms;
}

void CloseMessageWindows() {
    for (TNewMsgForm* form : MessageWindows()) delete form;
}

TEST_F(MainQueueTest, TrayMenuSendsMessagesToListedUsersAndBroadcasts) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    form.Node().Model().UpdateOrAddUser(false, ukFull, NamedPeer(QStringLiteral("Ann")));
    form.Node().Model().UpdateOrAddUser(false, ukFull, NamedPeer(QStringLiteral("Bob")));

    // The window items in one block, in their order, between the help items and "Always On Top".
    QStringList names;
    for (QAction* item : form.TrayMenu()->actions())
        names << (item->isSeparator() ? QStringLiteral("-") : item->objectName());
    const qsizetype contents = names.indexOf(QStringLiteral("miTrayIconMenuContents"));
    ASSERT_GE(contents, 0);
    EXPECT_EQ(names.mid(contents, 10),
              QStringList({"miTrayIconMenuContents", "-", "miTrayIconMenuSendMessage", "miTrayIconMenuSendFile",
                           "miTrayIconMenuSendCMessage", "miTrayIconMenuBroadcast", "miTrayIconMenuManage", "miTrayIconMenuLogManagement", "-",
                           "miTrayIconMenuAlwaysOnTop"}));
    EXPECT_EQ(form.Action(QStringLiteral("miTrayIconMenuBroadcast"))->text(), QStringLiteral("&Broadcast Message..."));
    EXPECT_EQ(form.Action(QStringLiteral("miTrayIconMenuBroadcast"))->data().toInt(), 1201);

    emit form.TrayMenu()->aboutToShow();
    QMenu* send = form.Action(QStringLiteral("miTrayIconMenuSendMessage"))->menu();
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(form.Action(QStringLiteral("miTrayIconMenuSendMessage"))->text(), QStringLiteral("Send &Message..."));
    const QList<QAction*> users = send->actions();
    ASSERT_EQ(users.size(), 2);
    // Users from the last row to the first, each with its target in its hint.
    const QList<QModelIndex> rows = form.Node().Model().UserIndexes();
    const QString lastNick = form.Node().Model().NodeData(rows.last())->NickName;
    EXPECT_EQ(users[0]->text(), lastNick);
    EXPECT_EQ(users[0]->statusTip(),
              QStringList({lastNick, "PC-" + lastNick, "10.0.0.1", "{" + lastNick + "}"}).join(QLatin1Char('\t')));
    EXPECT_EQ(users[0]->data().toInt(), 1207);

    // Rebuilt on every opening: a user who left is gone.
    form.Node().Model().DeleteUserNode(rows.first());
    emit form.TrayMenu()->aboutToShow();
    EXPECT_EQ(send->actions().size(), 1);
}

TEST_F(MainQueueTest, ArrivingMessageIsQueuedAndAnimatesTheTray) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    emit form.Node().Chat().MessageArrived(Incoming(QStringLiteral("Ann")));
    ASSERT_EQ(desktop.Queue().Count(), 1);
    EXPECT_TRUE(form.Tray().IsAnimating());
    EXPECT_EQ(form.Tray().Hint(), QStringLiteral("Message From: Ann"));

    // An auto-replied message is nobody's business here.
    emit form.Node().Chat().MessageAutoReplied(Incoming(QStringLiteral("Bob")), QStringLiteral("busy"), true);
    EXPECT_EQ(desktop.Queue().Count(), 1);

    // Opening it (a double click) leaves the state text as the hint.
    form.Tray().DoubleClick();
    EXPECT_TRUE(desktop.Queue().IsEmpty());
    EXPECT_FALSE(form.Tray().IsAnimating());
    EXPECT_NE(form.Tray().Hint(), QStringLiteral("Message From: Ann"));
}

TEST_F(MainQueueTest, FileItemsOpenThroughTheFileOpeners) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    QList<TRequestDialogMode> modes;
    QStringList files;
    TQueueOpeners& openers = desktop.QueueController().Openers();
    openers.OpenFiles = [&files](const TFilesArrival& arrival) { files << arrival.SenderFolder; };
    openers.OpenRequest = [&modes](const TOnlineNotify&, TRequestDialogMode mode) { modes << mode; };
    TOnlineNotify offer = NamedPeer(QStringLiteral("Ann"));
    offer.SenderHandle = 17;
    emit form.Node().Transfer().OfferArrived(offer);
    ASSERT_EQ(desktop.Queue().Count(), 1);
    EXPECT_EQ(form.Tray().LoadedAnimation(), TTrayAnimation::File);

    TFilesArrival arrival;
    arrival.Data = Incoming(QStringLiteral("Bob"));
    arrival.SenderFolder = QStringLiteral("/rx/From_Bob/");
    emit form.Node().Transfer().FilesArrived(arrival, false);
    emit form.Node().Transfer().FilesArrived(arrival, true); // a live dialog took this one
    ASSERT_EQ(desktop.Queue().Count(), 2);

    // The sender withdraws the queued request.
    emit form.Node().Transfer().OfferCanceled(offer, false);
    EXPECT_EQ(KindOf(*desktop.Queue().Head()), qiFileRequestCanceled);
    form.Tray().DoubleClick();
    form.Tray().DoubleClick();
    EXPECT_EQ(modes, QList<TRequestDialogMode>{TRequestDialogMode::QueuedCancelled});
    EXPECT_EQ(files, QStringList{QStringLiteral("/rx/From_Bob/")});

    // With pop-up on, a request opens at once; a withdrawal with nothing queued tells so.
    Params()[bpAutoPopupForm] = true;
    emit form.Node().Transfer().OfferArrived(offer);
    emit form.Node().Transfer().OfferCanceled(offer, false);
    EXPECT_TRUE(desktop.Queue().IsEmpty());
    EXPECT_EQ(modes, (QList<TRequestDialogMode>{TRequestDialogMode::QueuedCancelled, TRequestDialogMode::New,
                                                TRequestDialogMode::Cancelled}));
}

// A user item of "Send &Message..." opens a compose window to that user, by
// nickname and with the id, so that a second pick brings the same window back.
TEST_F(MainQueueTest, TrayUserItemOpensAMessageWindowToThatUser) {
    CloseMessageWindows();
    Params()[bpAllowMultiForm] = false;
    Params()[bpChatMode] = false;
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    TOnlineNotify bob = NamedPeer(QStringLiteral("Bob"));
    bob.IPAddress = QStringLiteral("10.0.0.7");
    form.Node().Model().UpdateOrAddUser(false, ukFull, bob);
    emit form.TrayMenu()->aboutToShow();
    QMenu* send = form.Action(QStringLiteral("miTrayIconMenuSendMessage"))->menu();
    ASSERT_EQ(send->actions().size(), 1);
    send->actions().first()->trigger();
    QList<TNewMsgForm*> windows = MessageWindows();
    ASSERT_EQ(windows.size(), 1);
    TNewMsgForm* window = windows.first();
    EXPECT_TRUE(window->SendMode());
    EXPECT_FALSE(window->BroadcastMode());
    EXPECT_TRUE(window->UseNickname());
    ASSERT_EQ(window->Recipients().size(), 1);
    const TRecipient& to = window->Recipients().first();
    EXPECT_EQ(to.NickName, QStringLiteral("Bob"));
    EXPECT_EQ(to.ComputerName, QStringLiteral("PC-Bob"));
    EXPECT_EQ(to.IPAddress, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(to.UserId, QStringLiteral("{Bob}"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Send message to Bob"));

    emit form.TrayMenu()->aboutToShow();
    send->actions().first()->trigger();
    EXPECT_EQ(MessageWindows(), QList<TNewMsgForm*>{window});
    CloseMessageWindows();
}

// A received text is in its sender's code page; the window that shows it,
// from the queue or popped up at once, reads it in that code page.
struct TSenderTextCase {
    const char* Name;
    bool Broadcast;
    bool AutoPopup;
    bool ChatMode;
};
std::ostream& operator<<(std::ostream& os, const TSenderTextCase& c) { return os << c.Name; }

class MainQueueSenderText : public MainQueueTest, public ::testing::WithParamInterface<TSenderTextCase> {};

TEST_P(MainQueueSenderText, ReadWindowDecodesBySendersLanguage) {
    const TSenderTextCase& c = GetParam();
    Params()[bpAutoPopupForm] = c.AutoPopup;
    Params()[bpChatMode] = c.ChatMode;
    const QString text = QStringLiteral("明天一起吃午饭");
    CloseMessageWindows();
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    ASSERT_NE(form.Node().Client().Lang().LanguageId(), 2052);
    TBroadcastData record = Incoming(QStringLiteral("Wang"));
    record.UserId = QStringLiteral("{W}");
    record.LanguageId = 2052;
    record.Body = TMessageLang::Encode(2052, text);
    if (c.Broadcast) emit form.Node().Chat().BroadcastArrived(record);
    else emit form.Node().Chat().MessageArrived(record);
    if (!c.AutoPopup) {
        ASSERT_EQ(desktop.Queue().Count(), 1);
        form.Tray().DoubleClick();
    }
    const QList<TNewMsgForm*> windows = MessageWindows();
    ASSERT_EQ(windows.size(), 1);
    const QString shown = windows.first()->InChatMode() ? windows.first()->ChatPane()->toPlainText()
                                                        : windows.first()->Input()->toPlainText();
    EXPECT_TRUE(shown.contains(text)) << shown.toStdString();
    CloseMessageWindows();
    desktop.Queue().Clear();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MainQueueSenderText,
    ::testing::Values(TSenderTextCase{"QueuedBroadcast", true, false, false},
                      TSenderTextCase{"PoppedUpBroadcast", true, true, false},
                      TSenderTextCase{"QueuedMessage", false, false, false},
                      TSenderTextCase{"QueuedMessageInChat", false, false, true},
                      TSenderTextCase{"PoppedUpMessage", false, true, false}),
    TCaseName());

} // namespace
