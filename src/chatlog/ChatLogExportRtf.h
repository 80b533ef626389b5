#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// The font and colour tables of one exported RTF document. Every stored record
// brings tables of its own; copied as they are, a reader keeps the first ones
// and the later records' \cfN and \fN point at the wrong entries. Each record
// is rewritten instead: its tables go, their entries join the document's, and
// its font and colour words are renumbered into them.
class TExportRtfTables {
public:
    // Font 0 is the document's own (SimSun, GB2312); colour 1 is black, for
    // the headers, colour 0 the reader's automatic colour.
    TExportRtfTables();

    // A stored record ("{\rtf1 ... }") as a run of RTF that fits inside a
    // group of the document: no outer braces, no header words, no tables, and
    // font and colour numbers of the document. Bytes after the record's
    // closing brace are dropped.
    QByteArray Body(const QByteArray& record);

    // "{\fonttbl...}" and "{\colortbl ...}" with every entry gathered so far.
    QByteArray FontTable() const;
    QByteArray ColourTable() const;

    static constexpr int HeaderColour = 1;

private:
    // The record's entries mapped to the document's, by the record's index.
    void ReadFontTable(const QByteArray& group);
    void ReadColourTable(const QByteArray& group);
    int AddFont(const QByteArray& entry);
    int AddColour(const QByteArray& entry);

    QList<QByteArray> FFonts;   // entries after "\fN", ending in ';'
    QList<QByteArray> FColours; // "\redR\greenG\blueB", index 0 empty
    QHash<int, int> FFontMap;   // of the record being read
    QHash<int, int> FColourMap;
};
