#include "update/UpdaterUnit.h"

#include "platform/FileSyncUnit.h"
#include "platform/ProcessUnit.h"
#include "update/UpdateNamesUnit.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {

const QString kNewSuffix = QStringLiteral(".qlmnew");

struct TDone {
    QString Name;
    bool HadOld = false;
};

QString Join(const QString& folder, const QString& name) { return QDir(folder).filePath(name); }

// Puts back what was replaced and removes what was new; false when anything stayed wrong.
bool Restore(const QList<TDone>& done, const TUpdaterPlan& plan, const QString& backup, const TUpdaterHooks& hooks) {
    bool ok = true;
    for (auto it = done.crbegin(); it != done.crend(); ++it) {
        const QString target = Join(plan.Target, it->Name);
        if (it->HadOld) {
            QString error;
            if (!Platform::ReplaceFile(Join(backup, it->Name), target, &error)) {
                hooks.Log(QStringLiteral("cannot restore %1: %2").arg(it->Name, error));
                ok = false;
            }
        } else if (!QFile::remove(target)) {
            ok = false;
        }
    }
    return ok;
}

} // namespace

TUpdaterHooks SystemUpdaterHooks() {
    TUpdaterHooks h;
    h.Alive = [](qint64 pid) { return Platform::ProcessAlive(pid); };
    h.Start = [](const QString& program, const QStringList& arguments, qint64* pid) {
        return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath(), pid);
    };
    h.Sleep = [](int ms) { QThread::msleep(ulong(ms)); };
    h.Log = [](const QString& line) { qWarning("quillmate-update: %s", qPrintable(line)); };
    return h;
}

TUpdaterResult RunUpdater(const TUpdaterPlan& plan, const TUpdaterHooks& hooks) {
    TUpdaterResult result;
    const auto fail = [&](const QString& text) {
        result.Message = text;
        hooks.Log(text);
        return result;
    };
    if (plan.WaitPid > 0) {
        QElapsedTimer waited;
        waited.start();
        while (hooks.Alive(plan.WaitPid)) {
            if (waited.hasExpired(plan.WaitExitMs)) return fail(QStringLiteral("the program did not exit"));
            hooks.Sleep(100);
        }
    }
    QFile listFile(plan.InstallList);
    if (!listFile.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot read %1").arg(plan.InstallList));
    const QList<TManifestEntry> list = ParseInstallList(listFile.read(4 * 1024 * 1024));
    if (list.isEmpty()) return fail(QStringLiteral("the install list is empty or malformed"));
    // Every file as the user was shown it, before anything is touched.
    for (const TManifestEntry& entry : list) {
        const QString path = UpdateNames::ResolveInside(plan.Source, entry.Name);
        const std::optional<TManifestEntry> found = path.isEmpty() ? std::nullopt : UpdateManifest::Describe(path, entry.Name);
        if (!found || *found != entry) return fail(QStringLiteral("%1 is not the file that was checked").arg(entry.Name));
        if (!UpdateNames::NoLinkOnTheWay(plan.Target, entry.Name))
            return fail(QStringLiteral("%1 would be written through a link").arg(entry.Name));
    }
    result.BackupFolder = Join(plan.Target, QStringLiteral("UpdateBackup-") +
                                                QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
    QList<TDone> done;
    for (const TManifestEntry& entry : list) {
        const QString target = Join(plan.Target, entry.Name);
        const QString beside = target + kNewSuffix;
        const QFileInfo old(target);
        const bool hadOld = old.exists();
        QDir().mkpath(old.absolutePath());
        QFile::remove(beside);
        bool ok = QFile::copy(Join(plan.Source, entry.Name), beside) && Platform::SyncFile(beside);
        // The replaced program's permissions (its execute bits) go to its successor.
        if (ok && hadOld) ok = QFile::setPermissions(beside, old.permissions());
        const QString backup = Join(result.BackupFolder, entry.Name);
        if (ok && hadOld) ok = QDir().mkpath(QFileInfo(backup).absolutePath()) && QFile::copy(target, backup);
        QString error;
        if (ok) ok = Platform::ReplaceFile(beside, target, &error);
        if (!ok) {
            QFile::remove(beside);
            const bool restored = Restore(done, plan, result.BackupFolder, hooks);
            result.Outcome = restored ? TUpdaterOutcome::NothingChanged : TUpdaterOutcome::Failed;
            return fail(QStringLiteral("cannot replace %1 %2").arg(entry.Name, error));
        }
        done.append({entry.Name, hadOld});
        result.Replaced << entry.Name;
    }
    hooks.Log(QStringLiteral("replaced %1 files; the old ones are in %2").arg(done.size()).arg(result.BackupFolder));
    if (plan.Program.isEmpty()) {
        result.Outcome = TUpdaterOutcome::Installed;
        return result;
    }
    qint64 pid = 0;
    bool started = hooks.Start(plan.Program, plan.ProgramArguments, &pid);
    if (started) {
        hooks.Sleep(plan.StartCheckMs);
        started = hooks.Alive(pid);
    }
    if (started) {
        result.Outcome = TUpdaterOutcome::Installed;
        return result;
    }
    hooks.Log(QStringLiteral("the new program did not start; putting the old files back"));
    if (!Restore(done, plan, result.BackupFolder, hooks)) {
        result.Outcome = TUpdaterOutcome::Failed;
        return fail(QStringLiteral("the old files could not all be put back; they are in %1").arg(result.BackupFolder));
    }
    result.Outcome = TUpdaterOutcome::Restored;
    hooks.Start(plan.Program, plan.ProgramArguments, &pid);
    return fail(QStringLiteral("the new program did not start; the old version was put back"));
}
