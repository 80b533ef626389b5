#include "ui/CustomControlsUnit.h"

#include "ui/UtilsGuiUnit.h"
#include "ui/OnlineStateMenuUnit.h"
#include "ui/AppImagesUnit.h"

#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

// ---------------------------------------------------------------------------
// TThreeStateButton

TThreeStateButton::TThreeStateButton(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    // The image is drawn over whatever the parent paints.
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(FButtonSize, FButtonSize);
}

QSize TThreeStateButton::sizeHint() const { return {FButtonSize, FButtonSize}; }

QString TThreeStateButton::ImageResOf(TButtonState state) const {
    switch (state) {
    case bsHot: return FHotImageRes;
    case bsPressed: return FPressedImageRes;
    case bsNormal: break;
    }
    return FNormalImageRes;
}

void TThreeStateButton::SetImageRes(QString& field, TButtonState owner, const QString& name) {
    if (field == name) return;
    field = name;
    if (FState == owner) LoadImage();
}

void TThreeStateButton::SetButtonNormalImageRes(const QString& name) { SetImageRes(FNormalImageRes, bsNormal, name); }
void TThreeStateButton::SetButtonHotImageRes(const QString& name) { SetImageRes(FHotImageRes, bsHot, name); }
void TThreeStateButton::SetButtonPressedImageRes(const QString& name) { SetImageRes(FPressedImageRes, bsPressed, name); }

void TThreeStateButton::SetButtonSize(int size) {
    size = std::clamp(size, 1, 255);
    if (size == FButtonSize) return;
    FButtonSize = size;
    setFixedSize(size, size);
    LoadImage();
}

void TThreeStateButton::SetButtonState(TButtonState state) {
    FState = state;
    LoadImage();
}

bool TThreeStateButton::RefreshImage() {
    const QString name = ImageResOf(FState);
    const qreal ratio = devicePixelRatioF();
    if (name == FLoadedRes && FButtonSize == FLoadedSize && ratio == FLoadedRatio) return false;
    FLoadedRes = name;
    FLoadedSize = FButtonSize;
    FLoadedRatio = ratio;
    FImage = name.isEmpty() ? QPixmap() : TAppImages::Instance().Pixmap(name, FButtonSize, ratio);
    if (!name.isEmpty()) ++FImageLoads;
    return true;
}

void TThreeStateButton::LoadImage() {
    if (RefreshImage()) update();
}

void TThreeStateButton::paintEvent(QPaintEvent*) {
    // Moved to a screen with another pixel ratio: the image is rendered anew.
    RefreshImage();
    if (FImage.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, FImage);
}

void TThreeStateButton::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    SetButtonState(bsHot);
}

void TThreeStateButton::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    SetButtonState(bsNormal);
}

void TThreeStateButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    SetButtonState(bsPressed);
}

void TThreeStateButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (!rect().contains(event->position().toPoint())) {
        SetButtonState(bsNormal);
        return;
    }
    if (FDropDownMenu) {
        // The menu takes the mouse; the button looks idle while it is open.
        SetButtonState(bsNormal);
        FDropDownMenu->popup(mapToGlobal(QPoint(0, height())));
        return;
    }
    SetButtonState(bsHot);
    emit Clicked();
}

// ---------------------------------------------------------------------------
// TThemedPanel

TThemedPanel::TThemedPanel(QWidget* parent) : QFrame(parent) {}

// ---------------------------------------------------------------------------
// TQLMHeader

TQLMHeader::TQLMHeader(QWidget* parent) : TThemedPanel(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFixedHeight(HeaderHeight);
    FDropButton = new TThreeStateButton(this);
    FDropButton->SetButtonNormalImageRes(QStringLiteral("U_DROPBUTTON_NORMAL"));
    FDropButton->SetButtonHotImageRes(QStringLiteral("U_DROPBUTTON_HOT"));
    FDropButton->SetButtonPressedImageRes(QStringLiteral("U_DROPBUTTON_PRESSED"));
    PlaceDropButton();
}

void TQLMHeader::SetCaptionTitle(const QString& text) {
    Utils::SetAndRepaint(*this, FCaptionTitle, text);
}

void TQLMHeader::SetCaptionContent(const QString& text) {
    Utils::SetAndRepaint(*this, FCaptionContent, text);
}

QMenu* TQLMHeader::DropDownMenu() const { return FDropButton->DropDownMenu(); }
void TQLMHeader::SetDropDownMenu(QMenu* menu) { FDropButton->SetDropDownMenu(menu); }

void TQLMHeader::SetGradientStartColor(const QColor& color) {
    Utils::SetAndRepaint(*this, FGradientStartColor, color);
}

void TQLMHeader::SetGradientEndColor(const QColor& color) {
    Utils::SetAndRepaint(*this, FGradientEndColor, color);
}

void TQLMHeader::SetOnlineState(std::optional<TOnlineState> state) {
    Utils::SetAndRepaint(*this, FOnlineState, state);
}

void TQLMHeader::PlaceDropButton() {
    const int size = FDropButton->ButtonSize();
    FDropButton->move(DropButtonLeft, height() - size - size / 4);
}

void TQLMHeader::resizeEvent(QResizeEvent* event) {
    TThemedPanel::resizeEvent(event);
    PlaceDropButton();
}

QRect TQLMHeader::StateIconRect() const {
    return {StateIconLeft, (height() - StateIconSize) / 2, StateIconSize, StateIconSize};
}

QRect TQLMHeader::TitleRect() const {
    const QRect client = contentsRect();
    const int left = FDropButton->geometry().right() + 1 + 10;
    const int bottom = height() / 2 - 2;
    return QRect(QPoint(left, client.top()), QPoint(client.right() - 4, bottom - 1));
}

QRect TQLMHeader::ContentRect() const {
    const QRect client = contentsRect();
    const int left = FDropButton->geometry().right() + 1 + 10;
    const int top = height() / 2 + 2;
    return QRect(QPoint(left, top), QPoint(client.right() - 4, client.bottom()));
}

QPixmap TQLMHeader::StateImage() {
    const qreal ratio = devicePixelRatioF();
    if (!FStateImageState || *FStateImageState != FOnlineState || ratio != FStateImageRatio) {
        FStateImage = FOnlineState ? TAppImages::Instance().Pixmap(OnlineStateMenu::HeaderImageName(*FOnlineState),
                                                                   StateIconSize, ratio)
                                   : QPixmap();
        FStateImageState = FOnlineState;
        FStateImageRatio = ratio;
    }
    return FStateImage;
}

void TQLMHeader::paintEvent(QPaintEvent* event) {
    TThemedPanel::paintEvent(event);
    QPainter painter(this);
    const QRect client = contentsRect();
    if (FGradientStartColor == FGradientEndColor) {
        painter.fillRect(client, FGradientStartColor);
    } else {
        Utils::FillVerticalGradient(painter, client, FGradientStartColor, FGradientEndColor);
    }

    const QPixmap image = StateImage();
    if (!image.isNull()) painter.drawPixmap(StateIconRect().topLeft(), image);

    painter.setPen(palette().color(QPalette::WindowText));
    const QRect title = TitleRect();
    painter.drawText(title, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(FCaptionTitle, Qt::ElideRight, title.width()));
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const QRect content = ContentRect();
    painter.drawText(content, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(FCaptionContent, Qt::ElideRight, content.width()));
}
