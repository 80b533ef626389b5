#include "update/UpdateReceiveUnit.h"

#include "text/MsgLangUnit.h"
#include "update/UpdateCodecUnit.h"
#include "update/UpdateNamesUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kPartSuffix = QStringLiteral(".qlmpart");
// How often the free space is looked at again while a file is written.
constexpr qint64 kGuardEvery = 16ll * 1024 * 1024;

// One block into target, through a part file; false (and *end set) when it did not go.
bool StoreBlock(TRequestReader& reader, const TUpdateExpectation& expect, const QString& target, qint64 length,
                int stallMs, TUpdateStreamEnd* end) {
    const QString part = target + kPartSuffix;
    QFile::remove(part);
    QFile file(part);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *end = TUpdateStreamEnd::DiskFull;
        return false;
    }
    qint64 written = 0, checked = 0;
    bool diskFull = false;
    const TRequestReader::TResult r = reader.ReadInto(length, [&](const char* data, qint64 size) {
        if (written - checked >= kGuardEvery) {
            checked = written;
            if (!expect.Guard.Allows(expect.Folder, length - written)) {
                diskFull = true;
                return false;
            }
        }
        if (file.write(data, size) != size) {
            diskFull = true;
            return false;
        }
        written += size;
        return true;
    }, stallMs);
    const bool ok = r == TRequestReader::rrOk && file.flush();
    file.close();
    if (!ok) {
        file.remove();
        *end = diskFull ? TUpdateStreamEnd::DiskFull : TUpdateStreamEnd::Broken;
        return false;
    }
    // A link left in its place is replaced, never followed.
    QFile::remove(target);
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        *end = TUpdateStreamEnd::DiskFull;
        return false;
    }
    return true;
}

} // namespace

TUpdateReceiveResult ReceiveUpdateFiles(TRequestReader& reader, const TUpdateExpectation& expect, int stallMs,
                                        const std::function<void(const QString& name, qint64 size)>& onFile) {
    TUpdateReceiveResult result;
    QSet<QString> stored;
    for (;;) {
        QByteArray line;
        if (reader.ReadLine(&line, stallMs, MaxUpdateNameLine) != TRequestReader::rrOk) {
            result.End = TUpdateStreamEnd::Broken;
            return result;
        }
        if (line.compare(QByteArrayView(UpdateStreamEnd), Qt::CaseInsensitive) == 0) {
            result.End = TUpdateStreamEnd::Complete;
            return result;
        }
        const QString name = TMessageLang::Decode(expect.LanguageId, line);
        QString normal;
        // Only what the chosen answer listed, once each, and never through a link.
        if (!UpdateNames::Normalise(name, &normal) || !expect.Names.contains(normal) || stored.contains(normal) ||
            !UpdateNames::NoLinkOnTheWay(expect.Folder, normal)) {
            result.End = TUpdateStreamEnd::NotOffered;
            result.Offending = name;
            return result;
        }
        qint32 length = 0;
        if (reader.ReadLength(&length, stallMs) != TRequestReader::rrOk || length < 0) {
            result.End = TUpdateStreamEnd::Broken;
            return result;
        }
        if (result.Bytes + length > expect.MaxBytes) {
            result.End = TUpdateStreamEnd::TooLarge;
            result.Offending = name;
            return result;
        }
        if (!expect.Guard.Allows(expect.Folder, length)) {
            result.End = TUpdateStreamEnd::DiskFull;
            result.Offending = name;
            return result;
        }
        TUpdateStreamEnd end{};
        if (!StoreBlock(reader, expect, expect.Folder + normal, length, stallMs, &end)) {
            result.End = end;
            result.Offending = name;
            return result;
        }
        result.Bytes += length;
        stored.insert(normal);
        result.Stored.append(normal);
        if (onFile) onFile(normal, length);
    }
}
