// The emoticons the build draws: 60 GIFs beside the program, a few animated,
// and the drawing tool still makes all of them without the emoji font.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace {

// The emoticons that move, and the frames of each.
const QMap<int, int> kAnimated{{4, 4}, {14, 2}, {17, 3}, {33, 2}, {52, 2}, {55, 3}};

// Checks one folder of emoticons; the first failure is reported.
void ExpectEmoticons(const QString& folder) {
    for (int i = 0; i < 60; ++i) {
        SCOPED_TRACE(i);
        const QString path = QStringLiteral("%1/%2.gif").arg(folder).arg(i);
        QImageReader reader(path);
        ASSERT_TRUE(reader.canRead()) << qPrintable(path) << ": " << qPrintable(reader.errorString());
        EXPECT_EQ(reader.format(), QByteArray("gif"));
        EXPECT_EQ(reader.size(), QSize(24, 24));
        const int frames = kAnimated.value(i, 1);
        EXPECT_EQ(reader.imageCount(), frames);
        if (frames > 1) {
            EXPECT_EQ(reader.loopCount(), -1); // for ever
        }
        int read = 0;
        QImage frame;
        while (reader.read(&frame)) {
            ++read;
            EXPECT_EQ(frame.size(), QSize(24, 24));
            // Transparent around the picture, most of the middle drawn.
            EXPECT_EQ(qAlpha(frame.pixel(0, 0)), 0);
            int drawn = 0;
            for (int y = 6; y < 18; ++y)
                for (int x = 6; x < 18; ++x) drawn += qAlpha(frame.pixel(x, y)) == 255;
            EXPECT_GT(drawn, 12 * 12 / 2);
            if (frames > 1) {
                EXPECT_GT(reader.nextImageDelay(), 0);
            }
        }
        EXPECT_EQ(read, frames);
    }
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/60.gif")));
}

TEST(EmotionFiles, BesideTheProgram) { ExpectEmoticons(RuntimeDir() + QStringLiteral("/Emotions")); }

TEST(EmotionFiles, TheToolDrawsFacesWithoutTheFont) {
    QTemporaryDir out;
    for (const QStringList& arguments : {QStringList{out.filePath(QStringLiteral("none"))},
                                         QStringList{out.filePath(QStringLiteral("bad")), SourceDir() + "/README.md"}}) {
        QProcess tool;
        tool.start(QStringLiteral(QLM_MAKEEMOTIONS), arguments);
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
        EXPECT_TRUE(tool.readAllStandardError().contains("60 of 60 emoticons are drawn faces"));
        ExpectEmoticons(arguments.first());
    }
}

TEST(EmotionFiles, TheToolFailsOnAFolderItCannotMake) {
    QTemporaryDir out;
    QFile blocker(out.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess tool;
    tool.start(QStringLiteral(QLM_MAKEEMOTIONS), {out.filePath(QStringLiteral("file/Emotions"))});
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_NE(tool.exitCode(), 0);
}

} // namespace
