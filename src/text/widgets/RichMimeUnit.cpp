#include "text/widgets/RichMimeUnit.h"

#include <QMimeData>
#include <QUrl>

namespace RichMime {
namespace {

const QString kPrivateName = QStringLiteral("QLMPrivate Format");
const QString kWindowsPrivate = QStringLiteral("application/x-qt-windows-mime;value=\"QLMPrivate Format\"");
const QString kRtfNames[] = {
    QStringLiteral("text/rtf"), QStringLiteral("application/rtf"), QStringLiteral("text/richtext"),
    QStringLiteral("application/x-qt-windows-mime;value=\"Rich Text Format\""),
};

struct TOwnFormat {
    const char* Mime;
    TPictureFormat Format;
};
constexpr TOwnFormat kOwnFormats[] = {{"image/gif", TPictureFormat::Gif}, {"image/jpeg", TPictureFormat::Jpeg}};

const char* MimeOf(TPictureFormat format) {
    switch (format) {
    case TPictureFormat::Gif: return "image/gif";
    case TPictureFormat::Png: return "image/png";
    case TPictureFormat::Jpeg: return "image/jpeg";
    case TPictureFormat::Bmp: return "image/bmp";
    case TPictureFormat::Unknown: break;
    }
    return nullptr;
}

} // namespace

QByteArray RtfOf(const QMimeData& data) {
    for (const QString& name : kRtfNames)
        if (data.hasFormat(name)) return data.data(name);
    return {};
}

bool HasPrivateFormat(const QMimeData& data) {
    return data.hasFormat(kPrivateName) || data.hasFormat(kWindowsPrivate);
}

QByteArray PrivateFormatOf(const QMimeData& data) {
    return data.hasFormat(kPrivateName) ? data.data(kPrivateName) : data.data(kWindowsPrivate);
}

QStringList LocalFiles(const QMimeData& data) {
    QStringList paths;
    if (!data.hasUrls()) return paths;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

QByteArray OwnPictureBytes(const QMimeData& data) {
    if (data.hasFormat(PictureBytes)) {
        const QByteArray bytes = data.data(PictureBytes);
        if (!bytes.isEmpty()) return bytes;
    }
    for (const TOwnFormat& own : kOwnFormats) {
        const QString mime = QString::fromLatin1(own.Mime);
        if (!data.hasFormat(mime)) continue;
        const QByteArray bytes = data.data(mime);
        if (SniffPictureFormat(bytes) == own.Format) return bytes;
    }
    return {};
}

bool HasBitmap(const QMimeData& data) { return data.hasImage() || !OwnPictureBytes(data).isEmpty(); }

QImage BitmapOf(const QMimeData& data) { return qvariant_cast<QImage>(data.imageData()); }

void AddPicture(QMimeData& data, const TRichPicture& picture, const QImage& shown) {
    if (!shown.isNull()) data.setImageData(shown);
    data.setData(PictureBytes, picture.Bytes);
    if (const char* mime = MimeOf(picture.Format)) data.setData(QString::fromLatin1(mime), picture.Bytes);
}

} // namespace RichMime
