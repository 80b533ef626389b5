#pragma once

#include "update/UpdateManifestUnit.h"

#include <QString>
#include <QStringList>
#include <functional>

// What quillmate-update is told: where the checked files lie, what they
// replace, and what to start afterwards.
struct TUpdaterPlan {
    QString Source;      // the UPDATE folder
    QString Target;      // the program folder whose files are replaced
    QString InstallList; // "<sha256> <size> <name>" per file: only these, only so
    qint64 WaitPid = 0;  // the program that must end first (0: none)
    int WaitExitMs = 60 * 1000;
    QString Program;     // started once the files are in place
    QStringList ProgramArguments;
    int StartCheckMs = 5000; // the new program must still run after this long
};

enum class TUpdaterOutcome {
    Installed,      // replaced, and the new program runs
    NothingChanged, // a check failed before any file was touched
    Restored,       // the new program did not start: the old files are back and the old program started
    Failed,         // even the restore failed: the backup folder holds the old files
};

struct TUpdaterResult {
    TUpdaterOutcome Outcome = TUpdaterOutcome::NothingChanged;
    QString Message;
    QString BackupFolder;
    QStringList Replaced;
};

// How the updater meets the system; tests replace them.
struct TUpdaterHooks {
    std::function<bool(qint64 pid)> Alive;
    // Starts program detached; false when it could not; *pid its id.
    std::function<bool(const QString& program, const QStringList& arguments, qint64* pid)> Start;
    std::function<void(int ms)> Sleep;
    std::function<void(const QString& line)> Log;
};
TUpdaterHooks SystemUpdaterHooks();

// Waits for the program to end, checks every listed file in Source against
// its size and SHA-256 (and that the list names safe paths only), then puts
// each in place: written beside its target, renamed over it, the replaced
// one moved to Target/UpdateBackup-<time>/. Starts the program; if it is
// not running StartCheckMs later, the backup is put back and the program
// started again.
TUpdaterResult RunUpdater(const TUpdaterPlan& plan, const TUpdaterHooks& hooks);
