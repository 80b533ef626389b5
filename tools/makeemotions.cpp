// Writes the program's 60 emoticons "0.gif" .. "59.gif", 24 x 24 pixels, so
// the project ships pictures of its own making: colour emoji glyphs of a font
// (Noto Color Emoji, SIL Open Font License) shrunk into small GIFs, a few of
// them moved frame by frame (rocking, bouncing, pulsing). Without the font, or
// for a glyph the font lacks, a plain drawn face takes the glyph's place, so
// the build never depends on the font being installed.
//   makeemotions OUTDIR [FONTFILE]
// Runs on the offscreen platform; needs no display.
#include <gif_lib.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 24;        // the emoticon
constexpr int kCanvas = 96;      // drawn at 4 x and shrunk, for smooth edges
constexpr int kGlyphPixels = 88; // the glyph's box on the canvas
constexpr int kCount = 60;

// How a drawn face looks when the font cannot give the glyph.
enum TFace { fSmile, fGrin, fLaugh, fWink, fLove, fKiss, fCool, fTongue, fSurprise, fSad, fCry, fAngry,
             fNeutral, fSleepy, fSick, fHeart };

// How an animated emoticon moves; aStill has one frame.
enum TMotion { aStill, aRock, aPulse, aBounce, aShake, aClap, aBeat };

struct TEmoticon {
    char32_t CodePoint;
    TFace Face;
    TMotion Motion = aStill;
};

// Row by row: smiles, playful, calm, sad and angry, the rest of the faces and
// animals, hands and things.
const TEmoticon kSet[kCount] = {
    {0x1F642, fSmile}, {0x1F60A, fSmile}, {0x1F600, fGrin}, {0x1F601, fGrin}, {0x1F602, fLaugh, aRock},
    {0x1F923, fLaugh}, {0x1F609, fWink}, {0x1F60D, fLove}, {0x1F618, fKiss}, {0x1F60E, fCool},

    {0x1F60B, fTongue}, {0x1F61B, fTongue}, {0x1F61C, fWink}, {0x1F917, fGrin}, {0x1F929, fLove, aPulse},
    {0x1F970, fLove}, {0x1F607, fSmile}, {0x1F973, fGrin, aBounce}, {0x1F914, fNeutral}, {0x1F92D, fSmile},

    {0x1F610, fNeutral}, {0x1F611, fNeutral}, {0x1F644, fNeutral}, {0x1F60F, fWink}, {0x1F634, fSleepy},
    {0x1F62A, fSleepy}, {0x1F971, fSleepy}, {0x1F60C, fSmile}, {0x1F636, fNeutral}, {0x1F910, fNeutral},

    {0x1F641, fSad}, {0x1F61E, fSad}, {0x1F622, fCry}, {0x1F62D, fCry, aShake}, {0x1F631, fSurprise},
    {0x1F62E, fSurprise}, {0x1F633, fSurprise}, {0x1F620, fAngry}, {0x1F621, fAngry}, {0x1F92F, fSurprise},

    {0x1F912, fSick}, {0x1F927, fSick}, {0x1F637, fSick}, {0x1F922, fSick}, {0x1F608, fAngry},
    {0x1F47B, fSurprise}, {0x1F916, fNeutral}, {0x1F431, fSmile}, {0x1F436, fGrin}, {0x1F437, fTongue},

    {0x1F44D, fGrin}, {0x1F44E, fSad}, {0x1F44F, fLaugh, aClap}, {0x1F64F, fSmile}, {0x1F4AA, fCool},
    {0x2764, fHeart, aBeat}, {0x1F494, fHeart}, {0x1F339, fLove}, {0x2615, fSleepy}, {0x1F382, fGrin},
};

struct TFrame {
    double Angle = 0;  // degrees about the centre
    double Scale = 1;  // about the centre
    QPointF Offset;    // in emoticon pixels
    int DelayCs = 0;   // hundredths of a second
};

std::vector<TFrame> FramesOf(TMotion motion) {
    switch (motion) {
    case aStill: return {TFrame{}};
    case aRock: return {{-12, 1, {}, 15}, {0, 1, {}, 15}, {12, 1, {}, 15}, {0, 1, {}, 15}};
    case aPulse: return {{0, 1, {}, 30}, {0, 0.82, {}, 30}};
    case aBounce: return {{0, 1, {0, 0}, 12}, {0, 1, {0, -2}, 12}, {0, 0.95, {0, 1}, 12}};
    case aShake: return {{0, 1, {-1, 0}, 10}, {0, 1, {1, 0}, 10}};
    case aClap: return {{-15, 1, {}, 20}, {10, 0.9, {}, 20}};
    case aBeat: return {{0, 1, {}, 60}, {0, 0.8, {}, 12}, {0, 0.95, {}, 12}};
    }
    return {TFrame{}};
}

// The glyph cut to its visible pixels, or a null image when the font lacks it.
QImage RenderGlyph(const QFont& font, char32_t codePoint) {
    const QString text = QString::fromUcs4(&codePoint, 1);
    if (!QFontMetrics(font).inFontUcs4(codePoint)) return {};
    QImage canvas(2 * font.pixelSize(), 2 * font.pixelSize(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.drawText(canvas.rect(), Qt::AlignCenter, text);
    }
    int left = canvas.width(), top = canvas.height(), right = -1, bottom = -1;
    for (int y = 0; y < canvas.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
            if (qAlpha(line[x]) == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return {};
    return canvas.copy(QRect(QPoint(left, top), QPoint(right, bottom)));
}

void DrawEye(QPainter& p, QPointF centre, TFace face, bool left) {
    const QPen line(QColor(70, 40, 10), 5, Qt::SolidLine, Qt::RoundCap);
    switch (face) {
    case fLaugh:
    case fSleepy: // closed: an arc
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        if (face == fLaugh)
            p.drawArc(QRectF(centre.x() - 8, centre.y() - 4, 16, 14), 0, 180 * 16);
        else
            p.drawArc(QRectF(centre.x() - 8, centre.y() - 10, 16, 14), 180 * 16, 180 * 16);
        return;
    case fWink:
        if (!left) {
            p.setPen(line);
            p.drawLine(centre + QPointF(-8, 0), centre + QPointF(8, 0));
            return;
        }
        break;
    case fLove: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 30, 60));
        QPainterPath heart;
        heart.moveTo(centre + QPointF(0, 9));
        heart.cubicTo(centre + QPointF(-14, -2), centre + QPointF(-6, -12), centre + QPointF(0, -4));
        heart.cubicTo(centre + QPointF(6, -12), centre + QPointF(14, -2), centre + QPointF(0, 9));
        p.drawPath(heart);
        return;
    }
    case fCool:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 30, 30));
        p.drawRoundedRect(QRectF(centre.x() - 11, centre.y() - 7, 22, 14), 5, 5);
        return;
    case fAngry:
        p.setPen(line);
        p.drawLine(centre + QPointF(left ? -9 : 9, -12), centre + QPointF(left ? 6 : -6, -6));
        break;
    default: break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 40, 10));
    const double r = face == fSurprise ? 6 : 5;
    p.drawEllipse(centre, r - 1, r + 1);
}

void DrawMouth(QPainter& p, TFace face) {
    const QPen line(QColor(70, 40, 10), 5, Qt::SolidLine, Qt::RoundCap);
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    switch (face) {
    case fSad:
    case fCry: p.drawArc(QRectF(30, 60, 36, 24), 20 * 16, 140 * 16); break;
    case fAngry: p.drawArc(QRectF(32, 62, 32, 20), 30 * 16, 120 * 16); break;
    case fNeutral:
    case fSick: p.drawLine(QPointF(34, 66), QPointF(62, 66)); break;
    case fSurprise:
        p.setBrush(QColor(110, 40, 20));
        p.drawEllipse(QPointF(48, 66), 8, 10);
        break;
    case fKiss:
        p.drawArc(QRectF(42, 56, 10, 10), 270 * 16, 180 * 16);
        p.drawArc(QRectF(42, 64, 10, 10), 270 * 16, 180 * 16);
        break;
    case fSleepy: p.drawEllipse(QPointF(48, 68), 5, 5); break;
    case fGrin:
    case fLaugh: {
        QPainterPath mouth;
        mouth.moveTo(26, 56);
        mouth.cubicTo(30, 84, 66, 84, 70, 56);
        mouth.closeSubpath();
        p.setBrush(QColor(110, 40, 20));
        p.drawPath(mouth);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(32, 58, 32, 6));
        break;
    }
    case fTongue:
        p.drawArc(QRectF(28, 44, 40, 28), 200 * 16, 140 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(235, 90, 110));
        p.drawEllipse(QRectF(44, 66, 14, 16));
        break;
    default: p.drawArc(QRectF(28, 44, 40, 30), 200 * 16, 140 * 16); break;
    }
}

// A simple drawn face (or heart) filling the canvas's glyph box.
QImage DrawFace(TFace face) {
    QImage canvas(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    if (face == fHeart) {
        QPainterPath heart;
        heart.moveTo(48, 86);
        heart.cubicTo(-10, 40, 20, -6, 48, 26);
        heart.cubicTo(76, -6, 106, 40, 48, 86);
        p.setPen(QPen(QColor(140, 10, 30), 3));
        p.setBrush(QColor(225, 30, 55));
        p.drawPath(heart);
        return canvas;
    }
    QRadialGradient skin(QPointF(38, 34), 52);
    skin.setColorAt(0, QColor(255, 236, 120));
    skin.setColorAt(1, face == fSick ? QColor(170, 210, 90) : QColor(250, 190, 40));
    p.setPen(QPen(QColor(200, 130, 20), 3));
    p.setBrush(skin);
    p.drawEllipse(QPointF(48, 48), 42, 42);
    DrawEye(p, QPointF(34, 38), face, true);
    DrawEye(p, QPointF(62, 38), face, false);
    DrawMouth(p, face);
    if (face == fCry) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(80, 160, 240));
        p.drawEllipse(QRectF(24, 46, 8, 14));
        p.drawEllipse(QRectF(64, 46, 8, 14));
    }
    return canvas;
}

// One frame: the picture moved as the frame says, shrunk to the emoticon's size.
QImage ComposeFrame(const QImage& picture, const TFrame& frame) {
    QImage canvas(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setRenderHint(QPainter::Antialiasing);
        const double factor = double(kCanvas) / kSize;
        p.translate(kCanvas / 2.0 + frame.Offset.x() * factor, kCanvas / 2.0 + frame.Offset.y() * factor);
        p.rotate(frame.Angle);
        p.scale(frame.Scale, frame.Scale);
        const QSizeF box = QSizeF(picture.size()).scaled(QSizeF(kGlyphPixels, kGlyphPixels), Qt::KeepAspectRatio);
        p.drawImage(QRectF(QPointF(-box.width() / 2, -box.height() / 2), box), picture);
    }
    return canvas.scaled(kSize, kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Colours over white (the message panes' usual background); pixels under half
// covered become the transparent index.
struct TIndexed {
    std::vector<GifByteType> Pixels; // frame after frame
    std::vector<GifColorType> Colours;
    int Transparent = -1;
};

TIndexed Quantize(const std::vector<QImage>& frames) {
    std::vector<GifByteType> red, green, blue;
    std::vector<bool> opaque;
    for (const QImage& frame : frames) {
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const QRgb pixel = frame.pixel(x, y); // premultiplied: add white behind it
                const int a = qAlpha(pixel);
                opaque.push_back(a >= 128);
                red.push_back(GifByteType(std::min(255, qRed(pixel) + 255 - a)));
                green.push_back(GifByteType(std::min(255, qGreen(pixel) + 255 - a)));
                blue.push_back(GifByteType(std::min(255, qBlue(pixel) + 255 - a)));
            }
        }
    }
    TIndexed out;
    out.Pixels.resize(red.size());
    int size = 255; // the last index is kept for transparency
    std::vector<GifColorType> map(256);
    if (GifQuantizeBuffer(unsigned(red.size()), 1, &size, red.data(), green.data(), blue.data(), out.Pixels.data(),
                          map.data()) == GIF_ERROR)
        return {};
    map.resize(256);
    out.Transparent = 255;
    map[255] = GifColorType{255, 255, 255};
    for (size_t i = 0; i < opaque.size(); ++i)
        if (!opaque[i]) out.Pixels[i] = GifByteType(out.Transparent);
    out.Colours = std::move(map);
    return out;
}

int AppendBytes(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

QByteArray EncodeGif(const std::vector<QImage>& frames, const std::vector<TFrame>& timing) {
    TIndexed indexed = Quantize(frames);
    if (indexed.Colours.empty()) return {};
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, AppendBytes, &error);
    if (!gif) return {};
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(int(indexed.Colours.size()), indexed.Colours.data());
    bool ok = map && EGifPutScreenDesc(gif, kSize, kSize, 8, indexed.Transparent, map) == GIF_OK;
    GifFreeMapObject(map);
    if (ok && frames.size() > 1) {
        // Loop for ever.
        static const GifByteType kLoop[3] = {1, 0, 0};
        ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
             EGifPutExtensionBlock(gif, 3, kLoop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    for (size_t f = 0; ok && f < frames.size(); ++f) {
        GraphicsControlBlock control{};
        // Each frame is whole: clear the last one so its pixels never show
        // through this one's transparent ones.
        control.DisposalMode = frames.size() > 1 ? DISPOSE_BACKGROUND : DISPOSAL_UNSPECIFIED;
        control.UserInputFlag = false;
        control.DelayTime = timing[f].DelayCs;
        control.TransparentColor = indexed.Transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, kSize, kSize, false, nullptr) == GIF_OK;
        GifByteType* pixels = indexed.Pixels.data() + f * kSize * kSize;
        for (int y = 0; ok && y < kSize; ++y) ok = EGifPutLine(gif, pixels + y * kSize, kSize) == GIF_OK;
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
    return ok ? bytes : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: makeemotions OUTDIR [FONTFILE]\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "makeemotions: cannot make %s\n", argv[1]);
        return 1;
    }

    QFont font;
    bool haveFont = false;
    if (argc == 3 && argv[2][0] != '\0') {
        const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[2]));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) {
            font = QFont(families.first());
            // Only this font's own glyphs: a plain font's outline is no emoticon.
            font.setStyleStrategy(QFont::NoFontMerging);
            font.setPixelSize(109); // the emoji font's own bitmap size
            haveFont = true;
        } else {
            std::fprintf(stderr, "makeemotions: %s is no usable font, drawing faces\n", argv[2]);
        }
    }

    int drawn = 0;
    for (int i = 0; i < kCount; ++i) {
        const TEmoticon& emoticon = kSet[i];
        QImage picture = haveFont ? RenderGlyph(font, emoticon.CodePoint) : QImage();
        if (picture.isNull()) {
            picture = DrawFace(emoticon.Face);
            ++drawn;
        }
        const std::vector<TFrame> timing = FramesOf(emoticon.Motion);
        std::vector<QImage> frames;
        for (const TFrame& frame : timing) frames.push_back(ComposeFrame(picture, frame));
        const QString path = QDir(folder).filePath(QStringLiteral("%1.gif").arg(i));
        if (!WriteFile(path, EncodeGif(frames, timing))) {
            std::fprintf(stderr, "makeemotions: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    if (drawn > 0) std::fprintf(stderr, "makeemotions: %d of %d emoticons are drawn faces\n", drawn, kCount);
    return 0;
}
