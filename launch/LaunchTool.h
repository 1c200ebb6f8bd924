// One plain tool button's launch: stop, clean, fetch, pause, start, remind.
#pragma once

#include "launch/LaunchSteps.h"
#include "launch/ToolEntry.h"

namespace tarn {

void LaunchTool(const ToolEntry& entry, LaunchContext& context);

}  // namespace tarn
