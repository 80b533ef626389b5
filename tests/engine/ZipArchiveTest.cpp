#include "protocol/EnvelopeUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/FileReceiveUnit.h"
#include "transfer/UnpackUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QtEndian>
#include <ostream>
#include <tuple>

#include <zip.h>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Relative path -> content ("<dir>" for folders) of everything under root.
QMap<QString, QByteArray> Tree(const QString& root) {
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString rel = QDir(root).relativeFilePath(it.filePath());
        tree.insert(rel, it.fileInfo().isDir() ? QByteArray("<dir>") : ReadFile(it.filePath()));
    }
    return tree;
}

QByteArray Noise(int size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

class ZipArchive : public ::testing::Test {
protected:
    void MakeSampleFolder() {
        WriteFile(Source + QStringLiteral("readme.txt"), "hello\n");
        WriteFile(Source + QStringLiteral("sub/deeper/data.bin"), Noise(200000, 1));
        WriteFile(Source + QString::fromUtf8("Ünïcode 报告/фото.txt"), "unicode");
        WriteFile(Source + QStringLiteral(".hidden"), "h");
        QDir().mkpath(Source + QStringLiteral("empty/inner"));
        QFile::setPermissions(Source + QStringLiteral("readme.txt"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    }
    TPackResult Pack(int level, const TPackProgress& progress = {}) {
        return PackFolder(Source, Archive, level, progress);
    }

    TTempHome Home;
    QString Source = Home.Path() + QStringLiteral("Photos/");
    QString Archive = Home.Path() + QStringLiteral("Photos.zip");
    QString Target = Home.Path() + QStringLiteral("out/");
    TDiskGuard Guard{0, [](const QString&) { return qint64(1) << 40; }};
};

TEST_F(ZipArchive, RoundTripKeepsFilesEmptyFoldersUnicodeNamesAndModes) {
    MakeSampleFolder();
    const TPackResult packed = Pack(1);
    ASSERT_TRUE(packed.Ok) << packed.Error.toStdString();
    EXPECT_TRUE(packed.Skipped.isEmpty());
    ASSERT_TRUE(QDir().mkpath(Target));
    const TUnpackResult unpacked = UnpackArchive(Archive, Target, Guard);
    ASSERT_TRUE(unpacked.Ok) << unpacked.Error.toStdString();
    EXPECT_TRUE(unpacked.Refused.isEmpty()) << unpacked.RefusedNames().join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(Tree(Target), Tree(Source));
    EXPECT_TRUE(QFileInfo(Target + QStringLiteral("readme.txt")).permissions() & QFile::ExeOwner);
    EXPECT_FALSE(QFileInfo(Target + QStringLiteral(".hidden")).permissions() & QFile::ExeOwner);
}

TEST_F(ZipArchive, StandardUnzipReadsTheArchive) {
    MakeSampleFolder();
    ASSERT_TRUE(Pack(6).Ok);
    QProcess unzip;
    unzip.setWorkingDirectory(Home.Path());
    QDir().mkpath(Target);
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-q"), Archive, QStringLiteral("-d"), Target});
    ASSERT_TRUE(unzip.waitForFinished(30000));
    ASSERT_EQ(unzip.exitCode(), 0) << unzip.readAllStandardError().toStdString();
    EXPECT_EQ(Tree(Target), Tree(Source));
}

TEST_F(ZipArchive, LevelZeroStoresAndOtherLevelsCompress) {
    WriteFile(Source + QStringLiteral("text.txt"), QByteArray(100000, 'a'));
    ASSERT_TRUE(Pack(0).Ok);
    EXPECT_GT(QFileInfo(Archive).size(), 100000);
    ASSERT_TRUE(Pack(CompressionLevel(1)).Ok);
    EXPECT_LT(QFileInfo(Archive).size(), 10000);
    EXPECT_EQ(CompressionLevel(10), 1);
    EXPECT_EQ(CompressionLevel(-1), 1);
    EXPECT_EQ(CompressionLevel(0), 0);
    EXPECT_EQ(CompressionLevel(9), 9);
}

TEST_F(ZipArchive, AnEmptyFolderStillGivesAnArchive) {
    QDir().mkpath(Source);
    const TPackResult packed = Pack(1);
    ASSERT_TRUE(packed.Ok) << packed.Error.toStdString();
    ASSERT_TRUE(QFileInfo::exists(Archive));
    QDir().mkpath(Target);
    const TUnpackResult unpacked = UnpackArchive(Archive, Target, Guard);
    EXPECT_TRUE(unpacked.Ok) << unpacked.Error.toStdString();
    EXPECT_TRUE(Tree(Target).isEmpty());
}

TEST_F(ZipArchive, LinksAndUnreadableFilesAreLeftOutAndNamed) {
    WriteFile(Source + QStringLiteral("ok.txt"), "ok");
    WriteFile(Source + QStringLiteral("secret.txt"), "s");
    QFile::setPermissions(Source + QStringLiteral("secret.txt"), QFile::Permissions());
    QFile::link(QStringLiteral("/etc"), Source + QStringLiteral("etc-link"));
    const TPackResult packed = Pack(1);
    ASSERT_TRUE(packed.Ok) << packed.Error.toStdString();
    EXPECT_TRUE(packed.Skipped.contains(QStringLiteral("etc-link")));
    // Root reads every file: the permission test only holds for others.
    if (!QFile(Source + QStringLiteral("secret.txt")).open(QIODevice::ReadOnly)) {
        EXPECT_TRUE(packed.Skipped.contains(QStringLiteral("secret.txt")));
    }
    QDir().mkpath(Target);
    ASSERT_TRUE(UnpackArchive(Archive, Target, Guard).Ok);
    EXPECT_EQ(ReadFile(Target + QStringLiteral("ok.txt")), "ok");
    EXPECT_FALSE(QFileInfo(Target + QStringLiteral("etc-link")).exists());
}

TEST_F(ZipArchive, ProgressNamesEveryFileAndCancelLeavesNoArchive) {
    for (int i = 0; i < 5; ++i) WriteFile(Source + QStringLiteral("f%1.bin").arg(i), Noise(100000, i));
    QStringList seen;
    QList<int> percents;
    TPackProgress progress;
    progress.CurrentFile = [&](const QString& f) { seen << f; };
    progress.Percent = [&](int p) { percents << p; };
    ASSERT_TRUE(Pack(1, progress).Ok);
    seen.sort();
    EXPECT_EQ(seen, (QStringList{"f0.bin", "f1.bin", "f2.bin", "f3.bin", "f4.bin"}));
    ASSERT_FALSE(percents.isEmpty());
    EXPECT_EQ(percents.last(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));

    int reads = 0;
    progress.Proceed = [&] { return ++reads < 5; };
    const TPackResult canceled = Pack(1, progress);
    EXPECT_FALSE(canceled.Ok);
    EXPECT_TRUE(canceled.Canceled);
    EXPECT_FALSE(QFileInfo::exists(Archive));
    QDir dir(Home.Path());
    EXPECT_TRUE(dir.entryList({QStringLiteral("*.zip*")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ZipArchive, JobCancelDeletesTheWholeBatch) {
    // The first folder holds no file, so it is packed without ever asking to
    // go on; the job is paused from the start and so stops in the second.
    QDir().mkpath(Home.Path() + "A0/only-a-folder");
    for (int i = 1; i < 3; ++i) WriteFile(Home.Path() + QStringLiteral("A%1/f.bin").arg(i), Noise(300000, i));
    const QStringList folders{Home.Path() + "A0", Home.Path() + "A1", Home.Path() + "A2"};
    const QStringList archives{Home.Path() + "A0.zip", Home.Path() + "A1.zip", Home.Path() + "A2.zip"};
    TFolderPackJob job(folders, archives, 1);
    QSignalSpy started(&job, &TFolderPackJob::FolderStarted);
    QSignalSpy done(&job, &TFolderPackJob::FolderDone);
    QSignalSpy finished(&job, &TFolderPackJob::Finished);
    job.SetPaused(true);
    job.Start();
    QDeadlineTimer deadline(10000);
    while ((done.isEmpty() || started.size() < 2) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(done.size(), 1);
    EXPECT_TRUE(done[0][1].value<TPackResult>().Ok);
    EXPECT_TRUE(QFileInfo::exists(archives[0]));
    job.Cancel();
    while (finished.isEmpty() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished[0][0].toBool());
    for (const QString& a : archives) EXPECT_FALSE(QFileInfo::exists(a)) << a.toStdString();
}

// ---- Hostile archives: made with the library directly ----

const char* RefusalName(TEntryRefusal r) {
    switch (r) {
    case TEntryRefusal::Outside: return "Outside";
    case TEntryRefusal::Link: return "Link";
    case TEntryRefusal::TooLarge: return "TooLarge";
    case TEntryRefusal::DiskSpace: return "DiskSpace";
    case TEntryRefusal::NameTaken: return "NameTaken";
    case TEntryRefusal::WriteError: return "WriteError";
    }
    return "?";
}

// Name and reason of each refusal, comparable in one expectation.
QStringList Refusals(const TUnpackResult& result) {
    QStringList list;
    for (const TRefusedEntry& e : result.Refused) list << e.Name + QLatin1Char(' ') + QLatin1String(RefusalName(e.Reason));
    return list;
}

struct TZipEntry {
    QByteArray Name;
    QByteArray Content;
    bool Link = false;
};

// Writes an archive of entries in order; with declaredSize >= 0 every entry
// named lie claims that size in its headers, whatever it holds.
void MakeZip(const QString& path, const QList<TZipEntry>& entries, const QByteArray& lie = {}, qint64 declaredSize = -1) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_TRUE(z);
    for (const TZipEntry& e : entries) {
        zip_source_t* src = zip_source_buffer(z, e.Content.constData(), zip_uint64_t(e.Content.size()), 0);
        const zip_int64_t index = zip_file_add(z, e.Name.constData(), src, ZIP_FL_OVERWRITE);
        ASSERT_GE(index, 0);
        if (e.Link) zip_file_set_external_attributes(z, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, (0120777u) << 16);
    }
    ASSERT_EQ(zip_close(z), 0);
    if (declaredSize < 0) return;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    int patched = 0;
    // Local header: size at 22, name length at 26, name at 30; central header: 24, 28, 46.
    for (const auto& [signature, sizeAt, nameLengthAt, nameAt] :
         {std::tuple{QByteArray("PK\x03\x04"), 22, 26, 30}, std::tuple{QByteArray("PK\x01\x02"), 24, 28, 46}}) {
        for (qsizetype at = bytes.indexOf(signature); at >= 0; at = bytes.indexOf(signature, at + 4)) {
            const quint16 nameLength = qFromLittleEndian<quint16>(bytes.constData() + at + nameLengthAt);
            if (bytes.mid(at + nameAt, nameLength) != lie) continue;
            qToLittleEndian<quint32>(quint32(declaredSize), bytes.data() + at + sizeAt);
            ++patched;
        }
    }
    ASSERT_EQ(patched, 2);
    f.seek(0);
    f.write(bytes);
}

struct THostileCase {
    std::string Name;
    QByteArray Entry;
    bool Link = false;
    TEntryRefusal Reason = TEntryRefusal::Outside;
    QByteArray Earlier{}; // an entry before the hostile one, holding "first": it must stay as it is
};
void PrintTo(const THostileCase& c, std::ostream* os) { *os << c.Name; }

class HostileArchive : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileArchive, NothingIsWrittenOutsideTheTargetNorOverAnotherEntry) {
    const THostileCase& c = GetParam();
    TTempHome home;
    const QString archive = home.Path() + QStringLiteral("evil.zip");
    const QString target = home.Path() + QStringLiteral("inbox/deep/target/");
    ASSERT_TRUE(QDir().mkpath(target));
    QList<TZipEntry> entries{{"good.txt", "fine"}};
    if (!c.Earlier.isEmpty()) entries.append(TZipEntry{c.Earlier, "first"});
    entries.append(TZipEntry{c.Entry, c.Link ? "/etc" : "pwned", c.Link});
    MakeZip(archive, entries);

    const QMap<QString, QByteArray> before = Tree(home.Path());
    TDiskGuard guard{0, [](const QString&) { return qint64(1) << 40; }};
    const TUnpackResult result = UnpackArchive(archive, target, guard);
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(Refusals(result), QStringList{QString::fromUtf8(c.Entry) + QLatin1Char(' ') + QLatin1String(RefusalName(c.Reason))});
    EXPECT_EQ(result.RefusedNames(), QStringList{QString::fromUtf8(c.Entry)});
    EXPECT_EQ(result.Files, c.Earlier.isEmpty() ? 1 : 2);
    // Only the good file (and the earlier entry, unchanged) was added anywhere under the home folder.
    QMap<QString, QByteArray> expected = before;
    expected.insert(QStringLiteral("inbox/deep/target/good.txt"), "fine");
    if (!c.Earlier.isEmpty()) {
        expected.insert(QStringLiteral("inbox/deep/target/d"), "<dir>");
        expected.insert(QStringLiteral("inbox/deep/target/d/a.txt"), "first");
    }
    EXPECT_EQ(Tree(home.Path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileArchive,
    ::testing::Values(THostileCase{"ParentParts", "../../escaped.txt"}, THostileCase{"ParentInside", "a/../../../escaped.txt"},
                      THostileCase{"Absolute", "/tmp/qlm-zip-slip.txt"}, THostileCase{"BackslashParent", "..\\..\\escaped.txt"},
                      THostileCase{"DriveLetter", "C:/escaped.txt"},
                      THostileCase{"SymbolicLink", "link", true, TEntryRefusal::Link},
                      THostileCase{"SameCleanPathAsAnEarlierEntry", "d\\a.txt", false, TEntryRefusal::NameTaken, "d/a.txt"},
                      THostileCase{"FolderOverAnEarlierFile", "d/a.txt/", false, TEntryRefusal::NameTaken, "d/a.txt"},
                      THostileCase{"FileUnderAnEarlierFile", "d/a.txt/b.txt", false, TEntryRefusal::NameTaken, "d/a.txt"}),
    TCaseName());

// ---- Why an entry was refused, as the arrival of a received folder tells it ----

struct TArrivalCase {
    std::string Name;
    TZipEntry Hostile;
    TEntryRefusal Reason;
    bool WithGood = true;      // a good entry beside it: the folder is unpacked; else the archive is kept
    qint64 DeclaredSize = -1;  // the hostile entry claims this size in its headers
    qint64 RoomAboveReserve = qint64(1) << 40;
};
void PrintTo(const TArrivalCase& c, std::ostream* os) { *os << c.Name; }

class UnpackedArrival : public ::testing::TestWithParam<TArrivalCase> {};

TEST_P(UnpackedArrival, NamesTheRealReasonAndNeverListsAnEmptyFolder) {
    const TArrivalCase& c = GetParam();
    TTempHome home;
    const QString archive = home.Path() + QStringLiteral("src/evil.zip");
    QDir().mkpath(home.Path() + QStringLiteral("src"));
    QList<TZipEntry> entries;
    if (c.WithGood) entries.append(TZipEntry{"good.txt", "fine"});
    entries.append(c.Hostile);
    MakeZip(archive, entries, c.Hostile.Name, c.DeclaredSize);
    const QByteArray zipBytes = ReadFile(archive);

    QByteArray length(4, Qt::Uninitialized);
    qToBigEndian<qint32>(qint32(zipBytes.size()), length.data());
    QByteArray stream = "\tevil.zip\r\nSENDINGFILE_START\r\n" + length + zipBytes + "SENDINGFILE_END\r\n";
    QBuffer device(&stream);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    TRequestReader reader(device, [](int) { return false; });
    const std::optional<TEnvelope> header =
        TEnvelope::Parse("QLM_FILE\t2\t1033\tMe\tMYPC\t0\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_");
    ASSERT_TRUE(header);
    TReceiveSettings settings;
    settings.Root = home.Path() + QStringLiteral("Files/");
    settings.Guard.FreeBytes = [room = c.RoomAboveReserve](const QString&) { return TDiskGuard::DefaultReserve + room; };
    const TReceiveOutcome outcome =
        ReceiveFiles(reader, *header, QStringLiteral("127.0.0.1"), settings, TMessageLang(1033), 1000);
    ASSERT_EQ(outcome.EventId, WM_PEER_FILES);
    const TFilesArrival& arrival = outcome.Arrival;

    const TRefusedEntry refusal{QString::fromUtf8(c.Hostile.Name), c.Reason, {}};
    QStringList failed;
    for (const TFileFailure& f : arrival.Failed) failed << f.Name + QStringLiteral(": ") + f.Reason;
    EXPECT_FALSE(arrival.Complete);
    const QString sender = QStringLiteral("From_Me(MYPC)");
    QMap<QString, QByteArray> expected{{sender, "<dir>"}};
    if (c.WithGood) {
        EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("evil")});
        EXPECT_EQ(failed, QStringList{QStringLiteral("evil/") + refusal.Name + QStringLiteral(": ") + ReceiveReason::Entry(refusal)});
        expected.insert(sender + QStringLiteral("/evil"), "<dir>");
        expected.insert(sender + QStringLiteral("/evil/good.txt"), "fine");
    } else {
        EXPECT_EQ(arrival.ReceivedNames, QStringList{QStringLiteral("evil.zip")});
        EXPECT_EQ(arrival.LogLines, QStringList{QStringLiteral("<File>evil.zip")});
        EXPECT_EQ(failed, QStringList{QStringLiteral("evil.zip: ") + ReceiveReason::NothingUnpacked(refusal)});
        expected.insert(sender + QStringLiteral("/evil.zip"), zipBytes);
    }
    EXPECT_EQ(Tree(settings.Root), expected);
}

const TZipEntry kBig{"big.bin", QByteArray(100000, 'x')};

INSTANTIATE_TEST_SUITE_P(
    Table, UnpackedArrival,
    ::testing::Values(TArrivalCase{"NameLeavesTheFolder", {"../escaped.txt", "pwned"}, TEntryRefusal::Outside},
                      TArrivalCase{"Link", {"link", "/etc", true}, TEntryRefusal::Link},
                      TArrivalCase{"LargerThanDeclared", kBig, TEntryRefusal::TooLarge, true, 10},
                      TArrivalCase{"NoDiskSpace", kBig, TEntryRefusal::DiskSpace, true, -1, 50000},
                      TArrivalCase{"NothingUnpackedForSpaceKeepsTheArchive", kBig, TEntryRefusal::DiskSpace, false, -1, 50000},
                      TArrivalCase{"NothingUnpackedForALinkKeepsTheArchive", {"link", "/etc", true}, TEntryRefusal::Link, false},
                      TArrivalCase{"NothingUnpackedForSizeKeepsTheArchive", kBig, TEntryRefusal::TooLarge, false, 10}),
    TCaseName());

TEST(UnpackedArrivalTexts, EachReasonHasAText) {
    QStringList texts{ReceiveReason::DiskFull(), ReceiveReason::Broken(), ReceiveReason::Unreadable(), ReceiveReason::Unpacked()};
    for (TEntryRefusal r : {TEntryRefusal::Link, TEntryRefusal::TooLarge, TEntryRefusal::DiskSpace, TEntryRefusal::NameTaken,
                            TEntryRefusal::WriteError})
        texts << ReceiveReason::Entry({QStringLiteral("x"), r, QStringLiteral("Input/output error")});
    texts << ReceiveReason::Entry({QStringLiteral("x"), TEntryRefusal::Outside, {}});
    EXPECT_EQ(texts.last(), ReceiveReason::Refused());
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), 10) << texts.join(QLatin1Char('\n')).toStdString();
    const QString io = ReceiveReason::Entry({QStringLiteral("x"), TEntryRefusal::WriteError, QStringLiteral("Input/output error")});
    EXPECT_TRUE(io.contains(QStringLiteral("Input/output error"))) << io.toStdString();
}

TEST(HostileArchiveSize, AnEntryThatWouldFillTheDiskIsNotWritten) {
    TTempHome home;
    const QString source = home.Path() + QStringLiteral("src/");
    WriteFile(source + QStringLiteral("big.bin"), QByteArray(3 * 1024 * 1024, 'z')); // compresses to almost nothing
    WriteFile(source + QStringLiteral("small.txt"), "s");
    ASSERT_TRUE(PackFolder(source, home.Path() + QStringLiteral("a.zip"), 9, {}).Ok);
    const QString target = home.Path() + QStringLiteral("out/");
    QDir().mkpath(target);
    TDiskGuard guard{TDiskGuard::DefaultReserve, [](const QString&) { return TDiskGuard::DefaultReserve + 1024 * 1024; }};
    const TUnpackResult result = UnpackArchive(home.Path() + QStringLiteral("a.zip"), target, guard);
    EXPECT_EQ(Refusals(result), QStringList{QStringLiteral("big.bin DiskSpace")});
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("big.bin")));
    EXPECT_EQ(ReadFile(target + QStringLiteral("small.txt")), "s");
}

TEST(HostileArchiveSize, NotAnArchiveIsAnErrorNotACrash) {
    TTempHome home;
    home.Write(QStringLiteral("junk.zip"), "PK\x03\x04 this is no archive");
    QDir().mkpath(home.Path() + QStringLiteral("out"));
    TDiskGuard guard{0, {}};
    const TUnpackResult result = UnpackArchive(home.File(QStringLiteral("junk.zip")), home.Path() + QStringLiteral("out"), guard);
    EXPECT_FALSE(result.Ok);
    EXPECT_FALSE(result.Error.isEmpty());
}

} // namespace
