// One send's preparation, shared by the file window and the command line:
// paths sorted, folders packed into archives of the batch, and only those
// archives removed again.
#include "transfer/SendBatchUnit.h"

#include "support/TestSupport.h"
#include "transfer/CompressThreadUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

namespace {

class SendBatch : public ::testing::Test {
protected:
    QString Make(const QString& relative, const QByteArray& bytes = "data") {
        const QString path = Home.Path() + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    // Packs folders with the batch and waits for the job's end.
    QStringList PackAndWait(TSendBatch& batch, const QStringList& folders, const QString& name = {}) {
        std::unique_ptr<TFolderPackJob> job = batch.Pack(folders, name, 1);
        QSignalSpy finished(job.get(), &TFolderPackJob::Finished);
        job->Start();
        QDeadlineTimer deadline(10000);
        while (finished.isEmpty() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(finished.size(), 1);
        return job->ArchivePaths();
    }

    TTempHome Home;
};

TEST_F(SendBatch, SortsFilesFoldersMissingAndRefusedInTheirOrder) {
    const QString a = Make(QStringLiteral("a.txt"));
    const QString folder = QFileInfo(Make(QStringLiteral("Album/p.jpg"))).absolutePath();
    const QString b = Make(QStringLiteral("b.txt"));
    const QString gone = Home.Path() + QStringLiteral("gone.txt");
    // Too large for the stream's 32-bit block (sparse: it takes no room).
    const QString huge = Make(QStringLiteral("huge.bin"));
    QFile(huge).resize(qint64(1) << 31);
    const TSendPaths sorted = TSendBatch::Sort({a, folder, gone, huge, b});
    EXPECT_EQ(sorted.Files, (QStringList{a, b}));
    EXPECT_EQ(sorted.Folders, QStringList{folder});
    EXPECT_EQ(sorted.Missing, QStringList{gone});
    ASSERT_EQ(sorted.Refused.size(), 1);
    EXPECT_EQ(sorted.Refused[0].first, huge);
    EXPECT_TRUE(sorted.Refused[0].second.contains(QStringLiteral("2 GiB"))) << sorted.Refused[0].second.toStdString();
}

TEST_F(SendBatch, ArchivesGoWithTheBatchAndTheUsersFilesStay) {
    const QString own = Make(QStringLiteral("mine.txt"));
    Make(QStringLiteral("Album/p.jpg"), QByteArray(5000, 'p'));
    Make(QStringLiteral("Notes/n.txt"));
    QStringList archives;
    {
        TSendBatch batch;
        archives = PackAndWait(batch, {Home.Path() + QStringLiteral("Album"), Home.Path() + QStringLiteral("Notes")});
        ASSERT_EQ(archives.size(), 2);
        for (const QString& archive : archives) EXPECT_TRUE(QFileInfo::exists(archive)) << archive.toStdString();
        EXPECT_EQ(batch.Archives(), archives);
        // A path the batch did not make is never removed through it.
        batch.Remove(own);
        EXPECT_TRUE(QFileInfo::exists(own));
        batch.Remove(archives[0]);
        EXPECT_FALSE(QFileInfo::exists(archives[0]));
        EXPECT_TRUE(QFileInfo::exists(archives[1]));
    }
    EXPECT_FALSE(QFileInfo::exists(archives[1]));
    EXPECT_TRUE(QFileInfo::exists(own));
    EXPECT_TRUE(QFileInfo::exists(Home.Path() + QStringLiteral("Album/p.jpg")));
}

TEST_F(SendBatch, ASecondPackingNamesItsArchivesApartFromTheFirst) {
    Make(QStringLiteral("Album/p.jpg"));
    TSendBatch batch;
    const QStringList first = PackAndWait(batch, {Home.Path() + QStringLiteral("Album")});
    const QStringList second = PackAndWait(batch, {Home.Path() + QStringLiteral("Album")});
    ASSERT_EQ(first.size(), 1);
    ASSERT_EQ(second.size(), 1);
    EXPECT_NE(first[0], second[0]);
    EXPECT_TRUE(QFileInfo::exists(first[0]));
    batch.RemoveAll();
    EXPECT_FALSE(QFileInfo::exists(first[0]));
    EXPECT_FALSE(QFileInfo::exists(second[0]));
    EXPECT_TRUE(batch.Archives().isEmpty());
}

} // namespace
