#pragma once

#include "text/RichDocUnit.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

class QMimeData;

// Clipboard and drag-and-drop data of the rich-text controls.
namespace RichMime {

// What copies out of a pane offer besides plain text.
inline const QString Rtf = QStringLiteral("text/rtf");
// The picture's own file bytes, offered with a copied picture so that
// pasting it into an input keeps its bytes (and its animation).
inline const QString PictureBytes = QStringLiteral("application/x-quillmate-picture");

// RTF in any of the names programs give it; empty when there is none.
QByteArray RtfOf(const QMimeData& data);
// The private format "QLMPrivate Format" (by its name, or as the Windows
// clipboard format of that name); empty when it is not offered.
QByteArray PrivateFormatOf(const QMimeData& data);
bool HasPrivateFormat(const QMimeData& data);

// Local files of a file list; empty when the data is no file list.
QStringList LocalFiles(const QMimeData& data);

// A picture's own bytes offered with the data (ours, or a GIF or JPEG file
// whose bytes are what they claim); empty when there are none.
QByteArray OwnPictureBytes(const QMimeData& data);
bool HasBitmap(const QMimeData& data);
QImage BitmapOf(const QMimeData& data);

// Offers picture: its image (for other programs) and its own bytes.
void AddPicture(QMimeData& data, const TRichPicture& picture, const QImage& shown);

} // namespace RichMime
