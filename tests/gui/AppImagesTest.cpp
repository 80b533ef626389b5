#include "ui/AppImagesUnit.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <ostream>

namespace {

struct TImageCase {
    const char* Name;
};

void PrintTo(const TImageCase& c, std::ostream* os) { *os << c.Name; }

// Every name the windows, the tray and the controls ask for.
const TImageCase DocumentedImages[] = {
    {"U_MAINGROUP_ONLINEUSER"}, {"U_MAINGROUP_NETWORK"}, {"U_CHECKBOX_CHECKED"}, {"U_CHECKBOX_UNCHECKED"},
    {"U_COMMAND_SENDMESSAGE"}, {"U_COMMAND_SENDFILE"}, {"U_COMMAND_SENDMESSAGECHECKED"}, {"U_COMMAND_RefreshList"},
    {"ONLINESTATE_PRESENT"}, {"ONLINESTATE_BUSY"}, {"ONLINESTATE_AWAY"}, {"ONLINESTATE_SETUP"},
    {"SORTARROW_DOWN"}, {"SORTARROW_UP"}, {"TRAYICONMENU_EXIT"}, {"TRAYICONMENU_SETTINGS"}, {"TRAYICONMENU_HELP"},
    {"TRAYICONMENU_CONSOLEMESSAGE"}, {"TRAYICONMENU_BROADCAST"}, {"TRAYICONMENU_MANAGE"}, {"U_CHANGENICKNAME"},
    {"SMALL_REDCROSS"}, {"U_CLEARCONTENT"}, {"U_SENDMESSAGE"}, {"U_HISTORYLIST"}, {"SEND_ADD_FILE"},
    {"SEND_ADD_FOLDER"}, {"SEND_ONTOP"}, {"SEND_CHANGE_RECEIVER"}, {"SEND_VIEWS"}, {"SEND_COPYTO"}, {"SEND_MOVETO"},
    {"SEND_EXPLORER"}, {"SEND_REFRESHLIST"}, {"SEND_AUTOCLOSE"}, {"SEND_BROWSECOMPUTER"}, {"SEND_FONTCOLOR"},
    {"SEND_EMOTION"}, {"SEND_INSERTIMAGE"}, {"SEND_SWITCHMODE"}, {"SEND_FONTITALIC"}, {"SEND_FONTBOLD"},
    {"SEND_FONTUNDERLINE"}, {"SEND_CAPTURESCREEN"}, {"DATABASE_COMPACT"}, {"EXPROT_TO_FILE"}, {"DATABASE_REFRESH"},
    {"CHANGE_FONT"}, {"GROUP_ARROW_LEFT"}, {"GROUP_ARROW_DOWN"}, {"GROUP_FAVORITE"}, {"CHANGE_INTERFACECOLOR"},
    {"CHECK_UPDATE"},
    {"RECEIVED_FILE_STATE"}, {"SENT_FILE_STATE"}, {"SEND_FILERECEIVED"},
    {"U_ONLINESTATE_PRESENT"}, {"U_ONLINESTATE_BUSY"}, {"U_ONLINESTATE_AWAY"},
    {"U_DROPBUTTON_NORMAL"}, {"U_DROPBUTTON_HOT"}, {"U_DROPBUTTON_PRESSED"},
    {"TRAYICON_MAIN"}, {"TRAYICON_ANIMATE_MESSAGE_01"}, {"TRAYICON_ANIMATE_MESSAGE_02"},
    {"TRAYICON_ANIMATE_MESSAGE_03"}, {"TRAYICON_ANIMATE_MESSAGE_04"}, {"TRAYICON_ANIMATE_FILE_01"},
    {"TRAYICON_ANIMATE_FILE_02"}, {"TRAYICON_ANIMATE_FILE_03"}, {"TRAYICON_ANIMATE_FILE_04"},
    {"TRAYWINDOW_CLOSE"}, {"APP_LOGO"},
};

// Pixels that are not fully transparent: an icon that renders to nothing is as
// bad as a missing one.
int VisiblePixels(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
    return count;
}

class DocumentedImageTest : public ::testing::TestWithParam<TImageCase> {};

TEST_P(DocumentedImageTest, ExistsAndRendersAt16And32) {
    const QString name = QLatin1String(GetParam().Name);
    TAppImages& images = TAppImages::Instance();
    ASSERT_TRUE(images.HasIcon(name));
    EXPECT_FALSE(images.Icon(name).isNull());
    for (const int size : {16, 32}) {
        const QPixmap pixmap = images.Pixmap(name, size, 1.0);
        ASSERT_FALSE(pixmap.isNull()) << size;
        EXPECT_EQ(pixmap.size(), QSize(size, size));
        // A quarter of the smallest glyph (the sort arrow) still covers more.
        EXPECT_GT(VisiblePixels(pixmap), size * size / 20) << size;
        EXPECT_FALSE(images.Icon(name).pixmap(size, size).isNull()) << size;
    }
}

INSTANTIATE_TEST_SUITE_P(AppImages, DocumentedImageTest, ::testing::ValuesIn(DocumentedImages));

TEST(AppImagesTest, MainListKeepsTheDocumentedOrder) {
    const QStringList& names = TAppImages::MainListNames();
    ASSERT_EQ(names.size(), 53);
    EXPECT_EQ(names.at(0), QStringLiteral("U_MAINGROUP_ONLINEUSER"));
    EXPECT_EQ(names.at(8), QStringLiteral("ONLINESTATE_PRESENT"));
    EXPECT_EQ(names.at(48), QStringLiteral("GROUP_ARROW_LEFT"));
    EXPECT_EQ(names.at(52), QStringLiteral("CHECK_UPDATE"));
    EXPECT_EQ(QStringList(names).removeDuplicates(), 0);

    TAppImages& images = TAppImages::Instance();
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(images.IndexOf(names.at(i)), i);
        EXPECT_FALSE(images.MainIcon(i).isNull()) << names.at(i).toStdString();
    }
    EXPECT_EQ(images.IndexOf(QStringLiteral("TRAYICON_MAIN")), -1);
}

TEST(AppImagesTest, ComputerIconFollowsTheListAtIndex53) {
    // The image store lives for the whole process; this leaves the computer
    // icon in place, as the network tree would.
    TAppImages& images = TAppImages::Instance();
    const QIcon computer = images.Icon(QStringLiteral("SHELL_COMPUTER"));
    ASSERT_FALSE(computer.isNull());
    EXPECT_EQ(images.AppendComputerIcon(computer), 53);
    EXPECT_EQ(images.ComputerImageIndex(), 53);
    EXPECT_EQ(images.MainCount(), 54);
    EXPECT_EQ(images.MainIcon(53).cacheKey(), computer.cacheKey());
    // A second tree start replaces the icon instead of growing the list.
    EXPECT_EQ(images.AppendComputerIcon(computer), 53);
    EXPECT_EQ(images.MainCount(), 54);
    EXPECT_TRUE(images.MainIcon(54).isNull());
}

TEST(AppImagesTest, StateListHoldsTheTwoFileMarks) {
    TAppImages& images = TAppImages::Instance();
    EXPECT_FALSE(images.StateIcon(0).isNull());
    EXPECT_FALSE(images.StateIcon(1).isNull());
    EXPECT_TRUE(images.StateIcon(2).isNull());
    EXPECT_TRUE(images.StateIcon(-1).isNull());
}

TEST(AppImagesTest, UnknownNamesGiveEmptySlots) {
    TAppImages& images = TAppImages::Instance();
    for (const QString& name : {QStringLiteral("NO_SUCH_IMAGE"), QString(), QStringLiteral("TRAYICON_MAIN_16"),
                                QStringLiteral("../images/TRAYICON_MAIN")}) {
        EXPECT_FALSE(images.HasIcon(name)) << name.toStdString();
        EXPECT_TRUE(images.Icon(name).isNull()) << name.toStdString();
        EXPECT_TRUE(images.Pixmap(name, 16).isNull()) << name.toStdString();
    }
    EXPECT_TRUE(images.MainIcon(-1).isNull());
    EXPECT_TRUE(images.Pixmap(QStringLiteral("TRAYICON_MAIN"), 0).isNull());
    EXPECT_TRUE(images.Pixmap(QStringLiteral("TRAYICON_MAIN"), -16).isNull());
}

TEST(AppImagesTest, PixmapsFollowThePixelRatioAndAreCached) {
    TAppImages& images = TAppImages::Instance();
    const QPixmap sharp = images.Pixmap(QStringLiteral("ONLINESTATE_BUSY"), 16, 2.0);
    ASSERT_FALSE(sharp.isNull());
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_EQ(images.Pixmap(QStringLiteral("ONLINESTATE_BUSY"), 16, 2.0).cacheKey(), sharp.cacheKey());
    EXPECT_NE(images.Pixmap(QStringLiteral("ONLINESTATE_BUSY"), 16, 1.0).cacheKey(), sharp.cacheKey());
    // A huge request is capped instead of allocating without bound.
    EXPECT_LE(images.Pixmap(QStringLiteral("APP_LOGO"), 100000, 1.0).width(), 1024);
}

TEST(AppImagesTest, AppIconUsesTheSmallDesignForSmallSizes) {
    const QIcon icon = TAppImages::Instance().AppIcon();
    ASSERT_FALSE(icon.isNull());
    const QImage small = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage expected =
        TAppImages::Instance().Pixmap(QStringLiteral("TRAYICON_MAIN"), 16, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(small, expected);
    EXPECT_FALSE(icon.pixmap(64, 64).isNull());
}

// The images are hand-written SVG: self-contained, no fonts, small enough to
// read. A file that reaches outside (a link, an embedded bitmap, text that
// needs a font) renders differently on every machine.
TEST(AppImagesTest, EveryImageIsSelfContainedSvg) {
    const QStringList names = TAppImages::ResourceNames();
    ASSERT_GE(names.size(), int(std::size(DocumentedImages)));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(QStringLiteral(":/images/%1.svg").arg(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_LT(bytes.size(), 6000);
        QXmlStreamReader xml(bytes);
        bool root = true;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (root) {
                EXPECT_EQ(xml.name(), QStringLiteral("svg"));
                EXPECT_FALSE(xml.attributes().value(QStringLiteral("viewBox")).isEmpty());
                root = false;
            }
            for (const char* banned : {"text", "image", "script", "foreignObject", "style", "metadata"}) {
                EXPECT_NE(xml.name(), QLatin1String(banned));
            }
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (attribute.name() == QStringLiteral("href")) {
                    EXPECT_TRUE(attribute.value().startsWith(u'#'));
                }
                EXPECT_FALSE(attribute.value().contains(QStringLiteral("url(http")));
            }
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    }
}

} // namespace
