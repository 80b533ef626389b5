#include "messaging/widgets/ChatFormListUnit.h"

#include <gtest/gtest.h>

namespace {

// --- Register of chat windows ---

TEST(ChatFormList, KeysIgnoreCaseAndKeepTheirSpelling) {
    TChatFormList list;
    EXPECT_TRUE(list.Add(QStringLiteral("PC-ANN{A1B2}"), 101));
    EXPECT_EQ(list.Find(QStringLiteral("pc-ann{a1b2}")), 101u);
    EXPECT_TRUE(list.Add(QStringLiteral("pc-ANN{a1b2}"), 202)); // same user, new window
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Lines(), QStringList{QStringLiteral("pc-ANN{a1b2}=202")});
    EXPECT_FALSE(list.Contains(QStringLiteral("PC-ANN")));
    EXPECT_TRUE(list.Remove(QStringLiteral("PC-ANN{A1B2}")));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_FALSE(list.Remove(QStringLiteral("PC-ANN{A1B2}")));
}

TEST(ChatFormList, NullHandleAndEmptyKeyRefused) {
    TChatFormList list;
    EXPECT_FALSE(list.Add(QStringLiteral("PC-BOB{1}"), 0));
    EXPECT_FALSE(list.Add(QString(), 7));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Find(QStringLiteral("PC-BOB{1}")), 0u);
}

TEST(ChatFormList, ClosingWindowLeavesEveryEntryOfIt) {
    TChatFormList list;
    list.Add(QStringLiteral("B{2}"), 0xFFFFFFF0u);
    list.Add(QStringLiteral("A{1}"), 5);
    list.Add(QStringLiteral("C{3}"), 0xFFFFFFF0u);
    EXPECT_EQ(list.Lines(), (QStringList{QStringLiteral("A{1}=5"), QStringLiteral("B{2}=4294967280"),
                                         QStringLiteral("C{3}=4294967280")}));
    EXPECT_EQ(list.RemoveHandle(0xFFFFFFF0u), 2);
    EXPECT_EQ(list.RemoveHandle(0), 0);
    EXPECT_EQ(list.Lines(), QStringList{QStringLiteral("A{1}=5")});
}

} // namespace
