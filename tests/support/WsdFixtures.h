#pragma once

// WS-Discovery messages as wsdd and Windows send them, for parser tests, the
// fake responder and the fuzzer's seeds.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

namespace WsdFixture {

inline QByteArray Envelope(const QString& action, const QString& relatesTo, const QString& body,
                           const QString& extraNamespaces = QString()) {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
               "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""
               " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
               " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
               " xmlns:wsx=\"http://schemas.xmlsoap.org/ws/2004/09/mex\""
               " xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\""
               " xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"%4>"
               "<soap:Header><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
               "<wsa:Action>%1</wsa:Action><wsa:MessageID>urn:uuid:0b5c4e4e-0000-4000-8000-000000000001</wsa:MessageID>"
               "<wsa:RelatesTo>%2</wsa:RelatesTo>"
               "<wsd:AppSequence InstanceId=\"1\" MessageNumber=\"1\"/></soap:Header>"
               "<soap:Body>%3</soap:Body></soap:Envelope>")
        .arg(action, relatesTo, body, extraNamespaces)
        .toUtf8();
}

inline QString Match(const QString& element, const QString& endpoint, const QString& types, const QString& xaddrs) {
    QString m = QStringLiteral("<wsd:%1><wsa:EndpointReference><wsa:Address>%2</wsa:Address></wsa:EndpointReference>"
                               "<wsd:Types>%3</wsd:Types>")
                    .arg(element, endpoint, types);
    if (!xaddrs.isEmpty()) m += QStringLiteral("<wsd:XAddrs>%1</wsd:XAddrs>").arg(xaddrs);
    return m + QStringLiteral("<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:%1>").arg(element);
}

// ProbeMatches with the given ProbeMatch elements.
inline QByteArray ProbeMatches(const QString& relatesTo, const QString& matches) {
    return Envelope(QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches"), relatesTo,
                    QStringLiteral("<wsd:ProbeMatches>%1</wsd:ProbeMatches>").arg(matches));
}

inline QByteArray ResolveMatches(const QString& relatesTo, const QString& matches) {
    return Envelope(QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches"), relatesTo,
                    QStringLiteral("<wsd:ResolveMatches>%1</wsd:ResolveMatches>").arg(matches));
}

// A GetResponse as wsdd writes it; hostText is pub:Computer's text.
inline QByteArray Metadata(const QString& hostText) {
    return Envelope(
        QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse"),
        QStringLiteral("urn:uuid:1"),
        QStringLiteral(
            "<wsx:Metadata>"
            "<wsx:MetadataSection Dialect=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/ThisDevice\">"
            "<wsdp:ThisDevice><wsdp:FriendlyName>WSD Device</wsdp:FriendlyName></wsdp:ThisDevice></wsx:MetadataSection>"
            "<wsx:MetadataSection Dialect=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/Relationship\">"
            "<wsdp:Relationship Type=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/host\"><wsdp:Host>"
            "<wsa:EndpointReference><wsa:Address>urn:uuid:2</wsa:Address></wsa:EndpointReference>"
            "<wsdp:Types>pub:Computer</wsdp:Types><wsdp:ServiceId>urn:uuid:2</wsdp:ServiceId>"
            "<pub:Computer>%1</pub:Computer></wsdp:Host></wsdp:Relationship></wsx:MetadataSection>"
            "</wsx:Metadata>")
            .arg(hostText));
}

// The text of one addressing header (Action, MessageID...) of a request.
inline QString Field(const QByteArray& message, const char* element) {
    static const QString pattern = QStringLiteral("<wsa:%1>([^<]*)</wsa:%1>");
    const auto m = QRegularExpression(pattern.arg(QLatin1String(element))).match(QString::fromUtf8(message));
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace WsdFixture
