#include "windows/ProgressText.h"

#include <array>

#include "platform/WindowsPaths.h"

namespace tarn {

namespace {

// floor(10 * x / t) and the remainder, for x < t, without forming 10 * x:
// adding x ten times modulo t never exceeds t.
int NextDigit(std::uint64_t& x, std::uint64_t t) {
    std::uint64_t remainder = 0;
    int digit = 0;
    for (int i = 0; i < 10; ++i) {
        if (remainder >= t - x) {
            remainder -= t - x;
            ++digit;
        } else {
            remainder += x;
        }
    }
    x = remainder;
    return digit;
}

}  // namespace

std::string ByteSizeText(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    constexpr std::array<const char*, 3> kUnits = {"KB", "MB", "GB"};
    std::uint64_t unit = 1024;
    for (std::size_t i = 0;; ++i, unit *= 1024) {
        std::uint64_t whole = bytes / unit;
        // The remainder is below the unit (at most 2^40), so ten times it fits.
        std::uint64_t tenths = ((bytes % unit) * 10 + unit / 2) / unit;
        if (tenths == 10) {
            ++whole;
            tenths = 0;
        }
        if (whole >= 1024 && i + 1 < kUnits.size()) continue;
        return std::to_string(whole) + "." + std::to_string(tenths) + " " + kUnits[i];
    }
}

std::optional<int> ProgressPercent(std::uint64_t received, std::optional<std::uint64_t> total) {
    if (!total) return std::nullopt;
    const std::uint64_t whole = *total;
    if (received >= whole) return 100;
    std::uint64_t rest = received;
    const int tens = NextDigit(rest, whole);
    return tens * 10 + NextDigit(rest, whole);
}

std::string DownloadProgressText(const std::string& fileName, std::uint64_t received,
                                 std::optional<std::uint64_t> total) {
    std::string text = "正在下載 " + ProgramNameOf(fileName) + "…";
    // U+3000, the ideographic space, sets the number apart as a CJK text does.
    if (const auto percent = ProgressPercent(received, total)) text += "\u3000" + std::to_string(*percent) + "%";
    return text;
}

std::string DownloadSizesText(std::uint64_t received, std::optional<std::uint64_t> total) {
    std::string text = ByteSizeText(received);
    if (total) text += "／" + ByteSizeText(*total);
    return text;
}

}  // namespace tarn
