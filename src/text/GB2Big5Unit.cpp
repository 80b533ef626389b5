#include "text/GB2Big5Unit.h"

#include "platform/CodePageUnit.h"
#include "platform/PathsUnit.h"

#include <QByteArrayView>
#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

namespace {

// The generated table is about 240 KB; anything far larger is not a table.
constexpr qint64 MaxTableBytes = 4 * 1024 * 1024;

const QByteArray& Big5CodePage() {
    static const QByteArray name = Platform::CodePageName(1028);
    return name;
}

const QByteArray& GBCodePage() {
    static const QByteArray name = Platform::CodePageName(2052);
    return name;
}

bool IsBig5Trail(unsigned char t) { return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE); }
bool IsGbkTrail(unsigned char t) { return t >= 0x40 && t <= 0xFE && t != 0x7F; }

// A value of "BIG5Orders" must be a GB2312 code, one of "GBOrders" a Big5 code.
bool IsGB2312Code(int code) {
    const int lead = code >> 8, trail = code & 0xFF;
    return lead >= 0xA1 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE;
}

bool IsBig5Code(int code) {
    const int lead = code >> 8;
    return lead >= 0xA1 && lead <= 0xF9 && IsBig5Trail(code & 0xFF);
}

// Each code decoded alone: a newline after every pair keeps a broken pair from
// taking its neighbour along, and no newline is ever a trail byte.
std::vector<char16_t> DecodeEach(const std::vector<quint16>& codes, const QByteArray& codePage) {
    QByteArray bytes;
    bytes.reserve(qsizetype(codes.size()) * 3);
    for (quint16 code : codes) {
        if (code != 0) {
            bytes += char(code >> 8);
            bytes += char(code & 0xFF);
        }
        bytes += '\n';
    }
    QStringDecoder decoder(codePage.constData(), QStringConverter::Flag::Stateless);
    const QStringList pieces = QString(decoder.decode(bytes)).split(QLatin1Char('\n'));
    std::vector<char16_t> out(codes.size(), 0);
    if (!decoder.isValid() || pieces.size() != qsizetype(codes.size()) + 1) return out;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const QString& piece = pieces[qsizetype(i)];
        if (piece.size() == 1 && piece[0] != QChar::ReplacementCharacter) out[i] = piece[0].unicode();
    }
    return out;
}

} // namespace

const TGBBig5Convert& TGBBig5Convert::Instance() {
    static const TGBBig5Convert table(Platform::RuntimeDataFolder() + QStringLiteral("GB_BIG5.ini"));
    return table;
}

TGBBig5Convert::TGBBig5Convert(const QString& tablePath) : FTablePath(tablePath) {
    FFromBig5.Codes.assign(Big5Keys, 0);
    FFromGB.Codes.assign(GBKeys, 0);
    Load();

    std::vector<quint16> own(Big5Keys);
    for (int i = 0; i < Big5Keys; ++i) {
        const int lead = 0xA1 + i / 157, column = i % 157;
        own[i] = quint16(lead << 8 | (column < 63 ? 0x40 + column : 0xA1 + column - 63));
    }
    FFromBig5.Own = DecodeEach(own, Big5CodePage());
    own.resize(GBKeys);
    for (int i = 0; i < GBKeys; ++i) own[i] = quint16((0xA1 + i / 94) << 8 | (0xA1 + i % 94));
    FFromGB.Own = DecodeEach(own, GBCodePage());

    FFromBig5.Converted = DecodeEach(FFromBig5.Codes, GBCodePage());
    FFromGB.Converted = DecodeEach(FFromGB.Codes, Big5CodePage());
    int paired = 0;
    for (const TDirection* d : {&FFromBig5, &FFromGB})
        for (char16_t c : d->Converted) paired += c != 0;
    FAvailable = paired > 0;
    if (!FAvailable && FProblem.isEmpty()) FProblem = QStringLiteral("it pairs no character");
    if (!FProblem.isEmpty())
        qWarning("GB2312/Big5 table %s: %s; %s", qPrintable(FTablePath), qPrintable(FProblem),
                 FAvailable ? "characters it lacks are shown as sent"
                            : "Chinese text from peers is shown as sent, unconverted");
}

void TGBBig5Convert::Load() {
    QFile file(FTablePath);
    if (!file.exists()) {
        FProblem = QStringLiteral("missing");
        return;
    }
    if (file.size() > MaxTableBytes) {
        FProblem = QStringLiteral("larger than any table (%1 bytes)").arg(file.size());
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        FProblem = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return;
    }
    const QByteArray data = file.read(MaxTableBytes);
    if (data.trimmed().isEmpty()) {
        FProblem = QStringLiteral("empty");
        return;
    }

    QStringList problems;
    QByteArrayView rest(data);
    // A last line without its line end may have lost digits: a wrong code is
    // worse than none.
    const bool cut = !data.endsWith('\n');
    if (cut) {
        const qsizetype lastEnd = rest.lastIndexOf('\n');
        rest = lastEnd < 0 ? QByteArrayView() : rest.first(lastEnd + 1);
        problems += QStringLiteral("its last line is cut off");
    }

    TDirection* section = nullptr;
    bool sawBig5 = false, sawGB = false;
    int badKeys = 0, badValues = 0;
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView line = (end < 0 ? rest : rest.first(end)).trimmed();
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[')) {
            const QByteArray name = line.toByteArray().toLower();
            section = name == "[big5orders]" ? &FFromBig5 : name == "[gborders]" ? &FFromGB : nullptr;
            sawBig5 |= section == &FFromBig5;
            sawGB |= section == &FFromGB;
            continue;
        }
        if (!section) continue;
        const qsizetype equals = line.indexOf('=');
        bool keyOk = false, valueOk = false;
        const int key = equals < 0 ? -1 : line.first(equals).trimmed().toInt(&keyOk);
        const int value = equals < 0 ? -1 : line.sliced(equals + 1).trimmed().toInt(&valueOk);
        if (!keyOk || key < 0 || key >= int(section->Codes.size())) {
            ++badKeys;
            continue;
        }
        const bool big5Section = section == &FFromBig5;
        if (!valueOk || (value != 0 && !(big5Section ? IsGB2312Code(value) : IsBig5Code(value)))) {
            ++badValues;
            continue;
        }
        section->Codes[std::size_t(key)] = quint16(value);
    }
    if (!sawBig5) problems += QStringLiteral("section BIG5Orders is missing");
    if (!sawGB) problems += QStringLiteral("section GBOrders is missing");
    if (badKeys) problems += QStringLiteral("%1 lines without a key in range skipped").arg(badKeys);
    if (badValues) problems += QStringLiteral("%1 lines without a valid code skipped").arg(badValues);
    FProblem = problems.join(QStringLiteral("; "));
}

int TGBBig5Convert::Big5Index(unsigned char lead, unsigned char trail) {
    if (lead < 0xA1 || lead > 0xFE) return -1;
    if (trail >= 0x40 && trail <= 0x7E) return (lead - 0xA1) * 157 + (trail - 0x40);
    if (trail >= 0xA1 && trail <= 0xFE) return (lead - 0xA1) * 157 + 63 + (trail - 0xA1);
    return -1;
}

int TGBBig5Convert::GBIndex(unsigned char lead, unsigned char trail) {
    if (lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE) return -1;
    const int index = (lead - 0xA1) * 94 + (trail - 0xA1);
    return index < GBKeys ? index : -1;
}

int TGBBig5Convert::GBCodeOfBig5(int big5Index) const {
    return big5Index >= 0 && big5Index < Big5Keys ? FFromBig5.Codes[std::size_t(big5Index)] : 0;
}

int TGBBig5Convert::Big5CodeOfGB(int gbIndex) const {
    return gbIndex >= 0 && gbIndex < GBKeys ? FFromGB.Codes[std::size_t(gbIndex)] : 0;
}

QString TGBBig5Convert::Big5ToGB(const QByteArray& big5) const {
    return Convert(big5, FFromBig5, Big5CodePage().constData(), true);
}

QString TGBBig5Convert::GBToBig5(const QByteArray& gb) const {
    return Convert(gb, FFromGB, GBCodePage().constData(), false);
}

QString TGBBig5Convert::Convert(const QByteArray& bytes, const TDirection& direction, const char* sourceCodePage,
                                bool big5) const {
    // Every byte gives at most one UTF-16 unit in these code pages; runs the
    // decoder handles are checked, since it may say otherwise.
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    // Whatever the table does not cover is decoded as the sender wrote it, a
    // run at a time; runs always end on a character boundary.
    qsizetype pendingFrom = -1;
    const auto flush = [&](qsizetype to) {
        if (pendingFrom < 0) return;
        QStringDecoder decoder(sourceCodePage, QStringConverter::Flag::Stateless);
        const QByteArrayView run(bytes.constData() + pendingFrom, to - pendingFrom);
        const QString text = decoder.isValid() ? QString(decoder.decode(run)) : QString::fromLatin1(run);
        pendingFrom = -1;
        const qsizetype written = dst - reinterpret_cast<const char16_t*>(out.constData());
        if (written + text.size() > out.size()) {
            out.resize(written + text.size() + (n - to));
            dst = reinterpret_cast<char16_t*>(out.data()) + written;
        }
        std::copy(text.utf16(), text.utf16() + text.size(), dst);
        dst += text.size();
    };
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < n;) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            flush(i);
            *dst++ = lead;
            ++i;
            continue;
        }
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < n && (big5 ? IsBig5Trail(p[i + 1]) : IsGbkTrail(p[i + 1]))) {
            const int index = big5 ? Big5Index(lead, p[i + 1]) : GBIndex(lead, p[i + 1]);
            if (index >= 0) {
                const std::size_t k = std::size_t(index);
                const char16_t c = direction.Converted[k] ? direction.Converted[k] : direction.Own[k];
                if (c) {
                    flush(i);
                    *dst++ = c;
                    i += 2;
                    continue;
                }
            }
            if (pendingFrom < 0) pendingFrom = i;
            i += 2;
            continue;
        }
        if (lead >= 0x81 && lead <= 0xFE) {
            // A lead byte cut off at the end or before a byte that cannot
            // follow it: shown as unreadable rather than dropped.
            flush(i);
            *dst++ = QChar::ReplacementCharacter;
            ++i;
            continue;
        }
        if (pendingFrom < 0) pendingFrom = i;
        ++i;
    }
    flush(n);
    out.truncate(dst - reinterpret_cast<const char16_t*>(out.constData()));
    return out;
}

std::size_t TGBBig5Convert::MemoryBytes() const {
    std::size_t bytes = sizeof(*this);
    for (const TDirection* d : {&FFromBig5, &FFromGB})
        bytes += d->Codes.capacity() * sizeof(quint16) + d->Converted.capacity() * sizeof(char16_t) +
                 d->Own.capacity() * sizeof(char16_t);
    return bytes;
}
