#pragma once

#include "text/RichDocUnit.h"
#include "text/widgets/RichPictureUnit.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QTextCharFormat>

class QFont;
class QTextCursor;
class QTextDocument;

// The pictures of one text edit by resource name. A QTextDocument only knows
// images; the side table keeps each picture's own file bytes, so that saving
// or sending a picture gives back exactly what was inserted or received,
// whatever it was shown as. Names are made from the bytes: equal pictures
// share one entry (and one animation).
class TRichPictureStore {
public:
    // Registers the picture and gives document its image; returns the name
    // an image format uses for it.
    QString Add(QTextDocument& document, const TRichPicture& picture);
    const TRichPicture* Find(const QString& name) const;
    // What the document shows for name (null image when unknown).
    QImage Shown(const QString& name) const;
    QSize ShownSize(const QString& name) const;
    bool IsPlaceholder(const QString& name) const;
    // Drops the pictures whose names are not in keep.
    void Keep(const QSet<QString>& keep);
    void Clear() { FEntries.clear(); }
    int Count() const { return int(FEntries.size()); }

    static bool IsPictureName(const QString& name);

private:
    struct TEntry {
        TRichPicture Picture;
        TShownPicture Shown;
    };
    QHash<QString, TEntry> FEntries;
};

// Format of the model as a character format of QTextDocument and back. A
// property the model leaves open (no font name, automatic colour) is left
// unset; defaultFont answers for a size the character format does not set.
QTextCharFormat CharFormatOf(const TRichFormat& format);
TRichFormat RichFormatOf(const QTextCharFormat& format, const QFont& defaultFont);

// Inserts the document at the cursor: paragraphs as blocks, runs as text in
// their format, pictures as images registered in store.
void InsertRichDocument(QTextCursor& cursor, const TRichDocument& document, TRichPictureStore& store);
// Inserts one picture at the cursor in the cursor's character format.
void InsertRichPicture(QTextCursor& cursor, const TRichPicture& picture, TRichPictureStore& store);

// The model of positions from..to of document (to < 0: its end). Pictures
// come from store by their image's name; an image not in the store becomes
// a PNG of what it shows, or is left out when it shows nothing. Blocks and
// paragraphs match one to one, except that the single empty block of an
// empty document is no paragraph.
TRichDocument RichDocumentOf(const QTextDocument& document, const TRichPictureStore& store, int from = 0,
                             int to = -1);

// The image name at a position (empty when the character there is no image).
QString PictureNameAt(const QTextDocument& document, int position);
