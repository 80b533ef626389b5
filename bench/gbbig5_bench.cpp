// GB2312/Big5 conversion: a 1 MiB Big5 text converted to GB2312 characters and
// the GB2312 text converted back, each timed against a plain iconv decode of
// the same bytes in the same run; and the memory the loaded table holds.
// Prints figures and ratios; never fails on speed.
#include "BenchMemory.h"
#include "BenchTiming.h"
#include "platform/PathsUnit.h"
#include "text/GB2Big5Unit.h"
#include "text/MsgLangUnit.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <iconv.h>
#include <string>

namespace {

constexpr int kRounds = 20;
constexpr qsizetype kTextBytes = 1024 * 1024;

// Traditional Chinese prose with punctuation, digits and some Latin words.
QByteArray Big5Text() {
    const QString paragraph = QString::fromUtf8(
        "臺灣的資訊產業在過去三十年裡發展迅速，許多公司在大陸設有辦公室。"
        "會議記錄：第12次專案會議於下午3點開始，與會者討論了網絡設備的採購與測試計劃。"
        "Email: office@example.tw 電話 (02) 2345-6789。體驗、學習、開發與維護都需要長期投入。\r\n");
    const QByteArray bytes = TMessageLang::Encode(1028, paragraph);
    QByteArray text;
    text.reserve(kTextBytes + bytes.size());
    while (text.size() < kTextBytes) text += bytes;
    return text;
}

// UTF-16 from a code page with the C library's iconv: the baseline.
class TIconvDecode {
public:
    explicit TIconvDecode(const char* from) : FHandle(iconv_open("UTF-16LE", from)) {}
    ~TIconvDecode() { iconv_close(FHandle); }
    bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    std::u16string Decode(const QByteArray& bytes) {
        std::u16string out(size_t(bytes.size()) + 1, u'\0');
        char* src = const_cast<char*>(bytes.constData());
        size_t srcLeft = size_t(bytes.size());
        char* dst = reinterpret_cast<char*>(out.data());
        size_t dstLeft = out.size() * 2;
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
        while (srcLeft > 0 && iconv(FHandle, &src, &srcLeft, &dst, &dstLeft) == size_t(-1)) {
            if (srcLeft == 0 || dstLeft < 2) break;
            ++src; // an invalid byte: skip it as a replacement would
            --srcLeft;
        }
        out.resize(out.size() - dstLeft / 2);
        return out;
    }

private:
    iconv_t FHandle;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString path = Platform::RuntimeDataFolder() + QStringLiteral("GB_BIG5.ini");

    const long rssBefore = StatusKiB("VmRSS:");
    QElapsedTimer loadTimer;
    loadTimer.start();
    const TGBBig5Convert table(path);
    const double loadMs = double(loadTimer.nsecsElapsed()) / 1e6;
    const long rssAfter = StatusKiB("VmRSS:");
    if (!table.Available()) {
        std::fprintf(stderr, "gbbig5 bench: no table at %s (%s)\n", qPrintable(path), qPrintable(table.Problem()));
        return 1;
    }

    const QByteArray big5 = Big5Text();
    const QString simplified = table.Big5ToGB(big5);
    const QByteArray gb = TMessageLang::Encode(2052, simplified);
    TIconvDecode big5Decode("CP950"), gbDecode("CP936");
    if (!big5Decode.Valid() || !gbDecode.Valid()) {
        std::fprintf(stderr, "gbbig5 bench: iconv lacks CP950/CP936\n");
        return 1;
    }

    size_t sink = 0;
    const double toGB = MillisecondsPerRound(kRounds, [&] { sink += size_t(table.Big5ToGB(big5).size()); });
    const double iconvBig5 = MillisecondsPerRound(kRounds, [&] { sink += big5Decode.Decode(big5).size(); });
    const double toBig5 = MillisecondsPerRound(kRounds, [&] { sink += size_t(table.GBToBig5(gb).size()); });
    const double iconvGB = MillisecondsPerRound(kRounds, [&] { sink += gbDecode.Decode(gb).size(); });

    std::printf("text: %lld Big5 bytes, %lld GB bytes, %lld characters (checksum %zu)\n",
                static_cast<long long>(big5.size()), static_cast<long long>(gb.size()),
                static_cast<long long>(simplified.size()), sink);
    std::printf("table: loaded in %.1f ms, holds %zu bytes (%.1f KiB; target < 1024 KiB), RSS grew %ld KiB\n", loadMs,
                table.MemoryBytes(), double(table.MemoryBytes()) / 1024.0, rssAfter - rssBefore);
    std::printf("Big5ToGB: %.2f ms, iconv CP950 decode: %.2f ms, ratio %.2f (target < 3)\n", toGB, iconvBig5,
                toGB / iconvBig5);
    std::printf("GBToBig5: %.2f ms, iconv CP936 decode: %.2f ms, ratio %.2f (target < 3)\n", toBig5, iconvGB,
                toBig5 / iconvGB);
    std::printf("round trip: %.2f ms, two iconv decodes: %.2f ms, ratio %.2f (target < 3)\n", toGB + toBig5,
                iconvBig5 + iconvGB, (toGB + toBig5) / (iconvBig5 + iconvGB));
    return 0;
}
