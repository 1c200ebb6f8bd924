#include "windows/win32/ReminderWindow.h"

#include "platform/win32/Text.h"
#include "windows/Placement.h"
#include "windows/win32/Dpi.h"

namespace tarn {

namespace {

constexpr wchar_t kClassName[] = L"TarnKitReminder";
// A fixed tool window: a small caption with only the close button, no sizing
// border, never in the taskbar.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;

}  // namespace

ReminderWindow::ReminderWindow(HINSTANCE instance, const Deployment& deploy, MainPlace mainPlace)
    : instance_(instance), controls_(design::ReminderDesign(deploy)), mainPlace_(std::move(mainPlace)) {}

ReminderWindow::~ReminderWindow() {
    // Going away with the program: nobody is left to hear about it.
    onClosed_ = nullptr;
    Close();
}

void ReminderWindow::SetText(const std::string& text) {
    Load();
    ::SetWindowTextW(controls_.Handle(design::ReminderControl::Message), text::Widen(text).c_str());
}

std::uintptr_t ReminderWindow::Handle() {
    Load();
    return reinterpret_cast<std::uintptr_t>(hwnd_);
}

void ReminderWindow::Close() noexcept {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

void ReminderWindow::Load() {
    if (hwnd_) return;
    RegisterClassOnce(instance_, kClassName, 0, "無法註冊提醒視窗。");
    // No owner: the reminder stays when the main window is minimized, and
    // stands on its own in the window order.
    const std::wstring caption = text::Widen(controls_.Form().caption);
    if (!::CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, 0, 0, 0, 0, nullptr, nullptr, instance_,
                           this))
        throw PlatformError("無法建立提醒視窗。");

    // First centred on the screen, as it stands when shown.
    const SIZE outer = controls_.OuterSize(kStyle, kExStyle);
    const PixelSize size{outer.cx, outer.cy};
    RECT here{};
    ::GetWindowRect(hwnd_, &here);
    const std::optional<RECT> mainRect = mainPlace_ ? mainPlace_() : std::nullopt;
    const Screen screen = win::ScreenOfRect(mainRect ? *mainRect : here, controls_.Dpi());
    const PixelRect centred = CentredOn(size, screen.monitor);
    ::SetWindowPos(hwnd_, nullptr, centred.left, centred.top, size.width, size.height, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd_, SW_SHOW);

    // Then below (or above) the main window's current place, inside the work area.
    const PixelRect main = mainRect ? win::ToPixelRect(*mainRect)
                                    : PixelRect{centred.left, centred.top - size.height, centred.right, centred.top};
    const PixelRect place = ReminderPlace(size, main, screen);
    ::SetWindowPos(hwnd_, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::UpdateWindow(hwnd_);
}

LRESULT ReminderWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const std::optional<LRESULT> painted = controls_.HandleMessage(hwnd_, message, wParam, lParam))
        return *painted;
    switch (message) {
    case WM_CREATE:
        controls_.Create(hwnd_, instance_, "無法建立提醒視窗的標籤。");
        controls_.Layout(win::WindowDpi(hwnd_));
        return 0;
    case WM_DPICHANGED:
        controls_.Layout(HIWORD(wParam));
        controls_.FitAfterDpiChange(hwnd_, *reinterpret_cast<const RECT*>(lParam), kStyle, kExStyle);
        return 0;
    case WM_DESTROY:
        // The children go with the window; the brushes and fonts with it too.
        controls_.Destroy();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void ReminderWindow::AfterDestroy() {
    if (onClosed_) onClosed_();
}

}  // namespace tarn
