// The log manager's window: a record's content with pictures and its popup,
// compaction, sizes kept in the settings, the main window's menu items, the
// log going away under it, and the screenshot of the documentation.
#include "chatlog/widgets/LogManageUnit.h"

#include "node/NodeUnit.h"
#include "support/LogManageFixture.h"
#include "text/RtfWriterUnit.h"
#include "text/widgets/RichShowUnit.h"
#include "app/DesktopUnit.h"
#include "app/MainUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTextBlock>

namespace {

using namespace RichFixtures;
using namespace RichWidgetFixtures;

class LogManageWindowTest : public TLogManageFixture {
protected:
    // A message of text and one picture, as the message window stores it.
    static QByteArray RichWithPicture(const QByteArray& picture) {
        return WriteRtf(Doc({{{TextRun("Here is the plan: "), PictureRun(picture)}}}), TRichEdit::RtfOptions());
    }
    bool ShowContent(int row) {
        SelectRow(row);
        Window->LoadLogContentExecute();
        return WaitFor([this] { return Window->ShownRecord() != 0; });
    }
    static QStringList Items(QMenu& menu) {
        QStringList names;
        for (QAction* action : menu.actions())
            if (!action->isSeparator()) names += action->objectName();
        return names;
    }
};

TEST_F(LogManageWindowTest, ContentShowsPicturesAndItsPopupSavesTheSelectedOne) {
    const QByteArray picture = ImageFile("PNG", QSize(30, 20));
    Add({Record(ltSingle, QStringLiteral("Alice"), RichWithPicture(picture), true)});
    TLogManage& w = Open();
    ASSERT_TRUE(List(w.Node(TLogManage::nkAllUsers)));
    ASSERT_TRUE(ShowContent(0));
    TRichChatPane* pane = w.Content();
    EXPECT_TRUE(pane->toPlainText().startsWith(QStringLiteral("Here is the plan: ")));
    ASSERT_EQ(pane->Document().Paragraphs.value(0).Runs.size(), 2);
    ASSERT_TRUE(pane->Document().Paragraphs[0].Runs[1].Picture.has_value());
    EXPECT_EQ(pane->Document().Paragraphs[0].Runs[1].Picture->Bytes, picture);
    // The caret ends up at the end.
    EXPECT_EQ(pane->textCursor().position(), QTextCursor(pane->document()).document()->characterCount() - 1);

    {
        QMenu menu;
        w.BuildContentMenu(&menu);
        EXPECT_EQ(menu.objectName(), QStringLiteral("RichEditPopup"));
        EXPECT_EQ(Items(menu), (QStringList{QStringLiteral("miSelectAll"), QStringLiteral("miCopy"),
                                            QStringLiteral("miSaveImageAs")}));
        EXPECT_FALSE(menu.actions()[1]->isEnabled());
        EXPECT_FALSE(menu.actions()[2]->isEnabled());
    }
    // The picture alone selected: Copy and Save Image as.
    QTextCursor cursor(pane->document());
    cursor.setPosition(18);
    cursor.setPosition(19, QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
    ASSERT_NE(pane->SelectedPicture(), nullptr);
    SavePath = Home.File(QStringLiteral("saved.png"));
    QSignalSpy written(pane, &TRichEdit::FileWritten);
    QMenu menu;
    w.BuildContentMenu(&menu);
    EXPECT_TRUE(menu.actions()[1]->isEnabled());
    ASSERT_TRUE(menu.actions()[2]->isEnabled());
    menu.actions()[2]->trigger();
    ASSERT_EQ(Requests.size(), 1);
    EXPECT_EQ(Requests[0].ProposedName, QStringLiteral("QLMChatImage.gif"));
    ASSERT_TRUE(WaitFor([&] { return written.count() == 1; }));
    EXPECT_FALSE(Decode(ReadFile(SavePath)).isNull());
    // Select All takes everything.
    menu.actions()[0]->trigger();
    EXPECT_EQ(pane->textCursor().selectedText().size(), pane->toPlainText().size());
}

TEST_F(LogManageWindowTest, PlainContentIsShownAndDeletingTheShownRecordEmptiesThePane) {
    Add({Record(ltBroadcast, QStringLiteral("B"), "see you at five", false),
         Record(ltFile, QStringLiteral("F"), "<Saved In Folder>/tmp\r\n<File>a.txt")});
    TLogManage& w = Open();
    ASSERT_TRUE(List(w.Node(TLogManage::nkFile)));
    ASSERT_TRUE(ShowContent(0));
    EXPECT_EQ(w.Content()->toPlainText(), QStringLiteral("<Saved In Folder>/tmp\n<File>a.txt"));
    ASSERT_TRUE(List(w.Node(TLogManage::nkBroadcast)));
    ASSERT_TRUE(ShowContent(0));
    EXPECT_EQ(w.Content()->toPlainText(), QStringLiteral("see you at five"));
    w.DeleteSelectedExecute();
    ASSERT_TRUE(WaitFor([&] { return !w.Busy(); }));
    EXPECT_EQ(w.ShownRecord(), 0);
    EXPECT_TRUE(w.Content()->toPlainText().isEmpty());
}

TEST_F(LogManageWindowTest, CompactionShowsItIsBusyAndKeepsTheRecords) {
    Add({Record(ltGroup, QStringLiteral("G1"), "one"), Record(ltGroup, QStringLiteral("G2"), "two")});
    TLogManage& w = Open();
    w.show();
    ASSERT_TRUE(List(w.Node(TLogManage::nkGroup)));
    auto* progress = w.findChild<QProgressBar*>(QStringLiteral("pbBusy"));
    w.CompactDatabaseExecute();
    EXPECT_TRUE(w.Busy());
    EXPECT_TRUE(progress->isVisible());
    EXPECT_FALSE(w.Action(QStringLiteral("tbCompactDB"))->isEnabled());
    EXPECT_EQ(w.cursor().shape(), Qt::BusyCursor);
    ASSERT_TRUE(WaitFor([&] { return !w.Busy(); }));
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(w.Action(QStringLiteral("tbCompactDB"))->isEnabled());
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(), QStringLiteral("The chat log was compacted."));
    w.RefreshExecute();
    ASSERT_TRUE(List(w.Node(TLogManage::nkGroup)));
    EXPECT_EQ(Rows(), 2);
}

TEST_F(LogManageWindowTest, SizesComeFromTheSettingsAndGoBackOnClose) {
    TApplicationParams& p = Params();
    p[ipLogManagementFormLeft] = 40;
    p[ipLogManagementFormTop] = 30;
    p[ipLogManagementFormWidth] = 640;
    p[ipLogManagementFormHeight] = 480;
    p[ipLogManagementFormLogTypeWidth] = 170;
    p[ipLogManagementFormContentHeight] = 150;
    TLogManage& w = Open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.size(), QSize(640, 480));
    auto* across = w.findChild<QSplitter*>(QStringLiteral("Splitter1"));
    auto* down = w.findChild<QSplitter*>(QStringLiteral("Splitter2"));
    EXPECT_EQ(across->sizes().value(0), 170);
    EXPECT_EQ(down->sizes().value(1), 150);

    across->setSizes({210, across->sizes().value(0) + across->sizes().value(1) - 210});
    down->setSizes({down->sizes().value(0) + down->sizes().value(1) - 120, 120});
    w.resize(700, 500);
    const QRect normal(w.pos(), w.size());
    w.showMaximized();
    QApplication::processEvents();
    w.close();
    // The bounds from before maximising.
    EXPECT_EQ(p[ipLogManagementFormWidth], normal.width());
    EXPECT_EQ(p[ipLogManagementFormHeight], normal.height());
    EXPECT_EQ(p[ipLogManagementFormLogTypeWidth], 210);
    EXPECT_EQ(p[ipLogManagementFormContentHeight], 120);
}

TEST_F(LogManageWindowTest, GoesAwayWithTheLog) {
    TLogManage* window = TLogManage::ShowLogManager(*Log);
    QPointer<TLogManage> guard(window);
    window->SelectNode(window->Node(TLogManage::nkBroadcast));
    Log.reset();
    ASSERT_TRUE(WaitFor([&] { return guard.isNull(); }));
}

TEST_F(LogManageWindowTest, ToolsAndTrayMenusOpenOneLogManager) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    QAction* tools = form.Action(QStringLiteral("miLogManage"));
    QAction* tray = form.Action(QStringLiteral("miTrayIconMenuLogManagement"));
    ASSERT_NE(tools, nullptr);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tools->text(), QStringLiteral("&Log Management..."));
    auto* toolsMenu = form.findChild<QMenu*>(QStringLiteral("miMainTools"));
    EXPECT_EQ(toolsMenu->actions().value(0), tools);
    EXPECT_TRUE(toolsMenu->actions().value(1)->isSeparator());
    const QList<QAction*> trayItems = form.TrayMenu()->actions();
    const qsizetype at = trayItems.indexOf(tray);
    ASSERT_GT(at, 0);
    EXPECT_EQ(trayItems.value(at - 1)->objectName(), QStringLiteral("miTrayIconMenuManage"));
    EXPECT_TRUE(trayItems.value(at + 1)->isSeparator());
    EXPECT_EQ(trayItems.value(at + 2)->objectName(), QStringLiteral("miTrayIconMenuAlwaysOnTop"));

    tools->trigger();
    TLogManage* window = TLogManage::OpenWindow();
    ASSERT_NE(window, nullptr);
    tray->trigger();
    EXPECT_EQ(TLogManage::OpenWindow(), window);
    EXPECT_EQ(form.findChildren<TLogManage*>().size(), 0); // no owner window
    QPointer<TLogManage> guard(window);
    window->close();
    ASSERT_TRUE(WaitFor([&] { return guard.isNull(); }));
}

// A few records, one with a picture, drawn off screen. With QLM_SCREENSHOT_DIR
// set the picture is saved there as log-manager.png (the README's screenshot).
TEST_F(LogManageWindowTest, Screenshot) {
    Params()[spRichEditFontName] = QStringLiteral("DejaVu Sans");
    auto record = [](TLogType type, const char* nick, const QByteArray& content, bool out, const char* first, int minute) {
        TLogRecord r = Record(type, QString::fromUtf8(nick), content, out, QStringLiteral("DESK-") + QString::fromUtf8(nick).toUpper());
        r.First2Line = QString::fromUtf8(first);
        r.LogTime = ChatLogFixtures::When(minute);
        return r;
    };
    Add({record(ltSingle, "Alice", "{\\rtf1 Are we still on for lunch?}", false, "Are we still on for lunch?\r\n", 0),
         record(ltSingle, "Alice", "{\\rtf1 Yes, at noon.}", true, "Yes, at noon.\r\n", 2),
         record(ltSingle, "Alice", RichWithPicture(ImageFile("PNG", QSize(120, 70), QColor(70, 130, 220))), false,
                "Here is the plan: \r\n", 5),
         record(ltSingle, "Bob", "{\\rtf1 The build is green.}", false, "The build is green.\r\n", 9)});
    Params()[ipLogManagementFormWidth] = 760;
    Params()[ipLogManagementFormHeight] = 520;
    Params()[ipLogManagementFormLogTypeWidth] = 190;
    Params()[ipLogManagementFormContentHeight] = 170;
    TLogManage& w = Open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(ExpandSingle());
    ASSERT_TRUE(List(w.UserNode(QStringLiteral("Alice"))));
    ASSERT_EQ(Rows(), 3);
    ASSERT_TRUE(ShowContent(0));
    w.Content()->RefreshPictures();
    QApplication::processEvents();
    const QPixmap shot = w.grab();
    ASSERT_FALSE(shot.isNull());
    const QImage image = shot.toImage();
    // Both header bands and the picture's blue are drawn.
    bool green = false, blue = false, picture = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green = green || c == QColor(224, 252, 224);
            blue = blue || c == QColor(182, 218, 240);
            picture = picture || c == QColor(70, 130, 220);
        }
    EXPECT_TRUE(green);
    EXPECT_TRUE(blue);
    EXPECT_TRUE(picture);
    const QString folder = qEnvironmentVariable("QLM_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(shot.save(QDir(folder).filePath(QStringLiteral("log-manager.png"))));
    }
}

// A search across the categories, its hit count and the selected hit's
// content. With QLM_SCREENSHOT_DIR set the picture is saved there as
// log-manager-search.png.
TEST_F(LogManageWindowTest, SearchScreenshot) {
    Params()[spRichEditFontName] = QStringLiteral("DejaVu Sans");
    auto record = [](TLogType type, const char* nick, const QByteArray& content, bool out, const char* first, int minute) {
        TLogRecord r = Record(type, QString::fromUtf8(nick), content, out, QStringLiteral("DESK-") + QString::fromUtf8(nick).toUpper());
        r.First2Line = QString::fromUtf8(first);
        r.LogTime = ChatLogFixtures::When(minute);
        return r;
    };
    Add({record(ltSingle, "Alice", "{\\rtf1 Are we still on for lunch?}", false, "Are we still on for lunch?\r\n", 0),
         record(ltSingle, "Alice", "{\\rtf1 Yes, lunch at noon.}", true, "Yes, lunch at noon.\r\n", 2),
         record(ltGroup, "Alice(DESK-ALICE);Bob(DESK-BOB)", "{\\rtf1 Team lunch on Friday}", true, "Team lunch on Friday\r\n", 4),
         record(ltSingle, "Bob", "{\\rtf1 The build is green.}", false, "The build is green.\r\n", 9)});
    Params()[ipLogManagementFormWidth] = 760;
    Params()[ipLogManagementFormHeight] = 520;
    Params()[ipLogManagementFormLogTypeWidth] = 190;
    Params()[ipLogManagementFormContentHeight] = 170;
    TLogManage& w = Open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.SearchBox()->setText(QStringLiteral("lunch"));
    w.SearchExecute(w.SearchBox()->text());
    ASSERT_TRUE(WaitFor([&] { return !w.SearchModel().IsLoading() && w.SearchModel().HitCount() == 3; }));
    ASSERT_EQ(Rows(), 3);
    SelectRow(0);
    ASSERT_TRUE(WaitFor([&] { return w.ShownRecord() != 0; }));
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(), QStringLiteral("3 records found"));
    QApplication::processEvents();
    const QPixmap shot = w.grab();
    ASSERT_FALSE(shot.isNull());
    const QString folder = qEnvironmentVariable("QLM_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(shot.save(QDir(folder).filePath(QStringLiteral("log-manager-search.png"))));
    }
}

} // namespace
