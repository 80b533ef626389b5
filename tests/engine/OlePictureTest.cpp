// The embedded picture object: OLE1 record around a compound file whose root
// has the picture control's class id and the stream with the image's bytes.
#include "text/OlePictureUnit.h"

#include "text/CompoundFileCheckUnit.h"

#include "support/CaseName.h"
#include "support/RichFixtures.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <functional>
#include <memory>
#include <ostream>

namespace {

using namespace RichFixtures;

struct TGObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};

QString ClassIdText(const guint8* id) {
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(qFromLittleEndian<quint32>(id), 8, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(id + 4), 4, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(id + 6), 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(id + 8), 2).toHex()))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(id + 10), 6).toHex()))
        .toUpper();
}

TEST(OlePictureStorage, LibgsfReadsClassIdAndStream) {
    const QByteArray file = BuildPictureStorage(Jpeg());
    ASSERT_FALSE(file.isEmpty());
    std::unique_ptr<GsfInput, TGObjectUnref> input(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(file.constData()), file.size(), FALSE));
    std::unique_ptr<GsfInfile, TGObjectUnref> storage(gsf_infile_msole_new(input.get(), nullptr));
    ASSERT_TRUE(storage);
    guint8 id[16] = {};
    ASSERT_TRUE(gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(storage.get()), id));
    EXPECT_EQ(ClassIdText(id), QStringLiteral("{06ADA938-0FB0-4BC0-B19B-0A38AB17F182}"));
    ASSERT_EQ(gsf_infile_num_children(storage.get()), 1);
    EXPECT_STREQ(gsf_infile_name_by_index(storage.get(), 0), "QLMGIFSTREAM");
    std::unique_ptr<GsfInput, TGObjectUnref> stream(gsf_infile_child_by_index(storage.get(), 0));
    ASSERT_EQ(gsf_input_size(stream.get()), Jpeg().size());
    QByteArray bytes(Jpeg().size(), '\0');
    ASSERT_TRUE(gsf_input_read(stream.get(), bytes.size(), reinterpret_cast<guint8*>(bytes.data())));
    EXPECT_EQ(bytes, Jpeg());
}

TEST(OlePictureStorage, LargePictureGoesThroughTheBigBlocks) {
    QByteArray big;
    for (int i = 0; i < 70000; ++i) big += char(i * 7);
    EXPECT_EQ(ReadPictureStorage(BuildPictureStorage(big)), big);
    EXPECT_EQ(ReadPictureObject(BuildPictureObject(big)), big);
}

TEST(OlePictureObject, RecordCarriesClassNameAndStorage) {
    const QByteArray record = BuildPictureObject(Gif());
    const std::optional<TOle1Object> object = ParseOle1Object(record);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->ClassName, QByteArray(kPictureObjectClass));
    EXPECT_EQ(object->Native, BuildPictureStorage(Gif()));
    EXPECT_EQ(qFromLittleEndian<quint32>(record.constData()), 0x501u);
    EXPECT_EQ(qFromLittleEndian<quint32>(record.constData() + 4), 2u);
    EXPECT_EQ(ReadPictureObject(record), Gif());
}

QByteArray Le32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray Record(quint32 format, quint32 classLength, const QByteArray& rest) {
    return Le32(0x501) + Le32(format) + Le32(classLength) + rest;
}

struct TRecordCase {
    std::string Name;
    QByteArray Record;
    bool Parses;
};
void PrintTo(const TRecordCase& c, std::ostream* os) {
    *os << c.Name;
}

class OlePictureRecord : public ::testing::TestWithParam<TRecordCase> {};

TEST_P(OlePictureRecord, ParsesOnlyWhatIsThere) {
    EXPECT_EQ(ParseOle1Object(GetParam().Record).has_value(), GetParam().Parses);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OlePictureRecord,
    ::testing::Values(
        TRecordCase{"Minimal", Record(2, 2, QByteArray("A\0", 2) + Le32(0) + Le32(0) + Le32(3) + "abc"), true},
        TRecordCase{"NativeRunsPastEnd", Record(2, 2, QByteArray("A\0", 2) + Le32(0) + Le32(0) + Le32(4) + "abc"), false},
        TRecordCase{"HugeNativeSize", Record(2, 0, Le32(0) + Le32(0) + Le32(0xFFFFFFF0) + "abc"), false},
        TRecordCase{"HugeClassName", Record(2, 0xFFFFFFFF, "abc"), false},
        TRecordCase{"ClassNameRunsPastEnd", Record(2, 10, "abc"), false},
        TRecordCase{"LinkedNotEmbedded", Record(1, 0, Le32(0) + Le32(0) + Le32(0)), false},
        TRecordCase{"NoNativeSize", Record(2, 0, Le32(0) + Le32(0)), false},
        TRecordCase{"HeaderOnly", Le32(0x501), false},
        TRecordCase{"Empty", QByteArray(), false}),
    TCaseName());

// Compound files with one field made wrong.
struct TStorageCase {
    std::string Name;
    std::function<QByteArray(QByteArray)> Break;
    // Caught before libgsf, which would keep part of a looping directory.
    bool CaughtByCheck = true;
};
void PrintTo(const TStorageCase& c, std::ostream* os) {
    *os << c.Name;
}

QByteArray Patch32(QByteArray file, qsizetype at, quint32 value) {
    if (at >= 0 && at + 4 <= file.size()) qToLittleEndian(value, file.data() + at);
    return file;
}

qsizetype StreamEntry(const QByteArray& file) {
    return file.indexOf(QByteArrayView("Q\0L\0M\0G\0I\0F", 11));
}

// The root entry opens the directory; 512-byte sectors, so it sits at the
// start of the directory's first sector.
qsizetype RootEntry(const QByteArray& file) {
    return (qsizetype(qFromLittleEndian<quint32>(file.constData() + 0x30)) + 1) * 512;
}
quint32 StreamId(const QByteArray& file) {
    return quint32((StreamEntry(file) - RootEntry(file)) / 128);
}
// The FAT entry of the directory's first sector, so that its chain loops.
QByteArray LoopDirectoryChain(QByteArray f) {
    const quint32 dir = qFromLittleEndian<quint32>(f.constData() + 0x30);
    const qsizetype fat = (qsizetype(qFromLittleEndian<quint32>(f.constData() + 0x4C)) + 1) * 512;
    return Patch32(f, fat + 4 * dir, dir);
}

class OlePictureBrokenStorage : public ::testing::TestWithParam<TStorageCase> {};

TEST_P(OlePictureBrokenStorage, IsRefused) {
    QByteArray image;
    for (int i = 0; i < 9000; ++i) image += char(i);
    const QByteArray sound = BuildPictureStorage(image);
    ASSERT_TRUE(CompoundDirectoryIsSound(sound));
    const QByteArray file = GetParam().Break(sound);
    EXPECT_FALSE(ReadPictureStorage(file).has_value());
    if (GetParam().CaughtByCheck) { EXPECT_FALSE(CompoundDirectoryIsSound(file)); }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OlePictureBrokenStorage,
    ::testing::Values(
        TStorageCase{"StreamSizeBeyondFile", [](QByteArray f) { return Patch32(f, StreamEntry(f) + 120, 0x7FFFFFFF); }, false},
        TStorageCase{"StreamStartsNowhere", [](QByteArray f) { return Patch32(f, StreamEntry(f) + 116, 0x00FFFFF0); }, false},
        TStorageCase{"BadSectorShift", [](QByteArray f) { return Patch32(f, 0x1C, 0xFFFFFFFE); }},
        TStorageCase{"HugeFatCount", [](QByteArray f) { return Patch32(f, 0x2C, 0x7FFFFFFF); }},
        TStorageCase{"DirectoryNowhere", [](QByteArray f) { return Patch32(f, 0x30, 0x00FFFFF0); }},
        TStorageCase{"RootChildIsRoot", [](QByteArray f) { return Patch32(f, RootEntry(f) + 0x4C, 0); }},
        TStorageCase{"RootSiblingIsTheStream", [](QByteArray f) { return Patch32(f, RootEntry(f) + 0x44, StreamId(f)); }},
        TStorageCase{"StreamIsItsOwnSibling", [](QByteArray f) { return Patch32(f, StreamEntry(f) + 0x44, StreamId(f)); }},
        TStorageCase{"SiblingBeyondDirectory", [](QByteArray f) { return Patch32(f, StreamEntry(f) + 0x48, 100000); }},
        TStorageCase{"DirectoryChainLoops", LoopDirectoryChain},
        TStorageCase{"BadSignature", [](QByteArray f) { return Patch32(f, 0, 0); }},
        TStorageCase{"TruncatedHeader", [](QByteArray f) { return f.left(300); }},
        TStorageCase{"TruncatedSectors", [](QByteArray f) { return f.left(f.size() / 2); }},
        TStorageCase{"Empty", [](QByteArray) { return QByteArray(); }}),
    TCaseName());

} // namespace
