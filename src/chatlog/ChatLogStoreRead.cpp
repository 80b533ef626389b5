// TChatLogStore: listing, content, nicknames and search.
#include "chatlog/ChatLogStoreUnit.h"

#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogStoreSql.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

using namespace ChatLogSql;

namespace {

QString CannotRead() { return Translate(QStringLiteral("The chat log could not be read or written.")); }

} // namespace

std::optional<QList<TLogEntry>> TChatLogStore::LoadLogList(const TLogFilter& filter, qint64 lowerBound,
                                                             qint64 upperBound, int limit) {
    if (!FOpen) return FailNone(Translate(QStringLiteral("The chat log is not open.")));
    const TWhere where = WhereOf(filter, true);
    QSqlQuery query(FDb);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM \"%2\" WHERE (%3) AND ID > ?%4 ORDER BY ID DESC LIMIT ?")
                      .arg(kEntryColumns, ChatLog::TableName(filter.Category), where.Sql,
                           upperBound > 0 ? QStringLiteral(" AND ID < ?") : QString()));
    for (const QVariant& value : where.Values) query.addBindValue(value);
    query.addBindValue(lowerBound);
    if (upperBound > 0) query.addBindValue(upperBound);
    query.addBindValue(limit < 0 ? qint64(-1) : qint64(limit));
    if (!Exec(query, QStringLiteral("list"))) return std::nullopt;
    QList<TLogEntry> entries;
    while (query.next()) entries += EntryFromQuery(query, filter.Category);
    if (query.lastError().isValid()) return FailNone(CannotRead(), query.lastError().text());
    return entries;
}

bool TChatLogStore::ForEachRecord(const TLogFilter& filter, const std::function<bool(const TLogEntry&)>& visit) {
    if (!FOpen) return Fail(Translate(QStringLiteral("The chat log is not open.")));
    const TWhere where = WhereOf(filter, false);
    QSqlQuery query(FDb);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM \"%2\" WHERE %3 ORDER BY ID DESC")
                      .arg(kEntryColumns, ChatLog::TableName(filter.Category), where.Sql));
    for (const QVariant& value : where.Values) query.addBindValue(value);
    if (!Exec(query, QStringLiteral("records"))) return false;
    while (query.next())
        if (!visit(EntryFromQuery(query, filter.Category))) return true;
    if (query.lastError().isValid()) return Fail(CannotRead(), query.lastError().text());
    return true;
}

std::optional<TLogContent> TChatLogStore::LoadLogContent(TLogType type, qint64 id) {
    if (!FOpen) return FailNone(Translate(QStringLiteral("The chat log is not open.")));
    const TLogType stored = ChatLog::StoredType(type);
    QSqlQuery query(FDb);
    query.prepare(QStringLiteral("SELECT LangID FROM \"%1\" WHERE ID = ?").arg(ChatLog::TableName(stored)));
    query.addBindValue(id);
    if (!Exec(query, QStringLiteral("content"))) return std::nullopt;
    if (!query.next())
        return FailNone(TranslateFormat(QStringLiteral("The chat log has no record %d of this kind."), {id}));
    TLogContent content{type, id, qint16(query.value(0).toInt()), {}};
    QFile file(SideFileName(stored, id));
    if (!file.open(QIODevice::ReadOnly))
        return FailNone(TranslateFormat(QStringLiteral("Cannot read the content of record %d."), {id}),
                    QDir::toNativeSeparators(file.fileName()) + QStringLiteral(": ") + file.errorString());
    content.Bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FailNone(TranslateFormat(QStringLiteral("Cannot read the content of record %d."), {id}), file.errorString());
    return content;
}

std::optional<QStringList> TChatLogStore::ListNicknames() {
    if (!FOpen) return FailNone(Translate(QStringLiteral("The chat log is not open.")));
    QSqlQuery query(FDb);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT DISTINCT Nick FROM Message"))) return FailNone(CannotRead(), query.lastError().text());
    QStringList nicks;
    while (query.next()) nicks += query.value(0).toString();
    return nicks;
}

std::optional<QList<TLogSearchHit>> TChatLogStore::SearchLog(const QString& text, qint64 beforeKey, int limit) {
    if (!FOpen) return FailNone(Translate(QStringLiteral("The chat log is not open.")));
    const std::optional<QString> match = ChatLog::MatchExpression(text);
    if (!match) return FailNone(Translate(QStringLiteral("Type at least two characters to search.")));
    if (limit == 0) return QList<TLogSearchHit>();
    // The index names candidates (every trigram of the query somewhere in the
    // text); each is read and kept when its text holds the query. Candidates
    // come in slices until the page is full or the index has no more.
    const qint64 slice = limit < 0 ? 256 : qMax<qint64>(limit, 64);
    QSqlQuery keys(FDb);
    keys.setForwardOnly(true);
    // Keys of deleted records are gone, so their index entries find nothing.
    keys.prepare(QStringLiteral("SELECT k.Key, k.Kind, k.RecordID FROM LogSearch s JOIN LogSearchKey k ON k.Key = s.rowid "
                                "WHERE LogSearch MATCH ? AND s.rowid < ? ORDER BY s.rowid DESC LIMIT ?"));
    struct TKey {
        qint64 Key;
        TLogType Kind;
        qint64 ID;
    };
    QList<TLogSearchHit> hits;
    // One prepared statement per table for the whole page.
    QHash<int, QSqlQuery> rows;
    qint64 below = beforeKey > 0 ? beforeKey : std::numeric_limits<qint64>::max();
    for (;;) {
        keys.addBindValue(*match);
        keys.addBindValue(below);
        keys.addBindValue(slice);
        if (!Exec(keys, QStringLiteral("search"))) return std::nullopt;
        QList<TKey> found;
        qint64 seen = 0;
        while (keys.next()) {
            ++seen;
            below = keys.value(0).toLongLong();
            const int kind = keys.value(1).toInt();
            if (kind < ltSingle || kind > ltFile) continue;
            found += TKey{below, TLogType(kind), keys.value(2).toLongLong()};
        }
        if (keys.lastError().isValid()) return FailNone(CannotRead(), keys.lastError().text());
        keys.finish();

        for (const TKey& key : found) {
            auto it = rows.find(key.Kind);
            if (it == rows.end()) {
                it = rows.insert(key.Kind, QSqlQuery(FDb));
                it->setForwardOnly(true);
                it->prepare(QStringLiteral("SELECT %1 FROM \"%2\" WHERE ID = ?").arg(kEntryColumns, ChatLog::TableName(key.Kind)));
            }
            QSqlQuery& row = *it;
            row.addBindValue(key.ID);
            if (!Exec(row, QStringLiteral("search"))) return std::nullopt;
            if (!row.next()) continue;
            const TLogEntry entry = EntryFromQuery(row, key.Kind);
            row.finish();
            // A content that cannot be read cannot be checked: the index's word stands.
            QFile file(SideFileName(key.Kind, key.ID));
            if (file.open(QIODevice::ReadOnly) &&
                !ChatLog::TextHolds(ChatLog::SearchableText(TLogContent{key.Kind, key.ID, entry.LangID, file.readAll()}), text))
                continue;
            hits += TLogSearchHit{key.Key, entry};
            if (limit >= 0 && hits.size() >= limit) return hits;
        }
        if (seen < slice) return hits;
    }
}
