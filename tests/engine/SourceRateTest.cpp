// The rate per source address of what a peer may send.
#include "protocol/SourceRateUnit.h"

#include <gtest/gtest.h>

namespace {

class SourceRate : public ::testing::Test {
protected:
    qint64 Now = 0;
    TSourceRate::TClock Clock() {
        return [this] { return Now; };
    }
};

TEST_F(SourceRate, BurstThenTheSustainedRate) {
    TSourceRate rate(2, 3, 100, Clock());
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(rate.Allow(QStringLiteral("a"))) << i;
    EXPECT_FALSE(rate.Allow(QStringLiteral("a")));
    EXPECT_EQ(rate.Dropped(), 1u);
    // Another source has a bucket of its own.
    EXPECT_TRUE(rate.Allow(QStringLiteral("b")));
    Now += 499; // not yet a whole token back at 2 a second
    EXPECT_FALSE(rate.Allow(QStringLiteral("a")));
    Now += 1;
    EXPECT_TRUE(rate.Allow(QStringLiteral("a")));
    EXPECT_FALSE(rate.Allow(QStringLiteral("a")));
    // A long pause refills to the burst, never beyond.
    Now += 60000;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(rate.Allow(QStringLiteral("a"))) << i;
    EXPECT_FALSE(rate.Allow(QStringLiteral("a")));
    EXPECT_EQ(rate.Dropped(), 4u);
    EXPECT_EQ(rate.SourcesThrottled(), 1u);
}

TEST_F(SourceRate, TheTableOfSourcesStaysBounded) {
    TSourceRate rate(1, 1, 2, Clock());
    EXPECT_TRUE(rate.Allow(QStringLiteral("a")));
    EXPECT_TRUE(rate.Allow(QStringLiteral("b")));
    EXPECT_FALSE(rate.Allow(QStringLiteral("a")));
    // The table is full of busy sources: a newcomer is let through, not remembered...
    EXPECT_TRUE(rate.Allow(QStringLiteral("c")));
    EXPECT_TRUE(rate.Allow(QStringLiteral("c")));
    // ...while a remembered flooder stays throttled.
    EXPECT_FALSE(rate.Allow(QStringLiteral("a")));
    // Once the old buckets have refilled they are forgotten and make room.
    Now += 1000;
    EXPECT_TRUE(rate.Allow(QStringLiteral("c")));
    EXPECT_FALSE(rate.Allow(QStringLiteral("c")));
}

} // namespace
