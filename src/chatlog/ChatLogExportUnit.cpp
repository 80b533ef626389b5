#include "chatlog/ChatLogExportUnit.h"

#include "chatlog/ChatLogStoreUnit.h"
#include "core/TextFormatUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

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

class TExportWriter {
public:
    TExportWriter(QSaveFile& file, bool plain) : FFile(file), FPlain(plain) {}

    void Line(const QByteArray& bytes) {
        FFile.write(bytes);
        FFile.write(kLineEnd);
    }
    // Text of the program (titles, headers) in the file's own form.
    QByteArray Text(const QString& text) const {
        return FPlain ? TMessageLang::Instance().EncodeOutgoing(text) : RtfText(text);
    }

    void Content(const QByteArray& bytes) {
        const QList<QByteArray> lines = Lines(bytes);
        if (FPlain) {
            for (const QByteArray& line : lines) Line(line);
            return;
        }
        // The stored document's own opening brace and the control words up
        // to its first group go; its closing brace on a line of its own ends it.
        QList<QByteArray> copied;
        bool closed = false;
        for (qsizetype i = 0; i < lines.size() && !closed; ++i) {
            QByteArray line = lines[i];
            if (i == 0) {
                const qsizetype open = line.indexOf('{');
                if (open >= 0) line.remove(open, 1);
                const qsizetype next = line.indexOf('{');
                if (next > 0) line.remove(0, next);
            }
            closed = line == "}";
            if (!closed) copied += line;
        }
        // A document whose closing brace shares a line with its text would
        // close the export's own group early: that brace goes as well.
        if (!closed)
            for (qsizetype i = copied.size() - 1; i >= 0; --i) {
                QByteArray& line = copied[i];
                qsizetype end = line.size();
                while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\0')) --end;
                if (end == 0) continue;
                if (line[end - 1] == '}' && (end < 2 || line[end - 2] != '\\')) line.truncate(end - 1);
                break;
            }
        for (const QByteArray& line : copied) Line(line);
    }

private:
    QSaveFile& FFile;
    bool FPlain;
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
// ltRelation); RTF ends it with "\par\par", plain text with an empty line.
QByteArray SectionLine(const TExportWriter& out, const TLogFilter& filter, bool plain) {
    QString text = QStringLiteral("---") + SectionLabel(filter.Category);
    if (filter.Category == ltRelation) text += QStringLiteral(": ") + filter.Peer;
    text += QStringLiteral("---");
    return plain ? out.Text(text) + kLineEnd : out.Text(text) + "\\par\\par";
}

} // namespace

QString ExportHeader(const TLogEntry& entry) {
    const bool nickAlone = entry.Category == ltGroup || entry.Category == ltBroadcast;
    const QString name = nickAlone ? entry.Nick : FormatText(QStringLiteral("%s(%s)"), {entry.Nick, entry.Computer});
    return TranslateFormat(HeaderPattern(entry), {name, ChatLog::LogTimeText(entry.LogTime), QString(), QString()});
}

QString ExportLog(TChatLogStore& store, const TLogFilter& filter, const QString& fileName) {
    const QString cannot =
        TranslateFormat(QStringLiteral("Cannot export the chat log to %s."), {QDir::toNativeSeparators(fileName)});
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return cannot + QStringLiteral("\r\n") + file.errorString();
    const bool plain = IsPlainText(filter.Category);
    TExportWriter out(file, plain);

    const QString title = Translate(QStringLiteral("Quillmate Chat Log"));
    if (plain) {
        out.Line(out.Text(title + QStringLiteral("\r\n")));
    } else {
        out.Line("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052");
        out.Line("{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}");
        out.Line("\\viewkind4\\uc1\\pard\\cf1\\lang2052\\b\\f0\\fs24 ");
        out.Line(out.Text(title) + "\\par\\par");
    }
    out.Line(SectionLine(out, filter, plain));

    const bool listed = store.ForEachRecord(filter, [&](const TLogEntry& entry) {
        const QByteArray header = out.Text(ExportHeader(entry));
        if (plain) out.Line(header);
        else {
            out.Line("\\viewkind4\\uc1\\pard\\cf1\\lang2052\\b\\f0\\fs18 ");
            out.Line(header + "\\par");
        }
        QFile side(store.SideFileName(ChatLog::StoredType(entry.Category), entry.ID));
        if (side.open(QIODevice::ReadOnly)) out.Content(side.readAll());
        out.Line(plain ? QByteArray() : QByteArray("\\par\\par"));
        return file.error() == QFileDevice::NoError;
    });
    if (!listed) return cannot + QStringLiteral("\r\n") + store.LastError();
    if (!plain) out.Line("}");
    if (!file.commit()) return cannot + QStringLiteral("\r\n") + file.errorString();
    return {};
}
