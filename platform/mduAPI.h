// The launcher's own two routines over the platform operations.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace tarn {

inline constexpr std::intptr_t kHwndTopMost = -1;
inline constexpr std::intptr_t kHwndNoTopMost = -2;
inline constexpr unsigned kSwpNoSizeNoMove = 3;

// True exactly when path names an existing file that is not a folder. Hidden,
// system and read-only files count. Never fails.
bool IsFilePresent(Platform& os, const std::string& path) noexcept;

// Puts window at the top of the topmost group (flag true) or the non-topmost
// group. With true it answers what SetWindowPos answered, otherwise 0.
int SetTopMost(Platform& os, std::uintptr_t window, bool flag);

}  // namespace tarn
