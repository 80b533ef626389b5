#include "ui/AppImagesUnit.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {
QString ResourcePath(const QString& name) { return QStringLiteral(":/images/%1.svg").arg(name); }
} // namespace

TAppImages& TAppImages::Instance() {
    static TAppImages images;
    return images;
}

const QStringList& TAppImages::MainListNames() {
    static const QStringList names = {
        QStringLiteral("U_MAINGROUP_ONLINEUSER"), QStringLiteral("U_MAINGROUP_NETWORK"),
        QStringLiteral("U_CHECKBOX_CHECKED"), QStringLiteral("U_CHECKBOX_UNCHECKED"),
        QStringLiteral("U_COMMAND_SENDMESSAGE"), QStringLiteral("U_COMMAND_SENDFILE"),
        QStringLiteral("U_COMMAND_SENDMESSAGECHECKED"), QStringLiteral("U_COMMAND_RefreshList"),
        QStringLiteral("ONLINESTATE_PRESENT"), QStringLiteral("ONLINESTATE_BUSY"), QStringLiteral("ONLINESTATE_AWAY"),
        QStringLiteral("ONLINESTATE_SETUP"), QStringLiteral("SORTARROW_DOWN"), QStringLiteral("SORTARROW_UP"),
        QStringLiteral("TRAYICONMENU_EXIT"), QStringLiteral("TRAYICONMENU_SETTINGS"), QStringLiteral("TRAYICONMENU_HELP"),
        QStringLiteral("TRAYICONMENU_CONSOLEMESSAGE"), QStringLiteral("TRAYICONMENU_BROADCAST"),
        QStringLiteral("TRAYICONMENU_MANAGE"), QStringLiteral("U_CHANGENICKNAME"), QStringLiteral("SMALL_REDCROSS"),
        QStringLiteral("U_CLEARCONTENT"), QStringLiteral("U_SENDMESSAGE"), QStringLiteral("U_HISTORYLIST"),
        QStringLiteral("SEND_ADD_FILE"), QStringLiteral("SEND_ADD_FOLDER"), QStringLiteral("SEND_ONTOP"),
        QStringLiteral("SEND_CHANGE_RECEIVER"), QStringLiteral("SEND_VIEWS"), QStringLiteral("SEND_COPYTO"),
        QStringLiteral("SEND_MOVETO"), QStringLiteral("SEND_EXPLORER"), QStringLiteral("SEND_REFRESHLIST"),
        QStringLiteral("SEND_AUTOCLOSE"), QStringLiteral("SEND_BROWSECOMPUTER"), QStringLiteral("SEND_FONTCOLOR"),
        QStringLiteral("SEND_EMOTION"), QStringLiteral("SEND_INSERTIMAGE"), QStringLiteral("SEND_SWITCHMODE"),
        QStringLiteral("SEND_FONTITALIC"), QStringLiteral("SEND_FONTBOLD"), QStringLiteral("SEND_FONTUNDERLINE"),
        QStringLiteral("SEND_CAPTURESCREEN"), QStringLiteral("DATABASE_COMPACT"), QStringLiteral("EXPROT_TO_FILE"),
        QStringLiteral("DATABASE_REFRESH"), QStringLiteral("CHANGE_FONT"), QStringLiteral("GROUP_ARROW_LEFT"),
        QStringLiteral("GROUP_ARROW_DOWN"), QStringLiteral("GROUP_FAVORITE"), QStringLiteral("CHANGE_INTERFACECOLOR"),
        QStringLiteral("CHECK_UPDATE"),
    };
    return names;
}

bool TAppImages::HasIcon(const QString& name) const { return QFile::exists(ResourcePath(name)); }

QIcon TAppImages::Icon(const QString& name) const {
    return HasIcon(name) ? QIcon(ResourcePath(name)) : QIcon();
}

QPixmap TAppImages::Pixmap(const QString& name, int size) const {
    const QIcon icon = Icon(name);
    if (icon.isNull()) return {};
    const qreal ratio = qApp && QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->devicePixelRatio() : 1.0;
    return icon.pixmap(QSize(size, size), ratio);
}

int TAppImages::IndexOf(const QString& name) const {
    const qsizetype i = MainListNames().indexOf(name);
    return i >= 0 ? int(i) : -1;
}

int TAppImages::MainCount() const { return int(MainListNames().size()) + (FComputerIndex >= 0 ? 1 : 0); }

QIcon TAppImages::MainIcon(int index) const {
    if (index == FComputerIndex && index >= 0) return FComputerIcon;
    if (index < 0 || index >= MainListNames().size()) return {};
    return Icon(MainListNames().at(index));
}

int TAppImages::AppendComputerIcon(const QIcon& icon) {
    FComputerIcon = icon;
    FComputerIndex = int(MainListNames().size());
    return FComputerIndex;
}

QIcon TAppImages::StateIcon(int index) const {
    if (index == 0) return Icon(QStringLiteral("RECEIVED_FILE_STATE"));
    if (index == 1) return Icon(QStringLiteral("SENT_FILE_STATE"));
    return {};
}
