#include "platform/PathsUnit.h"
#include "VersionInfo.h"
#include "platform/UserStoreUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// ------------------------------------------------- runtime data and user data

// Where the files land, by role, so the table reads as the layout it describes.
enum class TWhere { Bin, Share, Xdg, DefaultXdg, QuillmateHome };

struct TFolderCase {
    const char* Name;
    bool DataBeside;            // bin/Languages/
    bool DataInShare;           // share/quillmate/Languages/
    bool EmptyShare;            // share/quillmate/ without Languages/
    bool BinWritable;
    bool QuillmateHomeSet;
    bool XdgSet;
    TWhere Runtime;
    TWhere Data;
};

void PrintTo(const TFolderCase& c, std::ostream* os) { *os << c.Name; }

class FolderCases : public ::testing::TestWithParam<TFolderCase> {};

// <tmp>/prefix/bin is the executable's folder, <tmp>/prefix/share/quillmate the installed data.
TEST_P(FolderCases, FindsRuntimeDataAndUserData) {
    const TFolderCase& c = GetParam();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString prefix = root.path() + QStringLiteral("/prefix/");
    const QString bin = prefix + QStringLiteral("bin/");
    const QString share = prefix + QStringLiteral("share/quillmate/");
    ASSERT_TRUE(QDir().mkpath(bin));
    if (c.DataBeside) ASSERT_TRUE(QDir().mkpath(bin + QStringLiteral("Languages")));
    if (c.DataInShare) ASSERT_TRUE(QDir().mkpath(share + QStringLiteral("Languages")));
    if (c.EmptyShare) ASSERT_TRUE(QDir().mkpath(share));
    // A Languages file, not a folder, is no runtime data.
    if (c.EmptyShare) {
        QFile decoy(share + QStringLiteral("Languages"));
        ASSERT_TRUE(decoy.open(QIODevice::WriteOnly));
    }

    Platform::TFolderFacts facts;
    facts.ExecutableFolder = bin;
    facts.ExecutableFolderWritable = c.BinWritable;
    facts.QuillmateHome = c.QuillmateHomeSet ? root.path() + QStringLiteral("/home") : QString();
    facts.XdgDataHome = c.XdgSet ? root.path() + QStringLiteral("/xdg") : QString();
    facts.HomeFolder = root.path() + QStringLiteral("/user");

    auto path = [&](TWhere where) {
        switch (where) {
        case TWhere::Bin: return bin;
        case TWhere::Share: return share;
        case TWhere::Xdg: return root.path() + QStringLiteral("/xdg/Quillmate/");
        case TWhere::DefaultXdg: return root.path() + QStringLiteral("/user/.local/share/Quillmate/");
        case TWhere::QuillmateHome: return root.path() + QStringLiteral("/home/");
        }
        return QString();
    };
    EXPECT_EQ(Platform::RuntimeDataFolderFor(bin).toStdString(), path(c.Runtime).toStdString());
    // The folder is found however the executable's folder is spelled.
    EXPECT_EQ(Platform::RuntimeDataFolderFor(prefix + QStringLiteral("bin")).toStdString(), path(c.Runtime).toStdString());
    EXPECT_EQ(Platform::DataFolderFor(facts).toStdString(), path(c.Data).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderCases,
    ::testing::Values(
        // A build tree or a portable copy: everything beside the executable.
        TFolderCase{"DataBesideExe", true, false, false, true, false, true, TWhere::Bin, TWhere::Bin},
        TFolderCase{"DataBesideReadOnlyExe", true, false, false, false, false, true, TWhere::Bin, TWhere::Xdg},
        TFolderCase{"DataBesideWinsOverShare", true, true, false, true, false, true, TWhere::Bin, TWhere::Bin},
        // Installed: data from share/, user data never beside the executable, even when root may write there.
        TFolderCase{"DataOnlyInShare", false, true, false, true, false, true, TWhere::Share, TWhere::Xdg},
        TFolderCase{"DataOnlyInShareReadOnlyExe", false, true, false, false, false, true, TWhere::Share, TWhere::Xdg},
        TFolderCase{"DataOnlyInShareNoXdgVariable", false, true, false, false, false, false, TWhere::Share,
                    TWhere::DefaultXdg},
        TFolderCase{"ShareWithoutLanguagesIsNoData", false, false, true, true, false, true, TWhere::Bin, TWhere::Bin},
        // Neither: as before, the executable's folder (missing data is a soft failure).
        TFolderCase{"Neither", false, false, false, true, false, true, TWhere::Bin, TWhere::Bin},
        TFolderCase{"NeitherReadOnlyExe", false, false, false, false, false, true, TWhere::Bin, TWhere::Xdg},
        // QUILLMATE_HOME decides the user data whatever the layout.
        TFolderCase{"QuillmateHomeInstalled", false, true, false, true, true, true, TWhere::Share,
                    TWhere::QuillmateHome},
        TFolderCase{"QuillmateHomeBeside", true, false, false, true, true, true, TWhere::Bin, TWhere::QuillmateHome}),
    TCaseName());

// This test binary sits beside the build tree's data: a build tree is no install.
TEST(Paths, BuildTreeIsNotInstalled) {
    EXPECT_FALSE(Platform::RunsInstalled());
    EXPECT_TRUE(QFileInfo(Platform::RuntimeDataFolder() + QStringLiteral("Languages")).isDir())
        << Platform::RuntimeDataFolder().toStdString();
}

// ------------------------------------------------------- the autostart command

struct TCommandCase {
    const char* Name;
    bool Installed;
    const char* OnPath; // relative to the temporary folder; "" when PATH finds nothing
    bool Bare;
};

void PrintTo(const TCommandCase& c, std::ostream* os) { *os << c.Name; }

class DesktopCommandCases : public ::testing::TestWithParam<TCommandCase> {};

TEST_P(DesktopCommandCases, BareOnlyWhenPathFindsThisProgram) {
    const TCommandCase& c = GetParam();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString program = root.filePath(QStringLiteral("prefix/bin/quillmate"));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("prefix/bin"))));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("other"))));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("links"))));
    for (const QString& file : {program, root.filePath(QStringLiteral("other/quillmate"))}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(program, root.filePath(QStringLiteral("links/quillmate"))));
    const QString onPath = *c.OnPath ? root.filePath(QString::fromUtf8(c.OnPath)) : QString();
    EXPECT_EQ(Platform::DesktopProgramCommandFor(program, c.Installed, onPath).toStdString(),
              c.Bare ? std::string("quillmate") : program.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopCommandCases,
    ::testing::Values(TCommandCase{"BuildTree", false, "prefix/bin/quillmate", false},
                      TCommandCase{"InstalledAndOnPath", true, "prefix/bin/quillmate", true},
                      TCommandCase{"InstalledOnPathThroughALink", true, "links/quillmate", true},
                      TCommandCase{"InstalledButPathFindsAnother", true, "other/quillmate", false},
                      TCommandCase{"InstalledNotOnPath", true, "", false}),
    TCaseName());

struct TExecCase {
    const char* Name;
    const char* Command;
    const char* ExecLine;
};

void PrintTo(const TExecCase& c, std::ostream* os) { *os << c.Name; }

class AutostartExecCases : public ::testing::TestWithParam<TExecCase> {};

TEST_P(AutostartExecCases, QuotesPathsOnly) {
    const QString entry = TUserStore::AutostartEntry(QString::fromUtf8(GetParam().Command));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=") + QString::fromUtf8(GetParam().ExecLine) + QStringLiteral("\n")))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=" QLM_APP_ID "\n"))) << entry.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutostartExecCases,
    ::testing::Values(TExecCase{"BareName", "quillmate", "quillmate -min"},
                      TExecCase{"Path", "/usr/bin/quillmate", "\"/usr/bin/quillmate\" -min"},
                      TExecCase{"PathWithSpace", "/opt/my apps/quillmate", "\"/opt/my apps/quillmate\" -min"},
                      TExecCase{"NameWithSpace", "my quillmate", "\"my quillmate\" -min"},
                      TExecCase{"ReservedCharacters", "/opt/$x\"`\\/quillmate", "\"/opt/\\$x\\\"\\`\\\\/quillmate\" -min"}),
    TCaseName());

} // namespace
