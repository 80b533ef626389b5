// Takes docs/screenshots/emoticons.png: the emoticon grid open, the pointer
// on one emoticon and its preview shown. Runs on the offscreen platform.
//   emoticonshot EMOTIONS_FOLDER OUT.png
#include "text/widgets/EmotionsUnit.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: emoticonshot EMOTIONS_FOLDER OUT.png\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget owner;
    owner.resize(420, 300);
    owner.show();
    auto* grid = new TQLMEmotions(&owner, QString::fromLocal8Bit(argv[1]));
    grid->Popup(QRect(20, 20, 24, 22), QRect(0, 0, 800, 600));
    QEventLoop loop;
    QObject::connect(grid, &TQLMEmotions::Loaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!grid->IsLoaded()) loop.exec();

    const int cell = 7; // the right columns: the preview goes to the top left
    const QPointF at = TQLMEmotions::CellRect(cell).center();
    QMouseEvent move(QEvent::MouseMove, at, grid->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grid, &move);
    QApplication::processEvents();
    if (!grid->IsPreviewVisible() || !grid->grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "emoticonshot: no picture taken\n");
        return 1;
    }
    return 0;
}
