#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QUdpSocket>

TTempHome::TTempHome() : FOldHome(qgetenv("QUILLMATE_HOME")), FHadHome(qEnvironmentVariableIsSet("QUILLMATE_HOME")) {
    qputenv("QUILLMATE_HOME", FDir.path().toLocal8Bit());
}

TTempHome::~TTempHome() {
    if (FHadHome)
        qputenv("QUILLMATE_HOME", FOldHome);
    else
        qunsetenv("QUILLMATE_HOME");
}

void TTempHome::Write(const QString& name, const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(File(name)).absolutePath());
    QFile f(File(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QByteArray TTempHome::Read(const QString& name) const {
    QFile f(File(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

TScopedEnv::TScopedEnv(const char* name, const QByteArray& value)
    : FName(name), FOld(qgetenv(name)), FHad(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

TScopedEnv::~TScopedEnv() {
    if (FHad)
        qputenv(FName, FOld);
    else
        qunsetenv(FName);
}

QString SourceDir() { return QStringLiteral(QLM_SOURCE_DIR); }
QString RuntimeDir() { return QStringLiteral(QLM_RUNTIME_DIR); }

long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

quint16 FreePort() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpServer tcp;
        if (!tcp.listen(QHostAddress::LocalHost, 0)) continue;
        QUdpSocket udp;
        if (udp.bind(QHostAddress::LocalHost, tcp.serverPort())) return tcp.serverPort();
    }
    return 0;
}
