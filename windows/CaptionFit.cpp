#include "windows/CaptionFit.h"

namespace tarn {

namespace {

std::vector<std::string> Words(const std::string& caption) {
    std::vector<std::string> words;
    std::string word;
    for (char c : caption) {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

CaptionSetting SetAt(const std::vector<std::string>& words, PixelSize room, int points, const MeasureText& measure) {
    CaptionSetting setting;
    setting.points = points;
    setting.fits = true;
    for (const std::string& word : words) {
        if (measure(points, word).width > room.width) setting.fits = false;
        if (!setting.lines.empty()) {
            const std::string joined = setting.lines.back() + " " + word;
            if (measure(points, joined).width <= room.width) {
                setting.lines.back() = joined;
                continue;
            }
        }
        setting.lines.push_back(word);
    }
    int height = 0;
    for (const std::string& line : setting.lines) height += measure(points, line).height;
    if (height > room.height) setting.fits = false;
    return setting;
}

}  // namespace

CaptionSetting FitCaption(const std::string& caption, PixelSize room, int points, int minPoints,
                          const MeasureText& measure) {
    const std::vector<std::string> words = Words(caption);
    CaptionSetting setting;
    for (int p = points; p >= minPoints; --p) {
        setting = SetAt(words, room, p, measure);
        if (setting.fits) return setting;
    }
    return setting;
}

}  // namespace tarn
