#pragma once
// Builders shared by the chat tests.

#include "protocol/ChatCodecUnit.h"
#include "protocol/RequestReaderUnit.h"

#include <QBuffer>
#include <optional>

// A "QLM_MESSAGE" request read back from its bytes the way the listener reads
// it; Record is empty when the header is not one, Body when no whole block follows.
struct TReadRequest {
    std::optional<TBroadcastData> Record;
    std::optional<QByteArray> Body;
};

inline TReadRequest ReadMessageRequest(QByteArray bytes, const TMessageLang& lang) {
    TReadRequest read;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TRequestReader reader(buffer, nullptr);
    QByteArray line;
    if (reader.ReadLine(&line) != TRequestReader::rrOk) return read;
    const std::optional<TEnvelope> header = TEnvelope::Parse(line);
    if (!header || !header->IsType(MessageType::Message)) return read;
    read.Record = DecodeMessageHeader(*header, lang);
    QByteArray body;
    if (read.Record && reader.ReadBlock(&body, MaxChatBody) == TRequestReader::rrOk) read.Body = body;
    return read;
}

// A message as the listener hands it on: from Ann's computer, an RTF body and
// a two-line summary, received at a fixed time.
inline TBroadcastData IncomingRecord(const char* nick = "Ann") {
    TBroadcastData r;
    r.NickName = QString::fromLatin1(nick);
    r.ComputerName = QStringLiteral("PC-ANN");
    r.IPAddress = QStringLiteral("127.0.0.1");
    r.UserId = QStringLiteral("{ann}");
    r.LanguageId = 1033;
    r.Summary = "line one\r\nline two";
    r.Body = "{\\rtf1 line one}";
    r.ReceivedTime = DaysSince1899(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    return r;
}
