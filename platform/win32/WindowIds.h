// The platform's WindowId and the HWND it stands for.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/Platform.h"

namespace tarn {

inline WindowId IdOf(HWND window) noexcept { return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window)); }
inline HWND HwndOf(WindowId window) noexcept { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }

}  // namespace tarn
