#include "text/OlePictureUnit.h"

#include "text/CompoundFileCheckUnit.h"

#include <QtEndian>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <memory>

namespace {

constexpr quint32 kOle1Version = 0x00000501;
constexpr quint32 kOle1Embedded = 2;
// No OLE1 class name, topic or item is anywhere near this long.
constexpr quint32 kMaxNameLength = 4096;

struct TGObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using TGPtr = std::unique_ptr<T, TGObjectUnref>;

class TCursor {
public:
    explicit TCursor(const QByteArray& bytes) : FBytes(bytes) {}
    bool Read32(quint32* value) {
        if (FBytes.size() - FAt < 4) return false;
        *value = qFromLittleEndian<quint32>(FBytes.constData() + FAt);
        FAt += 4;
        return true;
    }
    // Checked against the bytes left before anything is copied.
    bool ReadBytes(quint32 length, QByteArray* out) {
        if (quint64(length) > quint64(FBytes.size() - FAt)) return false;
        *out = FBytes.mid(FAt, length);
        FAt += length;
        return true;
    }
    bool ReadString(QByteArray* out) {
        quint32 length = 0;
        if (!Read32(&length) || length > kMaxNameLength || !ReadBytes(length, out)) return false;
        if (out->endsWith('\0')) out->chop(1);
        return true;
    }

private:
    const QByteArray& FBytes;
    qsizetype FAt = 0;
};

void Append32(QByteArray* out, quint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out->append(bytes, 4);
}

void AppendString(QByteArray* out, const QByteArray& text) {
    if (text.isEmpty()) {
        Append32(out, 0);
        return;
    }
    Append32(out, quint32(text.size() + 1));
    out->append(text);
    out->append('\0');
}

std::optional<QByteArray> ReadStream(GsfInput* stream, gsf_off_t fileSize) {
    const gsf_off_t size = gsf_input_size(stream);
    // A stream cannot hold more than the whole file.
    if (size < 0 || size > fileSize) return std::nullopt;
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (size > 0 && !gsf_input_read(stream, size_t(size), reinterpret_cast<guint8*>(bytes.data())))
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<TOle1Object> ParseOle1Object(const QByteArray& record) {
    TCursor cursor(record);
    quint32 version = 0, format = 0, nativeSize = 0;
    TOle1Object object;
    QByteArray topic, item;
    if (!cursor.Read32(&version) || !cursor.Read32(&format) || format != kOle1Embedded) return std::nullopt;
    if (!cursor.ReadString(&object.ClassName) || !cursor.ReadString(&topic) || !cursor.ReadString(&item))
        return std::nullopt;
    if (!cursor.Read32(&nativeSize) || !cursor.ReadBytes(nativeSize, &object.Native)) return std::nullopt;
    return object;
}

QByteArray BuildOle1Object(const QByteArray& className, const QByteArray& native) {
    QByteArray out;
    out.reserve(native.size() + className.size() + 40);
    Append32(&out, kOle1Version);
    Append32(&out, kOle1Embedded);
    AppendString(&out, className);
    AppendString(&out, {}); // topic
    AppendString(&out, {}); // item
    Append32(&out, quint32(native.size()));
    out.append(native);
    // Presentation header with format 0: no presentation follows.
    Append32(&out, kOle1Version);
    Append32(&out, 0);
    return out;
}

QByteArray BuildPictureStorage(const QByteArray& imageBytes) {
    TGPtr<GsfOutput> sink(gsf_output_memory_new());
    if (!sink) return {};
    TGPtr<GsfOutfile> storage(gsf_outfile_msole_new(sink.get()));
    if (!storage) return {};
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(storage.get()), kPictureClassId.data());
    TGPtr<GsfOutput> stream(gsf_outfile_new_child(storage.get(), kPictureStreamName, FALSE));
    if (!stream) return {};
    const bool written = gsf_output_write(stream.get(), size_t(imageBytes.size()),
                                          reinterpret_cast<const guint8*>(imageBytes.constData()));
    const bool streamClosed = gsf_output_close(stream.get());
    const bool storageClosed = gsf_output_close(GSF_OUTPUT(storage.get()));
    if (!written || !streamClosed || !storageClosed) return {};
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (!bytes || size <= 0) return {};
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size));
}

std::optional<QByteArray> ReadPictureStorage(const QByteArray& compoundFile) {
    if (!CompoundDirectoryIsSound(compoundFile)) return std::nullopt;
    TGPtr<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(compoundFile.constData()),
                                               gsf_off_t(compoundFile.size()), FALSE));
    if (!input) return std::nullopt;
    GError* error = nullptr;
    TGPtr<GsfInfile> storage(gsf_infile_msole_new(input.get(), &error));
    if (error) g_error_free(error);
    if (!storage) return std::nullopt;
    const int count = gsf_infile_num_children(storage.get());
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(storage.get(), i);
        if (!name || qstricmp(name, kPictureStreamName) != 0) continue;
        TGPtr<GsfInput> stream(gsf_infile_child_by_index(storage.get(), i));
        // A storage of that name is not the stream.
        if (!stream || (GSF_IS_INFILE(stream.get()) && gsf_infile_num_children(GSF_INFILE(stream.get())) >= 0))
            return std::nullopt;
        return ReadStream(stream.get(), gsf_off_t(compoundFile.size()));
    }
    return std::nullopt;
}

QByteArray BuildPictureObject(const QByteArray& imageBytes) {
    const QByteArray storage = BuildPictureStorage(imageBytes);
    if (storage.isEmpty()) return {};
    return BuildOle1Object(kPictureObjectClass, storage);
}

std::optional<QByteArray> ReadPictureObject(const QByteArray& record) {
    const std::optional<TOle1Object> object = ParseOle1Object(record);
    if (!object) return std::nullopt;
    return ReadPictureStorage(object->Native);
}
