#include "neighbourhood/WsdCodecUnit.h"

#include <QHash>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

namespace WsdWire {

namespace {

const QString kSoap = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
const QString kWsa = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
const QString kWsd = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");
const QString kPub = QStringLiteral("http://schemas.microsoft.com/windows/pub/2005/07");
constexpr int kMaxHttpHeader = 8 * 1024;

QByteArray Envelope(const QString& to, const QString& action, const QString& messageId, const QString& extraHeader,
                    const QString& body) {
    const QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""
        " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
        " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
        " xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\">"
        "<soap:Header><wsa:To>%1</wsa:To><wsa:Action>%2</wsa:Action><wsa:MessageID>%3</wsa:MessageID>%4</soap:Header>"
        "<soap:Body>%5</soap:Body></soap:Envelope>")
        .arg(to.toHtmlEscaped(), action.toHtmlEscaped(), messageId.toHtmlEscaped(), extraHeader, body);
    return xml.toUtf8();
}

// A careful walk over one message: no DTD, bounded depth, the in-scope
// namespace prefixes kept for the QName texts of wsd:Types.
class TWalker {
public:
    explicit TWalker(const QByteArray& message) : FReader(message) {}

    // The next start element (false at the end or on any error).
    bool NextStart() {
        while (!FReader.atEnd()) {
            switch (FReader.readNext()) {
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference:
                FFailed = true;
                return false;
            case QXmlStreamReader::StartElement: {
                QHash<QString, QString> scope = FScopes.isEmpty() ? QHash<QString, QString>() : FScopes.last();
                for (const QXmlStreamNamespaceDeclaration& d : FReader.namespaceDeclarations())
                    scope.insert(d.prefix().toString(), d.namespaceUri().toString());
                FScopes.append(scope);
                FPath.append(Name());
                if (FPath.size() > kMaxDepth) {
                    FFailed = true;
                    return false;
                }
                return true;
            }
            case QXmlStreamReader::EndElement:
                if (!FPath.isEmpty()) FPath.removeLast();
                if (!FScopes.isEmpty()) FScopes.removeLast();
                break;
            default:
                break;
            }
        }
        return false;
    }
    // The text of the current element (no children allowed); ends the element.
    std::optional<QString> Text() {
        const QString text = FReader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        FPath.removeLast();
        FTextScope = FScopes.takeLast();
        if (FReader.hasError() || text.size() > kMaxText) {
            FFailed = true;
            return std::nullopt;
        }
        return text.trimmed();
    }
    QString Name() const { return QLatin1Char('{') + FReader.namespaceUri().toString() + QLatin1Char('}') + FReader.name().toString(); }
    // Path of {ns}local names from the root to the current element.
    const QStringList& Path() const { return FPath; }
    bool Under(const QString& name) const { return FPath.contains(name); }
    // A QName of the text just read, in the scope of its element.
    QString Resolve(const QString& qname) const {
        const qsizetype colon = qname.indexOf(QLatin1Char(':'));
        const QString prefix = colon < 0 ? QString() : qname.left(colon);
        const QString local = colon < 0 ? qname : qname.mid(colon + 1);
        const QString uri = FTextScope.value(prefix);
        return QLatin1Char('{') + uri + QLatin1Char('}') + local;
    }
    bool Ok() const { return !FFailed && !FReader.hasError(); }

private:
    QXmlStreamReader FReader;
    QStringList FPath;
    QList<QHash<QString, QString>> FScopes;
    QHash<QString, QString> FTextScope;
    bool FFailed = false;
};

QString N(const QString& ns, const char* local) {
    return QLatin1Char('{') + ns + QLatin1Char('}') + QLatin1String(local);
}

} // namespace

QString NewMessageId() {
    return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray BuildProbe(const QString& messageId) {
    return Envelope(QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                    QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"), messageId, QString(),
                    QStringLiteral("<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>"));
}

QByteArray BuildResolve(const QString& messageId, const QString& endpoint) {
    return Envelope(QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                    QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/Resolve"), messageId, QString(),
                    QStringLiteral("<wsd:Resolve><wsa:EndpointReference><wsa:Address>%1</wsa:Address>"
                                   "</wsa:EndpointReference></wsd:Resolve>")
                        .arg(endpoint.toHtmlEscaped()));
}

QByteArray BuildGet(const QString& messageId, const QString& endpoint) {
    return Envelope(endpoint, QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/transfer/Get"), messageId,
                    QStringLiteral("<wsa:ReplyTo><wsa:Address>"
                                   "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
                                   "</wsa:Address></wsa:ReplyTo>"),
                    QString());
}

bool TMatch::IsComputer() const {
    return Types.contains(N(kPub, "Computer"));
}

std::optional<QList<TMatch>> ParseMatches(const QByteArray& message, const QString& relatesTo, int maxMatches) {
    if (message.size() > kMaxDatagram) return std::nullopt;
    TWalker w(message);
    const QString envelope = N(kSoap, "Envelope"), header = N(kSoap, "Header"), body = N(kSoap, "Body");
    const QString probeMatch = N(kWsd, "ProbeMatch"), resolveMatch = N(kWsd, "ResolveMatch");
    QString related, action;
    QList<TMatch> matches;
    bool inMatch = false;
    int matchDepth = 0;
    while (w.NextStart()) {
        const QStringList& path = w.Path();
        if (path.first() != envelope) return std::nullopt;
        const QString name = path.last();
        if (inMatch && path.size() <= matchDepth) inMatch = false;
        if (path.size() == 3 && path[1] == header) {
            if (name == N(kWsa, "RelatesTo") || name == N(kWsa, "Action")) {
                const auto text = w.Text();
                if (!text) return std::nullopt;
                (name == N(kWsa, "Action") ? action : related) = *text;
            }
            continue;
        }
        if (path.size() == 4 && path[1] == body && (name == probeMatch || name == resolveMatch)) {
            if (matches.size() >= maxMatches) return std::nullopt;
            matches.append(TMatch());
            inMatch = true;
            matchDepth = int(path.size());
            continue;
        }
        if (!inMatch) continue;
        if (path.size() == matchDepth + 1 && name == N(kWsd, "Types")) {
            const auto text = w.Text();
            if (!text) return std::nullopt;
            for (const QString& t : text->split(QLatin1Char(' '), Qt::SkipEmptyParts)) matches.last().Types << w.Resolve(t);
        } else if (path.size() == matchDepth + 1 && name == N(kWsd, "XAddrs")) {
            const auto text = w.Text();
            if (!text) return std::nullopt;
            matches.last().XAddrs = text->split(QLatin1Char(' '), Qt::SkipEmptyParts);
        } else if (path.size() == matchDepth + 2 && name == N(kWsa, "Address") &&
                   path[matchDepth] == N(kWsa, "EndpointReference")) {
            const auto text = w.Text();
            if (!text) return std::nullopt;
            matches.last().Endpoint = *text;
        }
    }
    if (!w.Ok()) return std::nullopt;
    if (related != relatesTo || relatesTo.isEmpty()) return std::nullopt;
    if (!action.endsWith(QLatin1String("/ProbeMatches")) && !action.endsWith(QLatin1String("/ResolveMatches")))
        return std::nullopt;
    QList<TMatch> usable;
    for (const TMatch& m : matches)
        if (!m.Endpoint.isEmpty()) usable.append(m);
    return usable;
}

std::optional<TComputer> ParseComputerText(const QString& text) {
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    TComputer c;
    c.Name = (slash < 0 ? text : text.left(slash)).trimmed();
    if (c.Name.isEmpty()) return std::nullopt;
    if (slash < 0) return c;
    const QString rest = text.mid(slash + 1).trimmed();
    if (rest.startsWith(QLatin1String("Workgroup:"), Qt::CaseInsensitive)) {
        c.Workgroup = rest.mid(10).trimmed();
    } else if (rest.startsWith(QLatin1String("Domain:"), Qt::CaseInsensitive)) {
        c.Workgroup = rest.mid(7).trimmed();
        c.Domain = true;
    }
    return c;
}

std::optional<TComputer> ParseMetadata(const QByteArray& message) {
    if (message.size() > kMaxMetadata) return std::nullopt;
    TWalker w(message);
    const QString body = N(kSoap, "Body");
    std::optional<TComputer> found;
    while (w.NextStart()) {
        if (w.Path().first() != N(kSoap, "Envelope")) return std::nullopt;
        if (w.Path().last() == N(kPub, "Computer") && w.Path().size() > 2 && w.Path()[1] == body) {
            const auto text = w.Text();
            if (!text) return std::nullopt;
            if (!found) found = ParseComputerText(*text);
        }
    }
    if (!w.Ok()) return std::nullopt;
    return found;
}

std::optional<TXAddr> ParseXAddr(const QString& xaddr) {
    const QUrl url(xaddr, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || !url.userInfo().isEmpty()) return std::nullopt;
    TXAddr a;
    bool ok = false;
    a.Host = QHostAddress(url.host());
    a.Host.toIPv4Address(&ok);
    if (!ok || a.Host.isNull()) return std::nullopt;
    const int port = url.port(80);
    if (port <= 0 || port > 65535) return std::nullopt;
    a.Port = quint16(port);
    a.Path = url.path(QUrl::FullyEncoded).toLatin1();
    if (a.Path.isEmpty()) a.Path = "/";
    if (url.hasQuery()) a.Path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    if (a.Path.contains('\r') || a.Path.contains('\n') || a.Path.contains(' ')) return std::nullopt;
    return a;
}

QByteArray BuildHttpPost(const TXAddr& to, const QByteArray& body) {
    QByteArray r = "POST " + to.Path + " HTTP/1.1\r\n";
    r += "Host: " + to.Host.toString().toLatin1() + ':' + QByteArray::number(to.Port) + "\r\n";
    r += "Content-Type: application/soap+xml; charset=utf-8\r\n";
    r += "User-Agent: quillmate\r\n";
    r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    r += "Connection: close\r\n\r\n";
    return r + body;
}

THttpState ReadHttpResponse(const QByteArray& raw, bool closed, QByteArray* body) {
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (end < 0) {
        if (raw.size() > kMaxHttpHeader) return THttpState::Failed;
        return closed ? THttpState::Failed : THttpState::Incomplete;
    }
    if (end > kMaxHttpHeader) return THttpState::Failed;
    const QList<QByteArray> lines = raw.left(end).split('\n');
    const QList<QByteArray> status = lines.first().trimmed().split(' ');
    if (status.size() < 2 || !status[0].startsWith("HTTP/1.") || status[1] != "200") return THttpState::Failed;
    qint64 length = -1;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) continue;
        const QByteArray key = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "content-length") {
            bool ok = false;
            length = value.toLongLong(&ok);
            if (!ok || length < 0) return THttpState::Failed;
        } else if (key == "transfer-encoding" && value.toLower().contains("chunked")) {
            chunked = true;
        }
    }
    const QByteArray rest = raw.mid(end + 4);
    if (chunked) {
        QByteArray out;
        qsizetype at = 0;
        for (;;) {
            const qsizetype eol = rest.indexOf("\r\n", at);
            if (eol < 0) return closed ? THttpState::Failed : THttpState::Incomplete;
            QByteArray sizeText = rest.mid(at, eol - at);
            if (const qsizetype semi = sizeText.indexOf(';'); semi >= 0) sizeText.truncate(semi);
            bool ok = false;
            const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0 || size > kMaxMetadata) return THttpState::Failed;
            if (size == 0) {
                *body = out;
                return THttpState::Done;
            }
            if (rest.size() < eol + 2 + size + 2) return closed ? THttpState::Failed : THttpState::Incomplete;
            out += rest.mid(eol + 2, size);
            if (out.size() > kMaxMetadata) return THttpState::Failed;
            at = eol + 2 + size + 2;
        }
    }
    if (length >= 0) {
        if (length > kMaxMetadata) return THttpState::Failed;
        if (rest.size() < length) return closed ? THttpState::Failed : THttpState::Incomplete;
        *body = rest.left(length);
        return THttpState::Done;
    }
    if (!closed) return rest.size() > kMaxMetadata ? THttpState::Failed : THttpState::Incomplete;
    *body = rest;
    return THttpState::Done;
}

} // namespace WsdWire
