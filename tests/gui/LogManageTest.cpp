// The log manager over a real log: the tree and its lazy user nodes, the
// list's entries and pages, refresh, deleting, exporting, searching, menu states.
#include "chatlog/widgets/LogManageUnit.h"

#include "chatlog/widgets/LogEntryDelegateUnit.h"
#include "core/TextFormatUnit.h"
#include "support/CaseName.h"
#include "support/LogManageFixture.h"
#include "text/MsgLangUnit.h"
#include "text/widgets/RichShowUnit.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

namespace {

using ChatLogFixtures::When;

class LogManageTest : public TLogManageFixture {};

QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) texts += node->child(i)->text(0);
    return texts;
}

TEST_F(LogManageTest, TreeHasTheFixedCategoriesAndLoadsUserNodesOnFirstExpansion) {
    Add({Record(ltSingle, QStringLiteral("Alice"), "a"), Record(ltSingle, QStringLiteral("<No_Nick>"), "n"),
         Record(ltSingle, QStringLiteral("Alice"), "a2")});
    TLogManage& w = Open();
    QTreeWidgetItem* root = w.Node(TLogManage::nkRoot);
    EXPECT_EQ(root->text(0), QStringLiteral("Log Categories"));
    EXPECT_EQ(w.Tree()->currentItem(), root);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(ChildTexts(root), (QStringList{QStringLiteral("All Single Log"), QStringLiteral("Broadcast Log"),
                                            QStringLiteral("Group Log"), QStringLiteral("File Log")}));
    // Nothing is read before the node opens (the reader answers in order: a
    // listing that came back means an earlier request would have too).
    ASSERT_TRUE(List(w.Node(TLogManage::nkBroadcast)));
    QTreeWidgetItem* single = w.Node(TLogManage::nkAllSingle);
    EXPECT_EQ(ChildTexts(single), QStringList{QStringLiteral("<All Users>")});
    EXPECT_FALSE(w.UserNodesLoaded());

    ASSERT_TRUE(ExpandSingle());
    QStringList texts = ChildTexts(single);
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts.takeFirst(), QStringLiteral("<All Users>"));
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Alice"), QStringLiteral("NoNick<Neiborhood>")}));
    // The node keeps the nickname as stored, and lists by it.
    QTreeWidgetItem* noNick = w.UserNode(QStringLiteral("<No_Nick>"));
    ASSERT_NE(noNick, nullptr);
    EXPECT_EQ(noNick->text(0), QStringLiteral("NoNick<Neiborhood>"));
    ASSERT_TRUE(List(noNick));
    EXPECT_EQ(Rows(), 1);
    ASSERT_TRUE(List(w.UserNode(QStringLiteral("Alice"))));
    EXPECT_EQ(Rows(), 2);

    // The root does not close.
    root->setExpanded(false);
    EXPECT_TRUE(root->isExpanded());
}

// "All Single Log" lists what its "<All Users>" lists, and the content pane
// follows the selected entry, however it was selected.
TEST_F(LogManageTest, CategoryNodeListsItsRecordsAndThePaneFollowsTheSelection) {
    Add({Record(ltSingle, QStringLiteral("Alice"), "first words"), Record(ltSingle, QStringLiteral("Bob"), "second words"),
         Record(ltBroadcast, QStringLiteral("B"), "not single")});
    TLogManage& w = Open();
    ASSERT_TRUE(List(w.Node(TLogManage::nkAllSingle)));
    ASSERT_EQ(Rows(), 2);
    for (int row : {0, 1, 0}) {
        SelectRow(row);
        ASSERT_TRUE(WaitFor([&] { return w.ShownRecord() == IdAt(row); })) << row;
        EXPECT_EQ(w.Content()->toPlainText(), row == 0 ? QStringLiteral("second words") : QStringLiteral("first words"));
    }
    ASSERT_TRUE(List(w.Node(TLogManage::nkAllUsers)));
    EXPECT_EQ(Rows(), 2);
}

TEST_F(LogManageTest, EmptyLogShowsOnlyAllUsersAndRefreshReadsUserNodesAgain) {
    TLogManage& w = Open();
    ASSERT_TRUE(ExpandSingle());
    EXPECT_EQ(ChildTexts(w.Node(TLogManage::nkAllSingle)), QStringList{QStringLiteral("<All Users>")});
    Add({Record(ltSingle, QStringLiteral("Bob"), "b")});
    w.SelectNode(w.Node(TLogManage::nkAllSingle));
    w.RefreshExecute();
    ASSERT_TRUE(WaitFor([&] { return w.UserNode(QStringLiteral("Bob")) != nullptr; }));
    EXPECT_EQ(ChildTexts(w.Node(TLogManage::nkAllSingle)),
              (QStringList{QStringLiteral("<All Users>"), QStringLiteral("Bob")}));
}

// What an entry is drawn as, by category and direction.
struct TDrawCase {
    std::string Name;
    TLogType Type;
    bool SendOut;
    QString Nick;
    const char* Pattern; // the header with the name and time
    QString Name2;       // the name in the header
};
void PrintTo(const TDrawCase& c, std::ostream* os) { *os << c.Name; }

class LogEntryDrawing : public LogManageTest, public ::testing::WithParamInterface<TDrawCase> {};

TEST_P(LogEntryDrawing, HeaderTextAndBandFollowTheModel) {
    const TDrawCase& c = GetParam();
    TLogRecord record = Record(c.Type, c.Nick, "x", c.SendOut);
    record.First2Line = QStringLiteral("first line\r\nsecond line");
    Add({record});
    TLogManage& w = Open();
    const TLogManage::TNodeKind kinds[] = {TLogManage::nkAllUsers, TLogManage::nkAllUsers, TLogManage::nkBroadcast,
                                           TLogManage::nkGroup, TLogManage::nkFile};
    ASSERT_TRUE(List(w.Node(kinds[c.Type])));
    ASSERT_EQ(Rows(), 1);

    QStyleOptionViewItem option;
    option.initFrom(w.List());
    option.font = w.List()->font();
    const int height = TLogEntryDelegate::ItemHeight(QFontMetrics(option.font));
    option.rect = QRect(0, 0, 2000, height);
    const QModelIndex index = Shown()->index(0, 0);
    const TLogEntryDelegate::TLayout layout = TLogEntryDelegate::Layout(option, index);
    const QString header = FormatText(QString::fromLatin1(c.Pattern), {c.Name2, ChatLog::LogTimeText(When()), {}, {}});
    ASSERT_EQ(layout.Lines.size(), 3);
    EXPECT_EQ(layout.Lines[0], header);
    EXPECT_EQ(index.data(TLogListModel::HeaderRole).toString(), header);
    EXPECT_EQ(layout.Lines[1], QStringLiteral("first line"));
    EXPECT_EQ(layout.Lines[2], QStringLiteral("second line"));
    EXPECT_EQ(layout.Band, c.SendOut ? QColor(224, 252, 224) : QColor(182, 218, 240));
    EXPECT_EQ(layout.BandRect.height(), height / 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(layout.LineRects[i].left(), 2);
        EXPECT_EQ(layout.LineRects[i].top(), i * (height / 3));
    }

    // Selected: the highlight, no band; a narrow item cuts its lines.
    option.state |= QStyle::State_Selected;
    option.rect = QRect(0, 0, 60, height);
    const TLogEntryDelegate::TLayout selected = TLogEntryDelegate::Layout(option, index);
    EXPECT_FALSE(selected.Band.isValid());
    EXPECT_EQ(selected.Background, option.palette.color(QPalette::Highlight));
    EXPECT_TRUE(selected.Lines[0].endsWith(QChar(0x2026))) << selected.Lines[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Categories, LogEntryDrawing,
    ::testing::Values(
        TDrawCase{"SingleSent", ltSingle, true, QStringLiteral("Bob"), "To %s Time %s%s%s", QStringLiteral("Bob(PC-1)")},
        TDrawCase{"SingleReceived", ltSingle, false, QStringLiteral("Bob"), "From %s Time %s%s%s",
                  QStringLiteral("Bob(PC-1)")},
        TDrawCase{"BroadcastSent", ltBroadcast, true, QStringLiteral("All(Broadcast)"), "<Broadcast>To %s Time %s%s%s",
                  QStringLiteral("All(Broadcast)")},
        TDrawCase{"BroadcastReceived", ltBroadcast, false, QStringLiteral("Carol"), "<Broadcast>From %s Time %s%s%s",
                  QStringLiteral("Carol(PC-1)")},
        TDrawCase{"Group", ltGroup, true, QStringLiteral("A(PC-A);B(PC-B)"), "<Group>To %s Time %s%s%s",
                  QStringLiteral("A(PC-A);B(PC-B)")},
        TDrawCase{"FileReceived", ltFile, false, QStringLiteral("Dan"), "From %s Time %s%s%s",
                  QStringLiteral("Dan(PC-1)")}),
    TCaseName());

TEST_F(LogManageTest, LargeCategoryShowsItsFirstPageAndFetchesMoreOnScroll) {
    QList<TLogRecord> records;
    for (int i = 0; i < 1500; ++i) records += Record(ltBroadcast, QStringLiteral("N%1").arg(i), "b");
    Add(records);
    TLogManage& w = Open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(List(w.Node(TLogManage::nkBroadcast)));
    // One page, newest first, and more to come.
    ASSERT_EQ(Rows(), TLogListModel::DefaultPageSize);
    EXPECT_EQ(IdAt(0), 1500);
    EXPECT_TRUE(w.ListModel().canFetchMore({}));
    w.List()->scrollToBottom();
    ASSERT_TRUE(WaitFor([&] { return Rows() >= 2 * TLogListModel::DefaultPageSize; }));
    for (int row = 1; row < Rows(); ++row) ASSERT_EQ(IdAt(row), IdAt(row - 1) - 1) << row;
    EXPECT_LT(Rows(), 1500);
}

TEST_F(LogManageTest, RefreshPutsNewerRecordsOnTop) {
    Add({Record(ltGroup, QStringLiteral("g1"), "1"), Record(ltGroup, QStringLiteral("g2"), "2")});
    TLogManage& w = Open();
    ASSERT_TRUE(List(w.Node(TLogManage::nkGroup)));
    ASSERT_EQ(Rows(), 2);
    const qint64 top = IdAt(0);
    Add({Record(ltGroup, QStringLiteral("g3"), "3"), Record(ltGroup, QStringLiteral("g4"), "4")});
    // Nothing changes by itself.
    EXPECT_EQ(Rows(), 2);
    w.RefreshExecute();
    ASSERT_TRUE(WaitFor([&] { return Rows() == 4; }));
    EXPECT_EQ(IdAt(0), top + 2);
    EXPECT_EQ(IdAt(1), top + 1);
    EXPECT_EQ(IdAt(2), top);
}

TEST_F(LogManageTest, DeleteSelectedAsksThenRemovesRecordEntryAndEmptiedUserNode) {
    Add({Record(ltSingle, QStringLiteral("Alice"), "a"), Record(ltSingle, QStringLiteral("Bob"), "b1"),
         Record(ltSingle, QStringLiteral("Bob"), "b2")});
    TLogManage& w = Open();
    ASSERT_TRUE(ExpandSingle());
    ASSERT_TRUE(List(w.UserNode(QStringLiteral("Alice"))));
    ASSERT_EQ(Rows(), 1);
    SelectRow(0);
    Answer = Utils::TMessageBoxResult::No;
    w.DeleteSelectedExecute();
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Are you sure to delete the selected record?")});
    EXPECT_FALSE(w.Busy());
    EXPECT_EQ(Count(QStringLiteral("Message")), 3);

    Answer = Utils::TMessageBoxResult::Yes;
    w.DeleteSelectedExecute();
    ASSERT_TRUE(WaitFor([&] { return !w.Busy() && Rows() == 0; }));
    EXPECT_EQ(Count(QStringLiteral("Message")), 2);
    // Alice's last message went: so does her node, and the selection moves up.
    ASSERT_TRUE(WaitFor([&] { return w.UserNode(QStringLiteral("Alice")) == nullptr; }));
    EXPECT_NE(w.UserNode(QStringLiteral("Bob")), nullptr);
    EXPECT_EQ(w.Tree()->currentItem(), w.Node(TLogManage::nkAllSingle));
}

TEST_F(LogManageTest, DeleteAllOfAUserNodeTakesOnlyThatNicknameAndItsNode) {
    Add({Record(ltSingle, QStringLiteral("<No_Nick>"), "n1"), Record(ltSingle, QStringLiteral("<No_Nick>"), "n2"),
         Record(ltSingle, QStringLiteral("Bob"), "b")});
    TLogManage& w = Open();
    ASSERT_TRUE(ExpandSingle());
    ASSERT_TRUE(List(w.UserNode(QStringLiteral("<No_Nick>"))));
    ASSERT_EQ(Rows(), 2);
    w.DeleteAllExecute();
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Are you sure to delete all log in the selected category?")});
    ASSERT_TRUE(WaitFor([&] { return !w.Busy() && w.UserNode(QStringLiteral("<No_Nick>")) == nullptr; }));
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Count(QStringLiteral("Message")), 1);
    EXPECT_NE(w.UserNode(QStringLiteral("Bob")), nullptr);
}

TEST_F(LogManageTest, DeleteAllBroadcastsEmptiesListAndSideFiles) {
    Add({Record(ltBroadcast, QStringLiteral("A"), "1"), Record(ltBroadcast, QStringLiteral("B"), "2"),
         Record(ltGroup, QStringLiteral("G"), "g")});
    TLogManage& w = Open();
    ASSERT_TRUE(List(w.Node(TLogManage::nkBroadcast)));
    ASSERT_EQ(Rows(), 2);
    w.DeleteAllExecute();
    ASSERT_TRUE(WaitFor([&] { return !w.Busy() && !w.ListModel().IsLoading(); }));
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Count(QStringLiteral("Broadcast")), 0);
    EXPECT_EQ(Count(QStringLiteral("GroupMsg")), 1);
    EXPECT_FALSE(QFile::exists(Home.Path() + QStringLiteral("ChatDB/Content/1.Broadcast.db")));
    EXPECT_FALSE(w.Action(QStringLiteral("tbExport"))->isEnabled());
}

// The save dialog of an export, by node.
struct TExportCase {
    std::string Name;
    TLogManage::TNodeKind Kind;
    QString Proposed;
    QString Suffix;
    QByteArray FirstLine;
};
void PrintTo(const TExportCase& c, std::ostream* os) { *os << c.Name; }

class LogExport : public LogManageTest, public ::testing::WithParamInterface<TExportCase> {};

TEST_P(LogExport, AsksForTheFileAndWritesTheCategory) {
    const TExportCase& c = GetParam();
    Add({Record(ltSingle, QStringLiteral("Alice"), "hello"), Record(ltSingle, QStringLiteral("Bob"), "bob's"),
         Record(ltBroadcast, QStringLiteral("All(Broadcast)"), "cast", true), Record(ltGroup, QStringLiteral("G"), "g"),
         Record(ltFile, QStringLiteral("F"), "<File>a.txt")});
    TLogManage& w = Open();
    ASSERT_TRUE(ExpandSingle());
    ASSERT_TRUE(List(c.Kind == TLogManage::nkUser ? w.UserNode(QStringLiteral("Alice")) : w.Node(c.Kind)));
    ASSERT_TRUE(w.Action(QStringLiteral("tbExport"))->isEnabled());
    // Cancel writes nothing.
    w.ExportExecute();
    ASSERT_EQ(Requests.size(), 1);
    EXPECT_FALSE(w.Busy());
    EXPECT_TRUE(Requests[0].Save);
    EXPECT_EQ(Requests[0].ProposedName, c.Proposed);
    EXPECT_EQ(Requests[0].DefaultSuffix, c.Suffix);
    EXPECT_TRUE(Requests[0].Filter.endsWith(QStringLiteral("(*.") + c.Suffix + QLatin1Char(')'))) << Requests[0].Filter.toStdString();

    SavePath = Home.File(c.Proposed);
    w.ExportExecute();
    ASSERT_TRUE(WaitFor([&] { return !w.Busy(); }));
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join(QLatin1Char('\n')).toStdString();
    const QByteArray written = Home.Read(c.Proposed);
    EXPECT_TRUE(written.startsWith(c.FirstLine)) << written.left(80).toStdString();
    if (c.Kind == TLogManage::nkUser) {
        EXPECT_TRUE(written.contains("---Related Log: Alice---"));
        EXPECT_TRUE(written.contains("hello"));
        EXPECT_FALSE(written.contains("bob's"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, LogExport,
    ::testing::Values(
        TExportCase{"User", TLogManage::nkUser, QStringLiteral("QLMRelatedChatLog.rtf"), QStringLiteral("rtf"), "{\\rtf1"},
        TExportCase{"AllUsers", TLogManage::nkAllUsers, QStringLiteral("QLMAllSingleChatLog.rtf"), QStringLiteral("rtf"),
                    "{\\rtf1"},
        TExportCase{"AllSingleLog", TLogManage::nkAllSingle, QStringLiteral("QLMAllSingleChatLog.rtf"),
                    QStringLiteral("rtf"), "{\\rtf1"},
        TExportCase{"Broadcast", TLogManage::nkBroadcast, QStringLiteral("QLMBroadcastChatLog.txt"),
                    QStringLiteral("txt"), "Quillmate Chat Log"},
        TExportCase{"Group", TLogManage::nkGroup, QStringLiteral("QLMGroupChatLog.rtf"), QStringLiteral("rtf"), "{\\rtf1"},
        TExportCase{"File", TLogManage::nkFile, QStringLiteral("QLMFileLog.txt"), QStringLiteral("txt"),
                    "Quillmate Chat Log"}),
    TCaseName());

TEST_F(LogManageTest, SearchListsHitsLikeEntriesAndOpensTheRecord) {
    // A group message from a Simplified Chinese node: its text in GBK.
    TLogRecord chinese = Record(ltGroup, QStringLiteral("G"), TMessageLang::Encode(2052, QStringLiteral("明天一起吃午饭")));
    chinese.LangID = 2052;
    Add({Record(ltSingle, QStringLiteral("Alice"), "lunch at noon?"), Record(ltBroadcast, QStringLiteral("B"), "no"),
         chinese, Record(ltFile, QStringLiteral("F"), "<File>lunch-menu.pdf")});
    TLogManage& w = Open();
    ASSERT_TRUE(List(w.Node(TLogManage::nkBroadcast)));
    // One letter is a search of its own (a Chinese word is often one character).
    w.SearchExecute(QStringLiteral("l"));
    ASSERT_TRUE(w.Searching());
    ASSERT_TRUE(WaitFor([&] { return !w.SearchModel().IsLoading(); }));
    EXPECT_EQ(Rows(), 2);

    w.SearchBox()->setText(QStringLiteral("lunch"));
    QTest::keyClick(w.SearchBox(), Qt::Key_Return);
    ASSERT_TRUE(w.Searching());
    ASSERT_TRUE(WaitFor([&] { return !w.SearchModel().IsLoading(); }));
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Shown(), &w.SearchModel());
    // The status line counts every hit, not only the listed page.
    ASSERT_TRUE(WaitFor([&] { return w.SearchModel().HitCount() >= 0; }));
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(), QStringLiteral("2 records found"));
    // Newest first; the file record's header names its category's direction.
    EXPECT_TRUE(Shown()->index(0, 0).data(TLogListModel::HeaderRole).toString().startsWith(QStringLiteral("From F(")));
    // Selecting a hit shows it: no double click needed.
    SelectRow(1);
    ASSERT_TRUE(WaitFor([&] { return w.ShownRecord() != 0; }));
    EXPECT_EQ(w.ShownRecord(), 1);
    EXPECT_EQ(w.Content()->toPlainText(), QStringLiteral("lunch at noon?"));

    // The hits export as one document.
    ASSERT_TRUE(w.Action(QStringLiteral("tbExport"))->isEnabled());
    ASSERT_TRUE(w.Action(QStringLiteral("miLogListExport"))->isEnabled());
    SavePath = Home.File(QStringLiteral("hits.rtf"));
    w.ExportExecute();
    ASSERT_EQ(Requests.size(), 1);
    EXPECT_EQ(Requests[0].ProposedName, QStringLiteral("QLMSearchResults.rtf"));
    ASSERT_TRUE(WaitFor([&] { return !w.Busy(); }));
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join(QLatin1Char('\n')).toStdString();
    const QByteArray hits = Home.Read(QStringLiteral("hits.rtf"));
    EXPECT_TRUE(hits.startsWith("{\\rtf1")) << hits.left(80).toStdString();
    EXPECT_TRUE(hits.contains("---Search Results: lunch---"));
    EXPECT_TRUE(hits.contains("lunch at noon?"));
    EXPECT_TRUE(hits.contains("<File>lunch-menu.pdf"));
    EXPECT_LT(hits.indexOf("{\\rtf1", 1), 0) << "a record's own document start was copied";

    w.SearchExecute(QStringLiteral("午饭"));
    ASSERT_TRUE(WaitFor([&] { return !w.SearchModel().IsLoading(); }));
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(IdAt(0), 1); // the group table's first record
    // Clearing the box lists the node again.
    w.SearchBox()->clear();
    EXPECT_FALSE(w.Searching());
    ASSERT_TRUE(WaitFor([&] { return !w.ListModel().IsLoading(); }));
    EXPECT_EQ(Shown(), &w.ListModel());
    EXPECT_EQ(Rows(), 1);
}

TEST_F(LogManageTest, ANewSearchDropsTheAnswerToTheLastOne) {
    Add({Record(ltSingle, QStringLiteral("Alice"), "apple pie"), Record(ltSingle, QStringLiteral("Bob"), "banana bread")});
    TLogManage& w = Open();
    w.SearchExecute(QStringLiteral("apple"));
    w.SearchExecute(QStringLiteral("banana"));
    ASSERT_TRUE(WaitFor([&] { return !w.SearchModel().IsLoading(); }));
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(w.SearchModel().EntryAt(0).Nick, QStringLiteral("Bob"));
}

TEST_F(LogManageTest, DeletingASearchHitRemovesItFromTheHits) {
    Add({Record(ltSingle, QStringLiteral("Alice"), "coffee"), Record(ltGroup, QStringLiteral("G"), "more coffee")});
    TLogManage& w = Open();
    w.SearchExecute(QStringLiteral("coffee"));
    ASSERT_TRUE(WaitFor([&] { return !w.SearchModel().IsLoading() && Rows() == 2; }));
    SelectRow(0); // the group record
    w.DeleteSelectedExecute();
    ASSERT_TRUE(WaitFor([&] { return !w.Busy(); }));
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(Count(QStringLiteral("GroupMsg")), 0);
    EXPECT_EQ(Count(QStringLiteral("Message")), 1);
}

TEST_F(LogManageTest, OneWindowAtATime) {
    TLogManage* first = TLogManage::ShowLogManager(*Log);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TLogManage::OpenWindow(), first);
    first->showMinimized();
    EXPECT_EQ(TLogManage::ShowLogManager(*Log), first);
    EXPECT_FALSE(first->isMinimized());
    QPointer<TLogManage> gone(first);
    first->close(); // freed when closed
    ASSERT_TRUE(WaitFor([&] { return gone.isNull(); }));
    EXPECT_EQ(TLogManage::OpenWindow(), nullptr);
    TLogManage* second = TLogManage::ShowLogManager(*Log);
    EXPECT_NE(second, nullptr);
    second->close();
    QPointer<TLogManage> alsoGone(second);
    ASSERT_TRUE(WaitFor([&] { return alsoGone.isNull(); }));
}

// Which popup and tool-bar items are enabled.
struct TMenuCase {
    std::string Name;
    TLogManage::TNodeKind Kind;
    bool Select;
    // miLogTypeRefresh, miLogTypeDeleteAll, miLogTypeExport
    std::array<bool, 3> Tree;
    // miLogListRefresh, miLogListLoadContent, miLogListDeleteSelected, miLogListDeleteAll, miLogListExport
    std::array<bool, 5> List;
    // tbRefresh, tbExport
    std::array<bool, 2> Tools;
};
void PrintTo(const TMenuCase& c, std::ostream* os) { *os << c.Name; }

class LogMenuStates : public LogManageTest, public ::testing::WithParamInterface<TMenuCase> {};

TEST_P(LogMenuStates, FollowTheNodeAndTheList) {
    const TMenuCase& c = GetParam();
    Add({Record(ltSingle, QStringLiteral("Alice"), "a"), Record(ltBroadcast, QStringLiteral("B"), "b")});
    TLogManage& w = Open();
    ASSERT_TRUE(ExpandSingle());
    ASSERT_TRUE(List(c.Kind == TLogManage::nkUser ? w.UserNode(QStringLiteral("Alice")) : w.Node(c.Kind)));
    if (c.Select) SelectRow(0);
    w.UpdateMenuStates();
    const char* tree[] = {"miLogTypeRefresh", "miLogTypeDeleteAll", "miLogTypeExport"};
    const char* list[] = {"miLogListRefresh", "miLogListLoadContent", "miLogListDeleteSelected", "miLogListDeleteAll",
                          "miLogListExport"};
    const char* tools[] = {"tbRefresh", "tbExport"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.Action(QString::fromLatin1(tree[i]))->isEnabled(), c.Tree[i]) << tree[i];
    for (int i = 0; i < 5; ++i) EXPECT_EQ(w.Action(QString::fromLatin1(list[i]))->isEnabled(), c.List[i]) << list[i];
    for (int i = 0; i < 2; ++i) EXPECT_EQ(w.Action(QString::fromLatin1(tools[i]))->isEnabled(), c.Tools[i]) << tools[i];
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, LogMenuStates,
    ::testing::Values(
        TMenuCase{"Root", TLogManage::nkRoot, false, {false, false, false}, {false, false, false, false, false}, {false, false}},
        // A category node lists its records as its "<All Users>" does.
        TMenuCase{"AllSingleLog", TLogManage::nkAllSingle, false, {true, true, true},
                  {true, false, false, true, true}, {true, true}},
        TMenuCase{"EntriesNoneSelected", TLogManage::nkAllUsers, false, {true, true, true},
                  {true, false, false, true, true}, {true, true}},
        TMenuCase{"EntrySelected", TLogManage::nkBroadcast, true, {true, true, true}, {true, true, true, true, true},
                  {true, true}},
        TMenuCase{"UserNodeSelected", TLogManage::nkUser, true, {true, true, true}, {true, true, true, true, true},
                  {true, true}},
        TMenuCase{"EmptyCategory", TLogManage::nkGroup, false, {true, true, true}, {true, false, false, false, false},
                  {true, false}}),
    TCaseName());

} // namespace
