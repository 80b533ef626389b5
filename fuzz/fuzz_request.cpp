// Feeds arbitrary bytes to the TCP request reader the way a connection would:
// a header line, then length-prefixed blocks.
#include "protocol/EnvelopeUnit.h"
#include "protocol/RequestReaderUnit.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TRequestReader reader(buffer, [](int) { return false; });
    QByteArray line;
    if (reader.ReadLine(&line) != TRequestReader::rrOk) return 0;
    if (const auto header = TEnvelope::Parse(line)) {
        (void)header->Field(5);
        (void)header->Rest(3);
    }
    QByteArray block;
    for (int i = 0; i < 4; ++i)
        if (reader.ReadBlock(&block, 1 << 20, 0) != TRequestReader::rrOk) break;
    return 0;
}
