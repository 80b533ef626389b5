// Save Image as, the context menu, pictures picked by a click, the picture
// dialog's folder rules and the animated pictures of the rich-text panes.
#include "text/widgets/RichEditUnit.h"

#include "text/RtfReaderUnit.h"
#include "text/widgets/RichInputUnit.h"
#include "text/widgets/RichShowUnit.h"

#include "support/RichWidgetFixtures.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

namespace {

using namespace RichFixtures;
using namespace RichWidgetFixtures;

class RichEditCommands : public ::testing::Test {
protected:
    RichEditCommands() {
        for (TRichEdit* edit : {static_cast<TRichEdit*>(&Input), static_cast<TRichEdit*>(&Pane)}) {
            edit->SetFileDialog([this](QWidget*, const TFileDialogRequest& request) {
                Requests << request;
                return Answer;
            });
            edit->SetMessageBox([this](QWidget*, Utils::TMessageBoxKind, const QString& text) {
                Boxes << text;
                return Utils::TMessageBoxResult::Ok;
            });
        }
        Params()[spMessageImageFolder].clear();
    }

    static void SelectPicture(TRichEdit& edit, int position) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    }
    // Waits for the file written in the background.
    static bool Written(TRichEdit& edit, QSignalSpy& spy) {
        return spy.count() > 0 || spy.wait(5000);
    }
    QAction* Item(QMenu& menu, const char* name) const {
        return menu.findChild<QAction*>(QString::fromLatin1(name));
    }

    TSavedParams Saved;
    QTemporaryDir Dir;
    TRichInputBox Input{Params()};
    TRichChatPane Pane{Params()};
    QList<TFileDialogRequest> Requests;
    QString Answer;
    QStringList Boxes;
};

TEST_F(RichEditCommands, SaveImageAsWritesTheJpegsOwnBytesUnderAGifName) {
    const QByteArray jpeg = ImageFile("JPEG");
    const QString source = Dir.filePath(QStringLiteral("photo.jpg"));
    WriteFile(source, jpeg);
    Input.setPlainText(QStringLiteral("see "));
    Input.moveCursor(QTextCursor::End);
    ASSERT_TRUE(Input.InsertImageFile(source));
    SelectPicture(Input, 4);
    ASSERT_NE(Input.SelectedPicture(), nullptr);

    Answer = Dir.filePath(QStringLiteral("QLMChatImage.gif"));
    QSignalSpy written(&Input, &TRichEdit::FileWritten);
    Input.SaveImageAs();
    ASSERT_TRUE(Written(Input, written));
    EXPECT_TRUE(written[0][1].toBool());
    EXPECT_EQ(ReadFile(Answer), jpeg);
    ASSERT_EQ(Requests.size(), 1);
    EXPECT_TRUE(Requests[0].Save);
    EXPECT_EQ(Requests[0].ProposedName, QStringLiteral("QLMChatImage.gif"));
    EXPECT_EQ(Requests[0].DefaultSuffix, QStringLiteral("gif"));
    EXPECT_EQ(Requests[0].Filter, QStringLiteral("Image File(*.gif *.jpg *.jpeg *.bmp)"));
    EXPECT_EQ(Params()[spMessageImageFolder], Dir.path() + QLatin1Char('/'));
}

TEST_F(RichEditCommands, SaveImageAsOfAnUndecodablePictureSavesItsBytes) {
    const QByteArray bytes = "GIF89a" + QByteArray(30, '\x7F');
    Pane.SetDocument(Doc({{{PictureRun(bytes)}}}));
    SelectPicture(Pane, 0);
    Answer = Dir.filePath(QStringLiteral("broken.bmp"));
    QSignalSpy written(&Pane, &TRichEdit::FileWritten);
    Pane.SaveImageAs();
    ASSERT_TRUE(Written(Pane, written));
    EXPECT_EQ(ReadFile(Answer), bytes);
}

TEST_F(RichEditCommands, NothingToSaveWithoutAPictureSelectedOrOnCancel) {
    Input.SetDocument(Doc({{{TextRun("ab"), PictureRun(Png())}}}));
    Input.selectAll(); // more than the picture
    Input.SaveImageAs();
    EXPECT_TRUE(Requests.isEmpty());
    SelectPicture(Input, 2);
    Input.SaveImageAs(); // Answer is empty: Cancel
    EXPECT_EQ(Requests.size(), 1);
    EXPECT_TRUE(Params()[spMessageImageFolder].isEmpty());
}

TEST_F(RichEditCommands, UnwritableTargetIsReported) {
    Input.SetDocument(Doc({{{PictureRun(Png())}}}));
    SelectPicture(Input, 0);
    Answer = Dir.filePath(QStringLiteral("missing/folder/x.gif"));
    QSignalSpy written(&Input, &TRichEdit::FileWritten);
    Input.SaveImageAs();
    ASSERT_TRUE(Written(Input, written));
    EXPECT_FALSE(written[0][1].toBool());
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes[0].startsWith(QStringLiteral("Cannot write the file ") + Answer)) << Boxes[0].toStdString();
}

TEST_F(RichEditCommands, PictureDialogsOpenInTheRememberedFolderWhileItExists) {
    Input.InsertImageCommand(); // cancelled
    ASSERT_EQ(Requests.size(), 1);
    EXPECT_FALSE(Requests[0].Save);
    EXPECT_EQ(Requests[0].Folder,
              QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QLatin1Char('/'));

    const QString picture = Dir.filePath(QStringLiteral("pick.png"));
    WriteFile(picture, Png());
    Answer = picture;
    Input.InsertImageCommand();
    EXPECT_EQ(Input.Document().Pictures().value(0).Bytes, Png());
    EXPECT_EQ(Params()[spMessageImageFolder], Dir.path() + QLatin1Char('/'));
    Answer.clear();
    Input.InsertImageCommand();
    EXPECT_EQ(Requests.last().Folder, Dir.path() + QLatin1Char('/'));

    Params()[spMessageImageFolder] = Dir.filePath(QStringLiteral("gone/"));
    Input.InsertImageCommand();
    EXPECT_EQ(Requests.last().Folder,
              QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QLatin1Char('/'));
}

TEST_F(RichEditCommands, InsertImageFileRefusesWhatItCannotRead) {
    EXPECT_FALSE(Input.InsertImageFile(QString()));
    EXPECT_FALSE(Input.InsertImageFile(Dir.filePath(QStringLiteral("none.gif"))));
    Input.SetPlainTextMode(true);
    const QString picture = Dir.filePath(QStringLiteral("p.gif"));
    WriteFile(picture, Gif());
    EXPECT_FALSE(Input.InsertImageFile(picture));
    EXPECT_TRUE(Input.document()->isEmpty());
}

TEST_F(RichEditCommands, MenuOfTheInputAndOfThePane) {
    QApplication::clipboard()->setText(QStringLiteral("something"));
    Input.SetDocument(Doc({{{TextRun("text"), PictureRun(Png())}}}));
    {
        QMenu menu;
        Input.BuildContextMenu(&menu);
        for (const char* visible : {"miCut", "miCopy", "miPaste", "miPasteSpecial", "miSelectAll", "miInsertImage"})
            EXPECT_TRUE(Item(menu, visible)->isVisible()) << visible;
        for (const char* hidden : {"miSaveImageAs", "miExportToRtf", "miExportSelectedToRtf"})
            EXPECT_FALSE(Item(menu, hidden)->isVisible()) << hidden;
        EXPECT_FALSE(Item(menu, "miCut")->isEnabled()); // nothing selected
        EXPECT_FALSE(Item(menu, "miCopy")->isEnabled());
        EXPECT_TRUE(Item(menu, "miPaste")->isEnabled());
    }
    SelectPicture(Input, 4);
    {
        QMenu menu;
        Input.BuildContextMenu(&menu);
        EXPECT_TRUE(Item(menu, "miSaveImageAs")->isVisible());
        EXPECT_TRUE(Item(menu, "miCopy")->isEnabled());
        EXPECT_EQ(Item(menu, "miSaveImageAs")->text(), QStringLiteral("Save I&mage as..."));
    }
    Pane.SetDocument(Doc({{{TextRun("shown")}}}));
    {
        QMenu menu;
        Pane.BuildContextMenu(&menu);
        for (const char* hidden : {"miCut", "miPaste", "miPasteSpecial", "miInsertImage", "miSaveImageAs"})
            EXPECT_FALSE(Item(menu, hidden)->isVisible()) << hidden;
        EXPECT_TRUE(Item(menu, "miExportToRtf")->isVisible());
        EXPECT_FALSE(Item(menu, "miExportSelectedToRtf")->isEnabled());
    }
}

TEST_F(RichEditCommands, ClickOnAPictureSelectsIt) {
    Input.resize(300, 200);
    Input.show();
    Input.SetDocument(Doc({{{TextRun("ab"), PictureRun(ImageFile("PNG", QSize(40, 30)))}}}));
    QTextCursor at(Input.document());
    at.setPosition(2);
    const QRect caret = Input.cursorRect(at);
    QTest::mouseClick(Input.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(caret.left() + 20, caret.bottom() - 5));
    ASSERT_NE(Input.SelectedPicture(), nullptr);
    QTest::mouseClick(Input.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(caret.left() - 10, caret.bottom() - 5));
    EXPECT_EQ(Input.SelectedPicture(), nullptr);
}

TEST_F(RichEditCommands, ExportWritesRtfOfThePaneOrOfItsSelection) {
    Pane.SetDocument(Doc({{{TextRun("first")}}, {{TextRun("second"), PictureRun(Gif())}}}));
    Answer = Dir.filePath(QStringLiteral("QLMChatRecord.rtf"));
    QSignalSpy written(&Pane, &TRichEdit::FileWritten);
    Pane.ExportToRtfFile(false);
    ASSERT_TRUE(Written(Pane, written));
    EXPECT_EQ(Requests.last().ProposedName, QStringLiteral("QLMChatRecord.rtf"));
    EXPECT_EQ(Requests.last().Filter, QStringLiteral("Rich Text Format(*.rtf)"));
    EXPECT_EQ(ReadRtf(ReadFile(Answer)), Pane.Document());

    QTextCursor cursor = Pane.textCursor();
    cursor.setPosition(6);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    Pane.setTextCursor(cursor);
    Pane.ExportToRtfFile(true);
    ASSERT_TRUE(written.count() > 1 || written.wait(5000));
    EXPECT_EQ(ReadRtf(ReadFile(Answer)), Doc({{{TextRun("sec")}}}));
}

// ------------------------------------------------------------------ animation

TEST_F(RichEditCommands, AnimatedGifPlaysWhileItIsInTheText) {
    Input.resize(200, 100);
    Input.show();
    Input.SetDocument(Doc({{{TextRun("x"), PictureRun(AnimatedGif()), PictureRun(Gif()), PictureRun(Png())}}}));
    const QString name = PictureNameAt(*Input.document(), 1);
    EXPECT_EQ(Input.AnimatedPictures(), QStringList{name}); // the still GIF and the PNG do not play
    // Frames replace the picture's image: red first, then blue.
    const auto colour = [&] {
        const QVariant image = Input.document()->resource(QTextDocument::ImageResource, QUrl(name));
        return qvariant_cast<QImage>(image).pixelColor(0, 0);
    };
    QTRY_COMPARE_WITH_TIMEOUT(colour(), QColor(0, 0, 255), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(colour(), QColor(255, 0, 0), 5000);

    QTextCursor cursor(Input.document());
    cursor.setPosition(1);
    cursor.deleteChar();
    Input.RefreshPictures();
    EXPECT_TRUE(Input.AnimatedPictures().isEmpty());
    Input.document()->undo();
    Input.RefreshPictures();
    EXPECT_EQ(Input.AnimatedPictures(), QStringList{name});
    EXPECT_EQ(Input.Document().Pictures().value(0).Bytes, AnimatedGif());
}

TEST_F(RichEditCommands, AnimationsWaitWhileTheEditIsHidden) {
    QWidget window;
    TRichChatPane pane(Params(), &window);
    pane.AppendToChat(QStringLiteral("a"), QStringLiteral("1"), Doc({{{PictureRun(AnimatedGif())}}}), true, false);
    pane.RefreshPictures();
    EXPECT_EQ(pane.AnimatedPictures().size(), 1);
    EXPECT_TRUE(pane.AnimationsPaused());
    window.show();
    EXPECT_FALSE(pane.AnimationsPaused());
    window.hide();
    EXPECT_TRUE(pane.AnimationsPaused());
}

TEST_F(RichEditCommands, PicturesGoneForGoodLeaveTheStore) {
    Pane.AppendToChat(QStringLiteral("a"), QStringLiteral("1"), Doc({{{PictureRun(AnimatedGif())}}}), true, false);
    Pane.RefreshPictures();
    EXPECT_EQ(Pane.Pictures().Count(), 1);
    Pane.SetDocument(Doc({{{TextRun("fresh")}}}));
    EXPECT_EQ(Pane.Pictures().Count(), 0);
    EXPECT_TRUE(Pane.AnimatedPictures().isEmpty());
}

} // namespace
