// Where the two windows stand on the screen, decided without a window from
// the monitor and its work area, so that short screens, side bars and second
// monitors are tested natively. The Win32 side only measures and moves.
#pragma once

#include "windows/Geometry.h"

namespace tarn {

// The monitor a window stands on, in pixels, and its DPI.
struct Screen {
    PixelRect monitor;
    PixelRect workArea;  // the monitor without the taskbar and docked bars
    int dpi = 96;
};

// A window of size centred on the monitor: where both windows first appear.
PixelRect CentredOn(PixelSize size, const PixelRect& monitor);

// The main window's place after the start-up step, from its current outer
// rectangle: its bottom 900 twips above the monitor's, kept inside the work
// area.
PixelRect MainWindowPlace(const PixelRect& outer, const Screen& screen);

// The reminder's place when it loads: directly below the main window when it
// then lies inside the work area, otherwise directly above it; centred on the
// screen; in every case kept inside the work area.
PixelRect ReminderPlace(PixelSize size, const PixelRect& mainWindow, const Screen& screen);

// r moved, not resized, to lie inside area; a rectangle larger than area keeps
// its top-left corner at area's, so that its caption stays reachable.
PixelRect ClampInto(const PixelRect& r, const PixelRect& area);

}  // namespace tarn
