#include "platform/ProfileFileUnit.h"

#include "platform/CodePageUnit.h"

#include <QDir>
#include <QHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

namespace {

const QByteArray kCrLf = "\r\n";
const QByteArray kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray TrimBlanks(const QByteArray& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.mid(b, e - b);
}

// The file's text as UTF-8 without a byte-order mark. Valid UTF-8 keeps its
// bytes, so unchanged lines are written back as they were.
QByteArray Utf8Text(const QByteArray& bytes, const QByteArray& fallbackCodePage) {
    if (TProfileFile::IsUtf8Text(bytes)) {
        const QByteArray text = bytes.startsWith(kUtf8Bom) ? bytes.mid(kUtf8Bom.size()) : bytes;
        // A mark declares UTF-8: stray bytes after it become U+FFFD, not the whole file another code page.
        return QByteArrayView(text).isValidUtf8() ? text : QString::fromUtf8(text).toUtf8();
    }
    const QByteArray name = fallbackCodePage.isEmpty() ? Platform::SystemCodePage() : fallbackCodePage;
    QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
    // Without such a converter in this Qt build every byte still stands for one character.
    if (!decoder.isValid()) return QString::fromLatin1(bytes).toUtf8();
    // The decoder drops a lead byte at the very end silently; a line end after it makes it U+FFFD.
    QString text = decoder.decode(bytes + '\n');
    text.chop(1);
    return text.toUtf8();
}

// "[name]" -> name; anything else is not a header.
bool ParseHeader(const QByteArray& line, QByteArray* name) {
    const QByteArray t = TrimBlanks(line);
    if (!t.startsWith('[')) return false;
    const qsizetype close = t.indexOf(']');
    if (close < 0) return false;
    *name = TrimBlanks(t.mid(1, close - 1));
    return true;
}

bool ParseKeyLine(const QByteArray& line, QByteArray* key, QByteArray* value) {
    const QByteArray t = TrimBlanks(line);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('[')) return false;
    const qsizetype eq = t.indexOf('=');
    if (eq <= 0) return false;
    *key = TrimBlanks(t.left(eq));
    if (key->isEmpty()) return false;
    if (value) *value = TrimBlanks(t.mid(eq + 1));
    return true;
}

bool SameName(const QByteArray& raw, const QString& name) {
    return QString::fromUtf8(raw).compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

QString DecodeValue(QByteArray raw) {
    if (raw.size() >= 2) {
        const char first = raw.front();
        if ((first == '"' || first == '\'') && raw.back() == first) raw = raw.mid(1, raw.size() - 2);
    }
    QString value = QString::fromUtf8(raw);
    if (value.size() > TProfileFile::MaxValueLength) value.truncate(TProfileFile::MaxValueLength);
    return value;
}

// Values are single-line; line breaks would make the next read see other keys.
QByteArray EncodeLine(const QByteArray& key, const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QChar(0));
    return key + '=' + v.toUtf8();
}

} // namespace

int StrToIntDef(const QString& text, int defaultValue) {
    int value = 0;
    return TryStrToInt(text, &value) ? value : defaultValue;
}

bool TryStrToInt(const QString& text, int* value) {
    auto result = [value](int n) {
        *value = n;
        return true;
    };
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    qsizetype i = 0;
    bool negative = false;
    if (t[0] == QLatin1Char('+') || t[0] == QLatin1Char('-')) {
        negative = t[0] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (t.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (t.mid(i, 1) == QLatin1String("$")) {
        base = 16;
        i += 1;
    }
    const QString digits = t.mid(i);
    if (digits.isEmpty()) return false;
    for (QChar c : digits) {
        const bool ok = base == 10 ? (c >= QLatin1Char('0') && c <= QLatin1Char('9')) : isxdigit(c.toLatin1()) != 0;
        if (!ok || c.unicode() > 127) return false;
    }
    bool ok = false;
    const qulonglong magnitude = digits.toULongLong(&ok, base);
    if (!ok) return false;
    if (base == 16) {
        // Hexadecimal covers the full 32-bit pattern, as Delphi's Val does.
        if (magnitude > 0xFFFFFFFFull) return false;
        const auto bits = static_cast<quint32>(magnitude);
        return result(static_cast<qint32>(negative ? 0u - bits : bits));
    }
    if (negative) {
        if (magnitude > 2147483648ull) return false;
        return result(static_cast<int>(-static_cast<qlonglong>(magnitude)));
    }
    if (magnitude > 2147483647ull) return false;
    return result(static_cast<int>(magnitude));
}

TProfileFile::TProfileFile(const QString& fileName) { Load(fileName); }

bool TProfileFile::Load(const QString& fileName, const QByteArray& fallbackCodePage) {
    FFileName = fileName;
    FLines.clear();
    QFile file(fileName);
    if (!file.exists()) return true;
    if (!file.open(QIODevice::ReadOnly)) return false;
    LoadFromBytes(file.readAll(), fallbackCodePage);
    return true;
}

bool TProfileFile::IsUtf8Text(const QByteArray& bytes) {
    return bytes.startsWith(kUtf8Bom) || QByteArrayView(bytes).isValidUtf8();
}

void TProfileFile::LoadFromBytes(const QByteArray& fileBytes, const QByteArray& fallbackCodePage) {
    FLines.clear();
    const QByteArray bytes = Utf8Text(fileBytes, fallbackCodePage);
    qsizetype pos = 0;
    const qsizetype n = bytes.size();
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        TLine line{bytes.mid(pos, end - pos), {}};
        if (end < n) {
            const qsizetype endLen = (bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n') ? 2 : 1;
            line.Ending = bytes.mid(end, endLen);
            end += endLen;
        }
        FLines.push_back(std::move(line));
        pos = end;
    }
}

QByteArray TProfileFile::ToBytes() const {
    QByteArray out;
    for (const TLine& line : FLines) out += line.Text + line.Ending;
    return out;
}

bool TProfileFile::Save() const { return SaveAs(FFileName); }

bool TProfileFile::SaveAs(const QString& fileName) const {
    if (fileName.isEmpty()) return false;
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = ToBytes();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int TProfileFile::FindSection(const QString& section) const {
    QByteArray name;
    for (size_t i = 0; i < FLines.size(); ++i)
        if (ParseHeader(FLines[i].Text, &name) && SameName(name, section)) return static_cast<int>(i);
    return -1;
}

int TProfileFile::SectionEnd(int headerLine) const {
    QByteArray name;
    size_t i = static_cast<size_t>(headerLine) + 1;
    while (i < FLines.size() && !ParseHeader(FLines[i].Text, &name)) ++i;
    return static_cast<int>(i);
}

int TProfileFile::FindKey(int headerLine, const QString& key) const {
    const int end = SectionEnd(headerLine);
    QByteArray k;
    for (int i = headerLine + 1; i < end; ++i)
        if (ParseKeyLine(FLines[i].Text, &k, nullptr) && SameName(k, key)) return i;
    return -1;
}

QString TProfileFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
    const int header = FindSection(section);
    if (header < 0) return defaultValue;
    const int line = FindKey(header, key);
    if (line < 0) return defaultValue;
    QByteArray k, v;
    ParseKeyLine(FLines[line].Text, &k, &v);
    return DecodeValue(v);
}

int TProfileFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    if (!ValueExists(section, key)) return defaultValue;
    return StrToIntDef(ReadString(section, key), defaultValue);
}

bool TProfileFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TProfileFile::ValueExists(const QString& section, const QString& key) const {
    const int header = FindSection(section);
    return header >= 0 && FindKey(header, key) >= 0;
}

bool TProfileFile::SectionExists(const QString& section) const { return FindSection(section) >= 0; }

QStringList TProfileFile::ReadSections() const {
    QStringList out;
    QByteArray name;
    for (const TLine& line : FLines)
        if (ParseHeader(line.Text, &name)) {
            const QString s = QString::fromUtf8(name);
            if (!out.contains(s, Qt::CaseInsensitive)) out << s;
        }
    return out;
}

QStringList TProfileFile::ReadSection(const QString& section) const {
    QStringList out;
    const int header = FindSection(section);
    if (header < 0) return out;
    const int end = SectionEnd(header);
    QByteArray k;
    for (int i = header + 1; i < end; ++i)
        if (ParseKeyLine(FLines[i].Text, &k, nullptr)) {
            const QString s = QString::fromUtf8(k);
            if (!out.contains(s, Qt::CaseInsensitive)) out << s;
        }
    return out;
}

QList<QPair<QString, QString>> TProfileFile::ReadSectionPairs(const QString& section) const {
    QList<QPair<QString, QString>> out;
    const int header = FindSection(section);
    if (header < 0) return out;
    const int end = SectionEnd(header);
    QSet<QString> seen;
    QByteArray k, v;
    for (int i = header + 1; i < end; ++i) {
        if (!ParseKeyLine(FLines[i].Text, &k, &v)) continue;
        const QString key = QString::fromUtf8(k);
        const QString folded = key.toLower();
        if (seen.contains(folded)) continue;
        seen.insert(folded);
        out.append({key, DecodeValue(v)});
    }
    return out;
}

bool TProfileFile::IsValidKey(const QString& key) {
    if (key.isEmpty() || key != key.trimmed()) return false;
    if (key.startsWith(QLatin1Char(';')) || key.startsWith(QLatin1Char('['))) return false;
    for (QChar c : key)
        if (c == QLatin1Char('=') || c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0)) return false;
    return true;
}

bool TProfileFile::IsValidSection(const QString& section) {
    if (section.trimmed().isEmpty()) return false;
    for (QChar c : section)
        if (c == QLatin1Char(']') || c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0)) return false;
    return true;
}

bool TProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (!IsValidKey(key) || !IsValidSection(section)) return false;
    const int header = FindSection(section);
    const int line = header < 0 ? -1 : FindKey(header, key);
    if (line >= 0) {
        ReplaceValue(FLines[line], value);
        return true;
    }
    AddKeyLines(section, header, {TLine{EncodeLine(key.toUtf8(), value), kCrLf}});
    return true;
}

void TProfileFile::ReplaceValue(TLine& line, const QString& value) {
    // The key keeps the spelling it has in the file.
    QByteArray stored;
    ParseKeyLine(line.Text, &stored, nullptr);
    line.Text = EncodeLine(stored, value);
    if (line.Ending.isEmpty()) line.Ending = kCrLf;
}

void TProfileFile::AddKeyLines(const QString& section, int header, const std::vector<TLine>& lines) {
    if (header < 0) {
        // A last line without its line end gets one before anything follows it.
        if (!FLines.empty() && FLines.back().Ending.isEmpty()) FLines.back().Ending = kCrLf;
        FLines.push_back({'[' + section.trimmed().toUtf8() + ']', kCrLf});
        FLines.insert(FLines.end(), lines.begin(), lines.end());
        return;
    }
    // After the last key of the section, or right after its header.
    const int end = SectionEnd(header);
    int after = header;
    QByteArray k;
    for (int i = header + 1; i < end; ++i)
        if (ParseKeyLine(FLines[i].Text, &k, nullptr)) after = i;
    if (FLines[after].Ending.isEmpty()) FLines[after].Ending = kCrLf;
    FLines.insert(FLines.begin() + after + 1, lines.begin(), lines.end());
}

int TProfileFile::WriteStrings(const QString& section, const QList<QPair<QString, QString>>& pairs) {
    if (!IsValidSection(section)) return 0;
    const int header = FindSection(section);
    // The section's keys by folded name; the first of a duplicate wins, as on reading.
    QHash<QString, int> known;
    if (header >= 0) {
        const int end = SectionEnd(header);
        QByteArray k;
        for (int i = header + 1; i < end; ++i)
            if (ParseKeyLine(FLines[i].Text, &k, nullptr)) {
                const QString folded = QString::fromUtf8(k).toCaseFolded();
                if (!known.contains(folded)) known.insert(folded, i);
            }
    }
    std::vector<TLine> added;
    QHash<QString, size_t> addedAt;
    int written = 0;
    for (const auto& [key, value] : pairs) {
        if (!IsValidKey(key)) continue;
        ++written;
        const QString folded = key.trimmed().toCaseFolded();
        if (const auto line = known.constFind(folded); line != known.cend()) {
            ReplaceValue(FLines[*line], value);
        } else if (const auto at = addedAt.constFind(folded); at != addedAt.cend()) {
            ReplaceValue(added[*at], value);
        } else {
            addedAt.insert(folded, added.size());
            added.push_back({EncodeLine(key.toUtf8(), value), kCrLf});
        }
    }
    if (!added.empty()) AddKeyLines(section, header, added);
    return written;
}

bool TProfileFile::WriteInteger(const QString& section, const QString& key, int value) {
    return WriteString(section, key, QString::number(value));
}

bool TProfileFile::WriteBool(const QString& section, const QString& key, bool value) {
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TProfileFile::DeleteKey(const QString& section, const QString& key) {
    const int header = FindSection(section);
    if (header < 0) return;
    const int line = FindKey(header, key);
    if (line >= 0) FLines.erase(FLines.begin() + line);
}

void TProfileFile::EraseSection(const QString& section) {
    for (int header = FindSection(section); header >= 0; header = FindSection(section))
        FLines.erase(FLines.begin() + header, FLines.begin() + SectionEnd(header));
}

bool TProfileFile::WriteStringTo(const QString& fileName, const QString& section, const QString& key, const QString& value) {
    TProfileFile file;
    if (!file.Load(fileName) || !file.WriteString(section, key, value)) return false;
    return file.Save();
}
