#include "ui/NavBarUnit.h"

#include "ui/UtilsGuiUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QAction>
#include <QBoxLayout>
#include <QEnterEvent>
#include <QMenu>
#include <QPainter>
#include <QStackedWidget>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kButtonPadding = 6;

// The selected group's button: a deeper shade of the hover colour.
QColor ActiveBottomColor() { return {164, 186, 230}; }

QColor LineColor(const QColor& dark) { return dark.darker(125); }

} // namespace

// ---------------------------------------------------------------------------
// The bold caption strip over the panels, and the bottom strip of small
// buttons; both take the pane's colours.

class TNavBar::THeader : public QWidget {
public:
    explicit THeader(TNavBar* navBar) : QWidget(navBar), FNavBar(navBar) {
        setFixedHeight(HeaderHeight);
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
    }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption) {
        Utils::SetAndRepaint(*this, FCaption, caption);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Utils::FillVerticalGradient(painter, rect(), FNavBar->DarkColor(), FNavBar->LightColor());
        painter.setPen(LineColor(FNavBar->DarkColor()));
        painter.drawLine(0, height() - 1, width() - 1, height() - 1);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect textRect = rect().adjusted(kButtonPadding, 0, -kButtonPadding, -1);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(FCaption, Qt::ElideRight, textRect.width()));
    }

private:
    TNavBar* FNavBar;
    QString FCaption;
};

class TNavBar::TStrip : public QWidget {
public:
    explicit TStrip(TNavBar* navBar) : QWidget(navBar), FNavBar(navBar) { setFixedHeight(SmallButtonSize + 2); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Utils::FillVerticalGradient(painter, rect(), FNavBar->LightColor(), FNavBar->DarkColor());
        painter.setPen(LineColor(FNavBar->DarkColor()));
        painter.drawLine(0, 0, width() - 1, 0);
    }

private:
    TNavBar* FNavBar;
};

// ---------------------------------------------------------------------------
// TNavBarButton

TNavBarButton::TNavBarButton(TNavBar* navBar, bool large, QWidget* parent)
    : QAbstractButton(parent), FNavBar(navBar), FLarge(large) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    if (FLarge) {
        setFixedHeight(TNavBar::LargeButtonHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
    } else {
        setFixedSize(TNavBar::SmallButtonSize, TNavBar::SmallButtonSize);
    }
}

QSize TNavBarButton::sizeHint() const {
    if (!FLarge) return {TNavBar::SmallButtonSize, TNavBar::SmallButtonSize};
    const int textWidth = fontMetrics().horizontalAdvance(text());
    return {3 * kButtonPadding + TNavBar::LargeIconSize + textWidth, TNavBar::LargeButtonHeight};
}

void TNavBarButton::SetImageName(const QString& name) {
    Utils::SetAndRepaint(*this, FImageName, name);
}

void TNavBarButton::SetActive(bool active) {
    Utils::SetAndRepaint(*this, FActive, active);
}

QColor TNavBarButton::TopColor() const {
    if (FActive || isDown()) return FHot ? TNavBar::HotColor().lighter(106) : TNavBar::HotColor();
    if (FHot) return TNavBar::HotColor().lighter(108);
    return FNavBar->LightColor();
}

QColor TNavBarButton::BottomColor() const {
    if (FActive || isDown()) return FHot ? ActiveBottomColor().lighter(106) : ActiveBottomColor();
    if (FHot) return TNavBar::HotColor();
    return FNavBar->DarkColor();
}

void TNavBarButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Utils::FillVerticalGradient(painter, rect(), TopColor(), BottomColor());
    painter.setPen(LineColor(FNavBar->DarkColor()));
    if (FLarge)
        painter.drawLine(0, 0, width() - 1, 0);
    else if (FActive || FHot)
        painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const int iconSize = FLarge ? TNavBar::LargeIconSize : TNavBar::SmallIconSize;
    const QPixmap image =
        FImageName.isEmpty() ? QPixmap() : TAppImages::Instance().Pixmap(FImageName, iconSize, devicePixelRatioF());
    const int iconLeft = FLarge ? kButtonPadding : (width() - iconSize) / 2;
    if (!image.isNull()) painter.drawPixmap(iconLeft, (height() - iconSize) / 2, image);
    if (!FLarge) return;

    const int textLeft = iconLeft + iconSize + kButtonPadding;
    const QRect textRect(textLeft, 0, std::max(0, width() - textLeft - kButtonPadding), height());
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

void TNavBarButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    FHot = true;
    update();
}

void TNavBarButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    FHot = false;
    update();
}

// ---------------------------------------------------------------------------
// TNavBar

TNavBar::TNavBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    FHeader = new THeader(this);
    layout->addWidget(FHeader);

    FStack = new QStackedWidget(this);
    layout->addWidget(FStack, 1);

    FLargeArea = new QWidget(this);
    auto* largeLayout = new QVBoxLayout(FLargeArea);
    largeLayout->setContentsMargins(0, 0, 0, 0);
    largeLayout->setSpacing(0);
    layout->addWidget(FLargeArea);

    FStrip = new TStrip(this);
    auto* stripLayout = new QHBoxLayout(FStrip);
    stripLayout->setContentsMargins(2, 1, 2, 1);
    stripLayout->setSpacing(1);
    // Small buttons line up from the right, next to the drop-down, as they
    // spill over from the large ones.
    stripLayout->addStretch(1);
    FCustomizeButton = new QToolButton(FStrip);
    FCustomizeButton->setObjectName(QStringLiteral("NavBarCustomize"));
    FCustomizeButton->setAutoRaise(true);
    FCustomizeButton->setArrowType(Qt::DownArrow);
    FCustomizeButton->setFocusPolicy(Qt::NoFocus);
    FCustomizeButton->setFixedSize(SmallButtonSize / 2 + 4, SmallButtonSize);
    stripLayout->addWidget(FCustomizeButton);
    layout->addWidget(FStrip);

    FCustomizeMenu = new QMenu(this);
    FMoreAction = FCustomizeMenu->addAction(QString(), this, [this] { SetMaxVisibleGroups(FMaxVisible + 1); });
    FMoreAction->setObjectName(QStringLiteral("NavBarShowMore"));
    FFewerAction = FCustomizeMenu->addAction(QString(), this, [this] { SetMaxVisibleGroups(FMaxVisible - 1); });
    FFewerAction->setObjectName(QStringLiteral("NavBarShowFewer"));
    connect(FCustomizeButton, &QToolButton::clicked, this, [this] {
        UpdateMenu();
        FCustomizeMenu->popup(FCustomizeButton->mapToGlobal(QPoint(FCustomizeButton->width(), 0)));
    });

    TranslateCaptions();
    UpdateMenu();
}

int TNavBar::AddGroup(const QString& imageName, QWidget* panel) {
    const int index = GroupCount();
    const bool allLarge = FMaxVisible == index;

    TGroup group;
    group.Panel = panel ? panel : new QWidget(FStack);
    FStack->addWidget(group.Panel);

    group.Large = new TNavBarButton(this, true, FLargeArea);
    group.Large->SetImageName(imageName);
    FLargeArea->layout()->addWidget(group.Large);

    group.Small = new TNavBarButton(this, false, FStrip);
    group.Small->SetImageName(imageName);
    auto* stripLayout = static_cast<QBoxLayout*>(FStrip->layout());
    stripLayout->insertWidget(stripLayout->indexOf(FCustomizeButton), group.Small);

    for (TNavBarButton* button : {group.Large, group.Small})
        connect(button, &QAbstractButton::clicked, this, [this, index] { SetActiveGroupIndex(index); });
    FGroups.append(group);

    if (allLarge) {
        FMaxVisible = GroupCount();
        emit MaxVisibleGroupsChanged(FMaxVisible);
    }
    UpdateButtons();
    UpdateMenu();
    if (FActiveIndex < 0) SetActiveGroupIndex(index);
    return index;
}

QString TNavBar::GroupCaption(int index) const { return ValidIndex(index) ? FGroups[index].Caption : QString(); }

void TNavBar::SetGroupCaption(int index, const QString& caption) {
    if (!ValidIndex(index)) return;
    FGroups[index].Caption = caption;
    UpdateButtons();
    UpdateHeader();
}

QWidget* TNavBar::GroupPanel(int index) const { return ValidIndex(index) ? FGroups[index].Panel.data() : nullptr; }

void TNavBar::SetActiveGroupIndex(int index) {
    if (FGroups.isEmpty()) return;
    index = std::clamp(index, 0, GroupCount() - 1);
    if (index == FActiveIndex) return;
    FActiveIndex = index;
    if (QWidget* panel = FGroups[index].Panel) FStack->setCurrentWidget(panel);
    UpdateButtons();
    UpdateHeader();
    emit ActiveGroupChanged(index);
}

void TNavBar::SetMaxVisibleGroups(int count) {
    count = std::clamp(count, 0, GroupCount());
    if (count == FMaxVisible) return;
    FMaxVisible = count;
    UpdateButtons();
    UpdateMenu();
    emit MaxVisibleGroupsChanged(count);
}

void TNavBar::SetColors(const QColor& light, const QColor& dark) {
    if (light == FLight && dark == FDark) return;
    FLight = light;
    FDark = dark;
    // The buttons, header and strip read the colours when they paint.
    const QList<QWidget*> parts = findChildren<QWidget*>();
    for (QWidget* part : parts) part->update();
    update();
}

void TNavBar::TranslateCaptions() {
    FMoreAction->setText(Translate(QStringLiteral("Show &More Buttons")));
    FFewerAction->setText(Translate(QStringLiteral("Show &Fewer Buttons")));
}

TNavBarButton* TNavBar::LargeButton(int index) const { return ValidIndex(index) ? FGroups[index].Large : nullptr; }

TNavBarButton* TNavBar::SmallButton(int index) const { return ValidIndex(index) ? FGroups[index].Small : nullptr; }

QString TNavBar::HeaderCaption() const { return FHeader->Caption(); }

void TNavBar::UpdateButtons() {
    for (int i = 0; i < GroupCount(); ++i) {
        const TGroup& group = FGroups[i];
        group.Large->setText(group.Caption);
        group.Large->setVisible(i < FMaxVisible);
        group.Large->SetActive(i == FActiveIndex);
        group.Small->setToolTip(group.Caption);
        group.Small->setAccessibleName(group.Caption);
        group.Small->setVisible(i >= FMaxVisible);
        group.Small->SetActive(i == FActiveIndex);
    }
    FLargeArea->setVisible(FMaxVisible > 0);
}

void TNavBar::UpdateMenu() {
    FMoreAction->setEnabled(FMaxVisible < GroupCount());
    FFewerAction->setEnabled(FMaxVisible > 0);
}

void TNavBar::UpdateHeader() { FHeader->SetCaption(GroupCaption(FActiveIndex)); }
