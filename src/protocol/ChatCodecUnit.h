#pragma once

#include "core/IntakeBudgetUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "protocol/PresenceCodecUnit.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

class TMessageLang;

// The three chat messages: "QLM_MESSAGE" (a TCP request: header line and one
// sized block), "QLM_BROADCAST" and "QLM_REFUSE" (datagrams). Decoders fill a
// TBroadcastData without IPAddress and ReceivedTime, which the receiver sets.

// The longest body a "QLM_MESSAGE" this node takes: a peer pasting a large
// screenshot as a bitmap sends about 100 MB (the picture twice, as hex).
// Beyond TChatListenLimits' SpoolAbove a body arrives into a file, not into memory.
inline constexpr qint64 MaxReceivedChatBody = 512ll * 1024 * 1024;
// The longest it sends: what it takes itself, so that two nodes of ours never
// send what the other refuses.
inline constexpr qint64 MaxChatBody = MaxReceivedChatBody;
// Why a body of size bytes cannot be sent under limit; empty when it can.
QString ChatBodySizeError(qint64 size, qint64 limit = MaxChatBody);

// A summary as the records hold it: at most one CR LF, between its two lines.
// On the wire of "QLM_MESSAGE" that CR LF travels as a tab.

// The header line of "QLM_MESSAGE", without its CR LF. The summary's CR LF
// becomes a tab; tabs, CRs and LFs anywhere else become blanks, so the line
// always stays one line with its fields in place.
QByteArray EncodeMessageHeader(const TLocalIdentity& self, const QString& summary, const TMessageLang& lang);
// What goes before a body of bodySize bytes: header line, CR LF, length prefix.
// A sender writes it and then the body itself, so the body is never copied.
QByteArray EncodeMessageHead(const TLocalIdentity& self, const QString& summary, qint64 bodySize,
                             const TMessageLang& lang);
// The whole request: header line, CR LF, the body as one sized block.
QByteArray EncodeMessageRequest(const TLocalIdentity& self, const QString& summary, const QByteArray& body,
                                const TMessageLang& lang);
// The body's 32-bit big-endian length prefix.
QByteArray SizedBlockPrefix(qint32 length);

// Summary with CR LF kept (a tab in it becomes a blank), then the body as the
// rest, tabs and all, its line breaks as CR LF (BroadcastLineBreaks).
QByteArray EncodeBroadcast(const TLocalIdentity& self, const QString& summary, const QString& body,
                           const TMessageLang& lang);
// Every line break of text (LF, CR or CR LF) as CR LF, as peers' editors
// write a broadcast's lines; what the log stores of a sent broadcast too.
QString BroadcastLineBreaks(const QString& text);
// The auto-reply text as the rest.
QByteArray EncodeRefuse(const TLocalIdentity& self, const QString& replyText, const TMessageLang& lang);

// nullopt when the language identifier is no integer. Body stays empty: it
// follows the header as a sized block.
std::optional<TBroadcastData> DecodeMessageHeader(const TEnvelope& header, const TMessageLang& lang);
std::optional<TBroadcastData> DecodeBroadcast(const TEnvelope& e, const TMessageLang& lang);
std::optional<TBroadcastData> DecodeRefuse(const TEnvelope& e, const TMessageLang& lang);

// The records the chat events carry, one per kind, around what the decoders
// read. A message and a refusal share WM_PEER_MESSAGE (wParam 0 and 1, as the
// events are documented); their record types tell them apart.
// Hold: the arrival's bytes in the listener's budget, let go with the last copy.
struct TPeerMessage {
    TBroadcastData Data;
    TIntakeHold Hold = {};
};
struct TPeerRefusal {
    TBroadcastData Data;
    TIntakeHold Hold = {};
};
struct TPeerBroadcast {
    TBroadcastData Data;
    TIntakeHold Hold = {};
};

// ReceivedTime's scale: days since 1899-12-30, local time.
double DaysSince1899(const QDateTime& time);
QDateTime DateTimeFromDays(double days);
