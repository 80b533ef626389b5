#include "ui/CustomControlsUnit.h"

#include "ui/UtilsGuiUnit.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

// ---------------------------------------------------------------------------
// TContainerPanel

TContainerPanel::TContainerPanel(QWidget* parent) : QFrame(parent) {}

void TContainerPanel::SetQLMTitle(const QString& text) {
    Utils::SetAndRepaint(*this, FTitle, text);
}

void TContainerPanel::SetQLMRecipients(const QString& text) {
    Utils::SetAndRepaint(*this, FRecipients, text);
}

void TContainerPanel::SetIcon(const QIcon& icon) {
    FIcon = icon;
    update();
}

QSize TContainerPanel::sizeHint() const {
    const int width = TitleLeft + fontMetrics().horizontalAdvance(FTitle) + RecipientsGap +
                      fontMetrics().horizontalAdvance(FRecipients) + 8;
    return {width, minimumSizeHint().height()};
}

QSize TContainerPanel::minimumSizeHint() const {
    return {TitleLeft + 40, std::max(IconSize, fontMetrics().height()) + 10};
}

QRect TContainerPanel::TitleRect() const {
    // Plain text: an "&" is shown as itself, never as a mnemonic.
    return {TitleLeft, 0, fontMetrics().horizontalAdvance(FTitle), height()};
}

QRect TContainerPanel::RecipientsRect() const {
    const int left = TitleRect().right() + 1 + RecipientsGap;
    return {left, 0, std::max(0, width() - 4 - left), height()};
}

QString TContainerPanel::DisplayedRecipients() const {
    return fontMetrics().elidedText(FRecipients, Qt::ElideRight, RecipientsRect().width());
}

void TContainerPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF back = QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5);
    QLinearGradient gradient(back.topLeft(), back.bottomLeft());
    gradient.setColorAt(0, palette().color(QPalette::Base));
    gradient.setColorAt(1, palette().color(QPalette::Window));
    QPainterPath path;
    path.addRoundedRect(back, 3, 3);
    painter.fillPath(path, gradient);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawPath(path);
    painter.setRenderHint(QPainter::Antialiasing, false);

    if (!FIcon.isNull()) {
        FIcon.paint(&painter, QRect(IconLeft, (height() - IconSize) / 2, IconSize, IconSize));
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(TitleRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FTitle);
    painter.drawText(RecipientsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, DisplayedRecipients());
}

// ---------------------------------------------------------------------------
// TContainerStatusBar

TContainerStatusBar::TContainerStatusBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize TContainerStatusBar::sizeHint() const {
    int width = 0;
    for (const TPanel& panel : FPanels) width += panel.Width;
    return {width, fontMetrics().height() + 8};
}

void TContainerStatusBar::AddPanel(int width, const QString& text) {
    // Widths are taken as given; the resize rule of a subclass applies later.
    FPanels.append({std::max(0, width), text, {}});
    PlaceControls();
    update();
}

int TContainerStatusBar::PanelWidth(int index) const {
    return index >= 0 && index < FPanels.size() ? FPanels.at(index).Width : 0;
}

void TContainerStatusBar::SetPanelWidthNoAdjust(int index, int width) {
    if (index < 0 || index >= FPanels.size()) return;
    FPanels[index].Width = std::max(0, width);
}

void TContainerStatusBar::SetPanelWidth(int index, int width) {
    if (index < 0 || index >= FPanels.size()) return;
    SetPanelWidthNoAdjust(index, width);
    // The set width counts until the next resize; the others may follow it now.
    const int kept = FPanels.at(index).Width;
    AdjustPanels();
    FPanels[index].Width = kept;
    PlaceControls();
    update();
}

QString TContainerStatusBar::PanelText(int index) const {
    return index >= 0 && index < FPanels.size() ? FPanels.at(index).Text : QString();
}

void TContainerStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= FPanels.size() || FPanels.at(index).Text == text) return;
    FPanels[index].Text = text;
    update(PanelRect(index));
}

QRect TContainerStatusBar::PanelRect(int index) const {
    if (index < 0 || index >= FPanels.size()) return {};
    int left = 0;
    for (int i = 0; i < index; ++i) left += FPanels.at(i).Width;
    return {left, 0, FPanels.at(index).Width, height()};
}

void TContainerStatusBar::PlaceInPanel(QWidget* control, int index) {
    if (!control || index < 0 || index >= FPanels.size()) return;
    for (TPanel& panel : FPanels) {
        if (panel.Control == control) panel.Control = nullptr;
    }
    if (control->parentWidget() != this) control->setParent(this);
    FPanels[index].Control = control;
    PlaceControls();
    control->show();
}

void TContainerStatusBar::PlaceControls() {
    for (int i = 0; i < FPanels.size(); ++i) {
        if (FPanels.at(i).Control) FPanels.at(i).Control->setGeometry(PanelRect(i).adjusted(2, 2, -2, -2));
    }
}

void TContainerStatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AdjustPanels();
    PlaceControls();
}

void TContainerStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, 0, width(), 0);
    for (int i = 0; i < FPanels.size(); ++i) {
        const QRect panel = PanelRect(i);
        if (panel.width() <= 0) continue;
        if (i + 1 < FPanels.size()) {
            painter.setPen(palette().color(QPalette::Mid));
            painter.drawLine(panel.right(), panel.top() + 3, panel.right(), panel.bottom() - 3);
        }
        if (FPanels.at(i).Control) continue;
        const QRect text = panel.adjusted(4, 1, -4, 0);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(FPanels.at(i).Text, Qt::ElideRight, text.width()));
    }
}

// ---------------------------------------------------------------------------
// TQLMFileStatusBar

TQLMFileStatusBar::TQLMFileStatusBar(QWidget* parent) : TContainerStatusBar(parent) {
    AddPanel(50);
    AddPanel(160);
    AddPanel(130);
}

void TQLMFileStatusBar::AdjustPanels() {
    if (PanelCount() < 3) return;
    SetPanelWidthNoAdjust(0, width() - PanelWidth(1) - PanelWidth(2));
}
