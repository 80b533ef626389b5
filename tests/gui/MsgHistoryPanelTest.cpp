// The message window's history panel: the first tab by window kind, refused
// tabs, a double click putting an old message into the input, deleting.
#include "support/MsgFormFixture.h"

#include "chatlog/LogListModelUnit.h"
#include "chatlog/widgets/LogEntryDelegateUnit.h"
#include "messaging/widgets/MsgHistoryUnit.h"
#include "text/widgets/RichInputUnit.h"

#include <QListView>
#include <QTabBar>

namespace {

TLogRecord Single(const QString& computer, const QByteArray& content) {
    TLogRecord r;
    r.LogType = ltSingle;
    r.LangID = 1033;
    r.Content = content;
    r.First2Line = QStringLiteral("old\r\n");
    r.IP = QStringLiteral("10.0.0.9");
    r.Computer = computer;
    r.Nick = QStringLiteral("Ann");
    r.IfSendOut = true;
    return r;
}

class MsgHistory : public TMsgFormFixture {
protected:
    bool Loaded(THistoryPanel* panel, int rows) {
        return WaitUntil([&] { return !panel->Model().IsLoading() && panel->Model().rowCount() == rows; });
    }
};

TEST_F(MsgHistory, RelatedTabListsThePeerAndDoubleClickInsertsIntoTheInput) {
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("{\\rtf1\\ansi old words\\par}")));
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("OTHER"), QByteArray("not ours")));
    Node->ChatLog().Flush();
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    form->Input()->setPlainText(QStringLiteral("new "));
    form->Input()->moveCursor(QTextCursor::End);
    form->ToggleHistory();
    THistoryPanel* panel = form->History();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->CurrentTab(), THistoryPanel::tabRelated);
    ASSERT_TRUE(Loaded(panel, 1));
    // Entries are drawn as the log manager draws them: three lines each.
    auto* list = panel->findChild<QListView*>(QStringLiteral("lbHistory"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->sizeHintForRow(0), TLogEntryDelegate::ItemHeight(list->fontMetrics()));
    bool inserted = false;
    QObject::connect(panel, &THistoryPanel::EntryInserted, [&] { inserted = true; });
    panel->InsertEntry(0);
    ASSERT_TRUE(WaitUntil([&] { return inserted; }));
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("new old words"));
}

TEST_F(MsgHistory, ReadWindowIgnoresDoubleClick) {
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("old")));
    Node->ChatLog().Flush();
    Params()[bpChatMode] = false;
    TNewMsgForm* form = Open(false, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))},
                             {}, QByteArray("shown"));
    form->ToggleHistory();
    ASSERT_TRUE(Loaded(form->History(), 1));
    form->History()->InsertEntry(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Input()->toPlainText(), QStringLiteral("shown"));
}

TEST_F(MsgHistory, BroadcastAndGroupWindowsRefuseOtherTabs) {
    TNewMsgForm* broadcast = Open(true, true, true, {});
    broadcast->ToggleHistory();
    EXPECT_EQ(broadcast->History()->CurrentTab(), THistoryPanel::tabBroadcast);
    for (int tab : {THistoryPanel::tabRelated, THistoryPanel::tabAllSingle, THistoryPanel::tabGroup})
        EXPECT_FALSE(broadcast->History()->SelectTab(tab));
    EXPECT_EQ(broadcast->History()->CurrentTab(), THistoryPanel::tabBroadcast);

    TNewMsgForm* group = Open(true, false, true,
                              {User(QStringLiteral("A"), QStringLiteral("PCA"), QStringLiteral("10.0.0.1")),
                               User(QStringLiteral("B"), QStringLiteral("PCB"), QStringLiteral("10.0.0.2"))});
    group->ToggleHistory();
    EXPECT_EQ(group->History()->CurrentTab(), THistoryPanel::tabGroup);
    EXPECT_FALSE(group->History()->SelectTab(THistoryPanel::tabRelated));
    EXPECT_TRUE(group->History()->SelectTab(THistoryPanel::tabAllSingle));
}

TEST_F(MsgHistory, ReopeningAddsNewerRecordsOnTop) {
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("one")));
    Node->ChatLog().Flush();
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    const int height = form->height();
    form->ToggleHistory();
    ASSERT_TRUE(Loaded(form->History(), 1));
    EXPECT_GT(form->height(), height);
    form->ToggleHistory();
    EXPECT_EQ(form->height(), height);
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("two")));
    Node->ChatLog().Flush();
    form->ToggleHistory();
    ASSERT_TRUE(Loaded(form->History(), 2));
    EXPECT_GT(form->History()->Model().EntryAt(0).ID, form->History()->Model().EntryAt(1).ID);
}

TEST_F(MsgHistory, DeleteSelectedAsksAndRemovesTheRecord) {
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("one")));
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("two")));
    Node->ChatLog().Flush();
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    form->ToggleHistory();
    THistoryPanel* panel = form->History();
    ASSERT_TRUE(Loaded(panel, 2));
    const qint64 top = panel->Model().EntryAt(0).ID;
    panel->List()->setCurrentIndex(panel->Model().index(0));
    BoxAnswer = Utils::TMessageBoxResult::No;
    panel->DeleteSelectedExecute();
    EXPECT_EQ(panel->Model().rowCount(), 2);
    BoxAnswer = Utils::TMessageBoxResult::Yes;
    panel->DeleteSelectedExecute();
    EXPECT_EQ(panel->Model().rowCount(), 1);
    EXPECT_NE(panel->Model().EntryAt(0).ID, top);
    EXPECT_EQ(Boxes.size(), 2);
    // The record is gone from the log too.
    Node->ChatLog().Flush();
    panel->RefreshExecute();
    ASSERT_TRUE(Loaded(panel, 1));
    EXPECT_NE(panel->Model().EntryAt(0).ID, top);
}

TEST_F(MsgHistory, DeleteAllOnTheRelatedTabDeletesThatComputersMessages) {
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("one")));
    TLogRecord elsewhere = Single(QStringLiteral("PCA"), QByteArray("same computer, other address"));
    elsewhere.IP = QStringLiteral("10.0.0.77");
    Node->ChatLog().AddLogRecord(elsewhere);
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("OTHER"), QByteArray("stays")));
    Node->ChatLog().Flush();
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    form->ToggleHistory();
    THistoryPanel* panel = form->History();
    ASSERT_TRUE(Loaded(panel, 1));
    BoxAnswer = Utils::TMessageBoxResult::Yes;
    panel->DeleteAllExecute();
    Node->ChatLog().Flush();
    ASSERT_TRUE(panel->SelectTab(THistoryPanel::tabAllSingle));
    ASSERT_TRUE(Loaded(panel, 1));
    EXPECT_EQ(panel->Model().EntryAt(0).Computer, QStringLiteral("OTHER"));
}

} // namespace
