// What a drop or a paste puts into the input box: pictures in, files handed
// on as a send request (or refused for a group), the private format with its
// formatting, everything else as plain text.
#include "text/widgets/RichInputUnit.h"

#include "core/UtilsUnit.h"
#include "text/RtfWriterUnit.h"

#include "support/CaseName.h"
#include "support/RichWidgetFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <ostream>

namespace {

using namespace RichFixtures;
using namespace RichWidgetFixtures;

class RichInputDrop : public ::testing::Test {
protected:
    RichInputDrop() {
        Input.SetMessageBox([this](QWidget*, Utils::TMessageBoxKind kind, const QString& text) {
            Boxes << QStringLiteral("%1|%2").arg(int(kind)).arg(text);
            return Utils::TMessageBoxResult::Ok;
        });
        Input.resize(300, 200);
    }

    QString Put(const char* name, const QByteArray& bytes) const {
        const QString path = Dir.filePath(QString::fromLatin1(name));
        WriteFile(path, bytes);
        return path;
    }
    QList<TRichPicture> Pictures() const { return Input.Document().Pictures(); }
    QStringList TempFiles() const { return QDir(Utils::GetTempFolder()).entryList(QDir::Files); }

    TSavedParams Saved;
    QTemporaryDir Dir;
    TRichInputBox Input{Params()};
    QSignalSpy FileRequests{&Input, &TRichInputBox::FileSendRequested};
    QStringList Boxes;
};

TEST_F(RichInputDrop, OneJpegIsInsertedAndNoFileIsSent) {
    const QByteArray jpeg = ImageFile("JPEG");
    EXPECT_FALSE(Drop(Input, *FileList({Put("photo.JPG", jpeg)})));
    ASSERT_EQ(Pictures().size(), 1);
    EXPECT_EQ(Pictures()[0].Bytes, jpeg);
    EXPECT_EQ(Pictures()[0].Format, TPictureFormat::Jpeg);
    EXPECT_EQ(FileRequests.count(), 0);
    EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(RichInputDrop, IconIsDrawnOnTheBackgroundAndLeavesNoTemporaryFile) {
    QPalette palette = Input.viewport()->palette();
    palette.setColor(Input.viewport()->backgroundRole(), QColor(0xF2, 0xF0, 0xEE));
    Input.viewport()->setPalette(palette);
    const QStringList before = TempFiles();
    Drop(Input, *FileList({Put("app.ico", IconFile())}));
    ASSERT_EQ(Pictures().size(), 1);
    EXPECT_EQ(Pictures()[0].Format, TPictureFormat::Bmp);
    const QImage bitmap = Decode(Pictures()[0].Bytes);
    EXPECT_EQ(bitmap.size(), QSize(32, 32));
    EXPECT_EQ(bitmap.pixelColor(1, 1), QColor(0xF2, 0xF0, 0xEE)); // transparent corner
    EXPECT_EQ(bitmap.pixelColor(16, 16), QColor(0, 160, 0));
    EXPECT_EQ(TempFiles(), before);
    EXPECT_FALSE(QFileInfo::exists(Utils::GetTempFolder() + QStringLiteral("QLM_ImageTemp.bmp")));
    EXPECT_EQ(FileRequests.count(), 0);
}

struct TFileCase {
    std::string Name;
    QStringList Files; // names in the test folder
    int Recipients;
    bool Requested;    // handed on as a file-send request
    bool Refused;      // "Cannot send file to multi users."
};
void PrintTo(const TFileCase& c, std::ostream* os) { *os << c.Name; }

class RichInputFiles : public RichInputDrop, public ::testing::WithParamInterface<TFileCase> {};

TEST_P(RichInputFiles, AreHandedOnOrRefused) {
    const TFileCase& c = GetParam();
    QStringList paths;
    for (const QString& name : c.Files)
        paths << Put(name.toUtf8().constData(), name.endsWith(QLatin1String(".gif")) ? Gif() : QByteArray("text"));
    Input.SetRecipientCount(c.Recipients);
    Drop(Input, *FileList(paths));
    EXPECT_TRUE(Pictures().isEmpty());
    ASSERT_EQ(FileRequests.count(), c.Requested ? 1 : 0);
    if (c.Requested) {
        EXPECT_EQ(FileRequests[0][0].toStringList(), paths);
    }
    EXPECT_EQ(Boxes, c.Refused ? QStringList{QStringLiteral("2|Cannot send file to multi users.")} : QStringList{});
    EXPECT_TRUE(Input.toPlainText().isEmpty()); // no path typed in either
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RichInputFiles,
    ::testing::Values(TFileCase{"TextFile", {"notes.txt"}, 1, true, false},
                      TFileCase{"TextFileNoRecipient", {"notes.txt"}, 0, true, false},
                      TFileCase{"SeveralPictures", {"a.gif", "b.gif"}, 1, true, false},
                      TFileCase{"PictureAndText", {"a.gif", "notes.txt"}, 1, true, false},
                      TFileCase{"NoExtension", {"README"}, 1, true, false},
                      // Not a picture although ".jp" is part of "*.jpg".
                      TFileCase{"PartOfAPictureExtension", {"scan.jp"}, 1, true, false},
                      TFileCase{"GroupWindowTextFile", {"notes.txt"}, 3, false, true},
                      TFileCase{"GroupWindowSeveralFiles", {"a.gif", "b.gif"}, 2, false, true}),
    TCaseName());

TEST_F(RichInputDrop, FolderIsHandedOnAsAFile) {
    const QString folder = Dir.filePath(QStringLiteral("holiday.gif"));
    ASSERT_TRUE(QDir().mkpath(folder));
    Drop(Input, *FileList({folder}));
    EXPECT_TRUE(Pictures().isEmpty());
    EXPECT_EQ(FileRequests.count(), 1);
}

TEST_F(RichInputDrop, PlainTextModeTakesTextOnly) {
    Input.SetPlainTextMode(true);
    auto data = FileList({Put("photo.jpg", ImageFile("JPEG"))});
    data->setText(QStringLiteral("typed"));
    data->setImageData(QImage(4, 4, QImage::Format_RGB32));
    Drop(Input, *data);
    EXPECT_EQ(Input.toPlainText(), QStringLiteral("typed"));
    EXPECT_TRUE(Pictures().isEmpty());
    EXPECT_EQ(FileRequests.count(), 0);
}

TEST_F(RichInputDrop, ReadOnlyBoxTakesNothing) {
    Input.setReadOnly(true);
    Drop(Input, *FileList({Put("photo.jpg", ImageFile("JPEG")), Put("notes.txt", "x")}));
    EXPECT_TRUE(Input.document()->isEmpty());
    EXPECT_EQ(FileRequests.count(), 0);
}

// ------------------------------------------------------------------ paste

class RichInputPaste : public RichInputDrop {
protected:
    void Paste(QMimeData* data) {
        QApplication::clipboard()->setMimeData(data); // the clipboard owns it
        Input.paste();
    }
    TRichDocument Formatted() const {
        return Doc({{{TextRun("red bold", Fmt("DejaVu Serif", 28, 0xFF0000, true)), TextRun(" plain")}}});
    }
};

TEST_F(RichInputPaste, PrivateFormatKeepsItsFormatting) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("QLMPrivate Format"), WriteRtf(Formatted()));
    data->setText(QStringLiteral("red bold plain"));
    Paste(data);
    EXPECT_EQ(Input.Document(), Formatted());
}

TEST_F(RichInputPaste, ForeignRichTextArrivesAsPlainText) {
    auto* data = new QMimeData;
    data->setHtml(QStringLiteral("<b style='color:red'>red bold</b> plain"));
    data->setData(QStringLiteral("text/rtf"), WriteRtf(Formatted()));
    data->setText(QStringLiteral("red bold plain"));
    Paste(data);
    const TRichDocument pasted = Input.Document();
    ASSERT_EQ(pasted.Paragraphs.size(), 1);
    ASSERT_EQ(pasted.Paragraphs[0].Runs.size(), 1);
    EXPECT_EQ(pasted.Paragraphs[0].Runs[0].Text, QStringLiteral("red bold plain"));
    // In the input's own format, not the pasted one.
    EXPECT_FALSE(pasted.Paragraphs[0].Runs[0].Format.Bold);
    EXPECT_NE(pasted.Paragraphs[0].Runs[0].Format.Colour, std::optional<quint32>(0xFF0000));
}

TEST_F(RichInputPaste, HtmlWithoutTextArrivesAsPlainText) {
    auto* data = new QMimeData;
    data->setHtml(QStringLiteral("<i>only</i> html"));
    Paste(data);
    EXPECT_EQ(Input.toPlainText(), QStringLiteral("only html"));
    EXPECT_FALSE(Input.Document().Paragraphs[0].Runs[0].Format.Italic);
}

TEST_F(RichInputPaste, BitmapBecomesAPictureOnTheBackground) {
    QImage image(6, 5, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixelColor(2, 2, QColor(10, 20, 30));
    auto* data = new QMimeData;
    data->setImageData(image);
    data->setText(QStringLiteral("ignored"));
    Paste(data);
    ASSERT_EQ(Pictures().size(), 1);
    EXPECT_EQ(Pictures()[0].Format, TPictureFormat::Bmp);
    const QImage bitmap = Decode(Pictures()[0].Bytes);
    EXPECT_EQ(bitmap.size(), QSize(6, 5));
    EXPECT_EQ(bitmap.pixelColor(2, 2), QColor(10, 20, 30));
    EXPECT_EQ(bitmap.pixelColor(0, 0), Input.viewport()->palette().color(Input.viewport()->backgroundRole()));
    EXPECT_FALSE(Input.toPlainText().contains(QStringLiteral("ignored")));
}

TEST_F(RichInputPaste, BitmapComesBeforeThePrivateFormat) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("QLMPrivate Format"), WriteRtf(Formatted()));
    data->setImageData(QImage(3, 3, QImage::Format_RGB32));
    Paste(data);
    ASSERT_EQ(Pictures().size(), 1);
    EXPECT_EQ(Input.toPlainText(), QString(QChar::ObjectReplacementCharacter));
}

TEST_F(RichInputPaste, PrivateFormatThatIsNoRtfArrivesAsText) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("QLMPrivate Format"), "garbage");
    data->setText(QStringLiteral("as text"));
    Paste(data);
    EXPECT_EQ(Input.toPlainText(), QStringLiteral("as text"));
}

TEST_F(RichInputPaste, CopiedPictureKeepsItsOwnBytes) {
    TRichInputBox source(Params());
    source.SetDocument(Doc({{{PictureRun(AnimatedGif())}}}));
    source.selectAll();
    source.copy();
    Input.paste();
    ASSERT_EQ(Pictures().size(), 1);
    EXPECT_EQ(Pictures()[0].Bytes, AnimatedGif());
}

TEST_F(RichInputPaste, CopiedTextArrivesPlainAsFromAnyProgram) {
    TRichInputBox source(Params());
    source.SetDocument(Formatted());
    source.selectAll();
    source.copy();
    EXPECT_FALSE(QApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf")).isEmpty());
    Input.paste();
    EXPECT_EQ(Input.toPlainText(), QStringLiteral("red bold plain"));
    EXPECT_FALSE(Input.Document().Paragraphs[0].Runs[0].Format.Bold);
}

TEST_F(RichInputPaste, FileListOnTheClipboardIsHandedOn) {
    const QString path = Put("notes.txt", "x");
    Paste(FileList({path}).release());
    EXPECT_EQ(FileRequests.count(), 1);
    EXPECT_TRUE(Input.document()->isEmpty());
}

TEST_F(RichInputPaste, SpecialOffersTheLabelledFormatsAndPastesTheChoice) {
    auto* data = new QMimeData;
    data->setText(QStringLiteral("red bold plain"));
    data->setData(QStringLiteral("text/rtf"), WriteRtf(Doc({{{TextRun("red bold", Fmt("DejaVu Serif", 28, 0xFF0000, true)),
                                                               PictureRun(Png()), TextRun(" plain")}}})));
    QApplication::clipboard()->setMimeData(data);
    QStringList offered;
    int choice = -1;
    Input.SetPasteSpecialDialog([&](QWidget*, const QList<TPasteChoice>& choices) {
        for (const TPasteChoice& c : choices) offered << c.Name + QLatin1Char('|') + c.Description;
        return choice;
    });
    Input.PasteSpecial(); // cancelled
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Unformatted Text|Text Without Any Formatting"),
                                    QStringLiteral("Rich Text Format|Rich Text Format"),
                                    QStringLiteral("Rich Text Format Without Objects|Rich Text Format Without Objects")}));
    EXPECT_TRUE(Input.document()->isEmpty());

    choice = 1;
    Input.PasteSpecial();
    EXPECT_EQ(Input.Document(), Doc({{{TextRun("red bold", Fmt("DejaVu Serif", 28, 0xFF0000, true)),
                                       PictureRun(Png()), TextRun(" plain")}}}));
    Input.clear();
    choice = 2;
    Input.PasteSpecial();
    EXPECT_EQ(Input.Document(),
              Doc({{{TextRun("red bold", Fmt("DejaVu Serif", 28, 0xFF0000, true)), TextRun(" plain")}}}));
    Input.clear();
    choice = 0;
    Input.PasteSpecial();
    EXPECT_EQ(Input.toPlainText(), QStringLiteral("red bold plain"));
    EXPECT_FALSE(Input.Document().Paragraphs[0].Runs[0].Format.Bold);
}

TEST_F(RichInputPaste, SpecialOffersBitmapsForAnImage) {
    auto* data = new QMimeData;
    data->setImageData(QImage(3, 3, QImage::Format_RGB32));
    QApplication::clipboard()->setMimeData(data);
    QStringList offered;
    Input.SetPasteSpecialDialog([&](QWidget*, const QList<TPasteChoice>& choices) {
        for (const TPasteChoice& c : choices) offered << c.Name;
        return 1;
    });
    Input.PasteSpecial();
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Windows Bitmap"), QStringLiteral("DIB")}));
    ASSERT_EQ(Pictures().size(), 1);
    EXPECT_EQ(Pictures()[0].Format, TPictureFormat::Bmp);
}

} // namespace
