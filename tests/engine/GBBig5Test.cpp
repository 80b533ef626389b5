#include "text/GB2Big5Unit.h"
#include "platform/PathsUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"
#include "text/MsgLangUnit.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QtGlobal>

#include <ostream>

namespace {

QString TablePath() { return Platform::RuntimeDataFolder() + QStringLiteral("GB_BIG5.ini"); }

// The table the build wrote, read once for the whole file.
const TGBBig5Convert& BuiltTable() {
    static const TGBBig5Convert table(TablePath());
    return table;
}

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// ---- The generated file, read as plain text: keys and codes looked up by hand ----

struct TIniSections {
    QMap<QByteArray, QMap<int, int>> Values;
    int Duplicates = 0;
};

TIniSections ReadIni(const QByteArray& data) {
    TIniSections ini;
    QByteArray section;
    for (QByteArray line : data.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            section = line;
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq < 0) continue;
        QMap<int, int>& values = ini.Values[section];
        const int key = line.left(eq).toInt();
        ini.Duplicates += values.contains(key);
        values[key] = line.mid(eq + 1).toInt();
    }
    return ini;
}

TEST(GBBig5Table, GeneratedFileHasEveryKeyOfBothSections) {
    QFile file(TablePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the build writes " << TablePath().toStdString();
    const TIniSections ini = ReadIni(file.readAll());
    EXPECT_EQ(ini.Duplicates, 0);
    const QMap<int, int> big5 = ini.Values.value("[BIG5Orders]");
    const QMap<int, int> gb = ini.Values.value("[GBOrders]");
    ASSERT_EQ(big5.size(), 14758);
    ASSERT_EQ(gb.size(), 8178);
    EXPECT_EQ(big5.firstKey(), 0);
    EXPECT_EQ(big5.lastKey(), 14757);
    EXPECT_EQ(gb.firstKey(), 0);
    EXPECT_EQ(gb.lastKey(), 8177);
}

struct TPairCase {
    const char* Name;
    int Big5Index;  // computed by hand from the Big5 code
    int GBCode;     // the GB2312 counterpart, lead * 256 + trail
    int GBIndex;    // computed by hand from the GB2312 code
    int Big5Code;   // the Big5 counterpart
};

void PrintTo(const TPairCase& c, std::ostream* os) { *os << c.Name; }

class GeneratedPairs : public ::testing::TestWithParam<TPairCase> {};

TEST_P(GeneratedPairs, MatchTheCodesLookedUpByHand) {
    QFile file(TablePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TIniSections ini = ReadIni(file.readAll());
    const TPairCase& c = GetParam();
    EXPECT_EQ(ini.Values.value("[BIG5Orders]").value(c.Big5Index), c.GBCode);
    EXPECT_EQ(ini.Values.value("[GBOrders]").value(c.GBIndex), c.Big5Code);
    // The loaded table agrees with the file.
    EXPECT_EQ(BuiltTable().GBCodeOfBig5(c.Big5Index), c.GBCode);
    EXPECT_EQ(BuiltTable().Big5CodeOfGB(c.GBIndex), c.Big5Code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeneratedPairs,
    ::testing::Values(
        // 臺 Big5 BB4F, 台 GB2312 CCA8 (台 is also Big5 A578, but a Taiwanese reader writes 臺)
        TPairCase{"Tai", 4097, 0xCCA8, 4049, 0xBB4F},
        TPairCase{"Wan", 5832, 0xCDE5, 4204, 0xC657},  // 灣 C657 / 湾 CDE5
        TPairCase{"Ti", 5787, 0xCCE5, 4110, 0xC5E9},   // 體 C5E9 / 体 CCE5
        TPairCase{"Hui", 3514, 0xBBE1, 2508, 0xB77C},  // 會 B77C / 会 BBE1
        TPairCase{"Wei", 1805, 0xCEAA, 4239, 0xACB0}, // 為 ACB0 / 为 CEAA
        TPairCase{"FullWidthComma", 1, 0xA3AC, 199, 0xA141},    // ， Big5 A141 / GB A3AC
        TPairCase{"BlackStar", 87, 0xA1EF, 78, 0xA1B9}),        // ★ Big5 A1B9 / GB A1EF
    TCaseName());

TEST(GBBig5Table, NoCounterpartReadsAsZero) {
    // ぁ (GB2312 A4A1): Big5 has no kana.
    EXPECT_EQ(BuiltTable().Big5CodeOfGB(3 * 94), 0);
    EXPECT_EQ(BuiltTable().Big5CodeOfGB(-1), 0);
    EXPECT_EQ(BuiltTable().Big5CodeOfGB(8178), 0);
    EXPECT_EQ(BuiltTable().GBCodeOfBig5(14758), 0);
}

TEST(GBBig5Table, LoadedTableIsSmall) {
    ASSERT_TRUE(BuiltTable().Available()) << BuiltTable().Problem().toStdString();
    EXPECT_TRUE(BuiltTable().Problem().isEmpty()) << BuiltTable().Problem().toStdString();
    EXPECT_LT(BuiltTable().MemoryBytes(), 1024u * 1024u);
}

TEST(GBBig5Table, IndexesAtTheEdgesOfTheirRanges) {
    EXPECT_EQ(TGBBig5Convert::Big5Index(0xA1, 0x40), 0);
    EXPECT_EQ(TGBBig5Convert::Big5Index(0xA1, 0x7E), 62);
    EXPECT_EQ(TGBBig5Convert::Big5Index(0xA1, 0xA1), 63);
    EXPECT_EQ(TGBBig5Convert::Big5Index(0xFE, 0xFE), 14757);
    for (auto [lead, trail] : {std::pair{0xA0, 0x40}, {0xA1, 0x3F}, {0xA1, 0x7F}, {0xA1, 0xA0}, {0xA1, 0xFF}})
        EXPECT_EQ(TGBBig5Convert::Big5Index(lead, trail), -1) << lead << ' ' << trail;
    EXPECT_EQ(TGBBig5Convert::GBIndex(0xA1, 0xA1), 0);
    EXPECT_EQ(TGBBig5Convert::GBIndex(0xF7, 0xFE), 8177);
    for (auto [lead, trail] : {std::pair{0xF8, 0xA1}, {0xA0, 0xA1}, {0xA3, 0x00}, {0xB0, 0x41}, {0xB0, 0xFF}})
        EXPECT_EQ(TGBBig5Convert::GBIndex(lead, trail), -1) << lead << ' ' << trail;
}

// ---- Conversion between nodes ----

struct TConvertCase {
    const char* Name;
    int Own;          // the receiving node's language
    int Sender;
    bool AutoConvert;
    QByteArray Bytes; // as sent, in the sender's code page
    QString Expected;
    bool Converts;    // NeedsConversion
};

void PrintTo(const TConvertCase& c, std::ostream* os) { *os << c.Name; }

class Conversion : public ::testing::TestWithParam<TConvertCase> {};

TEST_P(Conversion, ShowsTheTextInTheNodesScript) {
    const TConvertCase& c = GetParam();
    TMessageLang node(qint16(c.Own), &BuiltTable());
    node.SetAutoCodeConvert(c.AutoConvert);
    EXPECT_EQ(node.NeedsConversion(c.Sender), c.Converts);
    EXPECT_EQ(node.ConvertIncomingText(c.Sender, c.Bytes), c.Expected);
    // Stored records keep the text as decoded from the sender's code page:
    // where that holds the bytes exactly, it converts the same.
    const QString decoded = TMessageLang::Decode(c.Sender, c.Bytes);
    if (TMessageLang::Encode(c.Sender, decoded) == c.Bytes)
        EXPECT_EQ(node.ConvertDecoded(c.Sender, decoded), c.Expected);
}

const QByteArray Big5TaiwanHui = "\xBB\x4F\xC6\x57\xC5\xE9\xB7\x7C"; // 臺灣體會
const QByteArray GBTaiwanHui = "\xCC\xA8\xCD\xE5\xCC\xE5\xBB\xE1";   // 台湾体会

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversion,
    ::testing::Values(
        TConvertCase{"GBNodeBig5Sender", 2052, 1028, true, Big5TaiwanHui, U("台湾体会"), true},
        TConvertCase{"SingaporeNodeHongKongSender", 4100, 3076, true, Big5TaiwanHui, U("台湾体会"), true},
        TConvertCase{"Big5NodeGBSender", 1028, 2052, true, GBTaiwanHui, U("臺灣體會"), true},
        TConvertCase{"MacaoNodeSingaporeSender", 5124, 4100, true, GBTaiwanHui, U("臺灣體會"), true},
        TConvertCase{"AutoConvertOff", 2052, 1028, false, Big5TaiwanHui, U("臺灣體會"), false},
        TConvertCase{"TwoBig5Identifiers", 1028, 3076, true, Big5TaiwanHui, U("臺灣體會"), false},
        TConvertCase{"TwoGBIdentifiers", 2052, 4100, true, GBTaiwanHui, U("台湾体会"), false},
        TConvertCase{"EnglishNodeBig5Sender", 1033, 1028, true, Big5TaiwanHui, U("臺灣體會"), false},
        TConvertCase{"EnglishNodeGBSender", 1033, 2052, true, GBTaiwanHui, U("台湾体会"), false},
        TConvertCase{"EnglishSenderGBNode", 2052, 1033, true, "\xA4\xA4", U("¤¤"), false},
        TConvertCase{"AsciiAndMixed", 2052, 1028, true, "Amy \xBB\x4F\xC6\x57 <1>", U("Amy 台湾 <1>"), true},
        // No GB2312 counterpart (魟 Big5 E4E1): kept, not two zero bytes.
        TConvertCase{"Big5WithoutCounterpart", 2052, 1028, true, "\xBB\x4F\xE4\xE1\xC6\x57", U("台魟湾"), true},
        // Kana have no Big5 counterpart.
        TConvertCase{"GBWithoutCounterpart", 1028, 2052, true, "\xA4\xA2\xCC\xA8", U("あ臺"), true},
        // A cut pair at the end stays what the sender's decoder makes of it.
        TConvertCase{"Big5TrailingLeadByte", 2052, 1028, true, "\xBB\x4F\xA4", U("台\uFFFD"), true},
        TConvertCase{"GBTrailingA3", 1028, 2052, true, "\xCC\xA8\xA3", U("臺\uFFFD"), true},
        TConvertCase{"GBTrailingF7", 1028, 2052, true, "\xF7", U("\uFFFD"), true},
        TConvertCase{"Big5LeadBeforeInvalidTrail", 2052, 1028, true, "\xA4\x20\xBB\x4F", U("\uFFFD 台"), true},
        TConvertCase{"Big5SingleBytesAboveAscii", 2052, 1028, true, "\x80\xBB\x4F\xFF",
                     TMessageLang::Decode(1028, "\x80") + U("台") + TMessageLang::Decode(1028, "\xFF"), true},
        // A pair outside the table (user-defined area) is one character: the
        // walk must not take its trail byte as the next lead.
        TConvertCase{"Big5PairBelowTheTable", 2052, 1028, true, "\x8E\xA4\xA4\xE5",
                     TMessageLang::Decode(1028, "\x8E\xA4") + U("文"), true},
        TConvertCase{"GbkPairOutsideGB2312", 1028, 2052, true, "\x81\xB0\xCC\xA8",
                     TMessageLang::Decode(2052, "\x81\xB0") + U("臺"), true},
        TConvertCase{"GBLeadBeforeLowTrail", 1028, 2052, true, "\xB0\x41\xCC\xA8",
                     TMessageLang::Decode(2052, "\xB0\x41") + U("臺"), true},
        TConvertCase{"Empty", 2052, 1028, true, QByteArray(), QString(), true}),
    TCaseName());

TEST(Conversion, CommonPairsSurviveARoundTrip) {
    const TGBBig5Convert& table = BuiltTable();
    const QString traditional = U("臺灣體會為國學習電腦網絡開發");
    const QString simplified = table.Big5ToGB(TMessageLang::Encode(1028, traditional));
    EXPECT_EQ(simplified, U("台湾体会为国学习电脑网络开发"));
    EXPECT_EQ(table.GBToBig5(TMessageLang::Encode(2052, simplified)), traditional);
}

TEST(Conversion, EveryPairedGBCharacterComesBackFromBig5) {
    // A GB2312 character sent to a Big5 node and answered back arrives as itself,
    // unless Big5 merged it with another (several simplified forms share one traditional one).
    const TGBBig5Convert& table = BuiltTable();
    int paired = 0, back = 0;
    for (int index = 0; index < TGBBig5Convert::GBKeys; ++index) {
        const int big5 = table.Big5CodeOfGB(index);
        if (big5 == 0) continue;
        ++paired;
        const int big5Index = TGBBig5Convert::Big5Index(uchar(big5 >> 8), uchar(big5 & 0xFF));
        ASSERT_GE(big5Index, 0) << index;
        back += table.GBCodeOfBig5(big5Index) == ((0xA1 + index / 94) << 8 | (0xA1 + index % 94));
    }
    EXPECT_GT(paired, 6700);
    EXPECT_GT(back, paired * 95 / 100);
}

// ---- Damaged tables ----

struct TBadTableCase {
    const char* Name;
    const char* Contents; // nullptr: no file
    bool Available;
    QString Big5ToGB;     // of 臺灣
    const char* Problem;  // a word the warning names
};

void PrintTo(const TBadTableCase& c, std::ostream* os) { *os << c.Name; }

class DamagedTable : public ::testing::TestWithParam<TBadTableCase> {};

int GWarnings = 0;
void CountWarnings(QtMsgType type, const QMessageLogContext&, const QString&) { GWarnings += type == QtWarningMsg; }

TEST_P(DamagedTable, ConvertsWhatItCanAndWarnsOnce) {
    const TBadTableCase& c = GetParam();
    TTempHome home;
    if (c.Contents) home.Write(QStringLiteral("GB_BIG5.ini"), c.Contents);
    GWarnings = 0;
    const QtMessageHandler old = qInstallMessageHandler(CountWarnings);
    const TGBBig5Convert table(home.File(QStringLiteral("GB_BIG5.ini")));
    qInstallMessageHandler(old);

    EXPECT_EQ(table.Available(), c.Available);
    EXPECT_EQ(table.Big5ToGB("\xBB\x4F\xC6\x57"), c.Big5ToGB);
    EXPECT_EQ(table.GBToBig5("\xCC\xA8\xA3"), U("台\uFFFD"));
    EXPECT_TRUE(table.Problem().contains(QLatin1String(c.Problem))) << table.Problem().toStdString();
    EXPECT_EQ(GWarnings, c.Problem[0] ? 1 : 0);

    TMessageLang node(2052, &table);
    EXPECT_EQ(node.NeedsConversion(1028), c.Available);
    EXPECT_EQ(node.ConvertIncomingText(1028, "\xBB\x4F\xC6\x57"), c.Available ? c.Big5ToGB : U("臺灣"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedTable,
    ::testing::Values(
        TBadTableCase{"Clean", "[BIG5Orders]\r\n4097=52392\r\n5832=52709\r\n[GBOrders]\r\n", true, U("台湾"), ""},
        TBadTableCase{"Missing", nullptr, false, U("臺灣"), "missing"},
        TBadTableCase{"Empty", "", false, U("臺灣"), "empty"},
        TBadTableCase{"OnlyBlankLines", "\r\n\r\n", false, U("臺灣"), "empty"},
        TBadTableCase{"CutInALine", "[BIG5Orders]\r\n4097=52392\r\n5832=527", true, U("台灣"), "cut off"},
        TBadTableCase{"CutBeforeTheSecondSection", "[BIG5Orders]\n4097=52392\n5832=52709\n", true, U("台湾"),
                      "GBOrders is missing"},
        TBadTableCase{"KeysOutOfRange",
                      "[BIG5Orders]\n14758=52392\n-1=52392\nabc=1\n=5\n4097=52392\n[GBOrders]\n8178=47951\n", true,
                      U("台灣"), "5 lines without a key"},
        TBadTableCase{"CodesThatAreNoGB2312", "[BIG5Orders]\n4097=65\n5832=99999999\n4098=x\n[GBOrders]\n", false,
                      U("臺灣"), "3 lines without a valid code"},
        TBadTableCase{"Big5CodeInTheGBSection", "[BIG5Orders]\n4097=52392\n[GBOrders]\n4049=16706\n", true,
                      U("台灣"), "1 lines without a valid code"},
        TBadTableCase{"OtherSectionsIgnored", "[Other]\n4097=1\n[BIG5Orders]\n4097=52392\n[GBOrders]\n", true,
                      U("台灣"), ""},
        TBadTableCase{"NotATable", "\x89PNG\r\n\x1a\n\x00\x00", false, U("臺灣"), "BIG5Orders is missing"}),
    TCaseName());

TEST(DamagedTable, HugeFileIsNotRead) {
    TTempHome home;
    home.Write(QStringLiteral("GB_BIG5.ini"), QByteArray(5 * 1024 * 1024, '\n'));
    const TGBBig5Convert table(home.File(QStringLiteral("GB_BIG5.ini")));
    EXPECT_FALSE(table.Available());
    EXPECT_TRUE(table.Problem().contains(QLatin1String("larger"))) << table.Problem().toStdString();
}

TEST(Conversion, NoTableNeverConverts) {
    TMessageLang node(2052);
    EXPECT_FALSE(node.NeedsConversion(1028));
    EXPECT_EQ(node.ConvertIncomingText(1028, Big5TaiwanHui), U("臺灣體會"));
    EXPECT_EQ(node.ConvertFrom(1028, Big5TaiwanHui), U("臺灣體會"));
}

} // namespace
