#pragma once

#include "core/OnlineStateValueUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/EnvelopeUnit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class TMessageLang;

// What this node says about itself in presence messages.
struct TLocalIdentity {
    qint16 LanguageId = 0;    // 0: the language of the TMessageLang passed along
    QStringList Interfaces;   // "%s=%s" lines, address and mask
    TOnlineState OnlineState = TOnlineState::Online;
    QString NickName, ComputerName, Version, UserId, Reserved;
};

// Encoders. Text goes out in the code page of the language identifier written
// into the datagram, so that receivers decode it with the matching table.
QByteArray EncodeLogon(const TLocalIdentity& self, const TMessageLang& lang);
// "QLM_LOGONREPLY", "QLM_LOGOFF", "QLM_ONLINESTATE" or "QLM_NICKNAME": one layout.
QByteArray EncodePresence(const char* type, const TLocalIdentity& self, const TMessageLang& lang);
QByteArray EncodeCheckSignal(const QString& userId);
QByteArray EncodeCheckSignalReply(const QString& userId);
QByteArray EncodeCheckNetworkState(const QString& userId);

struct TDecodedLogon {
    TOnlineNotify Notify;       // IPAddress left empty: the receiver picks it
    QString SenderInterfaces;   // "%s=%s" lines, each ended by CR LF
};

// Decoders. The type is not checked (the dispatcher chose the decoder by it).
// nullopt when the language identifier is no integer. IPAddress stays empty.
std::optional<TDecodedLogon> DecodeLogon(const TEnvelope& e, const TMessageLang& lang);
// The four types of EncodePresence.
std::optional<TOnlineNotify> DecodePresence(const TEnvelope& e, const TMessageLang& lang);
// Only UserId is filled: the rest after field 1.
TOnlineNotify DecodeCheckSignalReply(const TEnvelope& e);
// The sender's unique identifier (the rest after field 1).
QString DecodeCheckNetworkState(const TEnvelope& e);
