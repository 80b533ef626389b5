#pragma once

#include "protocol/CommConstsUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "protocol/PresenceCodecUnit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class TMessageLang;

// Lines of the "QLM_FILE" stream; compared exactly, letter case included.
namespace FileMarker {
inline constexpr char Start[] = "SENDINGFILE_START";
inline constexpr char ReadError[] = "SENDINGFILE_READERROR";
inline constexpr char End[] = "SENDINGFILE_END";
inline constexpr char Canceled[] = "SENDINGFILE_CANCELED";
} // namespace FileMarker

// Ids of the file events that do not come from the listener.
enum TFileEventId : int {
    WM_FILE_RECEIVED = 0x1413, // to a live receive dialog: its transfer has arrived
    WM_FILE_REPLY = 0x1A01,    // to a live wait dialog: the peer's answer
};

// A stream block is a signed 32-bit length: the largest file that fits.
inline constexpr qint64 MaxStreamFileSize = 0x7FFFFFFF;
// Writers send and readers take the stream in pieces of this size.
inline constexpr qint64 StreamChunkSize = 32768;

// "QLM_FILEREQUESTDIALOGHANDLE": the requester's dialog to tell (Target) and
// the receiver's own handle (Value). The record of WM_FILE_PEERHANDLE.
struct TFilePeerHandle {
    qint32 Target = 0;
    qint32 Value = 0;
};

// Encoders; text goes out in the code page of self's language identifier.
QByteArray EncodeFileRequest(const TLocalIdentity& self, qint32 ownHandle, const TMessageLang& lang);
QByteArray EncodeFileRequestDialogHandle(qint32 requesterHandle, qint32 ownHandle);
// Field 4 is "+" exactly when accept is true and busy is false.
QByteArray EncodeFileRequestReply(const TLocalIdentity& self, qint32 requesterHandle, bool accept, bool busy,
                                  const QString& reason, const TMessageLang& lang);
QByteArray EncodeFileRequestCanceled(const TLocalIdentity& self, qint32 ownHandle, qint32 receiverHandle,
                                     const TMessageLang& lang);
// The header line of "QLM_FILE", CR LF included.
QByteArray EncodeFileHeader(const TLocalIdentity& self, qint32 receiverHandle, const TMessageLang& lang);
// A name line, CR LF included: a tab before an archive's name. Tabs and line
// breaks inside the name would break the framing and become blanks.
QByteArray EncodeNameLine(const QString& name, bool archive, qint16 languageId);

// Decoders (the type is not checked). nullopt when a field the message cannot
// do without is no integer. IPAddress stays empty: the receiver fills it.
std::optional<TOnlineNotify> DecodeFileRequest(const TEnvelope& e, const TMessageLang& lang);
std::optional<TFilePeerHandle> DecodeFileRequestDialogHandle(const TEnvelope& e);
std::optional<TBroadcastData> DecodeFileRequestReply(const TEnvelope& e, const TMessageLang& lang);
std::optional<TOnlineNotify> DecodeFileRequestCanceled(const TEnvelope& e, const TMessageLang& lang);
std::optional<TBroadcastData> DecodeFileHeader(const TEnvelope& e, const TMessageLang& lang);

struct TNameLine {
    QString Name;
    bool Archive = false;
};
// A line with a tab carries the archive mark and loses its first character.
TNameLine DecodeNameLine(const QByteArray& line, qint16 languageId);
