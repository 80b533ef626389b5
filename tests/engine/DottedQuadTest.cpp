#include "core/DottedQuadUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace {

// ---- The strict parser and the wire's lenient reading side by side ----

struct TQuadCase {
    const char* Name;
    const char* Text;
    std::optional<quint32> Strict; // ParseDottedQuad
    std::optional<quint32> Prefix; // ParseDottedQuadPrefix
};

void PrintTo(const TQuadCase& c, std::ostream* os) { *os << c.Name << " \"" << c.Text << '"'; }

class DottedQuad : public ::testing::TestWithParam<TQuadCase> {};

TEST_P(DottedQuad, StrictAndPrefixReadings) {
    const TQuadCase& c = GetParam();
    const QString text = QString::fromUtf8(c.Text);
    EXPECT_EQ(ParseDottedQuad(text), c.Strict);
    EXPECT_EQ(ParseDottedQuadPrefix(text), c.Prefix);
}

constexpr std::nullopt_t kNo = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, DottedQuad,
    ::testing::Values(
        TQuadCase{"Plain", "1.2.3.4", 0x01020304, 0x01020304},
        TQuadCase{"BlanksAround", " 1.2.3.4 ", 0x01020304, 0x01020304},
        TQuadCase{"LeadingBlank", " 1.2.3.4", 0x01020304, 0x01020304},
        TQuadCase{"TabAndLineEnd", "\t192.168.7.5\r\n", 0xC0A80705, 0xC0A80705},
        // Text after the fourth dot is not examined by the wire's reading only.
        TQuadCase{"FifthPiece", "1.2.3.4.5", kNo, 0x01020304},
        TQuadCase{"TrailingDot", "1.2.3.4.", kNo, 0x01020304},
        TQuadCase{"FifthPieceNoNumber", "1.2.3.4.x", kNo, 0x01020304},
        TQuadCase{"BlankBeforeFourthDot", "1.2.3.4 .5", kNo, kNo},
        TQuadCase{"AllOnes", "255.255.255.255", 0xFFFFFFFF, 0xFFFFFFFF},
        TQuadCase{"AllZero", "0.0.0.0", 0u, 0u},
        TQuadCase{"LeadingZeros", "010.001.0.00", 0x0A010000, 0x0A010000},
        TQuadCase{"LeadingZeroFirst", "01.2.3.4", 0x01020304, 0x01020304},
        TQuadCase{"FourDigitPiece", "0001.2.3.4", kNo, kNo},
        TQuadCase{"ThreePieces", "1.2.3", kNo, kNo},
        TQuadCase{"ThreePiecesAndDot", "1.2.3.", kNo, kNo},
        TQuadCase{"FirstOver255", "256.1.1.1", kNo, kNo},
        TQuadCase{"LastOver255", "1.1.1.256", kNo, kNo},
        TQuadCase{"Letters", "a.b.c.d", kNo, kNo},
        TQuadCase{"EmptyPiece", "1..2.3", kNo, kNo},
        TQuadCase{"EmptyPieceOfFive", "1..2.3.4", kNo, kNo},
        TQuadCase{"Minus", "-1.2.3.4", kNo, kNo},
        TQuadCase{"Plus", "+1.2.3.4", kNo, kNo},
        TQuadCase{"Hex", "0x1.2.3.4", kNo, kNo},
        TQuadCase{"Empty", "", kNo, kNo},
        TQuadCase{"OnlyBlanks", "   ", kNo, kNo},
        TQuadCase{"LetterAfterLastPiece", "1.2.3.4x", kNo, kNo},
        TQuadCase{"BlankInside", "1. 2.3.4", kNo, kNo},
        TQuadCase{"HugePiece", "99999999999999999999.1.1.1", kNo, kNo},
        TQuadCase{"HostName", "PC-ANN", kNo, kNo},
        TQuadCase{"FullWidthDigit", "\xEF\xBC\x91.2.3.4", kNo, kNo}),
    TCaseName());

struct TFormatCase {
    const char* Name;
    quint32 Address;
    const char* Text;
};

void PrintTo(const TFormatCase& c, std::ostream* os) { *os << c.Name; }

class DottedQuadFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(DottedQuadFormat, WritesWhatTheParserReads) {
    const TFormatCase& c = GetParam();
    EXPECT_EQ(FormatDottedQuad(c.Address), QString::fromLatin1(c.Text));
    EXPECT_EQ(ParseDottedQuad(QString::fromLatin1(c.Text)), c.Address);
}

INSTANTIATE_TEST_SUITE_P(Cases, DottedQuadFormat,
                         ::testing::Values(TFormatCase{"Zero", 0, "0.0.0.0"},
                                           TFormatCase{"PiecesInOrder", 0x0A010203, "10.1.2.3"},
                                           TFormatCase{"AllOnes", 0xFFFFFFFF, "255.255.255.255"},
                                           TFormatCase{"HighBitOnly", 0x80000000, "128.0.0.0"}),
                         TCaseName());

} // namespace
