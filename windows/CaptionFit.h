// How a button's caption is set: broken into lines only at blanks, and in a
// smaller size when a word or the block of lines does not fit the room the
// button leaves. Portable: the measuring is handed in, so the rule is the
// same whatever font measures it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "windows/Geometry.h"

namespace tarn {

struct CaptionSetting {
    int points = 0;
    std::vector<std::string> lines;
    bool fits = false;  // false: even the smallest size overflows
};

// The size of text set in points.
using MeasureText = std::function<PixelSize(int points, const std::string& text)>;

// From points down to minPoints, the first size at which the caption,
// filled greedily line by line at its blanks, fits room; the smallest size
// when none does.
CaptionSetting FitCaption(const std::string& caption, PixelSize room, int points, int minPoints,
                          const MeasureText& measure);

}  // namespace tarn
