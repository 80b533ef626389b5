#include "transfer/widgets/FileUnit.h"

#include "core/ParamsUnit.h"
#include "node/NodeUnit.h"
#include "support/CaseName.h"
#include "support/FileFormFixture.h"
#include "transfer/widgets/FileFormUnit.h"
#include "transfer/widgets/ReceiveRequestUnit.h"
#include "app/DesktopUnit.h"
#include "app/MainUnit.h"
#include "ui/TrayIconUnit.h"
#include "ui/WindowRegistryUnit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QMimeDatabase>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QDir>
#include <QMenu>
#include <QProgressBar>
#include <QThread>
#include <QToolButton>

namespace {

using Utils::TMessageBoxResult;

// ---------------------------------------------------------------- receive dialog

struct TDialogCase {
    const char* Name;
    TReceiveRequestDialog::TMode Mode;
    const char* Text;
    bool OkEnabled;
    bool SendsHandle;
    TReceiveRequestDialog::TState State;
};
void PrintTo(const TDialogCase& c, std::ostream* os) { *os << c.Name; }

class ReceiveDialogModes : public TFileFormFixture, public ::testing::WithParamInterface<TDialogCase> {};

TEST_P(ReceiveDialogModes, TextButtonsAndHandle) {
    const TDialogCase& c = GetParam();
    ASSERT_TRUE(StartWith());
    TOnlineNotify offer;
    offer.SenderHandle = 4711;
    offer.NickName = QStringLiteral("Ann");
    offer.ComputerName = QStringLiteral("PC7");
    offer.IPAddress = QStringLiteral("127.0.0.1");
    auto* dialog = Keep(new TReceiveRequestDialog(Service, offer, c.Mode, false));
    QPointer<TReceiveRequestDialog> guard(dialog);
    EXPECT_EQ(dialog->TextLabel()->text(), QString::fromUtf8(c.Text));
    EXPECT_EQ(dialog->OkButton()->isEnabled(), c.OkEnabled);
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    EXPECT_EQ(dialog->State(), c.State);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Handle Request and Receiving"));
    // The offer names no files: what can be known is who, from where, and where they go.
    EXPECT_EQ(dialog->DetailsLabel()->text(),
              QStringLiteral("From: Ann(PC7) at 127.0.0.1\nStored in: ") +
                  QDir::toNativeSeparators(Home.Path() + QStringLiteral("Files/From_Ann(PC7)/")));
    // A plain offer says nothing of what comes.
    EXPECT_FALSE(dialog->OfferedLabel()->isVisibleTo(dialog));
    if (c.SendsHandle) {
        ASSERT_NE(dialog->Handle(), 0);
        ASSERT_TRUE(WaitUntil([&] { return !Log.Handles.isEmpty(); }));
        EXPECT_EQ(Log.Handles[0].first.Target, 4711);
        EXPECT_EQ(Log.Handles[0].first.Value, dialog->Handle());
        EXPECT_EQ(Service.Handles().Owner(dialog->Handle()), dialog);
    } else {
        EXPECT_EQ(dialog->Handle(), 0);
    }
    dialog->CancelClick();
    EXPECT_TRUE(WaitGone(guard));
    // Only a pending offer is answered (declined) on Cancel.
    if (c.SendsHandle) {
        ASSERT_TRUE(WaitUntil([&] { return !Log.Replies.isEmpty(); }));
        EXPECT_FALSE(Log.Replies[0].first.Accepted);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ReceiveDialogModes,
    ::testing::Values(
        TDialogCase{"New", TReceiveRequestDialog::rmNew,
                    "Ann(PC7) want to send file(s) to you. Do you accept? Click OK to accept, Cancel to decline.", true, true,
                    TReceiveRequestDialog::rsPending},
        TDialogCase{"Queued", TReceiveRequestDialog::rmQueued,
                    "Ann(PC7) want to send file(s) to you. Do you accept? Click OK to accept, Cancel to decline.", true, true,
                    TReceiveRequestDialog::rsPending},
        TDialogCase{"Cancelled", TReceiveRequestDialog::rmCancelled,
                    "Ann(PC7) has canceled the request. Click Cancel to close.", false, false,
                    TReceiveRequestDialog::rsCancelled},
        TDialogCase{"QueuedCancelled", TReceiveRequestDialog::rmQueuedCancelled,
                    "Ann(PC7) want to send file(s) to you. But he(she) has canceled the request.\nClick Cancel to close.",
                    false, false, TReceiveRequestDialog::rsTerminated},
        TDialogCase{"Terminated", TReceiveRequestDialog::rmTerminated,
                    "Ann(PC7) has terminated the file transport, no file will be received.\nClick Cancel to close.", false,
                    false, TReceiveRequestDialog::rsTerminated}),
    TCaseName());

class ReceiveDialog : public TFileFormFixture {
protected:
    void SetUp() override { ASSERT_TRUE(StartWith()); }
    TOnlineNotify Offer() const {
        TOnlineNotify offer;
        offer.SenderHandle = 99;
        offer.NickName = QStringLiteral("Ann");
        offer.ComputerName = QStringLiteral("PC7");
        offer.IPAddress = QStringLiteral("127.0.0.1");
        return offer;
    }
};

TEST_F(ReceiveDialog, AcceptHidesThenATerminationShowsItAgain) {
    auto* dialog = Keep(new TReceiveRequestDialog(Service, Offer(), TReceiveRequestDialog::rmNew, true));
    QPointer<TReceiveRequestDialog> guard(dialog);
    dialog->show();
    dialog->OkClick();
    EXPECT_EQ(dialog->State(), TReceiveRequestDialog::rsReceiving);
    EXPECT_EQ(dialog->TextLabel()->text(), QStringLiteral("Receiving file(s) from: Ann now...\nClick Hide to run background."));
    EXPECT_EQ(dialog->OkButton()->text(), QStringLiteral("Hide"));
    // The receiver may stop what it accepted.
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Replies.isEmpty(); }));
    EXPECT_TRUE(Log.Replies[0].first.Accepted);
    dialog->OkClick();
    EXPECT_FALSE(dialog->isVisible());

    PostWindowEvent(Service.Handles().Owner(dialog->Handle()), WM_FILE_TERMINATED, 0, 0, TFilesArrival());
    ASSERT_TRUE(WaitUntil([&] { return dialog->isVisible(); }));
    EXPECT_EQ(dialog->State(), TReceiveRequestDialog::rsTerminated);
    EXPECT_FALSE(dialog->OkButton()->isEnabled());
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    EXPECT_TRUE(dialog->TextLabel()->text().startsWith(QStringLiteral("Ann has terminated the file transport")));
    dialog->CancelClick();
    EXPECT_TRUE(WaitGone(guard));
}

TEST_F(ReceiveDialog, CancelNoticeAndArrivalReachTheDialog) {
    auto* dialog = Keep(new TReceiveRequestDialog(Service, Offer(), TReceiveRequestDialog::rmNew, false));
    QPointer<TReceiveRequestDialog> guard(dialog);
    PostWindowEvent(dialog, WM_FILE_REQUESTCANCELED, 0, 0, TOnlineNotify());
    ASSERT_TRUE(WaitUntil([&] { return dialog->State() == TReceiveRequestDialog::rsCancelled; }));
    EXPECT_FALSE(dialog->OkButton()->isEnabled());

    TFilesArrival arrival;
    arrival.ReceivedNames = {QStringLiteral("a.txt")};
    QStringList opened;
    QObject::connect(dialog, &TReceiveRequestDialog::Received,
                     [&](const TFilesArrival& a) { opened = a.ReceivedNames; });
    PostWindowEvent(dialog, WM_FILE_RECEIVED, 0, 0, arrival);
    ASSERT_TRUE(WaitGone(guard));
    EXPECT_EQ(opened, QStringList{QStringLiteral("a.txt")});
}

TEST_F(ReceiveDialog, ProgressMovesTheBarAndCancelBeforeTheStreamWithdraws) {
    Settings[bpAutoFileTrans] = false;
    Service.RefreshListenerSettings();
    auto* dialog = Keep(new TReceiveRequestDialog(Service, Offer(), TReceiveRequestDialog::rmNew, false));
    QPointer<TReceiveRequestDialog> guard(dialog);
    dialog->show();
    EXPECT_FALSE(dialog->ProgressBar()->isVisible());
    dialog->OkClick();
    EXPECT_TRUE(dialog->ProgressBar()->isVisible());
    EXPECT_EQ(dialog->ProgressBar()->value(), 0);
    EXPECT_EQ(Service.AcceptedWaiting(), 1);

    TReceiveProgress progress;
    progress.Current = 2;
    progress.Files = 1;
    progress.FileSize = 4096;
    progress.FileDone = 1024;
    progress.Bytes = 3072;
    emit Service.ReceiveProgress(dialog->Handle() + 1, progress); // another dialog's
    EXPECT_EQ(dialog->ProgressBar()->value(), 0);
    emit Service.ReceiveProgress(dialog->Handle(), progress);
    EXPECT_EQ(dialog->ProgressBar()->value(), 250);
    EXPECT_EQ(dialog->ProgressLabel()->text(), QStringLiteral("File 2: 1 KB of 4 KB. Received: 1 file(s), 3 KB."));
    progress.FileDone = 4096;
    emit Service.ReceiveProgress(dialog->Handle(), progress);
    EXPECT_EQ(dialog->ProgressBar()->value(), 1000);

    // Escape only hides a transfer under way.
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->State(), TReceiveRequestDialog::rsReceiving);
    // No stream yet: the acceptance is withdrawn and the dialog goes at once.
    dialog->CancelClick();
    EXPECT_TRUE(WaitGone(guard));
    EXPECT_EQ(Service.AcceptedWaiting(), 0);
}

struct TOfferedCase {
    const char* Name;
    TOfferedFiles Offered;
    QStringList Lines; // the label's, "~" where a name is cut in the middle
};
void PrintTo(const TOfferedCase& c, std::ostream* os) { *os << c.Name; }

class ReceiveDialogOffered : public ReceiveDialog, public ::testing::WithParamInterface<TOfferedCase> {};

TEST_P(ReceiveDialogOffered, NamesAndSizeInAShortList) {
    const TOfferedCase& c = GetParam();
    TOnlineNotify offer = Offer();
    offer.Offered = c.Offered;
    auto* dialog = Keep(new TReceiveRequestDialog(Service, offer, TReceiveRequestDialog::rmNew, false));
    EXPECT_TRUE(dialog->OfferedLabel()->isVisibleTo(dialog));
    const QStringList lines = dialog->OfferedLabel()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), c.Lines.size()) << dialog->OfferedLabel()->text().toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (c.Lines[i] != QStringLiteral("~")) {
            EXPECT_EQ(lines[i], c.Lines[i]) << i;
            continue;
        }
        // Cut in the middle: both ends stay, and it is shorter than the name.
        EXPECT_TRUE(lines[i].contains(QChar(0x2026))) << lines[i].toStdString();
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral(".txt"))) << lines[i].toStdString();
        EXPECT_LT(lines[i].size(), 200);
    }
    // Every name the offer carried, whole.
    EXPECT_EQ(dialog->OfferedLabel()->toolTip(), c.Offered.Names.join(QLatin1Char('\n')));
    dialog->CancelClick();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReceiveDialogOffered,
    ::testing::Values(
        TOfferedCase{"TwoNamed", {2, 5000, {QStringLiteral("a.txt"), QString::fromUtf8("报告.doc")}},
                     {QStringLiteral("2 file(s), 4 KB in all:"), QStringLiteral("  a.txt"), QString::fromUtf8("  报告.doc")}},
        TOfferedCase{"CountedOnly", {3, 100, {}}, {QStringLiteral("3 file(s), 1 KB in all:"), QStringLiteral("  +3 more")}},
        TOfferedCase{"SomeUnnamed", {9, 900 * 1024, {QStringLiteral("a"), QStringLiteral("b")}},
                     {QStringLiteral("9 file(s), 900 KB in all:"), QStringLiteral("  a"), QStringLiteral("  b"),
                      QStringLiteral("  +7 more")}},
        TOfferedCase{"BeyondTheShortList",
                     {8, 8, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                             QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")}},
                     {QStringLiteral("8 file(s), 1 KB in all:"), QStringLiteral("  1"), QStringLiteral("  2"),
                      QStringLiteral("  3"), QStringLiteral("  4"), QStringLiteral("  5"), QStringLiteral("  +3 more")}},
        TOfferedCase{"LongNameCut",
                     {1, 10, {QStringLiteral("x").repeated(300) + QStringLiteral(".txt")}},
                     {QStringLiteral("1 file(s), 1 KB in all:"), QStringLiteral("~")}}),
    TCaseName());

TEST_F(ReceiveDialog, ProgressCountsAgainstTheOfferedTotal) {
    Settings[bpAutoFileTrans] = false;
    Service.RefreshListenerSettings();
    TOnlineNotify offer = Offer();
    offer.Offered = {3, 8192, {QStringLiteral("a")}};
    auto* dialog = Keep(new TReceiveRequestDialog(Service, offer, TReceiveRequestDialog::rmNew, false));
    dialog->OkClick();
    TReceiveProgress progress;
    progress.Current = 2;
    progress.Files = 1;
    progress.FileSize = 4096;
    progress.FileDone = 1024;
    progress.Bytes = 4096;
    progress.TotalFiles = 3;
    progress.TotalBytes = 8192;
    emit Service.ReceiveProgress(dialog->Handle(), progress);
    EXPECT_EQ(dialog->ProgressBar()->value(), 500);
    EXPECT_EQ(dialog->ProgressLabel()->text(), QStringLiteral("File 2 of 3: 1 KB of 4 KB. Received: 1 file(s), 4 KB of 8 KB."));
    progress.Bytes = 8192;
    progress.Files = 3;
    progress.Current = 3;
    emit Service.ReceiveProgress(dialog->Handle(), progress);
    EXPECT_EQ(dialog->ProgressBar()->value(), 1000);
    // Nothing but empty files: counted by files.
    progress = {};
    progress.Current = 1;
    progress.Files = 1;
    progress.TotalFiles = 4;
    emit Service.ReceiveProgress(dialog->Handle(), progress);
    EXPECT_EQ(dialog->ProgressBar()->value(), 250);
    // A stream that outgrew what the offer said: the current file's bar, as without totals.
    for (const auto& [files, bytes] : {std::pair(3, qint64(9000)), std::pair(5, qint64(100))}) {
        progress = {};
        progress.Current = files;
        progress.Files = files - 1;
        progress.FileSize = 4096;
        progress.FileDone = 2048;
        progress.Bytes = bytes;
        progress.TotalFiles = 3;
        progress.TotalBytes = 8192;
        emit Service.ReceiveProgress(dialog->Handle(), progress);
        EXPECT_EQ(dialog->ProgressBar()->value(), 500) << files;
        EXPECT_TRUE(dialog->ProgressLabel()->text().startsWith(QStringLiteral("File %1: 2 KB of 4 KB.").arg(files)))
            << dialog->ProgressLabel()->text().toStdString();
    }
    dialog->CancelClick();
}

TEST_F(ReceiveDialog, CancelWhileReceivingStopsTheStream) {
    Settings[bpAutoFileTrans] = false;
    Service.RefreshListenerSettings();
    auto* dialog = Keep(new TReceiveRequestDialog(Service, Offer(), TReceiveRequestDialog::rmNew, false));
    QPointer<TReceiveRequestDialog> guard(dialog);
    dialog->show();
    dialog->OkClick();
    ASSERT_TRUE(WaitUntil([&] { return !Log.Replies.isEmpty(); }));
    MakeFile(QStringLiteral("a.txt"), "alpha");
    MakeFile(QStringLiteral("big.bin"), Bytes(24 * 1024 * 1024, 4));
    TSendControl control;
    THoldAtFile hold(control, 1);
    TSendResult result;
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        result = SendFiles(Plan(QStringList{Src("a.txt"), Src("big.bin")}, dialog->Handle()), control, &hold);
        done = true;
    }));
    thread->start();
    // a.txt is in whole: the bar shows its block full.
    ASSERT_TRUE(WaitUntil([&] { return hold.Held.load() && dialog->ProgressBar()->value() == 1000; }));
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    dialog->CancelClick();
    EXPECT_EQ(dialog->State(), TReceiveRequestDialog::rsStopping);
    EXPECT_FALSE(dialog->CancelButton()->isEnabled());
    control.SetPaused(false);
    // Our own stop closes the dialog without telling of a termination.
    EXPECT_TRUE(WaitGone(guard));
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }, 60000));
    thread->wait();
    EXPECT_TRUE(result.StoppedByRecipient) << result.Error.toStdString();
    EXPECT_EQ(Entries(Inbox()), QStringList());
}

// ---------------------------------------------------------------- receive and manage windows

class FileFormReceive : public TFileFormFixture {
protected:
    void SetUp() override {
        Put(QStringLiteral("Files/From_Me(MYPC)/new.txt"), 100);
        Put(QStringLiteral("Files/From_Me(MYPC)/old.txt"), 2000);
        Put(QStringLiteral("Files/From_Me(MYPC)/Album/p.jpg"), 10);
        Put(QStringLiteral("Files/loose.txt"), 10);
    }
    void Put(const QString& relative, int size) {
        const QString path = Home.Path() + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Bytes(size, 1));
    }
    static QStringList Rows(const TFileForm& form, bool withMarks = false) {
        QStringList rows;
        for (const TShellItem& item : form.List().Items())
            rows << item.DisplayName + (withMarks && item.Marked ? QStringLiteral("*") : QString());
        rows.sort();
        return rows;
    }
    static int RowOf(const TFileForm& form, const QString& name) {
        for (int i = 0; i < form.List().rowCount(); ++i)
            if (form.List().Item(i).DisplayName == name) return i;
        return -1;
    }
    static QString RunAndWait(TFileForm& form, const std::function<void()>& command) {
        QString result;
        auto connection = QObject::connect(&form, &TFileForm::FileOperationFinished, [&](const QString& t) { result = t; });
        command();
        WaitUntil([&] { return !result.isEmpty(); }, 10000);
        QObject::disconnect(connection);
        return result;
    }
};

TEST_F(FileFormReceive, ListsTheSendersFolderWithTheTransfersMarks) {
    TFileForm& form = *NewForm(TFileForm::fmReceive, {QStringLiteral("new.txt"), QStringLiteral("Album")});
    EXPECT_EQ(form.windowTitle(), QStringLiteral("File(s) from Me(MYPC)"));
    EXPECT_EQ(Rows(form, true), (QStringList{QStringLiteral("Album*"), QStringLiteral("new.txt*"), QStringLiteral("old.txt")}));
    EXPECT_EQ(form.TotalText(), QStringLiteral("Total 3 file(s)."));
    EXPECT_EQ(form.List().data(form.List().index(RowOf(form, QStringLiteral("Album")), TShellFileList::colSize)).toString(),
              QString());

    TFileForm& manage = *NewForm(TFileForm::fmManage);
    EXPECT_EQ(Rows(manage, true), (QStringList{QStringLiteral("From_Me(MYPC)"), QStringLiteral("loose.txt")}));
    EXPECT_TRUE(manage.windowTitle().startsWith(QStringLiteral("Folder: ")));
}

// At its narrowest the window still shows every tool-bar command (none behind
// the extension button), each column is as wide as its caption and its text,
// and a file's icon is its type's picture.
TEST_F(FileFormReceive, ToolBarAndColumnsShowEverythingWhole) {
    TFileForm& form = *NewForm(TFileForm::fmReceive);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.resize(form.minimumWidth(), form.height());
    QApplication::processEvents();
    auto* bar = form.findChild<QToolBar*>(QStringLiteral("tbReceive"));
    ASSERT_NE(bar, nullptr);
    for (const char* name : {"tbtnCopyto", "tbtnGoTo", "tbtnLogManage"}) {
        QWidget* button = bar->widgetForAction(form.Action(QString::fromLatin1(name)));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->isVisible()) << name;
    }
    auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    EXPECT_TRUE(!more || !more->isVisible());
    auto* view = form.findChild<QTreeView*>(QStringLiteral("lvFileList"));
    ASSERT_NE(view, nullptr);
    for (int column = 0; column < TShellFileList::ColumnCount; ++column) {
        EXPECT_GE(view->columnWidth(column), view->header()->sectionSizeHint(column)) << column;
        EXPECT_GE(view->columnWidth(column), static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column)) << column;
    }
    const QMimeType text = QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain"));
    if (QIcon::hasThemeIcon(text.iconName()) || QIcon::hasThemeIcon(text.genericIconName())) {
        const QIcon shown = form.List().Item(RowOf(form, QStringLiteral("old.txt"))).Icon;
        const QIcon theme = QIcon::fromTheme(text.iconName(), QIcon::fromTheme(text.genericIconName()));
        EXPECT_EQ(shown.name(), theme.name());
    }
}

TEST_F(FileFormReceive, DeleteAsksThenRemovesFromDiskAndRelists) {
    TFileForm& form = *NewForm(TFileForm::fmReceive);
    form.SelectRows({RowOf(form, QStringLiteral("old.txt")), RowOf(form, QStringLiteral("Album"))});
    Answers = {TMessageBoxResult::No};
    EXPECT_EQ(RunAndWait(form, [&] { form.DeleteFilesClick(); }), QStringLiteral("Operation canceled."));
    EXPECT_TRUE(QFile::exists(Inbox() + QStringLiteral("old.txt")));

    EXPECT_EQ(RunAndWait(form, [&] { form.DeleteFilesClick(); }), QStringLiteral("Deleted successfully."));
    EXPECT_FALSE(QFile::exists(Inbox() + QStringLiteral("old.txt")));
    EXPECT_FALSE(QDir(Inbox() + QStringLiteral("Album")).exists());
    EXPECT_EQ(Rows(form), QStringList{QStringLiteral("new.txt")});
    EXPECT_EQ(form.TotalText(), QStringLiteral("Total 1 file(s)."));
}

TEST_F(FileFormReceive, CopyAndMoveIntoAChosenFolder) {
    const QString target = Home.Path() + QStringLiteral("target/");
    QDir().mkpath(target);
    ChosenFolder = target;
    TFileForm& form = *NewForm(TFileForm::fmReceive);
    form.SelectRows({RowOf(form, QStringLiteral("new.txt")), RowOf(form, QStringLiteral("Album"))});
    EXPECT_EQ(RunAndWait(form, [&] { form.CopyToClick(); }), QStringLiteral("Copied successfully."));
    EXPECT_EQ(FolderTitles, QStringList{QStringLiteral("Please select the destination directory.")});
    EXPECT_EQ(Settings[spLastCopyToFolder], target);
    EXPECT_EQ(ReadAll(target + QStringLiteral("new.txt")), Bytes(100, 1));
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("Album/p.jpg")));
    EXPECT_EQ(Rows(form).size(), 3);

    // The same names again: replacing is asked; No cancels the whole operation.
    form.SelectRows({RowOf(form, QStringLiteral("new.txt"))});
    Answers = {TMessageBoxResult::No};
    EXPECT_EQ(RunAndWait(form, [&] { form.MoveToClick(); }), QStringLiteral("Operation canceled."));
    EXPECT_TRUE(QFile::exists(Inbox() + QStringLiteral("new.txt")));

    form.SelectRows({RowOf(form, QStringLiteral("old.txt"))});
    EXPECT_EQ(RunAndWait(form, [&] { form.MoveToClick(); }), QStringLiteral("Moved successfully."));
    EXPECT_FALSE(QFile::exists(Inbox() + QStringLiteral("old.txt")));
    EXPECT_EQ(ReadAll(target + QStringLiteral("old.txt")), Bytes(2000, 1));
    EXPECT_EQ(Rows(form), (QStringList{QStringLiteral("Album"), QStringLiteral("new.txt")}));
}

TEST_F(FileFormReceive, FailuresAreReportedAsSuch) {
    TFileForm& form = *NewForm(TFileForm::fmReceive);
    // A folder cannot go into itself.
    ChosenFolder = Inbox() + QStringLiteral("Album/");
    form.SelectRows({RowOf(form, QStringLiteral("Album"))});
    EXPECT_EQ(RunAndWait(form, [&] { form.CopyToClick(); }), QStringLiteral("Failed to copy ."));
    ChosenFolder = Home.Path() + QStringLiteral("no/such/folder/");
    form.SelectRows({RowOf(form, QStringLiteral("new.txt"))});
    EXPECT_EQ(RunAndWait(form, [&] { form.MoveToClick(); }), QStringLiteral("Failed to move."));
    EXPECT_TRUE(QFile::exists(Inbox() + QStringLiteral("new.txt")));
}

TEST_F(FileFormReceive, ExplorerOpensTheReceivedFilesFolder) {
    TFileForm& form = *NewForm(TFileForm::fmReceive);
    form.ExplorerClick();
    ASSERT_EQ(Opened.size(), 1);
    EXPECT_EQ(Opened[0], QUrl::fromLocalFile(Settings[spArrivedFilesFolder]));
}

// ---------------------------------------------------------------- openers and uniqueness

class FileFormOpeners : public ::testing::Test {
protected:
    void SetUp() override {
        FAllowMulti = Params()[bpAllowMultiForm];
        Params()[bpAllowMultiForm] = false;
    }
    void TearDown() override {
        for (QPointer<TFileForm>& form : Forms)
            if (form) delete form.data();
        Params()[bpAllowMultiForm] = FAllowMulti;
    }
    TFileForm* Keep(TFileForm* form) {
        Forms << form;
        return form;
    }
    QList<QPointer<TFileForm>> Forms;
    bool FAllowMulti = false;
};

TEST_F(FileFormOpeners, OneWindowPerPeerAndOneManagerUnlessAllowed) {
    TNode node;
    TFileFormContext context;
    context.Transfer = &node.Transfer();
    context.Params = &Params();
    context.OnlineModel = &node.Model();
    TFileWindows windows(context);
    const TRecipients peer{{QStringLiteral("Ann"), QStringLiteral("PC7"), QStringLiteral("10.0.0.7"), QString(), QStringLiteral("{ann}")}};
    TFileForm* first = Keep(windows.OpenToSend(peer, true));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TWindowRegistry::Instance().FindByClass(QStringLiteral("wf_{ANN}")), first);
    EXPECT_EQ(windows.OpenToSend(peer, true), first);
    // Opening with files always makes a new window.
    TFileForm* dropped = Keep(windows.OpenToSend(peer, true, {QStringLiteral("/no/such/file")}));
    EXPECT_NE(dropped, first);

    TFileForm* manager = Keep(windows.OpenManager());
    EXPECT_EQ(manager->Mode(), TFileForm::fmManage);
    EXPECT_EQ(windows.OpenManager(), manager);

    Params()[bpAllowMultiForm] = true;
    EXPECT_NE(Keep(windows.OpenToSend(peer, true)), first);
    EXPECT_NE(Keep(windows.OpenManager()), manager);

    // A closed window no longer answers to its class.
    Params()[bpAllowMultiForm] = false;
    const QPointer<TFileForm> firstGuard(first);
    const QPointer<TFileForm> droppedGuard(dropped);
    first->close();
    dropped->close();
    ASSERT_TRUE(WaitGone(firstGuard));
    ASSERT_TRUE(WaitGone(droppedGuard));
    EXPECT_EQ(TWindowRegistry::Instance().FindByClass(QStringLiteral("WF_{ANN}")), nullptr);
}

TEST_F(FileFormOpeners, MainWindowItemsOpenTheManager) {
    TDesktop desktop(false);
    TMainForm& form = desktop.MainForm();
    QAction* manage = form.Action(QStringLiteral("miMainManage"));
    ASSERT_NE(manage, nullptr);
    EXPECT_EQ(manage->text(), QStringLiteral("&Manage Files..."));
    EXPECT_EQ(manage->data().toInt(), 1306);
    ASSERT_NE(form.Action(QStringLiteral("miTrayIconMenuManage")), nullptr);
    ASSERT_NE(form.Action(QStringLiteral("miTrayIconMenuSendFile")), nullptr);
    // Nothing selected: the File button waits for a user row.
    EXPECT_FALSE(form.findChild<QToolButton*>(QStringLiteral("tbtnSendFile"))->isEnabled());
    manage->trigger();
    auto* manager = qobject_cast<TFileForm*>(TWindowRegistry::Instance().FindByClass(QStringLiteral("QLM_FILEMANAGE_CLASS")));
    ASSERT_NE(manager, nullptr);
    Keep(manager);
    form.Action(QStringLiteral("miTrayIconMenuManage"))->trigger();
    EXPECT_EQ(TWindowRegistry::Instance().FindByClass(QStringLiteral("QLM_FILEMANAGE_CLASS")), manager);
    delete manager;
}

} // namespace
