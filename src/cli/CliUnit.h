#pragma once

#include <QStringList>
#include <QTextStream>

// The command-line front over the engine. arguments excludes the program name.
// Exit status: 0 success, 1 failure, 2 bad usage (with a one-line error).
int RunCli(QStringList arguments, QTextStream& out, QTextStream& err);
