// Feeds arbitrary bytes to the file stream receiver as the body of a
// "QLM_FILE" request: name lines, markers, sized blocks, archives. Whatever
// comes, nothing may be created outside the received-files folder.
#include "protocol/EnvelopeUnit.h"
#include "protocol/RequestReaderUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileReceiveUnit.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

const QTemporaryDir& Sandbox() {
    static const QTemporaryDir dir;
    return dir;
}

// Every entry under the sandbox must be inside "received/", and no link.
void CheckSandbox(const QString& root) {
    QDirIterator it(Sandbox().path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink() || !(info.absoluteFilePath() + QLatin1Char('/')).startsWith(root)) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TMessageLang lang(1033);
    static const auto header =
        TEnvelope::Parse("QLM_FILE\t2\t1033\tMe\tMYPC\t0\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_");
    const QString root = Sandbox().path() + QStringLiteral("/received/");
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TRequestReader reader(buffer, [](int) { return false; });
    TReceiveSettings settings;
    settings.Root = root;
    settings.Guard.Reserve = 0;
    // A bomb may write up to this much; far below the fuzzer's memory and disk.
    settings.Guard.FreeBytes = [](const QString&) { return qint64(64) * 1024 * 1024; };
    // The reader's wait returns at once, so the limit costs nothing; a limit
    // of 0 would end every read before the buffered bytes are looked at.
    const TReceiveOutcome outcome = ReceiveFiles(reader, *header, QStringLiteral("127.0.0.1"), settings, lang, 1000);
    CheckSandbox(root);
    if (outcome.EventId != 0) DiscardArrival(outcome.Arrival);
    QDir(root).removeRecursively();
    return 0;
}
