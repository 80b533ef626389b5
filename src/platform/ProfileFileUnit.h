#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <vector>

// A Windows-style initialisation file (Config.ini, UserGroup.ini, language
// files ...). Reads follow the Windows profile rules: section and key names
// compared without case, keys and values trimmed, one pair of matching quotes
// stripped, ";" comments, first duplicate wins, values cut at 2047 characters.
// Writes change only the lines they must; every other line keeps its bytes.
// Files are written in UTF-8. A file is read as UTF-8 when its bytes are UTF-8
// or it starts with a UTF-8 byte-order mark (which is dropped), else as text
// of a Windows program in a fallback code page, and then held as UTF-8.
class TProfileFile {
public:
    static constexpr int MaxValueLength = 2047;

    TProfileFile() = default;
    explicit TProfileFile(const QString& fileName);

    // Reads the file; a missing file gives an empty profile. False only when an
    // existing file cannot be read. fallbackCodePage (a QStringDecoder name)
    // reads a file that is not UTF-8; empty means Platform::SystemCodePage().
    bool Load(const QString& fileName, const QByteArray& fallbackCodePage = {});
    void LoadFromBytes(const QByteArray& bytes, const QByteArray& fallbackCodePage = {});
    // True when LoadFromBytes reads bytes as UTF-8, whatever the fallback.
    static bool IsUtf8Text(const QByteArray& bytes);
    QByteArray ToBytes() const;
    // Writes the whole file through a temporary file in the same folder that is
    // then renamed over the old one. The folder is created when missing.
    bool Save() const;
    bool SaveAs(const QString& fileName) const;
    const QString& FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue = {}) const;
    // Delphi's StrToIntDef rules: the whole value must be an integer
    // (decimal, "0x"/"$" hexadecimal, optional sign), else the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    bool ValueExists(const QString& section, const QString& key) const;
    bool SectionExists(const QString& section) const;
    QStringList ReadSections() const;
    QStringList ReadSection(const QString& section) const; // keys in file order, first of duplicates only
    // Keys and values of a section in file order, first of duplicates only.
    QList<QPair<QString, QString>> ReadSectionPairs(const QString& section) const;

    // False (nothing written) when key or section cannot stand in the file
    // as given: see IsValidKey. A replaced key keeps the spelling it had.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    // Many keys of one section in one pass, as WriteString one after another
    // would leave them: known keys replaced where they stand, new ones added
    // together after the section's last key. Returns how many were written.
    int WriteStrings(const QString& section, const QList<QPair<QString, QString>>& pairs);
    bool WriteBool(const QString& section, const QString& key, bool value);
    // A key is read back as written only if it is not blank, has no blanks at
    // either end, no line break, NUL or "=", and starts with neither ";" nor "[".
    static bool IsValidKey(const QString& key);
    // A section name: not blank, no line break, NUL or "]".
    static bool IsValidSection(const QString& section);
    void DeleteKey(const QString& section, const QString& key);
    void EraseSection(const QString& section);

    // Convenience: load, change, save in one go.
    static bool WriteStringTo(const QString& fileName, const QString& section, const QString& key, const QString& value);

private:
    struct TLine {
        QByteArray Text;       // without the line end
        QByteArray Ending;     // "\r\n", "\n", "\r" or empty for the last line
    };
    int FindSection(const QString& section) const;        // index of the header line, -1 when absent
    int SectionEnd(int headerLine) const;                  // first line after the section's body
    int FindKey(int headerLine, const QString& key) const; // -1 when absent
    static void ReplaceValue(TLine& line, const QString& value);
    // New key lines after the section's last key (headerLine -1: a new section at the end).
    void AddKeyLines(const QString& section, int headerLine, const std::vector<TLine>& lines);

    QString FFileName;
    std::vector<TLine> FLines;
};

// Delphi's StrToIntDef: the whole text must be an integer.
int StrToIntDef(const QString& text, int defaultValue);
bool TryStrToInt(const QString& text, int* value);
