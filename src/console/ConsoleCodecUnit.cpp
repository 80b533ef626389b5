#include "console/ConsoleCodecUnit.h"

#include <QtEndian>

namespace ConsoleWire {

namespace {

constexpr int kSmbHeaderBytes = 32;
constexpr quint8 kSmbFlagReply = 0x80;
constexpr quint16 kSmbFlags2NtStatus = 0x4000;
constexpr quint16 kNbFlagResponse = 0x8000;
constexpr quint16 kNbOpcodeMask = 0x7800;
constexpr quint16 kNbFlagRecursionDesired = 0x0100;
constexpr quint16 kNbFlagBroadcast = 0x0010;
constexpr quint16 kTypeNB = 0x0020;
constexpr quint16 kClassIN = 0x0001;
constexpr quint8 kBufferFormatData = 0x01;
constexpr quint8 kBufferFormatAscii = 0x04;

void PutBE16(QByteArray& out, quint16 v) {
    out.append(char(v >> 8));
    out.append(char(v & 0xFF));
}
void PutLE16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}
quint16 BE16(const QByteArray& b, int at) {
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}
quint16 LE16(const QByteArray& b, int at) {
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

QByteArray SmbHeader(quint8 command, quint16 mid) {
    QByteArray h(kSmbHeaderBytes, '\0');
    h[0] = char(0xFF);
    h[1] = 'S';
    h[2] = 'M';
    h[3] = 'B';
    h[4] = char(command);
    // Process id 0xFEFF as DOS-era clients use; the rest stays zero (no tree,
    // no user: the message commands need neither).
    h[26] = char(0xFF);
    h[27] = char(0xFE);
    h[30] = char(mid & 0xFF);
    h[31] = char(mid >> 8);
    return h;
}

QByteArray AsciiBlock(const QByteArray& text) {
    QByteArray b;
    b.append(char(kBufferFormatAscii));
    b.append(text);
    b.append('\0');
    return b;
}

QByteArray DataBlock(const QByteArray& data) {
    QByteArray b;
    b.append(char(kBufferFormatData));
    PutLE16(b, quint16(data.size()));
    b.append(data);
    return b;
}

QByteArray Smb(quint8 command, quint16 mid, const QList<quint16>& words, const QByteArray& bytes) {
    QByteArray out = SmbHeader(command, mid);
    out.append(char(words.size()));
    for (quint16 w : words) PutLE16(out, w);
    PutLE16(out, quint16(bytes.size()));
    out.append(bytes);
    return out;
}

} // namespace

QByteArray EncodeName(const QByteArray& name, quint8 suffix) {
    if (name.size() > kNetBiosNameLength) return {};
    QByteArray plain = name.toUpper().leftJustified(kNetBiosNameLength, ' ');
    plain.append(char(suffix));
    QByteArray out;
    out.reserve(34);
    out.append(char(32));
    for (char c : plain) {
        out.append(char('A' + ((quint8(c) >> 4) & 0x0F)));
        out.append(char('A' + (quint8(c) & 0x0F)));
    }
    out.append('\0');
    return out;
}

std::optional<QPair<QByteArray, quint8>> DecodeName(const QByteArray& encoded32) {
    if (encoded32.size() != 32) return std::nullopt;
    QByteArray plain;
    for (int i = 0; i < 32; i += 2) {
        const int hi = quint8(encoded32[i]) - 'A';
        const int lo = quint8(encoded32[i + 1]) - 'A';
        if (hi < 0 || hi > 15 || lo < 0 || lo > 15) return std::nullopt;
        plain.append(char((hi << 4) | lo));
    }
    const quint8 suffix = quint8(plain[15]);
    plain.chop(1);
    while (plain.endsWith(' ')) plain.chop(1);
    return QPair<QByteArray, quint8>(plain, suffix);
}

QByteArray BuildNameQuery(quint16 transactionId, const QByteArray& name, quint8 suffix, bool broadcast) {
    const QByteArray encoded = EncodeName(name, suffix);
    if (encoded.isEmpty()) return {};
    QByteArray out;
    PutBE16(out, transactionId);
    PutBE16(out, quint16(kNbFlagRecursionDesired | (broadcast ? kNbFlagBroadcast : 0)));
    PutBE16(out, 1); // one question
    PutBE16(out, 0);
    PutBE16(out, 0);
    PutBE16(out, 0);
    out.append(encoded);
    PutBE16(out, kTypeNB);
    PutBE16(out, kClassIN);
    return out;
}

std::optional<TNameQueryAnswer> ParseNameQueryResponse(const QByteArray& d, quint16 transactionId,
                                                       const QByteArray& name, quint8 suffix) {
    if (d.size() < 12 || d.size() > kMaxDatagram) return std::nullopt;
    if (BE16(d, 0) != transactionId) return std::nullopt;
    const quint16 flags = BE16(d, 2);
    if (!(flags & kNbFlagResponse) || (flags & kNbOpcodeMask) != 0) return std::nullopt;
    TNameQueryAnswer answer;
    answer.ReturnCode = flags & 0x000F;
    if (answer.ReturnCode != 0) return answer; // negative: nothing more we need
    if (BE16(d, 6) < 1) return std::nullopt;   // a positive answer without its record
    // The answer's name: one label of 32, any scope labels, a zero.
    int at = 12;
    if (quint8(d[at]) != 32 || at + 33 > d.size()) return std::nullopt;
    const auto decoded = DecodeName(d.mid(at + 1, 32));
    if (!decoded || decoded->second != suffix || decoded->first != name.toUpper()) return std::nullopt;
    at += 33;
    for (int labels = 0;; ++labels) {
        if (at >= d.size() || labels > 16) return std::nullopt;
        const int len = quint8(d[at]);
        if (len == 0) break;
        if (len > 63) return std::nullopt;
        at += 1 + len;
    }
    ++at;
    if (at + 10 > d.size()) return std::nullopt;
    if (BE16(d, at) != kTypeNB || BE16(d, at + 2) != kClassIN) return std::nullopt;
    const int rdLength = BE16(d, at + 8);
    at += 10;
    if (rdLength == 0 || rdLength % 6 != 0 || at + rdLength > d.size()) return std::nullopt;
    for (int i = 0; i < rdLength; i += 6) {
        const quint32 v = qFromBigEndian<quint32>(d.constData() + at + i + 2);
        answer.Addresses << QHostAddress(v);
    }
    answer.Positive = true;
    return answer;
}

QByteArray BuildSessionRequest(const QByteArray& calledName, quint8 calledSuffix,
                               const QByteArray& callingName, quint8 callingSuffix) {
    const QByteArray called = EncodeName(calledName, calledSuffix);
    const QByteArray calling = EncodeName(callingName, callingSuffix);
    if (called.isEmpty() || calling.isEmpty()) return {};
    QByteArray out;
    out.append(char(stRequest));
    out.append('\0');
    PutBE16(out, quint16(called.size() + calling.size()));
    return out + called + calling;
}

QByteArray WrapSessionMessage(const QByteArray& smb) {
    QByteArray out;
    out.append(char(stMessage));
    out.append(char((smb.size() >> 16) & 0x01));
    PutBE16(out, quint16(smb.size() & 0xFFFF));
    return out + smb;
}

std::optional<TSessionHeader> ParseSessionHeader(const QByteArray& four) {
    if (four.size() != 4) return std::nullopt;
    TSessionHeader h;
    h.Type = quint8(four[0]);
    const quint8 flags = quint8(four[1]);
    if (flags & 0xFE) return std::nullopt;
    h.Length = ((flags & 0x01) << 16) | BE16(four, 2);
    return h;
}

QByteArray BuildNegotiate(quint16 mid) {
    QByteArray dialect;
    dialect.append(char(0x02)); // dialect buffer format
    dialect.append("NT LM 0.12");
    dialect.append('\0');
    return Smb(scNegotiate, mid, {}, dialect);
}

QByteArray BuildSendSingle(const QByteArray& from, const QByteArray& to, const QByteArray& text, quint16 mid) {
    return Smb(scSendSingle, mid, {}, AsciiBlock(from) + AsciiBlock(to) + DataBlock(text));
}

QByteArray BuildSendStart(const QByteArray& from, const QByteArray& to, quint16 mid) {
    return Smb(scSendStart, mid, {}, AsciiBlock(from) + AsciiBlock(to));
}

QByteArray BuildSendText(quint16 group, const QByteArray& text, quint16 mid) {
    return Smb(scSendText, mid, {group}, DataBlock(text));
}

QByteArray BuildSendEnd(quint16 group, quint16 mid) {
    return Smb(scSendEnd, mid, {group}, {});
}

std::optional<TSmbReply> ParseSmbReply(const QByteArray& smb) {
    if (smb.size() < kSmbHeaderBytes + 3) return std::nullopt;
    if (quint8(smb[0]) != 0xFF || smb[1] != 'S' || smb[2] != 'M' || smb[3] != 'B') return std::nullopt;
    if (!(quint8(smb[9]) & kSmbFlagReply)) return std::nullopt;
    TSmbReply reply;
    reply.Command = quint8(smb[4]);
    reply.NtStatus = LE16(smb, 10) & kSmbFlags2NtStatus;
    if (reply.NtStatus) reply.Status = qFromLittleEndian<quint32>(smb.constData() + 5);
    else reply.Status = (quint32(quint8(smb[5])) << 16) | LE16(smb, 7);
    const int wordCount = quint8(smb[kSmbHeaderBytes]);
    int at = kSmbHeaderBytes + 1;
    if (at + 2 * wordCount + 2 > smb.size()) return std::nullopt;
    for (int i = 0; i < wordCount; ++i) reply.Words << LE16(smb, at + 2 * i);
    at += 2 * wordCount;
    const int byteCount = LE16(smb, at);
    if (at + 2 + byteCount > smb.size()) return std::nullopt;
    return reply;
}

int ResultCode(TConsoleResult result) {
    switch (result) {
    case TConsoleResult::Sent: return 0;
    case TConsoleResult::AccessDenied: return 5;
    case TConsoleResult::NotSupported: return 50;
    case TConsoleResult::InvalidParameter: return 87;
    case TConsoleResult::NetworkFailure: return 2136;
    case TConsoleResult::NameNotFound: return 2273;
    case TConsoleResult::NameTooLong:
    case TConsoleResult::Other: return -1;
    }
    return -1;
}

TConsoleResult ResultOfSmbStatus(const TSmbReply& reply) {
    if (reply.Ok()) return TConsoleResult::Sent;
    if (reply.NtStatus) {
        switch (reply.Status) {
        case 0xC0000022: return TConsoleResult::AccessDenied;      // ACCESS_DENIED
        case 0xC00000BB:                                           // NOT_SUPPORTED
        case 0xC00000D0:                                           // REQUEST_NOT_ACCEPTED
        case 0xC0000002: return TConsoleResult::NotSupported;      // NOT_IMPLEMENTED
        case 0xC000000D: return TConsoleResult::InvalidParameter;  // INVALID_PARAMETER
        case 0xC00000CC: return TConsoleResult::NameNotFound;      // BAD_NETWORK_NAME
        default: return TConsoleResult::Other;
        }
    }
    const quint8 errorClass = quint8(reply.Status >> 16);
    const quint16 code = quint16(reply.Status & 0xFFFF);
    constexpr quint8 kErrDos = 1, kErrSrv = 2;
    if ((errorClass == kErrDos && code == 5) || (errorClass == kErrSrv && code == 4)) return TConsoleResult::AccessDenied;
    if (errorClass == kErrDos && code == 1) return TConsoleResult::NotSupported;            // ERRbadfunc
    if (errorClass == kErrDos && code == 87) return TConsoleResult::InvalidParameter;
    if (errorClass == kErrSrv && (code == 82 || code == 0xFFFF)) return TConsoleResult::NotSupported; // ERRmsgoff, ERRnosupport
    return TConsoleResult::Other;
}

TConsoleResult ResultOfSessionRefusal(quint8 code) {
    switch (code) {
    case 0x80: // not listening on the called name
    case 0x82: // called name not present
        return TConsoleResult::NameNotFound;
    case 0x81: // not listening for the calling name
        return TConsoleResult::NotSupported;
    default:  // insufficient resources, unspecified
        return TConsoleResult::Other;
    }
}

} // namespace ConsoleWire
