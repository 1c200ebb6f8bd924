// What the main window's bottom strip says while a program file downloads.
// Portable, so that the wording and the arithmetic are tested natively.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tarn {

inline constexpr char kCancelDownloadCaption[] = "取消下載";

// A byte count for people: "512 B", then KB, MB and GB (binary multiples)
// with one decimal, rounded half up; a value that rounds to 1024 of one unit
// is written in the next.
std::string ByteSizeText(std::uint64_t bytes);

// How much of total has arrived, in whole percent rounded down, so 100 only
// once everything is there; nullopt when the total is not known.
// Exact for any size: no product of the counts is formed.
std::optional<int> ProgressPercent(std::uint64_t received, std::optional<std::uint64_t> total);

// What is happening, in words: "正在下載 NAME…" with the program's name
// (the file's without ".exe") and, when the total is known, a full-width
// space and the percentage.
std::string DownloadProgressText(const std::string& fileName, std::uint64_t received,
                                 std::optional<std::uint64_t> total);

// The sizes, in the smaller type beside the line: "X／Y", or "X" alone
// without a total.
std::string DownloadSizesText(std::uint64_t received, std::optional<std::uint64_t> total);

// Shown in place of the line from a dropped line until the rest comes.
inline constexpr char kResumingText[] = "連線中斷，正在接續下載…";

// Shown in place of the line while no byte has come for kStallNotice.
inline constexpr char kSlowNetworkText[] = "網路很慢，正在等待…";
inline constexpr std::chrono::seconds kStallNotice{5};

// Notices a download that has stopped bringing bytes. Told every count the
// download reports and asked at intervals, each time with the moment it is,
// so the wording is tested without waiting.
class StallWatch {
public:
    using Clock = std::chrono::steady_clock;

    void Begin(Clock::time_point now) {
        received_ = 0;
        lastByte_ = now;
    }
    // A count that has grown is a byte arriving; an unchanged one (a total
    // learnt) is not.
    void Progress(std::uint64_t received, Clock::time_point now) {
        if (received > received_) lastByte_ = now;
        received_ = received;
    }
    bool Stalled(Clock::time_point now) const { return now - lastByte_ >= kStallNotice; }

private:
    std::uint64_t received_ = 0;
    Clock::time_point lastByte_{};
};

}  // namespace tarn
