// The window's DPI and the monitor it stands on. The per-window DPI functions
// are looked up at run time, so that the program still starts on systems
// older than Windows 10 1607, where they are missing and the system DPI holds.
#pragma once

#include <windows.h>

#include "windows/Placement.h"

namespace tarn::win {

int WindowDpi(HWND window) noexcept;

// The outer size of a window whose client area is client at dpi.
SIZE OuterSizeForClient(PixelSize client, DWORD style, DWORD exStyle, int dpi) noexcept;

PixelRect ToPixelRect(const RECT& r) noexcept;

// The monitor nearest to rect, with its work area, and dpi.
Screen ScreenOfRect(const RECT& rect, int dpi) noexcept;
Screen ScreenOfWindow(HWND window) noexcept;

}  // namespace tarn::win
