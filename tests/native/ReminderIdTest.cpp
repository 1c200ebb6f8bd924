// The client's ID as the reminder reads it out of system.conf and shows it.
#include <gtest/gtest.h>

#include "windows/ReminderId.h"

namespace tarn::testing {
namespace {

TEST(ClientIdIn, TakesTheLastIdLineOfSixToTwelveDigits) {
    const struct {
        const char* bytes;
        const char* id;  // nullptr: none
    } cases[] = {
        {"ad.anynet.id=123456789\n", "123456789"},
        {"ad.anynet.proxy.port=80\r\nad.anynet.id=1234567890\r\nad.x=1\r\n", "1234567890"},
        {"ad.anynet.id=123456", "123456"},  // the last line need not end
        {"ad.anynet.id=123456789012\r", "123456789012"},
        {"ad.anynet.id=111111111\nad.anynet.id=222222222\n", "222222222"},
        {"ad.anynet.id=111111111\nad.anynet.id=22x222222\n", nullptr},  // a later line overrides
        {"ad.anynet.id=12345\n", nullptr},
        {"ad.anynet.id=1234567890123\n", nullptr},
        {"ad.anynet.id=123 456 789\n", nullptr},
        {"ad.anynet.id=123456789 \n", nullptr},
        {"ad.anynet.id=12345678a\n", nullptr},
        {"ad.anynet.id=\n", nullptr},
        {" ad.anynet.id=123456789\n", nullptr},
        {"xad.anynet.id=123456789\n", nullptr},
        {"ad.anynet.id.old=123456789\n", nullptr},
        {"ad.anynet.id=123456789\r\r\n", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> id = ClientIdIn(c.bytes);
        EXPECT_EQ(id, c.id ? std::optional<std::string>(c.id) : std::nullopt) << c.bytes;
    }
}

TEST(GroupedId, ThreesFromTheRight) {
    EXPECT_EQ(GroupedId("123456"), "123 456");
    EXPECT_EQ(GroupedId("1234567"), "1 234 567");
    EXPECT_EQ(GroupedId("123456789"), "123 456 789");
    EXPECT_EQ(GroupedId("1234567890"), "1 234 567 890");
    EXPECT_EQ(GroupedId("12345678901"), "12 345 678 901");
}

TEST(ShouldReadIdFile, OnlyPlainFilesUpTo64KiB) {
    EXPECT_TRUE(ShouldReadIdFile(false, false, 0));
    EXPECT_TRUE(ShouldReadIdFile(false, false, 65536));
    EXPECT_FALSE(ShouldReadIdFile(false, false, 65537));
    EXPECT_FALSE(ShouldReadIdFile(false, false, 0x100000000ULL));
    EXPECT_FALSE(ShouldReadIdFile(true, false, 0));
    EXPECT_FALSE(ShouldReadIdFile(false, true, 100));
}

// Counted in polls: a file caught half-written shows nothing, an ID shows
// once it reads the same twice running, and the watch ends after a minute.
TEST(IdWatch, ShowsASteadyIdOnceWithinItsPolls) {
    const std::optional<std::string> none;
    IdWatch watch;
    EXPECT_EQ(watch.Poll(none), std::nullopt);
    EXPECT_EQ(watch.Poll(std::string("ad.anynet.id=1234567")), std::nullopt);
    EXPECT_EQ(watch.Poll(std::string("ad.anynet.id=123456789\n")), std::nullopt);
    EXPECT_FALSE(watch.Ended());
    EXPECT_EQ(watch.Poll(std::string("ad.anynet.id=123456789\n")), "123456789");
    EXPECT_TRUE(watch.Ended());
    EXPECT_EQ(watch.Poll(std::string("ad.anynet.id=123456789\n")), std::nullopt);

    IdWatch unread;
    for (int i = 0; i < IdWatch::kPolls - 1; ++i) unread.Poll(none);
    EXPECT_FALSE(unread.Ended());
    unread.Poll(std::string("ad.anynet.id=123456789\n"));
    EXPECT_TRUE(unread.Ended());
    EXPECT_EQ(unread.Poll(std::string("ad.anynet.id=123456789\n")), std::nullopt);
}

}  // namespace
}  // namespace tarn::testing
