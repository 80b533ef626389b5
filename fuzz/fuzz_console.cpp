// Feeds arbitrary bytes to the console message reply parsers the way the
// transport meets them: a name query answer (datagram), then a stream of
// session packets whose bodies are SMB replies.
#include "console/ConsoleCodecUnit.h"

using namespace ConsoleWire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The datagram's own transaction id, so that the parser goes past it.
    const quint16 id = size >= 2 ? quint16((data[0] << 8) | data[1]) : 0;
    if (const auto answer = ParseNameQueryResponse(bytes, id, "PEER", kMessengerSuffix))
        (void)answer->Addresses.size();
    if (size >= 32) (void)DecodeName(bytes.left(32));

    // As the session reader does: a header, a body within the bound, next.
    qsizetype at = 0;
    for (int packets = 0; packets < 64 && at + 4 <= bytes.size(); ++packets) {
        const auto header = ParseSessionHeader(bytes.mid(at, 4));
        if (!header || header->Length > kMaxSessionReply) break;
        at += 4;
        const QByteArray body = bytes.mid(at, header->Length);
        at += header->Length;
        if (header->Type == stNegative && body.size() == 1) (void)ResultOfSessionRefusal(quint8(body[0]));
        if (const auto reply = ParseSmbReply(body)) (void)ResultCode(ResultOfSmbStatus(*reply));
    }
    return 0;
}
