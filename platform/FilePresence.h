// The file test every launch makes.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace tarn {

// True exactly when path names an existing file that is not a folder. Hidden,
// system and read-only files count. Never fails.
bool IsFilePresent(Platform& os, const std::string& path) noexcept;

}  // namespace tarn
