// Fonts and colours of the designs, made for a window at its DPI.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handle.h"
#include "windows/Designs.h"

namespace tarn::win {

inline COLORREF ToColorRef(design::Rgb c) noexcept { return RGB(c.r, c.g, c.b); }

// The face to ask for: the design's when the system has it, otherwise the
// first present of the faces that render Traditional Chinese, otherwise empty
// (the font mapper's choice for the character set).
std::wstring AvailableFace(const design::Font& font);

FontHandle MakeFont(const design::Font& font, int dpi);

}  // namespace tarn::win
