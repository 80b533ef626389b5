#pragma once

// Runs the real quillmate-cli in a program folder of its own.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

// quillmate-cli loads the process-wide settings, which happens once per
// process: every case runs the real program with its own --home.
struct TCliResult {
    int Exit = -1;
    QString Out;
    QByteArray RawOut; // stdout as bytes
    QString Err;
};

inline QString CliProgram() { return QDir(RuntimeDir()).filePath(QStringLiteral("quillmate-cli")); }

inline TCliResult RunCliProcess(const QString& home, const QStringList& arguments, const QString& program = CliProgram(),
                                const QByteArray& input = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLMATE_HOME"), home); // belt and braces: never the real user's files
    process.setProcessEnvironment(env);
    process.start(program, QStringList{QStringLiteral("--home"), home} + arguments);
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    TCliResult result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "quillmate-cli did not finish";
        return result;
    }
    result.Exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.RawOut = process.readAllStandardOutput();
    result.Out = QString::fromUtf8(result.RawOut);
    result.Err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

