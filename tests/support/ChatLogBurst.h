#pragma once

// The records the crash tests' child process writes: each one can be told
// from its number alone, so a test reading the log back knows what every row
// and side file must hold.
#include "chatlog/ChatLogTypesUnit.h"

#include <QByteArray>
#include <QString>

namespace ChatLogBurst {

inline TLogType TypeOf(qint64 seq) { return TLogType(ltSingle + seq % 4); }

inline QByteArray ContentOf(qint64 seq) {
    QByteArray body = "record " + QByteArray::number(seq) + " ";
    // Sizes from a few bytes to a few pages, so writes end at varying points.
    const qint64 filler = (seq * 7919) % 9000;
    body += QByteArray(filler, char('a' + seq % 26));
    if (TypeOf(seq) == ltSingle || TypeOf(seq) == ltGroup)
        return "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n\\f0 " + body + "\\par\r\n}\r\n";
    return body;
}

inline TLogRecord RecordOf(qint64 seq) {
    TLogRecord r;
    r.LogType = TypeOf(seq);
    r.LangID = 1033;
    r.Content = ContentOf(seq);
    r.First2Line = QStringLiteral("seq %1").arg(seq);
    r.Nick = QStringLiteral("n%1").arg(seq);
    r.Computer = QStringLiteral("PC");
    r.IP = QStringLiteral("10.0.0.1");
    r.IfSendOut = seq % 2 == 0;
    return r;
}

// The number a stored row was written with (its Nick), or -1.
inline qint64 SeqOf(const QString& nick) {
    bool ok = false;
    const qint64 seq = nick.mid(1).toLongLong(&ok);
    return nick.startsWith(QLatin1Char('n')) && ok ? seq : -1;
}

} // namespace ChatLogBurst
