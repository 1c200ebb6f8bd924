// The two client configuration files that launches write before starting a
// client: AnyDesk's system.conf (GSN proxy) and RustDesk's RustDesk2.toml
// (own server). The contents are pure functions so their bytes can be checked
// without any file system.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tarn {

// The six lines of system.conf that force AnyDesk through the proxy on port 80.
std::vector<std::string> SystemConfLines(const std::string& proxyHost);

// The ten lines of RustDesk2.toml naming the own server for rendezvous
// (21116) and relay (21117); with a non-empty key, an eleventh line
// `key = "..."` follows the relay line.
std::vector<std::string> RustDeskTomlLines(const std::string& host, const std::string& key);

// Writes system.conf below appData with the replacing writer, first creating
// the folder "AnyDesk" inside appData when it is missing (never appData
// itself). Throws PlatformError; with an unusable appData nothing is written.
void WriteSystemConf(Platform& os, const std::string& appData, const std::string& proxyHost);

// Writes RustDesk2.toml below appData, replacing any earlier file,
// first creating "RustDesk" and "RustDesk\config" inside appData when they are
// missing. Throws PlatformError; with an unusable appData nothing is written.
void WriteRustDeskToml(Platform& os, const std::string& appData, const std::string& host, const std::string& key);

}  // namespace tarn
