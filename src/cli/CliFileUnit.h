#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <functional>

class TNode;
class TTransferService;

// "sendfile --to HOST [--nickname NAME] [--json] PATH...": offers the files
// (folders packed first), waits for the answer, streams them and prints per
// file "sent" or the error. 0 when every file went, 1 otherwise, 2 on bad usage.
int RunSendFile(const QStringList& arguments, QTextStream& out, QTextStream& err);

// What "listen" does with files.
struct TCliFileOptions {
    bool NoAutoFiles = false; // offers are not accepted by the listener itself...
    bool AcceptFiles = false; // ...but by this program (else declined)
};
// Takes --no-auto-files and --accept-files out of args.
void TakeFileOptions(QStringList& args, TCliFileOptions* options);

// Prints the file events of a listening node with their record fields and
// answers offers as the options say. print(object, plain) writes one line.
// Streams of offers it accepted print their progress ("receive-progress",
// at most one line per ProgressPrintMs plus the last) and can be stopped.
class TCliFileListen : public QObject {
public:
    using TPrint = std::function<void(QJsonObject object, const QString& plain)>;
    static constexpr int ProgressPrintMs = 1000;
    // How long a stop waits for its streams to end before done is called anyway
    // (a sender that holds its stream sends nothing that would end it sooner).
    static constexpr int StopWaitMs = 10 * 1000;

    TCliFileListen(TTransferService& service, TCliFileOptions options, TPrint print);

    // Stops every stream of an offer this accepted ("receive-stop" per offer;
    // the sender sees the recipient stop it) and withdraws accepted offers
    // whose stream has not begun. done is called once the running ones have
    // ended (at once when none ran), or after StopWaitMs.
    void StopReceiving(std::function<void()> done = {});
    // Accepted offers whose stream has not ended.
    int Accepted() const { return int(FAccepted.size()); }

private:
    void Ended(qint32 handle);

    TTransferService& FService;
    TPrint FPrint;
    QSet<qint32> FAccepted;
    QSet<qint32> FStopping;
    QHash<qint32, qint64> FPrinted; // when each stream's progress was last printed
    QElapsedTimer FClock;
    std::function<void()> FStopped;
    QTimer FStopWait;
};
