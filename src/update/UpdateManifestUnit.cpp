#include "update/UpdateManifestUnit.h"

#include "update/UpdateNamesUnit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <sodium.h>

namespace {

const QByteArray kHeader("QLM-UPDATE-MANIFEST 1");

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// "<sha256> <size> <name>": the name is the rest, blanks and all.
std::optional<TManifestEntry> ParseEntryLine(const QByteArray& line) {
    const qsizetype a = line.indexOf(' ');
    const qsizetype b = a < 0 ? -1 : line.indexOf(' ', a + 1);
    if (b < 0) return std::nullopt;
    TManifestEntry e;
    e.Sha256 = line.left(a).toLower();
    bool ok = false;
    e.Size = line.mid(a + 1, b - a - 1).toLongLong(&ok);
    QString normal;
    if (!ok || e.Size < 0 || e.Sha256.size() != 64 || !UpdateNames::Normalise(QString::fromUtf8(line.mid(b + 1)), &normal))
        return std::nullopt;
    e.Name = normal;
    return e;
}

QByteArray EntryLine(const TManifestEntry& e) { return e.Sha256 + ' ' + QByteArray::number(e.Size) + ' ' + e.Name.toUtf8(); }

QList<QByteArray> Lines(const QByteArray& bytes) {
    QList<QByteArray> out;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (!line.isEmpty()) out.append(line);
    }
    return out;
}

} // namespace

QByteArray TManifest::Text() const {
    QByteArray out = kHeader + '\n' + Section.toUtf8() + '\n';
    for (const TManifestEntry& e : Entries) out += EntryLine(e) + '\n';
    return out;
}

namespace UpdateManifest {

std::optional<TManifestEntry> Describe(const QString& path, const QString& name) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return std::nullopt;
    return TManifestEntry{name, file.size(), hash.result().toHex()};
}

std::optional<QList<TManifestEntry>> DescribeAll(const QString& folder, const QStringList& names, QString* missing) {
    QList<TManifestEntry> out;
    for (const QString& name : names) {
        const QString path = UpdateNames::ResolveInside(folder, name);
        std::optional<TManifestEntry> e = path.isEmpty() ? std::nullopt : Describe(path, name);
        if (!e) {
            if (missing) *missing = name;
            return std::nullopt;
        }
        out.append(*e);
    }
    return out;
}

bool GenerateKeyPair(QByteArray* publicKeyText, QByteArray* secretKeyText) {
    if (!SodiumReady()) return false;
    QByteArray pk(crypto_sign_PUBLICKEYBYTES, Qt::Uninitialized), sk(crypto_sign_SECRETKEYBYTES, Qt::Uninitialized);
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(pk.data()), reinterpret_cast<unsigned char*>(sk.data()));
    *publicKeyText = pk.toBase64();
    *secretKeyText = sk.toBase64();
    sodium_memzero(sk.data(), size_t(sk.size()));
    return true;
}

std::optional<QByteArray> ParsePublicKey(const QString& text) {
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != crypto_sign_PUBLICKEYBYTES) return std::nullopt;
    return decoded.decoded;
}

std::optional<QByteArray> ParseSecretKey(const QByteArray& text) {
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != crypto_sign_SECRETKEYBYTES) return std::nullopt;
    return decoded.decoded;
}

QByteArray Sign(const TManifest& manifest, const QByteArray& secretKey) {
    if (!SodiumReady() || secretKey.size() != crypto_sign_SECRETKEYBYTES) return {};
    const QByteArray text = manifest.Text();
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(text.constData()), quint64(text.size()),
                         reinterpret_cast<const unsigned char*>(secretKey.constData()));
    return signature;
}

bool Verify(const TManifest& manifest, const QByteArray& signature, const QByteArray& publicKey) {
    if (!SodiumReady() || signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    const QByteArray text = manifest.Text();
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                       reinterpret_cast<const unsigned char*>(text.constData()), quint64(text.size()),
                                       reinterpret_cast<const unsigned char*>(publicKey.constData())) == 0;
}

QByteArray FormatSignatureFile(const QList<TSignedManifest>& blocks) {
    QByteArray out;
    for (const TSignedManifest& b : blocks) {
        out += "section " + b.Manifest.Section.toUtf8() + "\r\n";
        for (const TManifestEntry& e : b.Manifest.Entries) out += "file " + EntryLine(e) + "\r\n";
        out += "signature " + b.Signature.toBase64() + "\r\n";
    }
    return out;
}

QList<TSignedManifest> ParseSignatureFile(const QByteArray& bytes, int maxBlocks) {
    QList<TSignedManifest> out;
    std::optional<TSignedManifest> open;
    for (const QByteArray& line : Lines(bytes)) {
        if (line.startsWith("section ")) {
            open = TSignedManifest{};
            open->Manifest.Section = QString::fromUtf8(line.mid(8));
        } else if (open && line.startsWith("file ")) {
            const std::optional<TManifestEntry> e = ParseEntryLine(line.mid(5));
            if (!e) open.reset();
            else open->Manifest.Entries.append(*e);
        } else if (open && line.startsWith("signature ")) {
            open->Signature = QByteArray::fromBase64(line.mid(10));
            out.append(*open);
            open.reset();
            if (out.size() >= maxBlocks) break;
        } else {
            open.reset();
        }
    }
    return out;
}

} // namespace UpdateManifest

TUpdateSetCheck CheckUpdateSet(const QString& folder, const QStringList& names, const QString& section,
                               const QString& publicKey) {
    TUpdateSetCheck check;
    const QString sigName = QString::fromLatin1(UpdateSignatureFile);
    QStringList files;
    for (const QString& name : names)
        if (name.compare(sigName, Qt::CaseInsensitive) != 0) files.append(name);
    QString missing;
    if (const auto described = UpdateManifest::DescribeAll(folder, files, &missing)) check.Files = *described;
    if (publicKey.trimmed().isEmpty()) return check;
    const std::optional<QByteArray> key = UpdateManifest::ParsePublicKey(publicKey);
    if (!key) {
        check.Signature = TUpdateSignature::BadKey;
        return check;
    }
    if (!missing.isEmpty()) {
        check.Signature = TUpdateSignature::Bad;
        check.Problem = missing;
        return check;
    }
    QFile sig(QDir(folder).filePath(sigName));
    QByteArray sigBytes;
    if (!UpdateNames::ResolveInside(folder, sigName).isEmpty() && sig.open(QIODevice::ReadOnly))
        sigBytes = sig.read(1024 * 1024);
    const QList<UpdateManifest::TSignedManifest> blocks = UpdateManifest::ParseSignatureFile(sigBytes);
    const UpdateManifest::TSignedManifest* block = nullptr;
    for (const auto& b : blocks)
        if (b.Manifest.Section == section) block = &b;
    if (!block) {
        check.Signature = TUpdateSignature::Missing;
        return check;
    }
    if (!UpdateManifest::Verify(block->Manifest, block->Signature, *key)) {
        check.Signature = TUpdateSignature::Bad;
        return check;
    }
    // Every file as signed, and nothing beside them.
    QHash<QString, TManifestEntry> signedFiles;
    for (const TManifestEntry& e : block->Manifest.Entries) signedFiles.insert(e.Name, e);
    for (const TManifestEntry& e : std::as_const(check.Files)) {
        if (signedFiles.value(e.Name) != e) {
            check.Signature = TUpdateSignature::Bad;
            check.Problem = e.Name;
            return check;
        }
        signedFiles.remove(e.Name);
    }
    if (!signedFiles.isEmpty()) {
        check.Signature = TUpdateSignature::Bad;
        check.Problem = signedFiles.begin().key();
        return check;
    }
    check.Signature = TUpdateSignature::Good;
    return check;
}

QByteArray FormatInstallList(const QList<TManifestEntry>& entries) {
    QByteArray out;
    for (const TManifestEntry& e : entries) out += EntryLine(e) + '\n';
    return out;
}

QList<TManifestEntry> ParseInstallList(const QByteArray& bytes, int maxEntries) {
    QList<TManifestEntry> out;
    for (const QByteArray& line : Lines(bytes)) {
        const std::optional<TManifestEntry> e = ParseEntryLine(line);
        if (!e) return {};
        out.append(*e);
        if (out.size() >= maxEntries) break;
    }
    return out;
}
