#pragma once

#include <QByteArray>
#include <array>
#include <optional>

// The embedded picture object of a message: an OLE1 embedded-object record
// (what RTF's \objdata carries) whose native data is a compound file. The
// compound file's root storage has the picture control's class id and one
// stream "QLMGIFSTREAM" holding the image file's own bytes.

// OLE1 class name written for our objects: the programmatic name of the
// picture control class. Readers look at the stream, not at this name.
inline constexpr char kPictureObjectClass[] = "QLMPicture.Image";
inline constexpr char kPictureStreamName[] = "QLMGIFSTREAM";
// {06ADA938-0FB0-4BC0-B19B-0A38AB17F182} as a compound file stores it
// (first three fields little-endian).
inline constexpr std::array<quint8, 16> kPictureClassId = {
    0x38, 0xA9, 0xAD, 0x06, 0xB0, 0x0F, 0xC0, 0x4B,
    0xB1, 0x9B, 0x0A, 0x38, 0xAB, 0x17, 0xF1, 0x82};

// The fields of an OLE1 embedded object; Native points into the record.
struct TOle1Object {
    QByteArray ClassName;
    QByteArray Native;
};

// Reads version, format id (must be 2, embedded), class, topic and item
// names and the native data; none when a length runs past the bytes.
std::optional<TOle1Object> ParseOle1Object(const QByteArray& record);
QByteArray BuildOle1Object(const QByteArray& className, const QByteArray& native);

// Compound file with the class id above and the picture stream; empty when
// libgsf cannot write it.
QByteArray BuildPictureStorage(const QByteArray& imageBytes);
// The picture stream of a compound file (name compared without case); none
// when the file or stream cannot be read or claims more than the file holds.
std::optional<QByteArray> ReadPictureStorage(const QByteArray& compoundFile);

// The whole object: OLE1 record around the compound file, and back.
QByteArray BuildPictureObject(const QByteArray& imageBytes);
std::optional<QByteArray> ReadPictureObject(const QByteArray& record);
