#pragma once

#include "core/IntakeBudgetUnit.h"
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// The values the chat log keeps and hands out. Every message, broadcast and
// file batch sent or accepted becomes one TLogRecord: a row in the table of
// its type, and its content in a side file named after the row's ID.

// ltRelation is not a table: the single-message table restricted to one peer.
enum TLogType : int { ltRelation, ltSingle, ltBroadcast, ltGroup, ltFile };

struct TLogRecord {
    TLogType LogType = ltSingle;
    qint16 LangID = 0;      // the author's language: decides how Content is decoded
    QByteArray Content;     // the side file's bytes, exactly (rich text, plain text in
                            // the author's code page, or a file list)
    QString First2Line;     // the summary: first line, CR LF, second line
    QString IP;
    QString Computer;
    QString Nick;
    QDateTime LogTime;      // local time; invalid: the time it is stored
    bool IfBroadcast = false;
    bool IfSendOut = false;
    // The received bytes' place in the listener's budget, until the record is stored.
    TIntakeHold Hold = {};
};

// Which records a listing, a delete or an export covers.
struct TLogFilter {
    TLogType Category = ltSingle;
    // ltRelation only: the records of one nickname (ByNick), else of one
    // computer (and, when listing with an IP address, of that address too).
    bool ByNick = true;
    QString Peer; // nickname or computer name
    QString IP;

    static TLogFilter All(TLogType category) { return {category, true, {}, {}}; }
    static TLogFilter OfNick(const QString& nick) { return {ltRelation, true, nick, {}}; }
    static TLogFilter OfComputer(const QString& computer, const QString& ip = {}) {
        return {ltRelation, false, computer, ip};
    }
};

// One row as a list shows it.
struct TLogEntry {
    TLogType Category = ltSingle; // the category it was listed under
    qint64 ID = 0;
    qint16 LangID = 0;
    bool IfSendOut = false;
    bool IfBroadcast = false;
    QDateTime LogTime;
    QString Nick;
    QString Computer;
    QString IP;
    QString First2Line;

    bool operator==(const TLogEntry&) const = default;
};

// A record's content as its side file holds it.
struct TLogContent {
    TLogType Category = ltSingle;
    qint64 ID = 0;
    qint16 LangID = 0;
    QByteArray Bytes;

    bool IsRichText() const { return Bytes.startsWith("{\\rtf"); }
    // The text a reader sees: rich text without its markup (pictures left
    // out), anything else decoded from the author's code page.
    QString PlainText() const;
};

// One record found by a search. Key orders hits newest first across the
// tables; the next page asks for keys below the last one.
struct TLogSearchHit {
    qint64 Key = 0;
    TLogEntry Entry;
};

namespace ChatLog {

// "Message", "Broadcast", "GroupMsg", "File" (ltRelation: "Message").
QString TableName(TLogType type);
// The side-file type name: "Single", "Broadcast", "Group", "File".
QString TypeName(TLogType type);
// The table a category is stored in: ltRelation is kept as ltSingle.
TLogType StoredType(TLogType type);
std::optional<TLogType> TypeOfName(const QString& typeName);

// LogTime as the lists and exports show it: the locale's short date and long time.
QString LogTimeText(const QDateTime& time);
// The entry's first line, in the interface language: "To %s Time %s" ...
QString EntryHeader(const TLogEntry& entry);
// First2Line as this node shows it: a peer's GB2312 or Big5 text in this
// node's script (file records keep their names as sent).
QString ShownFirst2Line(const TLogEntry& entry);
// The three lines of a list entry: header, CR LF, First2Line as shown.
QString EntryText(const TLogEntry& entry);

// Text of any content reduced to what a search matches: rich text without
// markup, whitespace runs as one space.
QString SearchableText(const TLogContent& content);

} // namespace ChatLog
