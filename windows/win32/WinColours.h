// The colour source for drawing: whether high contrast is on, and the
// colours of colours::LookOf as the GDI takes them.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "platform/Handle.h"
#include "windows/Colours.h"

namespace tarn::win {

// Asks SystemParametersInfoW(SPI_GETHIGHCONTRAST), or the answer given to
// AnswerHighContrast. The windows ask when they are made and again when the
// system's settings or colours change.
bool HighContrastOn() noexcept;

// Replaces the system's answer, or with nullptr gives it back. High contrast
// cannot be switched on under every system the program is tested on, so the
// drawing under it is tested through this.
void AnswerHighContrast(std::function<bool()> answer);

int SystemIndex(colours::System colour) noexcept;
COLORREF ToColorRef(const colours::Colour& colour) noexcept;

// Brushes for looks' colours: the system's own for its colours, one made
// once for each fixed colour, freed with the cache.
class BrushCache {
public:
    HBRUSH For(const colours::Colour& colour);
    void Clear() noexcept { made_.clear(); }

private:
    std::map<COLORREF, BrushHandle> made_;
};

}  // namespace tarn::win
