#include "windows/ReminderId.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr std::string_view kIdKey = "ad.anynet.id=";
constexpr std::size_t kFewestDigits = 6;
constexpr std::size_t kMostDigits = 12;

bool AllDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

bool ShouldReadIdFile(bool folder, bool link, std::uint64_t size) { return !folder && !link && size <= kIdFileLimit; }

std::optional<std::string> ClientIdIn(std::string_view bytes) {
    std::optional<std::string_view> value;  // of the last line with the key
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
        const std::string_view line = bytes.substr(start, end - start);
        if (line.substr(0, kIdKey.size()) == kIdKey) value = line.substr(kIdKey.size());
        start = end + 1;
    }
    if (!value) return std::nullopt;
    std::string_view digits = *value;
    if (!digits.empty() && digits.back() == '\r') digits.remove_suffix(1);
    if (digits.size() < kFewestDigits || digits.size() > kMostDigits || !AllDigits(digits)) return std::nullopt;
    return std::string(digits);
}

std::string GroupedId(std::string_view digits) {
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
        grouped += digits[i];
    }
    return grouped;
}

std::optional<std::string> IdWatch::Poll(const std::optional<std::string>& bytes) {
    if (Ended()) return std::nullopt;
    ++polls_;
    std::optional<std::string> id = bytes ? ClientIdIn(*bytes) : std::nullopt;
    const bool steady = id && id == last_;
    last_ = std::move(id);
    if (!steady) return std::nullopt;
    shown_ = true;
    return last_;
}

IdRowDesign ReminderIdRow() {
    IdRowDesign row;
    row.height = 780;
    row.digitsLeft = 120;
    row.digitsTop = 60;
    row.digitsWidth = 4800;
    row.digitsHeight = 660;
    row.copyLeft = 5100;
    row.copyTop = 135;
    row.copyWidth = 2040;
    row.copyHeight = 510;
    // Large enough to read out digit by digit; the message's blue, which
    // keeps well over 4.5:1 on the reminder's pale background.
    row.digitsFont = design::Font{design::kWindowFontFace, 24, 700, 136};
    row.digitsColour = design::Rgb{0, 0, 255};
    return row;
}

IdRowRects IdRowLayout(const IdRowDesign& row, int designClientWidth, int designClientHeight, int dpi) {
    const PixelSize client{TwipsToPixels(designClientWidth, dpi), TwipsToPixels(designClientHeight + row.height, dpi)};
    auto place = [&](int left, int top, int width, int height) {
        return design::PlaceInContainer(left, designClientHeight + top, width, height, design::Dock::None, client, dpi);
    };
    return {place(row.digitsLeft, row.digitsTop, row.digitsWidth, row.digitsHeight),
            place(row.copyLeft, row.copyTop, row.copyWidth, row.copyHeight), client};
}

}  // namespace tarn
