// The plain tool buttons' launches, as data.
#pragma once

#include <string>

#include "launch/Deployment.h"
#include "launch/ToolEntry.h"

namespace tarn {

inline constexpr char kShortReminder[] = "請 (聯絡小森) 告知您的 ID";

// The clients' configuration files, below the user's AppData folder.
inline constexpr char kAnyDeskConfigBelowAppData[] = "\\AnyDesk\\system.conf";
inline constexpr char kRustDeskConfigBelowAppData[] = "\\RustDesk\\config\\RustDesk2.toml";

// The AnyDesk reminder carries the support phone number.
std::string AnyDeskReminder(const Deployment& deploy);

ToolEntry AnyDeskEntry(const Deployment& deploy);
ToolEntry AwerayEntry();
ToolEntry Ie11Entry();
ToolEntry RustDeskEntry();
ToolEntry AeroAdminEntry();

}  // namespace tarn
