#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// The desktop portal's screenshot (org.freedesktop.portal.Screenshot over the
// session bus): the way a Wayland client gets a picture of the screen. One
// object asks once and reports once; the picture arrives as a file the
// portal wrote.
class TScreenshotPortal : public QObject {
    Q_OBJECT
public:
    explicit TScreenshotPortal(QObject* parent = nullptr);

    // False when this build has no D-Bus support (nothing is reported then).
    static bool Available();
    // Asks the portal; Finished follows exactly once.
    void Request();

signals:
    // path: the local file of the whole desktop's picture; empty on failure,
    // with why in error (English, for a translated sentence to lead).
    void Finished(const QString& path, const QString& error);

private slots:
    void Response(uint code, const QVariantMap& results);

private:
    void Finish(const QString& path, const QString& error);

    QString FRequestPath;
    QTimer FTimeout;
    bool FDone = false;
};
