#include "app/DesktopAppUnit.h"

#include "VersionInfo.h"
#include "node/NodeUnit.h"
#include "core/ParamsUnit.h"
#include "core/PostedEventUnit.h"
#include "core/SingleInstanceUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "core/UtilsUnit.h"
#include "app/DesktopUnit.h"
#include "platform/SignalsUnit.h"
#include "text/UILangUnit.h"
#include "app/ListDumpUnit.h"
#include "app/MainUnit.h"
#include "app/StateDumpUnit.h"

#include <QApplication>
#include <QSessionManager>
#include <memory>

bool StartMinimizedSwitch(const QStringList& arguments) {
    return arguments.size() > 1 && arguments.at(1).toLower() == QLatin1String("-min");
}

int RunDesktopApp(int& argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmate"));
    // Wayland's app id and the X11 hint that tie the windows to the installed launcher.
    QGuiApplication::setDesktopFileName(QStringLiteral(QLM_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);

    // Before anything reads or writes settings: a second copy only hands over.
    TSingleInstance instance(TSingleInstance::ServerNameFor(QString::fromLatin1(TMainForm::WindowClassName),
                                                            Utils::LocalUserName(), Utils::ProgramFolder()));
    if (!instance.Claim()) return 0;

    if (!Params().LoadError().isEmpty())
        Utils::ShowMessageBox(nullptr, false, Utils::TMessageBoxKind::Error, Translate(Params().LoadError()));
    for (const QString& error : UserInterfaceLang().ScanErrors())
        Utils::ShowMessageBox(nullptr, false, Utils::TMessageBoxKind::Error, error);

    TDesktop desktop(StartMinimizedSwitch(QApplication::arguments()));
    TMainForm& form = desktop.MainForm();
    QObject::connect(&instance, &TSingleInstance::ActivationRequested, &form,
                     [&form] { PostWindowEvent(&form, WM_ACTIVATE_INSTANCE); });
    // Asked to save (also for a logout that may still be cancelled): only
    // the window's settings. Whatever ends the program after that (the
    // session manager, Exit, a signal) logs off on the way out.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.SaveWindowSettings(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.SessionEnding(); });
    // A terminating desktop or `kill` ends the program as Exit does: logoff sent, window state saved.
    TQuitSignals quitSignals([&form] { form.ExitApplicationExecute(); });
    // Lab scripts read the online list from this file instead of the screen.
    std::unique_ptr<TListDump> listDump;
    if (const QString dumpFile = qEnvironmentVariable("QUILLMATE_LIST_DUMP"); !dumpFile.isEmpty())
        listDump = std::make_unique<TListDump>(desktop.Node().Model(), dumpFile);
    // ... and the tray, the queue and the open windows from this one.
    std::unique_ptr<TStateDump> stateDump;
    if (const QString dumpFile = qEnvironmentVariable("QUILLMATE_STATE_DUMP"); !dumpFile.isEmpty())
        stateDump = std::make_unique<TStateDump>(desktop.Tray(), desktop.Queue(), dumpFile);
    if (!form.StartsHidden()) form.show();
    return app.exec();
}
