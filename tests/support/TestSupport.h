#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A throw-away program folder: QUILLMATE_HOME points at it for the test's
// lifetime, so nothing touches the real user's files.
class TTempHome {
public:
    TTempHome();
    ~TTempHome();
    QString Path() const { return FDir.path() + QLatin1Char('/'); }
    QString File(const QString& name) const { return Path() + name; }
    void Write(const QString& name, const QByteArray& bytes) const;
    QByteArray Read(const QString& name) const;

private:
    QTemporaryDir FDir;
    QByteArray FOldHome;
    bool FHadHome;
};

QString SourceDir();
QString RuntimeDir();

// This process's resident memory in KiB (VmRSS of /proc/self/status); 0 when unknown.
long ResidentKiB();
