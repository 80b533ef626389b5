#include "support/CaseName.h"
#include "support/CliProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <ostream>

namespace {

TCliResult RunCli(const TTempHome& home, const QStringList& arguments, const QByteArray& input = {}) {
    return RunCliProcess(home.Path(), arguments, CliProgram(), input);
}

struct TSendFileUsage {
    std::string Name;
    QStringList Arguments;
    const char* Message;
};
void PrintTo(const TSendFileUsage& c, std::ostream* os) { *os << c.Name; }

class CliSendFileUsage : public ::testing::TestWithParam<TSendFileUsage> {};

TEST_P(CliSendFileUsage, ExitsWithTwoAndSaysWhy) {
    TTempHome home;
    const TCliResult r = RunCli(home, QStringList{QStringLiteral("sendfile")} + GetParam().Arguments);
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(r.Err.contains(QString::fromUtf8(GetParam().Message))) << r.Err.toStdString();
    EXPECT_EQ(r.Err.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(r.Out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliSendFileUsage,
    ::testing::Values(TSendFileUsage{"NoHost", {QStringLiteral("a.txt")}, "needs --to HOST"},
                      TSendFileUsage{"HostWithoutValue", {QStringLiteral("a.txt"), QStringLiteral("--to")}, "--to needs a value"},
                      TSendFileUsage{"NoPath", {QStringLiteral("--to"), QStringLiteral("10.0.0.1")}, "at least one file"},
                      TSendFileUsage{"UnknownOption",
                                     {QStringLiteral("--to"), QStringLiteral("h"), QStringLiteral("--fast"), QStringLiteral("a")},
                                     "unknown option: --fast"}),
    TCaseName());

TEST(CliSendFile, AFileThatCannotGoIsReportedAndTheExitIsOne) {
    TTempHome home;
    const QString missing = home.Path() + QStringLiteral("missing.txt");
    const TCliResult r = RunCli(home, {QStringLiteral("sendfile"), QStringLiteral("--to"), QStringLiteral("127.0.0.1"), missing});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Out.startsWith(QStringLiteral("failed ") + missing + QStringLiteral(": "))) << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("is not a file that can be sent"))) << r.Out.toStdString();
}

TEST(CliSendFile, WithoutANetworkItEndsInsteadOfWaiting) {
    TTempHome home;
    home.Write(QStringLiteral("a.txt"), "a");
    const TCliResult r = RunCli(home, {QStringLiteral("sendfile"), QStringLiteral("--to"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("--json"), home.File(QStringLiteral("a.txt"))});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("network is off"))) << r.Err.toStdString();
}

TEST(CliListenFiles, TakesTheFileOptions) {
    TTempHome home;
    const TCliResult r = RunCli(home, {QStringLiteral("listen"), QStringLiteral("--no-auto-files"), QStringLiteral("--accept-files")},
                          "quit\n");
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    // This run's choice is never saved.
    EXPECT_FALSE(home.Read(QStringLiteral("Config.ini")).contains("AutoFileTrans=0"));
}

} // namespace
