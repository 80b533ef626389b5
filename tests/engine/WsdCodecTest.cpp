// The WS-Discovery readers against what wsdd and Windows send and against
// hostile input: wrong conversation, DTDs and entities, truncation, depth,
// floods and oversize messages are all refused without a crash.
#include "neighbourhood/WsdCodecUnit.h"
#include "support/CaseName.h"
#include "support/WsdFixtures.h"

#include <gtest/gtest.h>

using namespace WsdWire;
using namespace WsdFixture;

namespace {

const QString kId = QStringLiteral("urn:uuid:5a0e0f4c-1111-4222-8333-444455556666");
const QString kComputer = QStringLiteral("wsdp:Device pub:Computer");
const QString kEndpoint = QStringLiteral("urn:uuid:9f1c2d3e-aaaa-4bbb-8ccc-dddddddddddd");

QString Repeat(const QString& s, int n) {
    QString out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

struct TMatchCase {
    std::string Name;
    QByteArray Message;
    int Matches;              // -1: refused
    bool Computer = true;     // of the first match
    int XAddrs = 0;           // of the first match
};
void PrintTo(const TMatchCase& c, std::ostream* os) { *os << c.Name; }

class WsdMatches : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(WsdMatches, AreReadOnlyFromAnAnswerToOurMessage) {
    const TMatchCase& c = GetParam();
    const auto matches = ParseMatches(c.Message, kId, 8);
    if (c.Matches < 0) {
        EXPECT_FALSE(matches.has_value());
        return;
    }
    ASSERT_TRUE(matches.has_value());
    ASSERT_EQ(matches->size(), c.Matches);
    if (c.Matches == 0) return;
    EXPECT_EQ(matches->first().Endpoint, kEndpoint);
    EXPECT_EQ(matches->first().IsComputer(), c.Computer);
    EXPECT_EQ(matches->first().XAddrs.size(), c.XAddrs);
}

const QByteArray kWsddMatch = ProbeMatches(kId, Match("ProbeMatch", kEndpoint, kComputer, {}));

INSTANTIATE_TEST_SUITE_P(
    Table, WsdMatches,
    ::testing::Values(
        TMatchCase{"WsddWithoutXAddrs", kWsddMatch, 1, true, 0},
        TMatchCase{"WindowsWithXAddrs",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint, kComputer,
                                           "http://10.0.0.5:5357/9f1c http://[fe80::1]:5357/9f1c")),
                   1, true, 2},
        TMatchCase{"ResolveMatch",
                   ResolveMatches(kId, Match("ResolveMatch", kEndpoint, kComputer, "http://10.0.0.5:5357/x")), 1, true, 1},
        TMatchCase{"PrinterIsNoComputer",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint, "wsdp:Device wprt:PrintDeviceType", {})), 1, false, 0},
        TMatchCase{"ComputerUnderAnotherPrefix",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint,
                                           "wsdp:Device p2:Computer", {}).replace(
                                           "<wsd:Types>", "<wsd:Types xmlns:p2=\"http://schemas.microsoft.com/windows/pub/2005/07\">")),
                   1, true, 0},
        TMatchCase{"ForeignNamespaceUnderThePubPrefix",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint, kComputer, {}).replace(
                                           "<wsd:Types>", "<wsd:Types xmlns:pub=\"urn:other\">")),
                   1, false, 0},
        TMatchCase{"SeveralMatches", ProbeMatches(kId, Repeat(Match("ProbeMatch", kEndpoint, kComputer, {}), 3)), 3, true, 0},
        TMatchCase{"MatchWithoutEndpointDropped", ProbeMatches(kId, "<wsd:ProbeMatch><wsd:Types>pub:Computer</wsd:Types></wsd:ProbeMatch>"), 0},
        TMatchCase{"AnotherConversation", ProbeMatches("urn:uuid:other", Match("ProbeMatch", kEndpoint, kComputer, {})), -1},
        TMatchCase{"NoRelatesTo", QByteArray(kWsddMatch).replace(kId.toUtf8(), ""), -1},
        TMatchCase{"NotAMatchAction",
                   Envelope("http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello", kId,
                            Match("ProbeMatch", kEndpoint, kComputer, {})),
                   -1},
        TMatchCase{"Truncated", kWsddMatch.left(kWsddMatch.size() - 20), -1},
        TMatchCase{"NotXml", QByteArray("\x00\x01garbage", 9), -1},
        TMatchCase{"Empty", QByteArray(), -1},
        TMatchCase{"NotSoap", QByteArray("<a><b/></a>"), -1},
        TMatchCase{"MoreMatchesThanAllowed", ProbeMatches(kId, Repeat(Match("ProbeMatch", kEndpoint, kComputer, {}), 9)), -1},
        TMatchCase{"EntityExpansion",
                   QByteArray("<?xml version=\"1.0\"?><!DOCTYPE soap:Envelope [<!ENTITY a \"aaaaaaaaaa\">"
                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>") +
                       kWsddMatch.mid(kWsddMatch.indexOf("<soap:Envelope")).replace("wsdp:Device", "&c;"),
                   -1},
        TMatchCase{"ExternalEntity",
                   QByteArray("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>") +
                       kWsddMatch.mid(kWsddMatch.indexOf("<soap:Envelope")).replace("wsdp:Device", "&e;"),
                   -1},
        TMatchCase{"TooDeep",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint, kComputer, {}) + Repeat("<x>", 40) + Repeat("</x>", 40)),
                   -1},
        TMatchCase{"ChildInsideTypes",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint, "<b>pub:Computer</b>", {})), -1},
        TMatchCase{"HugeText", ProbeMatches(kId, Match("ProbeMatch", kEndpoint, QString(3000, 'x'), {})), -1},
        TMatchCase{"Oversize",
                   ProbeMatches(kId, Match("ProbeMatch", kEndpoint, kComputer, {}) + "<!--" + QString(kMaxDatagram, 'c') + "-->"),
                   -1}),
    TCaseName());

TEST(WsdMessages, OutgoingMessagesCarryTheirIdsAndReadBack) {
    const QString id = NewMessageId();
    EXPECT_TRUE(id.startsWith(QStringLiteral("urn:uuid:")));
    EXPECT_NE(id, NewMessageId());
    const QByteArray probe = BuildProbe(id);
    // wsdd answers only a probe for exactly "wsdp:Device".
    EXPECT_TRUE(probe.contains("<wsd:Types>wsdp:Device</wsd:Types>"));
    EXPECT_TRUE(probe.contains(id.toUtf8()));
    EXPECT_TRUE(BuildResolve(id, QStringLiteral("urn:uuid:<&>")).contains("urn:uuid:&lt;&amp;&gt;"));
    const QByteArray get = BuildGet(id, kEndpoint);
    EXPECT_TRUE(get.contains("<wsa:To>" + kEndpoint.toUtf8() + "</wsa:To>"));
    EXPECT_TRUE(get.contains("transfer/Get"));
}

struct TMetadataCase {
    std::string Name;
    QByteArray Message;
    std::optional<QString> Computer;  // "NAME|WG|domain?"
};
void PrintTo(const TMetadataCase& c, std::ostream* os) { *os << c.Name; }

class WsdMetadata : public ::testing::TestWithParam<TMetadataCase> {};

TEST_P(WsdMetadata, NamesTheComputerAndItsWorkgroup) {
    const TMetadataCase& c = GetParam();
    const auto computer = ParseMetadata(c.Message);
    ASSERT_EQ(computer.has_value(), c.Computer.has_value());
    if (!computer) return;
    EXPECT_EQ(QStringLiteral("%1|%2|%3").arg(computer->Name, computer->Workgroup).arg(computer->Domain), *c.Computer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WsdMetadata,
    ::testing::Values(
        TMetadataCase{"Workgroup", Metadata("LABHOST/Workgroup:LABGROUP"), "LABHOST|LABGROUP|0"},
        TMetadataCase{"Domain", Metadata("labhost/Domain:corp.example"), "labhost|corp.example|1"},
        TMetadataCase{"NotJoined", Metadata("PC/NotJoined"), "PC||0"},
        TMetadataCase{"NameOnly", Metadata("PC"), "PC||0"},
        TMetadataCase{"EmptyName", Metadata("/Workgroup:WG"), std::nullopt},
        TMetadataCase{"NoComputer", QByteArray(Metadata("X")).replace("pub:Computer>X</pub:Computer", "pub:Other>X</pub:Other"),
                      std::nullopt},
        TMetadataCase{"Truncated", Metadata("PC/Workgroup:WG").left(400), std::nullopt},
        TMetadataCase{"Oversize", Metadata("PC/Workgroup:WG" + QString(kMaxMetadata, ' ')), std::nullopt},
        TMetadataCase{"DoctypeRefused",
                      "<!DOCTYPE x []>" + Metadata("PC/Workgroup:WG").mid(Metadata("PC").indexOf("<soap:Envelope")),
                      std::nullopt}),
    TCaseName());

struct TXAddrCase {
    std::string Name;
    QString XAddr;
    QString Parsed;  // "host port path", empty: refused
};
void PrintTo(const TXAddrCase& c, std::ostream* os) { *os << c.Name; }

class WsdXAddr : public ::testing::TestWithParam<TXAddrCase> {};

TEST_P(WsdXAddr, OnlyPlainHttpToAnIPv4Address) {
    const auto a = ParseXAddr(GetParam().XAddr);
    const QString parsed = a ? QStringLiteral("%1 %2 %3").arg(a->Host.toString()).arg(a->Port).arg(QString::fromLatin1(a->Path)) : QString();
    EXPECT_EQ(parsed, GetParam().Parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WsdXAddr,
    ::testing::Values(TXAddrCase{"Wsdd", "http://10.77.0.4:5357/9f1c2d3e", "10.77.0.4 5357 /9f1c2d3e"},
                      TXAddrCase{"DefaultPortAndPath", "http://10.0.0.1", "10.0.0.1 80 /"},
                      TXAddrCase{"Query", "http://10.0.0.1:1/a?b=c", "10.0.0.1 1 /a?b=c"},
                      TXAddrCase{"Https", "https://10.0.0.1:5358/x", ""},
                      TXAddrCase{"HostName", "http://printer.local:5357/x", ""},
                      TXAddrCase{"IPv6", "http://[fe80::1]:5357/x", ""},
                      TXAddrCase{"UserInfo", "http://a:b@10.0.0.1/x", ""},
                      TXAddrCase{"HeaderInjection", "http://10.0.0.1/x\r\nHost: evil", ""},
                      TXAddrCase{"Garbage", "::::", ""}),
    TCaseName());

struct THttpCase {
    std::string Name;
    QByteArray Raw;
    bool Closed;
    THttpState State;
    QByteArray Body;
};
void PrintTo(const THttpCase& c, std::ostream* os) { *os << c.Name; }

class WsdHttp : public ::testing::TestWithParam<THttpCase> {};

TEST_P(WsdHttp, ResponseIsReadByItsFraming) {
    const THttpCase& c = GetParam();
    QByteArray body;
    EXPECT_EQ(int(ReadHttpResponse(c.Raw, c.Closed, &body)), int(c.State));
    if (c.State == THttpState::Done) EXPECT_EQ(body, c.Body);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WsdHttp,
    ::testing::Values(
        THttpCase{"ContentLength", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, THttpState::Done, "hello"},
        THttpCase{"ContentLengthShort", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", false, THttpState::Incomplete, {}},
        THttpCase{"ContentLengthShortClosed", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", true, THttpState::Failed, {}},
        THttpCase{"UntilClose", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nhello", true, THttpState::Done, "hello"},
        THttpCase{"UntilCloseOpen", "HTTP/1.0 200 OK\r\n\r\nhel", false, THttpState::Incomplete, {}},
        THttpCase{"Chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhel\r\n2;x=y\r\nlo\r\n0\r\n\r\n", false,
                  THttpState::Done, "hello"},
        THttpCase{"ChunkedBadSize", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhel\r\n", false, THttpState::Failed, {}},
        THttpCase{"ChunkTooBig", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFF\r\n", false, THttpState::Failed, {}},
        THttpCase{"NotFound", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false, THttpState::Failed, {}},
        THttpCase{"NegativeLength", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, THttpState::Failed, {}},
        THttpCase{"LengthTooBig", "HTTP/1.1 200 OK\r\nContent-Length: 99999999\r\n\r\n", false, THttpState::Failed, {}},
        THttpCase{"EndlessHeader", "HTTP/1.1 200 OK\r\nX: " + QByteArray(9000, 'a'), false, THttpState::Failed, {}},
        THttpCase{"NoStatusLine", "\r\n\r\nhello", true, THttpState::Failed, {}}),
    TCaseName());

} // namespace
