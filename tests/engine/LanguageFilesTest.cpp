// Keeps the shipped language files complete: every English text the sources
// show must have a translation with the same placeholders in every language
// file, and every such text must be usable as a key of a language file.
//
// A shown text is the string literal (adjacent literals joined), optionally
// wrapped in QStringLiteral, that opens the first or second argument of a call
// to QLM_TEXT or to any function whose name begins with "Translate"; comments
// are skipped. Texts built at run time cannot be found, so mark stored texts
// with QLM_TEXT.

#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "platform/ProfileFileUnit.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <iostream>
#include <memory>
#include <optional>

namespace {

const QString kInfo = QStringLiteral("Info");
const QString kLanguage = QStringLiteral("Language");
const QString kString = QStringLiteral("String");
const QString kEnglish = QStringLiteral("English");

struct TSourceText {
    QString Text;
    QString Where; // "file:line" of its first use
};

// ---------------------------------------------------------------- extraction

struct TToken {
    enum TKind { tkIdentifier, tkString, tkPunct };
    TKind Kind;
    QString Text;      // identifier or punctuation; literal body with escapes intact
    QString Prefix;    // literal encoding prefix ("", "u", "u8", "L", "U"), raw marker dropped
    bool Raw = false;
    int Line = 0;
};

bool IsIdentStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool IsIdentChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// Splits C++ source into identifiers, string literals and punctuation; skips
// blanks, comments, numbers and character literals.
QList<TToken> Tokenize(const QString& src) {
    QList<TToken> tokens;
    const qsizetype n = src.size();
    qsizetype i = 0;
    int line = 1;
    auto at = [&](qsizetype k) { return k < n ? src[k] : QChar(); };
    auto advance = [&](qsizetype to) {
        for (; i < to && i < n; ++i)
            if (src[i] == QLatin1Char('\n')) ++line;
    };
    // Reads a quoted literal starting at the opening quote; returns its body.
    auto readQuoted = [&](QChar quote) {
        const qsizetype start = i + 1;
        qsizetype k = start;
        while (k < n && src[k] != quote && src[k] != QLatin1Char('\n')) k += src[k] == QLatin1Char('\\') ? 2 : 1;
        const QString body = src.mid(start, std::min(k, n) - start);
        advance(k + 1);
        return body;
    };
    while (i < n) {
        const QChar c = src[i];
        if (c.isSpace()) {
            advance(i + 1);
        } else if (c == QLatin1Char('/') && at(i + 1) == QLatin1Char('/')) {
            qsizetype k = i;
            while (k < n && src[k] != QLatin1Char('\n')) ++k;
            advance(k);
        } else if (c == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = src.indexOf(QLatin1String("*/"), i + 2);
            advance(end < 0 ? n : end + 2);
        } else if (IsIdentStart(c)) {
            qsizetype k = i;
            while (k < n && IsIdentChar(src[k])) ++k;
            const QString word = src.mid(i, k - i);
            static const QStringList prefixes = {QStringLiteral("u8"), QStringLiteral("u"), QStringLiteral("U"),
                                                 QStringLiteral("L")};
            const bool raw = word == QLatin1String("R") ||
                             (word.endsWith(QLatin1Char('R')) && prefixes.contains(word.chopped(1)));
            const bool literalPrefix = raw || prefixes.contains(word);
            if (literalPrefix && at(k) == QLatin1Char('"')) {
                const int tokenLine = line;
                advance(k);
                TToken t{TToken::tkString, {}, raw ? word.chopped(1) : word};
                t.Line = tokenLine;
                if (raw) {
                    const qsizetype open = src.indexOf(QLatin1Char('('), i);
                    const QString delimiter = src.mid(i + 1, open - i - 1);
                    const QString close = QLatin1Char(')') + delimiter + QLatin1Char('"');
                    const qsizetype end = open < 0 ? -1 : src.indexOf(close, open);
                    t.Raw = true;
                    t.Text = end < 0 ? QString() : src.mid(open + 1, end - open - 1);
                    advance(end < 0 ? n : end + close.size());
                } else {
                    t.Text = readQuoted(QLatin1Char('"'));
                }
                tokens.append(t);
            } else if (literalPrefix && at(k) == QLatin1Char('\'')) {
                advance(k);
                readQuoted(QLatin1Char('\''));
            } else {
                tokens.append({TToken::tkIdentifier, word, {}, false, line});
                advance(k);
            }
        } else if (c.isDigit()) {
            qsizetype k = i;
            while (k < n && (IsIdentChar(src[k]) || src[k] == QLatin1Char('.') || src[k] == QLatin1Char('\''))) ++k;
            advance(k);
        } else if (c == QLatin1Char('"')) {
            const int tokenLine = line;
            TToken t{TToken::tkString, readQuoted(c), {}};
            t.Line = tokenLine;
            tokens.append(t);
        } else if (c == QLatin1Char('\'')) {
            readQuoted(c);
        } else {
            tokens.append({TToken::tkPunct, QString(c), {}, false, line});
            advance(i + 1);
        }
    }
    return tokens;
}

void AppendCodePoint(QByteArray* out, char32_t code) { *out += QString::fromUcs4(&code, 1).toUtf8(); }

// Decodes the C escapes of a literal body. In a wide literal (u"", and so
// inside QStringLiteral) \x and octal escapes are UTF-16 code units, in a
// narrow one they are bytes of the UTF-8 text.
QString DecodeLiteral(const QString& body, bool wide) {
    const QByteArray bytes = body.toUtf8();
    QByteArray out;
    const qsizetype n = bytes.size();
    auto unit = [&](uint value) {
        if (wide)
            AppendCodePoint(&out, value);
        else
            out += char(value & 0xFF);
    };
    for (qsizetype i = 0; i < n; ++i) {
        if (bytes[i] != '\\' || i + 1 >= n) {
            out += bytes[i];
            continue;
        }
        const char e = bytes[++i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'x': {
            uint value = 0;
            while (i + 1 < n && isxdigit(uchar(bytes[i + 1]))) value = value * 16 + QByteArray(1, bytes[++i]).toUInt(nullptr, 16);
            unit(value);
            break;
        }
        case 'u':
        case 'U': {
            const int digits = e == 'u' ? 4 : 8;
            bool ok = false;
            const uint value = bytes.mid(i + 1, digits).toUInt(&ok, 16);
            i += digits;
            AppendCodePoint(&out, ok ? value : 0xFFFD);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint value = uint(e - '0');
                for (int d = 0; d < 2 && i + 1 < n && bytes[i + 1] >= '0' && bytes[i + 1] <= '7'; ++d)
                    value = value * 8 + uint(bytes[++i] - '0');
                unit(value);
            } else {
                out += e; // \" \\ \' \?
            }
        }
    }
    return QString::fromUtf8(out);
}

// Is name a translating call: QLM_TEXT, or any name that begins with
// "Translate" (Translate, TranslateFormat and the TranslateText helpers of
// classes that take an injected language table).
bool IsTranslatingCall(const QString& name) {
    return name == QLatin1String("QLM_TEXT") || name.startsWith(QLatin1String("Translate"));
}

// The shown texts of one source file, in source order: of each translating
// call, the first of its first two arguments that starts with a string
// literal, so that TranslateFormat(lang, QStringLiteral("..."), {...}) counts.
QList<TSourceText> ExtractTexts(const QString& source, const QString& fileName) {
    const QList<TToken> tokens = Tokenize(source);
    auto isPunct = [&](qsizetype k, char c) {
        return k < tokens.size() && tokens[k].Kind == TToken::tkPunct && tokens[k].Text == QLatin1Char(c);
    };
    // The literal text at k (optionally inside QStringLiteral), or nothing.
    auto literalAt = [&](qsizetype k, bool wide) -> std::optional<QString> {
        if (k + 1 < tokens.size() && tokens[k].Kind == TToken::tkIdentifier &&
            tokens[k].Text == QLatin1String("QStringLiteral") && isPunct(k + 1, '(')) {
            wide = true;
            k += 2;
        }
        if (k >= tokens.size() || tokens[k].Kind != TToken::tkString) return std::nullopt;
        QString text;
        for (; k < tokens.size() && tokens[k].Kind == TToken::tkString; ++k) {
            const TToken& t = tokens[k];
            const bool wideLiteral = wide || t.Prefix == QLatin1String("u") || t.Prefix == QLatin1String("U") ||
                                     t.Prefix == QLatin1String("L");
            text += t.Raw ? t.Text : DecodeLiteral(t.Text, wideLiteral);
        }
        return text;
    };
    // The start of the argument after the one starting at k, or -1 at the call's end.
    auto nextArgument = [&](qsizetype k) -> qsizetype {
        for (int depth = 0; k < tokens.size(); ++k) {
            if (tokens[k].Kind != TToken::tkPunct) continue;
            const QChar c = tokens[k].Text[0];
            if (c == QLatin1Char('(') || c == QLatin1Char('{') || c == QLatin1Char('['))
                ++depth;
            else if (depth > 0 && (c == QLatin1Char(')') || c == QLatin1Char('}') || c == QLatin1Char(']')))
                --depth;
            else if (depth == 0 && c == QLatin1Char(','))
                return k + 1;
            else if (depth == 0 && c == QLatin1Char(')'))
                return -1;
        }
        return -1;
    };
    QList<TSourceText> texts;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (tokens[i].Kind != TToken::tkIdentifier || !IsTranslatingCall(tokens[i].Text) || !isPunct(i + 1, '('))
            continue;
        const bool wide = tokens[i].Text == QLatin1String("QLM_TEXT"); // it expands to QStringLiteral
        qsizetype argument = i + 2;
        for (int n = 0; n < 2 && argument >= 0; ++n, argument = nextArgument(argument)) {
            if (const auto text = literalAt(argument, wide)) {
                texts.append({*text, fileName + QLatin1Char(':') + QString::number(tokens[i].Line)});
                break;
            }
        }
    }
    return texts;
}

// Every shown text under src/, first use kept, in file-name order.
QList<TSourceText> ProjectTexts() {
    const QDir root(SourceDir());
    QStringList files;
    QDirIterator it(SourceDir() + QStringLiteral("/src"), {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    QList<TSourceText> texts;
    QSet<QString> seen;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "cannot read " << path.toStdString();
            continue;
        }
        for (const TSourceText& t : ExtractTexts(QString::fromUtf8(file.readAll()), root.relativeFilePath(path)))
            if (!seen.contains(t.Text)) {
                seen.insert(t.Text);
                texts.append(t);
            }
    }
    return texts;
}

// Why a text cannot be a key of a language file, or nothing.
std::optional<QString> KeyProblem(const QString& text) {
    if (text.isEmpty()) return QStringLiteral("it is empty");
    if (text.contains(QLatin1Char('='))) return QStringLiteral("a key ends at its first \"=\"");
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return QStringLiteral("a key cannot hold a line break");
    if (text.startsWith(QLatin1Char(';'))) return QStringLiteral("a line starting with \";\" is a comment");
    if (text.startsWith(QLatin1Char('['))) return QStringLiteral("a line starting with \"[\" is a section header");
    if (text.front().isSpace() || text.back().isSpace()) return QStringLiteral("keys are trimmed of blanks");
    return std::nullopt;
}

// ------------------------------------------------------------------- checking

struct TFileCheck {
    QString LanguageName;
    QStringList Problems; // faults
    QStringList Unused;   // keys no source shows (stale, harmless)
};

QString Quoted(const QString& s) { return QLatin1Char('"') + s + QLatin1Char('"'); }

// Faults the profile reader would hide: keys given twice (only the first
// counts) and sections given twice (only the first is read).
void CheckLayout(const QByteArray& bytes, QStringList* problems) {
    QHash<QString, int> keyLines;
    QHash<QString, int> sectionLines;
    QString section;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        const int number = int(i) + 1;
        if (line.startsWith(QLatin1Char('[')) && line.contains(QLatin1Char(']'))) {
            section = line.mid(1, line.indexOf(QLatin1Char(']')) - 1).trimmed().toLower();
            if (sectionLines.contains(section))
                *problems << QStringLiteral("section [%1] on line %2 is never read: it is already on line %3")
                                 .arg(section)
                                 .arg(number)
                                 .arg(sectionLines[section]);
            else
                sectionLines.insert(section, number);
            continue;
        }
        if (section != kString.toLower() || line.startsWith(QLatin1Char(';'))) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString folded = key.toLower();
        if (keyLines.contains(folded))
            *problems << QStringLiteral("%1 on line %2 is never used: the same key is on line %3")
                             .arg(Quoted(key))
                             .arg(number)
                             .arg(keyLines[folded]);
        else
            keyLines.insert(folded, number);
    }
}

// Checks one language file against the shown texts. requireAll: every text
// needs a translation (every language but English).
TFileCheck CheckLanguageFile(const QByteArray& bytes, const QList<TSourceText>& texts, bool requireAll) {
    TFileCheck check;
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(bytes));
    if (utf8.hasError()) check.Problems << QStringLiteral("the file is not valid UTF-8");
    TProfileFile file;
    file.LoadFromBytes(bytes);
    check.LanguageName = file.ReadString(kInfo, kLanguage);
    if (check.LanguageName.isEmpty())
        check.Problems << QStringLiteral("[Info] declares no Language, so the file is not offered");
    CheckLayout(bytes, &check.Problems);

    QHash<QString, QString> translations; // folded key -> value, as the program reads them
    for (const auto& [key, value] : file.ReadSectionPairs(kString)) translations.insert(key.toLower(), value);
    QSet<QString> shown;
    for (const TSourceText& t : texts) {
        const QString folded = t.Text.toLower();
        shown.insert(folded);
        const auto it = translations.constFind(folded);
        if (it == translations.cend()) {
            if (requireAll) check.Problems << QStringLiteral("no translation of %1 (%2)").arg(Quoted(t.Text), t.Where);
        } else if (it->isEmpty()) {
            if (requireAll)
                check.Problems << QStringLiteral("empty translation of %1 (%2)").arg(Quoted(t.Text), t.Where);
        } else if (PlaceholderSignature(*it) != PlaceholderSignature(t.Text)) {
            check.Problems << QStringLiteral("the translation %1 of %2 (%3) has the placeholders \"%4\" instead of \"%5\"")
                                  .arg(Quoted(*it), Quoted(t.Text), t.Where, PlaceholderSignature(*it),
                                       PlaceholderSignature(t.Text));
        }
    }
    for (const auto& [key, value] : file.ReadSectionPairs(kString))
        if (!shown.contains(key.toLower())) check.Unused << key;
    return check;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList ShippedLanguageFiles() {
    const QDir dir(SourceDir() + QStringLiteral("/data/Languages"));
    QStringList paths;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) paths << dir.filePath(name);
    return paths;
}

// -------------------------------------------------------- extraction cases

struct TExtractCase {
    const char* Name;
    const char* Source;
    QStringList Expected;
};

void PrintTo(const TExtractCase& c, std::ostream* os) { *os << c.Name; }

class SourceTextExtraction : public ::testing::TestWithParam<TExtractCase> {};

TEST_P(SourceTextExtraction, FindsEveryShownText) {
    QStringList found;
    for (const TSourceText& t : ExtractTexts(QString::fromUtf8(GetParam().Source), QStringLiteral("x.cpp")))
        found << t.Text;
    EXPECT_EQ(found, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceTextExtraction,
    ::testing::Values(
        TExtractCase{"AllThreeForms",
                     "a(Translate(QStringLiteral(\"&File\")));\n"
                     "b(TranslateFormat(QStringLiteral(\"%s Online\"), {n}));\n"
                     "c = QLM_TEXT(\"Stored\"); d(Translate(\"Plain\"));",
                     {"&File", "%s Online", "Stored", "Plain"}},
        TExtractCase{"BlanksAndLineBreaksInsideCall", "Translate (\n  QStringLiteral (\n \"Spread\" ) )", {"Spread"}},
        TExtractCase{"AdjacentLiteralsJoined", "Translate(QStringLiteral(\"Very long \"\n  \"text.\"))",
                     {"Very long text."}},
        TExtractCase{"Escapes",
                     R"(Translate(QStringLiteral("Say \"hi\" \\ now\ttab\nline")); QLM_TEXT("It\'s\?");)",
                     {"Say \"hi\" \\ now\ttab\nline", "It's?"}},
        TExtractCase{"HexAndUnicodeEscapes",
                     R"(QLM_TEXT("caf\xe9"); Translate("caf\xc3\xa9"); QLM_TEXT("\u00e9t\u00E9"); Translate("\101"))",
                     {QString::fromUtf8("café"), QString::fromUtf8("café"), QString::fromUtf8("été"), "A"}},
        TExtractCase{"Utf8InSource", "Translate(QStringLiteral(\"Grüße\"))", {QString::fromUtf8("Grüße")}},
        TExtractCase{"RawLiteral", "Translate(QStringLiteral(R\"x(a \"b\" \\n)x\"))", {"a \"b\" \\n"}},
        TExtractCase{"NonLiteralArgumentsIgnored",
                     "Translate(Params().LoadError()); Translate(text); QString Translate(const QString& text);\n"
                     "#define QLM_TEXT(text) QStringLiteral(text)",
                     {}},
        TExtractCase{"OtherNamesIgnored", "MyTranslate(\"no\"); Show(QStringLiteral(\"no\")); QStringLiteral(\"no\");",
                     {}},
        TExtractCase{"TranslateHelpersFound",
                     "TranslateText(QStringLiteral(\"Helper\")); FLang->Translate(QStringLiteral(\"Member\"))",
                     {"Helper", "Member"}},
        TExtractCase{"TextAsSecondArgument",
                     "TranslateFormat(lang, QStringLiteral(\"%s Online\"), {name});"
                     " TranslateFormat(Pick(a, b), QStringLiteral(\"Nested\"), {});",
                     {"%s Online", "Nested"}},
        TExtractCase{"OnlyFirstTwoArgumentsAndOnlyTheFirstLiteral",
                     "TranslateFormat(QStringLiteral(\"%s\"), {QStringLiteral(\"arg\")});"
                     " TranslateFormat(pattern, {QStringLiteral(\"arg\")}); TranslateX(a, b, \"third\");",
                     {"%s"}},
        TExtractCase{"CommentsIgnored",
                     "// Translate(\"line comment\")\n/* QLM_TEXT(\"block\n comment\") */ Translate(\"Real\")",
                     {"Real"}},
        TExtractCase{"QuotesInCharLiteralsAndStringsDoNotDerail",
                     "c = '\"'; s = \"Translate(\\\"inside\\\")\"; n = 1'000; QLM_TEXT(\"After\")",
                     {"After"}},
        TExtractCase{"CommentMarkersInsideStrings", "s = \"// not a comment\"; Translate(\"/* kept */\")",
                     {"/* kept */"}}),
    TCaseName());

TEST(SourceTextExtractionLines, NamesFileAndLineOfTheCall) {
    const auto texts = ExtractTexts(QStringLiteral("\n/* one\ntwo */\nx = Translate(\n\"T\");"), QStringLiteral("a.cpp"));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0].Where, QStringLiteral("a.cpp:4"));
}

// ----------------------------------------------------------- checker cases

struct TCheckCase {
    const char* Name;
    QByteArray File;
    bool RequireAll;
    QStringList ProblemsContaining; // one fragment per expected problem, in order
};

void PrintTo(const TCheckCase& c, std::ostream* os) { *os << c.Name; }

class LanguageFileCheck : public ::testing::TestWithParam<TCheckCase> {};

const QList<TSourceText> kTexts = {{QStringLiteral("&File"), QStringLiteral("a.cpp:1")},
                                   {QStringLiteral("%s has %d files"), QStringLiteral("a.cpp:2")}};

TEST_P(LanguageFileCheck, ReportsEachFault) {
    const TCheckCase& c = GetParam();
    const TFileCheck check = CheckLanguageFile(c.File, kTexts, c.RequireAll);
    ASSERT_EQ(check.Problems.size(), c.ProblemsContaining.size()) << check.Problems.join(QLatin1Char('\n')).toStdString();
    for (qsizetype i = 0; i < check.Problems.size(); ++i)
        EXPECT_TRUE(check.Problems[i].contains(c.ProblemsContaining[i])) << check.Problems[i].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LanguageFileCheck,
    ::testing::Values(
        TCheckCase{"Complete", "[Info]\r\nLanguage=X\r\n[String]\r\n&File=F\r\n%s has %d files=%s: %d F\r\n", true, {}},
        TCheckCase{"KeysMatchWithoutCase", "[Info]\nLanguage=X\n[String]\n&FILE=F\n%S HAS %D FILES=%s: %d\n", true, {}},
        TCheckCase{"MissingText", "[Info]\nLanguage=X\n[String]\n&File=F\n", true, {"no translation of \"%s has"}},
        TCheckCase{"EmptyTranslation", "[Info]\nLanguage=X\n[String]\n&File=\n%s has %d files=%s %d\n", true,
                   {"empty translation of \"&File\""}},
        TCheckCase{"QuotesOnlyIsEmpty", "[Info]\nLanguage=X\n[String]\n&File=\"\"\n%s has %d files=%s %d\n", true,
                   {"empty translation"}},
        TCheckCase{"PlaceholdersSwapped", "[Info]\nLanguage=X\n[String]\n&File=F\n%s has %d files=%d von %s\n", true,
                   {"placeholders \"ds\" instead of \"sd\""}},
        TCheckCase{"PlaceholderDropped", "[Info]\nLanguage=X\n[String]\n&File=F\n%s has %d files=%s\n", true,
                   {"placeholders \"s\" instead of \"sd\""}},
        TCheckCase{"DuplicateKey", "[Info]\nLanguage=X\n[String]\n&File=F\n&file=G\n%s has %d files=%s %d\n", true,
                   {"\"&file\" on line 5 is never used"}},
        TCheckCase{"SecondStringSectionUnread", "[Info]\nLanguage=X\n[String]\n&File=F\n[string]\n%s has %d files=%s %d\n",
                   true, {"section [string] on line 5 is never read", "no translation of \"%s has"}},
        TCheckCase{"NoLanguage", "[Info]\n[String]\n&File=F\n%s has %d files=%s %d\n", true, {"declares no Language"}},
        TCheckCase{"InvalidUtf8", "[Info]\nLanguage=X\xff\n[String]\n&File=F\n%s has %d files=%s %d\n", true,
                   {"not valid UTF-8"}},
        TCheckCase{"EnglishMayBeEmpty", "[Info]\nLanguage=English\n[String]\n", false, {}},
        TCheckCase{"EnglishKeepsPlaceholders", "[Info]\nLanguage=English\n[String]\n%s has %d files=%s files\n", false,
                   {"placeholders \"s\""}}),
    TCaseName());

TEST(LanguageFileCheckStale, ListsKeysNoSourceShows) {
    const TFileCheck check =
        CheckLanguageFile("[Info]\nLanguage=X\n[String]\n&File=F\nGone=Weg\n%s has %d files=%s %d\n", kTexts, true);
    EXPECT_TRUE(check.Problems.isEmpty());
    EXPECT_EQ(check.Unused, QStringList{QStringLiteral("Gone")});
}

// ------------------------------------------------------- the shipped files

TEST(LanguageFiles, EveryShownTextCanBeAKey) {
    const QList<TSourceText> texts = ProjectTexts();
    ASSERT_FALSE(texts.isEmpty()) << "no shown text found under " << SourceDir().toStdString() << "/src";
    QHash<QString, QString> byFolded;
    for (const TSourceText& t : texts) {
        if (const auto problem = KeyProblem(t.Text))
            ADD_FAILURE() << t.Where.toStdString() << ": reword " << Quoted(t.Text).toStdString()
                          << "; it cannot be a language-file key: " << problem->toStdString();
        // Keys compare without case, so such texts share one translation.
        const QString folded = t.Text.toLower();
        if (byFolded.contains(folded))
            std::cout << "[ WARNING  ] " << t.Where.toStdString() << ": " << Quoted(t.Text).toStdString()
                      << " shares its translation with " << Quoted(byFolded[folded]).toStdString() << '\n';
        else
            byFolded.insert(folded, t.Text);
    }
}

TEST(LanguageFiles, EveryFileTranslatesEveryShownText) {
    const QList<TSourceText> texts = ProjectTexts();
    const QStringList files = ShippedLanguageFiles();
    ASSERT_FALSE(files.isEmpty());
    for (const QString& path : files) {
        const QString name = QFileInfo(path).fileName();
        const QByteArray bytes = ReadAll(path);
        TProfileFile probe;
        probe.LoadFromBytes(bytes);
        const bool english = probe.ReadString(kInfo, kLanguage) == kEnglish;
        const TFileCheck check = CheckLanguageFile(bytes, texts, !english);
        for (const QString& problem : check.Problems)
            ADD_FAILURE() << "data/Languages/" << name.toStdString() << ": " << problem.toStdString();
        if (!check.Unused.isEmpty()) {
            std::cout << "[ WARNING  ] data/Languages/" << name.toStdString() << ": " << check.Unused.size()
                      << " text(s) that no source shows (yet):\n";
            for (const QString& key : check.Unused) std::cout << "               " << Quoted(key).toStdString() << '\n';
        }
    }
}

TEST(LanguageFiles, EachFileNamesADistinctLanguageAndEnglishIsOffered) {
    QHash<QString, QString> owners; // language name -> file
    for (const QString& path : ShippedLanguageFiles()) {
        const QString name = QFileInfo(path).fileName();
        TProfileFile file;
        file.LoadFromBytes(ReadAll(path));
        const QString language = file.ReadString(kInfo, kLanguage);
        EXPECT_FALSE(language.isEmpty()) << "data/Languages/" << name.toStdString() << " declares no [Info] Language";
        if (language.isEmpty()) continue;
        if (owners.contains(language))
            ADD_FAILURE() << "data/Languages/" << name.toStdString() << " and " << owners[language].toStdString()
                          << " both declare the language " << language.toStdString();
        else
            owners.insert(language, name);
    }
    // Without a file declaring English, a user who switched away could never come back.
    EXPECT_TRUE(owners.contains(kEnglish)) << "no shipped file declares Language=English";
}

// The shipped folder as the program reads it: every file is offered, each
// language shows its own texts, and English can be chosen again afterwards.
TEST(LanguageFiles, ProgramSwitchesThroughEveryShippedLanguage) {
    TTempHome home;
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral(".config/store.ini")),
                                         home.File(QStringLiteral(".config/auto.desktop"))));
    params[spUserInterfaceLanguageInUse] = kEnglish;
    TUserInterfaceLang lang(SourceDir() + QStringLiteral("/data/Languages"), params);
    EXPECT_TRUE(lang.ScanErrors().isEmpty()) << lang.ScanErrors().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(lang.LanguageList().size(), ShippedLanguageFiles().size());
    const QList<TSourceText> texts = ProjectTexts();
    for (const TLanguageEntry& entry : lang.LanguageList()) {
        if (entry.LanguageName == kEnglish) continue;
        SCOPED_TRACE(entry.LanguageFile.toStdString());
        ASSERT_TRUE(lang.SwitchLanguage(entry.LanguageName));
        TProfileFile file;
        file.LoadFromBytes(ReadAll(lang.LanguagesFolder() + entry.LanguageFile));
        for (const TSourceText& t : texts) {
            const QString expected = file.ReadString(kString, t.Text);
            if (!expected.isEmpty()) {
                EXPECT_EQ(lang.Translate(t.Text), expected) << t.Text.toStdString();
            }
        }
        ASSERT_TRUE(lang.SwitchLanguage(kEnglish));
        for (const TSourceText& t : texts) EXPECT_EQ(lang.Translate(t.Text), t.Text);
    }
}

} // namespace
