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

// Sets an environment variable for its lifetime, then puts back what was there.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const QByteArray& value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    QByteArray FOld;
    bool FHad;
};

// The network policy of a test for its lifetime: sends to 127.0.0.1 only, or none at all.
class TLoopbackOnly : public TScopedEnv {
public:
    TLoopbackOnly() : TScopedEnv("QUILLMATE_NETWORK", "loopback") {}
};
class TNetworkOff : public TScopedEnv {
public:
    TNetworkOff() : TScopedEnv("QUILLMATE_NETWORK", "off") {}
};

// A port of 127.0.0.1 that is free for both TCP and UDP at this moment (0 when
// none was found): a node listens on both, and another test process may hold
// either half.
quint16 FreePort();

QString SourceDir();
QString RuntimeDir();

// This process's resident memory in KiB (VmRSS of /proc/self/status); 0 when unknown.
long ResidentKiB();
