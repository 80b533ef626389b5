#include "messaging/widgets/QueueControllerUnit.h"
#include "messaging/widgets/QueueNotificationUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"

#include "core/ParamsUnit.h"
#include "support/CaseName.h"
#include "ui/TrayIconUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <ostream>

namespace {

const QRect kScreen(0, 0, 1024, 768);
constexpr TNotificationTimings kStill{0, 60 * 1000};

void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

TBroadcastData Record(const QString& nick, const QByteArray& summary = "hello") {
    TBroadcastData r;
    r.NickName = nick;
    r.ComputerName = QStringLiteral("PC1");
    r.IPAddress = QStringLiteral("10.0.0.1");
    r.UserId = QStringLiteral("{") + nick + QStringLiteral("}");
    r.LanguageId = 1033;
    r.Summary = summary;
    return r;
}

TOnlineNotify RequestFrom(const QString& nick) {
    TOnlineNotify request;
    request.NickName = nick;
    request.ComputerName = QStringLiteral("PC1");
    request.SenderHandle = 3;
    return request;
}

TQueueItem Item(TQueueItemKind kind, const QString& nick) {
    switch (kind) {
    case qiBroadcast: return TQueuedBroadcast{Record(nick)};
    case qiMessage: return TQueuedMessage{Record(nick)};
    case qiFiles: {
        TFilesArrival arrival;
        arrival.Data = Record(nick);
        arrival.SenderFolder = QStringLiteral("/rx/");
        return TQueuedFiles{arrival};
    }
    case qiFileRequest: return TQueuedRequest{RequestFrom(nick)};
    case qiFileRequestCanceled: break;
    }
    return TQueuedRequest{RequestFrom(nick), true};
}

class QueueGuiFixture : public ::testing::Test {
protected:
    QueueGuiFixture() { Params()[bpOnlyUserNickname] = true; }
    ~QueueGuiFixture() override {
        Params()[bpOnlyUserNickname] = FOnlyNick;
        FlushDeletes();
    }
    bool FOnlyNick = Params()[bpOnlyUserNickname];
};

// ------------------------------------------------------------ the window

TEST_F(QueueGuiFixture, QueueWindowIsAsWideAsItsTitleNeeds) {
    const QFontMetrics metrics(QApplication::font());
    for (const QString& nick : {QStringLiteral("Al"), QStringLiteral("Bartholomew the very long named")}) {
        TQueueNotificationWindow window(Item(qiMessage, nick), teBottom, kStill);
        const QString title = QStringLiteral("Message From: ") + nick;
        EXPECT_EQ(window.Title(), title);
        EXPECT_EQ(window.size(), QSize(metrics.horizontalAdvance(title) + 53, 90));
    }
}

TEST_F(QueueGuiFixture, IgnoreIsDisabledOnlyForAPendingRequest) {
    for (TQueueItemKind kind : {qiBroadcast, qiMessage, qiFiles, qiFileRequest, qiFileRequestCanceled}) {
        TQueueNotificationWindow window(Item(kind, QStringLiteral("Ann")), teBottom, kStill);
        EXPECT_EQ(window.IgnoreLink()->isEnabled(), kind != qiFileRequest) << kind;
        EXPECT_TRUE(window.ViewLink()->isEnabled());
    }
}

// Files stored: "<Saved In Folder>" over the folder, which is cut in the
// middle (its start and its last name stay) and shown whole in the tooltip.
TEST_F(QueueGuiFixture, StoredFolderIsCutInTheMiddleAndWholeInTheTooltip) {
    TFilesArrival arrival;
    arrival.Data = Record(QStringLiteral("Ann"));
    const QString folder = QStringLiteral("/home/someone/Documents/Quillmate/Received Files/From_Ann(PC1)/");
    arrival.SenderFolder = folder;
    TQueueNotificationWindow window(TQueuedFiles{arrival}, teBottom, kStill);
    EXPECT_EQ(window.toolTip(), QStringLiteral("<Saved In Folder>") + folder);
    const QFontMetrics metrics(QApplication::font());
    const int width = 150;
    const QStringList lines = TQueueNotificationWindow::FolderLines(window.Text(), metrics, width);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("<Saved In Folder>"));
    EXPECT_LE(metrics.horizontalAdvance(lines[1]), width);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("/h"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("1)/"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QChar(0x2026))) << lines[1].toStdString();
    // Other items have no tooltip.
    TQueueNotificationWindow message(Item(qiMessage, QStringLiteral("Ann")), teBottom, kStill);
    EXPECT_TRUE(message.toolTip().isEmpty());
}

// A request that names its files: the first name is cut in the middle so
// that "+N more" and the size stay; every name carried is in the tooltip.
struct TOfferWindowCase {
    const char* Name;
    TOfferedFiles Offered;
    QString Tip;  // the tooltip; empty: none
    QString Ends; // how the painted line ends
};
void PrintTo(const TOfferWindowCase& c, std::ostream* os) { *os << c.Name; }

class QueueOfferWindow : public QueueGuiFixture, public ::testing::WithParamInterface<TOfferWindowCase> {};

TEST_P(QueueOfferWindow, OfferLineKeepsCountAndSize) {
    const TOfferWindowCase& c = GetParam();
    TOnlineNotify request = RequestFrom(QStringLiteral("Ann"));
    request.Offered = c.Offered;
    TQueueNotificationWindow window(TQueuedRequest{request}, teBottom, kStill);
    EXPECT_EQ(window.toolTip(), c.Tip);
    EXPECT_FALSE(window.grab().isNull());
    if (c.Offered.Files <= 0) {
        EXPECT_EQ(window.Text(), QStringLiteral("File Transfer Request"));
        return;
    }
    EXPECT_EQ(window.Text(), QStringLiteral("File Transfer Request\n") + OfferedFilesLine(c.Offered));
    const QFontMetrics metrics(QApplication::font());
    for (int width : {150, 220, 2000}) {
        const QString line = TQueueNotificationWindow::OfferLine(c.Offered, metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(line), width) << width;
        EXPECT_TRUE(line.endsWith(c.Ends)) << width << " " << line.toStdString();
        if (!c.Offered.Names.isEmpty() && width >= 220) {
            EXPECT_TRUE(line.startsWith(c.Offered.Names.first().left(2))) << line.toStdString();
        }
    }
    // Wide enough, nothing is cut.
    EXPECT_EQ(TQueueNotificationWindow::OfferLine(c.Offered, metrics, 2000), OfferedFilesLine(c.Offered));
    const QString cut = TQueueNotificationWindow::OfferLine(c.Offered, metrics, 150);
    EXPECT_EQ(cut.contains(QChar(0x2026)), metrics.horizontalAdvance(OfferedFilesLine(c.Offered)) > 150) << cut.toStdString();
}

const QString kLongName = QStringLiteral("Quarterly report for the whole northern region, final version.pdf");

INSTANTIATE_TEST_SUITE_P(
    Table, QueueOfferWindow,
    ::testing::Values(TOfferWindowCase{"NothingOffered", {}, {}, {}},
                      TOfferWindowCase{"OneLongName", {1, 900 * 1024, {kLongName}}, kLongName, QStringLiteral(" (900 KB)")},
                      TOfferWindowCase{"ManyNames",
                                       {7, 900 * 1024, {kLongName, QStringLiteral("b.txt")}},
                                       kLongName + QStringLiteral("\nb.txt\n+5 more"),
                                       QStringLiteral(" +6 more (900 KB)")},
                      TOfferWindowCase{"NoNames", {3, 4096, {}}, {}, QStringLiteral("3 file(s) (4 KB)")}),
    TCaseName());

TEST_F(QueueGuiFixture, LinksLightUpUnderThePointer) {
    TQueueNotificationWindow window(Item(qiMessage, QStringLiteral("Ann")), teBottom, kStill);
    TNotificationLink* view = window.ViewLink();
    const QColor normal = view->palette().color(QPalette::WindowText);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(view, &enter);
    EXPECT_TRUE(view->IsHot());
    EXPECT_EQ(view->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view, &leave);
    EXPECT_EQ(view->palette().color(QPalette::WindowText), normal);
    EXPECT_TRUE(view->font().underline());
    EXPECT_EQ(view->cursor().shape(), Qt::PointingHandCursor);
}

// ------------------------------------------------------------- placement

struct TQueuePlaceCase {
    const char* Name;
    QRect Available;
    // Expected origin from the window's size W x H.
    std::function<QPoint(int, int)> Origin;
};
void PrintTo(const TQueuePlaceCase& c, std::ostream* os) { *os << c.Name; }

class QueuePlacement : public QueueGuiFixture, public ::testing::WithParamInterface<TQueuePlaceCase> {};

TEST_P(QueuePlacement, NextToTheTaskbar) {
    const TQueuePlaceCase& c = GetParam();
    TTrayNotification notes(kStill, [&c] { return TTrayNotification::TScreenGeometry{kScreen, c.Available}; });
    notes.ShowQueueNotification(Item(qiMessage, QStringLiteral("Ann")));
    ASSERT_TRUE(notes.QueueNotificationShown());
    TQueueNotificationWindow* window = notes.QueueWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), c.Origin(window->width(), window->height()));
    // Only one at a time.
    notes.ShowQueueNotification(Item(qiMessage, QStringLiteral("Bob")));
    EXPECT_EQ(notes.QueueWindow(), window);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, QueuePlacement,
    ::testing::Values(
        TQueuePlaceCase{"Bottom", QRect(0, 0, 1024, 738), [](int w, int h) { return QPoint(1024 - w - 5, 768 - 30 - h); }},
        TQueuePlaceCase{"Right", QRect(0, 0, 964, 768), [](int w, int h) { return QPoint(1024 - 60 - w, 768 - h - 5); }},
        TQueuePlaceCase{"Left", QRect(60, 0, 964, 768), [](int, int h) { return QPoint(60, 768 - h - 5); }},
        TQueuePlaceCase{"Top", QRect(0, 25, 1024, 743), [](int w, int) { return QPoint(1024 - w - 5, 25); }},
        TQueuePlaceCase{"Hidden", kScreen, [](int w, int h) { return QPoint(1024 - w - 5, 768 - h - 5); }}),
    TCaseName());

TTrayNotification::TScreenSource BottomTaskbar() {
    return [] { return TTrayNotification::TScreenGeometry{kScreen, QRect(0, 0, 1024, 738)}; };
}

TEST_F(QueueGuiFixture, TextNotificationsMakeRoomForTheQueueWindow) {
    TTrayNotification notes(kStill, BottomTaskbar());
    notes.ShowTextNotification(QStringLiteral("Ann Online"));
    notes.ShowTextNotification(QStringLiteral("Bob Online"));
    const QPoint origin(869, 698); // a text window at the bottom task bar
    notes.ShowQueueNotification(Item(qiMessage, QStringLiteral("Cid")));
    const QList<TNotificationWindow*> texts = notes.TextWindows();
    EXPECT_EQ(texts[0]->pos(), origin + QPoint(0, -(40 + 90)));
    EXPECT_EQ(texts[1]->pos(), origin + QPoint(0, -90));
    // A new text starts above the queue window.
    notes.ShowTextNotification(QStringLiteral("Dan Online"));
    EXPECT_EQ(notes.TextWindows()[2]->pos(), origin + QPoint(0, -90));
    EXPECT_EQ(notes.TextWindows()[1]->pos(), origin + QPoint(0, -(40 + 90)));
    // Once it is closed, new texts come down to the task bar again.
    notes.CloseQueueNotification();
    EXPECT_FALSE(notes.QueueNotificationShown());
    notes.ShowTextNotification(QStringLiteral("Eve Online"));
    EXPECT_EQ(notes.TextWindows()[3]->pos(), origin);
}

TEST_F(QueueGuiFixture, ColoursReachTheOpenQueueWindow) {
    TTrayNotification notes(kStill, BottomTaskbar());
    notes.ShowQueueNotification(Item(qiMessage, QStringLiteral("Ann")));
    notes.SetBodyColor(QColor(1, 2, 3));
    notes.SetTitleColor(QColor(4, 5, 6));
    const QImage shot = notes.QueueWindow()->grab().toImage();
    // The body area between its text and the links.
    EXPECT_EQ(shot.pixelColor(30, 60), QColor(1, 2, 3));
}

// ------------------------------------------------------------ tray icon

TEST(TrayAnimation, FramesFollowTheTimer) {
    TAppTray tray;
    QTimer* timer = tray.AnimationTimer();
    EXPECT_FALSE(tray.IsAnimating());
    EXPECT_EQ(tray.CurrentIconName(), QStringLiteral("TRAYICON_MAIN"));
    EXPECT_EQ(tray.CurrentFrame(), -1);

    tray.StartAnimation(TTrayAnimation::Message);
    EXPECT_TRUE(tray.IsAnimating());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 300);
    EXPECT_EQ(tray.LoadedAnimation(), TTrayAnimation::Message);
    QStringList seen{tray.CurrentIconName()};
    for (int tick = 0; tick < 4; ++tick) {
        QMetaObject::invokeMethod(timer, "timeout");
        seen << tray.CurrentIconName();
    }
    EXPECT_EQ(seen, (QStringList{"TRAYICON_ANIMATE_MESSAGE_01", "TRAYICON_ANIMATE_MESSAGE_02",
                                 "TRAYICON_ANIMATE_MESSAGE_03", "TRAYICON_ANIMATE_MESSAGE_04",
                                 "TRAYICON_ANIMATE_MESSAGE_01"}));

    // Another kind while animating: its own frames, the timer keeps running.
    tray.StartAnimation(TTrayAnimation::File);
    EXPECT_EQ(tray.LoadedAnimation(), TTrayAnimation::File);
    EXPECT_TRUE(tray.CurrentIconName().startsWith(QStringLiteral("TRAYICON_ANIMATE_FILE_0")));

    tray.StopAnimation();
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(tray.CurrentIconName(), QStringLiteral("TRAYICON_MAIN"));
    // Started again: from the first frame.
    tray.StartAnimation(TTrayAnimation::File);
    EXPECT_EQ(tray.CurrentIconName(), QStringLiteral("TRAYICON_ANIMATE_FILE_01"));
}

TEST(TrayAnimation, DoubleClickOpensTheItemOnlyWhileAnimating) {
    TAppTray tray;
    QSignalSpy toggle(&tray, &TAppTray::DoubleClicked);
    QSignalSpy open(&tray, &TAppTray::OpenFirstItemRequested);
    tray.DoubleClick();
    EXPECT_EQ(toggle.count(), 1);
    EXPECT_EQ(open.count(), 0);
    tray.StartAnimation(TTrayAnimation::Message);
    tray.DoubleClick();
    EXPECT_EQ(toggle.count(), 1);
    EXPECT_EQ(open.count(), 1);
}

// ------------------------------------------------------------- controller

class ControllerFixture : public QueueGuiFixture {
protected:
    TQueueOpeners Openers() {
        TQueueOpeners openers;
        openers.OpenBroadcast = [this](const TBroadcastData& r) { Opened << "broadcast:" + r.NickName; };
        openers.OpenMessage = [this](const TBroadcastData& r) { Opened << "message:" + r.NickName; };
        openers.ShowInChatWindow = [this](const TBroadcastData& r) {
            if (!ChatOpen) return false;
            Opened << "chat:" + r.NickName;
            return true;
        };
        openers.OpenFiles = [this](const TFilesArrival& arrival) { Opened << "files:" + arrival.Data.NickName; };
        openers.OpenRequest = [this](const TOnlineNotify& n, TRequestDialogMode mode) {
            Opened << QStringLiteral("request%1:").arg(int(mode)) + n.NickName;
        };
        return openers;
    }

    TServerQueue Queue;
    TAppTray Tray;
    TTrayNotification Notes{kStill, BottomTaskbar()};
    bool UseNotification = true;
    bool ChatOpen = false;
    QStringList Opened;
    TQueueController Controller{Queue, Tray, Notes, Openers(), [this] { return UseNotification; },
                                [] { return QStringLiteral("Online"); }};
};

struct THintCase {
    const char* Name;
    TQueueItemKind Kind;
    QString Hint;
    TTrayAnimation Animation;
    QString Opened;
};
void PrintTo(const THintCase& c, std::ostream* os) { *os << c.Name; }

class ControllerKinds : public ControllerFixture, public ::testing::WithParamInterface<THintCase> {};

TEST_P(ControllerKinds, FirstItemNamesItsSenderAndOpensByItsKind) {
    const THintCase& c = GetParam();
    // A withdrawn request is queued as an offer and marked when the notice comes.
    Queue.Add(Item(c.Kind == qiFileRequestCanceled ? qiFileRequest : c.Kind, QStringLiteral("Ann")));
    if (c.Kind == qiFileRequestCanceled) {
        ASSERT_TRUE(Queue.MarkRequestCanceled(RequestFrom(QStringLiteral("Ann"))));
    }
    EXPECT_EQ(Tray.Hint(), c.Hint);
    EXPECT_EQ(Tray.LoadedAnimation(), c.Animation);
    ASSERT_TRUE(Notes.QueueNotificationShown());
    // The open window keeps its title; a withdrawn request shows its new body.
    EXPECT_EQ(Notes.QueueWindow()->Title(), QueueItemTitle(*Queue.Head()));
    EXPECT_EQ(Notes.QueueWindow()->Text(), QueueItemBody(*Queue.Head()));

    Tray.DoubleClick();
    EXPECT_EQ(Opened, QStringList{c.Opened});
    EXPECT_TRUE(Queue.IsEmpty());
    EXPECT_FALSE(Tray.IsAnimating());
    EXPECT_EQ(Tray.Hint(), QStringLiteral("Online"));
    EXPECT_FALSE(Notes.QueueNotificationShown());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControllerKinds,
    ::testing::Values(
        THintCase{"Broadcast", qiBroadcast, "Broadcast Message From: Ann", TTrayAnimation::Message, "broadcast:Ann"},
        THintCase{"Message", qiMessage, "Message From: Ann", TTrayAnimation::Message, "message:Ann"},
        THintCase{"Files", qiFiles, "File(s) From: Ann", TTrayAnimation::File, "files:Ann"},
        THintCase{"FileRequest", qiFileRequest, "File Transfer Request From: Ann", TTrayAnimation::File,
                  QStringLiteral("request%1:Ann").arg(int(TRequestDialogMode::Queued))},
        THintCase{"FileRequestCanceled", qiFileRequestCanceled,
                  "File Transfer Request From: Ann but has already been canceled", TTrayAnimation::File,
                  QStringLiteral("request%1:Ann").arg(int(TRequestDialogMode::QueuedCancelled))}),
    TCaseName());

TEST_F(ControllerFixture, ThreeMessagesOpenOneByOneWhileTheIconKeepsAnimating) {
    for (const char* nick : {"Ann", "Bob", "Cid"}) Queue.Add(TQueuedMessage{Record(QString::fromLatin1(nick))});
    EXPECT_EQ(Tray.Hint(), QStringLiteral("Message From: Ann"));
    EXPECT_EQ(Notes.QueueWindow()->Title(), QStringLiteral("Message From: Ann"));
    Tray.DoubleClick();
    EXPECT_TRUE(Tray.IsAnimating());
    EXPECT_EQ(Tray.Hint(), QStringLiteral("Message From: Bob"));
    ASSERT_TRUE(Notes.QueueNotificationShown());
    EXPECT_EQ(Notes.QueueWindow()->Title(), QStringLiteral("Message From: Bob"));
    Tray.DoubleClick();
    EXPECT_TRUE(Tray.IsAnimating());
    Tray.DoubleClick();
    EXPECT_FALSE(Tray.IsAnimating());
    EXPECT_EQ(Opened, (QStringList{"message:Ann", "message:Bob", "message:Cid"}));
    // Idle again: a double click is the main window's toggle.
    QSignalSpy toggle(&Tray, &TAppTray::DoubleClicked);
    Tray.DoubleClick();
    EXPECT_EQ(toggle.count(), 1);
}

TEST_F(ControllerFixture, QueuedMessageGoesIntoTheSendersOpenChat) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    ChatOpen = true;
    Tray.DoubleClick();
    EXPECT_EQ(Opened, QStringList{"chat:Ann"});
    EXPECT_TRUE(Queue.IsEmpty());
}

TEST_F(ControllerFixture, ViewDetailOpensAndIgnoreDiscards) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedBroadcast{Record(QStringLiteral("Bob"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Cid"))});

    QPointer<TQueueNotificationWindow> first = Notes.QueueWindow();
    QTest::mouseClick(first->ViewLink(), Qt::LeftButton);
    EXPECT_EQ(Opened, QStringList{"message:Ann"});
    FlushDeletes();
    EXPECT_TRUE(first.isNull());

    ASSERT_TRUE(Notes.QueueNotificationShown());
    EXPECT_EQ(Notes.QueueWindow()->Title(), QStringLiteral("Broadcast Message From: Bob"));
    QTest::mouseClick(Notes.QueueWindow()->IgnoreLink(), Qt::LeftButton);
    // Discarded unopened; the next one is presented.
    EXPECT_EQ(Opened, QStringList{"message:Ann"});
    ASSERT_EQ(Queue.Count(), 1);
    EXPECT_EQ(Tray.Hint(), QStringLiteral("Message From: Cid"));
    ASSERT_TRUE(Notes.QueueNotificationShown());

    QTest::mouseClick(Notes.QueueWindow()->IgnoreLink(), Qt::LeftButton);
    EXPECT_TRUE(Queue.IsEmpty());
    EXPECT_FALSE(Tray.IsAnimating());
    EXPECT_EQ(Tray.Hint(), QStringLiteral("Online"));
    EXPECT_FALSE(Notes.QueueNotificationShown());
}

TEST_F(ControllerFixture, DisabledIgnoreOfAPendingRequestDoesNothing) {
    TOnlineNotify request;
    request.NickName = QStringLiteral("Ann");
    Queue.Add(TQueuedRequest{request});
    QTest::mouseClick(Notes.QueueWindow()->IgnoreLink(), Qt::LeftButton);
    EXPECT_EQ(Queue.Count(), 1);
    EXPECT_TRUE(Tray.IsAnimating());
}

TEST_F(ControllerFixture, ClosedNotificationStaysClosedUntilTheQueueWasEmpty) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"))});
    TQueueNotificationWindow* window = Notes.QueueWindow();
    const QRect close = window->CloseButtonRect();
    QTest::mouseClick(window, Qt::LeftButton, {}, close.center());
    EXPECT_FALSE(Notes.QueueNotificationShown());
    EXPECT_TRUE(Notes.Suppressed());
    // The tray goes on animating and names the first item.
    EXPECT_TRUE(Tray.IsAnimating());
    EXPECT_EQ(Tray.Hint(), QStringLiteral("Message From: Ann"));

    Tray.DoubleClick(); // Ann opened, Bob presented without a notification
    EXPECT_TRUE(Tray.IsAnimating());
    EXPECT_FALSE(Notes.QueueNotificationShown());
    Tray.DoubleClick(); // empty: the next arrival shows one again
    EXPECT_FALSE(Notes.Suppressed());
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Cid"))});
    EXPECT_TRUE(Notes.QueueNotificationShown());
}

TEST_F(ControllerFixture, NoNotificationWhenTheSettingIsOff) {
    UseNotification = false;
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    EXPECT_TRUE(Tray.IsAnimating());
    EXPECT_FALSE(Notes.QueueNotificationShown());
}

TEST_F(ControllerFixture, PopUpOpensRequestsAsNewAndMessagesInReadWindows) {
    ChatOpen = true; // only a queued message looks for the chat again
    Controller.ShowItem(Item(qiFileRequest, QStringLiteral("Ann")), false);
    Controller.ShowItem(Item(qiMessage, QStringLiteral("Bob")), false);
    EXPECT_EQ(Opened, (QStringList{QStringLiteral("request%1:Ann").arg(int(TRequestDialogMode::New)), "message:Bob"}));
    EXPECT_FALSE(Tray.IsAnimating());
}

TEST_F(ControllerFixture, TwoLineSummaryIsDrawnAsTwoLines) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"), "first line\r\nsecond line")});
    ASSERT_TRUE(Notes.QueueNotificationShown());
    EXPECT_EQ(Notes.QueueWindow()->Text(), QStringLiteral("first line\r\nsecond line"));
    // Painted without trouble (the body splits at the line break).
    EXPECT_FALSE(Notes.QueueWindow()->grab().isNull());
}

} // namespace
