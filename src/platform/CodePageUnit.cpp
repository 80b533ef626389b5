#include "platform/CodePageUnit.h"

#include "platform/ProfileFileUnit.h"

namespace {

// LANGIDs of locales: a territory of its own where Windows has one, else the
// language's default (AnyTerritory).
struct TLocaleLangId {
    QLocale::Language Language;
    QLocale::Territory Territory;
    qint16 Id;
};

constexpr TLocaleLangId LocaleLangIds[] = {
    {QLocale::Chinese, QLocale::China, 2052},
    {QLocale::Chinese, QLocale::Singapore, 4100},
    {QLocale::Chinese, QLocale::Taiwan, 1028},
    {QLocale::Chinese, QLocale::HongKong, 3076},
    {QLocale::Chinese, QLocale::Macao, 5124},
    {QLocale::Japanese, QLocale::AnyTerritory, 1041},
    {QLocale::Korean, QLocale::AnyTerritory, 1042},
    {QLocale::Russian, QLocale::AnyTerritory, 1049},
    {QLocale::German, QLocale::Switzerland, 2055},
    {QLocale::German, QLocale::Austria, 3079},
    {QLocale::German, QLocale::Luxembourg, 4103},
    {QLocale::German, QLocale::Liechtenstein, 5127},
    {QLocale::German, QLocale::AnyTerritory, 1031},
    {QLocale::French, QLocale::Belgium, 2060},
    {QLocale::French, QLocale::Canada, 3084},
    {QLocale::French, QLocale::Switzerland, 4108},
    {QLocale::French, QLocale::Luxembourg, 5132},
    {QLocale::French, QLocale::AnyTerritory, 1036},
    {QLocale::English, QLocale::UnitedKingdom, 2057},
    {QLocale::English, QLocale::Australia, 3081},
    {QLocale::English, QLocale::Canada, 4105},
    {QLocale::English, QLocale::NewZealand, 5129},
    {QLocale::English, QLocale::Ireland, 6153},
    {QLocale::English, QLocale::SouthAfrica, 7177},
    {QLocale::English, QLocale::India, 16393},
    {QLocale::English, QLocale::Singapore, 18441},
    {QLocale::English, QLocale::AnyTerritory, 1033},
    {QLocale::Spanish, QLocale::Mexico, 2058},
    {QLocale::Spanish, QLocale::Argentina, 11274},
    {QLocale::Spanish, QLocale::AnyTerritory, 3082},
    {QLocale::Portuguese, QLocale::Portugal, 2070},
    {QLocale::Portuguese, QLocale::AnyTerritory, 1046},
    {QLocale::Italian, QLocale::Switzerland, 2064},
    {QLocale::Italian, QLocale::AnyTerritory, 1040},
    {QLocale::Dutch, QLocale::Belgium, 2067},
    {QLocale::Dutch, QLocale::AnyTerritory, 1043},
    {QLocale::Swedish, QLocale::AnyTerritory, 1053},
    {QLocale::Danish, QLocale::AnyTerritory, 1030},
    {QLocale::NorwegianBokmal, QLocale::AnyTerritory, 1044},
    {QLocale::NorwegianNynorsk, QLocale::AnyTerritory, 2068},
    {QLocale::Finnish, QLocale::AnyTerritory, 1035},
    {QLocale::Icelandic, QLocale::AnyTerritory, 1039},
    {QLocale::Polish, QLocale::AnyTerritory, 1045},
    {QLocale::Czech, QLocale::AnyTerritory, 1029},
    {QLocale::Slovak, QLocale::AnyTerritory, 1051},
    {QLocale::Slovenian, QLocale::AnyTerritory, 1060},
    {QLocale::Croatian, QLocale::AnyTerritory, 1050},
    {QLocale::Hungarian, QLocale::AnyTerritory, 1038},
    {QLocale::Romanian, QLocale::AnyTerritory, 1048},
    {QLocale::Albanian, QLocale::AnyTerritory, 1052},
    {QLocale::Bulgarian, QLocale::AnyTerritory, 1026},
    {QLocale::Ukrainian, QLocale::AnyTerritory, 1058},
    {QLocale::Belarusian, QLocale::AnyTerritory, 1059},
    {QLocale::Macedonian, QLocale::AnyTerritory, 1071},
    {QLocale::Kazakh, QLocale::AnyTerritory, 1087},
    {QLocale::Greek, QLocale::AnyTerritory, 1032},
    {QLocale::Turkish, QLocale::AnyTerritory, 1055},
    {QLocale::Hebrew, QLocale::AnyTerritory, 1037},
    {QLocale::Arabic, QLocale::Egypt, 3073},
    {QLocale::Arabic, QLocale::AnyTerritory, 1025},
    {QLocale::Persian, QLocale::AnyTerritory, 1065},
    {QLocale::Urdu, QLocale::AnyTerritory, 1056},
    {QLocale::Estonian, QLocale::AnyTerritory, 1061},
    {QLocale::Latvian, QLocale::AnyTerritory, 1062},
    {QLocale::Lithuanian, QLocale::AnyTerritory, 1063},
    {QLocale::Vietnamese, QLocale::AnyTerritory, 1066},
    {QLocale::Thai, QLocale::AnyTerritory, 1054},
    {QLocale::Indonesian, QLocale::AnyTerritory, 1057},
    {QLocale::Malay, QLocale::AnyTerritory, 1086},
    {QLocale::Hindi, QLocale::AnyTerritory, 1081},
    {QLocale::Catalan, QLocale::AnyTerritory, 1027},
    {QLocale::Basque, QLocale::AnyTerritory, 1069},
    {QLocale::Galician, QLocale::AnyTerritory, 1110},
};

constexpr qint16 EnglishUS = 1033;
constexpr qint16 ChineseTaiwan = 1028;
constexpr qint16 ChinesePRC = 2052;

// Windows' ANSI code page of a language, by primary language (low 10 bits)
// where the sub-language does not change it.
QByteArray SingleByteCodePage(int id) {
    switch (id & 0x3FF) {
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
        return QByteArrayLiteral("windows-1250");
    case 0x1A: {
        // Croatian, Serbian and Bosnian: Latin script unless a Cyrillic variant.
        static constexpr int Cyrillic[] = {0x0C1A, 0x1C1A, 0x201A, 0x281A, 0x301A, 0x641A, 0x6C1A};
        for (int c : Cyrillic)
            if (c == id) return QByteArrayLiteral("windows-1251");
        return QByteArrayLiteral("windows-1250");
    }
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44: case 0x50:
        return QByteArrayLiteral("windows-1251");
    case 0x08: return QByteArrayLiteral("windows-1253");
    case 0x1F: return QByteArrayLiteral("windows-1254");
    case 0x0D: return QByteArrayLiteral("windows-1255");
    case 0x01: case 0x20: case 0x29: return QByteArrayLiteral("windows-1256");
    case 0x25: case 0x26: case 0x27: return QByteArrayLiteral("windows-1257");
    case 0x2A: return QByteArrayLiteral("windows-1258");
    case 0x1E: return QByteArrayLiteral("windows-874");
    default: return QByteArrayLiteral("windows-1252");
    }
}

} // namespace

namespace Platform {

qint16 SystemLanguageId() {
    const QByteArray forced = qgetenv("QUILLMATE_LANGID");
    int id = 0;
    if (!forced.isEmpty() && TryStrToInt(QString::fromLatin1(forced), &id) && id > 0 && id <= 0xFFFF)
        return qint16(id);
    return LanguageIdOfLocale(QLocale::system());
}

bool IsKnownLanguageId(int languageId) {
    for (const TLocaleLangId& entry : LocaleLangIds)
        if (entry.Id == languageId) return true;
    return false;
}

QList<TKnownLanguage> KnownLanguages() {
    QList<TKnownLanguage> list;
    for (const TLocaleLangId& entry : LocaleLangIds) list.append({entry.Id, entry.Language, entry.Territory});
    return list;
}

qint16 LanguageIdOfLocale(const QLocale& locale) {
    const QLocale::Language language = locale.language();
    const QLocale::Territory territory = locale.territory();
    for (const TLocaleLangId& entry : LocaleLangIds)
        if (entry.Language == language && entry.Territory == territory) return entry.Id;
    if (language == QLocale::Chinese)
        return locale.script() == QLocale::TraditionalChineseScript ? ChineseTaiwan : ChinesePRC;
    for (const TLocaleLangId& entry : LocaleLangIds)
        if (entry.Language == language && entry.Territory == QLocale::AnyTerritory) return entry.Id;
    return EnglishUS;
}

QByteArray CodePageName(int languageId) {
    const int id = languageId & 0xFFFF; // a LANGID stored in 16 signed bits may arrive negative
    switch (id) {
    case 2052: case 4100: return QByteArrayLiteral("GBK");
    // Microsoft's table; ICU reads "CP950" as IBM's 950, which differs.
    case 1028: case 3076: case 5124: return QByteArrayLiteral("windows-950");
    default: break;
    }
    switch (id & 0x3FF) {
    case 0x04: // the other Chinese identifiers (neutral, Simplified, Traditional)
        return id == 0x7C04 ? QByteArrayLiteral("windows-950") : QByteArrayLiteral("GBK");
    case 0x11: return QByteArrayLiteral("CP932");
    // Not "CP949": ICU takes that for IBM's table, which lacks most Hangul syllables.
    case 0x12: return QByteArrayLiteral("windows-949");
    default: return SingleByteCodePage(id);
    }
}

QByteArray SystemCodePage() { return CodePageName(SystemLanguageId()); }

} // namespace Platform
