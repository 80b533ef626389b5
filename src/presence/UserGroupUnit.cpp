#include "presence/UserGroupUnit.h"

#include "core/UtilsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/UILangUnit.h"

#include <QFileInfo>
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

} // namespace

TUserGroup::TUserGroup(QString fileName, const TUserInterfaceLang* lang) : FFileName(std::move(fileName)), FLang(lang) {
    if (!QFileInfo::exists(FFileName)) CreateFile();
}

TUserGroup& TUserGroup::Instance() {
    static const auto instance = std::make_unique<TUserGroup>(Utils::ProgramFolder() + QStringLiteral("UserGroup.ini"));
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
    TProfileFile ini;
    if (!Load(&ini) || ini.ValueExists(kGroups, name)) return false;
    ini.WriteInteger(kGroups, name, -1);
    return ini.Save();
}

bool TUserGroup::DeleteGroup(const QString& name) {
    if (!IsValidUserKey(name) || IsFavorite(name)) return false;
    TProfileFile ini;
    if (!Load(&ini) || !ini.ValueExists(kGroups, name)) return false;
    DeleteAll(ini, kGroups, name);
    return ini.Save();
}

void TUserGroup::ReadGroups(QStringList* list) const {
    if (!list) return;
    list->clear();
    TProfileFile ini;
    Load(&ini);
    for (const auto& [name, value] : ini.ReadSectionPairs(kGroups)) list->append(name + QLatin1Char('=') + value);
}

QList<TStoredGroup> TUserGroup::ReadGroupsInOrder() const {
    TProfileFile ini;
    Load(&ini);
    QList<TStoredGroup> groups;
    for (const auto& [name, value] : ini.ReadSectionPairs(kGroups)) {
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
    TProfileFile ini;
    Load(&ini);
    const QString group = ini.ReadString(kUsers, userKey);
    return group.isEmpty() ? FavoriteName() : group;
}

int TUserGroup::GetUserPosition(const QString& userKey) const {
    if (!IsValidUserKey(userKey)) return -1;
    TProfileFile ini;
    Load(&ini);
    const int position = ini.ReadInteger(kUserPositions, userKey, -1);
    return position < 0 ? -1 : position;
}

QHash<QString, int> TUserGroup::ReadUserPositions() const {
    TProfileFile ini;
    Load(&ini);
    QHash<QString, int> positions;
    for (const auto& [key, value] : ini.ReadSectionPairs(kUserPositions)) {
        const int position = StrToIntDef(value, -1);
        if (position >= 0) positions.insert(key.toLower(), position);
    }
    return positions;
}

bool TUserGroup::SetUserGroup(const QString& userKey, const QString& groupName) {
    if (!IsValidUserKey(userKey)) return false;
    if (!IsFavorite(groupName) && !IsValidGroupName(groupName)) return false;
    TProfileFile ini;
    if (!Load(&ini)) return false;
    ini.WriteString(kUsers, userKey, groupName);
    return ini.Save();
}

bool TUserGroup::RenameGroup(const QString& oldName, const QString& newName) {
    if (!IsValidUserKey(oldName) || !IsValidGroupName(newName)) return false;
    if (IsFavorite(oldName) || IsFavorite(newName)) return false;
    // Same key in another case: the group itself gets the new spelling. Any
    // other existing name belongs to another group, whose line and users
    // must not be merged into this one.
    const bool sameGroup = SameName(oldName, newName);
    if (sameGroup && oldName == newName) return false;
    TProfileFile ini;
    if (!Load(&ini)) return false;
    if (!sameGroup && ini.ValueExists(kGroups, newName)) return false;

    const int position = ini.ReadInteger(kGroups, oldName, -1);
    DeleteAll(ini, kGroups, oldName);
    ini.WriteInteger(kGroups, newName, position);
    for (const auto& [key, value] : ini.ReadSectionPairs(kUsers))
        if (SameName(value, oldName)) ini.WriteString(kUsers, key, newName);
    return ini.Save();
}

bool TUserGroup::SetGroupPosition(int index, const QString& groupName) {
    if (index < 0 || !IsValidUserKey(groupName) || IsFavorite(groupName)) return false;
    TProfileFile ini;
    if (!Load(&ini)) return false;
    ini.WriteInteger(kGroups, StoredGroupName(ini, groupName), index);
    return ini.Save();
}

bool TUserGroup::SaveUserPositions(const QStringList& userKeys) {
    TProfileFile ini;
    if (!Load(&ini)) return false;
    for (qsizetype i = 0; i < userKeys.size(); ++i)
        if (IsValidUserKey(userKeys[i])) ini.WriteInteger(kUserPositions, userKeys[i], static_cast<int>(i));
    return ini.Save();
}

bool TUserGroup::SetUserPosition(int index, const QString& userKey) {
    if (index < 0 || !IsValidUserKey(userKey)) return false;
    TProfileFile ini;
    if (!Load(&ini)) return false;
    ini.WriteInteger(kUserPositions, userKey, index);
    return ini.Save();
}
