#include "chatlog/ChatLogSpaceUnit.h"

#include "platform/FileSyncUnit.h"

#include <QtDebug>

TChatLogSpace::TChatLogSpace(TProbe probe, qint64 floor) : FProbe(std::move(probe)), FFloor(floor) {}

bool TChatLogSpace::Admit(const QString& folder, qint64 bytes, int records) {
    const qint64 free = FProbe ? FProbe(folder) : Platform::FreeBytes(folder);
    // An unknown figure stops nothing: the writes themselves fail then.
    const bool room = free < 0 || free - bytes >= FFloor;
    if (!room) FRefused += records;
    if (FFull.exchange(!room) == room) {
        if (room)
            qInfo("chat log: %lld bytes free again, writing records", free);
        else
            qWarning("chat log: %lld bytes free, below the floor of %lld: records are not written until there is room",
                     free, FFloor);
        if (FChanged) FChanged(!room, free);
    }
    return room;
}
