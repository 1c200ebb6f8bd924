// The topmost switch for the reminder.
#pragma once

#include "platform/Platform.h"

namespace tarn {

// Puts window at the top of the topmost group (flag true) or the non-topmost
// group. With true it answers 1 when the window was moved and 0 when not;
// with false, always 0.
int SetTopMost(Platform& os, WindowId window, bool flag);

}  // namespace tarn
