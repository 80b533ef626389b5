// The exported RTF as readers show it: no colour, bold or italic of one
// record reaches the next header or body. Read by our own reader, by unrtf
// for the text, and by LibreOffice (RTF to HTML) for text and formats.
#include "chatlog/ChatLogExportRtf.h"
#include "chatlog/ChatLogExportUnit.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/RtfWriterUnit.h"

#include "support/ChatLogFixtures.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ChatLogFixtures;

namespace {

// What a paragraph must look like in the rendered export.
struct TShown {
    QString Text;
    std::optional<quint32> Colour; // none: the automatic colour or black
    bool Bold = false;
    bool Italic = false;
};

QByteArray Written(const QString& text, std::optional<quint32> colour, bool bold) {
    TRichDocument document;
    TRichFormat format;
    format.FontName = QStringLiteral("Arial");
    format.HalfPoints = 20;
    format.Colour = colour;
    format.Bold = bold;
    document.AppendText(text, format);
    return WriteRtf(document);
}

// Oldest first; a rich-edit style record sets its format without a group and
// never resets it, and each record's colour table has its own index 1.
struct TRecords {
    TLogHome Home;
    QList<TShown> Expected; // document order: newest first, header then body

    TRecords() {
        EXPECT_TRUE(Home.Store.Open());
        struct TSpec {
            QString Nick;
            QByteArray Content;
            TShown Body;
        };
        const QList<TSpec> specs{
            {QStringLiteral("Ann"), Written(QStringLiteral("First plain words"), std::nullopt, false),
             {QStringLiteral("First plain words")}},
            {QStringLiteral("Bob"),
             "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Tahoma;}}\r\n"
             "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard\\cf1\\b\\f0\\fs20 Loud red words\\par\r\n}\r\n",
             {QStringLiteral("Loud red words"), 0xFF0000, true}},
            {QStringLiteral("Ann"), Written(QStringLiteral("Second plain words"), std::nullopt, false),
             {QStringLiteral("Second plain words")}},
            {QStringLiteral("Cai"),
             "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Verdana;}{\\f1\\fnil\\fcharset0 Courier New;}}"
             "{\\colortbl ;\\red0\\green0\\blue255;\\red0\\green128\\blue0;}\r\n"
             "\\pard\\f1\\cf1\\i\\fs20 Blue italic words\\par\r\n}",
             {QStringLiteral("Blue italic words"), 0x0000FF, false, true}},
            {QStringLiteral("Bob"), Written(QStringLiteral("Green bold words"), 0x008000, true),
             {QStringLiteral("Green bold words"), 0x008000, true}},
            {QStringLiteral("Ann"), Written(QStringLiteral("Third plain words"), std::nullopt, false),
             {QStringLiteral("Third plain words")}},
        };
        for (int i = 0; i < specs.size(); ++i) {
            TLogRecord record = Record(ltSingle, specs[i].Nick, specs[i].Content);
            record.LogTime = When(i);
            Home.Add(record);
        }
        for (int i = int(specs.size()) - 1; i >= 0; --i) {
            const QString header = QStringLiteral("From %1(PC-1) Time").arg(specs[i].Nick);
            Expected += TShown{header, std::nullopt, true};
            Expected += specs[i].Body;
        }
    }

    QString Export(const QString& folder) {
        const QString file = folder + QStringLiteral("/export.rtf");
        EXPECT_EQ(ExportLog(Home.Store, TLogFilter::All(ltSingle), file), QString());
        return file;
    }
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool IsBlack(std::optional<quint32> colour) { return !colour || *colour == 0; }

TEST(ChatLogExportRender, OurReaderSeesEachRecordInItsOwnFormat) {
    const TScopedLocale locale;
    TRecords records;
    const QByteArray rtf = ReadAll(records.Export(records.Home.Home.Path()));
    EXPECT_EQ(rtf.count("{\\colortbl"), 1) << rtf.toStdString();
    EXPECT_EQ(rtf.count("{\\fonttbl"), 1) << rtf.toStdString();
    const std::optional<TRichDocument> document = ReadRtf(rtf);
    ASSERT_TRUE(document);
    qsizetype next = 0;
    for (const TShown& shown : records.Expected) {
        bool found = false;
        for (; next < document->Paragraphs.size() && !found; ++next)
            for (const TRichRun& run : document->Paragraphs[next].Runs) {
                if (!run.Text.contains(shown.Text)) continue;
                found = true;
                EXPECT_EQ(run.Format.Bold, shown.Bold) << shown.Text.toStdString();
                EXPECT_EQ(run.Format.Italic, shown.Italic) << shown.Text.toStdString();
                if (shown.Colour) EXPECT_EQ(run.Format.Colour, shown.Colour) << shown.Text.toStdString();
                else EXPECT_TRUE(IsBlack(run.Format.Colour)) << shown.Text.toStdString();
            }
        EXPECT_TRUE(found) << "not in order: " << shown.Text.toStdString();
    }
}

TEST(ChatLogExportRender, UnrtfReadsEveryHeaderAndBodyInOrder) {
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    ASSERT_FALSE(unrtf.isEmpty()) << "unrtf is not installed: build.sh installs it (apt-get install unrtf)";
    const TScopedLocale locale;
    TRecords records;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = records.Export(dir.path());
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(unrtf, {QStringLiteral("--text"), file});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    qsizetype at = 0;
    for (const TShown& shown : records.Expected) {
        const qsizetype found = out.indexOf(shown.Text, at);
        EXPECT_GE(found, 0) << "not in order: " << shown.Text.toStdString() << "\n" << out.toStdString();
        if (found >= 0) at = found + shown.Text.size();
    }
}

// One paragraph of LibreOffice's HTML: its text and the formats around it.
struct THtmlParagraph {
    QString Text;
    QString Markup;
};

QList<THtmlParagraph> HtmlParagraphs(QString html) {
    html.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QList<THtmlParagraph> paragraphs;
    static const QRegularExpression paragraph(QStringLiteral("<p[ >].*?</p>"));
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    for (const QRegularExpressionMatch& match : paragraph.globalMatch(html)) {
        QString text = match.captured(0);
        text.remove(tag);
        paragraphs += THtmlParagraph{text.simplified(), match.captured(0)};
    }
    return paragraphs;
}

TEST(ChatLogExportRender, LibreOfficeShowsNoFormatCarriedOver) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "soffice is not installed (build.sh installs libreoffice-writer-nogui)";
    const TScopedLocale locale;
    TRecords records;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = records.Export(dir.path());
    QProcess process;
    process.setWorkingDirectory(dir.path());
    // A profile of its own, so a LibreOffice already running elsewhere is not asked.
    process.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + dir.path() + QStringLiteral("/profile"),
                            QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("html"),
                            QStringLiteral("--outdir"), dir.path(), file});
    ASSERT_TRUE(process.waitForFinished(110000)) << "soffice did not finish";
    const QByteArray html = ReadAll(dir.path() + QStringLiteral("/export.html"));
    ASSERT_FALSE(html.isEmpty()) << process.readAllStandardError().toStdString();
    const QList<THtmlParagraph> paragraphs = HtmlParagraphs(QString::fromUtf8(html));
    static const QRegularExpression colour(QStringLiteral("color=\"#([0-9a-fA-F]{6})\""));
    qsizetype next = 0;
    for (const TShown& shown : records.Expected) {
        while (next < paragraphs.size() && !paragraphs[next].Text.contains(shown.Text)) ++next;
        ASSERT_LT(next, paragraphs.size()) << "not in order: " << shown.Text.toStdString() << "\n" << html.toStdString();
        const QString& markup = paragraphs[next].Markup;
        EXPECT_EQ(markup.contains(QStringLiteral("<b>")), shown.Bold) << markup.toStdString();
        EXPECT_EQ(markup.contains(QStringLiteral("<i>")), shown.Italic) << markup.toStdString();
        QList<quint32> colours;
        for (const QRegularExpressionMatch& match : colour.globalMatch(markup))
            if (const quint32 value = match.captured(1).toUInt(nullptr, 16); value != 0) colours += value;
        if (shown.Colour) EXPECT_EQ(colours, QList<quint32>{*shown.Colour}) << markup.toStdString();
        else EXPECT_TRUE(colours.isEmpty()) << markup.toStdString();
        ++next;
    }
}

// The record's own tables go and its numbers follow the document's.
TEST(ExportRtfTables, RenumbersFontsAndColoursIntoOneTable) {
    TExportRtfTables tables;
    const QByteArray first = tables.Body("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
                                         "{\\f0\\cf1\\b red}\\par\r\n}\r\n");
    const QByteArray second = tables.Body("{\\rtf1{\\fonttbl{\\f0\\fnil Tahoma;}{\\f1\\fnil Arial;}}"
                                          "{\\colortbl ;\\red0\\green0\\blue255;\\red255\\green0\\blue0;}"
                                          "{\\f1\\cf2 red} {\\f0\\cf1 blue} \\{\\cf1\\} {\\cf7 none}\\par}");
    EXPECT_EQ(first, "\r\n{\\f1\\cf2\\b red}\\par\r\n");
    EXPECT_EQ(second, "{\\f1\\cf2 red} {\\f2\\cf3 blue} \\{\\cf3\\} {\\cf0 none}\\par");
    EXPECT_EQ(tables.FontTable(),
              "{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}{\\f1\\fnil Arial;}{\\f2\\fnil Tahoma;}}");
    EXPECT_EQ(tables.ColourTable(), "{\\colortbl ;\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}");
}

} // namespace
