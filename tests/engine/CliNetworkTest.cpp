// quillmate-cli network against fake sources: the rows it prints, the exit
// status when sources fail, and its usage errors.
#include "cli/CliNetworkUnit.h"
#include "support/CaseName.h"
#include "support/NeighbourhoodFakes.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace NetFake;

namespace {

struct TRun {
    int Status = -1;
    QStringList Out;
    QString Err;
};

TRun RunCommand(const QStringList& args, std::vector<std::shared_ptr<TNetBrowseSource>> sources, TNetResolveFunction resolver = {}) {
    QString out, err;
    QTextStream o(&out), e(&err);
    TCliNetworkSetup setup;
    setup.Sources = std::move(sources);
    setup.Resolver = std::move(resolver);
    TNetLimits limits;
    limits.BrowseMs = 300;
    limits.ResolveMs = 300;
    setup.Limits = limits;
    TRun run;
    run.Status = RunNetwork(args, o, e, std::move(setup));
    o.flush();
    e.flush();
    run.Out = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.Err = err;
    return run;
}

std::shared_ptr<TFakeSource> Smb() {
    return std::make_shared<TFakeSource>(nsSmb, QStringLiteral("SMB"), false, [](const QString& c) {
        TNetBrowseResult r;
        if (c.isEmpty()) r.Containers << QStringLiteral("LAB");
        else r.Computers << Seen("LAB", "SAMBA1") << Seen("LAB", "SAMBA2");
        return r;
    });
}

std::shared_ptr<TFakeSource> Wsd() {
    return std::make_shared<TFakeSource>(nsWsd, QStringLiteral("WS-Discovery"), true, [](const QString&) {
        TNetBrowseResult r;
        r.Computers << Seen("LAB", "samba1", "10.77.0.2") << Seen("", "LONER", "10.77.0.9");
        return r;
    });
}

std::shared_ptr<TFakeSource> Broken(TNetSources id, bool available) {
    return std::make_shared<TFakeSource>(id, QStringLiteral("Broken"), id != nsSmb, [available](const QString&) {
        TNetBrowseResult r;
        r.Available = available;
        r.Error = QStringLiteral("nothing here");
        return r;
    });
}

TEST(CliNetwork, PrintsEveryComputerOnceWithSourcesContainerNameAndAddress) {
    const TRun run = RunCommand({"--wait", "10"}, {Smb(), Wsd()}, [](const QString& name, int, const std::atomic<bool>&) {
        return name == QStringLiteral("SAMBA2") ? QHostAddress(QStringLiteral("10.77.0.3")) : QHostAddress();
    });
    EXPECT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, (QStringList{"SMB+WSD\tLAB\tSAMBA1\t10.77.0.2", "SMB\tLAB\tSAMBA2\t10.77.0.3",
                                    "WSD\tOther Computers\tLONER\t10.77.0.9"}));
}

TEST(CliNetwork, JsonHasOneObjectPerRow) {
    const TRun run = RunCommand({"--json"}, {Smb(), Wsd()});
    ASSERT_EQ(run.Status, 0);
    QStringList rows;
    for (const QString& line : run.Out) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(o[QStringLiteral("Source")].toString(), o[QStringLiteral("Container")].toString(),
                         o[QStringLiteral("Name")].toString(), o[QStringLiteral("Address")].toString(),
                         o[QStringLiteral("Kind")].toString());
    }
    EXPECT_EQ(rows, (QStringList{"SMB+WSD||LAB||workgroup", "SMB+WSD|LAB|SAMBA1|10.77.0.2|computer",
                                 "SMB|LAB|SAMBA2||computer", "WSD||Other Computers||other",
                                 "WSD|Other Computers|LONER|10.77.0.9|computer"}));
}

TEST(CliNetwork, UnresolvedComputersReadUnknownIP) {
    const TRun run = RunCommand({}, {Smb()});
    ASSERT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, (QStringList{"SMB\tLAB\tSAMBA1\tUnknown IP", "SMB\tLAB\tSAMBA2\tUnknown IP"}));
}

struct TStatusCase {
    std::string Name;
    std::function<std::vector<std::shared_ptr<TNetBrowseSource>>()> Sources;
    int Status;
};
void PrintTo(const TStatusCase& c, std::ostream* os) { *os << c.Name; }

class CliNetworkStatus : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(CliNetworkStatus, FailsOnlyWhenEverySourceFailed) {
    const TRun run = RunCommand({}, GetParam().Sources());
    EXPECT_EQ(run.Status, GetParam().Status) << run.Err.toStdString();
    if (run.Status != 0) {
        EXPECT_FALSE(run.Err.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliNetworkStatus,
    ::testing::Values(
        TStatusCase{"AllFine", [] { return std::vector<std::shared_ptr<TNetBrowseSource>>{Smb(), Wsd()}; }, 0},
        TStatusCase{"OneOfTwoFails", [] { return std::vector<std::shared_ptr<TNetBrowseSource>>{Broken(nsSmb, true), Wsd()}; }, 0},
        TStatusCase{"OneFailsOneUnavailable",
                    [] { return std::vector<std::shared_ptr<TNetBrowseSource>>{Broken(nsSmb, true), Broken(nsMdns, false)}; }, 1},
        TStatusCase{"Silent",
                    [] {
                        auto s = Smb();
                        s->Silent = true;
                        return std::vector<std::shared_ptr<TNetBrowseSource>>{s};
                    },
                    1},
        TStatusCase{"NoSources", [] { return std::vector<std::shared_ptr<TNetBrowseSource>>{}; }, 1}),
    TCaseName());

TEST(CliNetwork, AWaitShorterThanTheReadEndsIt) {
    auto held = Smb();
    held->Held = true;
    QString out, err;
    QTextStream o(&out), e(&err);
    TCliNetworkSetup setup;
    setup.Sources = {held};
    TNetLimits limits;
    limits.BrowseMs = 60000;
    setup.Limits = limits;
    EXPECT_EQ(RunNetwork({"--wait", "0.2"}, o, e, std::move(setup)), 1);
    e.flush();
    EXPECT_TRUE(err.contains(QStringLiteral("not read within the wait")));
}

struct TUsageCase {
    std::string Name;
    QStringList Args;
};
void PrintTo(const TUsageCase& c, std::ostream* os) { *os << c.Name; }

class CliNetworkUsage : public ::testing::TestWithParam<TUsageCase> {};

TEST_P(CliNetworkUsage, IsRefusedBeforeAnythingIsRead) {
    auto smb = Smb();
    const TRun run = RunCommand(GetParam().Args, {smb});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(smb->Calls.load(), 0);
    EXPECT_TRUE(run.Err.startsWith(QStringLiteral("quillmate-cli: ")));
}

INSTANTIATE_TEST_SUITE_P(Table, CliNetworkUsage,
                         ::testing::Values(TUsageCase{"WaitWithoutValue", {"--wait"}},
                                           TUsageCase{"WaitNotANumber", {"--wait", "soon"}},
                                           TUsageCase{"WaitZero", {"--wait", "0"}},
                                           TUsageCase{"WaitNegative", {"--wait", "-3"}},
                                           TUsageCase{"UnknownArgument", {"--tree"}}),
                         TCaseName());

} // namespace
