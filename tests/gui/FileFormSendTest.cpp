#include "transfer/widgets/FileUnit.h"

#include "core/UtilsUnit.h"
#include "support/FileFormFixture.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileLogUnit.h"
#include "transfer/widgets/FileDialogsUnit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QProgressBar>
#include <QRegularExpression>

namespace {

using Utils::TMessageBoxResult;

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

class FileFormSend : public TFileFormFixture {
protected:
    void SetUp() override { ASSERT_TRUE(StartWith()); }
    QString Text(const TFileForm& form, int row, int column) const {
        return form.List().data(form.List().index(row, column)).toString();
    }
    static QStringList Marks(const TFileForm& form) {
        QStringList marks;
        for (const TShellItem& item : form.List().Items()) marks << (item.Marked ? QStringLiteral("x") : QStringLiteral("-"));
        return marks;
    }
};

TEST_F(FileFormSend, AddsFilesAndFoldersAndShowsTotals) {
    MakeFile(QStringLiteral("a.txt"), Bytes(1500, 1));
    MakeFile(QStringLiteral("tiny.bin"), Bytes(10, 2));
    const QString photos = Folder(QStringLiteral("Photos"), 3, 4000);
    TFileForm& form = *NewForm(TFileForm::fmSend);
    EXPECT_FALSE(form.Action(QStringLiteral("tbtnSendFile"))->isEnabled());
    EXPECT_EQ(form.TotalText(), QStringLiteral("Total 0 file(s)."));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Send file(s) to Me(MYPC)"));

    bool canceled = true;
    AddAndWait(form, {Src(QStringLiteral("a.txt")), Src(QStringLiteral("nothing-here")), photos,
                      Src(QStringLiteral("tiny.bin"))}, &canceled);
    EXPECT_FALSE(canceled);
    ASSERT_EQ(form.List().rowCount(), 3);
    // Files first as they come, the packed folder after its dialog.
    EXPECT_EQ(Text(form, 0, TShellFileList::colName), QStringLiteral("a.txt"));
    EXPECT_EQ(Text(form, 0, TShellFileList::colSize), QStringLiteral("1 KB"));
    EXPECT_EQ(Text(form, 1, TShellFileList::colSize), QStringLiteral("1 KB"));
    EXPECT_EQ(Text(form, 0, TShellFileList::colNotes), QString());
    const TShellItem& archive = form.List().Item(2);
    EXPECT_TRUE(archive.IsArchive);
    EXPECT_EQ(archive.Path, Utils::GetTempFolder() + QStringLiteral("Photos.zip"));
    EXPECT_EQ(Text(form, 2, TShellFileList::colNotes), QStringLiteral("Zipped Folder: ") + Native(photos));
    EXPECT_EQ(form.TotalText(), QStringLiteral("Total 3 file(s)."));
    EXPECT_TRUE(form.Action(QStringLiteral("tbtnSendFile"))->isEnabled());

    // The same folder again gets the next free name.
    AddAndWait(form, {photos});
    ASSERT_EQ(form.List().rowCount(), 4);
    EXPECT_EQ(form.List().Item(3).Path, Utils::GetTempFolder() + QStringLiteral("Photos(1).zip"));
    EXPECT_EQ(form.TotalText(), QStringLiteral("Total 4 file(s)."));
}

TEST_F(FileFormSend, SizeSortsByBytesAndFlipsDirection) {
    MakeFile(QStringLiteral("b.bin"), Bytes(9000, 1));
    MakeFile(QStringLiteral("a.bin"), Bytes(100000, 2));
    MakeFile(QStringLiteral("c.bin"), Bytes(2000, 3));
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({Src(QStringLiteral("b.bin")), Src(QStringLiteral("a.bin")), Src(QStringLiteral("c.bin"))});
    const auto names = [&] {
        QStringList n;
        for (const TShellItem& item : form.List().Items()) n << item.DisplayName;
        return n.join(QLatin1Char(' '));
    };
    form.SortByColumn(TShellFileList::colSize);
    EXPECT_EQ(names(), QStringLiteral("a.bin b.bin c.bin"));
    form.SortByColumn(TShellFileList::colSize);
    EXPECT_EQ(names(), QStringLiteral("c.bin b.bin a.bin"));
    form.SortByColumn(TShellFileList::colSize);
    EXPECT_EQ(names(), QStringLiteral("a.bin b.bin c.bin"));
    // Another column starts descending again, whatever the last direction was.
    form.SortByColumn(TShellFileList::colName);
    EXPECT_EQ(names(), QStringLiteral("c.bin b.bin a.bin"));
    form.SortByColumn(TShellFileList::colName);
    EXPECT_EQ(names(), QStringLiteral("a.bin b.bin c.bin"));
}

TEST_F(FileFormSend, ArchivesGoWithTheirRowAndWithTheWindow) {
    MakeFile(QStringLiteral("own.txt"), Bytes(100, 1));
    const QString docs = Folder(QStringLiteral("Docs"), 2, 100);
    const QString pics = Folder(QStringLiteral("Pics"), 2, 100);
    TFileForm& form = *NewForm(TFileForm::fmSend);
    AddAndWait(form, {Src(QStringLiteral("own.txt")), docs, pics});
    ASSERT_EQ(form.List().rowCount(), 3);
    const QString docsZip = form.List().Item(1).Path;
    const QString picsZip = form.List().Item(2).Path;
    ASSERT_TRUE(QFile::exists(docsZip));
    ASSERT_TRUE(QFile::exists(picsZip));

    form.SelectRows({1});
    form.DeleteSelectedRows();
    EXPECT_FALSE(QFile::exists(docsZip));
    EXPECT_TRUE(QFile::exists(picsZip));
    EXPECT_TRUE(QDir(docs).exists()); // the packed folder itself stays
    EXPECT_EQ(form.TotalText(), QStringLiteral("Total 2 file(s)."));

    form.close();
    EXPECT_FALSE(QFile::exists(picsZip));
    EXPECT_TRUE(QFile::exists(Src(QStringLiteral("own.txt"))));
}

TEST_F(FileFormSend, PackingCancelAsksAndDeletesTheWholeBatch) {
    // Enough to pack that the question comes while the first folder is going.
    const QString first = Folder(QStringLiteral("First"), 150, 40000);
    const QString second = Folder(QStringLiteral("Second"), 150, 40000);
    TFileForm& form = *NewForm(TFileForm::fmSend);
    bool finished = false;
    bool canceled = false;
    QObject::connect(&form, &TFileForm::PackingFinished, [&](bool c) {
        finished = true;
        canceled = c;
    });
    form.AddPaths({first, second});
    auto* dialog = form.findChild<TCompressProgressDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->Line1()->text().startsWith(QStringLiteral("Compressing folder:")));
    Answers = {TMessageBoxResult::No};
    dialog->CancelClick();
    ASSERT_EQ(Boxes, QStringList{QStringLiteral("Are you sure to stop adding the folder?")});
    // No: the packing goes on and can still be cancelled.
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    EXPECT_FALSE(finished);
    Answers = {TMessageBoxResult::Yes};
    dialog->CancelClick();
    ASSERT_TRUE(WaitUntil([&] { return finished; }, 30000));
    EXPECT_TRUE(canceled);
    EXPECT_EQ(form.List().rowCount(), 0);
    EXPECT_FALSE(QFile::exists(Utils::GetTempFolder() + QStringLiteral("First.zip")));
    EXPECT_FALSE(QFile::exists(Utils::GetTempFolder() + QStringLiteral("Second.zip")));
}

TEST_F(FileFormSend, PackingShowsFolderFileAndPercent) {
    const QString folder = Folder(QStringLiteral("Album"), 4, 70000);
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({folder});
    auto* dialog = form.findChild<TCompressProgressDialog*>();
    ASSERT_NE(dialog, nullptr);
    QStringList lines1;
    QStringList lines2;
    int lastPercent = -1;
    QObject::connect(dialog, &QDialog::finished, [&] { lastPercent = dialog->Bar()->value(); });
    // Record what the dialog shows as the job reports.
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!lines1.contains(dialog->Line1()->text())) lines1 << dialog->Line1()->text();
        if (!dialog->Line2()->text().isEmpty() && !lines2.contains(dialog->Line2()->text())) lines2 << dialog->Line2()->text();
    });
    bool done = false;
    QObject::connect(&form, &TFileForm::PackingFinished, [&] {
        done = true;
        probe.stop();
    });
    QObject::connect(dialog, &QDialog::finished, [&] {
        if (!lines1.contains(dialog->Line1()->text())) lines1 << dialog->Line1()->text();
        if (!lines2.contains(dialog->Line2()->text())) lines2 << dialog->Line2()->text();
    });
    probe.start(0);
    ASSERT_TRUE(WaitUntil([&] { return done; }, 30000));
    EXPECT_TRUE(lines1.contains(QStringLiteral("Compressing folder: ") + Native(folder))) << lines1.join(QLatin1Char('|')).toStdString();
    ASSERT_FALSE(lines2.isEmpty());
    for (const QString& line : lines2) EXPECT_TRUE(QRegularExpression(QStringLiteral("^f[0-3]\\.bin$")).match(line).hasMatch()) << line.toStdString();
    EXPECT_EQ(lastPercent, 100);
}

TEST_F(FileFormSend, TransferMarksRowsLogsAndReportsAllSent) {
    MakeFile(QStringLiteral("one.txt"), Bytes(3000, 1));
    const QString folder = Folder(QStringLiteral("Set"), 2, 500);
    TFileForm& form = *NewForm(TFileForm::fmSend);
    AddAndWait(form, {Src(QStringLiteral("one.txt")), folder});
    ASSERT_EQ(form.List().rowCount(), 2);

    EXPECT_EQ(SendAndWait(form), QStringLiteral("All sent successfully."));
    EXPECT_EQ(form.ResultText(), QStringLiteral("All sent successfully."));
    EXPECT_EQ(Marks(form), (QStringList{QStringLiteral("x"), QStringLiteral("x")}));
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join(QLatin1Char('|')).toStdString();

    ASSERT_EQ(Logged.size(), 1);
    const TLogRecord& sent = Logged[0];
    EXPECT_EQ(sent.LogType, ltFile);
    EXPECT_TRUE(sent.IfSendOut);
    EXPECT_EQ(sent.LangID, 1033);
    const QString lines = QStringLiteral("<File>") + Native(Src(QStringLiteral("one.txt"))) + QStringLiteral("\r\n<Folder>") +
                          Native(folder);
    EXPECT_EQ(TMessageLang::Decode(1033, sent.Content), lines);
    EXPECT_EQ(sent.First2Line, lines);
    EXPECT_EQ(sent.IP, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(sent.Computer, QStringLiteral("MYPC"));
    EXPECT_EQ(sent.Nick, QStringLiteral("Me"));

    // The receiver's entry names the folder and what was stored there.
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty(); }));
    TLogRecord received;
    ASSERT_TRUE(FileLog::ReceivedRecord(Log.Arrivals[0].first, &received));
    EXPECT_FALSE(received.IfSendOut);
    EXPECT_EQ(received.LogType, ltFile);
    EXPECT_EQ(received.First2Line, Native(Inbox()));
    EXPECT_EQ(TMessageLang::Decode(received.LangID, received.Content),
              QStringLiteral("<Saved In Folder>") + Native(Inbox()) + QStringLiteral("\r\n<File>one.txt\r\n<Folder>Set"));
    EXPECT_EQ(ReadAll(Inbox() + QStringLiteral("Set/f1.bin")), Bytes(500, 1));
}

TEST_F(FileFormSend, UnreadableFileLeavesItsRowUnmarkedAndIsNotLogged) {
    MakeFile(QStringLiteral("a.txt"), Bytes(100, 1));
    MakeFile(QStringLiteral("gone.txt"), Bytes(100, 2));
    MakeFile(QStringLiteral("c.txt"), Bytes(100, 3));
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({Src(QStringLiteral("a.txt")), Src(QStringLiteral("gone.txt")), Src(QStringLiteral("c.txt"))});
    QFile::remove(Src(QStringLiteral("gone.txt")));

    EXPECT_EQ(SendAndWait(form), QStringLiteral("Part sent successfully."));
    EXPECT_EQ(Marks(form), (QStringList{QStringLiteral("x"), QStringLiteral("-"), QStringLiteral("x")}));
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes[0].startsWith(QStringLiteral("These files were not sent:\ngone.txt: "))) << Boxes[0].toStdString();
    ASSERT_EQ(Logged.size(), 1);
    EXPECT_EQ(TMessageLang::Decode(1033, Logged[0].Content),
              QStringLiteral("<File>") + Native(Src(QStringLiteral("a.txt"))) + QStringLiteral("\r\n<File>") +
                  Native(Src(QStringLiteral("c.txt"))));

    // Marks stay and count in the next request of the same window.
    MakeFile(QStringLiteral("gone.txt"), Bytes(100, 2));
    EXPECT_EQ(SendAndWait(form), QStringLiteral("All sent successfully."));
    EXPECT_EQ(Logged.size(), 2);
}

TEST_F(FileFormSend, UnansweredOfferIsWithdrawnAfterTheQuestion) {
    MakeFile(QStringLiteral("a.txt"), Bytes(100, 1));
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({Src(QStringLiteral("a.txt"))});
    // The offer goes out; its stream finds nobody once the listener is gone.
    Server->StopListening();
    form.SendFileClick();
    auto* wait = form.findChild<TRequestWaitDialog*>();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->TextLabel()->text(), QStringLiteral("Send request to: Me(MYPC) and wait for reply now."));
    // A peer that never answers: Cancel asks, then withdraws the offer.
    Answers = {TMessageBoxResult::No};
    wait->CancelClick();
    EXPECT_EQ(form.SendState(), TFileForm::ssWaiting);
    Answers = {TMessageBoxResult::Yes};
    wait->CancelClick();
    EXPECT_EQ(form.SendState(), TFileForm::ssComposing);
    EXPECT_EQ(form.ResultText(), QStringLiteral("Sending canceled."));
    EXPECT_EQ(Boxes, (QStringList{QStringLiteral("Are you sure to cancel the request?"),
                                  QStringLiteral("Are you sure to cancel the request?")}));
    EXPECT_TRUE(Logged.isEmpty());
}

// The status follows the request under way: after a success, a new offer
// reads as waiting, and a decline as the decline, also once its box is closed.
TEST_F(FileFormSend, StatusFollowsTheLastRequestsOutcome) {
    MakeFile(QStringLiteral("a.txt"), Bytes(100, 1));
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({Src(QStringLiteral("a.txt"))});
    ASSERT_EQ(SendAndWait(form), QStringLiteral("All sent successfully."));
    Settings[bpAutoFileTrans] = false;
    Service.RefreshListenerSettings();
    form.SendFileClick();
    auto* wait = form.findChild<TRequestWaitDialog*>();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(form.ResultText(), QStringLiteral("Send request to: Me(MYPC) and wait for reply now."));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    Service.AnswerOffer(Log.Offers.last(), 0, false);
    ASSERT_TRUE(WaitUntil([&] { return wait->Declined(); }));
    EXPECT_EQ(form.ResultText(), QStringLiteral("Me(MYPC) has declined your request."));
    wait->CancelClick();
    EXPECT_EQ(form.SendState(), TFileForm::ssComposing);
    EXPECT_EQ(form.ResultText(), QStringLiteral("Me(MYPC) has declined your request."));
}

TEST_F(FileFormSend, ProgressShowsEachFileAndCancelStopsBeforeTheNext) {
    MakeFile(QStringLiteral("big.bin"), Bytes(24 << 20, 1));
    MakeFile(QStringLiteral("two.bin"), Bytes(1000, 2));
    MakeFile(QStringLiteral("three.bin"), Bytes(1000, 3));
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({Src(QStringLiteral("big.bin")), Src(QStringLiteral("two.bin")), Src(QStringLiteral("three.bin"))});
    Gate.Close();
    QString result;
    QObject::connect(&form, &TFileForm::SendFinished, [&](const QString& text) { result = text; });
    form.SendFileClick();
    TSendProgressDialog* progress = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        progress = form.findChild<TSendProgressDialog*>();
        return progress && progress->Line1()->text() == QStringLiteral("Current: 1 / Total: 3");
    }));
    EXPECT_EQ(progress->Line2()->text(), Native(Src(QStringLiteral("big.bin"))));
    EXPECT_EQ(progress->Bar()->maximum(), 24 << 20);
    EXPECT_TRUE(progress->CancelButton()->isEnabled());

    Answers = {TMessageBoxResult::No};
    progress->CancelClick();
    EXPECT_FALSE(progress->StopRequested());
    EXPECT_TRUE(progress->CancelButton()->isEnabled());
    Answers = {TMessageBoxResult::Yes};
    progress->CancelClick();
    EXPECT_TRUE(progress->StopRequested());
    EXPECT_FALSE(progress->CancelButton()->isEnabled());
    EXPECT_EQ(Boxes, (QStringList{QStringLiteral("Are you sure to cancel the file transfer?"),
                                  QStringLiteral("Are you sure to cancel the file transfer?")}));
    Gate.Open();

    ASSERT_TRUE(WaitUntil([&] { return !result.isEmpty(); }, 30000));
    EXPECT_EQ(result, QStringLiteral("Sending canceled."));
    EXPECT_EQ(Marks(form), (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-")}));
    EXPECT_TRUE(Logged.isEmpty());
    // The receiver was told and kept nothing.
    ASSERT_TRUE(WaitUntil([&] { return !Log.Terminations.isEmpty(); }));
    EXPECT_FALSE(QFile::exists(Inbox() + QStringLiteral("big.bin")));
}

TEST_F(FileFormSend, CancelIsDisabledOnceTheLastFileBegins) {
    MakeFile(QStringLiteral("only.bin"), Bytes(24 << 20, 1));
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.AddPaths({Src(QStringLiteral("only.bin"))});
    Gate.Close();
    QString result;
    QObject::connect(&form, &TFileForm::SendFinished, [&](const QString& text) { result = text; });
    form.SendFileClick();
    TSendProgressDialog* progress = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        progress = form.findChild<TSendProgressDialog*>();
        return progress && progress->Line1()->text() == QStringLiteral("Current: 1 / Total: 1");
    }));
    EXPECT_FALSE(progress->CancelButton()->isEnabled());
    progress->CancelClick();
    EXPECT_TRUE(Boxes.isEmpty());
    Gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return !result.isEmpty(); }, 30000));
    EXPECT_EQ(result, QStringLiteral("All sent successfully."));
}

TEST_F(FileFormSend, AutoCloseClosesAfterAllWent) {
    MakeFile(QStringLiteral("a.txt"), Bytes(100, 1));
    Settings[bpCloseAfterSendFile] = true;
    QPointer<TFileForm> form = NewForm(TFileForm::fmSend);
    EXPECT_TRUE(form->Action(QStringLiteral("tbtnAutoClose"))->isChecked());
    form->show();
    form->AddPaths({Src(QStringLiteral("a.txt"))});
    EXPECT_EQ(SendAndWait(*form), QStringLiteral("All sent successfully."));
    EXPECT_TRUE(WaitGone(form));
}

// A send window after its transfer: rows with their marks, an archive row,
// the totals. With QLM_SCREENSHOT_DIR set it is saved there as file-window.png.
TEST_F(FileFormSend, Screenshot) {
    MakeFile(QStringLiteral("Quarterly report.odt"), Bytes(180000, 1));
    MakeFile(QStringLiteral("Budget 2024.ods"), Bytes(52000, 2));
    const QString photos = Folder(QStringLiteral("Team photos"), 3, 90000);
    TFileForm& form = *NewForm(TFileForm::fmSend);
    form.resize(640, 300);
    form.show();
    AddAndWait(form, {Src(QStringLiteral("Quarterly report.odt")), Src(QStringLiteral("Budget 2024.ods")), photos});
    ASSERT_EQ(SendAndWait(form), QStringLiteral("All sent successfully."));
    QApplication::processEvents();
    const QPixmap shot = form.grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), form.size() * shot.devicePixelRatio());
    const QString folder = qEnvironmentVariable("QLM_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(shot.save(QDir(folder).filePath(QStringLiteral("file-window.png"))));
    }
}

} // namespace
