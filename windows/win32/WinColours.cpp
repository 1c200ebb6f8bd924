#include "windows/win32/WinColours.h"

#include "windows/win32/WinFonts.h"

namespace tarn::win {

namespace {

// Only the window thread draws and asks.
std::function<bool()> highContrastAnswer;

}  // namespace

bool HighContrastOn() noexcept {
    if (highContrastAnswer) {
        try {
            return highContrastAnswer();
        } catch (...) {
            return false;
        }
    }
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void AnswerHighContrast(std::function<bool()> answer) { highContrastAnswer = std::move(answer); }

int SystemIndex(colours::System colour) noexcept {
    switch (colour) {
    case colours::System::ButtonFace:
        return COLOR_BTNFACE;
    case colours::System::ButtonText:
        return COLOR_BTNTEXT;
    case colours::System::Window:
        return COLOR_WINDOW;
    case colours::System::WindowText:
        return COLOR_WINDOWTEXT;
    case colours::System::GrayText:
        return COLOR_GRAYTEXT;
    case colours::System::Highlight:
        return COLOR_HIGHLIGHT;
    }
    return COLOR_WINDOWTEXT;
}

COLORREF ToColorRef(const colours::Colour& colour) noexcept {
    if (const auto* system = std::get_if<colours::System>(&colour)) return ::GetSysColor(SystemIndex(*system));
    return ToColorRef(std::get<design::Rgb>(colour));
}

HBRUSH BrushCache::For(const colours::Colour& colour) {
    if (const auto* system = std::get_if<colours::System>(&colour)) return ::GetSysColorBrush(SystemIndex(*system));
    const COLORREF rgb = ToColorRef(colour);
    auto it = made_.find(rgb);
    if (it == made_.end()) it = made_.emplace(rgb, BrushHandle(::CreateSolidBrush(rgb))).first;
    return it->second.get();
}

}  // namespace tarn::win
