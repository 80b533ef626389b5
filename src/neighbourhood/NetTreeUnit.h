#pragma once

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The rows of the network neighbourhood: the root, its containers (workgroups
// and domains) and their computers. The kinds keep the numbers the Windows
// shell gives its network items, so rows compare with what peers' users see.
enum class TNetKind : int {
    nkRoot = 1,
    nkDomain = 13,     // a workgroup or domain
    nkServer = 14,     // a computer: never has children
    nkShare = 15,
    nkRestOfNet = 16,
    nkOther = 17,      // our container of computers no source placed in a workgroup
};

// Where a row was learnt; a computer seen by several sources carries each bit.
using TNetSources = quint8;
enum : TNetSources { nsNone = 0, nsSmb = 1, nsWsd = 2, nsMdns = 4 };

// One row as the service knows it now. Keys are stable for the run:
// "" the root, a container's name upper-cased, "WORKGROUP/NAME" upper-cased for
// a computer, "*" the container of computers without a known workgroup.
struct TNetItem {
    QString Key;
    QString ParentKey;
    TNetKind Kind = TNetKind::nkOther;
    QString DisplayName;       // the container's or computer's name as first seen
    QString ComputerName;      // computers only
    QString IPAddress;         // computers only; empty: unresolved (so far)
    TNetSources Sources = nsNone;
    bool HasChildren = false;  // containers: worth an expand button
    bool Resolved = false;     // computers: resolution ended (empty IPAddress then reads "Unknown IP")

    bool IsComputer() const { return Kind == TNetKind::nkServer; }
};

// One computer as one source saw it.
struct TNetSighting {
    QString Workgroup;      // empty: the source does not say
    QString ComputerName;   // NetBIOS-style name, without ".local"
    QHostAddress Address;   // null when the source gave none
};

// What one call of a source found.
struct TNetBrowseResult {
    bool Available = true;     // false: the source cannot work on this machine (no daemon, no library)
    QString Error;             // English, for the CLI and logs; empty on success
    QStringList Containers;    // root level: workgroups and domains
    QList<TNetSighting> Computers;
};

// A browse mechanism (SMB, WS-Discovery, mDNS). Browse blocks a worker thread
// for at most timeoutMs and returns early when cancel is set.
class TNetBrowseSource {
public:
    virtual ~TNetBrowseSource() = default;
    virtual TNetSources Id() const = 0;
    virtual QString Name() const = 0;  // "SMB", "WS-Discovery", "mDNS"
    // container empty: the root's containers plus every computer a flat
    // source saw; otherwise the computers of that container.
    virtual TNetBrowseResult Browse(const QString& container, int timeoutMs,
                                    const std::atomic<bool>& cancel) = 0;
    // A flat source knows computers but no tree of its own (WS-Discovery,
    // mDNS): it is asked at the root only, and the containers' reads use what
    // it said then (again when that is older than TNetLimits::FlatCacheMs).
    virtual bool IsFlat() const { return false; }
};

// Resolves a computer's name to an IPv4 address on a worker thread; a null
// address when nothing answered within timeoutMs.
using TNetResolveFunction = std::function<QHostAddress(const QString& computerName, int timeoutMs,
                                                       const std::atomic<bool>& cancel)>;

// How long and how wide, in milliseconds and jobs.
struct TNetLimits {
    int BrowseMs = 8000;     // per source and call: SMB finds the browse master by broadcast first
    int ResolveMs = 1500;    // per computer
    int ResolveJobs = 8;     // computers resolved at once
    int FlatCacheMs = 30000; // how long a flat source's computers stand for a container's read
    int MaxRowsPerSource = 2000;  // sightings or containers taken from one answer
};

Q_DECLARE_METATYPE(TNetItem)
