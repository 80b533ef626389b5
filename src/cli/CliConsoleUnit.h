#pragma once

#include <QStringList>
#include <QTextStream>

// "console --to NAME[,NAME...] [--from NAME] [--wins ADDRESS] [--json] TEXT":
// a console message to each name at once, one line per name as it finishes.
// Exit status: 0 all went, 1 any failed, 2 bad usage.
int RunConsole(QStringList arguments, QTextStream& out, QTextStream& err);

extern const char* const kConsoleUsage;
