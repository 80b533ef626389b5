// Writes a PNG of one X window, by its id, from the X server of $DISPLAY: the
// screenshot scripts' stand-in for ImageMagick's "import -window" where that
// is not installed.
//   grabwindow WINDOW-ID OUT.png   (WINDOW-ID decimal or 0x...)
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: grabwindow WINDOW-ID OUT.png\n");
        return 2;
    }
    bool ok = false;
    const WId window = QByteArray(argv[1]).toULongLong(&ok, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || !screen) {
        std::fprintf(stderr, "grabwindow: no window id or no screen\n");
        return 1;
    }
    const QPixmap picture = screen->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "grabwindow: could not grab window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
