// Twips and pixels: the designs are written in twips (1440 to the inch), the
// screen is measured in pixels. Portable, so that the designs and the rules
// that place the windows are tested natively.
#pragma once

#include <cstdint>

namespace tarn {

inline constexpr int kTwipsPerInch = 1440;

struct PixelSize {
    int width = 0, height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    PixelSize Size() const { return {Width(), Height()}; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// twips * dpi / 1440, rounded half away from zero as MulDiv does. The
// product is formed in 64 bits, so no design size overflows at any DPI.
constexpr int TwipsToPixels(int twips, int dpi) {
    const std::int64_t product = static_cast<std::int64_t>(twips) * dpi;
    const std::int64_t half = kTwipsPerInch / 2;
    const std::int64_t rounded = product >= 0 ? (product + half) / kTwipsPerInch : -((-product + half) / kTwipsPerInch);
    return static_cast<int>(rounded);
}

}  // namespace tarn
