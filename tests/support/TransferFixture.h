#pragma once
// A listener on 127.0.0.1 with the transfer service registered: this test
// process is sender and receiver at once.

#include "support/ServerFixture.h"
#include "transfer/FileSendUnit.h"
#include "transfer/OutgoingTransferUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>
#include <atomic>

// What the service emitted, in order.
struct TTransferLog {
    QList<TOnlineNotify> Offers;
    QList<std::pair<TOnlineNotify, bool>> Cancels;
    QList<std::pair<TBroadcastData, bool>> Replies;
    QList<std::pair<TFilePeerHandle, bool>> Handles;
    QList<std::pair<TFilesArrival, bool>> Arrivals;
    QList<std::pair<TFilesArrival, bool>> Terminations;
};

// Records every file event posted to it, as a receive or wait dialog would get them.
class TOwnerProbe : public QObject {
public:
    QList<int> Ids;
    bool event(QEvent* e) override {
        if (!TPostedEvent::IsPosted(e)) return QObject::event(e);
        Ids << static_cast<TPostedEvent*>(e)->Id();
        return true;
    }
};

// Holds the sender at the start of one file's block until the test resumes
// it: the receiver is then inside the stream, where the test acts on it.
class THoldAtFile : public TSendObserver {
public:
    THoldAtFile(TSendControl& control, int index) : FControl(control), FIndex(index) {}
    void FileBegin(int index, qint64) override {
        if (index != FIndex) return;
        FControl.SetPaused(true);
        Held = true;
    }
    void Progress(int, qint64) override {}
    void FileDone(int, const TFileOutcome&) override {}
    std::atomic<bool> Held{false};

private:
    TSendControl& FControl;
    const int FIndex;
};

class TTransferFixture : public TServerFixture {
protected:
    TTransferFixture() {
        Settings[spArrivedFilesFolder] = Home.Path() + QStringLiteral("Files/");
        Settings[bpAutoFileTrans] = true;
        Service.RegisterEvents(Sink);
        Service.RegisterListener(Server->Dispatcher(), *Server, Client, Sink);
        SetFreeBytes([](const QString&) { return qint64(1) << 40; });
        QObject::connect(&Service, &TTransferService::OfferArrived, [this](const TOnlineNotify& o) { Log.Offers << o; });
        QObject::connect(&Service, &TTransferService::OfferCanceled,
                         [this](const TOnlineNotify& n, bool d) { Log.Cancels << std::pair(n, d); });
        QObject::connect(&Service, &TTransferService::ReplyArrived,
                         [this](const TBroadcastData& r, bool d) { Log.Replies << std::pair(r, d); });
        QObject::connect(&Service, &TTransferService::PeerHandleArrived,
                         [this](const TFilePeerHandle& h, bool d) { Log.Handles << std::pair(h, d); });
        QObject::connect(&Service, &TTransferService::FilesArrived,
                         [this](const TFilesArrival& a, bool d) { Log.Arrivals << std::pair(a, d); });
        QObject::connect(&Service, &TTransferService::TransferTerminated,
                         [this](const TFilesArrival& a, bool d) { Log.Terminations << std::pair(a, d); });
    }

    // The listener's threads use the service: they stop before it goes.
    ~TTransferFixture() override { Server->StopListening(); }

    void SetFreeBytes(std::function<qint64(const QString&)> free) {
        TDiskGuard guard;
        guard.FreeBytes = std::move(free);
        Service.SetDiskGuard(guard);
    }
    // Settings changed: the listener threads take them again.
    bool StartWith() {
        Service.RefreshListenerSettings();
        return Start();
    }

    QString Src(const QString& name) const { return Home.Path() + QStringLiteral("src/") + name; }
    QString Inbox() const { return Home.Path() + QStringLiteral("Files/From_Me(MYPC)/"); }
    void MakeFile(const QString& name, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(Src(name)).absolutePath());
        QFile f(Src(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Bytes(int size, int seed) {
        QByteArray b(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i) b[i] = char((i * 131 + seed * 7) ^ (i >> 9));
        return b;
    }
    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Names directly in a folder, sorted.
    static QStringList Entries(const QString& folder) {
        QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        names.sort();
        return names;
    }

    TSendPlan Plan(const QStringList& files, qint32 peerHandle = 0) const {
        QList<TSendRow> rows;
        for (const QString& file : files) rows.append(TSendRow{file, false, {}});
        return Plan(rows, peerHandle);
    }
    TSendPlan Plan(QList<TSendRow> rows, qint32 peerHandle = 0) const {
        TSendPlan plan;
        plan.Host = QStringLiteral("127.0.0.1");
        plan.Port = Port;
        plan.Self = Self;
        plan.PeerHandle = peerHandle;
        plan.Rows = std::move(rows);
        plan.StallTimeoutMs = 5000;
        return plan;
    }

    // Runs SendFiles on a thread while this one keeps its event loop going.
    TSendResult RunSend(const TSendPlan& plan, TSendControl& control, TSendObserver* observer = nullptr) {
        TSendResult result;
        std::atomic<bool> done{false};
        std::unique_ptr<QThread> thread(QThread::create([&] {
            result = SendFiles(plan, control, observer);
            done = true;
        }));
        thread->start();
        WaitUntil([&] { return done.load(); }, 60000);
        thread->wait();
        return result;
    }
    TSendResult RunSend(const TSendPlan& plan) {
        TSendControl control;
        return RunSend(plan, control);
    }

    TTransferService Service{Client, Local, Settings, Lang};
    TTransferLog Log;
};
