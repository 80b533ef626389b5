// An input box holding formatted text, a picture and emoticons (the
// program's own, or drawn faces when they are not built), drawn off screen. With QLM_SCREENSHOT_DIR set the picture is
// saved there as rich-input.png (the README's screenshot).
#include "text/widgets/RichInputUnit.h"

#include "text/widgets/FontBarUnit.h"

#include "support/RichWidgetFixtures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

using namespace RichFixtures;
using namespace RichWidgetFixtures;

QByteArray Png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray Smiley(QColor face, bool wink) {
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(120, 80, 0), 1.2));
    painter.setBrush(face);
    painter.drawEllipse(QRectF(1.5, 1.5, 21, 21));
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(7, 7, 3, 4));
    if (wink) painter.drawLine(QPointF(14, 9), QPointF(17, 9));
    else painter.drawEllipse(QRectF(14, 7, 3, 4));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(6, 8, 12, 10), 200 * 16, 140 * 16);
    painter.end();
    return Png(image);
}

// One of the program's own emoticons beside the test, else a drawn face.
QByteArray Emoticon(int index, QColor face, bool wink) {
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/Emotions/%1.gif").arg(index));
    if (file.open(QIODevice::ReadOnly)) return file.readAll();
    return Smiley(face, wink);
}

QByteArray Landscape() {
    QImage image(96, 64, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 40);
    sky.setColorAt(0, QColor(70, 130, 220));
    sky.setColorAt(1, QColor(180, 215, 250));
    painter.fillRect(0, 0, 96, 40, sky);
    painter.fillRect(0, 40, 96, 24, QColor(70, 150, 60));
    painter.setBrush(QColor(250, 210, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(72, 14), 8, 8);
    painter.setBrush(QColor(90, 90, 100));
    painter.drawPolygon(QPolygon({QPoint(10, 40), QPoint(34, 14), QPoint(58, 40)}));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

TEST(RichScreenshot, InputWithFormattedTextPictureAndEmoticons) {
    TSavedParams saved;
    Params()[spRichEditFontName] = QStringLiteral("DejaVu Sans");
    Params()[ipRichEditFontSize] = 11;
    QWidget box;
    box.resize(460, 210);
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* bar = new TFontBar(Params(), &box);
    auto* inputBox = new TRichInputBox(Params(), &box);
    TRichInputBox& input = *inputBox;
    bar->SetInput(inputBox);
    bar->LoadFromSettings();
    layout->addWidget(bar);
    layout->addWidget(inputBox);
    input.SetDocument(Doc({
        {{TextRun("Lunch at ", Fmt("DejaVu Sans", 22)), TextRun("noon", Fmt("DejaVu Sans", 22, 0xC0392B, true)),
          TextRun(" on the terrace? ", Fmt("DejaVu Sans", 22)), PictureRun(Emoticon(0, QColor(255, 214, 64), false)),
          PictureRun(Emoticon(4, QColor(255, 190, 80), true))}},
        {{TextRun("The view from there:", Fmt("DejaVu Serif", 22, 0x1F618D, false, true)),
          TextRun(" ", Fmt("DejaVu Sans", 22)), PictureRun(Emoticon(14, QColor(255, 214, 64), false))}},
        {{PictureRun(Landscape()), TextRun("  ", Fmt("DejaVu Sans", 22)),
          TextRun("see you!", Fmt("DejaVu Sans", 28, 0x117A65, true, false, true))}},
    }));
    box.show();
    const QPixmap shot = box.grab();
    ASSERT_FALSE(shot.isNull());
    const QImage image = shot.toImage();
    // The landscape's sky is drawn somewhere in the box.
    bool sky = false;
    for (int y = 0; y < image.height() && !sky; ++y)
        for (int x = 0; x < image.width() && !sky; ++x) {
            const QColor c = image.pixelColor(x, y);
            sky = c.blue() > 200 && c.red() < 120;
        }
    EXPECT_TRUE(sky);
    const QString folder = qEnvironmentVariable("QLM_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(shot.save(QDir(folder).filePath(QStringLiteral("rich-input.png"))));
    }
}

} // namespace
