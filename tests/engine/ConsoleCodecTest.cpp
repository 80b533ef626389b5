// The console message wire without sockets: NetBIOS names, the name query,
// the session service and the SMB1 message commands.
#include "console/ConsoleCodecUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

using namespace ConsoleWire;

namespace {

QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

// An SMB reply header and body as a peer sends it.
QByteArray SmbReply(quint8 command, bool nt, quint32 status, QList<quint16> words = {}, QByteArray bytes = {}) {
    QByteArray h(32, '\0');
    h[0] = char(0xFF);
    h[1] = 'S';
    h[2] = 'M';
    h[3] = 'B';
    h[4] = char(command);
    if (nt) {
        for (int i = 0; i < 4; ++i) h[5 + i] = char((status >> (8 * i)) & 0xFF);
        h[11] = char(0x40);
    } else {
        h[5] = char(status >> 16);
        h[7] = char(status & 0xFF);
        h[8] = char((status >> 8) & 0xFF);
    }
    h[9] = char(0x80);
    h.append(char(words.size()));
    for (quint16 w : words) {
        h.append(char(w & 0xFF));
        h.append(char(w >> 8));
    }
    h.append(char(bytes.size() & 0xFF));
    h.append(char(bytes.size() >> 8));
    return h + bytes;
}

// A positive answer about name<03> with the given addresses (RDATA of 6 bytes each).
QByteArray PositiveAnswer(quint16 id, const QByteArray& name, QList<quint32> addresses, quint8 suffix = kMessengerSuffix) {
    QByteArray d;
    d.append(char(id >> 8));
    d.append(char(id & 0xFF));
    d.append(Hex("8500"));         // response, authoritative, RD
    d.append(Hex("0000000100000000")); // 0 questions, 1 answer
    d.append(EncodeName(name, suffix));
    d.append(Hex("00200001"));     // NB, IN
    d.append(Hex("000493e0"));     // TTL
    const int rd = 6 * int(addresses.size());
    d.append(char(rd >> 8));
    d.append(char(rd & 0xFF));
    for (quint32 a : addresses) {
        d.append(Hex("0000"));
        for (int s = 24; s >= 0; s -= 8) d.append(char((a >> s) & 0xFF));
    }
    return d;
}

} // namespace

TEST(ConsoleNames, FirstLevelEncodingOfKnownNames) {
    // RFC 1001's example: "FRED" padded with spaces, suffix 0x20.
    EXPECT_EQ(EncodeName("FRED", 0x20), QByteArray("\x20" "EGFCEFEECACACACACACACACACACACACA", 33) + QByteArray(1, '\0'));
    // Lower case goes up; the messenger suffix is the last pair.
    const QByteArray peer = EncodeName("peer", kMessengerSuffix);
    ASSERT_EQ(peer.size(), 34);
    EXPECT_EQ(peer.mid(1, 32), QByteArray("FAEFEFFCCACACACACACACACACACACAAD"));
    const auto back = DecodeName(peer.mid(1, 32));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->first, QByteArray("PEER"));
    EXPECT_EQ(back->second, kMessengerSuffix);
    // Fifteen bytes is the most a name has; sixteen do not encode.
    EXPECT_EQ(EncodeName(QByteArray(15, 'A'), 0).size(), 34);
    EXPECT_TRUE(EncodeName(QByteArray(16, 'A'), 0).isEmpty());
    EXPECT_FALSE(DecodeName(QByteArray(32, 'Q')));  // beyond 'P'
    EXPECT_FALSE(DecodeName(QByteArray(30, 'A')));
}

TEST(ConsoleNameQuery, RequestCarriesTheBroadcastFlagAndOneQuestion) {
    const QByteArray q = BuildNameQuery(0x1234, "PEER", kMessengerSuffix, true);
    ASSERT_EQ(q.size(), 12 + 34 + 4);
    EXPECT_EQ(q.left(12), Hex("123401100001000000000000"));
    EXPECT_EQ(q.mid(12, 34), EncodeName("PEER", kMessengerSuffix));
    EXPECT_EQ(q.right(4), Hex("00200001"));
    EXPECT_EQ(BuildNameQuery(0x1234, "PEER", kMessengerSuffix, false).mid(2, 2), Hex("0100"));
    EXPECT_TRUE(BuildNameQuery(1, QByteArray(16, 'X'), 3, true).isEmpty());
}

struct TAnswerCase {
    std::string Name;
    QByteArray Datagram;
    bool Parsed;
    bool Positive;
    QList<QHostAddress> Addresses;
};
void PrintTo(const TAnswerCase& c, std::ostream* os) { *os << c.Name; }
class ConsoleNameAnswer : public ::testing::TestWithParam<TAnswerCase> {};

TEST_P(ConsoleNameAnswer, TakesOnlyWellFormedAnswersToOurQuestion) {
    const TAnswerCase& c = GetParam();
    const auto answer = ParseNameQueryResponse(c.Datagram, 0x4242, "PEER", kMessengerSuffix);
    ASSERT_EQ(bool(answer), c.Parsed);
    if (!answer) return;
    EXPECT_EQ(answer->Positive, c.Positive);
    EXPECT_EQ(answer->Addresses, c.Addresses);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleNameAnswer,
    ::testing::Values(
        TAnswerCase{"OneAddress", PositiveAnswer(0x4242, "PEER", {0x0A4D0001}), true, true, {QHostAddress("10.77.0.1")}},
        TAnswerCase{"TwoAddressesInOrder", PositiveAnswer(0x4242, "PEER", {0x0A4D0002, 0x0A4D0001}), true, true,
                    {QHostAddress("10.77.0.2"), QHostAddress("10.77.0.1")}},
        TAnswerCase{"Negative", Hex("424285830000000000000000"), true, false, {}},
        TAnswerCase{"OtherTransaction", PositiveAnswer(0x4243, "PEER", {1}), false, false, {}},
        TAnswerCase{"OtherName", PositiveAnswer(0x4242, "PIER", {1}), false, false, {}},
        TAnswerCase{"OtherSuffix", PositiveAnswer(0x4242, "PEER", {1}, 0x20), false, false, {}},
        TAnswerCase{"ARequestNotAnAnswer", BuildNameQuery(0x4242, "PEER", kMessengerSuffix, true), false, false, {}},
        TAnswerCase{"TruncatedAddress", PositiveAnswer(0x4242, "PEER", {1}).chopped(2), false, false, {}},
        TAnswerCase{"TruncatedHeader", Hex("42428500"), false, false, {}},
        TAnswerCase{"NoAddress", PositiveAnswer(0x4242, "PEER", {}), false, false, {}},
        TAnswerCase{"RecordLengthNotOfSixes", [] {
                        QByteArray d = PositiveAnswer(0x4242, "PEER", {1});
                        d[d.size() - 7] = 5;
                        return d;
                    }(), false, false, {}},
        TAnswerCase{"OversizedDatagram", PositiveAnswer(0x4242, "PEER", QList<quint32>(100, 1)), false, false, {}},
        TAnswerCase{"PositiveWithoutRecord", Hex("424285000000000000000000"), false, false, {}}),
    TCaseName());

TEST(ConsoleSession, RequestAndHeaders) {
    const QByteArray r = BuildSessionRequest("PEER", kMessengerSuffix, "ME", kWorkstationSuffix);
    EXPECT_EQ(r.left(4), Hex("81000044"));
    EXPECT_EQ(r.mid(4, 34), EncodeName("PEER", kMessengerSuffix));
    EXPECT_EQ(r.mid(38), EncodeName("ME", kWorkstationSuffix));
    EXPECT_TRUE(BuildSessionRequest(QByteArray(16, 'A'), 3, "ME", 0).isEmpty());

    EXPECT_EQ(WrapSessionMessage("abc"), Hex("00000003") + "abc");
    EXPECT_EQ(WrapSessionMessage(QByteArray(0x10001, 'x')).left(4), Hex("00010001"));
    const auto h = ParseSessionHeader(Hex("0001ffff"));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Length, 0x1FFFF);
    EXPECT_FALSE(ParseSessionHeader(Hex("00020000")));  // reserved flag bits
    EXPECT_FALSE(ParseSessionHeader(Hex("000000")));
}

TEST(ConsoleSmb, MessageCommandsLayOutTheirBlocks) {
    const QByteArray single = BuildSendSingle("ME", "PEER", "hi", 7);
    ASSERT_EQ(single.size(), 32 + 1 + 2 + 4 + 6 + 5);
    EXPECT_EQ(quint8(single[4]), scSendSingle);
    EXPECT_EQ(single.mid(30, 2), Hex("0700"));                 // mid
    EXPECT_EQ(single.mid(32), Hex("000f00") + "\x04ME" + QByteArray(1, 0) + "\x04PEER" + QByteArray(1, 0) + Hex("010200") + "hi");

    const QByteArray start = BuildSendStart("ME", "PEER", 1);
    EXPECT_EQ(quint8(start[4]), scSendStart);
    EXPECT_EQ(start.mid(32), Hex("000a00") + "\x04ME" + QByteArray(1, 0) + "\x04PEER" + QByteArray(1, 0));
    const QByteArray text = BuildSendText(0x0102, "abc", 2);
    EXPECT_EQ(text.mid(32), Hex("0102010600010300") + "abc");
    const QByteArray end = BuildSendEnd(0x0102, 3);
    EXPECT_EQ(end.mid(32), Hex("0102010000"));
    const QByteArray negotiate = BuildNegotiate(1);
    EXPECT_EQ(quint8(negotiate[4]), scNegotiate);
    EXPECT_TRUE(negotiate.endsWith(QByteArray("\x02NT LM 0.12", 11) + QByteArray(1, 0)));
}

struct TReplyCase {
    std::string Name;
    QByteArray Bytes;
    bool Parsed;
    TConsoleResult Result;
};
void PrintTo(const TReplyCase& c, std::ostream* os) { *os << c.Name; }
class ConsoleSmbReply : public ::testing::TestWithParam<TReplyCase> {};

TEST_P(ConsoleSmbReply, MapsTheStatusToTheServiceResults) {
    const TReplyCase& c = GetParam();
    const auto reply = ParseSmbReply(c.Bytes);
    ASSERT_EQ(bool(reply), c.Parsed);
    if (reply) EXPECT_EQ(ResultOfSmbStatus(*reply), c.Result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleSmbReply,
    ::testing::Values(
        TReplyCase{"Success", SmbReply(scSendSingle, false, 0), true, TConsoleResult::Sent},
        TReplyCase{"SuccessNt", SmbReply(scSendSingle, true, 0), true, TConsoleResult::Sent},
        TReplyCase{"DosAccessDenied", SmbReply(scSendStart, false, 0x010005), true, TConsoleResult::AccessDenied},
        TReplyCase{"SrvAccessDenied", SmbReply(scSendStart, false, 0x020004), true, TConsoleResult::AccessDenied},
        TReplyCase{"NtAccessDenied", SmbReply(scSendStart, true, 0xC0000022), true, TConsoleResult::AccessDenied},
        TReplyCase{"MessagesOff", SmbReply(scSendStart, false, 0x020052), true, TConsoleResult::NotSupported},
        TReplyCase{"NtRequestNotAccepted", SmbReply(scSendStart, true, 0xC00000D0), true, TConsoleResult::NotSupported},
        TReplyCase{"DosInvalidParameter", SmbReply(scSendText, false, 0x010057), true, TConsoleResult::InvalidParameter},
        TReplyCase{"NtBadNetworkName", SmbReply(scSendText, true, 0xC00000CC), true, TConsoleResult::NameNotFound},
        TReplyCase{"SomethingElse", SmbReply(scSendEnd, false, 0x030001), true, TConsoleResult::Other},
        TReplyCase{"NtSomethingElse", SmbReply(scSendEnd, true, 0xC0000001), true, TConsoleResult::Other},
        TReplyCase{"BadMagic", [] {
                       QByteArray b = SmbReply(scSendEnd, false, 0);
                       b[1] = 'X';
                       return b;
                   }(), false, TConsoleResult::Other},
        TReplyCase{"ARequest", BuildSendEnd(1, 1), false, TConsoleResult::Other},
        TReplyCase{"WordsBeyondTheEnd", SmbReply(scSendStart, false, 0, {1}).chopped(3), false, TConsoleResult::Other},
        TReplyCase{"BytesBeyondTheEnd", SmbReply(scSendStart, false, 0, {}, "abc").chopped(1), false, TConsoleResult::Other},
        TReplyCase{"HeaderOnly", SmbReply(scSendStart, false, 0).left(32), false, TConsoleResult::Other}),
    TCaseName());

TEST(ConsoleSmb, SessionRefusalsAndCodes) {
    EXPECT_EQ(ResultOfSessionRefusal(0x82), TConsoleResult::NameNotFound);
    EXPECT_EQ(ResultOfSessionRefusal(0x80), TConsoleResult::NameNotFound);
    EXPECT_EQ(ResultOfSessionRefusal(0x81), TConsoleResult::NotSupported);
    EXPECT_EQ(ResultOfSessionRefusal(0x8F), TConsoleResult::Other);
    EXPECT_EQ(ResultCode(TConsoleResult::Sent), 0);
    EXPECT_EQ(ResultCode(TConsoleResult::AccessDenied), 5);
    EXPECT_EQ(ResultCode(TConsoleResult::NotSupported), 50);
    EXPECT_EQ(ResultCode(TConsoleResult::InvalidParameter), 87);
    EXPECT_EQ(ResultCode(TConsoleResult::NetworkFailure), 2136);
    EXPECT_EQ(ResultCode(TConsoleResult::NameNotFound), 2273);
}
