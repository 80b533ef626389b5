#pragma once

#include "neighbourhood/NetTreeUnit.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

// The network neighbourhood as one tree merged from every source: containers
// and computers read on demand off the calling thread, computers resolved in
// parallel, every source bounded in time. Lives on the thread that made it
// (the GUI thread in the desktop); its signals come back there.
class TNeighbourhoodService : public QObject {
    Q_OBJECT
public:
    explicit TNeighbourhoodService(QObject* parent = nullptr);
    // Cancels running reads and waits for them (each looks at the flag often).
    ~TNeighbourhoodService() override;

    // The sources this build and machine have (SMB, WS-Discovery, mDNS) and
    // the resolver of names (NetBIOS name query, mDNS, DNS). Tests put fakes.
    static std::vector<std::shared_ptr<TNetBrowseSource>> DefaultSources();
    static TNetResolveFunction DefaultResolver();
    void SetSources(std::vector<std::shared_ptr<TNetBrowseSource>> sources);
    void SetResolver(TNetResolveFunction resolver);
    void SetLimits(const TNetLimits& limits);

    // What is known now, without reading anything.
    TNetItem Root() const;
    std::optional<TNetItem> Item(const QString& key) const;
    QList<TNetItem> Children(const QString& key) const;  // sorted by display name
    bool IsBusy(const QString& key) const;                // a read of key runs

    // Reads key's children again (the root: every source's containers); a read
    // already running for key is not started twice. ChildrenReplaced, then
    // ItemChanged per resolved computer, then EnumerationFinished.
    void Enumerate(const QString& key);
    // Forgets every row below the root and reads the root again.
    void RefreshAll();

signals:
    // The rows under key were replaced by these (a view drops its old rows and their ticks).
    void ChildrenReplaced(const QString& key, const QList<TNetItem>& children);
    // A computer's address became known, or its resolution ended without one.
    void ItemChanged(const TNetItem& item);
    // The read of key ended: every source answered or ran out of time.
    void EnumerationFinished(const QString& key);
    // A source cannot work here (said once per run); text is translated.
    void SourceUnavailable(TNetSources source, const QString& text);
    // A source failed on one read (timeout, refused); text is translated.
    void SourceFailed(TNetSources source, const QString& key, const QString& text);

private:
    struct TRead;
    struct TState;
    void SourceAnswered(const QString& key, quint64 id, int index, TNetBrowseResult result);
    void SourcesEnded(const QString& key, quint64 id);
    void PumpResolution(const QString& key, quint64 id);
    void ResolveEnded(const QString& key, quint64 id, quint64 job, const QHostAddress& address);
    void ForgetBelow(const QString& key, QStringList* cancelled);

    std::unique_ptr<TState> F;
};
