// The text files the launches write (configuration files): one byte per
// character in the ANSI code page, as the clients read them.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tarn {

// Creates path, or empties it when it exists, for writing line by line.
// Throws PlatformError with the system's reason, naming path.
std::unique_ptr<TextFile> CreateOrTruncate(const std::string& path);

}  // namespace tarn
