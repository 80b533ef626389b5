// Writes GB_BIG5.ini, the character table between GB2312 and Big5 that nodes
// use to show a peer's Chinese text in their own script.
//
//   makegbbig5 OUT.ini ST_CHARACTERS TS_CHARACTERS
//
// The code pages come from the C library's iconv; the simplified <-> traditional
// correspondence from OpenCC's character dictionaries (STCharacters and
// TSCharacters, as .ocd2 or as their tab-separated .txt source). Only single
// characters are paired, never phrases. Prints the coverage.
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int Big5Keys = 14758; // 94 lead bytes x 157 trail bytes
constexpr int GBKeys = 8178;    // 87 rows x 94 + 0 (last key 8177)

using TCandidates = std::map<char32_t, std::vector<char32_t>>;

class TIconv {
public:
    TIconv(const char* to, const char* from) : FHandle(iconv_open(to, from)) {
        if (FHandle == reinterpret_cast<iconv_t>(-1)) {
            std::fprintf(stderr, "makegbbig5: iconv cannot convert %s -> %s\n", from, to);
            std::exit(1);
        }
    }
    ~TIconv() { iconv_close(FHandle); }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    std::optional<std::string> Run(const std::string& in) {
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
        std::string out(16, '\0');
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = out.data();
        size_t dstLeft = out.size();
        if (iconv(FHandle, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || srcLeft != 0) return std::nullopt;
        if (iconv(FHandle, nullptr, nullptr, &dst, &dstLeft) == size_t(-1)) return std::nullopt;
        out.resize(out.size() - dstLeft);
        return out;
    }

private:
    iconv_t FHandle;
};

// One code page, read as its Windows relative reads it (peers decode with
// that one), limited to the codes the standard code page defines.
class TCodePage {
public:
    TCodePage(const char* name, const char* windows)
        : FDecode("UTF-32LE", name), FDecodeWindows("UTF-32LE", windows), FEncode(windows, "UTF-32LE") {}

    std::optional<char32_t> Decode(int code) {
        const std::string bytes{char(code >> 8), char(code & 0xFF)};
        const auto standard = FDecode.Run(bytes);
        const auto a = FDecodeWindows.Run(bytes);
        if (!standard || standard->size() != 4 || !a || a->size() != 4) return std::nullopt;
        return char32_t(uint8_t((*a)[0]) | uint8_t((*a)[1]) << 8 | uint8_t((*a)[2]) << 16 | uint32_t(uint8_t((*a)[3])) << 24);
    }

    // The double-byte code of c, when it has one that decodes back to c.
    std::optional<int> Encode(char32_t c) {
        const std::string in{char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16 & 0xFF), char(c >> 24)};
        const auto out = FEncode.Run(in);
        if (!out || out->size() != 2) return std::nullopt;
        const int code = uint8_t((*out)[0]) << 8 | uint8_t((*out)[1]);
        if (Decode(code) != c) return std::nullopt;
        return code;
    }

private:
    TIconv FDecode;
    TIconv FDecodeWindows;
    TIconv FEncode;
};

std::vector<char32_t> Utf8ToUtf32(const std::string& s) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = s[i];
        int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        if (i + extra >= s.size()) return {};
        for (int k = 1; k <= extra; ++k) c = c << 6 | (uint8_t(s[i + k]) & 0x3F);
        out.push_back(c);
        i += extra + 1;
    }
    return out;
}

void AddEntry(TCandidates& table, const std::string& key, const std::vector<std::string>& values) {
    const auto k = Utf8ToUtf32(key);
    if (k.size() != 1) return; // phrases are not characters
    auto& list = table[k[0]];
    for (const std::string& v : values) {
        const auto c = Utf8ToUtf32(v);
        if (c.size() == 1) list.push_back(c[0]);
    }
}

TCandidates ReadDictionary(const std::string& path) {
    TCandidates table;
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0) {
        std::ifstream in(path);
        if (!in) {
            std::fprintf(stderr, "makegbbig5: cannot read %s\n", path.c_str());
            std::exit(1);
        }
        std::string line;
        while (std::getline(in, line)) {
            const auto tab = line.find('\t');
            if (tab == std::string::npos) continue;
            std::istringstream rest(line.substr(tab + 1));
            std::vector<std::string> values;
            for (std::string v; rest >> v;) values.push_back(v);
            AddEntry(table, line.substr(0, tab), values);
        }
    } else {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            std::fprintf(stderr, "makegbbig5: cannot read %s\n", path.c_str());
            std::exit(1);
        }
        const opencc::MarisaDictPtr dict = opencc::MarisaDict::NewFromFile(file);
        std::fclose(file);
        for (const auto& entry : *dict->GetLexicon()) AddEntry(table, entry->Key(), entry->Values());
    }
    if (table.empty()) {
        std::fprintf(stderr, "makegbbig5: no characters in %s\n", path.c_str());
        std::exit(1);
    }
    return table;
}

// Adds the reverse of a dictionary after the forward choices: OpenCC pairs
// some characters one way only (为 -> 爲, yet 為 -> 为), and the code page may
// hold only the other form.
void AddReverse(TCandidates& table, const TCandidates& reverse) {
    for (const auto& [key, values] : reverse)
        for (char32_t value : values) table[value].push_back(key);
}

// OpenCC's choices in its order, then the character itself: the first one the
// target code page holds.
std::optional<int> Counterpart(char32_t c, const TCandidates& table, TCodePage& target) {
    if (const auto it = table.find(c); it != table.end())
        for (char32_t candidate : it->second)
            if (const auto code = target.Encode(candidate)) return code;
    return target.Encode(c);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: makegbbig5 OUT.ini ST_CHARACTERS TS_CHARACTERS\n");
        return 2;
    }
    TCandidates toTraditional = ReadDictionary(argv[2]);
    TCandidates toSimplified = ReadDictionary(argv[3]);
    const TCandidates stOnly = toTraditional;
    AddReverse(toTraditional, toSimplified);
    AddReverse(toSimplified, stOnly);
    TCodePage gb("GB2312", "CP936");
    TCodePage big5("BIG5", "CP950");

    std::ostringstream out;
    out << "[BIG5Orders]\r\n";
    int big5Chars = 0, big5Mapped = 0;
    for (int index = 0; index < Big5Keys; ++index) {
        const int lead = 0xA1 + index / 157;
        const int column = index % 157;
        const int trail = column < 63 ? 0x40 + column : 0xA1 + column - 63;
        int value = 0;
        if (const auto c = big5.Decode(lead << 8 | trail)) {
            ++big5Chars;
            if (const auto code = Counterpart(*c, toSimplified, gb)) {
                value = *code;
                ++big5Mapped;
            }
        }
        out << index << '=' << value << "\r\n";
    }

    out << "[GBOrders]\r\n";
    int hanzi = 0, hanziMapped = 0, symbols = 0, symbolsMapped = 0;
    for (int index = 0; index < GBKeys; ++index) {
        const int lead = 0xA1 + index / 94;
        const int trail = 0xA1 + index % 94;
        int value = 0;
        if (const auto c = gb.Decode(lead << 8 | trail)) {
            const bool isHanzi = lead >= 0xB0;
            ++(isHanzi ? hanzi : symbols);
            if (const auto code = Counterpart(*c, toTraditional, big5)) {
                value = *code;
                ++(isHanzi ? hanziMapped : symbolsMapped);
            }
        }
        out << index << '=' << value << "\r\n";
    }

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        std::fprintf(stderr, "makegbbig5: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("GB_BIG5.ini: GB2312 hanzi with a Big5 counterpart %d of %d, symbols %d of %d; "
                "Big5 characters with a GB2312 counterpart %d of %d\n",
                hanziMapped, hanzi, symbolsMapped, symbols, big5Mapped, big5Chars);
    return 0;
}
