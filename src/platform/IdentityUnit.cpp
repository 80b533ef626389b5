#include "platform/IdentityUnit.h"

#include <QNetworkInterface>
#include <QUuid>
#include <pwd.h>
#include <unistd.h>

namespace Platform {

QString ComputerName() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return QStringLiteral("localhost");
    return QString::fromLocal8Bit(buffer).left(15);
}

QString UserName() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QString AdapterAddress() {
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        const auto flags = nic.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)) continue;
        const QString mac = nic.hardwareAddress();
        // Six bytes only: tunnels and the like report other lengths.
        if (mac.count(QLatin1Char(':')) != 5) continue;
        if (mac == QLatin1String("00:00:00:00:00:00")) continue;
        return mac.toUpper().replace(QLatin1Char(':'), QLatin1Char('-'));
    }
    return {};
}

QString NewGuid() {
    const QUuid id = QUuid::createUuid();
    if (id.isNull()) return {};
    return id.toString(QUuid::WithBraces).toUpper();
}

} // namespace Platform
