#pragma once

#include "text/RichDocUnit.h"
#include "text/RtfCodePageUnit.h"

#include <QByteArray>
#include <functional>

// Writes a document as RTF that rich-edit controls, LibreOffice and our own
// reader take. Text is written as \'xx bytes of the node's code page where it
// encodes there, else as \uN with '?' for readers without Unicode.
//
// Each picture becomes an embedded object (OlePictureUnit) with the image
// file's own bytes, followed by a \result picture for readers that cannot use
// the object: PNG and JPEG as they are (\pngblip, \jpegblip), BMP as its DIB
// (\dibitmap0), a GIF as a PNG of its first frame (PngRenditionUnit). The
// object keeps the file's own bytes: peers show GIF, JPEG and BMP from it.
// Any other picture gets a \result only when PngRendition supplies PNG bytes.

struct TRtfWriteOptions {
    int CodePage = kDefaultCodePage;
    std::function<QByteArray(const TRichPicture&)> PngRendition;
};

QByteArray WriteRtf(const TRichDocument& document, const TRtfWriteOptions& options = {});
