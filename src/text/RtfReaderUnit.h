#pragma once

#include "text/RichDocUnit.h"

#include <QByteArray>
#include <optional>

// Reads RTF as a Windows rich-edit control, word processors and our own
// writer produce it. Network input: nothing in it is trusted, anything not
// understood is skipped, and the limits below bound what it may cost.

struct TRtfReadLimits {
    int MaxDepth = 256;                      // deeper groups are skipped whole
    int MaxPictures = 1000;                  // later pictures are dropped
    qint64 MaxPictureBytes = qint64(256) << 20; // picture and object data together
};

// What the reader had to leave out; tests and diagnostics read it.
struct TRtfReadNotes {
    int DroppedPictures = 0; // unreadable, unsupported or over a limit
    int ObjectsFromResult = 0; // objects whose own data failed, shown by their \result
    int SkippedDeepGroups = 0;
    bool Truncated = false; // the input ended inside a group or a \bin
};

// None when the bytes do not begin with "{\rtf"; otherwise all that could be read.
std::optional<TRichDocument> ReadRtf(const QByteArray& rtf, const TRtfReadLimits& limits = {},
                                     TRtfReadNotes* notes = nullptr);

// RTF written by a node of languageId, its text shown in this node's script
// when AutoCodeConvert calls for it; none when the bytes are no RTF.
std::optional<TRichDocument> ReadRtfFrom(const QByteArray& body, int languageId);
// A message body as stored or received: the RTF it holds, or else plain text
// in its author's code page (languageId); a peer's GB2312 or Big5 text in
// this node's script when AutoCodeConvert calls for it.
TRichDocument ReadBody(const QByteArray& body, int languageId);
