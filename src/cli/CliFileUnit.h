#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <functional>

class TNode;

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
class TCliFileListen : public QObject {
public:
    using TPrint = std::function<void(QJsonObject object, const QString& plain)>;
    TCliFileListen(TNode& node, TCliFileOptions options, TPrint print);
};
