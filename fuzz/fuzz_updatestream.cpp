// Feeds arbitrary bytes to the update stream reader as the body of a
// "QLM_TRANSUPDATEFILE" request: names, lengths and blocks, into a scratch UPDATE folder.
#include "protocol/RequestReaderUnit.h"
#include "update/UpdateReceiveUnit.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir scratch;
    static const TUpdateExpectation expect = [] {
        TUpdateExpectation e;
        e.Folder = scratch.path() + QStringLiteral("/UPDATE/");
        QDir().mkpath(e.Folder);
        e.Names = {QStringLiteral("quillmate"), QStringLiteral("Languages/Chinese.lng"), QStringLiteral("Update.ini")};
        e.LanguageId = 2052;
        e.MaxBytes = 1 << 20;
        e.Guard.FreeBytes = [](const QString&) { return qint64(1) << 40; };
        return e;
    }();
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TRequestReader reader(buffer, [](int) { return false; });
    const TUpdateReceiveResult result = ReceiveUpdateFiles(reader, expect, 1000);
    // Nothing may ever land outside the folder.
    if (QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size() != 1) __builtin_trap();
    (void)result;
    return 0;
}
