#include <gtest/gtest.h>

#include <map>
#include <type_traits>
#include <utility>

#include "platform/Handle.h"

namespace tarn::testing {
namespace {

// Counts every close per handle value, so a double close or a leak shows.
std::map<int, int> closes;

struct CountingTraits {
    using Type = int;
    static Type Invalid() noexcept { return -1; }
    static void Close(Type h) noexcept { ++closes[h]; }
};
using Counted = UniqueHandle<CountingTraits>;

// A handle type whose "invalid" is zero, as for process handles.
struct NullTraits {
    using Type = int;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ++closes[h]; }
};

class HandleTest : public ::testing::Test {
protected:
    void SetUp() override { closes.clear(); }
};

static_assert(!std::is_copy_constructible_v<Counted>);
static_assert(!std::is_copy_assignable_v<Counted>);
static_assert(std::is_nothrow_move_constructible_v<Counted>);

TEST_F(HandleTest, ClosesOnceWhenLeavingScope) {
    {
        Counted h(7);
        EXPECT_TRUE(h);
    }
    EXPECT_EQ(closes, (std::map<int, int>{{7, 1}}));
}

TEST_F(HandleTest, InvalidValueIsNeverClosed) {
    {
        Counted none;
        Counted explicitInvalid(-1);
        EXPECT_FALSE(none);
        EXPECT_FALSE(explicitInvalid);
    }
    // Zero is a real handle for one kind and "nothing" for the other.
    {
        Counted zero(0);
        UniqueHandle<NullTraits> null(0);
        EXPECT_TRUE(zero);
        EXPECT_FALSE(null);
    }
    EXPECT_EQ(closes, (std::map<int, int>{{0, 1}}));
}

TEST_F(HandleTest, MoveTransfersOwnershipWithoutClosing) {
    {
        Counted a(3);
        Counted b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 3);
        EXPECT_TRUE(closes.empty());
    }
    EXPECT_EQ(closes, (std::map<int, int>{{3, 1}}));
}

TEST_F(HandleTest, MoveAssignmentClosesTheTargetsOldHandle) {
    {
        Counted a(1), b(2);
        b = std::move(a);
        EXPECT_EQ(closes, (std::map<int, int>{{2, 1}}));
        EXPECT_EQ(b.get(), 1);
        Counted& self = b;
        b = std::move(self);  // self-move keeps the handle open
        EXPECT_EQ(b.get(), 1);
        EXPECT_EQ(closes, (std::map<int, int>{{2, 1}}));
    }
    EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}}));
}

TEST_F(HandleTest, ResetClosesTheOldAndKeepsTheNew) {
    {
        Counted h(4);
        h.reset(5);
        EXPECT_EQ(closes, (std::map<int, int>{{4, 1}}));
        h.reset(5);  // the same handle again must not close it
        EXPECT_EQ(closes, (std::map<int, int>{{4, 1}}));
        h.reset();
        EXPECT_FALSE(h);
        h.reset();
    }
    EXPECT_EQ(closes, (std::map<int, int>{{4, 1}, {5, 1}}));
}

TEST_F(HandleTest, ReleaseHandsOverWithoutClosing) {
    int raw;
    {
        Counted h(9);
        raw = h.release();
        EXPECT_FALSE(h);
    }
    EXPECT_EQ(raw, 9);
    EXPECT_TRUE(closes.empty());
}

}  // namespace
}  // namespace tarn::testing
