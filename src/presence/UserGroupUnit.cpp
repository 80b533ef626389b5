#include "presence/UserGroupUnit.h"

#include "core/UtilsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/UILangUnit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {

const QString kUsers = QStringLiteral("Users");
const QString kGroups = QStringLiteral("Groups");
const QString kUserPositions = QStringLiteral("User Positions");
const QString kPlaceholder = QStringLiteral("<_Default_>");

bool SameName(const QString& a, const QString& b) { return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0; }

// Duplicates (first one wins on reading) would bring a deleted name back.
void DeleteAll(TProfileFile& ini, const QString& section, const QString& key) {
    while (ini.ValueExists(section, key)) ini.DeleteKey(section, key);
}

// The name as the file spells it: a write under another case would respell
// the group's key, and so its shown name.
QString StoredGroupName(const TProfileFile& ini, const QString& name) {
    for (const QString& key : ini.ReadSection(kGroups))
        if (SameName(key, name)) return key;
    return name;
}

// Writes the waiting positions in one pass over the section.
template <typename TPendingList>
void WritePositions(TProfileFile& ini, const TPendingList& pending) {
    QList<QPair<QString, QString>> pairs;
    pairs.reserve(qsizetype(pending.size()));
    for (const auto& position : pending) pairs.append({position.Key, QString::number(position.Index)});
    ini.WriteStrings(kUserPositions, pairs);
}

// Size and time stamps of one stat: what tells a changed file without reading it.
struct TFileStamp {
    bool Exists = false;
    qint64 Size = -1;
    qint64 Modified = 0;
    qint64 Changed = 0; // also moves on a rename over the file or a change of permissions
    bool operator==(const TFileStamp&) const = default;
};

TFileStamp StampOf(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists()) return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch(), info.metadataChangeTime().toMSecsSinceEpoch()};
}

// File systems keep time stamps coarsely (a clock tick, up to two seconds on
// some): a write that close to the last look may leave them unchanged, so
// such a file is compared byte for byte until its stamps are that old.
constexpr qint64 kStampGrainMs = 2000;

// False when the file exists but cannot be read; a missing file reads empty.
bool ReadBytes(const QString& fileName, QByteArray* bytes) {
    bytes->clear();
    QFile file(fileName);
    if (!file.exists()) return true;
    if (!file.open(QIODevice::ReadOnly)) return false;
    *bytes = file.readAll();
    return true;
}

} // namespace

// The file as last read or written, parsed once.
struct TUserGroup::TSnapshot {
    bool Readable = true;
    TFileStamp Stamp;
    qint64 CheckedAt = 0; // wall clock before the bytes were last known to be the file's
    QByteArray Bytes;
    TProfileFile Ini;
    QHash<QString, QString> Groups;    // lower-case user key -> stored group
    QHash<QString, int> FilePositions; // lower-case user key -> stored position

    bool StampsMayHideAWrite() const { return std::max(Stamp.Modified, Stamp.Changed) + kStampGrainMs > CheckedAt; }
};

TUserGroup::TUserGroup(QString fileName, const TUserInterfaceLang* lang) : FFileName(std::move(fileName)), FLang(lang) {
    if (!QFileInfo::exists(FFileName)) CreateFile();
}

TUserGroup::~TUserGroup() { FlushPendingPositions(); }

TUserGroup& TUserGroup::Instance() {
    static const auto instance = [] {
        auto store = std::make_unique<TUserGroup>(Utils::ProgramFolder() + QStringLiteral("UserGroup.ini"));
        // Static objects go after the application object and its timers.
        qAddPostRoutine([] { Instance().FlushPendingPositions(); });
        return store;
    }();
    return *instance;
}

void TUserGroup::CreateFile() const {
    // The placeholders give the sections their order; the keys go again.
    TProfileFile ini(FFileName);
    ini.WriteString(kUsers, kPlaceholder, kPlaceholder);
    ini.WriteInteger(kGroups, kPlaceholder, -1);
    ini.WriteInteger(kUserPositions, kPlaceholder, -1);
    ini.DeleteKey(kUsers, kPlaceholder);
    ini.DeleteKey(kGroups, kPlaceholder);
    ini.DeleteKey(kUserPositions, kPlaceholder);
    ini.Save();
}

bool TUserGroup::Load(TProfileFile* ini) const { return ini->Load(FFileName); }

const TUserGroup::TSnapshot& TUserGroup::Current() const {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const TFileStamp stamp = StampOf(FFileName);
    const bool sameStamp = FSnapshot && FSnapshot->Stamp == stamp;
    if (sameStamp && (!stamp.Exists || !FSnapshot->StampsMayHideAWrite())) return *FSnapshot;
    QByteArray bytes;
    const bool readable = ReadBytes(FFileName, &bytes);
    if (sameStamp && readable && FSnapshot->Readable && bytes == FSnapshot->Bytes) {
        FSnapshot->CheckedAt = now;
        return *FSnapshot;
    }
    Remember(bytes, readable, now);
    FSnapshot->Stamp = stamp;
    ++FParseCount;
    return *FSnapshot;
}

void TUserGroup::Remember(const QByteArray& bytes, bool readable, qint64 checkedAt) const {
    auto snapshot = std::make_unique<TSnapshot>();
    snapshot->Readable = readable;
    snapshot->CheckedAt = checkedAt;
    snapshot->Bytes = bytes;
    snapshot->Ini.LoadFromBytes(bytes);
    for (const auto& [key, value] : snapshot->Ini.ReadSectionPairs(kUsers)) snapshot->Groups.insert(key.toLower(), value);
    for (const auto& [key, value] : snapshot->Ini.ReadSectionPairs(kUserPositions)) {
        const int position = StrToIntDef(value, -1);
        if (position >= 0) snapshot->FilePositions.insert(key.toLower(), position);
    }
    FSnapshot = std::move(snapshot);
    FPositions = FSnapshot->FilePositions;
    for (const TPendingPosition& pending : FPending) FPositions.insert(pending.Key.toLower(), pending.Index);
}

bool TUserGroup::Edit(const std::function<bool(TProfileFile&)>& change) {
    // Always from the disk: a file that became unreadable must refuse the write.
    TProfileFile ini;
    if (!Load(&ini)) return false;
    WritePositions(ini, FPending);
    if (!change(ini)) return false;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    if (!ini.Save()) return false;
    ++FSaveCount;
    FPending.clear();
    FPendingIndex.clear();
    if (FFlushTimer && FFlushTimer->isActive()) FFlushTimer->stop();
    // What was just written needs no second read.
    Remember(ini.ToBytes(), true, before);
    FSnapshot->Stamp = StampOf(FFileName);
    return true;
}

bool TUserGroup::QueueUserPosition(int index, const QString& userKey) {
    if (index < 0 || !IsValidUserKey(userKey)) return false;
    const QString folded = userKey.toLower();
    const auto known = FPendingIndex.constFind(folded);
    if (known != FPendingIndex.cend()) {
        FPending[size_t(*known)].Index = index;
    } else {
        FPendingIndex.insert(folded, qsizetype(FPending.size()));
        FPending.push_back({userKey, index});
    }
    if (FSnapshot) FPositions.insert(folded, index);
    StartFlushTimer();
    return true;
}

void TUserGroup::StartFlushTimer() {
    // Without an event loop the owner or the destructor writes them.
    if (!QCoreApplication::instance()) return;
    if (!FFlushTimer) {
        FFlushTimer = std::make_unique<QTimer>();
        FFlushTimer->setSingleShot(true);
        QObject::connect(FFlushTimer.get(), &QTimer::timeout, FFlushTimer.get(), [this] { FlushPendingPositions(); });
    }
    // Later positions ride on the running timer: one write for the lot.
    if (FFlushTimer->isActive()) return;
    FFlushTimer->setInterval(FFlushDelayMs);
    FFlushTimer->start();
}

bool TUserGroup::IsFlushScheduled() const { return FFlushTimer && FFlushTimer->isActive(); }

bool TUserGroup::FlushPendingPositions() {
    if (FPending.empty()) return true;
    return Edit([](TProfileFile&) { return true; });
}

QString TUserGroup::FavoriteName() const { return Translate(FLang, QStringLiteral("Favorite Contacts")); }

bool TUserGroup::IsFavorite(const QString& groupName) const { return SameName(groupName, FavoriteName()); }

bool TUserGroup::IsValidUserKey(const QString& userKey) {
    // Exactly the keys the file can hold as given: a key it would refuse (or
    // read back trimmed) could never be found again.
    return TProfileFile::IsValidKey(userKey);
}

bool TUserGroup::IsValidGroupName(const QString& name) {
    if (!IsValidUserKey(name) || name != name.trimmed()) return false;
    const QChar first = name.front();
    const bool quoted = name.size() >= 2 && (first == QLatin1Char('"') || first == QLatin1Char('\'')) && name.back() == first;
    return !quoted;
}

bool TUserGroup::AddGroup(const QString& name) {
    if (!IsValidGroupName(name) || IsFavorite(name)) return false;
    return Edit([&name](TProfileFile& ini) {
        if (ini.ValueExists(kGroups, name)) return false;
        ini.WriteInteger(kGroups, name, -1);
        return true;
    });
}

bool TUserGroup::DeleteGroup(const QString& name) {
    if (!IsValidUserKey(name) || IsFavorite(name)) return false;
    return Edit([&name](TProfileFile& ini) {
        if (!ini.ValueExists(kGroups, name)) return false;
        DeleteAll(ini, kGroups, name);
        return true;
    });
}

void TUserGroup::ReadGroups(QStringList* list) const {
    if (!list) return;
    list->clear();
    for (const auto& [name, value] : Current().Ini.ReadSectionPairs(kGroups)) list->append(name + QLatin1Char('=') + value);
}

QList<TStoredGroup> TUserGroup::ReadGroupsInOrder() const {
    QList<TStoredGroup> groups;
    for (const auto& [name, value] : Current().Ini.ReadSectionPairs(kGroups)) {
        // The built-in group is made by the list itself; a stored line of
        // that name would give it twice.
        if (IsFavorite(name)) continue;
        const int position = StrToIntDef(value, -1);
        groups.append({name, position < 0 ? -1 : position});
    }
    std::stable_sort(groups.begin(), groups.end(), [](const TStoredGroup& a, const TStoredGroup& b) {
        if ((a.Position < 0) != (b.Position < 0)) return b.Position < 0;
        return a.Position < b.Position;
    });
    return groups;
}

QString TUserGroup::GetUserGroup(const QString& userKey) const {
    if (!IsValidUserKey(userKey)) return FavoriteName();
    const QString group = Current().Groups.value(userKey.toLower());
    return group.isEmpty() ? FavoriteName() : group;
}

int TUserGroup::GetUserPosition(const QString& userKey) const {
    if (!IsValidUserKey(userKey)) return -1;
    Current();
    return FPositions.value(userKey.toLower(), -1);
}

QHash<QString, int> TUserGroup::ReadUserPositions() const {
    Current();
    return FPositions;
}

bool TUserGroup::SetUserGroup(const QString& userKey, const QString& groupName) {
    if (!IsValidUserKey(userKey)) return false;
    if (!IsFavorite(groupName) && !IsValidGroupName(groupName)) return false;
    return Edit([&](TProfileFile& ini) { return ini.WriteString(kUsers, userKey, groupName); });
}

bool TUserGroup::RenameGroup(const QString& oldName, const QString& newName) {
    if (!IsValidUserKey(oldName) || !IsValidGroupName(newName)) return false;
    if (IsFavorite(oldName) || IsFavorite(newName)) return false;
    // Same key in another case: the group itself gets the new spelling. Any
    // other existing name belongs to another group, whose line and users
    // must not be merged into this one.
    const bool sameGroup = SameName(oldName, newName);
    if (sameGroup && oldName == newName) return false;
    return Edit([&](TProfileFile& ini) {
        if (!sameGroup && ini.ValueExists(kGroups, newName)) return false;
        const int position = ini.ReadInteger(kGroups, oldName, -1);
        DeleteAll(ini, kGroups, oldName);
        ini.WriteInteger(kGroups, newName, position);
        for (const auto& [key, value] : ini.ReadSectionPairs(kUsers))
            if (SameName(value, oldName)) ini.WriteString(kUsers, key, newName);
        return true;
    });
}

bool TUserGroup::SetGroupPosition(int index, const QString& groupName) {
    if (index < 0 || !IsValidUserKey(groupName) || IsFavorite(groupName)) return false;
    return Edit([&](TProfileFile& ini) { return ini.WriteInteger(kGroups, StoredGroupName(ini, groupName), index); });
}

bool TUserGroup::SaveUserPositions(const QStringList& userKeys) {
    // After the waiting positions, so the row order given here wins.
    return Edit([&userKeys](TProfileFile& ini) {
        for (qsizetype i = 0; i < userKeys.size(); ++i)
            if (IsValidUserKey(userKeys[i])) ini.WriteInteger(kUserPositions, userKeys[i], static_cast<int>(i));
        return true;
    });
}

bool TUserGroup::SetUserPosition(int index, const QString& userKey) {
    if (index < 0 || !IsValidUserKey(userKey)) return false;
    return Edit([&](TProfileFile& ini) { return ini.WriteInteger(kUserPositions, userKey, index); });
}
