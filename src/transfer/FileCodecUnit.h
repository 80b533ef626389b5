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

// What a Quillmate offer adds in its reserved fields 8 to 10 (field 11 stays
// "_NULL_", so the field count never changes): field 8 this marker, field 9
// "files:bytes", field 10 the first names as percent-encoded UTF-8 joined by
// "/". Peers that keep those fields reserved skip them unread; only a
// receiver that finds the exact marker reads on, and ignores the three
// fields whole when anything in them is malformed. All of it is ASCII with
// no tab, the same bytes in every code page.
namespace OfferFields {
inline constexpr char Marker[] = "QuillmateFiles1";
inline constexpr int MaxNames = 8;       // names listed; the rest are only counted
inline constexpr int MaxNameBytes = 240; // one encoded name; longer ones are cut with an ellipsis
inline constexpr int MaxFiles = 999999;
} // namespace OfferFields

// Encoders; text goes out in the code page of self's language identifier.
// offered.Files 0: the reserved fields stay "_NULL_". Names that would take
// the datagram past MaxDatagramSize are left out (only counted).
QByteArray EncodeFileRequest(const TLocalIdentity& self, qint32 ownHandle, const TMessageLang& lang,
                             const TOfferedFiles& offered = {});
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
// Offered is read from the reserved fields when they carry the marker.
std::optional<TOnlineNotify> DecodeFileRequest(const TEnvelope& e, const TMessageLang& lang);
// Files 0 unless fields 8 to 10 hold the marker and well-formed contents.
TOfferedFiles DecodeOfferedFiles(const TEnvelope& e);
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
