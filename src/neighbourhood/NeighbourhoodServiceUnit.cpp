#include "neighbourhood/NeighbourhoodServiceUnit.h"

#include "neighbourhood/NetMergeUnit.h"
#include "text/UILangUnit.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <map>

using namespace NetMerge;

namespace {

// Time a result needs to come back through the event loop after its source
// gave up at its limit.
constexpr int kReturnSlackMs = 300;

using TFlag = std::shared_ptr<std::atomic<bool>>;

TFlag NewFlag() {
    return std::make_shared<std::atomic<bool>>(false);
}

// A timer may be dropped from inside its own timeout: stop it and let the loop delete it.
void DropTimer(std::unique_ptr<QTimer>& timer) {
    if (!timer) return;
    timer->stop();
    timer.release()->deleteLater();
}

} // namespace

// One running read of a key: first the sources, then the resolution of its computers.
struct TNeighbourhoodService::TRead {
    quint64 Id = 0;
    QString Key;
    QList<TFlag> Flags;                      // every task's cancel flag
    QHash<int, TFlag> WaitingSources;        // index into the source list
    QList<TSourceAnswer> TreeAnswers;        // containers' reads: the tree sources
    QList<TSourceAnswer> RootAnswers;        // the root's read, or flat sources asked again
    bool FlatAsked = false;
    std::unique_ptr<QTimer> SourceDeadline;
    // Resolution.
    QList<TMergedComputer> Queue;
    std::map<quint64, std::unique_ptr<QTimer>> Running;  // job id, its time limit
    QHash<quint64, TFlag> RunningFlags;
    QHash<quint64, TMergedComputer> RunningRows;

    ~TRead() {
        DropTimer(SourceDeadline);
        for (auto& [job, timer] : Running) DropTimer(timer);
    }
};

struct TNeighbourhoodService::TState {
    std::vector<std::shared_ptr<TNetBrowseSource>> Sources;
    TNetResolveFunction Resolver;
    TNetLimits Limits;
    QHash<QString, TNetItem> Items;
    QHash<QString, QStringList> ChildKeys;
    QList<TFlatComputer> FlatCache;
    QElapsedTimer FlatCacheAge;            // invalid: no root read yet
    QHash<QString, QString> Placed;        // upper-cased computer name -> container key (by a tree source)
    QHash<QString, std::shared_ptr<TRead>> Reads;
    QSet<TNetSources> Announced;
    quint64 NextId = 1;
    QThreadPool Pool;
};

TNeighbourhoodService::TNeighbourhoodService(QObject* parent)
    : QObject(parent), F(std::make_unique<TState>())
{
    qRegisterMetaType<TNetItem>();
    // Most tasks wait on the network; an abandoned one keeps its thread until it sees its flag.
    F->Pool.setMaxThreadCount(32);
    F->Pool.setExpiryTimeout(5000);
}

TNeighbourhoodService::~TNeighbourhoodService()
{
    for (const auto& read : std::as_const(F->Reads))
        for (const TFlag& flag : read->Flags) flag->store(true);
    F->Reads.clear();
    F->Pool.waitForDone();
}

void TNeighbourhoodService::SetSources(std::vector<std::shared_ptr<TNetBrowseSource>> sources)
{
    F->Sources = std::move(sources);
}

void TNeighbourhoodService::SetResolver(TNetResolveFunction resolver)
{
    F->Resolver = std::move(resolver);
}

void TNeighbourhoodService::SetLimits(const TNetLimits& limits)
{
    F->Limits = limits;
    F->Limits.ResolveJobs = qMax(1, limits.ResolveJobs);
}

TNetItem TNeighbourhoodService::Root() const
{
    TNetItem root;
    root.Kind = TNetKind::nkRoot;
    root.DisplayName = Translate(QStringLiteral("Network Neighborhood"));
    root.HasChildren = true;
    return root;
}

std::optional<TNetItem> TNeighbourhoodService::Item(const QString& key) const
{
    if (key.isEmpty())
        return Root();
    const auto it = F->Items.constFind(key);
    if (it == F->Items.constEnd())
        return std::nullopt;
    return *it;
}

QList<TNetItem> TNeighbourhoodService::Children(const QString& key) const
{
    QList<TNetItem> children;
    for (const QString& k : F->ChildKeys.value(key))
        if (const auto it = F->Items.constFind(k); it != F->Items.constEnd()) children.append(*it);
    SortRows(children);
    return children;
}

bool TNeighbourhoodService::IsBusy(const QString& key) const
{
    return F->Reads.contains(key);
}

void TNeighbourhoodService::Enumerate(const QString& key)
{
    if (F->Reads.contains(key))
        return;
    if (!key.isEmpty()) {
        const auto it = F->Items.constFind(key);
        if (it == F->Items.constEnd() || it->IsComputer()) {
            emit EnumerationFinished(key);
            return;
        }
    }
    auto read = std::make_shared<TRead>();
    read->Id = F->NextId++;
    read->Key = key;
    F->Reads.insert(key, read);

    const bool root = key.isEmpty();
    const bool flatStale = !F->FlatCacheAge.isValid() || F->FlatCacheAge.hasExpired(F->Limits.FlatCacheMs);
    const QString containerName = root ? QString() : F->Items.value(key).DisplayName;
    for (int i = 0; i < int(F->Sources.size()); ++i) {
        const auto& source = F->Sources[size_t(i)];
        if (!source) continue;
        QString askFor;
        if (root) {
            askFor = QString();
        } else if (source->IsFlat()) {
            if (!flatStale) continue;
            askFor = QString();
            read->FlatAsked = true;
        } else {
            // A tree source is asked only about the containers it named.
            if (key == kOtherKey || !(F->Items.value(key).Sources & source->Id())) continue;
            askFor = containerName;
        }
        TFlag flag = NewFlag();
        read->Flags.append(flag);
        read->WaitingSources.insert(i, flag);
        const quint64 id = read->Id;
        const int timeout = F->Limits.BrowseMs;
        F->Pool.start([this, source, askFor, timeout, flag, id, i, key] {
            TNetBrowseResult result = source->Browse(askFor, timeout, *flag);
            if (flag->load()) return;
            QMetaObject::invokeMethod(this, [this, id, i, key, result = std::move(result)]() mutable {
                SourceAnswered(key, id, i, std::move(result));
            }, Qt::QueuedConnection);
        });
    }
    if (read->WaitingSources.isEmpty()) {
        // Nothing to wait for ("*" from a fresh cache, or no source at all):
        // merge on the next turn of the loop, as a view expects.
        QMetaObject::invokeMethod(this, [this, key, id = read->Id] { SourcesEnded(key, id); }, Qt::QueuedConnection);
        return;
    }
    read->SourceDeadline = std::make_unique<QTimer>();
    read->SourceDeadline->setSingleShot(true);
    connect(read->SourceDeadline.get(), &QTimer::timeout, this, [this, key, id = read->Id] {
        const auto read = F->Reads.value(key);
        if (!read || read->Id != id) return;
        QList<int> late = read->WaitingSources.keys();
        std::sort(late.begin(), late.end());
        for (int i : late) read->WaitingSources.value(i)->store(true);
        read->WaitingSources.clear();
        for (int i : late) {
            const auto& source = F->Sources[size_t(i)];
            emit SourceFailed(source->Id(), key,
                              TranslateFormat(QStringLiteral("%s did not answer in time."), {source->Name()}));
        }
        SourcesEnded(key, id);
    });
    read->SourceDeadline->start(F->Limits.BrowseMs + kReturnSlackMs);
}

void TNeighbourhoodService::SourceAnswered(const QString& key, quint64 id, int index, TNetBrowseResult result)
{
    const auto read = F->Reads.value(key);
    if (!read || read->Id != id || !read->WaitingSources.contains(index)) return;
    read->WaitingSources.remove(index);
    const auto& source = F->Sources[size_t(index)];
    TSourceAnswer answer;
    answer.Source = source->Id();
    if (!result.Available) {
        result.Containers.clear();
        result.Computers.clear();
    }
    answer.Result = result;
    if (key.isEmpty() || source->IsFlat()) read->RootAnswers.append(answer);
    else read->TreeAnswers.append(answer);
    if (!result.Available) {
        if (!F->Announced.contains(answer.Source)) {
            F->Announced.insert(answer.Source);
            emit SourceUnavailable(answer.Source,
                                   TranslateFormat(QStringLiteral("%s is not available on this computer: %s"),
                                                   {source->Name(), result.Error}));
        }
    } else if (!result.Error.isEmpty()) {
        emit SourceFailed(answer.Source, key,
                          TranslateFormat(QStringLiteral("%s could not be read: %s"), {source->Name(), result.Error}));
    }
    // A slot may have started a new tree meanwhile.
    const auto still = F->Reads.value(key);
    if (still && still->Id == id && still->WaitingSources.isEmpty()) SourcesEnded(key, id);
}

void TNeighbourhoodService::ForgetBelow(const QString& key, QStringList* cancelled)
{
    for (const QString& child : F->ChildKeys.take(key)) {
        ForgetBelow(child, cancelled);
        F->Items.remove(child);
        if (const auto read = F->Reads.take(child)) {
            for (const TFlag& flag : read->Flags) flag->store(true);
            cancelled->append(child);
        }
    }
}

void TNeighbourhoodService::SourcesEnded(const QString& key, quint64 id)
{
    const auto read = F->Reads.value(key);
    if (!read || read->Id != id) return;
    DropTimer(read->SourceDeadline);
    const int maxRows = F->Limits.MaxRowsPerSource;
    QStringList cancelled;

    if (key.isEmpty()) {
        TRootMerge merge = MergeRoot(read->RootAnswers, maxRows);
        F->FlatCache = merge.Flat;
        F->FlatCacheAge.start();
        F->Placed.clear();
        ForgetBelow(key, &cancelled);
        QStringList keys;
        for (const TNetItem& item : merge.Containers) {
            F->Items.insert(item.Key, item);
            keys.append(item.Key);
        }
        F->ChildKeys.insert(key, keys);
        F->Reads.remove(key);
        for (const QString& k : cancelled) emit EnumerationFinished(k);
        emit ChildrenReplaced(key, Children(key));
        emit EnumerationFinished(key);
        return;
    }

    if (read->FlatAsked) {
        F->FlatCache = MergeFlat(read->RootAnswers, maxRows);
        F->FlatCacheAge.start();
    }
    QSet<QString> elsewhere;
    for (auto it = F->Placed.constBegin(); it != F->Placed.constEnd(); ++it)
        if (it.value() != key) elsewhere.insert(it.key());
    const QList<TMergedComputer> rows = MergeContainer(key, read->TreeAnswers, F->FlatCache, elsewhere, maxRows);

    // A tree source's word places a computer: its rows in other containers go.
    QSet<QString> placedHere;
    for (const TSourceAnswer& answer : std::as_const(read->TreeAnswers))
        for (const TNetSighting& s : answer.Result.Computers) {
            const QString name = CleanName(s.ComputerName);
            if (!name.isEmpty()) placedHere.insert(name.toUpper());
        }
    QSet<QString> touched;
    for (const QString& name : std::as_const(placedHere)) {
        F->Placed.insert(name, key);
        QStringList containers = F->ChildKeys.keys();
        for (const QString& container : containers) {
            if (container == key || container.isEmpty()) continue;
            const QString rowKey = ComputerKey(container, name);
            if (F->ChildKeys[container].removeAll(rowKey) > 0) {
                F->Items.remove(rowKey);
                touched.insert(container);
            }
        }
    }

    ForgetBelow(key, &cancelled);
    QStringList keys;
    for (const TMergedComputer& row : rows) {
        F->Items.insert(row.Item.Key, row.Item);
        keys.append(row.Item.Key);
    }
    F->ChildKeys.insert(key, keys);
    read->Queue = rows;

    QStringList touchedSorted(touched.begin(), touched.end());
    touchedSorted.sort();
    for (const QString& container : std::as_const(touchedSorted)) emit ChildrenReplaced(container, Children(container));
    emit ChildrenReplaced(key, Children(key));
    const auto still = F->Reads.value(key);
    if (still && still->Id == id) PumpResolution(key, id);
}

void TNeighbourhoodService::PumpResolution(const QString& key, quint64 id)
{
    const auto read = F->Reads.value(key);
    if (!read || read->Id != id) return;
    while (!read->Queue.isEmpty() && int(read->Running.size()) < F->Limits.ResolveJobs) {
        TMergedComputer row = read->Queue.takeFirst();
        const quint64 job = F->NextId++;
        TFlag flag = NewFlag();
        read->Flags.append(flag);
        read->RunningFlags.insert(job, flag);
        read->RunningRows.insert(job, row);
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        connect(timer.get(), &QTimer::timeout, this, [this, key, id, job] {
            // An overrunning resolver is abandoned: its slot goes to the next computer.
            ResolveEnded(key, id, job, QHostAddress());
        });
        timer->start(F->Limits.ResolveMs + kReturnSlackMs);
        read->Running.emplace(job, std::move(timer));
        const TNetResolveFunction resolver = F->Resolver;
        const QString name = row.Item.ComputerName;
        const int timeout = F->Limits.ResolveMs;
        F->Pool.start([this, resolver, name, timeout, flag, key, id, job] {
            const QHostAddress address = resolver ? resolver(name, timeout, *flag) : QHostAddress();
            if (flag->load()) return;
            QMetaObject::invokeMethod(this, [this, key, id, job, address] { ResolveEnded(key, id, job, address); },
                                      Qt::QueuedConnection);
        });
    }
    if (read->Queue.isEmpty() && read->Running.empty()) {
        F->Reads.remove(key);
        emit EnumerationFinished(key);
    }
}

void TNeighbourhoodService::ResolveEnded(const QString& key, quint64 id, quint64 job, const QHostAddress& address)
{
    const auto read = F->Reads.value(key);
    if (!read || read->Id != id || !read->Running.count(job)) return;
    DropTimer(read->Running[job]);
    read->Running.erase(job);
    read->RunningFlags.take(job)->store(true);
    const TMergedComputer row = read->RunningRows.take(job);
    bool ipv4 = false;
    address.toIPv4Address(&ipv4);
    // The resolver first; a source's address only when that source saw the
    // computer in this read (or in the flat sources' recent root read).
    const QHostAddress chosen = ipv4 && !address.isNull() ? address : row.Hint;
    const auto it = F->Items.find(row.Item.Key);
    if (it != F->Items.end()) {
        it->IPAddress = chosen.isNull() ? QString() : QHostAddress(chosen.toIPv4Address()).toString();
        it->Resolved = true;
        const TNetItem item = *it;
        emit ItemChanged(item);
    }
    PumpResolution(key, id);
}

void TNeighbourhoodService::RefreshAll()
{
    QStringList cancelled;
    if (const auto read = F->Reads.take(QString())) {
        for (const TFlag& flag : read->Flags) flag->store(true);
    }
    ForgetBelow(QString(), &cancelled);
    F->Placed.clear();
    F->FlatCache.clear();
    F->FlatCacheAge.invalidate();
    for (const QString& k : cancelled) emit EnumerationFinished(k);
    emit ChildrenReplaced(QString(), {});
    Enumerate(QString());
}
