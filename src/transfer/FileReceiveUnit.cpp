#include "transfer/FileReceiveUnit.h"

#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// How often the free space is looked at again while a file is written.
constexpr qint64 kGuardEvery = 16ll * 1024 * 1024;

struct TStored {
    QString Name; // final name in the sender folder
    bool Archive = false;
};

class TReceiver {
public:
    TReceiver(TRequestReader& reader, const TReceiveSettings& settings, int stallMs)
        : FReader(reader), FSettings(settings), FStallMs(stallMs) {}

    // Runs the request; the arrival (without header fields) and how it ended.
    TReceiveOutcome Run(const TBroadcastData& header);

private:
    enum TStep { stNext, stEnd, stCanceled, stStop, stStopped };
    TStep ReceiveOne(const QByteArray& nameLine, qint16 languageId);
    // Consumes a block without storing it, keeping the stream in step.
    bool Skip(qint64 length);
    bool EnsureFolder();
    void Unpack();
    // The receiver asked to stop; remembered so a failed read is told from a broken one.
    bool StopAsked();
    // Block bytes arrived; reports at most every ReceiveProgressMs.
    void Advance(qint64 size);
    void Report(bool final);

    TRequestReader& FReader;
    const TReceiveSettings& FSettings;
    const int FStallMs;
    QString FFolder;
    bool FFolderMade = false;
    bool FAnyName = false;
    QList<TStored> FStored;
    TFilesArrival FArrival;
    TReceiveProgress FProgress;
    QElapsedTimer FSinceReport;
    bool FStopped = false;
};

bool TReceiver::StopAsked() {
    if (!FStopped && FSettings.Stopped && FSettings.Stopped()) FStopped = true;
    return FStopped;
}

void TReceiver::Advance(qint64 size) {
    FProgress.Bytes += size;
    FProgress.FileDone += size;
    if (!FSinceReport.isValid() || FSinceReport.hasExpired(ReceiveProgressMs)) Report(false);
}

void TReceiver::Report(bool final) {
    if (!FSettings.Progress) return;
    FProgress.Final = final;
    FSettings.Progress(FProgress);
    FSinceReport.start();
}

bool TReceiver::EnsureFolder() {
    if (FFolderMade) return true;
    QDir().mkpath(FSettings.Root);
    FFolderMade = QDir(FSettings.Root).mkpath(FFolder.mid(FSettings.Root.size()));
    return FFolderMade;
}

bool TReceiver::Skip(qint64 length) {
    return FReader.ReadInto(length, [this](const char*, qint64 size) {
        if (StopAsked()) return false;
        Advance(size);
        return true;
    }, FStallMs) == TRequestReader::rrOk;
}

TReceiver::TStep TReceiver::ReceiveOne(const QByteArray& nameLine, qint16 languageId) {
    const TNameLine name = DecodeNameLine(nameLine, languageId);
    FAnyName = true;
    QByteArray marker;
    if (FReader.ReadLine(&marker, FStallMs) != TRequestReader::rrOk) {
        FArrival.Failed.append({name.Name, ReceiveReason::Broken()});
        return stStop;
    }
    if (marker != FileMarker::Start) {
        FArrival.Failed.append({name.Name, ReceiveReason::Unreadable()});
        return stNext;
    }
    qint32 length = 0;
    if (FReader.ReadLength(&length, FStallMs) != TRequestReader::rrOk || length < 0) {
        FArrival.Failed.append({name.Name, ReceiveReason::Broken()});
        return stStop;
    }
    ++FProgress.Current;
    FProgress.FileSize = length;
    FProgress.FileDone = 0;
    if (!FileNames::IsSafeName(name.Name)) {
        FArrival.Failed.append({name.Name, ReceiveReason::Refused()});
        return Skip(length) ? stNext : stStop;
    }
    if (!EnsureFolder()) {
        FArrival.Failed.append({name.Name, ReceiveReason::DiskFull()});
        return stStop;
    }
    // Stop before the disk fills: what follows would not fit either.
    if (!FSettings.Guard.Allows(FFolder, length)) {
        FArrival.Failed.append({name.Name, ReceiveReason::DiskFull()});
        return stStop;
    }
    QString finalName, error;
    std::unique_ptr<QFile> file = FileNames::CreateExclusive(FFolder, name.Name, &finalName, &error);
    if (!file) {
        FArrival.Failed.append({name.Name, error});
        return Skip(length) ? stNext : stStop;
    }
    qint64 written = 0, checked = 0;
    bool diskFull = false;
    const TRequestReader::TResult r = FReader.ReadInto(length, [&](const char* data, qint64 size) {
        if (StopAsked()) return false;
        if (written - checked >= kGuardEvery) {
            checked = written;
            if (!FSettings.Guard.Allows(FFolder, length - written)) {
                diskFull = true;
                return false;
            }
        }
        if (file->write(data, size) != size) {
            diskFull = true;
            return false;
        }
        written += size;
        Advance(size);
        return true;
    }, FStallMs);
    const bool flushed = r == TRequestReader::rrOk && file->flush();
    file->close();
    if (!flushed || file->error() != QFileDevice::NoError) {
        // A half file is never left behind nor listed.
        file->remove();
        if (FStopped) return stStopped;
        FArrival.Failed.append({name.Name, diskFull || r == TRequestReader::rrOk ? ReceiveReason::DiskFull() : ReceiveReason::Broken()});
        return stStop;
    }
    FStored.append({finalName, name.Archive});
    ++FProgress.Files;
    return stNext;
}

void TReceiver::Unpack() {
    int counter = 0;
    for (TStored& stored : FStored) {
        if (!stored.Archive) {
            FArrival.ReceivedNames << stored.Name;
            FArrival.LogLines << QStringLiteral("<File>%1").arg(stored.Name);
            continue;
        }
        const qsizetype dot = stored.Name.lastIndexOf(QLatin1Char('.'));
        const QString base = dot > 0 ? stored.Name.left(dot) : stored.Name;
        const QString folder = FileNames::MakeNumberedFolder(FFolder, base, &counter);
        const TUnpackResult unpacked =
            folder.isEmpty() ? TUnpackResult{} : UnpackArchive(FFolder + stored.Name, FFolder + folder, FSettings.Guard);
        // Refusals alone leave an empty folder: the archive is worth more then.
        const bool nothing = unpacked.Ok && unpacked.Files == 0 && !unpacked.Refused.isEmpty();
        if (!unpacked.Ok || nothing) {
            // The archive stays as it came, so nothing the sender packed is lost.
            if (!folder.isEmpty()) QDir(FFolder + folder).removeRecursively();
            FArrival.Failed.append({stored.Name, nothing ? ReceiveReason::NothingUnpacked(unpacked.Refused.first())
                                                         : ReceiveReason::Unpacked()});
            FArrival.ReceivedNames << stored.Name;
            FArrival.LogLines << QStringLiteral("<File>%1").arg(stored.Name);
            continue;
        }
        for (const TRefusedEntry& entry : unpacked.Refused)
            FArrival.Failed.append({folder + QLatin1Char('/') + entry.Name, ReceiveReason::Entry(entry)});
        QFile::remove(FFolder + stored.Name);
        stored.Name = folder;
        FArrival.ReceivedNames << folder;
        FArrival.LogLines << QStringLiteral("<Folder>%1").arg(folder);
    }
}

TReceiveOutcome TReceiver::Run(const TBroadcastData& header) {
    TReceiveOutcome outcome;
    FFolder = FSettings.Root + FileNames::SenderFolderName(header.NickName, header.ComputerName) + QLatin1Char('/');
    FArrival.Data = header;
    FArrival.SenderFolder = FFolder;
    TStep step = stNext;
    while (step == stNext) {
        if (StopAsked()) {
            step = stStopped;
            break;
        }
        QByteArray line;
        if (FReader.ReadLine(&line, FStallMs) != TRequestReader::rrOk) {
            step = stStop;
            break;
        }
        if (line == FileMarker::End) step = stEnd;
        else if (line == FileMarker::Canceled) step = stCanceled;
        else step = ReceiveOne(line, header.LanguageId);
        // A skipped block cut short by the stop.
        if (step == stStop && FStopped) step = stStopped;
    }
    Report(true);
    if (step == stCanceled || step == stStopped) {
        // The sender withdrew the whole transfer, or the receiver stopped it: nothing of it stays.
        for (const TStored& stored : FStored) QFile::remove(FFolder + stored.Name);
        FArrival.StoppedHere = step == stStopped;
        outcome.EventId = WM_FILE_TERMINATED;
        outcome.Arrival = std::move(FArrival);
        return outcome;
    }
    if (step == stStop && !FAnyName) return outcome; // no file was even named: nothing to tell
    Unpack();
    QByteArray body;
    for (const TStored& stored : FStored)
        body += (stored.Archive ? QByteArray("\t") : QByteArray()) + TMessageLang::Encode(header.LanguageId, stored.Name) + "\r\n";
    FArrival.Data.Body = body;
    FArrival.Data.Summary =
        TMessageLang::Encode(header.LanguageId, QStringLiteral("<Saved In Folder>") + QDir::toNativeSeparators(FFolder));
    FArrival.Complete = step == stEnd && FArrival.Failed.isEmpty();
    outcome.EventId = WM_PEER_FILES;
    outcome.Arrival = std::move(FArrival);
    return outcome;
}

} // namespace

TReceiveOutcome ReceiveFiles(TRequestReader& reader, const TEnvelope& header, const QString& peerAddress,
                             const TReceiveSettings& settings, const TMessageLang& lang, int stallMs) {
    std::optional<TBroadcastData> data = DecodeFileHeader(header, lang);
    if (!data) return {};
    data->IPAddress = peerAddress;
    data->ReceivedTime = DaysSince1899(QDateTime::currentDateTime());
    if (settings.Admit && !settings.Admit(*data, peerAddress)) return {};
    TReceiver receiver(reader, settings, stallMs);
    return receiver.Run(*data);
}

void DiscardArrival(const TFilesArrival& arrival) {
    if (arrival.SenderFolder.isEmpty()) return;
    for (const QString& name : arrival.ReceivedNames) {
        // Names this receiver made itself, each a fresh entry of the sender folder.
        if (name.isEmpty() || !FileNames::IsSafeName(name)) continue;
        const QString path = arrival.SenderFolder + name;
        if (QFileInfo(path).isDir()) QDir(path).removeRecursively();
        else QFile::remove(path);
    }
}

namespace ReceiveReason {
QString Refused() { return Translate(QStringLiteral("The name was refused: it would be stored outside the received-files folder.")); }
QString DiskFull() { return Translate(QStringLiteral("Not enough disk space; the partly received file was deleted.")); }
QString Broken() { return Translate(QStringLiteral("The connection broke off; the partly received file was deleted.")); }
QString Unreadable() { return Translate(QStringLiteral("The sender could not read the file.")); }
QString Unpacked() { return Translate(QStringLiteral("The folder could not be unpacked; the archive was kept.")); }

QString Entry(const TRefusedEntry& entry) {
    switch (entry.Reason) {
    case TEntryRefusal::Outside: return Refused();
    case TEntryRefusal::Link: return Translate(QStringLiteral("The entry was refused: links and special files are not unpacked."));
    case TEntryRefusal::TooLarge:
        return Translate(QStringLiteral("The entry was refused: it unpacks to more than the archive declares."));
    case TEntryRefusal::DiskSpace: return Translate(QStringLiteral("Not enough disk space; the entry was not unpacked."));
    case TEntryRefusal::NameTaken: return Translate(QStringLiteral("The entry was refused: an earlier entry has the same name."));
    case TEntryRefusal::WriteError: break;
    }
    return TranslateFormat(QStringLiteral("The entry could not be unpacked (%s)."), {entry.Detail});
}

QString NothingUnpacked(const TRefusedEntry& first) {
    return TranslateFormat(QStringLiteral("Nothing in the folder could be unpacked; the archive was kept. %s"), {Entry(first)});
}
} // namespace ReceiveReason
