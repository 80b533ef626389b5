#include "ui/UtilsGuiUnit.h"

#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLinearGradient>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QRubberBand>
#include <QScreen>
#include <QSoundEffect>
#include <QUrl>

namespace Utils {
namespace {

int gQuietTrayBoxes = 0;
std::function<QRect()> gTrayGeometry;
std::function<void(bool)> gTrayQuietObserver;

struct TQuietTray {
    explicit TQuietTray(bool on) : On(on) { Change(+1); }
    ~TQuietTray() { Change(-1); }
    void Change(int step) const {
        if (!On) return;
        const bool wasQuiet = gQuietTrayBoxes > 0;
        gQuietTrayBoxes += step;
        // Only the first box in and the last one out change the icon.
        if (gTrayQuietObserver && wasQuiet != (gQuietTrayBoxes > 0)) gTrayQuietObserver(gQuietTrayBoxes > 0);
    }
    bool On;
};

} // namespace

TMessageBoxResult ShowMessageBox(QWidget* owner, bool quietTray, TMessageBoxKind kind, const QString& text) {
    TQuietTray quiet(quietTray);
    QMessageBox box(owner);
    box.setWindowTitle(QStringLiteral("Quillmate"));
    box.setText(text);
    switch (kind) {
    case TMessageBoxKind::Question:
        box.setIcon(QMessageBox::Question);
        box.addButton(Translate(QStringLiteral("&Yes")), QMessageBox::YesRole);
        box.setDefaultButton(box.addButton(Translate(QStringLiteral("&No")), QMessageBox::NoRole));
        box.exec();
        return box.buttonRole(box.clickedButton()) == QMessageBox::YesRole ? TMessageBoxResult::Yes
                                                                           : TMessageBoxResult::No;
    case TMessageBoxKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case TMessageBoxKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    box.addButton(Translate(QStringLiteral("OK")), QMessageBox::AcceptRole);
    box.exec();
    return TMessageBoxResult::Ok;
}

bool TrayIsQuiet() { return gQuietTrayBoxes > 0; }

bool InputText(QWidget* owner, const QString& caption, const QString& prompt, QString* value) {
    QDialog dialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog.setWindowTitle(caption);
    if (owner) dialog.setFont(owner->font());
    const QFontMetrics fm(dialog.font());
    const int w = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    const int h = fm.height();

    auto* label = new QLabel(prompt, &dialog);
    label->setWordWrap(true);
    label->setMaximumWidth(164 * w / 4);
    label->move(8 * w / 4, 8 * h / 8);
    label->adjustSize();

    auto* edit = new QLineEdit(*value, &dialog);
    edit->setObjectName(QStringLiteral("InputTextEdit"));
    edit->setMaxLength(20);
    edit->setGeometry(label->x(), label->geometry().bottom() + 1 + 5, 164 * w / 4, edit->sizeHint().height());
    edit->selectAll();

    const int buttonTop = edit->geometry().bottom() + 1 + 5;
    auto* ok = new QPushButton(Translate(QStringLiteral("OK")), &dialog);
    ok->setDefault(true);
    ok->setGeometry(38 * w / 4, buttonTop, 50 * w / 4, 14 * h / 8);
    auto* cancel = new QPushButton(Translate(QStringLiteral("Cancel")), &dialog);
    cancel->setGeometry(92 * w / 4, buttonTop, 50 * w / 4, 14 * h / 8);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    dialog.setFixedSize(180 * w / 4, ok->geometry().bottom() + 1 + 13);
    if (owner) dialog.move(owner->window()->geometry().center() - dialog.rect().center());
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted) return false;
    *value = edit->text();
    return true;
}

bool ForceForeground(QWidget* window) {
    if (!window) return false;
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

QString WindowClassName(TWindowKind kind, const QString& name) {
    switch (kind) {
    case TWindowKind::Message: return QStringLiteral("WM_") + name.toUpper();
    case TWindowKind::Broadcast: return QStringLiteral("QLM_BROADCAST_CLASS");
    case TWindowKind::File: return QStringLiteral("WF_") + name.toUpper();
    case TWindowKind::FileManage: return QStringLiteral("QLM_FILEMANAGE_CLASS");
    }
    return {};
}

bool BringForward(QWidget* window) {
    if (window->isMinimized()) window->showNormal();
    return ForceForeground(window);
}

void SetTrayGeometryProvider(std::function<QRect()> provider) { gTrayGeometry = std::move(provider); }

void FillVerticalGradient(QPainter& painter, const QRect& rect, const QColor& top, const QColor& bottom) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.fillRect(rect, gradient);
}

void SetTrayQuietObserver(std::function<void(bool)> observer) { gTrayQuietObserver = std::move(observer); }

void AnimateToTray(QWidget* window, bool towardsTray) {
    if (!window || !gTrayGeometry || QGuiApplication::platformName() == QLatin1String("offscreen")) return;
    const QRect tray = gTrayGeometry();
    if (tray.isEmpty()) return;
    const QRect bounds = window->frameGeometry();
    // A frame that shrinks into the tray icon or grows out of it.
    auto* band = new QRubberBand(QRubberBand::Rectangle);
    band->setAttribute(Qt::WA_DeleteOnClose);
    band->setAttribute(Qt::WA_TransparentForMouseEvents);
    band->setGeometry(towardsTray ? bounds : tray);
    band->show();
    auto* animation = new QPropertyAnimation(band, "geometry", band);
    animation->setDuration(200);
    animation->setStartValue(towardsTray ? bounds : tray);
    animation->setEndValue(towardsTray ? tray : bounds);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(animation, &QPropertyAnimation::finished, band, &QWidget::close);
    animation->start();
}

void PlaySoundFile(TSound sound) {
    const bool online = sound == TSound::Online;
    const QString name = online ? QStringLiteral("online.wav") : QStringLiteral("message.wav");
    const QString path = RuntimeFolder() + QStringLiteral("Sounds/") + name;
    if (!QFileInfo::exists(path) || !qApp || QMediaDevices::defaultAudioOutput().isNull()) return;
    // One effect per sound for the whole run: made once, played again; an
    // effect per call would pile up where playback never reports its end.
    static QPointer<QSoundEffect> effects[2];
    QPointer<QSoundEffect>& effect = effects[online ? 0 : 1];
    if (!effect) {
        effect = new QSoundEffect(qApp);
        effect->setSource(QUrl::fromLocalFile(path));
    }
    if (effect->status() == QSoundEffect::Error) return;
    effect->play();
}

void ShowHelp(const QString& topic) {
    QUrl url = QUrl::fromLocalFile(RuntimeFolder() + QStringLiteral("Help/Help.html"));
    if (!topic.isEmpty()) url.setFragment(topic);
    QDesktopServices::openUrl(url);
}

} // namespace Utils
