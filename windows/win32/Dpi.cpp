#include "windows/win32/Dpi.h"

#include "platform/win32/SystemLibrary.h"
#include "windows/win32/DeviceContext.h"

namespace tarn::win {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// Newer than the oldest Windows the program runs on, so looked up rather
// than imported; looked up as the program starts (user32 is loaded by then),
// so that no function-local static needs the C++ runtime's thread-safe guard.
const GetDpiForWindowFn getDpiForWindow = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
const AdjustWindowRectExForDpiFn adjustForDpi =
    SystemFunction<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");

int SystemDpi() noexcept {
    const WindowDc screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? dpi : 96;
}

}  // namespace

int WindowDpi(HWND window) noexcept {
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

SIZE OuterSizeForClient(PixelSize client, DWORD style, DWORD exStyle, int dpi) noexcept {
    RECT r{0, 0, client.width, client.height};
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return {r.right - r.left, r.bottom - r.top};
}

PixelRect ToPixelRect(const RECT& r) noexcept { return {r.left, r.top, r.right, r.bottom}; }

Screen ScreenOfRect(const RECT& rect, int dpi) noexcept {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = ::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !::GetMonitorInfoW(monitor, &info)) {
        const RECT whole{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        return {ToPixelRect(whole), ToPixelRect(whole), dpi};
    }
    return {ToPixelRect(info.rcMonitor), ToPixelRect(info.rcWork), dpi};
}

Screen ScreenOfWindow(HWND window) noexcept {
    RECT r{};
    ::GetWindowRect(window, &r);
    return ScreenOfRect(r, WindowDpi(window));
}

}  // namespace tarn::win
