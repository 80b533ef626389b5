// Feeds arbitrary bytes to the picture object reader: first as an OLE1
// record, then as the compound file itself.
#include "text/OlePictureUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<QByteArray> picture = ReadPictureObject(bytes))
        if (picture->size() > bytes.size()) __builtin_trap();
    if (const std::optional<QByteArray> picture = ReadPictureStorage(bytes))
        if (picture->size() > bytes.size()) __builtin_trap();
    return 0;
}
