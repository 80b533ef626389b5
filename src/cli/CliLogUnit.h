#pragma once

#include <QStringList>
#include <QTextStream>

// "log ...": the chat log from the command line (list, show, export, delete,
// compact, search). Returns the exit status: 0 done, 1 failed, 2 bad usage.
int RunLog(QStringList arguments, QTextStream& out, QTextStream& err);

// The usage lines of the log commands, for the program's usage text.
extern const char* const kLogUsage;
