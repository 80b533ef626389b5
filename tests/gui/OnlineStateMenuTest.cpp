#include "ui/OnlineStateMenuUnit.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace {

using namespace OnlineStateMenu;

// ---- Each state's menu tag and images ----

struct TStateItemCase {
    const char* Name;
    TOnlineState State;
    int Tag;
    const char* MenuImage;
    const char* HeaderImage;
};

void PrintTo(const TStateItemCase& c, std::ostream* os) { *os << c.Name; }

class OnlineStateItems : public ::testing::TestWithParam<TStateItemCase> {};

TEST_P(OnlineStateItems, TagAndImagesPerState) {
    const TStateItemCase& c = GetParam();
    EXPECT_EQ(TagOf(c.State), c.Tag);
    EXPECT_EQ(StateOfTag(c.Tag), c.State);
    EXPECT_EQ(MenuImageName(c.State), QString::fromLatin1(c.MenuImage));
    EXPECT_EQ(HeaderImageName(c.State), QString::fromLatin1(c.HeaderImage));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OnlineStateItems,
    ::testing::Values(
        TStateItemCase{"Online", TOnlineState::Online, 1001, "ONLINESTATE_PRESENT", "U_ONLINESTATE_PRESENT"},
        TStateItemCase{"Busy", TOnlineState::Busy, 1002, "ONLINESTATE_BUSY", "U_ONLINESTATE_BUSY"},
        TStateItemCase{"Away", TOnlineState::Away, 1003, "ONLINESTATE_AWAY", "U_ONLINESTATE_AWAY"}),
    TCaseName());

struct TForeignTagCase {
    const char* Name;
    int Tag;
};

void PrintTo(const TForeignTagCase& c, std::ostream* os) { *os << c.Name; }

class OnlineStateForeignTags : public ::testing::TestWithParam<TForeignTagCase> {};

TEST_P(OnlineStateForeignTags, NameNoState) { EXPECT_EQ(StateOfTag(GetParam().Tag), std::nullopt); }

INSTANTIATE_TEST_SUITE_P(Cases, OnlineStateForeignTags,
                         ::testing::Values(TForeignTagCase{"BelowRange", 1000}, TForeignTagCase{"AboveRange", 1004},
                                           TForeignTagCase{"Zero", 0}, TForeignTagCase{"WireNumberOfBusy", 1},
                                           TForeignTagCase{"Negative", -1}),
                         TCaseName());

} // namespace
