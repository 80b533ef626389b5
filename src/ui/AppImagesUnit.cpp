#include "ui/AppImagesUnit.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace {

QString ResourcePath(const QString& name) { return QStringLiteral(":/images/%1.svg").arg(name); }

// Guards against a caller asking for a poster-sized bitmap by mistake.
constexpr int MaxPixels = 1024;

bool HavePixmaps() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

qreal PrimaryRatio() {
    if (!HavePixmaps()) return 1.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

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

bool TAppImages::HasIcon(const QString& name) const {
    // Plain resource names only: a path must not reach other files.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_]+$"));
    return plainName.match(name).hasMatch() && QFile::exists(ResourcePath(name));
}

QStringList TAppImages::ResourceNames() {
    QStringList names;
    const QStringList files = QDir(QStringLiteral(":/images")).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (const QString& file : files) names << file.chopped(4);
    return names;
}

QIcon TAppImages::Icon(const QString& name) const {
    const auto cached = FIcons.constFind(name);
    if (cached != FIcons.constEnd()) return *cached;
    // Unknown names are not remembered, so a stray caller cannot grow the cache.
    if (!HasIcon(name) || !HavePixmaps()) return {};
    const QIcon icon(ResourcePath(name));
    FIcons.insert(name, icon);
    return icon;
}

QPixmap TAppImages::Pixmap(const QString& name, int size) const { return Pixmap(name, size, PrimaryRatio()); }

QPixmap TAppImages::Pixmap(const QString& name, int size, qreal ratio) const {
    if (size <= 0 || !HavePixmaps()) return {};
    if (!(ratio > 0)) ratio = 1.0;
    const int pixels = std::min(MaxPixels, int(std::lround(size * ratio)));
    if (pixels <= 0) return {};
    const QString key = name + QLatin1Char('|') + QString::number(pixels) + QLatin1Char('|') + QString::number(ratio);
    const auto cached = FPixmaps.constFind(key);
    if (cached != FPixmaps.constEnd()) return *cached;
    if (!HasIcon(name)) return {};

    QSvgRenderer renderer(ResourcePath(name));
    QPixmap pixmap;
    if (renderer.isValid()) {
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        pixmap = QPixmap::fromImage(std::move(image));
        pixmap.setDevicePixelRatio(ratio);
    }
    // A broken file is remembered as an empty slot, like a missing one.
    FPixmaps.insert(key, pixmap);
    return pixmap;
}

QIcon TAppImages::AppIcon() const {
    if (!FAppIcon.isNull() || !HavePixmaps()) return FAppIcon;
    const QString small = QStringLiteral("TRAYICON_MAIN");
    const QString large = QStringLiteral("APP_LOGO");
    for (const int size : {16, 20, 22, 24, 32, 48, 64, 128, 256}) {
        const QPixmap pixmap = Pixmap(size < 32 ? small : large, size, 1.0);
        if (!pixmap.isNull()) FAppIcon.addPixmap(pixmap);
    }
    return FAppIcon;
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

void TAppImages::ClearCache() const {
    FPixmaps.clear();
    FAppIcon = QIcon();
}
