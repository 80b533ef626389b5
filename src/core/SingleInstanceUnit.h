#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running copy per user and program folder. The first copy listens on a
// local socket; a later copy connects, asks the first to show itself and
// exits. A stale socket left by a crashed copy is replaced.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // key: usually ServerNameFor("Quillmate Window Class", user, program folder).
    explicit TSingleInstance(QString serverName, QObject* parent = nullptr);

    // True when this is the first copy (it now listens); false when another
    // copy answered and was asked to activate itself.
    bool Claim();
    const QString& ServerName() const { return FServerName; }

    static QString ServerNameFor(const QString& windowClass, const QString& userName, const QString& programFolder);

signals:
    // Another copy was started (the first copy posts WM_ACTIVATE_INSTANCE).
    void ActivationRequested();

private:
    bool AskRunningCopy() const;

    QString FServerName;
    QLocalServer FServer;
};
