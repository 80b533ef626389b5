#include "chatlog/ChatLogExportRtf.h"

#include <QSet>

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct TWord {
    QByteArray Name;
    bool HasParam = false;
    qint64 Param = 0;
    bool Space = false; // the delimiting space was consumed
    qsizetype End = 0;  // just after the word and its delimiter
};

// The control word at at (a backslash followed by a letter).
TWord ReadWord(const QByteArray& s, qsizetype at) {
    TWord word;
    qsizetype i = at + 1;
    while (i < s.size() && IsLetter(s[i]) && word.Name.size() < 32) word.Name += s[i++];
    qsizetype digits = i;
    if (digits < s.size() && s[digits] == '-') ++digits;
    qsizetype end = digits;
    while (end < s.size() && IsDigit(s[end]) && end - digits < 10) ++end;
    if (end > digits) {
        word.HasParam = true;
        word.Param = s.mid(i, end - i).toLongLong();
        i = end;
    }
    if (i < s.size() && s[i] == ' ') {
        word.Space = true;
        ++i;
    }
    word.End = i;
    return word;
}

// Just after the group that opens at open; the end of s when it never closes.
qsizetype GroupEnd(const QByteArray& s, qsizetype open) {
    int depth = 0;
    for (qsizetype i = open; i < s.size();) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            if (IsLetter(s[i + 1])) {
                const TWord word = ReadWord(s, i);
                i = word.End;
                if (word.Name == "bin" && word.Param > 0) i += qMin<qint64>(word.Param, s.size() - i);
            } else {
                i += 2;
            }
            continue;
        }
        if (c == '{') ++depth;
        else if (c == '}' && --depth == 0) return i + 1;
        ++i;
    }
    return s.size();
}

// The first control word of the group at open, past a "\*".
QByteArray GroupName(const QByteArray& s, qsizetype open) {
    qsizetype i = open + 1;
    while (i < s.size() && (s[i] == '\r' || s[i] == '\n' || s[i] == ' ')) ++i;
    if (s.mid(i, 2) == "\\*") i += 2;
    while (i < s.size() && (s[i] == '\r' || s[i] == '\n' || s[i] == ' ')) ++i;
    if (i + 1 >= s.size() || s[i] != '\\' || !IsLetter(s[i + 1])) return {};
    return ReadWord(s, i).Name;
}

// Groups of a document's header that mean nothing inside another document.
const QSet<QByteArray>& HeaderGroups() {
    static const QSet<QByteArray> names{"fonttbl",  "colortbl",    "stylesheet", "info",        "generator",
                                        "listtable", "listoverridetable", "rsidtbl", "filetbl", "themedata",
                                        "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "pgdsctbl"};
    return names;
}

// Words of a document's own header: the export's header has its own.
const QSet<QByteArray>& HeaderWords() {
    static const QSet<QByteArray> names{"rtf",     "ansi",    "mac",       "pc",        "pca",      "ansicpg",
                                        "deff",    "adeff",   "deflang",   "deflangfe", "adeflang", "fromtext",
                                        "fromhtml", "stshfdbch", "stshfloch", "stshfhich", "stshfbi"};
    return names;
}

bool IsFontWord(const QByteArray& name) { return name == "f" || name == "af"; }
bool IsColourWord(const QByteArray& name) {
    return name == "cf" || name == "cb" || name == "highlight" || name == "chcbpat" || name == "cbpat" ||
           name == "cfpat" || name == "ulc";
}

QByteArray Trimmed(const QByteArray& bytes) { return bytes.trimmed(); }

} // namespace

TExportRtfTables::TExportRtfTables() {
    FFonts += QByteArray("\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;");
    FColours += QByteArray();
    FColours += QByteArray("\\red0\\green0\\blue0");
}

int TExportRtfTables::AddFont(const QByteArray& entry) {
    const qsizetype found = FFonts.indexOf(entry);
    if (found >= 0) return int(found);
    FFonts += entry;
    return int(FFonts.size() - 1);
}

int TExportRtfTables::AddColour(const QByteArray& entry) {
    const qsizetype found = FColours.indexOf(entry);
    if (found > 0) return int(found);
    FColours += entry;
    return int(FColours.size() - 1);
}

void TExportRtfTables::ReadFontTable(const QByteArray& group) {
    // Entries are groups ("{\f0\fnil Arial;}") or bare ("\f0\fnil Arial;").
    const QByteArray inner = group.mid(1, group.size() - 2);
    const TWord table = ReadWord(inner, inner.indexOf('\\'));
    auto entry = [this](const QByteArray& text) {
        const qsizetype at = text.indexOf("\\f");
        if (at < 0 || at + 2 >= text.size() || !IsDigit(text[at + 2])) return;
        const TWord word = ReadWord(text, at);
        QByteArray rest = Trimmed(text.mid(word.End));
        if (rest.isEmpty()) return;
        if (!rest.endsWith(';')) rest += ';';
        FFontMap.insert(int(word.Param), AddFont(rest));
    };
    QByteArray bare;
    for (qsizetype i = table.End; i < inner.size();) {
        if (inner[i] == '{' && bare.trimmed().isEmpty()) {
            const qsizetype end = GroupEnd(inner, i);
            entry(inner.mid(i + 1, end - i - 2));
            bare.clear();
            i = end;
            continue;
        }
        if (inner[i] == '{') { // a nested group of a bare entry (\panose, \falt)
            const qsizetype end = GroupEnd(inner, i);
            bare += inner.mid(i, end - i);
            i = end;
            continue;
        }
        bare += inner[i];
        if (inner[i] == '\\' && i + 1 < inner.size()) bare += inner[++i];
        else if (inner[i] == ';') {
            entry(bare);
            bare.clear();
        }
        ++i;
    }
}

void TExportRtfTables::ReadColourTable(const QByteArray& group) {
    const QByteArray inner = group.mid(1, group.size() - 2);
    const TWord table = ReadWord(inner, inner.indexOf('\\'));
    int index = 0;
    int red = -1, green = -1, blue = -1;
    for (qsizetype i = table.End; i < inner.size();) {
        if (inner[i] == ';') {
            if (red < 0 && green < 0 && blue < 0) FColourMap.insert(index, 0); // automatic
            else
                FColourMap.insert(index, AddColour("\\red" + QByteArray::number(qBound(0, red, 255)) + "\\green" +
                                                   QByteArray::number(qBound(0, green, 255)) + "\\blue" +
                                                   QByteArray::number(qBound(0, blue, 255))));
            ++index;
            red = green = blue = -1;
            ++i;
            continue;
        }
        if (inner[i] == '\\' && i + 1 < inner.size() && IsLetter(inner[i + 1])) {
            const TWord word = ReadWord(inner, i);
            if (word.Name == "red") red = int(word.Param);
            else if (word.Name == "green") green = int(word.Param);
            else if (word.Name == "blue") blue = int(word.Param);
            i = word.End;
            continue;
        }
        ++i;
    }
}

QByteArray TExportRtfTables::Body(const QByteArray& record) {
    FFontMap.clear();
    FColourMap.clear();
    QByteArray out;
    out.reserve(record.size());
    const qsizetype n = record.size();
    int depth = 1;
    for (qsizetype i = record.startsWith('{') ? 1 : 0; i < n;) {
        const char c = record[i];
        if (c == '{') {
            if (depth == 1 && HeaderGroups().contains(GroupName(record, i))) {
                const qsizetype end = GroupEnd(record, i);
                const QByteArray name = GroupName(record, i);
                if (name == "fonttbl") ReadFontTable(record.mid(i, end - i));
                else if (name == "colortbl") ReadColourTable(record.mid(i, end - i));
                i = end;
                continue;
            }
            ++depth;
            out += c;
            ++i;
            continue;
        }
        if (c == '}') {
            if (--depth == 0) break;
            out += c;
            ++i;
            continue;
        }
        if (c != '\\' || i + 1 >= n) {
            out += c;
            ++i;
            continue;
        }
        if (!IsLetter(record[i + 1])) { // a control symbol: \\, \{, \'xx ...
            const qsizetype size = record[i + 1] == '\'' ? 4 : 2;
            out += record.mid(i, size);
            i += size;
            continue;
        }
        const TWord word = ReadWord(record, i);
        if (word.Name == "bin") {
            const qsizetype raw = word.HasParam ? qBound<qint64>(0, word.Param, n - word.End) : 0;
            out += record.mid(i, word.End - i + raw);
            i = word.End + raw;
            continue;
        }
        if (depth == 1 && HeaderWords().contains(word.Name)) {
            i = word.End;
            continue;
        }
        const bool font = IsFontWord(word.Name) && word.HasParam;
        const bool colour = IsColourWord(word.Name) && word.HasParam;
        if (font || colour) {
            const int mapped = font ? FFontMap.value(int(word.Param), 0) : FColourMap.value(int(word.Param), 0);
            out += '\\' + word.Name + QByteArray::number(mapped);
            if (word.Space) out += ' ';
        } else {
            out += record.mid(i, word.End - i);
        }
        i = word.End;
    }
    return out;
}

QByteArray TExportRtfTables::FontTable() const {
    QByteArray out("{\\fonttbl");
    for (qsizetype i = 0; i < FFonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i);
        if (!FFonts[i].startsWith('\\') && !FFonts[i].startsWith('{')) out += ' ';
        out += FFonts[i] + '}';
    }
    return out + '}';
}

QByteArray TExportRtfTables::ColourTable() const {
    QByteArray out("{\\colortbl ");
    for (const QByteArray& colour : FColours) out += colour + ';';
    return out + '}';
}
