#pragma once

#include "core/OnlineStateValueUnit.h"

#include <QColor>
#include <QFrame>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>
#include <optional>

enum TButtonState { bsNormal, bsHot, bsPressed };

// An icon button with an image per state, given by resource names of the
// image store. A release inside either opens the drop-down menu at the lower
// left corner or, without a menu, emits Clicked.
class TThreeStateButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultButtonSize = 17;

    explicit TThreeStateButton(QWidget* parent = nullptr);

    QString ButtonNormalImageRes() const { return FNormalImageRes; }
    void SetButtonNormalImageRes(const QString& name);
    QString ButtonHotImageRes() const { return FHotImageRes; }
    void SetButtonHotImageRes(const QString& name);
    QString ButtonPressedImageRes() const { return FPressedImageRes; }
    void SetButtonPressedImageRes(const QString& name);

    // Width and height in pixels (1..255); the images are loaded at this size.
    int ButtonSize() const { return FButtonSize; }
    void SetButtonSize(int size);

    TButtonState ButtonState() const { return FState; }
    void SetButtonState(TButtonState state);

    QMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(QMenu* menu) { FDropDownMenu = menu; }

    // The image shown now, and how many times an image was loaded: setting a
    // name that is already shown must not load it again.
    QPixmap CurrentImage() const { return FImage; }
    int ImageLoadCount() const { return FImageLoads; }

    QSize sizeHint() const override;

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString ImageResOf(TButtonState state) const;
    void SetImageRes(QString& field, TButtonState owner, const QString& name);
    // Loads the current state's image unless it is already shown; true when loaded.
    bool RefreshImage();
    void LoadImage();

    QString FNormalImageRes;
    QString FHotImageRes;
    QString FPressedImageRes;
    int FButtonSize = DefaultButtonSize;
    TButtonState FState = bsNormal;
    QPointer<QMenu> FDropDownMenu;

    QPixmap FImage;
    QString FLoadedRes;
    int FLoadedSize = 0;
    qreal FLoadedRatio = 0;
    int FImageLoads = 0;
};

// A plain panel that knows the main window's navigation bar.
class TThemedPanel : public QFrame {
    Q_OBJECT
public:
    explicit TThemedPanel(QWidget* parent = nullptr);

    QWidget* NavBar() const { return FNavBar; }
    void SetNavBar(QWidget* navBar) { FNavBar = navBar; }

private:
    QPointer<QWidget> FNavBar;
};

// The gradient header of the main window: the own state icon, a drop button
// for the state menu, and two lines of text.
class TQLMHeader : public TThemedPanel {
    Q_OBJECT
public:
    static constexpr int HeaderHeight = 40;
    static constexpr int StateIconSize = 32;
    static constexpr int StateIconLeft = 4;
    static constexpr int DropButtonLeft = 40;

    explicit TQLMHeader(QWidget* parent = nullptr);

    QString CaptionTitle() const { return FCaptionTitle; }
    void SetCaptionTitle(const QString& text);
    QString CaptionContent() const { return FCaptionContent; }
    void SetCaptionContent(const QString& text);

    QMenu* DropDownMenu() const;
    void SetDropDownMenu(QMenu* menu);

    QColor GradientStartColor() const { return FGradientStartColor; }
    void SetGradientStartColor(const QColor& color);
    QColor GradientEndColor() const { return FGradientEndColor; }
    void SetGradientEndColor(const QColor& color);

    // nullopt shows no icon.
    std::optional<TOnlineState> OnlineState() const { return FOnlineState; }
    void SetOnlineState(std::optional<TOnlineState> state);

    TThreeStateButton* DropButton() const { return FDropButton; }

    // Where the parts are painted, in widget coordinates.
    QRect StateIconRect() const;
    QRect TitleRect() const;
    QRect ContentRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceDropButton();
    QPixmap StateImage();

    QString FCaptionTitle;
    QString FCaptionContent;
    QColor FGradientStartColor{220, 220, 220};
    QColor FGradientEndColor{245, 245, 245};
    std::optional<TOnlineState> FOnlineState = TOnlineState::Online;
    TThreeStateButton* FDropButton = nullptr;

    // Reloaded only when the state (or the screen's ratio) changes.
    QPixmap FStateImage;
    std::optional<std::optional<TOnlineState>> FStateImageState; // empty: nothing loaded yet
    qreal FStateImageRatio = 0;
};

// The header line of the message window: an icon, a title and the
// recipients, cut with an ellipsis when they do not fit.
class TContainerPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int IconLeft = 6;
    static constexpr int IconSize = 16;
    static constexpr int TitleLeft = 30;
    static constexpr int RecipientsGap = 6;

    explicit TContainerPanel(QWidget* parent = nullptr);

    QString QLMTitle() const { return FTitle; }
    void SetQLMTitle(const QString& text);
    QString QLMRecipients() const { return FRecipients; }
    void SetQLMRecipients(const QString& text);
    QIcon Icon() const { return FIcon; }
    void SetIcon(const QIcon& icon);

    // The recipients as painted at the current width, and where.
    QString DisplayedRecipients() const;
    QRect TitleRect() const;
    QRect RecipientsRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FTitle;
    QString FRecipients;
    QIcon FIcon;
};

// A status bar of panels side by side that can also hold child controls,
// each kept inside its panel.
class TContainerStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TContainerStatusBar(QWidget* parent = nullptr);

    int PanelCount() const { return int(FPanels.size()); }
    void AddPanel(int width, const QString& text = QString());
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);
    QString PanelText(int index) const;
    // Indices outside the panels are ignored.
    void SetPanelText(int index, const QString& text);
    QRect PanelRect(int index) const;
    // Keeps a child control over a panel's inner area, also after resizes.
    void PlaceInPanel(QWidget* control, int index);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Called on every resize and width change, before the controls are placed.
    virtual void AdjustPanels() {}
    void SetPanelWidthNoAdjust(int index, int width);

private:
    struct TPanel {
        int Width = 0;
        QString Text;
        QPointer<QWidget> Control;
    };
    void PlaceControls();

    QVector<TPanel> FPanels;
};

// The file window's status bar: three panels, the first one takes the width
// the other two leave.
class TQLMFileStatusBar : public TContainerStatusBar {
    Q_OBJECT
public:
    explicit TQLMFileStatusBar(QWidget* parent = nullptr);

protected:
    void AdjustPanels() override;
};
