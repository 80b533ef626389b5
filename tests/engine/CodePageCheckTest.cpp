#include "text/CodePageCheckUnit.h"

#include "protocol/PortCheckUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QUdpSocket>
#include <ostream>

namespace {

// ------------------------------------------------------------ characters a code page lacks

struct TMissingCase {
    const char* Name;
    int LanguageId;
    QString Text;
    QStringList Missing;
};

void PrintTo(const TMissingCase& c, std::ostream* os) { *os << c.Name; }

class MissingCharacters : public ::testing::TestWithParam<TMissingCase> {};

TEST_P(MissingCharacters, NamesEachLostCharacterOnceInOrder) {
    EXPECT_EQ(CodePageCheck::MissingCharacters(GetParam().LanguageId, GetParam().Text), GetParam().Missing);
    // The question exists exactly when something is lost, and names every character.
    const QString warning = CodePageCheck::WarningText(GetParam().LanguageId, GetParam().Text);
    EXPECT_EQ(warning.isEmpty(), GetParam().Missing.isEmpty());
    for (const QString& c : GetParam().Missing) EXPECT_TRUE(warning.contains(c)) << warning.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingCharacters,
    ::testing::Values(
        TMissingCase{"LatinInWestern", 1033, QString::fromUtf8("Grüße, Zoë"), {}},
        TMissingCase{"HanziInWestern", 1033, QString::fromUtf8("Hi 你好 你"), {QString::fromUtf8("你"), QString::fromUtf8("好")}},
        TMissingCase{"HanziInGB", 2052, QString::fromUtf8("你好"), {}},
        TMissingCase{"TraditionalInBig5", 1028, QString::fromUtf8("臺灣"), {}},
        TMissingCase{"HangulInGB", 2052, QString::fromUtf8("a한b"), {QString::fromUtf8("한")}},
        TMissingCase{"AccentInJapanese", 1041, QString::fromUtf8("caféテスト"), {QString::fromUtf8("é")}},
        TMissingCase{"CyrillicInRussian", 1049, QString::fromUtf8("Привет"), {}},
        TMissingCase{"CyrillicInGreek", 1032, QString::fromUtf8("αЖ"), {QString::fromUtf8("Ж")}},
        // A character outside the basic plane is one character, not two halves.
        TMissingCase{"SurrogatePairIsOneCharacter", 1033, QString::fromUtf8("ok 😀😀"), {QString::fromUtf8("😀")}},
        // Pictures stand in the text as U+FFFC and travel as pictures.
        TMissingCase{"PicturePlaceholderIgnored", 1033, QStringLiteral("a") + QChar(QChar::ObjectReplacementCharacter), {}},
        TMissingCase{"PlainAscii", 2052, QStringLiteral("plain ?"), {}}),
    TCaseName());

TEST(CodePageWarning, NamesTheCodePageAndCutsALongList) {
    QString many;
    for (char16_t c = u'一'; c < u'一' + 30; ++c) many += QChar(c);
    const QString warning = CodePageCheck::WarningText(1033, many);
    EXPECT_TRUE(warning.contains(QStringLiteral("windows-1252"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(QChar(u'一' + 19)));
    EXPECT_FALSE(warning.contains(QChar(u'一' + 20)));
    EXPECT_TRUE(warning.contains(QStringLiteral("...")));
    // A rich message keeps its characters; the question says what is lost instead.
    EXPECT_NE(CodePageCheck::WarningText(1033, many, true), warning);
}

// ------------------------------------------------------------ the port test

// Which half of a port another socket holds, and what the check must say.
struct TPortCase {
    const char* Name;
    bool HoldUdp;
    bool HoldTcp;
};

void PrintTo(const TPortCase& c, std::ostream* os) { *os << c.Name; }

class PortCheckTest : public ::testing::TestWithParam<TPortCase> {};

TEST_P(PortCheckTest, FindsTheHalfThatIsTaken) {
    const QHostAddress local(QHostAddress::LocalHost);
    // Another process may take the free port first: a few tries, then report.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const quint16 port = FreePort();
        ASSERT_NE(port, 0);
        QUdpSocket udp;
        QTcpServer tcp;
        if (GetParam().HoldUdp && !udp.bind(local, port, QUdpSocket::DontShareAddress)) continue;
        if (GetParam().HoldTcp && !tcp.listen(local, port)) continue;
        const TPortCheck check = PortCheck::Check(port, local);
        EXPECT_EQ(check.Udp, !GetParam().HoldUdp);
        EXPECT_EQ(check.Tcp, !GetParam().HoldTcp);
        EXPECT_EQ(check.Free(), !GetParam().HoldUdp && !GetParam().HoldTcp);
        // The check let go of the port again.
        if (!GetParam().HoldUdp) EXPECT_TRUE(udp.bind(local, port, QUdpSocket::DontShareAddress));
        return;
    }
    FAIL() << "no free port could be held";
}

INSTANTIATE_TEST_SUITE_P(Cases, PortCheckTest,
                         ::testing::Values(TPortCase{"Free", false, false}, TPortCase{"UdpHeld", true, false},
                                           TPortCase{"TcpHeld", false, true}, TPortCase{"BothHeld", true, true}),
                         TCaseName());

TEST(PortCheckZero, IsNeverFree) { EXPECT_FALSE(PortCheck::Check(0, QHostAddress(QHostAddress::LocalHost)).Free()); }

} // namespace
