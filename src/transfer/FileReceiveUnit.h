#pragma once

#include "protocol/RequestReaderUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/FileNamesUnit.h"
#include "transfer/UnpackUnit.h"

#include <QString>
#include <functional>

class TMessageLang;

// How far a stream has come, for the receive window.
struct TReceiveProgress {
    qint64 Bytes = 0;    // block bytes read so far, all files together
    int Files = 0;       // files whose block was read whole
    int Current = 0;     // the file being read, from 1; 0 before the first
    qint64 FileSize = 0; // its block's length
    qint64 FileDone = 0; // of which read
    bool Final = false;  // the last report of the stream
    // What the offer said would come (Quillmate senders); 0 when it did not say.
    int TotalFiles = 0;
    qint64 TotalBytes = 0;
};

// At most one progress report per this interval and stream (the last one always goes).
constexpr int ReceiveProgressMs = 100;

// How a node stores what arrives.
struct TReceiveSettings {
    QString Root; // the received-files folder (ArrivedFilesFolder), with "/"
    TDiskGuard Guard;
    // Whether a stream with this header may store anything (a stream nobody
    // accepted is not); empty: every stream.
    std::function<bool(const TBroadcastData& header, const QString& peerAddress)> Admit;
    // Told on the receiving thread, throttled to ReceiveProgressMs; empty: nobody listens.
    std::function<void(const TReceiveProgress&)> Progress;
    // Asked between pieces: true ends the stream on the receiver's side, as a
    // sender's cancel does (nothing of it stays).
    std::function<bool()> Stopped;
};

// What to post when a request ends: WM_PEER_FILES, WM_FILE_TERMINATED (the
// sender cancelled, or the receiver stopped: Arrival.StoppedHere), or
// nothing (EventId 0) when the request carried no file at all.
struct TReceiveOutcome {
    int EventId = 0;
    TFilesArrival Arrival;
};

// Reads one "QLM_FILE" request after its header line: stores each file under
// Root + "From_nick(pc)/", exclusively and numbered, never outside that
// folder; unpacks archives into numbered folders (an archive of which no file
// could be unpacked is kept and listed instead). A refused name has its block
// consumed so the following files still arrive. A file that breaks off (peer
// gone, disk full) is deleted and named in Arrival.Failed; receiving stops
// before the disk's free space would drop below the guard's reserve.
TReceiveOutcome ReceiveFiles(TRequestReader& reader, const TEnvelope& header, const QString& peerAddress,
                             const TReceiveSettings& settings, const TMessageLang& lang, int stallMs);

// Removes what an arrival stored (files, kept archives, unpacked folders):
// for a stream whose event could not be posted, which nobody would hear of.
void DiscardArrival(const TFilesArrival& arrival);

// The texts of the reasons in TFileFailure (translated).
namespace ReceiveReason {
QString Refused();
QString DiskFull();
QString Broken();
QString Unreadable();
QString Unpacked();
// Why an entry of an unpacked folder was not created.
QString Entry(const TRefusedEntry& entry);
// The archive was kept as no entry could be unpacked; first: the first refusal.
QString NothingUnpacked(const TRefusedEntry& first);
} // namespace ReceiveReason
