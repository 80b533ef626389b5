#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One file of an update set: its relative path ("/" separators), size and SHA-256 (hex).
struct TManifestEntry {
    QString Name;
    qint64 Size = 0;
    QByteArray Sha256;
    bool operator==(const TManifestEntry&) const = default;
};

// The files one section of Update.ini offers ("<new>_<old>"), as signed.
struct TManifest {
    QString Section;
    QList<TManifestEntry> Entries;
    // The signed bytes: a header line, the section, one line per file.
    QByteArray Text() const;
};

// The detached signature file an update set carries beside its files.
inline constexpr char UpdateSignatureFile[] = "Update.sig";

namespace UpdateManifest {

// Size and SHA-256 of one file; nullopt when it cannot be read.
std::optional<TManifestEntry> Describe(const QString& path, const QString& name);
// The entries of names (normalised) in folder, in order; nullopt and *missing when one cannot be read.
std::optional<QList<TManifestEntry>> DescribeAll(const QString& folder, const QStringList& names, QString* missing);

// Ed25519 through libsodium. Keys as text: base64 of the 32-byte public key,
// and of the 64-byte secret key (seed and public key).
bool GenerateKeyPair(QByteArray* publicKeyText, QByteArray* secretKeyText);
std::optional<QByteArray> ParsePublicKey(const QString& text);
std::optional<QByteArray> ParseSecretKey(const QByteArray& text);
QByteArray Sign(const TManifest& manifest, const QByteArray& secretKey);
bool Verify(const TManifest& manifest, const QByteArray& signature, const QByteArray& publicKey);

// Update.sig: for each signed section "section <name>", "file <sha256> <size> <name>"
// lines, "signature <base64>". Blocks of other sections are kept by Merge.
struct TSignedManifest {
    TManifest Manifest;
    QByteArray Signature;
};
QByteArray FormatSignatureFile(const QList<TSignedManifest>& blocks);
// Whatever reads as a block; malformed lines end the block they are in. At most maxBlocks.
QList<TSignedManifest> ParseSignatureFile(const QByteArray& bytes, int maxBlocks = 256);

} // namespace UpdateManifest

// What a fetched set is worth: the files as they lie in UPDATE, and whether
// a signature vouches for them.
enum class TUpdateSignature {
    NotSigned,  // no key is set: nothing is checked
    Good,       // signed by the key, every file as signed
    Missing,    // a key is set, the set carries no signature for this pair of versions
    Bad,        // a key is set and the signature or a file does not match
    BadKey,     // the UpdatePublicKey setting is no key
};

struct TUpdateSetCheck {
    TUpdateSignature Signature = TUpdateSignature::NotSigned;
    QList<TManifestEntry> Files; // what is in UPDATE (the signature file left out)
    QString Problem;             // the file that did not match, for Bad
    bool Installable() const { return Signature == TUpdateSignature::NotSigned || Signature == TUpdateSignature::Good; }
};

// folder: UPDATE; names: the files stored (normalised); section "<answering
// version>_<own version>"; publicKey: the setting (empty: not checked).
TUpdateSetCheck CheckUpdateSet(const QString& folder, const QStringList& names, const QString& section,
                               const QString& publicKey);
// The install list the updater checks every file against: "<sha256> <size> <name>" lines.
QByteArray FormatInstallList(const QList<TManifestEntry>& entries);
QList<TManifestEntry> ParseInstallList(const QByteArray& bytes, int maxEntries = 4096);
