#include "platform/ScreenshotPortalUnit.h"

#include <QRandomGenerator>
#include <QUrl>
#include <QVariantMap>

#ifdef QLM_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshot = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
// The portal may ask the user first; nobody waits for ever.
constexpr int kTimeoutMs = 120000;

} // namespace

TScreenshotPortal::TScreenshotPortal(QObject* parent) : QObject(parent) {
    FTimeout.setSingleShot(true);
    FTimeout.setInterval(kTimeoutMs);
    connect(&FTimeout, &QTimer::timeout, this,
            [this] { Finish({}, QStringLiteral("the screenshot portal did not answer")); });
}

bool TScreenshotPortal::Available() {
#ifdef QLM_HAVE_DBUS
    return true;
#else
    return false;
#endif
}

void TScreenshotPortal::Finish(const QString& path, const QString& error) {
    if (FDone) return;
    FDone = true;
    FTimeout.stop();
#ifdef QLM_HAVE_DBUS
    if (!FRequestPath.isEmpty())
        QDBusConnection::sessionBus().disconnect(kService, FRequestPath, kRequest, QStringLiteral("Response"), this,
                                                 SLOT(Response(uint, QVariantMap)));
#endif
    emit Finished(path, error);
}

void TScreenshotPortal::Response(uint code, const QVariantMap& results) {
    if (code == 1) {
        Finish({}, QStringLiteral("the screenshot was cancelled"));
        return;
    }
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (code != 0 || !uri.isLocalFile()) {
        Finish({}, QStringLiteral("the screenshot portal refused"));
        return;
    }
    Finish(uri.toLocalFile(), {});
}

void TScreenshotPortal::Request() {
#ifdef QLM_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Finish({}, QStringLiteral("no session bus"));
        return;
    }
    // The reply's object path is known before the call, so the answer cannot
    // arrive before we listen for it.
    const QString token = QStringLiteral("quillmate%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    FRequestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    bus.connect(kService, FRequestPath, kRequest, QStringLiteral("Response"), this, SLOT(Response(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenshot, QStringLiteral("Screenshot"));
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("interactive"), false);
    call << QString() << options;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            Finish({}, reply.error().message());
            return;
        }
        // Older portals name the request themselves.
        const QString path = reply.value().path();
        if (path == FRequestPath || FDone) return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.disconnect(kService, FRequestPath, kRequest, QStringLiteral("Response"), this,
                       SLOT(Response(uint, QVariantMap)));
        FRequestPath = path;
        bus.connect(kService, FRequestPath, kRequest, QStringLiteral("Response"), this, SLOT(Response(uint, QVariantMap)));
    });
    FTimeout.start();
#else
    Finish({}, QStringLiteral("this build has no D-Bus support"));
#endif
}
