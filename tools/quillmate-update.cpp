// quillmate-update: puts checked update files in place once Quillmate has
// exited, starts the new program, and puts the old files back if it does not start.
#include "platform/PathsUnit.h"
#include "update/UpdaterUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString here = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    TUpdaterPlan plan;
    plan.Target = here;
    plan.Source = Platform::DataFolder() + QStringLiteral("UPDATE/");
    plan.InstallList = Platform::DataFolder() + QStringLiteral("UpdateInstall.txt");
    plan.Program = here + QStringLiteral("quillmate");
    QString version;
    QTextStream err(stderr);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--wait-pid") && hasValue) plan.WaitPid = args[++i].toLongLong();
        else if (arg == QLatin1String("--source") && hasValue) plan.Source = args[++i];
        else if (arg == QLatin1String("--target") && hasValue) plan.Target = args[++i];
        else if (arg == QLatin1String("--list") && hasValue) plan.InstallList = args[++i];
        else if (arg == QLatin1String("--start") && hasValue) plan.Program = args[++i];
        else if (arg == QLatin1String("--no-start")) plan.Program.clear();
        else if (arg == QLatin1String("--start-check-ms") && hasValue) plan.StartCheckMs = args[++i].toInt();
        else if (!arg.startsWith(QLatin1String("--")) && version.isEmpty()) version = arg;
        else {
            err << "usage: quillmate-update [--wait-pid PID] [--source DIR] [--target DIR] [--list FILE]\n"
                   "                        [--start PROGRAM | --no-start] [--start-check-ms MS] VERSION\n";
            return 2;
        }
    }
    TUpdaterHooks hooks = SystemUpdaterHooks();
    hooks.Log = [&err](const QString& line) {
        err << "quillmate-update: " << line << "\n";
        err.flush();
    };
    hooks.Log(QStringLiteral("updating %1 to %2").arg(QDir::toNativeSeparators(plan.Target), version));
    const TUpdaterResult result = RunUpdater(plan, hooks);
    switch (result.Outcome) {
    case TUpdaterOutcome::Installed: return 0;
    case TUpdaterOutcome::NothingChanged: return 1;
    case TUpdaterOutcome::Restored: return 3;
    case TUpdaterOutcome::Failed: return 4;
    }
    return 4;
}
