#include "transfer/FileNamesUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <ostream>

namespace {

// ---- Numbering ----

struct TNumberCase {
    std::string Name;
    QString File;
    int N;
    QString Expected;
};
void PrintTo(const TNumberCase& c, std::ostream* os) { *os << c.Name; }

class FileNumbering : public ::testing::TestWithParam<TNumberCase> {};

TEST_P(FileNumbering, PutsTheCounterBeforeTheLastDot) {
    EXPECT_EQ(FileNames::NumberedName(GetParam().File, GetParam().N), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileNumbering,
    ::testing::Values(TNumberCase{"Plain", QStringLiteral("report.doc"), 1, QStringLiteral("report(1).doc")},
                      TNumberCase{"Second", QStringLiteral("report.doc"), 2, QStringLiteral("report(2).doc")},
                      TNumberCase{"NoDot", QStringLiteral("Makefile"), 1, QStringLiteral("(1)Makefile")},
                      TNumberCase{"TwoDots", QStringLiteral("a.b.txt"), 1, QStringLiteral("a.b(1).txt")},
                      TNumberCase{"LeadingDot", QStringLiteral(".bashrc"), 3, QStringLiteral("(3).bashrc")},
                      TNumberCase{"TrailingDot", QStringLiteral("x."), 1, QStringLiteral("x(1).")},
                      TNumberCase{"TwoDigits", QStringLiteral("a.tar.gz"), 12, QStringLiteral("a.tar(12).gz")}),
    TCaseName());

TEST(FileNumbering, ExclusiveCreationNumbersTakenNamesAndNeverReplaces) {
    TTempHome home;
    home.Write(QStringLiteral("report.doc"), "first");
    QDir(home.Path()).mkdir(QStringLiteral("report(1).doc")); // a folder takes the name too
    QString name, error;
    auto file = FileNames::CreateExclusive(home.Path(), QStringLiteral("report.doc"), &name, &error);
    ASSERT_TRUE(file) << error.toStdString();
    EXPECT_EQ(name, QStringLiteral("report(2).doc"));
    EXPECT_EQ(home.Read(QStringLiteral("report.doc")), "first");
    auto second = FileNames::CreateExclusive(home.Path(), QStringLiteral("Makefile"), &name, &error);
    ASSERT_TRUE(second);
    EXPECT_EQ(name, QStringLiteral("Makefile"));
    auto third = FileNames::CreateExclusive(home.Path(), QStringLiteral("Makefile"), &name, &error);
    ASSERT_TRUE(third);
    EXPECT_EQ(name, QStringLiteral("(1)Makefile"));
}

TEST(FileNumbering, WritersInParallelNeverShareAName) {
    TTempHome home;
    constexpr int kWriters = 8, kEach = 25;
    QList<QStringList> names(kWriters);
    QList<QThread*> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads << QThread::create([&, w] {
            for (int i = 0; i < kEach; ++i) {
                QString name, error;
                if (auto f = FileNames::CreateExclusive(home.Path(), QStringLiteral("same.txt"), &name, &error))
                    names[w] << name;
            }
        });
        threads.last()->start();
    }
    QStringList all;
    for (int w = 0; w < kWriters; ++w) {
        threads[w]->wait();
        delete threads[w];
        all += names[w];
    }
    EXPECT_EQ(all.size(), kWriters * kEach);
    all.removeDuplicates();
    EXPECT_EQ(all.size(), kWriters * kEach);
}

TEST(FileNumbering, FoldersShareTheirCounterWithinOneArrival) {
    TTempHome home;
    QDir(home.Path()).mkdir(QStringLiteral("Docs"));
    QDir(home.Path()).mkdir(QStringLiteral("Pics"));
    int counter = 0;
    EXPECT_EQ(FileNames::MakeNumberedFolder(home.Path(), QStringLiteral("Docs"), &counter), QStringLiteral("Docs(1)"));
    EXPECT_EQ(FileNames::MakeNumberedFolder(home.Path(), QStringLiteral("Pics"), &counter), QStringLiteral("Pics(2)"));
    EXPECT_EQ(FileNames::MakeNumberedFolder(home.Path(), QStringLiteral("New"), &counter), QStringLiteral("New(3)"));
    int fresh = 0;
    EXPECT_EQ(FileNames::MakeNumberedFolder(home.Path(), QStringLiteral("Other"), &fresh), QStringLiteral("Other"));
}

// ---- Names a peer may not make us create ----

struct TSafetyCase {
    std::string Name;
    QString Text;
    bool Safe;
};
void PrintTo(const TSafetyCase& c, std::ostream* os) { *os << c.Name; }

class FileNameSafety : public ::testing::TestWithParam<TSafetyCase> {};

TEST_P(FileNameSafety, RefusesEveryNameThatLeavesTheFolder) { EXPECT_EQ(FileNames::IsSafeName(GetParam().Text), GetParam().Safe); }

INSTANTIATE_TEST_SUITE_P(
    Table, FileNameSafety,
    ::testing::Values(TSafetyCase{"Plain", QStringLiteral("report.doc"), true},
                      TSafetyCase{"Unicode", QString::fromUtf8("报告 (最终).doc"), true},
                      TSafetyCase{"DotsInside", QStringLiteral("a..b"), true},
                      TSafetyCase{"Hidden", QStringLiteral(".profile"), true},
                      TSafetyCase{"Empty", QString(), false},
                      TSafetyCase{"Dot", QStringLiteral("."), false},
                      TSafetyCase{"DotDot", QStringLiteral(".."), false},
                      TSafetyCase{"Slash", QStringLiteral("../x"), false},
                      TSafetyCase{"AbsolutePath", QStringLiteral("/etc/passwd"), false},
                      TSafetyCase{"Backslash", QStringLiteral("..\\..\\boot.ini"), false},
                      TSafetyCase{"OfficeOwnerFile", QStringLiteral("~$Budget.xlsx"), true},
                      TSafetyCase{"WordTempFile", QStringLiteral("~WRL0001.tmp"), true},
                      TSafetyCase{"TildeAlone", QStringLiteral("~"), true},
                      TSafetyCase{"DriveLetter", QStringLiteral("C:evil.exe"), false},
                      TSafetyCase{"ColonStream", QStringLiteral("a.txt:stream"), false},
                      TSafetyCase{"Newline", QStringLiteral("a\nb"), false},
                      TSafetyCase{"Tab", QStringLiteral("\tx"), false},
                      TSafetyCase{"Delete", QStringLiteral("a\x7F"), false},
                      // Shortened by FitName when created, not refused.
                      TSafetyCase{"Long", QString(300, QLatin1Char('x')), true}),
    TCaseName());

// ---- Long names shortened to what a file system takes ----

struct TFitCase {
    std::string Name;
    QString Text;
    int Number;
    QString Expected;
};
void PrintTo(const TFitCase& c, std::ostream* os) { *os << c.Name; }

class FitName : public ::testing::TestWithParam<TFitCase> {};

TEST_P(FitName, KeepsTheExtensionAndTheNumberWithin255Bytes) {
    const QString fitted = FileNames::FitName(GetParam().Text, GetParam().Number);
    EXPECT_EQ(fitted, GetParam().Expected);
    EXPECT_LE(fitted.toUtf8().size(), FileNames::MaxNameBytes);
    // Whole characters only: the UTF-8 round trip is exact.
    EXPECT_EQ(QString::fromUtf8(fitted.toUtf8()), fitted);
}

const QString kHan = QString::fromUtf8("报");          // 3 bytes
const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // 4 bytes, a surrogate pair

INSTANTIATE_TEST_SUITE_P(
    Table, FitName,
    ::testing::Values(TFitCase{"ShortUnchanged", QStringLiteral("a.txt"), 0, QStringLiteral("a.txt")},
                      TFitCase{"ShortNumbered", QStringLiteral("a.txt"), 2, QStringLiteral("a(2).txt")},
                      TFitCase{"Exactly255", QString(251, QLatin1Char('x')) + ".txt", 0, QString(251, QLatin1Char('x')) + ".txt"},
                      TFitCase{"LatinCut", QString(300, QLatin1Char('x')) + ".xlsx", 0, QString(250, QLatin1Char('x')) + ".xlsx"},
                      TFitCase{"LatinCutNumbered", QString(300, QLatin1Char('x')) + ".xlsx", 12,
                               QString(246, QLatin1Char('x')) + "(12).xlsx"},
                      // 84 characters of 3 bytes (252) + ".txt" is too long: 83 remain.
                      TFitCase{"ChineseCut", kHan.repeated(100) + ".txt", 0, kHan.repeated(83) + ".txt"},
                      TFitCase{"PairNeverSplit", kEmoji.repeated(70) + ".doc", 0, kEmoji.repeated(62) + ".doc"},
                      TFitCase{"NoExtensionNumberInFront", QString(300, QLatin1Char('m')), 1, "(1)" + QString(252, QLatin1Char('m'))},
                      TFitCase{"HugeExtensionIsName", "a." + QString(300, QLatin1Char('e')), 0, "a." + QString(253, QLatin1Char('e'))}),
    TCaseName());

TEST(CreateExclusive, TwoLongNamesThatFitAlikeAreNumbered) {
    TTempHome home;
    const QString folder = home.Path();
    const QString first = QString(280, QLatin1Char('q')) + QStringLiteral("A.pdf");
    const QString second = QString(280, QLatin1Char('q')) + QStringLiteral("B.pdf");
    QString name1, name2, error;
    ASSERT_TRUE(FileNames::CreateExclusive(folder, first, &name1, &error)) << error.toStdString();
    ASSERT_TRUE(FileNames::CreateExclusive(folder, second, &name2, &error)) << error.toStdString();
    EXPECT_EQ(name1, QString(251, QLatin1Char('q')) + ".pdf");
    EXPECT_EQ(name2, QString(248, QLatin1Char('q')) + "(1).pdf");
}

struct TEntryCase {
    std::string Name;
    QString Path;
    bool Safe;
    QStringList Parts;
};
void PrintTo(const TEntryCase& c, std::ostream* os) { *os << c.Name; }

class ArchiveEntrySafety : public ::testing::TestWithParam<TEntryCase> {};

TEST_P(ArchiveEntrySafety, KeepsEntriesInsideTheTarget) {
    QStringList parts;
    EXPECT_EQ(FileNames::SafeEntryPath(GetParam().Path, &parts), GetParam().Safe);
    if (GetParam().Safe) { EXPECT_EQ(parts, GetParam().Parts); }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ArchiveEntrySafety,
    ::testing::Values(TEntryCase{"File", QStringLiteral("a.txt"), true, {QStringLiteral("a.txt")}},
                      TEntryCase{"Nested", QStringLiteral("d/e/f.txt"), true, {QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f.txt")}},
                      TEntryCase{"Folder", QStringLiteral("d/"), true, {QStringLiteral("d")}},
                      TEntryCase{"WindowsSeparators", QStringLiteral("d\\f.txt"), true, {QStringLiteral("d"), QStringLiteral("f.txt")}},
                      TEntryCase{"ZipSlip", QStringLiteral("../../evil.sh"), false, {}},
                      TEntryCase{"SlipInside", QStringLiteral("d/../../evil"), false, {}},
                      TEntryCase{"SlipBackslash", QStringLiteral("d\\..\\..\\evil"), false, {}},
                      TEntryCase{"Absolute", QStringLiteral("/tmp/evil"), false, {}},
                      TEntryCase{"AbsoluteBackslash", QStringLiteral("\\evil"), false, {}},
                      TEntryCase{"Drive", QStringLiteral("C:/evil"), false, {}},
                      TEntryCase{"DoubleSlash", QStringLiteral("d//f"), false, {}},
                      TEntryCase{"DotPart", QStringLiteral("./f"), false, {}},
                      TEntryCase{"Empty", QString(), false, {}},
                      TEntryCase{"TildeParts", QStringLiteral("~d/~$a.xlsx"), true, {QStringLiteral("~d"), QStringLiteral("~$a.xlsx")}},
                      TEntryCase{"LongPartFitted", QString(300, QLatin1Char('p')) + "/f", true,
                                 {QString(255, QLatin1Char('p')), QStringLiteral("f")}}),
    TCaseName());

TEST(SenderFolder, NamesFromThePeerCannotLeaveTheRoot) {
    EXPECT_EQ(FileNames::SenderFolderName(QStringLiteral("Ann"), QStringLiteral("PC-ANN")), QStringLiteral("From_Ann(PC-ANN)"));
    EXPECT_EQ(FileNames::SenderFolderName(QStringLiteral("../../x"), QStringLiteral("a\\b")), QStringLiteral("From_.._.._x(a_b)"));
    EXPECT_EQ(FileNames::SenderFolderName(QString(300, QLatin1Char('n')), QStringLiteral("PC")).size(), 5 + 100 + 4);
}

// ---- Archive names of packed folders ----

TEST(ArchiveNames, TakenNamesGetTheFirstFreeNumber) {
    TTempHome home;
    const QString temp = home.Path() + QStringLiteral("TempFolder/");
    EXPECT_EQ(FileNames::ArchiveNames({QStringLiteral("/a/Photos")}, {}, temp), QStringList{QStringLiteral("Photos")});
    QDir().mkpath(temp);
    home.Write(QStringLiteral("TempFolder/Photos.zip"), "x");
    EXPECT_EQ(FileNames::ArchiveNames({QStringLiteral("/a/Photos/")}, {}, temp), QStringList{QStringLiteral("Photos(1)")});
    // Two folders of one name in one batch.
    EXPECT_EQ(FileNames::ArchiveNames({QStringLiteral("/a/Docs"), QStringLiteral("/b/Docs")}, {}, temp),
              (QStringList{QStringLiteral("Docs"), QStringLiteral("Docs(1)")}));
}

TEST(ArchiveNames, RootsTakeTheDisplayNameOrTheMarkedPath) {
    TTempHome home;
    const QString temp = home.Path() + QStringLiteral("TempFolder/");
    EXPECT_EQ(FileNames::ArchiveNames({QStringLiteral("C:\\")}, QStringLiteral("Local Disk (C:)"), temp),
              QStringList{QStringLiteral("Local Disk (C_)")});
    EXPECT_EQ(FileNames::ArchiveNames({QStringLiteral("C:\\")}, {}, temp), QStringList{QStringLiteral("[QLM_AutoCreate]C__")});
    EXPECT_EQ(FileNames::ArchiveNames({QStringLiteral("/")}, {}, temp), QStringList{QStringLiteral("[QLM_AutoCreate]_")});
}

TEST(DiskGuard, KeepsTheReserveFree) {
    TDiskGuard guard;
    guard.FreeBytes = [](const QString&) { return TDiskGuard::DefaultReserve + 1000; };
    EXPECT_TRUE(guard.Allows(QStringLiteral("/x"), 1000));
    EXPECT_FALSE(guard.Allows(QStringLiteral("/x"), 1001));
}

} // namespace
