#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

// The GB2312 <-> Big5 character table ("GB_BIG5.ini" beside the program) and
// the conversion of a peer's text with it. The table is read once; after that
// every method is const and safe to call from any thread.
//
// A text converts character by character: a character of the sender's code
// page that has a counterpart becomes that counterpart, every other one (no
// counterpart, bytes outside the table, a cut or broken double-byte sequence)
// is decoded from the sender's code page as if nothing were converted.
class TGBBig5Convert {
public:
    static constexpr int Big5Keys = 14758; // Big5 indexes 0..14757
    static constexpr int GBKeys = 8178;    // GB2312 indexes 0..8177

    // The table beside the program, read on first use.
    static const TGBBig5Convert& Instance();
    explicit TGBBig5Convert(const QString& tablePath);

    // Whether the table was read and pairs at least one character.
    bool Available() const { return FAvailable; }
    const QString& TablePath() const { return FTablePath; }
    // What was wrong with the table (empty when it read cleanly); also
    // written once as a warning when the table is read.
    const QString& Problem() const { return FProblem; }

    // Table index of a double-byte code, -1 outside the table.
    static int Big5Index(unsigned char lead, unsigned char trail);
    static int GBIndex(unsigned char lead, unsigned char trail);
    // The counterpart's code (lead * 256 + trail) as the table holds it; 0: none.
    int GBCodeOfBig5(int big5Index) const;
    int Big5CodeOfGB(int gbIndex) const;

    // Bytes of a Big5 (windows-950) text shown in GB2312 characters, and the reverse.
    QString Big5ToGB(const QByteArray& big5) const;
    QString GBToBig5(const QByteArray& gb) const;

    // Bytes held by the loaded table.
    std::size_t MemoryBytes() const;

private:
    struct TDirection {
        std::vector<quint16> Codes;      // the table's value per index
        std::vector<char16_t> Converted; // the counterpart as a character, 0: none
        std::vector<char16_t> Own;       // the index's own character in the sender's code page, 0: undefined
    };
    void Load();
    QString Convert(const QByteArray& bytes, const TDirection& direction, const char* sourceCodePage,
                    bool big5) const;

    QString FTablePath;
    QString FProblem;
    bool FAvailable = false;
    TDirection FFromBig5; // BIG5Orders
    TDirection FFromGB;   // GBOrders
};
