#include "update/UpdateCodecUnit.h"

#include "text/MsgLangUnit.h"
#include "update/UpdateVersionUnit.h"

namespace {
const QByteArray kNull(ReservedPlace);
const QByteArray kCrLf("\r\n");

QByteArray Latin(const QString& text) { return WithoutTabs(text.toLatin1()); }
} // namespace

QByteArray EncodeCheckNewVersion(const QString& computerName, const QString& version, const QString& userId) {
    return BuildDatagram({MessageType::CheckNewVersion, QByteArray::number(CurrentProtocolVersion),
                          WithoutTabs(computerName.toLocal8Bit()), Latin(version), Latin(userId), kNull, kNull, kNull,
                          kNull});
}

QByteArray EncodeReplyCheckNewVersion(const QString& nickName, const QString& computerName, const QString& version,
                                      const QStringList& files, const TMessageLang& lang) {
    QByteArray list;
    for (const QString& file : files) list += lang.EncodeOutgoing(file) + kCrLf;
    return BuildDatagram({MessageType::ReplyCheckNewVersion, QByteArray::number(CurrentProtocolVersion),
                          QByteArray::number(lang.LanguageId()), TextField(nickName, lang), TextField(computerName, lang),
                          Latin(version), kNull, kNull, kNull, kNull, kNull, list});
}

QByteArray EncodeUpdateFilesRequest(const QString& computerName, const QByteArray& files) {
    return BuildDatagram({MessageType::UpdateFilesTransferRequest, QByteArray::number(CurrentProtocolVersion),
                          WithoutTabs(computerName.toLocal8Bit()), kNull, kNull, kNull, kNull, kNull, files});
}

QByteArray EncodeUpdateStreamHeader() {
    return BuildDatagram({MessageType::TransUpdateFile, QByteArray::number(CurrentProtocolVersion), kNull, kNull, kNull,
                          kNull, kNull}) +
           kCrLf;
}

std::optional<TVersionQuestion> DecodeCheckNewVersion(const TEnvelope& e) {
    TVersionQuestion q;
    q.ProtocolVersion = e.ProtocolVersion();
    q.ComputerName = QString::fromLocal8Bit(e.Field(2));
    q.Version = QString::fromLatin1(e.Field(3));
    if (q.ProtocolVersion != 1) q.UserId = QString::fromLatin1(e.Field(4));
    if (!ParseVersion(q.Version)) return std::nullopt;
    return q;
}

std::optional<TBroadcastData> DecodeReplyCheckNewVersion(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(2);
    if (!languageId) return std::nullopt;
    TBroadcastData d;
    d.LanguageId = *languageId;
    d.NickName = lang.ConvertIncomingText(*languageId, e.Field(3));
    d.ComputerName = TMessageLang::Decode(*languageId, e.Field(4));
    d.Summary = e.Field(5);
    d.Body = e.Rest(11);
    return d;
}

TUpdateFilesRequest DecodeUpdateFilesRequest(const TEnvelope& e) {
    TUpdateFilesRequest r;
    r.ComputerName = QString::fromLocal8Bit(e.Field(2));
    r.Files = SplitFileList(e.Rest(8));
    return r;
}

QList<QByteArray> SplitFileList(const QByteArray& list, int maxLines) {
    QList<QByteArray> out;
    for (QByteArray line : list.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) continue;
        if (out.size() >= maxLines) break;
        out.append(line);
    }
    return out;
}
