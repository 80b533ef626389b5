#pragma once

#include "protocol/CommConstsUnit.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>

class QMenu;
class QModelIndex;
class TApplicationParams;
class TOnlineFloatWindow;
class TOnlineUserModel;
struct TUserNodeData;

// Where a tag of the given bounds may stand: inside the available area of
// the screen it overlaps most (the nearest screen when it overlaps none),
// pulled up from the bottom, left from the right, then never left of or
// above that area. screens: the screens' available areas.
QPoint KeepTagOnDesktop(const QRect& tag, const QList<QRect>& screens);

// A floating tag: a small frameless always-on-top tool window standing for
// one listed user, with the user's state image and display name. Drag it
// anywhere on the desktop; double click, the menu and dropped files go to its
// controller.
class TFloatWindow : public QWidget {
    Q_OBJECT
public:
    TFloatWindow(TOnlineFloatWindow& owner, const TRecipient& user);

    const TRecipient& User() const { return FUser; }
    QString DisplayText() const { return FText; }
    QString StateImage() const { return FStateImage; }
    QColor BorderColor() const { return FBorder; }
    QColor GradientStart() const { return FStart; }
    QColor GradientEnd() const { return FEnd; }

    // Name, state and size from the user's row (Placing).
    void Refresh(const TUserNodeData& node);
    void SetColors(const QColor& start, const QColor& end, const QColor& border);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TOnlineFloatWindow& FOwner;
    TRecipient FUser;
    QString FText;
    QString FStateImage;
    QColor FBorder{132, 172, 238};
    QColor FStart{233, 241, 255};
    QColor FEnd{148, 188, 254};
    QPoint FDragOffset;
    bool FDragging = false;
};

// What the tags work with; the main window fills it, tests give their own.
struct TFloatWindowContext {
    TOnlineUserModel* Model = nullptr;
    QString PositionsFile; // "FloatInfo.ini"
    QFont Font;
    std::function<void(const TRecipient& user)> OpenMessage;
    std::function<void(const TRecipient& user, const QStringList& paths)> SendFiles;
    // The available areas of the screens, the primary first; empty: Qt's screens.
    std::function<QList<QRect>()> Desktop;
    // Whether the window system lets a client place its windows (not on Wayland).
    bool CanPlace = true;
    const TApplicationParams* Params = nullptr; // OnlyUserNickname
};

// The floating tags of the process: made, refreshed and closed here, one
// per user at most, with their shared menu. Tags follow the online list:
// a new name or state refreshes, a user leaving closes its tag.
class TOnlineFloatWindow : public QObject {
    Q_OBJECT
public:
    enum { TagSendMessage = 0, TagSendFile = 1, TagSeparator = 2, TagClose = 3 };

    explicit TOnlineFloatWindow(TFloatWindowContext context, QObject* parent = nullptr);
    ~TOnlineFloatWindow() override;

    // Nothing for a group row or no row.
    TFloatWindow* ShowFloatingWindow(const QModelIndex& user);
    void CloseFloatingWindow(TFloatWindow* tag);
    void CloseAll();
    void RefreshFloatingWindow(const QModelIndex& user);
    // The colour scheme's gradient; border blue for "Blue", grey otherwise.
    void SetFloatingWindowColors(const QString& scheme, const QColor& start, const QColor& end);

    // The tag of a user row, if it has one.
    TFloatWindow* TagOf(const TUserNodeData& node) const;
    QList<TFloatWindow*> Tags() const;
    QMenu* Menu() const { return FMenu.get(); }
    const TFloatWindowContext& Context() const { return FContext; }
    QList<QRect> DesktopAreas() const;
    // The saved top-left corner of a user's tag (the primary screen's
    // centre when none is saved).
    QPoint SavedPosition(const TRecipient& user) const;

    // From the tags.
    void TagDoubleClicked(TFloatWindow* tag);
    void TagMenuRequested(TFloatWindow* tag, const QPoint& globalPos);
    void TagFilesDropped(TFloatWindow* tag, const QStringList& paths);
    // The menu's commands on the tag last right-clicked.
    void MenuCommand(int tag);

signals:
    // A user's tag was shown or closed (UserKey of computer name and id).
    void TagShown(const QString& userKey, QObject* tag);
    void TagClosed(const QString& userKey);

private:
    void SavePosition(const TFloatWindow& tag) const;
    void RowsChanged(const QModelIndex& first, const QModelIndex& last);

    TFloatWindowContext FContext;
    QList<QPointer<TFloatWindow>> FTags;
    QPointer<TFloatWindow> FMenuTag;
    std::unique_ptr<QMenu> FMenu;
    QColor FStart{233, 241, 255};
    QColor FEnd{148, 188, 254};
    QColor FBorder{132, 172, 238};
};
