// The launcher's own two routines over the platform operations: the file
// test every launch makes, and the topmost switch for the reminder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace tarn {

// True exactly when path names an existing file that is not a folder. Hidden,
// system and read-only files count. Never fails.
bool IsFilePresent(Platform& os, const std::string& path) noexcept;

// Puts window at the top of the topmost group (flag true) or the non-topmost
// group. With true it answers what the platform answered, otherwise 0.
int SetTopMost(Platform& os, std::uintptr_t window, bool flag);

}  // namespace tarn
