// How answers of several sources become one tree: one row per computer and
// per container whatever the letter case, the container chosen by rank, the
// address hint by rank, hostile names and floods left out.
#include "neighbourhood/NetMergeUnit.h"
#include "support/CaseName.h"
#include "support/NeighbourhoodFakes.h"

#include <gtest/gtest.h>

using namespace NetMerge;
using NetFake::Seen;

namespace {

TSourceAnswer Answer(TNetSources source, QStringList containers, QList<TNetSighting> computers = {}) {
    TSourceAnswer a;
    a.Source = source;
    a.Result.Containers = std::move(containers);
    a.Result.Computers = std::move(computers);
    return a;
}

// "KEY:Name:bits" per container, in order.
QStringList Describe(const QList<TNetItem>& rows) {
    QStringList out;
    for (const TNetItem& r : rows) out << QStringLiteral("%1:%2:%3").arg(r.Key, r.DisplayName).arg(r.Sources);
    return out;
}

// "KEY:bits:hint" per computer, in order.
QStringList Describe(const QList<TMergedComputer>& rows) {
    QStringList out;
    for (const TMergedComputer& r : rows)
        out << QStringLiteral("%1:%2:%3").arg(r.Item.Key).arg(r.Item.Sources).arg(r.Hint.toString());
    return out;
}

struct TRootCase {
    std::string Name;
    QList<TSourceAnswer> Answers;  // in arrival order
    QStringList Containers;
};
void PrintTo(const TRootCase& c, std::ostream* os) { *os << c.Name; }

class RootMerge : public ::testing::TestWithParam<TRootCase> {};

TEST_P(RootMerge, ContainersAreOneRowPerNameInNameOrder) {
    const TRootCase& c = GetParam();
    EXPECT_EQ(Describe(MergeRoot(c.Answers, 100).Containers), c.Containers);
}

const QString kOther = QStringLiteral("Other Computers");

INSTANTIATE_TEST_SUITE_P(
    Table, RootMerge,
    ::testing::Values(
        TRootCase{"SmbWorkgroupsSorted", {Answer(nsSmb, {"zeta", "Alpha"})}, {"ALPHA:Alpha:1", "ZETA:zeta:1"}},
        TRootCase{"CaseInsensitiveAcrossSources",
                  {Answer(nsWsd, {}, {Seen("WORKGROUP", "PC1")}), Answer(nsSmb, {"Workgroup"})},
                  {"WORKGROUP:Workgroup:3"}},
        TRootCase{"FlatWithoutWorkgroupBringsOther",
                  {Answer(nsMdns, {}, {Seen("", "mac")}), Answer(nsSmb, {"WG"})},
                  {"*:" + kOther + ":4", "WG:WG:1"}},
        TRootCase{"WsdWorkgroupBeatsMdnsNone",
                  {Answer(nsMdns, {}, {Seen("", "pc1")}), Answer(nsWsd, {}, {Seen("Office", "PC1")})},
                  {"OFFICE:Office:6"}},
        TRootCase{"WorkgroupByRankNotArrival",
                  {Answer(nsWsd, {}, {Seen("Second", "PC")}), Answer(nsSmb, {}, {Seen("First", "pc")})},
                  {"FIRST:First:3"}},
        TRootCase{"SameNameTwiceInOneSourceOnce", {Answer(nsSmb, {"WG", "wg", " WG "})}, {"WG:WG:1"}},
        TRootCase{"HostileNamesLeftOut",
                  {Answer(nsSmb, {"", "a/b", QString(64, 'x'), QStringLiteral("bad\x01"), "*", "OK"})},
                  {"OK:OK:1"}},
        TRootCase{"NoAnswersNoContainers", {}, {}}),
    TCaseName());

struct TContainerCase {
    std::string Name;
    QString Key;
    QList<TSourceAnswer> Tree;       // answers of tree sources for this container
    QList<TSourceAnswer> FlatRoot;   // root answers of the flat sources
    QStringList PlacedElsewhere;
    QStringList Rows;
};
void PrintTo(const TContainerCase& c, std::ostream* os) { *os << c.Name; }

class ContainerMerge : public ::testing::TestWithParam<TContainerCase> {};

TEST_P(ContainerMerge, ComputersAreOneRowWithEverySourcesBitAndTheFirstHint) {
    const TContainerCase& c = GetParam();
    const QList<TFlatComputer> flat = MergeFlat(c.FlatRoot, 100);
    const QSet<QString> elsewhere(c.PlacedElsewhere.begin(), c.PlacedElsewhere.end());
    EXPECT_EQ(Describe(MergeContainer(c.Key, c.Tree, flat, elsewhere, 100)), c.Rows);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContainerMerge,
    ::testing::Values(
        TContainerCase{"SmbAndWsdOneRow", "WG",
                       {Answer(nsSmb, {}, {Seen("WG", "pc1"), Seen("WG", "PC2")})},
                       {Answer(nsWsd, {}, {Seen("wg", "PC1", "10.0.0.7")})},
                       {},
                       {"WG/PC1:3:10.0.0.7", "WG/PC2:1:"}},
        TContainerCase{"SmbPlacesOverWsdWorkgroup", "WG2",
                       {Answer(nsSmb, {}, {Seen("WG2", "PC1")})},
                       {Answer(nsWsd, {}, {Seen("WG1", "pc1", "10.0.0.7")})},
                       {},
                       {"WG2/PC1:3:10.0.0.7"}},
        TContainerCase{"FlatWorkgroupElsewhereNotHere", "WG1", {},
                       {Answer(nsWsd, {}, {Seen("WG1", "PC1"), Seen("WG1", "PC3")})},
                       {"PC1"},
                       {"WG1/PC3:2:"}},
        TContainerCase{"OtherTakesFlatWithoutWorkgroup", "*", {},
                       {Answer(nsMdns, {}, {Seen("", "mac", "10.0.0.9"), Seen("", "ELSEWHERE"), Seen("WG", "pc")})},
                       {"ELSEWHERE"},
                       {"*/MAC:4:10.0.0.9"}},
        TContainerCase{"HintByRankNotArrival", "WG",
                       {Answer(nsSmb, {}, {Seen("WG", "PC1")})},
                       {Answer(nsMdns, {}, {Seen("", "PC1", "10.0.0.6")}),
                        Answer(nsWsd, {}, {Seen("WG", "PC1", "10.0.0.5")})},
                       {},
                       {"WG/PC1:7:10.0.0.5"}},
        TContainerCase{"NoUsableHint", "WG",
                       {Answer(nsSmb, {}, {Seen("WG", "PC1", "0.0.0.0"), Seen("WG", "PC2", "::1"),
                                           Seen("WG", "PC3", "255.255.255.255")})},
                       {},
                       {},
                       {"WG/PC1:1:", "WG/PC2:1:", "WG/PC3:1:"}},
        TContainerCase{"HostileComputerNames", "WG",
                       {Answer(nsSmb, {}, {Seen("WG", ""), Seen("WG", "x/y"), Seen("WG", QString(64, 'n')),
                                           Seen("WG", QStringLiteral("a\tb")), Seen("WG", " ok ")})},
                       {},
                       {},
                       {"WG/OK:1:"}}),
    TCaseName());

TEST(NetMerge, CapsWhatOneAnswerMayAdd) {
    QStringList many;
    QList<TNetSighting> computers;
    for (int i = 0; i < 50; ++i) {
        many << QStringLiteral("WG%1").arg(i);
        computers << Seen(QStringLiteral("WG"), QStringLiteral("PC%1").arg(i));
    }
    EXPECT_EQ(MergeRoot({Answer(nsSmb, many)}, 10).Containers.size(), 10);
    EXPECT_EQ(MergeFlat({Answer(nsWsd, {}, computers)}, 10).size(), 10);
    EXPECT_EQ(MergeContainer("WG", {Answer(nsSmb, {}, computers)}, {}, {}, 10).size(), 10);
    // The cap is per answer: a second source adds its own.
    QList<TNetSighting> others;
    for (int i = 0; i < 50; ++i) others << Seen(QStringLiteral("WG"), QStringLiteral("MAC%1").arg(i));
    EXPECT_EQ(MergeContainer("WG", {Answer(nsSmb, {}, computers), Answer(nsWsd, {}, others)}, {}, {}, 10).size(), 20);
}

TEST(NetMerge, ComputerRowsCarryTheirContainerAndKind) {
    const auto rows = MergeContainer("WG", {Answer(nsSmb, {}, {Seen("WG", "Pc1")})}, {}, {}, 10);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].Item.ParentKey, QStringLiteral("WG"));
    EXPECT_EQ(rows[0].Item.Kind, TNetKind::nkServer);
    EXPECT_EQ(rows[0].Item.ComputerName, QStringLiteral("Pc1"));
    EXPECT_FALSE(rows[0].Item.HasChildren);
    const auto root = MergeRoot({Answer(nsMdns, {}, {Seen("", "x")})}, 10).Containers;
    ASSERT_EQ(root.size(), 1);
    EXPECT_EQ(root[0].Kind, TNetKind::nkOther);
    EXPECT_TRUE(root[0].HasChildren);
}

} // namespace
