// Writes a PNG of one X window, by its id, from the X server of $DISPLAY: the
// screenshot scripts' stand-in for ImageMagick's "import -window" where that
// is not installed.
//   grabwindow WINDOW-ID OUT.png [X Y W H]   (WINDOW-ID decimal or 0x...; 0 is the
//   whole screen; X Y W H crop to that part of the window)
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 7) {
        std::fprintf(stderr, "usage: grabwindow WINDOW-ID OUT.png [X Y W H]\n");
        return 2;
    }
    bool ok = false;
    const WId window = QByteArray(argv[1]).toULongLong(&ok, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || !screen) {
        std::fprintf(stderr, "grabwindow: no window id or no screen\n");
        return 1;
    }
    int part[4] = {0, 0, -1, -1};
    for (int i = 0; argc == 7 && i < 4; ++i) part[i] = QByteArray(argv[3 + i]).toInt();
    const QPixmap picture = screen->grabWindow(window, part[0], part[1], part[2], part[3]);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "grabwindow: could not grab window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
