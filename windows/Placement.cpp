#include "windows/Placement.h"

#include <algorithm>

namespace tarn {

namespace {

int ClampEdge(int start, int length, int areaStart, int areaEnd) {
    if (length >= areaEnd - areaStart) return areaStart;
    return std::clamp(start, areaStart, areaEnd - length);
}

}  // namespace

PixelRect CentredOn(PixelSize size, const PixelRect& monitor) {
    const int left = monitor.left + (monitor.Width() - size.width) / 2;
    const int top = monitor.top + (monitor.Height() - size.height) / 2;
    return {left, top, left + size.width, top + size.height};
}

PixelRect MainWindowPlace(const PixelRect& outer, const Screen& screen) {
    const int top = screen.monitor.bottom - outer.Height() - TwipsToPixels(900, screen.dpi);
    const PixelRect moved{outer.left, top, outer.right, top + outer.Height()};
    // On an ordinary screen this changes nothing; on a short one the computed
    // top would put the window partly off the screen.
    return ClampInto(moved, screen.workArea);
}

PixelRect ReminderPlace(PixelSize size, const PixelRect& mainWindow, const Screen& screen) {
    const int left = CentredOn(size, screen.monitor).left;
    const PixelRect below{left, mainWindow.bottom, left + size.width, mainWindow.bottom + size.height};
    const bool belowFits = below.top >= screen.workArea.top && below.bottom <= screen.workArea.bottom;
    const PixelRect chosen =
        belowFits ? below : PixelRect{left, mainWindow.top - size.height, left + size.width, mainWindow.top};
    return ClampInto(chosen, screen.workArea);
}

PixelRect ClampInto(const PixelRect& r, const PixelRect& area) {
    const int left = ClampEdge(r.left, r.Width(), area.left, area.right);
    const int top = ClampEdge(r.top, r.Height(), area.top, area.bottom);
    return {left, top, left + r.Width(), top + r.Height()};
}

}  // namespace tarn
