#pragma once

#include "presence/NotificationThrottleUnit.h"
#include "core/SoundKindUnit.h"
#include "protocol/CommConstsUnit.h"

#include <QObject>
#include <QString>

class TApplicationParams;
class TCommClient;
class TEventRouter;
class TOnlineUserModel;
struct TUserNodeData;

// Presence: owns the presence events of the listener, keeps the online list
// up to date, answers logons and runs the presence check. Windows connect to
// its signals; it knows nothing about them.
class TPresenceService : public QObject {
    Q_OBJECT
public:
    // params: read live for the notification and sound switches (main thread).
    TPresenceService(TOnlineUserModel& model, const TCommClient& client, const TApplicationParams& params,
                     QObject* parent = nullptr);

    // The ids this service owns, all carrying a TOnlineNotify.
    static const QList<int>& EventIds();
    void RegisterEvents(TEventRouter& router);

    // One round of the presence check: silent users are marked, the others asked.
    void CheckSignalTick(qint64 minuteMs, int silenceMinutes);
    // "QLM_ONLINESTATE", "QLM_NICKNAME" or "QLM_LOGOFF" to every user row, last row first.
    void SendPresenceToListed(const char* type);
    // Reports the online notices held back so far (before the node stops).
    void FlushNotifications() { FThrottle.Flush(); }

signals:
    // Every presence event, before it is handled (the CLI prints them).
    void PresenceEvent(int id, qintptr wParam, const TOnlineNotify& record);
    // "%s Online", "%s Offline" or "%d users online" for the notification windows.
    void NotificationRequested(const QString& text);
    // The GUI plays it.
    void SoundRequested(TSound sound);

private:
    void Handle(int id, qintptr wParam, const TOnlineNotify& record);
    void UserAnnounced(const TUserNodeData& user);

    TOnlineUserModel& FModel;
    const TCommClient& FClient;
    const TApplicationParams& FParams;
    TNotificationThrottle FThrottle;
};
