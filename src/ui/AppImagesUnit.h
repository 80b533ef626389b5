#pragma once

#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

// The program's icons by resource name ("ONLINESTATE_BUSY", "U_ONLINESTATE_AWAY",
// "TRAYICON_MAIN" ...), drawn as SVG and compiled into the program, so they
// stay crisp at 16, 32 and HiDPI sizes. The main list keeps the documented
// order (indices 0..52; the computer icon is appended at 53).
//
// Used from the GUI thread only. A name without an image gives a null icon or
// pixmap: callers show an empty slot and go on.
class TAppImages {
public:
    static TAppImages& Instance();

    // Null icon when the name is unknown.
    QIcon Icon(const QString& name) const;
    // The icon rendered at size x size logical pixels for the primary screen's ratio.
    QPixmap Pixmap(const QString& name, int size) const;
    // The same for a given device pixel ratio (a widget's devicePixelRatioF()).
    QPixmap Pixmap(const QString& name, int size, qreal ratio) const;
    bool HasIcon(const QString& name) const;
    // Every image compiled into the program, sorted by name.
    static QStringList ResourceNames();

    // The program's own icon for windows and the tray: the 16-pixel design
    // for small sizes, the large logo from 32 pixels on.
    QIcon AppIcon() const;

    // Main image list: names in order, index of a name (-1 when absent).
    static const QStringList& MainListNames();
    int IndexOf(const QString& name) const;
    QIcon MainIcon(int index) const;
    int MainCount() const;
    // Appends the network tree's computer icon; returns its index. Appending
    // again replaces the icon and keeps the index.
    int AppendComputerIcon(const QIcon& icon);
    int ComputerImageIndex() const { return FComputerIndex; }

    // State image list: 0 "RECEIVED_FILE_STATE", 1 "SENT_FILE_STATE".
    QIcon StateIcon(int index) const;

    // Drops the rendered pixmaps (after a screen's ratio changed, for instance).
    void ClearCache() const;

private:
    TAppImages() = default;
    QIcon FComputerIcon;
    int FComputerIndex = -1;
    mutable QHash<QString, QIcon> FIcons;
    mutable QHash<QString, QPixmap> FPixmaps;
    mutable QIcon FAppIcon;
};
