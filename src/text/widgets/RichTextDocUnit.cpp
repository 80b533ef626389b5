#include "text/widgets/RichTextDocUnit.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFont>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace {

const QString kPictureScheme = QStringLiteral("qlmpicture:");

// Frame markers and object characters that are no text of the model.
bool IsMarker(QChar c) {
    return c == QChar::ObjectReplacementCharacter || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 ||
           c.unicode() == 0xFDD1;
}

QString ModelText(QString text) {
    text.removeIf(IsMarker);
    return text;
}

QStringList FamiliesOf(const QTextCharFormat& format) {
    if (format.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = format.fontFamilies().toStringList();
        if (!families.isEmpty()) return families;
    }
    return {};
}

} // namespace

// ------------------------------------------------------------------ store

QString TRichPictureStore::Add(QTextDocument& document, const TRichPicture& picture) {
    const QString name =
        kPictureScheme + QString::fromLatin1(QCryptographicHash::hash(picture.Bytes, QCryptographicHash::Sha1).toHex());
    auto entry = FEntries.find(name);
    if (entry == FEntries.end()) entry = FEntries.insert(name, TEntry{picture, ShowPicture(picture)});
    // Again after clear(), which drops a document's resources; a running
    // animation keeps its current frame.
    if (document.resource(QTextDocument::ImageResource, QUrl(name)).isNull())
        document.addResource(QTextDocument::ImageResource, QUrl(name), entry->Shown.Image);
    return name;
}

const TRichPicture* TRichPictureStore::Find(const QString& name) const {
    auto entry = FEntries.constFind(name);
    return entry == FEntries.cend() ? nullptr : &entry->Picture;
}

QImage TRichPictureStore::Shown(const QString& name) const {
    auto entry = FEntries.constFind(name);
    return entry == FEntries.cend() ? QImage() : entry->Shown.Image;
}

QSize TRichPictureStore::ShownSize(const QString& name) const {
    auto entry = FEntries.constFind(name);
    return entry == FEntries.cend() ? QSize() : entry->Shown.Size;
}

bool TRichPictureStore::IsPlaceholder(const QString& name) const {
    auto entry = FEntries.constFind(name);
    return entry != FEntries.cend() && entry->Shown.Placeholder;
}

void TRichPictureStore::Keep(const QSet<QString>& keep) {
    for (auto entry = FEntries.begin(); entry != FEntries.end();)
        entry = keep.contains(entry.key()) ? std::next(entry) : FEntries.erase(entry);
}

bool TRichPictureStore::IsPictureName(const QString& name) { return name.startsWith(kPictureScheme); }

// ------------------------------------------------------------------ formats

QTextCharFormat CharFormatOf(const TRichFormat& format) {
    QTextCharFormat out;
    if (!format.FontName.isEmpty()) out.setFontFamilies(QStringList{format.FontName});
    if (format.HalfPoints > 0) out.setFontPointSize(format.HalfPoints / 2.0);
    if (format.Colour) out.setForeground(ColourFromRgb(*format.Colour));
    out.setFontWeight(format.Bold ? QFont::Bold : QFont::Normal);
    out.setFontItalic(format.Italic);
    out.setFontUnderline(format.Underline);
    return out;
}

TRichFormat RichFormatOf(const QTextCharFormat& format, const QFont& defaultFont) {
    TRichFormat out;
    const QStringList families = FamiliesOf(format);
    if (!families.isEmpty()) out.FontName = families.first();
    const qreal points = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize()
                                                                        : defaultFont.pointSizeF();
    out.HalfPoints = points > 0 ? qRound(points * 2) : kDefaultHalfPoints;
    if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush)
        out.Colour = RgbFromColour(format.foreground().color());
    out.Bold = format.fontWeight() >= QFont::DemiBold;
    out.Italic = format.fontItalic();
    out.Underline = format.fontUnderline();
    return out;
}

// ------------------------------------------------------------------ model -> document

void InsertRichPicture(QTextCursor& cursor, const TRichPicture& picture, TRichPictureStore& store) {
    QTextImageFormat image;
    image.merge(cursor.charFormat());
    image.setObjectType(QTextFormat::ImageObject);
    image.setName(store.Add(*cursor.document(), picture));
    const QSize size = store.ShownSize(image.name());
    image.setWidth(size.width());
    image.setHeight(size.height());
    cursor.insertImage(image);
}

void InsertRichDocument(QTextCursor& cursor, const TRichDocument& document, TRichPictureStore& store) {
    cursor.beginEditBlock();
    for (qsizetype p = 0; p < document.Paragraphs.size(); ++p) {
        if (p > 0) cursor.insertBlock();
        for (const TRichRun& run : document.Paragraphs[p].Runs) {
            const QTextCharFormat format = CharFormatOf(run.Format);
            if (run.IsPicture()) {
                cursor.setCharFormat(format);
                InsertRichPicture(cursor, *run.Picture, store);
            } else if (!run.Text.isEmpty()) {
                cursor.insertText(run.Text, format);
            }
        }
    }
    cursor.endEditBlock();
}

// ------------------------------------------------------------------ document -> model

QString PictureNameAt(const QTextDocument& document, int position) {
    const QTextBlock block = document.findBlock(position);
    if (!block.isValid()) return {};
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (position < fragment.position() || position >= fragment.position() + fragment.length()) continue;
        const QTextCharFormat format = fragment.charFormat();
        if (!format.isImageFormat()) return {};
        if (fragment.text().at(position - fragment.position()) != QChar::ObjectReplacementCharacter) return {};
        return format.toImageFormat().name();
    }
    return {};
}

namespace {

std::optional<TRichPicture> PictureOf(const QTextDocument& document, const TRichPictureStore& store,
                                      const QString& name) {
    if (const TRichPicture* picture = store.Find(name)) return *picture;
    // An image that came in some other way: what it shows, as PNG.
    const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(name));
    const QImage image = qvariant_cast<QImage>(resource);
    if (image.isNull()) return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return std::nullopt;
    return TRichPicture{png, TPictureFormat::Png};
}

} // namespace

TRichDocument RichDocumentOf(const QTextDocument& document, const TRichPictureStore& store, int from, int to) {
    const int end = document.characterCount() - 1; // the last block's separator is no content
    if (to < 0 || to > end) to = end;
    if (from < 0) from = 0;
    TRichDocument out;
    const QFont defaultFont = document.defaultFont();
    for (QTextBlock block = document.findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        out.NewParagraph();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int start = qMax(from, fragment.position());
            const int stop = qMin(to, fragment.position() + fragment.length());
            if (start >= stop) continue;
            const QString text = fragment.text().mid(start - fragment.position(), stop - start);
            const QTextCharFormat format = fragment.charFormat();
            const TRichFormat richFormat = RichFormatOf(format, defaultFont);
            if (format.isImageFormat()) {
                const QString name = format.toImageFormat().name();
                const std::optional<TRichPicture> picture = PictureOf(document, store, name);
                if (!picture) continue;
                for (QChar c : text)
                    if (c == QChar::ObjectReplacementCharacter) out.AppendPicture(*picture, richFormat);
            } else {
                const QString plain = ModelText(text);
                if (!plain.isEmpty()) out.AppendText(plain, richFormat);
            }
        }
    }
    // An empty document still has its one block.
    if (out.Paragraphs.size() == 1 && out.Paragraphs.first().Runs.isEmpty()) out.Paragraphs.clear();
    return out;
}
