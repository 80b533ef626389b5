#pragma once

#include "protocol/CommClientUnit.h"
#include "protocol/PresenceCodecUnit.h"

#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>

class TMessageLang;

// One row of a send list: the file, and whether it is an archive packed from a folder.
struct TSendRow {
    QString Path;
    bool IsArchive = false;
    QString SourceFolder; // for an archive: the folder it was packed from
};

// What an offer of rows names: every row, the size of those that fit a block
// together, each by its name (an archive by its folder's).
TOfferedFiles DescribeRows(const QList<TSendRow>& rows);

// What became of one row.
enum class TFileOutcomeKind {
    NotSent,   // never reached: stopped, or the connection failed before
    Sent,      // the whole block went out
    ReadError, // could not be opened: "SENDINGFILE_READERROR" went instead
    TooLarge,  // 2 GiB or more: does not fit a block; "SENDINGFILE_READERROR" went instead
    Broken,    // failed inside its block: the connection was dropped there
};
struct TFileOutcome {
    TFileOutcomeKind Kind = TFileOutcomeKind::NotSent;
    QString Detail; // the system's text, when there is one
};

struct TSendPlan {
    QString Host; // the peer's dotted quad, or its computer name
    quint16 Port = 7709;
    TLocalIdentity Self;
    qint32 PeerHandle = 0; // the receiver's request handle, 0 when it never said
    QList<TSendRow> Rows;
    TTransportConfig::TResolver Resolver; // empty: the system resolver
    int ConnectTimeoutMs = 15 * 1000;
    int StallTimeoutMs = 120 * 1000; // the peer took nothing for this long: it is gone
    int EndWaitMs = 30 * 1000;       // for the receiver's close after the end marker
};

struct TSendResult {
    bool Connected = false;
    bool Canceled = false; // stopped between files: the receiver deletes what arrived
    bool Aborted = false;  // stopped inside a file: the connection was dropped
    bool StoppedByRecipient = false; // the receiver closed the connection mid-stream
    QString Error;         // why connecting failed or the connection broke
    QList<TFileOutcome> Files;

    int SentCount() const;
    // At least one file went and the transfer was not stopped.
    bool Success() const { return SentCount() > 0 && !Canceled && !Aborted && !StoppedByRecipient; }
    bool AllSent() const { return Success() && SentCount() == Files.size(); }
};

// Shared between the caller and the sending thread.
class TSendControl {
public:
    // Before the next file; the receiver is told with "SENDINGFILE_CANCELED".
    void Stop() { FStop = true; }
    // At once, inside a file: the connection is dropped.
    void Abort();
    bool StopRequested() const { return FStop; }
    bool AbortRequested() const { return FAbort; }
    // Holds the writing (the user is being asked whether to stop) until resumed or aborted.
    void SetPaused(bool paused);
    // Sending thread: returns once not paused.
    void WaitWhilePaused();

private:
    std::atomic<bool> FStop{false};
    std::atomic<bool> FAbort{false};
    std::mutex FLock;
    std::condition_variable FResumed;
    bool FPaused = false;
};

// Told on the sending thread.
class TSendObserver {
public:
    virtual ~TSendObserver() = default;
    virtual void FileBegin(int index, qint64 size) = 0;
    // Bytes of this file written so far; at most a few times a second per file.
    virtual void Progress(int index, qint64 done) = 0;
    virtual void FileDone(int index, const TFileOutcome& outcome) = 0;
};

// Streams the rows as one "QLM_FILE" request, blocking; call it on a worker
// thread. Each file is read and written in 32 KiB pieces. A file that cannot
// be read, or is too large for a block, is announced as unreadable so that
// the stream stays in step; a failure inside a block drops the connection,
// since the receiver could no longer tell data from lines.
TSendResult SendFiles(const TSendPlan& plan, TSendControl& control, TSendObserver* observer);
