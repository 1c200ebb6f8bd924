// The bottom strip's words during a download: sizes, percentages and the line.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/WindowsPaths.h"
#include "windows/ProgressText.h"

namespace tarn::testing {
namespace {

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = 1024 * KiB;
constexpr std::uint64_t GiB = 1024 * MiB;

struct SizeCase {
    std::uint64_t bytes;
    const char* text;
};

class ByteSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ByteSize, ReadsAsPeopleWriteIt) { EXPECT_EQ(ByteSizeText(GetParam().bytes), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Cases, ByteSize,
                         ::testing::Values(SizeCase{0, "0 B"}, SizeCase{1023, "1023 B"}, SizeCase{1024, "1.0 KB"},
                                           SizeCase{1536, "1.5 KB"},
                                           // 1.05 rounds up, 1.04 down.
                                           SizeCase{1075, "1.0 KB"}, SizeCase{1076, "1.1 KB"},
                                           // Just under a mebibyte would read "1024.0 KB": the next unit instead.
                                           SizeCase{MiB - 1, "1.0 MB"}, SizeCase{MiB, "1.0 MB"},
                                           SizeCase{3 * MiB / 2, "1.5 MB"}, SizeCase{20 * MiB, "20.0 MB"},
                                           SizeCase{1023 * MiB + 900 * KiB, "1023.9 MB"}, SizeCase{GiB - 1, "1.0 GB"},
                                           SizeCase{5 * GiB + GiB / 4, "5.3 GB"},
                                           // No larger unit: gibibytes go on counting.
                                           SizeCase{2048 * GiB, "2048.0 GB"},
                                           SizeCase{std::numeric_limits<std::uint64_t>::max(), "17179869184.0 GB"}));

struct PercentCase {
    const char* name;
    std::uint64_t received;
    std::optional<std::uint64_t> total;
    std::optional<int> percent;
};

class Percent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(Percent, RoundsDownAndReachesHundredOnlyAtTheEnd) {
    EXPECT_EQ(ProgressPercent(GetParam().received, GetParam().total), GetParam().percent);
}

constexpr std::uint64_t kMaxTotal = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, Percent,
    ::testing::Values(PercentCase{"Unknown", 5, std::nullopt, std::nullopt}, PercentCase{"NothingYet", 0, 1000, 0},
                      PercentCase{"JustUnderOne", 9, 1000, 0}, PercentCase{"One", 10, 1000, 1},
                      PercentCase{"Example", 3 * MiB / 2, 20 * MiB, 7}, PercentCase{"OneByteShort", 999, 1000, 99},
                      PercentCase{"Whole", 1000, 1000, 100}, PercentCase{"MoreThanPromised", 1200, 1000, 100},
                      PercentCase{"EmptyBody", 0, 0, 100},
                      // Beyond 4 GiB, and where received * 100 would not fit in 64 bits.
                      PercentCase{"SixGiBHalf", 3 * GiB, 6 * GiB, 50},
                      PercentCase{"HugeOneByteShort", kMaxTotal - 1, kMaxTotal, 99},
                      PercentCase{"HugeThird", kMaxTotal / 3, kMaxTotal, 33},
                      PercentCase{"HugeTwoThirds", kMaxTotal / 3 * 2 + 1, kMaxTotal, 66}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineCase {
    const char* name;
    std::string file;
    std::uint64_t received;
    std::optional<std::uint64_t> total;
    std::string line, sizes;
};

class ProgressLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProgressLine, SaysInWordsWhatIsHappening) {
    const LineCase& c = GetParam();
    EXPECT_EQ(DownloadProgressText(c.file, c.received, c.total), c.line);
    EXPECT_EQ(DownloadSizesText(c.received, c.total), c.sizes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressLine,
    ::testing::Values(
        LineCase{"WithLength", "AnyDesk.exe", 3 * MiB / 2, 20 * MiB, "正在下載 AnyDesk…\u30007%", "1.5 MB／20.0 MB"},
        LineCase{"WithoutLength", "AnyDesk.exe", 3 * MiB / 2, std::nullopt, "正在下載 AnyDesk…", "1.5 MB"},
        LineCase{"Start", "RustDesk.EXE", 0, 4096, "正在下載 RustDesk…\u30000%", "0 B／4.0 KB"},
        LineCase{"Done", "tarn-ie11.exe", 4096, 4096, "正在下載 tarn-ie11…\u3000100%", "4.0 KB／4.0 KB"},
        // Only a last ".exe" goes.
        LineCase{"OtherEnding", "setup.exe.zip", 0, std::nullopt, "正在下載 setup.exe.zip…", "0 B"},
        LineCase{"OneLetterName", "A.exe", 0, std::nullopt, "正在下載 A…", "0 B"},
        LineCase{"LargerThanFourGiB", "Big.exe", 4 * GiB + GiB / 2, 9 * GiB, "正在下載 Big…\u300050%",
                 "4.5 GB／9.0 GB"}),
    [](const auto& info) { return std::string(info.param.name); });

// The slow-line notice: after five seconds without a new byte, and gone as
// soon as one arrives; a count that does not grow is no byte.
TEST(StallWatch, NoticesFiveSecondsWithoutAByte) {
    using std::chrono::milliseconds;
    const StallWatch::Clock::time_point t0{};
    StallWatch watch;
    watch.Begin(t0);
    struct Step {
        int atMs;
        std::optional<std::uint64_t> received;  // reported then, if any
        bool stalled;
    };
    const Step steps[] = {{4999, std::nullopt, false}, {5000, std::nullopt, true},   {5100, 0, true},
                          {5200, 10, false},           {10199, 10, false},           {10200, std::nullopt, true},
                          {10300, 11, false},          {15299, std::nullopt, false}, {15300, std::nullopt, true}};
    for (const Step& s : steps) {
        const auto now = t0 + milliseconds(s.atMs);
        if (s.received) watch.Progress(*s.received, now);
        EXPECT_EQ(watch.Stalled(now), s.stalled) << "at " << s.atMs << " ms";
    }
    watch.Begin(t0 + milliseconds(20000));
    EXPECT_FALSE(watch.Stalled(t0 + milliseconds(20001))) << "a new download starts afresh";
}

TEST(ProgressFileName, IsTheLastPartOfThePath) {
    EXPECT_EQ(FileNameOf("c:\\temp\\AnyDesk.exe"), "AnyDesk.exe");
    EXPECT_EQ(FileNameOf("c:\\temp\\RustDesk\\RustDesk.exe"), "RustDesk.exe");
    EXPECT_EQ(FileNameOf("a/b/c.exe"), "c.exe");
    EXPECT_EQ(FileNameOf("plain.exe"), "plain.exe");
    EXPECT_EQ(FileNameOf("c:\\temp\\"), "");
}

}  // namespace
}  // namespace tarn::testing
