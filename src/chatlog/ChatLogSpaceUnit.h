#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>

// Keeps the chat log from filling its disk: a batch of records is written
// only while the free space of the log's file system stays at or above the
// floor afterwards. Records refused are counted; the change between writing
// and refusing is told once each way, whichever thread asks.
class TChatLogSpace {
public:
    static constexpr qint64 kDefaultFloor = 64ll * 1024 * 1024;
    // Free bytes of the file system holding folder; negative: not known.
    using TProbe = std::function<qint64(const QString& folder)>;
    // full: records are being refused; freeBytes: what the probe said.
    using TChanged = std::function<void(bool full, qint64 freeBytes)>;

    // probe empty: the system's figure.
    explicit TChatLogSpace(TProbe probe = {}, qint64 floor = kDefaultFloor);

    // Called by the writer before a batch of bytes goes to folder: false
    // counts the batch's records as refused (and tells the change once).
    bool Admit(const QString& folder, qint64 bytes, int records);

    // Set before the writer starts.
    void SetChanged(TChanged changed) { FChanged = std::move(changed); }
    qint64 Floor() const { return FFloor; }
    bool Full() const { return FFull.load(); }
    // Records refused since start.
    qint64 Refused() const { return FRefused.load(); }

private:
    const TProbe FProbe;
    const qint64 FFloor;
    TChanged FChanged;
    std::atomic<bool> FFull{false};
    std::atomic<qint64> FRefused{0};
};
