#pragma once

#include <QString>
#include <QTextStream>

// What every quillmate-cli command returns, and its one-line usage error.
namespace CliExit {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Bad arguments to a known command: one line, so scripts can show it as it is.
inline int Usage(QTextStream& err, const QString& problem) {
    err << "quillmate-cli: " << problem << "\n";
    err.flush();
    return kExitUsage;
}

} // namespace CliExit
