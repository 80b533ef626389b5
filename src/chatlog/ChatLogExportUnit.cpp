#include "chatlog/ChatLogExportUnit.h"

#include "chatlog/ChatLogExportRtf.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "core/TextFormatUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <functional>

namespace {

const QByteArray kLineEnd("\r\n");

bool IsPlainText(TLogType category) { return category == ltBroadcast || category == ltFile; }

QString HeaderPattern(const TLogEntry& entry) {
    switch (entry.Category) {
    case ltGroup: return QLM_TEXT("<Group>To %s Time %s%s%s");
    case ltBroadcast: return QLM_TEXT("<Broadcast>To %s Time %s%s%s");
    case ltFile: return entry.IfSendOut ? QLM_TEXT("<File>To %s Time %s%s%s") : QLM_TEXT("<File>From %s Time %s%s%s");
    default:
        if (entry.IfSendOut) return QLM_TEXT("To %s Time %s%s%s");
        return entry.IfBroadcast ? QLM_TEXT("Broadcast Message From %s Time %s%s%s") : QLM_TEXT("From %s Time %s%s%s");
    }
}

// Text inside RTF: the group and escape characters escaped, anything beyond
// ASCII as a Unicode escape with '?' for readers without Unicode.
QByteArray RtfText(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u >= 0x20 && u < 0x80) {
            out += char(u);
        } else {
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
    return out;
}

// Lines of a side file as a text reader splits them: CR LF, LF or CR.
QList<QByteArray> Lines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        lines += bytes.mid(start, i - start);
        if (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < n) lines += bytes.mid(start);
    return lines;
}

// Writes the export. RTF records go to a temporary body first: the
// document's font and colour tables, gathered from every record, come before it.
class TExportWriter {
public:
    TExportWriter(QIODevice& file, bool plain) : FFile(file), FPlain(plain) {}

    void Line(const QByteArray& bytes) {
        FFile.write(bytes);
        FFile.write(kLineEnd);
    }
    // Text of the program (titles, headers) in the file's own form.
    QByteArray Text(const QString& text) const {
        return FPlain ? TMessageLang::Instance().EncodeOutgoing(text) : RtfText(text);
    }
    // A line of the program's text in a bold group of its own.
    void Heading(const QString& text, int halfPoints, const QByteArray& end) {
        Line("{\\pard\\plain\\lang2052\\f0\\fs" + QByteArray::number(halfPoints) + "\\cf" +
             QByteArray::number(TExportRtfTables::HeaderColour) + "\\b " + Text(text) + end + '}');
    }

    // One record's content: plain text line by line, rich text rewritten into
    // the document's tables, in a group that starts from the plain format.
    void Content(const TLogContent& content) {
        if (FPlain) {
            for (const QByteArray& line : Lines(content.Bytes)) Line(line);
            return;
        }
        FFile.write("{\\pard\\plain\\f0\\fs18 ");
        if (content.IsRichText()) {
            FFile.write(FTables.Body(content.Bytes));
        } else {
            QString text = content.PlainText();
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            for (const QString& line : text.split(QLatin1Char('\n'))) FFile.write(RtfText(line) + "\\par" + kLineEnd);
        }
        Line("}");
    }

    const TExportRtfTables& Tables() const { return FTables; }

private:
    QIODevice& FFile;
    bool FPlain;
    TExportRtfTables FTables;
};

QString SectionLabel(TLogType category) {
    switch (category) {
    case ltRelation: return Translate(QStringLiteral("Related Log"));
    case ltSingle: return Translate(QStringLiteral("All Single Log"));
    case ltGroup: return Translate(QStringLiteral("Group Log"));
    case ltBroadcast: return Translate(QStringLiteral("Broadcast Log"));
    case ltFile: return Translate(QStringLiteral("File Log"));
    }
    return {};
}

// "---%s---" with the category's label ("---%s: %s---" with the peer for
// ltRelation, with the searched text for a search).
QString SectionText(const TLogFilter* filter, const QString& searched) {
    if (!filter) return QStringLiteral("---") + Translate(QStringLiteral("Search Results")) + QStringLiteral(": ") + searched + QStringLiteral("---");
    QString text = QStringLiteral("---") + SectionLabel(filter->Category);
    if (filter->Category == ltRelation) text += QStringLiteral(": ") + filter->Peer;
    return text + QStringLiteral("---");
}

using TRecordVisitor = std::function<bool(const TLogEntry&)>;

// The export of the records that forEach visits, newest first. Plain text
// (broadcasts and files) straight into the file; RTF as a body in a temporary
// file, written after the prologue and the tables that the body needed.
QString WriteExport(TChatLogStore& store, bool plain, const QString& section,
                    const std::function<bool(const TRecordVisitor&)>& forEach, const QString& fileName) {
    const QString cannot =
        TranslateFormat(QStringLiteral("Cannot export the chat log to %s."), {QDir::toNativeSeparators(fileName)});
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return cannot + QStringLiteral("\r\n") + file.errorString();
    QTemporaryFile body;
    if (!plain && !body.open()) return cannot + QStringLiteral("\r\n") + body.errorString();
    TExportWriter out(plain ? static_cast<QIODevice&>(file) : static_cast<QIODevice&>(body), plain);

    const QString title = Translate(QStringLiteral("Quillmate Chat Log"));
    if (plain) {
        out.Line(out.Text(title + QStringLiteral("\r\n")));
        out.Line(out.Text(section) + kLineEnd);
    }
    const bool listed = forEach([&](const TLogEntry& entry) {
        if (plain) out.Line(out.Text(ExportHeader(entry)));
        else out.Heading(ExportHeader(entry), 18, "\\par");
        QFile side(store.SideFileName(ChatLog::StoredType(entry.Category), entry.ID));
        if (side.open(QIODevice::ReadOnly))
            out.Content(TLogContent{entry.Category, entry.ID, entry.LangID, side.readAll()});
        out.Line(plain ? QByteArray() : QByteArray("\\par"));
        return file.error() == QFileDevice::NoError && body.error() == QFileDevice::NoError;
    });
    if (!listed) return cannot + QStringLiteral("\r\n") + store.LastError();
    if (!plain) {
        TExportWriter head(file, false);
        head.Line("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052");
        head.Line(out.Tables().FontTable());
        head.Line(out.Tables().ColourTable());
        head.Line("\\viewkind4\\uc1");
        head.Heading(title, 24, "\\par\\par");
        head.Heading(section, 24, "\\par\\par");
        if (!body.seek(0)) return cannot + QStringLiteral("\r\n") + body.errorString();
        while (!body.atEnd()) file.write(body.read(64 * 1024));
        head.Line("}");
    }
    if (!file.commit()) return cannot + QStringLiteral("\r\n") + file.errorString();
    return {};
}

} // namespace

QString ExportHeader(const TLogEntry& entry) {
    const bool nickAlone = entry.Category == ltGroup || entry.Category == ltBroadcast;
    const QString name = nickAlone ? entry.Nick : FormatText(QStringLiteral("%s(%s)"), {entry.Nick, entry.Computer});
    return TranslateFormat(HeaderPattern(entry), {name, ChatLog::LogTimeText(entry.LogTime), QString(), QString()});
}

QString ExportLog(TChatLogStore& store, const TLogFilter& filter, const QString& fileName) {
    return WriteExport(
        store, IsPlainText(filter.Category), SectionText(&filter, {}),
        [&](const TRecordVisitor& visit) { return store.ForEachRecord(filter, visit); }, fileName);
}

QString ExportSearch(TChatLogStore& store, const QString& text, const QString& fileName) {
    return WriteExport(
        store, false, SectionText(nullptr, text.simplified()),
        [&](const TRecordVisitor& visit) {
            const std::optional<QList<TLogSearchHit>> hits = store.SearchLog(text, 0, -1);
            if (!hits) return false;
            for (const TLogSearchHit& hit : *hits)
                if (!visit(hit.Entry)) return false;
            return true;
        },
        fileName);
}
