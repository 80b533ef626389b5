// Feeds arbitrary bytes to the WS-Discovery readers as the client meets
// them: a datagram that may be ProbeMatches or ResolveMatches, an HTTP
// response, and the metadata body inside it.
#include "neighbourhood/WsdCodecUnit.h"

using namespace WsdWire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The id the seeds answer, so the parser goes past the conversation check.
    static const QString id = QStringLiteral("urn:uuid:5a0e0f4c-1111-4222-8333-444455556666");
    if (const auto matches = ParseMatches(bytes, id, 64))
        for (const TMatch& m : *matches) {
            (void)m.IsComputer();
            for (const QString& x : m.XAddrs) (void)ParseXAddr(x);
        }
    QByteArray body;
    for (const bool closed : {false, true})
        if (ReadHttpResponse(bytes, closed, &body) == THttpState::Done) (void)ParseMetadata(body);
    if (const auto computer = ParseMetadata(bytes)) (void)computer->Name.size();
    return 0;
}
