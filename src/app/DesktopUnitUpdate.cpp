// TDesktop: the version check window and the start of the updater.
#include "app/DesktopUnit.h"

#include "app/MainUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "node/NodeUnit.h"
#include "platform/PathsUnit.h"
#include "update/widgets/CheckUpdateUnit.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>

void TDesktop::OpenCheckUpdate() {
    const TApplicationParams& p = Params();
    TCheckUpdateContext context;
    context.Service = &FNode->Update();
    context.ComputerName = Utils::LocalComputerName();
    context.UserId = p[spQLMId];
    context.PublicKey = p[spUpdatePublicKey];
    const QString programFolder = QFileInfo(Platform::ExecutablePath()).absolutePath() + QLatin1Char('/');
    context.InstallFolder = programFolder;
    // An installed program belongs to the package manager, whatever the folder's rights.
    context.InstallFolderWritable = !Platform::RunsInstalled() && QFileInfo(programFolder).isWritable();
    context.OpenFolder = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    context.StartUpdater = [this, programFolder](const QString& version, const QString& installList) {
        // Only our own updater, from beside the program; never a received file.
        const QStringList arguments{QStringLiteral("--wait-pid"), QString::number(QCoreApplication::applicationPid()),
                                    QStringLiteral("--source"), FNode->Update().UpdateFolder(),
                                    QStringLiteral("--target"), programFolder,
                                    QStringLiteral("--list"), installList,
                                    QStringLiteral("--start"), Platform::ExecutablePath(), version};
        if (!QProcess::startDetached(programFolder + QStringLiteral("quillmate-update"), arguments)) return false;
        QTimer::singleShot(0, FMainForm.get(), [this] { FMainForm->ExitApplicationExecute(); });
        return true;
    };
    TCheckUpdateForm::ShowCheckUpdate(context);
}
