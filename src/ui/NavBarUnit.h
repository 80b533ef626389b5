#pragma once

#include "ui/ColorSchemeUnit.h"

#include <QAbstractButton>
#include <QColor>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

class QAction;
class QMenu;
class QStackedWidget;
class QToolButton;
class TNavBar;

// One group's button of the navigation pane: a full-width bar with icon and
// caption, or a small icon-only square for the bottom strip.
class TNavBarButton : public QAbstractButton {
    Q_OBJECT
public:
    TNavBarButton(TNavBar* navBar, bool large, QWidget* parent = nullptr);

    bool IsLarge() const { return FLarge; }
    QString ImageName() const { return FImageName; }
    void SetImageName(const QString& name);
    bool Active() const { return FActive; }
    void SetActive(bool active);
    // The fill painted now: gradient stops from top to bottom.
    QColor TopColor() const;
    QColor BottomColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    TNavBar* FNavBar;
    bool FLarge;
    bool FActive = false;
    bool FHot = false;
    QString FImageName;
};

// An Outlook-style navigation pane: one panel per group, of which only the
// active one is shown, a bold header with the active group's caption, the
// first MaxVisibleGroups groups as large buttons under the panel and the
// others as small buttons in the bottom strip, whose drop-down shows more or
// fewer large buttons.
class TNavBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int LargeButtonHeight = 32;
    static constexpr int LargeIconSize = 24;
    static constexpr int SmallButtonSize = 26;
    static constexpr int SmallIconSize = 16;
    static constexpr int HeaderHeight = 24;
    static QColor HotColor() { return ColorSchemes::HotTrackColor(); }

    explicit TNavBar(QWidget* parent = nullptr);

    // Adds a group whose panel the pane takes over (an empty one when null);
    // returns its index. The first group becomes active; while every group
    // has a large button, a new one gets a large button too.
    int AddGroup(const QString& imageName, QWidget* panel);
    int GroupCount() const { return int(FGroups.size()); }
    QString GroupCaption(int index) const;
    void SetGroupCaption(int index, const QString& caption);
    QWidget* GroupPanel(int index) const;

    // -1 while there is no group. Out-of-range values select the nearest
    // group; selecting the active group again does nothing.
    int ActiveGroupIndex() const { return FActiveIndex; }
    void SetActiveGroupIndex(int index);

    // How many groups have a large button, 0..GroupCount.
    int MaxVisibleGroups() const { return FMaxVisible; }
    void SetMaxVisibleGroups(int count);

    // The buttons' gradient runs from light (top) to dark (bottom).
    void SetColors(const QColor& light, const QColor& dark);
    QColor LightColor() const { return FLight; }
    QColor DarkColor() const { return FDark; }

    // Captions of the pane's own menu, after a language switch.
    void TranslateCaptions();

    // The parts, for the main window and for tests.
    TNavBarButton* LargeButton(int index) const;
    TNavBarButton* SmallButton(int index) const;
    QToolButton* CustomizeButton() const { return FCustomizeButton; }
    QMenu* CustomizeMenu() const { return FCustomizeMenu; }
    QAction* MoreButtonsAction() const { return FMoreAction; }
    QAction* FewerButtonsAction() const { return FFewerAction; }
    QString HeaderCaption() const;

signals:
    void ActiveGroupChanged(int index);
    void MaxVisibleGroupsChanged(int count);

private:
    struct TGroup {
        QString Caption;
        QPointer<QWidget> Panel;
        TNavBarButton* Large = nullptr;
        TNavBarButton* Small = nullptr;
    };
    class THeader;
    class TStrip;

    void UpdateButtons();
    void UpdateMenu();
    void UpdateHeader();
    bool ValidIndex(int index) const { return index >= 0 && index < GroupCount(); }

    QVector<TGroup> FGroups;
    int FActiveIndex = -1;
    int FMaxVisible = 0;
    QColor FLight{245, 245, 245};
    QColor FDark{220, 220, 220};

    THeader* FHeader = nullptr;
    QStackedWidget* FStack = nullptr;
    QWidget* FLargeArea = nullptr;
    TStrip* FStrip = nullptr;
    QWidget* FSmallArea = nullptr;
    QToolButton* FCustomizeButton = nullptr;
    QMenu* FCustomizeMenu = nullptr;
    QAction* FMoreAction = nullptr;
    QAction* FFewerAction = nullptr;
};
