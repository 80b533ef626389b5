#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

class TMessageLang;

// Filled into reserved places of a layout; receivers never read them.
inline constexpr char ReservedPlace[] = "_NULL_";

// One datagram (or the header line of a TCP request) split into its
// tab-separated fields. Fields are counted from 0: the type name, then the
// protocol version. A layout's "rest" field runs to the end, tabs included.
// Missing fields read as empty, extra ones are simply not asked for.
class TEnvelope {
public:
    // nullopt: no tab at all, or field 1 not an integer (Delphi rules).
    // No size check here: the transport drops what is too long.
    static std::optional<TEnvelope> Parse(const QByteArray& datagram);

    const QByteArray& Type() const { return FType; }      // field 0 as received
    bool IsType(const char* typeName) const;               // ASCII, case ignored
    int ProtocolVersion() const { return FProtocolVersion; } // field 1
    // Up to the next tab; empty when missing.
    QByteArray Field(int index) const;
    // From the start of field index to the end, tabs included; empty when missing.
    QByteArray Rest(int index) const;
    int FieldCount() const { return int(FStarts.size()); }
    bool HasField(int index) const { return index >= 0 && index < FieldCount(); }
    const QByteArray& Raw() const { return FRaw; }

    // Delphi integer rules; nullopt when the field is missing or no integer.
    std::optional<int> IntField(int index) const;
    int IntFieldDef(int index, int defaultValue) const;
    // The sender's language identifier (16 bits, as the records hold it);
    // nullopt when it is no integer, which discards the whole message.
    std::optional<qint16> LanguageIdField(int index) const;

private:
    TEnvelope() = default;

    QByteArray FRaw;
    QByteArray FType;
    int FProtocolVersion = 0;
    QList<qsizetype> FStarts; // offset of each field in FRaw
};

// The fields joined by single tabs, nothing appended.
QByteArray BuildDatagram(const QList<QByteArray>& fields);

// A text field in the sender's code page. Only a rest field may hold a tab,
// so a tab inside any other field (a nickname typed with one) becomes a blank
// instead of shifting every later field at the receivers.
QByteArray TextField(const QString& text, const TMessageLang& lang);
QByteArray WithoutTabs(QByteArray field);

// The wire's lenient reading of an address: blanks around the text are
// skipped and text after a fourth "." is not examined ("1.2.3.4.5" passes,
// "1.2.3" does not); the four pieces follow ParseDottedQuad.
std::optional<quint32> ParseDottedQuadPrefix(QStringView text);

// Where to reach a peer: its address when that reads as a dotted quad, else
// its computer name for the resolver.
QString PeerHost(const QString& address, const QString& computerName);
