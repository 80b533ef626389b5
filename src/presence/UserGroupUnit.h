#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QTimer;
class TProfileFile;
class TUserInterfaceLang;

// A named group as stored, with its position among the group rows.
struct TStoredGroup {
    QString Name;
    int Position = -1; // -1: no usable position stored
};

// The groups store: group names with their order, every user's group and
// every user's position within its group, kept in "UserGroup.ini" so that a
// user who comes online again lands where it was. Users are stored by
// UserKey (computer name immediately followed by the unique id). The built-in
// group Favorite Contacts never has a line of its own in "Groups". Reads use
// the file as last read while its size and time stamps stay the same; every
// write loads the file afresh, so a file changed by hand is seen. Positions of
// users seen for the first time wait in memory and are written together (see
// QueueUserPosition). Main thread only.
class TUserGroup {
public:
    // Creates the file with its three empty sections when it does not exist.
    // lang translates "Favorite Contacts" (null: the process-wide table).
    explicit TUserGroup(QString fileName, const TUserInterfaceLang* lang = nullptr);
    // Writes the waiting positions.
    ~TUserGroup();
    TUserGroup(const TUserGroup&) = delete;
    TUserGroup& operator=(const TUserGroup&) = delete;

    // The process-wide store over "UserGroup.ini" in the program folder. Its
    // waiting positions are also written when the application object goes.
    static TUserGroup& Instance();

    const QString& FileName() const { return FFileName; }

    // The built-in group's name in the interface language.
    QString FavoriteName() const;
    bool IsFavorite(const QString& groupName) const;

    // A name the file keeps as it is, as a key and as a value: not blank, no
    // blanks at either end, no line break or "=", not starting with ";" or
    // "[", not wrapped in a pair of quotes.
    static bool IsValidGroupName(const QString& name);
    // A UserKey that can be a key of the file (peers choose their own names).
    static bool IsValidUserKey(const QString& userKey);

    // False when the name exists already (any case), is the built-in group or
    // is not a valid group name; else stores it with position -1.
    bool AddGroup(const QString& name);
    // Removes the group's line; users stored in it keep their entries, so a
    // group re-created under that name gets them back. False for the built-in
    // group and for a name that is not stored.
    bool DeleteGroup(const QString& name);
    // "name=position" lines of every stored group, in file order.
    void ReadGroups(QStringList* list) const;
    // The stored groups in display order: by position, compared as numbers;
    // groups without a usable position come last; ties keep file order.
    QList<TStoredGroup> ReadGroupsInOrder() const;

    // The user's stored group, or the built-in group's name when none.
    QString GetUserGroup(const QString& userKey) const;
    // The user's stored position within its group, or -1.
    int GetUserPosition(const QString& userKey) const;
    // Every stored position in one read of the file, by lower-case key
    // (placing a user compares it with every row of its group).
    QHash<QString, int> ReadUserPositions() const;
    bool SetUserGroup(const QString& userKey, const QString& groupName);

    // Renames a stored group and moves every user stored under the old name,
    // online or not. False when the new name belongs to another group, when
    // either name is the built-in group or the new name is not valid. A
    // change of letter case only is a rename of the same group.
    bool RenameGroup(const QString& oldName, const QString& newName);
    bool SetGroupPosition(int index, const QString& groupName);

    // userKeys: the user rows of one group in display order; each gets its index.
    bool SaveUserPositions(const QStringList& userKeys);
    // A negative index is never stored.
    bool SetUserPosition(int index, const QString& userKey);

    // A first-time user's position without a write of its own: every read
    // sees it at once; it reaches the file with the next write of the store,
    // at the latest FlushDelay() after the first position began to wait (a
    // single-shot timer, so at most one such write a second). False for a
    // negative index or an invalid key.
    bool QueueUserPosition(int index, const QString& userKey);
    // Writes the waiting positions now, in one save. The owner calls it when
    // the node stops; the destructor calls it too. False (positions kept)
    // when the file cannot be read or written.
    bool FlushPendingPositions();
    int PendingPositionCount() const { return int(FPending.size()); }
    bool IsFlushScheduled() const;
    int FlushDelay() const { return FFlushDelayMs; }
    // Tests shorten the wait; it applies from the next timer started.
    void SetFlushDelay(int ms) { FFlushDelayMs = ms; }
    // Files written by this store so far, and files read and parsed for
    // reading (tests count the writes and check the cache).
    int SaveCount() const { return FSaveCount; }
    int ParseCount() const { return FParseCount; }

private:
    struct TSnapshot;
    struct TPendingPosition {
        QString Key;
        int Index = -1;
    };

    // False when an existing file cannot be read: writing then would wipe it.
    bool Load(TProfileFile* ini) const;
    void CreateFile() const;
    // The file as it is now, read again only when it changed.
    const TSnapshot& Current() const;
    void Remember(const QByteArray& bytes, bool readable, qint64 checkedAt) const;
    // Loads the file, adds the waiting positions, applies change and saves
    // it all in one write; nothing is written when change returns false.
    bool Edit(const std::function<bool(TProfileFile&)>& change);
    void StartFlushTimer();

    QString FFileName;
    const TUserInterfaceLang* FLang;
    mutable std::unique_ptr<TSnapshot> FSnapshot;
    // Stored positions with the waiting ones laid over them, by lower-case key.
    mutable QHash<QString, int> FPositions;
    std::vector<TPendingPosition> FPending;  // in the order they began to wait
    QHash<QString, qsizetype> FPendingIndex; // lower-case key -> index into FPending
    std::unique_ptr<QTimer> FFlushTimer;
    int FFlushDelayMs = 1000;
    int FSaveCount = 0;
    mutable int FParseCount = 0;
};
