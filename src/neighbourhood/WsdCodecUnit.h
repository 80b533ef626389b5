#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The few WS-Discovery messages a computer browser needs (SOAP 1.2 over UDP
// and HTTP): Probe and Resolve out, ProbeMatches and ResolveMatches in, then
// a WS-Transfer Get of the device's metadata for its computer name and
// workgroup. Values and pure functions only: no sockets here. Every reader
// refuses a DTD, stops at kMaxDepth and takes at most what its caller allows.
namespace WsdWire {

constexpr quint16 kPort = 3702;
inline const QString kMulticastGroup = QStringLiteral("239.255.255.250");
constexpr int kMaxDatagram = 32767;        // the protocol's UDP message limit
constexpr int kMaxMetadata = 64 * 1024;    // a computer's metadata is a few KiB
constexpr int kMaxDepth = 32;
constexpr int kMaxText = 2048;             // characters of one element's text

// A fresh "urn:uuid:..." message id.
QString NewMessageId();

QByteArray BuildProbe(const QString& messageId);
QByteArray BuildResolve(const QString& messageId, const QString& endpoint);
QByteArray BuildGet(const QString& messageId, const QString& endpoint);

// One ProbeMatch or ResolveMatch.
struct TMatch {
    QString Endpoint;      // wsa:Address of its EndpointReference
    QStringList Types;     // "wsdp:Device", "pub:Computer", local names with their prefixes as sent
    QStringList XAddrs;    // transport addresses, when given
    bool IsComputer() const;  // its types name a computer (pub:Computer)
};

// The matches of a ProbeMatches or ResolveMatches message answering
// relatesTo (at most maxMatches); nullopt for anything else or malformed.
std::optional<QList<TMatch>> ParseMatches(const QByteArray& message, const QString& relatesTo, int maxMatches);

// What the host section of a device's metadata says: "NAME/Workgroup:WG",
// "NAME/Domain:DOMAIN" or "NAME/NotJoined".
struct TComputer {
    QString Name;
    QString Workgroup;     // the workgroup or domain; empty when not joined
    bool Domain = false;
};
std::optional<TComputer> ParseMetadata(const QByteArray& message);
std::optional<TComputer> ParseComputerText(const QString& text);

// An "http://a.b.c.d:port/path" transport address (IPv4 only).
struct TXAddr {
    QHostAddress Host;
    quint16 Port = 80;
    QByteArray Path;       // "/..." as sent
};
std::optional<TXAddr> ParseXAddr(const QString& xaddr);

// The HTTP request that carries a Get.
QByteArray BuildHttpPost(const TXAddr& to, const QByteArray& body);
// The body of a complete "200" response (Content-Length, chunked or up to
// the close); nullopt while incomplete or when the status is not 200 or the
// framing is broken. closed: the peer ended the connection.
enum class THttpState { Incomplete, Done, Failed };
THttpState ReadHttpResponse(const QByteArray& raw, bool closed, QByteArray* body);

} // namespace WsdWire
