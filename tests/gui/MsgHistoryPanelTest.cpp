// The message window's history panel: the first tab by window kind, refused
// tabs, a double click putting an old message into the input, deleting.
#include "support/CaseName.h"
#include "support/MsgFormFixture.h"

#include "chatlog/LogListModelUnit.h"
#include "chatlog/widgets/LogEntryDelegateUnit.h"
#include "messaging/widgets/MsgHistoryUnit.h"
#include "text/widgets/RichInputUnit.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QScrollBar>
#include <QMenu>
#include <QSplitter>
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

TLogRecord OfCategory(TLogType type, const QString& nick, const QByteArray& content) {
    TLogRecord r = Single(QString(), content);
    r.LogType = type;
    r.IfBroadcast = type == ltBroadcast;
    r.IP.clear();
    r.Nick = nick;
    return r;
}

struct TExportCase {
    const char* Name;
    int Tab;
    QString ProposedName;
    QStringList Shown;    // the words of the records the tab lists
    QStringList Elsewhere; // words of records it does not list
};
std::ostream& operator<<(std::ostream& os, const TExportCase& c) { return os << c.Name; }

class MsgHistoryExport : public MsgHistory, public ::testing::WithParamInterface<TExportCase> {};

// The exported file holds what the tab lists, and nothing of the other tabs.
TEST_P(MsgHistoryExport, FileHoldsTheListedRecords) {
    const TExportCase& c = GetParam();
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("{\\rtf1\\ansi annword\\par}")));
    Node->ChatLog().AddLogRecord(Single(QStringLiteral("OTHER"), QByteArray("{\\rtf1\\ansi otherword\\par}")));
    Node->ChatLog().AddLogRecord(OfCategory(ltBroadcast, QStringLiteral("Bob"), QByteArray("castword")));
    Node->ChatLog().AddLogRecord(OfCategory(ltGroup, QStringLiteral("Ann(PCA);Bob(PCB)"),
                                        QByteArray("{\\rtf1\\ansi groupword\\par}")));
    Node->ChatLog().Flush();
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    THistoryPanel* panel = form->History();
    const QString target = Home.File(QStringLiteral("exported.rtf"));
    QList<TFileDialogRequest> asked;
    panel->SetFileDialog([&](QWidget*, const TFileDialogRequest& request) {
        asked << request;
        return target;
    });
    form->ToggleHistory();
    ASSERT_TRUE(panel->SelectTab(c.Tab));
    ASSERT_TRUE(Loaded(panel, int(c.Shown.size())));

    panel->ExportExecute();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].Save);
    EXPECT_EQ(asked[0].ProposedName, c.ProposedName);
    EXPECT_EQ(asked[0].DefaultSuffix, QStringLiteral("rtf"));
    EXPECT_EQ(asked[0].Filter, QStringLiteral("Rich Text Format(*.rtf)"));
    Node->ChatLog().Flush();
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    for (const QString& word : c.Shown) EXPECT_TRUE(written.contains(word.toLatin1())) << word.toStdString();
    for (const QString& word : c.Elsewhere) EXPECT_FALSE(written.contains(word.toLatin1())) << word.toStdString();
    EXPECT_TRUE(Boxes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Tabs, MsgHistoryExport,
    ::testing::Values(
        TExportCase{"Related", THistoryPanel::tabRelated, "QLMRelatedChatLog.rtf", {"annword"},
                    {"otherword", "castword", "groupword"}},
        TExportCase{"AllSingle", THistoryPanel::tabAllSingle, "QLMAllSingleChatLog.rtf", {"annword", "otherword"},
                    {"castword", "groupword"}},
        TExportCase{"Broadcast", THistoryPanel::tabBroadcast, "QLMBroadcastChatLog.rtf", {"castword"},
                    {"annword", "otherword", "groupword"}},
        TExportCase{"Group", THistoryPanel::tabGroup, "QLMGroupChatLog.rtf", {"groupword"},
                    {"annword", "otherword", "castword"}}),
    TCaseName());

// An empty list offers no export nor Delete All; a cancelled dialog writes nothing.
TEST_F(MsgHistory, ExportNeedsEntriesAndAChosenFile) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    THistoryPanel* panel = form->History();
    int asked = 0;
    QString answer;
    panel->SetFileDialog([&](QWidget*, const TFileDialogRequest&) {
        ++asked;
        return answer;
    });
    form->ToggleHistory();
    ASSERT_TRUE(Loaded(panel, 0));
    const auto item = [panel](const char* name) { return panel->Popup()->findChild<QAction*>(QString::fromLatin1(name)); };
    emit panel->Popup()->aboutToShow();
    EXPECT_FALSE(item("miExport")->isEnabled());
    EXPECT_FALSE(item("miDeleteAll")->isEnabled());
    EXPECT_TRUE(item("miRefresh")->isEnabled());
    EXPECT_TRUE(item("miDeleteSelected")->isEnabled());
    panel->ExportExecute();
    EXPECT_EQ(asked, 0);

    Node->ChatLog().AddLogRecord(Single(QStringLiteral("PCA"), QByteArray("one")));
    Node->ChatLog().Flush();
    panel->RefreshExecute();
    ASSERT_TRUE(Loaded(panel, 1));
    emit panel->Popup()->aboutToShow();
    EXPECT_TRUE(item("miExport")->isEnabled());
    EXPECT_TRUE(item("miDeleteAll")->isEnabled());
    panel->ExportExecute();
    EXPECT_EQ(asked, 1);
    Node->ChatLog().Flush();
    EXPECT_TRUE(QDir(Home.Path()).entryList({QStringLiteral("*.rtf")}, QDir::Files).isEmpty());
}

// A panel made taller by its splitter keeps that height: hiding shrinks the
// window by it, and the next showing (in this window or the next) uses it.
TEST_F(MsgHistory, PanelKeepsTheHeightItWasDraggedTo) {
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    const int first = form->History()->UsableHeight() + 10;
    Params()[ipMessageFormRecordHeight] = first;
    auto* splitter = form->findChild<QSplitter*>(QStringLiteral("RecordSplitter"));
    ASSERT_NE(splitter, nullptr);
    const int closed = form->height();
    form->ToggleHistory();
    QCoreApplication::processEvents();
    ASSERT_EQ(form->History()->height(), first);
    const QList<int> sizes = splitter->sizes();
    splitter->setSizes({sizes[0] - 50, sizes[1] + 50});
    ASSERT_EQ(form->History()->height(), first + 50);
    const int upper = splitter->sizes()[0];
    form->ToggleHistory();
    EXPECT_EQ(Params()[ipMessageFormRecordHeight], first + 50);
    EXPECT_EQ(form->height(), closed - 50);
    QCoreApplication::processEvents();
    form->ToggleHistory();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->History()->height(), first + 50);
    EXPECT_EQ(splitter->sizes()[0], upper);
}

// The first showing (the stored height is the small default) shows two whole
// entries and the tabs, and a long entry is cut, never scrolled sideways.
TEST_F(MsgHistory, OpensWithRoomForEntriesAndNoSidewaysScrolling) {
    Params()[ipMessageFormRecordHeight] = 100;
    TLogRecord wide = Single(QStringLiteral("PCA"), QByteArray("wide"));
    wide.First2Line = QString(400, QLatin1Char('w')) + QStringLiteral("\r\n");
    for (int i = 0; i < 3; ++i) Node->ChatLog().AddLogRecord(wide);
    Node->ChatLog().Flush();
    TNewMsgForm* form = Open(true, false, true, {User(QStringLiteral("Ann"), QStringLiteral("PCA"), QStringLiteral("10.0.0.9"))});
    form->ToggleHistory();
    QCoreApplication::processEvents();
    THistoryPanel* panel = form->History();
    ASSERT_TRUE(Loaded(panel, 3));
    auto* list = panel->findChild<QListView*>(QStringLiteral("lbHistory"));
    ASSERT_NE(list, nullptr);
    EXPECT_GE(panel->height(), panel->UsableHeight());
    EXPECT_GE(list->viewport()->height(), 2 * TLogEntryDelegate::ItemHeight(list->fontMetrics()));
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    EXPECT_LE(list->visualRect(list->model()->index(0, 0)).width(), list->viewport()->width());
}

} // namespace
