#include "windows/win32/Dpi.h"

namespace tarn::win {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename Fn>
Fn User32Function(const char* name) noexcept {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

// Looked up as the program starts (user32 is loaded by then), so that no
// function-local static needs the C++ runtime's thread-safe guard.
const GetDpiForWindowFn getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
const AdjustWindowRectExForDpiFn adjustForDpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");

int SystemDpi() noexcept {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
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
