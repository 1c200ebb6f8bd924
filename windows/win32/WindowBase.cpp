#include "windows/win32/WindowBase.h"

#include "platform/Platform.h"

namespace tarn::win {

namespace {

HICON LoadIconSized(HINSTANCE instance, int iconId, int metricX, int metricY) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, ::GetSystemMetrics(metricX),
                                           ::GetSystemMetrics(metricY), LR_DEFAULTCOLOR));
}

}  // namespace

void RegisterWindowClass(HINSTANCE instance, const WindowClass& windowClass, const char* failure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExW(instance, windowClass.name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowClass.procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    if (windowClass.iconId) {
        wc.hIcon = LoadIconSized(instance, windowClass.iconId, SM_CXICON, SM_CYICON);
        wc.hIconSm = LoadIconSized(instance, windowClass.iconId, SM_CXSMICON, SM_CYSMICON);
    }
    wc.lpszClassName = windowClass.name;
    if (!::RegisterClassExW(&wc)) throw PlatformError(failure);
}

}  // namespace tarn::win
