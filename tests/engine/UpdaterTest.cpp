// quillmate-update's work in a throw-away portable program folder.
#include "support/TestSupport.h"
#include "update/UpdaterUnit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <functional>

namespace {

void PutFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

class Updater : public ::testing::Test {
protected:
    Updater() {
        Put(Program(), "#!/bin/sh\necho old > \"$(dirname \"$0\")/ran\"\nsleep 2\n", true);
        Put(Target() + QStringLiteral("Languages/English.lng"), "old lng");
        Put(Target() + QStringLiteral("Config.ini"), "settings");
        // The set as fetched: a program that runs, and a language file.
        Put(Source() + QStringLiteral("quillmate"), "#!/bin/sh\necho new > \"$(dirname \"$0\")/ran\"\nsleep 2\n");
        Put(Source() + QStringLiteral("Languages/English.lng"), "new lng");
        Put(Source() + QStringLiteral("Languages/Extra.lng"), "extra");
        WriteList({"quillmate", "Languages/English.lng", "Languages/Extra.lng"});
    }
    QString Target() const { return Home.Path() + QStringLiteral("portable/"); }
    QString Source() const { return Home.Path() + QStringLiteral("UPDATE/"); }
    QString Program() const { return Target() + QStringLiteral("quillmate"); }
    static void Put(const QString& path, const QByteArray& bytes, bool executable = false) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        if (executable) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    static QByteArray Get(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void WriteList(const QStringList& names) {
        QList<TManifestEntry> entries;
        for (const QString& name : names) entries << *UpdateManifest::Describe(Source() + name, name);
        Put(Home.File(QStringLiteral("UpdateInstall.txt")), FormatInstallList(entries));
    }
    TUpdaterPlan Plan() const {
        TUpdaterPlan plan;
        plan.Source = Source();
        plan.Target = Target();
        plan.InstallList = Home.File(QStringLiteral("UpdateInstall.txt"));
        plan.Program = Program();
        plan.StartCheckMs = 500;
        return plan;
    }
    TUpdaterHooks Hooks() {
        TUpdaterHooks h = SystemUpdaterHooks();
        h.Log = [this](const QString& line) { Log << line; };
        return h;
    }
    bool WaitRan(const QByteArray& what) {
        for (int i = 0; i < 100 && Get(Target() + QStringLiteral("ran")).trimmed() != what; ++i) QThread::msleep(50);
        return Get(Target() + QStringLiteral("ran")).trimmed() == what;
    }
    TTempHome Home;
    QStringList Log;
};

TEST_F(Updater, ReplacesTheListedFilesKeepsABackupAndStartsTheNewProgram) {
    const TUpdaterResult r = RunUpdater(Plan(), Hooks());
    EXPECT_EQ(r.Outcome, TUpdaterOutcome::Installed) << r.Message.toStdString();
    EXPECT_EQ(Get(Target() + QStringLiteral("Languages/English.lng")), "new lng");
    EXPECT_EQ(Get(Target() + QStringLiteral("Languages/Extra.lng")), "extra");
    EXPECT_EQ(Get(Target() + QStringLiteral("Config.ini")), "settings");
    EXPECT_TRUE(QFileInfo(Program()).isExecutable()) << "the successor keeps the execute bit";
    EXPECT_EQ(Get(r.BackupFolder + QStringLiteral("/Languages/English.lng")), "old lng");
    EXPECT_TRUE(Get(r.BackupFolder + QStringLiteral("/quillmate")).contains("echo old"));
    EXPECT_FALSE(QFile::exists(Program() + QStringLiteral(".qlmnew")));
    EXPECT_TRUE(WaitRan("new"));
}

TEST_F(Updater, ANewProgramThatDoesNotStartBringsTheOldFilesBack) {
    Put(Source() + QStringLiteral("quillmate"), "#!/bin/sh\nexit 1\n");
    WriteList({"quillmate", "Languages/English.lng", "Languages/Extra.lng"});
    const TUpdaterResult r = RunUpdater(Plan(), Hooks());
    EXPECT_EQ(r.Outcome, TUpdaterOutcome::Restored) << Log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(Get(Program()).contains("echo old"));
    EXPECT_EQ(Get(Target() + QStringLiteral("Languages/English.lng")), "old lng");
    EXPECT_FALSE(QFile::exists(Target() + QStringLiteral("Languages/Extra.lng")));
    EXPECT_TRUE(WaitRan("old")) << "the old program is started again";
}

struct TCheckCase {
    const char* Name;
    std::function<void(const QString& source, const QString& list)> Spoil;
};
void PrintTo(const TCheckCase& c, std::ostream* os) { *os << c.Name; }

class UpdaterChecks : public Updater, public ::testing::WithParamInterface<TCheckCase> {};

TEST_P(UpdaterChecks, NothingIsTouchedWhenAFileIsNotAsChecked) {
    GetParam().Spoil(Source(), Home.File(QStringLiteral("UpdateInstall.txt")));
    const TUpdaterResult r = RunUpdater(Plan(), Hooks());
    EXPECT_EQ(r.Outcome, TUpdaterOutcome::NothingChanged);
    EXPECT_TRUE(Get(Program()).contains("echo old"));
    EXPECT_EQ(Get(Target() + QStringLiteral("Languages/English.lng")), "old lng");
    EXPECT_FALSE(QFile::exists(Target() + QStringLiteral("Languages/Extra.lng")));
    EXPECT_FALSE(QFile::exists(Target() + QStringLiteral("ran")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdaterChecks,
    ::testing::Values(
        TCheckCase{"ChangedAfterTheCheck", [](const QString& s, const QString&) { PutFile(s + "Languages/Extra.lng", "EXTRA"); }},
        TCheckCase{"Missing", [](const QString& s, const QString&) { QFile::remove(s + "Languages/Extra.lng"); }},
        TCheckCase{"EscapingName",
                   [](const QString&, const QString& l) {
                       PutFile(l, "0000000000000000000000000000000000000000000000000000000000000000 1 ../Config.ini\n");
                   }},
        TCheckCase{"NoList", [](const QString&, const QString& l) { QFile::remove(l); }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Updater, WaitsForTheProgramToExitFirst) {
    TUpdaterHooks hooks = Hooks();
    int asked = 0;
    hooks.Alive = [&asked](qint64 pid) { return pid == 4242 ? ++asked < 3 : true; };
    TUpdaterPlan plan = Plan();
    plan.WaitPid = 4242;
    plan.Program.clear();
    EXPECT_EQ(RunUpdater(plan, hooks).Outcome, TUpdaterOutcome::Installed);
    EXPECT_EQ(asked, 3);
    plan.WaitExitMs = 200;
    hooks.Alive = [](qint64) { return true; };
    Put(Source() + QStringLiteral("Languages/English.lng"), "newer lng");
    WriteList({"Languages/English.lng"});
    EXPECT_EQ(RunUpdater(plan, hooks).Outcome, TUpdaterOutcome::NothingChanged);
    EXPECT_EQ(Get(Target() + QStringLiteral("Languages/English.lng")), "new lng");
}

} // namespace
