// Feeds arbitrary bytes to the RTF reader as a message from the network
// would; what it reads is written again to exercise the writer on odd text.
#include "text/RtfReaderUnit.h"
#include "text/RtfWriterUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes("{\\rtf1", 6);
    bytes.append(reinterpret_cast<const char*>(data), qsizetype(size));
    TRtfReadLimits limits;
    limits.MaxPictureBytes = 1 << 20;
    TRtfReadNotes notes;
    const std::optional<TRichDocument> document = ReadRtf(bytes, limits, &notes);
    if (document && size < 4096) {
        TRtfWriteOptions options;
        options.CodePage = size % 2 ? 936 : 1252;
        const std::optional<TRichDocument> back = ReadRtf(WriteRtf(*document, options));
        if (!back || back->PlainText() != document->PlainText()) __builtin_trap();
    }
    return 0;
}
