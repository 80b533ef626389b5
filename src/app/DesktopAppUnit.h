#pragma once

#include <QStringList>

// Runs the desktop program: single-instance handover, settings, main window,
// event loop. Returns the process exit status.
int RunDesktopApp(int& argc, char** argv);

// "-min" as the first parameter, in any letter case.
bool StartMinimizedSwitch(const QStringList& arguments);
