// The message window's screen capture: minimise first when asked, take the
// screen the window is on, paste the captured area at the end of the input.
#include "messaging/widgets/NewMsgUnit.h"

#include "core/ParamsUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "ui/CaptureWindowUnit.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QTextCursor>
#include <QTimer>

namespace {
// A window manager that never minimises the window does not stop the capture.
constexpr int kMaxCaptureTicks = 10;
} // namespace

TCaptureWindow* TNewMsgForm::CaptureWindow() const { return FCapture.data(); }

void TNewMsgForm::StartScreenCapture() {
    // The picture goes into the input: nothing to do where it cannot.
    if (FCapturing || !FSendMode || FInput->isReadOnly() || FInput->PlainTextMode()) return;
    FCapturing = true;
    FCaptureHid = Params()[bpHideWhenCaptureScreen];
    if (FCaptureHid) showMinimized();
    if (!FCaptureTimer) {
        FCaptureTimer = new QTimer(this);
        FCaptureTimer->setObjectName(QStringLiteral("tmCapture"));
        FCaptureTimer->setInterval(CaptureTimerMs);
        connect(FCaptureTimer, &QTimer::timeout, this, &TNewMsgForm::CaptureTick);
    }
    FCaptureTicks = 0;
    FCaptureTimer->start();
}

void TNewMsgForm::CaptureTick() {
    if (FCaptureHid && !isMinimized() && ++FCaptureTicks < kMaxCaptureTicks) return;
    FCaptureTimer->stop();
    QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect geometry = where ? where->geometry() : QRect();
    const TScreenGrab grab = FContext.GrabScreen ? FContext.GrabScreen : ScreenGrab::Platform();
    grab(where, this, [this, geometry](const TScreenPicture& picture) {
        if (picture.Image.isNull()) {
            CaptureFinished(QImage());
            ShowMessage(Utils::TMessageBoxKind::Error,
                        picture.Error.isEmpty() ? Translate(QStringLiteral("The screen cannot be captured on this desktop."))
                                                : picture.Error);
            return;
        }
        FCapture = new TCaptureWindow(picture.Image, geometry, this);
        connect(FCapture, &TCaptureWindow::Finished, this, &TNewMsgForm::CaptureFinished);
        FCapture->Start();
    });
}

void TNewMsgForm::CaptureFinished(const QImage& captured) {
    FCapturing = false;
    if (FCaptureHid) {
        showNormal();
        activateWindow();
    }
    if (captured.isNull() || FInput->isReadOnly()) return;
    // Pasted as the clipboard's bitmap would be (it is on the clipboard too),
    // without reading the clipboard back: a window system may not have taken it.
    QTextCursor end = FInput->textCursor();
    end.movePosition(QTextCursor::End);
    FInput->setTextCursor(end);
    QMimeData data;
    data.setImageData(captured);
    FInput->PasteData(data);
    FInput->setFocus();
}
