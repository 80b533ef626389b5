// Listing N users as they log on, against the groups store. First-time users
// (nothing stored: each is appended and its position waits for one write)
// and returning users (each placed by its stored position among the rows of
// its group) are both timed against a bare list model in the same run that
// only builds and inserts the rows; the ratios are the store's share. The
// one write of the waiting positions is timed on its own.
#include "presence/OnlineUserModelUnit.h"
#include "presence/UserGroupUnit.h"

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

TOnlineNotify Peer(int i) {
    TOnlineNotify n;
    n.NickName = QStringLiteral("user%1").arg(i);
    n.ComputerName = QStringLiteral("PC%1").arg(i);
    n.IPAddress = QStringLiteral("10.77.%1.%2").arg(i / 250).arg(i % 250 + 1);
    n.UserId = QStringLiteral("{ID-%1}").arg(i);
    n.Version = QStringLiteral("1.0.0.1");
    return n;
}

// The same arrival order for every run.
int Arrival(int k, int count) { return int((qint64(k) * 7919) % count); }

// The floor: rows built from the records and inserted with the model's
// signals, no store and no placement.
class TBareList : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(FRows.size()); }
    QVariant data(const QModelIndex& index, int role) const override {
        return role == Qt::DisplayRole && index.isValid() ? FRows[size_t(index.row())]->NickName : QVariant();
    }
    void Add(const TOnlineNotify& record) {
        auto node = std::make_unique<TUserNodeData>();
        node->NickName = record.NickName;
        node->ComputerName = record.ComputerName;
        node->IPAddress = record.IPAddress;
        node->OnlineState = record.OnlineState;
        node->LastSignalTime = QDateTime::currentDateTime();
        node->Version = record.Version;
        node->UserId = record.UserId;
        const int row = int(FRows.size());
        beginInsertRows({}, row, row);
        FRows.push_back(std::move(node));
        endInsertRows();
    }

private:
    std::vector<std::unique_ptr<TUserNodeData>> FRows;
};

double BareMs(int count) {
    TBareList list;
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < count; ++k) list.Add(Peer(Arrival(k, count)));
    return clock.nsecsElapsed() / 1e6;
}

// Adds users 0..count-1 in a scrambled order; returns milliseconds.
double AddAll(TUserGroup& store, int count) {
    TOnlineUserModel model(store, TSelfIdentity{});
    model.LoadGroupNodes(true);
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < count; ++k) model.AddUserNode(false, Peer(Arrival(k, count)));
    return clock.nsecsElapsed() / 1e6;
}

void Report(const char* label, double ms, double bareMs, int count) {
    std::printf("%-22s %9.1f ms, %7.3f ms per user, %6.1f x bare\n", label, ms, ms / count, ms / bareMs);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QUILLMATE_NETWORK", "off");
    QCoreApplication app(argc, argv);
    const int count = qMax(1, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 800);
    QTemporaryDir dir;
    qputenv("QUILLMATE_HOME", dir.path().toLocal8Bit());

    const double bareMs = BareMs(count);
    TUserGroup store(dir.filePath(QStringLiteral("UserGroup.ini")));
    // First run: nobody is stored yet. No event loop runs, so every position
    // waits for the one write timed below.
    const int savesBefore = store.SaveCount();
    const double firstMs = AddAll(store, count);
    const int savesDuring = store.SaveCount() - savesBefore;
    QElapsedTimer clock;
    clock.start();
    store.FlushPendingPositions();
    const double flushMs = clock.nsecsElapsed() / 1e6;
    // Second run over the same file: every user returns with a stored position.
    const double returningMs = AddAll(store, count);

    std::printf("users: %d\n", count);
    Report("bare list (baseline)", bareMs, bareMs, count);
    Report("first-time users", firstMs, bareMs, count);
    Report("returning users", returningMs, bareMs, count);
    std::printf("writes while listing first-time users: %d\n", savesDuring);
    std::printf("one write of %d waiting positions: %.1f ms\n", count, flushMs);
    std::printf("file parsed %d times in all\n", store.ParseCount());
    return 0;
}
