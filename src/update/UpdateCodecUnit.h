#pragma once

#include "protocol/CommConstsUnit.h"
#include "protocol/EnvelopeUnit.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class TMessageLang;

// The end line of a "QLM_TRANSUPDATEFILE" stream (compared without case).
inline constexpr char UpdateStreamEnd[] = "SENDINGFILE_END";
// The longest name line of an update stream.
inline constexpr qsizetype MaxUpdateNameLine = 1024;

// "QLM_CHECKNEWVERSION" as received.
struct TVersionQuestion {
    int ProtocolVersion = 0;
    QString ComputerName;
    QString Version;
    QString UserId; // empty from protocol version 1
};

// "QLM_UPDATEFILESTRANSFERREQUEST" as received: the wanted files as the
// answer listed them, bytes in the answering node's code page.
struct TUpdateFilesRequest {
    QString ComputerName;
    QList<QByteArray> Files;
};

QByteArray EncodeCheckNewVersion(const QString& computerName, const QString& version, const QString& userId);
// files: the offered relative paths, each sent followed by CR LF, in the code
// page of lang (whose language identifier the answer carries).
QByteArray EncodeReplyCheckNewVersion(const QString& nickName, const QString& computerName, const QString& version,
                                      const QStringList& files, const TMessageLang& lang);
// files exactly as the answer carried them.
QByteArray EncodeUpdateFilesRequest(const QString& computerName, const QByteArray& files);
// The header line of the stream, CR LF included.
QByteArray EncodeUpdateStreamHeader();

// nullopt when the version is not four integers (the datagram is discarded).
std::optional<TVersionQuestion> DecodeCheckNewVersion(const TEnvelope& e);
// LanguageId, NickName (converted), ComputerName, Summary (the answering
// node's version), Body (the offered files). nullopt without a language id.
std::optional<TBroadcastData> DecodeReplyCheckNewVersion(const TEnvelope& e, const TMessageLang& lang);
TUpdateFilesRequest DecodeUpdateFilesRequest(const TEnvelope& e);

// The non-empty lines of a file list (CR LF or LF), at most maxLines.
QList<QByteArray> SplitFileList(const QByteArray& list, int maxLines = 1024);
