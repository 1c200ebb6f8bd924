#include "windows/win32/DesignedControls.h"

#include "platform/win32/Text.h"
#include "windows/win32/WindowBase.h"

namespace tarn::win {

namespace {

constexpr wchar_t kPanelClassName[] = L"TarnKitPanel";

// A panel is a plain container; what its controls report reaches the window,
// which handles it as it handles its own controls.
LRESULT CALLBACK PanelProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM:
        if (HWND parent = ::GetParent(hwnd)) return ::SendMessageW(parent, message, wParam, lParam);
        break;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

HWND CreateControl(HWND parent, HINSTANCE instance, const ControlLook& look, const std::string& caption, int id,
                   const char* failure) {
    const wchar_t* className = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (look.kind) {
    case design::Kind::Button:
        // Owner-drawn, the only way a push button shows its own colour.
        style |= WS_TABSTOP | BS_OWNERDRAW;
        break;
    case design::Kind::Panel:
        RegisterWindowClass(instance, {kPanelClassName, &PanelProcedure}, failure);
        className = kPanelClassName;
        style |= WS_CLIPCHILDREN;
        break;
    case design::Kind::Label:
        className = L"STATIC";
        // Only a label that does something on a click reports one. Such a
        // label is disabled while a launch runs, and a disabled static
        // control would draw its text in the system's grey over the design's
        // fixed fill: it is owner-drawn, in the colours of its state.
        style |=
            look.clickable ? SS_NOTIFY | SS_OWNERDRAW : (look.align == design::Align::Center ? SS_CENTER : SS_LEFT);
        break;
    }
    HWND control = ::CreateWindowExW(0, className, text::Widen(caption).c_str(), style, 0, 0, 0, 0, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!control) throw PlatformError(failure);
    return control;
}

void PlaceControl(HWND control, const PixelRect& r, HFONT font) noexcept {
    ::SetWindowPos(control, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

LRESULT LabelColours(HDC dc, const colours::Look& look, BrushCache& brushes) {
    ::SetTextColor(dc, ToColorRef(look.text));
    ::SetBkColor(dc, ToColorRef(look.fill));
    return reinterpret_cast<LRESULT>(brushes.For(look.fill));
}

colours::State StateOf(HWND control) noexcept {
    if (!::IsWindowEnabled(control)) return colours::State::Disabled;
    return ::GetFocus() == control ? colours::State::Focused : colours::State::Normal;
}

void EraseWith(HWND window, HDC dc, HBRUSH brush) noexcept {
    RECT r{};
    ::GetClientRect(window, &r);
    ::FillRect(dc, &r, brush);
}

}  // namespace tarn::win
