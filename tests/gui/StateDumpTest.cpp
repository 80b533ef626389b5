#include "app/StateDumpUnit.h"

#include "messaging/ServerQueueUnit.h"
#include "support/TestSupport.h"
#include "ui/TrayIconUnit.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QToolBar>
#include <QTreeView>
#include <QWindow>

namespace {

TBroadcastData Record(const QString& nick) {
    TBroadcastData record;
    record.NickName = nick;
    record.ComputerName = QStringLiteral("PC-") + nick;
    record.IPAddress = QStringLiteral("10.77.0.9");
    return record;
}

QString IdOf(const QWidget& window) {
    return QStringLiteral("0x") + QString::number(window.windowHandle()->winId(), 16);
}

QStringList LinesOf(const QByteArray& text, const QString& kind) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n')))
        if (line.startsWith(kind + QLatin1Char('\t'))) lines << line;
    return lines;
}

class StateDump : public ::testing::Test {
protected:
    TTempHome Home;
    TAppTray Tray;
    TServerQueue Queue;
    QString DumpFile = Home.File(QStringLiteral("state.txt"));
};

TEST_F(StateDump, TrayLineFollowsTheAnimationAndTheHint) {
    TStateDump dump(Tray, Queue, DumpFile);
    Tray.SetHint(QStringLiteral("Message From: Ann"));
    Tray.StartAnimation(TTrayAnimation::File);
    QMetaObject::invokeMethod(Tray.AnimationTimer(), "timeout");
    EXPECT_EQ(LinesOf(dump.Render(), QStringLiteral("tray")),
              QStringList{QStringLiteral("tray\t0\t1\tfile\t1\t300\tMessage From: Ann")});
    Tray.StopAnimation();
    Tray.SetHint(QStringLiteral("Me --- Online\tSound: ON"));
    EXPECT_EQ(LinesOf(dump.Render(), QStringLiteral("tray")),
              QStringList{QStringLiteral("tray\t0\t0\tnone\t-1\t300\tMe --- Online Sound: ON")});
}

TEST_F(StateDump, QueueLinesNameEveryItemOldestFirst) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedBroadcast{Record(QStringLiteral("Bo"))});
    TOnlineNotify request;
    request.NickName = QStringLiteral("Cy");
    request.ComputerName = QStringLiteral("PC-Cy");
    Queue.Add(TQueuedRequest{request});
    TStateDump dump(Tray, Queue, DumpFile);
    EXPECT_EQ(LinesOf(dump.Render(), QStringLiteral("queue")),
              (QStringList{QStringLiteral("queue\t0\t1\tAnn\tMessage From: Ann"),
                           QStringLiteral("queue\t1\t0\tBo\tBroadcast Message From: Bo"),
                           QStringLiteral("queue\t2\t3\tCy\tFile Transfer Request From: Cy")}));
}

// A window with a text box holding a picture, a shown and a hidden button, a
// tree with one expanded and one collapsed row, and a window of its own.
class StateDumpWindow : public ::testing::Test {
protected:
    StateDumpWindow() {
        Window.setObjectName(QStringLiteral("Form"));
        Window.setWindowTitle(QStringLiteral("Chat\twith Ann"));
        Window.setGeometry(10, 20, 400, 300);
        Edit = new QTextEdit(&Window);
        Edit->setObjectName(QStringLiteral("RichShow"));
        Edit->setGeometry(0, 0, 200, 100);
        QTextCursor cursor(Edit->document());
        cursor.insertText(QStringLiteral("Hi\tthere"));
        cursor.insertBlock();
        QTextImageFormat picture;
        picture.setName(QStringLiteral("pic"));
        cursor.insertImage(picture);
        cursor.insertText(QStringLiteral("second"));
        Shown = new QPushButton(QStringLiteral("&Send"), &Window);
        Shown->setObjectName(QStringLiteral("btnSend"));
        Shown->setGeometry(300, 250, 80, 30);
        Shown->setEnabled(false);
        auto* bar = new QToolBar(&Window);
        bar->setGeometry(200, 0, 100, 30);
        bar->addAction(QStringLiteral("Go"))->setObjectName(QStringLiteral("tbtnGo"));
        auto* hidden = new QPushButton(QStringLiteral("Hidden"), &Window);
        hidden->setObjectName(QStringLiteral("btnHidden"));
        hidden->hide();
        Model.setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size")});
        for (const char* group : {"Open", "Shut"}) {
            auto* row = new QStandardItem(QString::fromLatin1(group));
            row->appendRow({new QStandardItem(QStringLiteral("a.txt")), new QStandardItem(QStringLiteral("1 KB"))});
            Model.appendRow({row, new QStandardItem(QStringLiteral("-"))});
        }
        Tree = new QTreeView(&Window);
        Tree->setObjectName(QStringLiteral("tvFiles"));
        Tree->setGeometry(0, 110, 300, 120);
        Tree->setModel(&Model);
        Tree->expand(Model.index(0, 0));
        Owned = new QWidget(&Window, Qt::Window);
        auto* ownedButton = new QPushButton(QStringLiteral("Owned"), Owned);
        ownedButton->setObjectName(QStringLiteral("btnOwned"));
        Window.show();
        Owned->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    }

    QWidget Window;
    QTextEdit* Edit = nullptr;
    QPushButton* Shown = nullptr;
    QTreeView* Tree = nullptr;
    QWidget* Owned = nullptr;
    QStandardItemModel Model;
};

TEST_F(StateDumpWindow, ListsWhatTheWindowShowsWithCentres) {
    const QString id = IdOf(Window);
    const QByteArray text = TStateDump::RenderWindow(Window);
    EXPECT_EQ(LinesOf(text, QStringLiteral("window")),
              QStringList{QStringLiteral("window\t%1\tQWidget\tForm\tChat with Ann\t10,20,400,300").arg(id)});
    // The picture is counted and left out of the text; tabs and breaks become blanks.
    EXPECT_EQ(LinesOf(text, QStringLiteral("text")),
              QStringList{QStringLiteral("text\t%1\tRichShow\t1\t99,49\tHi there second").arg(id)});
    // The hidden button and the button of the owned window are not this window's;
    // the tool bar's button goes by its action's name.
    const QStringList buttons = LinesOf(text, QStringLiteral("button"));
    ASSERT_EQ(buttons.size(), 2) << buttons.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(buttons[0], QStringLiteral("button\t%1\tbtnSend\t0\t339,264\t&Send").arg(id));
    EXPECT_TRUE(buttons[1].startsWith(QStringLiteral("button\t%1\ttbtnGo\t1\t").arg(id))) << buttons[1].toStdString();
    const QPoint open = Tree->viewport()->mapTo(&Window, Tree->visualRect(Model.index(0, 0)).center());
    const QPoint child = Tree->viewport()->mapTo(&Window, Tree->visualRect(Model.index(0, 0, Model.index(0, 0))).center());
    const QPoint shut = Tree->viewport()->mapTo(&Window, Tree->visualRect(Model.index(1, 0)).center());
    auto at = [](QPoint point) { return QStringLiteral("%1,%2").arg(point.x()).arg(point.y()); };
    // Children of the expanded row follow it; the collapsed row's are left out; no header rows.
    EXPECT_EQ(LinesOf(text, QStringLiteral("row")),
              (QStringList{QStringLiteral("row\t%1\ttvFiles\t0\t%2\tOpen | -").arg(id, at(open)),
                           QStringLiteral("row\t%1\ttvFiles\t0.0\t%2\ta.txt | 1 KB").arg(id, at(child)),
                           QStringLiteral("row\t%1\ttvFiles\t1\t%2\tShut | -").arg(id, at(shut))}));
    EXPECT_LT(open.y(), child.y());
    EXPECT_LT(child.y(), shut.y());
}

TEST_F(StateDumpWindow, RowsScrolledOutOfSightHaveNoCentre) {
    for (int row = 0; row < 40; ++row) Model.appendRow(new QStandardItem(QStringLiteral("extra %1").arg(row)));
    const QStringList rows = LinesOf(TStateDump::RenderWindow(Window), QStringLiteral("row"));
    ASSERT_EQ(rows.size(), 43);
    EXPECT_EQ(rows.last(), QStringLiteral("row\t%1\ttvFiles\t41\t-\textra 39 | ").arg(IdOf(Window)));
}

// The file is replaced only when the text changed, and follows the windows.
TEST_F(StateDumpWindow, FileIsRewrittenOnlyOnChange) {
    TTempHome home;
    TAppTray tray;
    TServerQueue queue;
    const QString file = home.File(QStringLiteral("state.txt"));
    TStateDump dump(tray, queue, file);
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_TRUE(home.Read(QStringLiteral("state.txt")).contains("\tRichShow\t1\t"));

    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(dump.Refresh());
    EXPECT_FALSE(QFile::exists(file)) << "rewritten without a change";

    Edit->append(QStringLiteral("third"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return home.Read(QStringLiteral("state.txt")).contains("second third"); }, 5000));
    Window.hide();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !home.Read(QStringLiteral("state.txt")).contains("\tRichShow\t"); }, 5000));
}

} // namespace
