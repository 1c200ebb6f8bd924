// One window, one object: the object comes in through CreateWindowExW's create
// parameter, is stored at WM_NCCREATE, read back for every later message and
// let go at WM_NCDESTROY, so no late message reaches an object that is gone.
// No exception leaves the window procedure: with mingw's unwinding it cannot
// cross user32's frames and the program would simply end. A failure becomes a
// message box instead.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "platform/win32/Text.h"
#include "resources/version.h"

namespace tarn::win {

// A window class: registered by the first window of its kind, found by the
// later ones. The background is the system's button face, which a window
// with a colour of its own paints over.
struct WindowClass {
    const wchar_t* name = nullptr;
    WNDPROC procedure = nullptr;
    int iconId = 0;  // the icon resource for caption and taskbar; 0: none
};

// Throws PlatformError with failure when the class cannot be registered.
void RegisterWindowClass(HINSTANCE instance, const WindowClass& windowClass, const char* failure);

// Tells the user about a failure no handler expected.
inline void ReportUnexpected(HWND owner, const char* what) noexcept {
    try {
        const std::wstring message = L"執行錯誤：" + text::Widen(what ? what : "");
        ::MessageBoxW(owner, message.c_str(), TARNKIT_WIDEN(TARNKIT_PRODUCT_NAME), MB_OK | MB_ICONERROR);
    } catch (...) {
        ::MessageBoxW(owner, L"執行錯誤", TARNKIT_WIDEN(TARNKIT_PRODUCT_NAME), MB_OK | MB_ICONERROR);
    }
}

template <typename Derived>
class WindowBase {
public:
    HWND Window() const noexcept { return hwnd_; }

protected:
    static void RegisterClassOnce(HINSTANCE instance, const wchar_t* name, int iconId, const char* failure) {
        RegisterWindowClass(instance, {name, &Procedure, iconId}, failure);
    }

    WindowBase() = default;
    ~WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
        Derived* self = nullptr;
        if (message == WM_NCCREATE) {
            self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);

        LRESULT result = 0;
        try {
            result = self->HandleMessage(message, wParam, lParam);
        } catch (const std::exception& error) {
            ReportUnexpected(hwnd, error.what());
            result = FailedResult(message);
        } catch (...) {
            ReportUnexpected(hwnd, "");
            result = FailedResult(message);
        }
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            try {
                self->AfterDestroy();
            } catch (...) {
                // Nothing to tell the user about a window that is gone.
            }
        }
        return result;
    }

    HWND hwnd_ = nullptr;

private:
    // A window whose creation fails is not created at all.
    static LRESULT FailedResult(UINT message) noexcept {
        if (message == WM_NCCREATE) return FALSE;
        if (message == WM_CREATE) return -1;
        return 0;
    }
};

}  // namespace tarn::win
