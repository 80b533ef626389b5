// Renders the program's icon into the hicolor PNG sizes of a desktop install:
// below 32 pixels the tray icon's drawing, from 32 on the logo, as the
// program's own window icon does (TAppImages::AppIcon).
//   makeappicons OUTDIR ICONNAME SMALL.svg LARGE.svg SIZE...
// writes OUTDIR/<SIZE>x<SIZE>/apps/ICONNAME.png. Needs no display.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: makeappicons OUTDIR ICONNAME SMALL.svg LARGE.svg SIZE...\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    QSvgRenderer small(QString::fromLocal8Bit(argv[3]));
    QSvgRenderer large(QString::fromLocal8Bit(argv[4]));
    if (!small.isValid() || !large.isValid()) {
        std::fprintf(stderr, "makeappicons: cannot read %s or %s\n", argv[3], argv[4]);
        return 1;
    }
    for (int i = 5; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "makeappicons: not a size: %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        (size < 32 ? small : large).render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "makeappicons: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
