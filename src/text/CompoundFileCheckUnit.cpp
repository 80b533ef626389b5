#include "text/CompoundFileCheckUnit.h"

#include <QtEndian>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint32 kNoStream = 0xFFFFFFFF;
constexpr int kHeaderDifatEntries = 109;
constexpr int kEntrySize = 128;
constexpr quint8 kTypeStorage = 1;
constexpr quint8 kTypeRoot = 5;

class TCompoundFile {
public:
    explicit TCompoundFile(const QByteArray& file) : FFile(file) {}

    bool Check() {
        if (FFile.size() < 512 || memcmp(FFile.constData(), kSignature, sizeof kSignature) != 0)
            return false;
        const quint16 shift = qFromLittleEndian<quint16>(FFile.constData() + 0x1E);
        if (shift != 9 && shift != 12) return false;
        FSectorSize = qsizetype(1) << shift;
        if (FFile.size() <= FSectorSize) return false;
        FSectorCount = quint32((FFile.size() - FSectorSize + FSectorSize - 1) / FSectorSize);
        return ReadFat() && ReadDirectory() && WalkTree();
    }

private:
    quint32 Header32(qsizetype at) const { return qFromLittleEndian<quint32>(FFile.constData() + at); }

    // A sector the file holds in full; the last one may be short on disk.
    const char* Sector(quint32 id) const {
        if (id >= FSectorCount) return nullptr;
        const qsizetype at = (qsizetype(id) + 1) * FSectorSize;
        if (at + FSectorSize > FFile.size()) return nullptr;
        return FFile.constData() + at;
    }

    bool AddFatSector(quint32 id) {
        const char* sector = Sector(id);
        if (!sector) return false;
        for (qsizetype i = 0; i < FSectorSize / 4; ++i)
            FFat.push_back(qFromLittleEndian<quint32>(sector + 4 * i));
        return true;
    }

    bool ReadFat() {
        const quint32 fatSectors = Header32(0x2C);
        if (fatSectors == 0 || fatSectors > FSectorCount) return false;
        quint32 added = 0;
        for (int i = 0; i < kHeaderDifatEntries && added < fatSectors; ++i, ++added)
            if (!AddFatSector(Header32(0x4C + 4 * i))) return false;
        quint32 difat = Header32(0x44);
        std::vector<bool> seen(FSectorCount, false);
        const qsizetype perDifat = FSectorSize / 4 - 1;
        while (added < fatSectors) {
            const char* sector = Sector(difat);
            if (!sector || seen[difat]) return false;
            seen[difat] = true;
            for (qsizetype i = 0; i < perDifat && added < fatSectors; ++i, ++added)
                if (!AddFatSector(qFromLittleEndian<quint32>(sector + 4 * i))) return false;
            difat = qFromLittleEndian<quint32>(sector + 4 * perDifat);
        }
        return true;
    }

    bool ReadDirectory() {
        std::vector<bool> seen(FSectorCount, false);
        quint32 id = Header32(0x30);
        while (id != kEndOfChain) {
            const char* sector = Sector(id);
            if (!sector || id >= FFat.size() || seen[id]) return false;
            seen[id] = true;
            FDirectory.append(sector, FSectorSize);
            id = FFat[id];
            if (id == kFreeSector) return false;
        }
        return !FDirectory.isEmpty();
    }

    bool WalkTree() const {
        const quint32 count = quint32(FDirectory.size() / kEntrySize);
        auto entry = [&](quint32 id) { return FDirectory.constData() + qsizetype(id) * kEntrySize; };
        if (quint8(entry(0)[66]) != kTypeRoot) return false;
        std::vector<bool> seen(count, false);
        std::vector<quint32> pending{0};
        while (!pending.empty()) {
            const quint32 id = pending.back();
            pending.pop_back();
            if (id == kNoStream) continue;
            if (id >= count || seen[id]) return false;
            seen[id] = true;
            const char* e = entry(id);
            const quint8 type = quint8(e[66]);
            // The root's siblings too: libgsf follows them.
            pending.push_back(qFromLittleEndian<quint32>(e + 0x44));
            pending.push_back(qFromLittleEndian<quint32>(e + 0x48));
            if (type == kTypeRoot || type == kTypeStorage) pending.push_back(qFromLittleEndian<quint32>(e + 0x4C));
        }
        return true;
    }

    const QByteArray& FFile;
    qsizetype FSectorSize = 512;
    quint32 FSectorCount = 0;
    std::vector<quint32> FFat;
    QByteArray FDirectory;
};

} // namespace

bool CompoundDirectoryIsSound(const QByteArray& file) {
    return TCompoundFile(file).Check();
}
