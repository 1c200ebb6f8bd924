// The topmost switch for the reminder.
#pragma once

#include "platform/Platform.h"

namespace tarn {

// Puts window at the top of the topmost group (flag true) or the non-topmost
// group. With true it answers what the platform answered, otherwise 0.
int SetTopMost(Platform& os, WindowId window, bool flag);

}  // namespace tarn
