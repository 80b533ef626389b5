#include "transfer/RequestHandleUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QSet>
#include <memory>
#include <ostream>

namespace {

// A source of candidates that plays back a list, then counts up from its last value.
std::function<qint32()> Sequence(QList<qint32> values) {
    auto state = std::make_shared<QList<qint32>>(std::move(values));
    auto last = std::make_shared<qint32>(0);
    return [state, last] {
        if (!state->isEmpty()) *last = state->takeFirst();
        else ++*last;
        return *last;
    };
}

struct THandleCase {
    std::string Name;
    QList<qint32> Candidates; // what the source offers
    int Live;                 // handles allocated before the one checked (each from the sequence)
    qint32 Expected;          // the handle the last allocation gets
};
void PrintTo(const THandleCase& c, std::ostream* os) { *os << c.Name; }

class RequestHandles : public ::testing::TestWithParam<THandleCase> {};

TEST_P(RequestHandles, AreNonZeroAndUniqueAmongLiveOwners) {
    TRequestHandles handles(Sequence(GetParam().Candidates));
    std::vector<std::unique_ptr<QObject>> owners;
    for (int i = 0; i < GetParam().Live; ++i) {
        owners.push_back(std::make_unique<QObject>());
        handles.Allocate(owners.back().get());
    }
    QObject last;
    EXPECT_EQ(handles.Allocate(&last), GetParam().Expected);
    EXPECT_EQ(handles.Owner(GetParam().Expected), &last);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RequestHandles,
    ::testing::Values(THandleCase{"FirstCandidate", {5}, 0, 5},
                      THandleCase{"ZeroIsSkipped", {0, 9}, 0, 9},
                      THandleCase{"LiveOneIsSkipped", {7, 7, 8}, 1, 8},
                      THandleCase{"NegativeFits", {-3}, 0, -3},
                      THandleCase{"LargestSigned", {2147483647}, 0, 2147483647},
                      THandleCase{"SeveralTaken", {1, 2, 1, 2, 3}, 2, 3}),
    TCaseName());

TEST(RequestHandlesLife, ReleasedOrDestroyedOwnersAreNotFound) {
    TRequestHandles handles(Sequence({11, 12, 11}));
    auto owner = std::make_unique<QObject>();
    const qint32 first = handles.Allocate(owner.get());
    QObject other;
    const qint32 second = handles.Allocate(&other);
    EXPECT_EQ(handles.Count(), 2);
    owner.reset();
    EXPECT_EQ(handles.Owner(first), nullptr);
    EXPECT_EQ(handles.Count(), 1);
    // A destroyed owner's number is free again for the next dialog.
    QObject third;
    EXPECT_EQ(handles.Allocate(&third), 11);
    handles.Release(second);
    EXPECT_EQ(handles.Owner(second), nullptr);
    EXPECT_EQ(handles.Owner(0), nullptr);
    EXPECT_EQ(handles.Owner(424242), nullptr);
}

TEST(RequestHandlesLife, AnOwnerDestroyedAfterItsReleaseLeavesTheNextOwnerAlone) {
    TRequestHandles handles(Sequence({5, 5, 6}));
    auto first = std::make_unique<QObject>();
    ASSERT_EQ(handles.Allocate(first.get()), 5);
    handles.Release(5);
    // The same number, given again while the first owner still lives.
    QObject second;
    ASSERT_EQ(handles.Allocate(&second), 5);
    first.reset();
    EXPECT_EQ(handles.Owner(5), &second);
    EXPECT_EQ(handles.Count(), 1);
}

TEST(RequestHandlesLife, AnOwnerWithSeveralHandlesGivesThemAllBackAtOnce) {
    TRequestHandles handles(Sequence({1, 2, 3}));
    auto owner = std::make_unique<QObject>();
    QObject other;
    handles.Allocate(owner.get());
    handles.Allocate(&other);
    handles.Allocate(owner.get());
    ASSERT_EQ(handles.Count(), 3);
    // No allocation needed for the table to shrink: the owner's end is enough.
    owner.reset();
    EXPECT_EQ(handles.Count(), 1);
    EXPECT_EQ(handles.Owner(2), &other);
}

TEST(RequestHandlesLife, AnOwnerOutlivingTheTableEndsQuietly) {
    auto owner = std::make_unique<QObject>();
    {
        TRequestHandles handles;
        EXPECT_NE(handles.Allocate(owner.get()), 0);
    }
    owner.reset(); // its destroyed() must reach no table
}

TEST(RequestHandlesLife, TheDefaultCounterWrapsBeforeTheSignBit) {
    TRequestHandles handles;
    QObject owner;
    QSet<qint32> seen;
    for (int i = 0; i < 1000; ++i) {
        const qint32 h = handles.Allocate(&owner);
        EXPECT_GT(h, 0);
        seen.insert(h);
    }
    EXPECT_EQ(seen.size(), 1000);
}

} // namespace
