// The plain tool buttons' launches, as data.
#pragma once

#include <array>

#include "launch/ToolEntry.h"

namespace tarn {

inline constexpr char kShortReminder[] = "請 (聯絡小森) 告知您的 ID";

// The AnyDesk reminder carries the support phone number.
std::string AnydeskReminder(const Deployment& deploy);

ToolEntry AnydeskEntry(const Deployment& deploy);
ToolEntry AwerayEntry();
ToolEntry Ie11Entry();
ToolEntry RustDeskEntry();
ToolEntry AeroAdminEntry();

// The five entries in catalogue order: AnyDesk, Aweray, IE11, RustDesk, AeroAdmin.
std::array<ToolEntry, 5> Catalogue(const Deployment& deploy);

}  // namespace tarn
