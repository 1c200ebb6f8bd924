// What the main window's bottom strip says while a program file downloads.
// Portable, so that the wording and the arithmetic are tested natively.
#pragma once

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
// once everything is there; nullopt when the total is not known (negative).
// Exact for any size: no product of the counts is formed.
std::optional<int> ProgressPercent(std::uint64_t received, std::int64_t total);

// "正在下載 NAME：已接收 X" and, when the total is known, "，共 Y（P%）".
std::string DownloadProgressText(const std::string& fileName, std::uint64_t received, std::int64_t total);

}  // namespace tarn
