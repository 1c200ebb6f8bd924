#include "windows/FrmTopMsg.h"

#include "platform/Text.h"
#include "windows/Dpi.h"
#include "windows/MainWindowLogic.h"
#include "windows/WinFonts.h"

namespace tarn {

namespace {

constexpr wchar_t kClassName[] = L"TarnKitTopMsg";
// A fixed tool window: a small caption with only the close button, no sizing
// border, never in the taskbar.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;

}  // namespace

FrmTopMsg::FrmTopMsg(HINSTANCE instance, const Deployment& deploy, MainPlace mainPlace)
    : instance_(instance), form_(design::TopMsgForm(deploy)), mainPlace_(std::move(mainPlace)) {}

FrmTopMsg::~FrmTopMsg() {
    // Going away with the program: nobody is left to hear about it.
    onClosed_ = nullptr;
    Close();
}

void FrmTopMsg::SetText(const std::string& text) {
    Load();
    ::SetWindowTextW(LabelWindow("lblTopMsg"), text::Widen(text).c_str());
}

std::uintptr_t FrmTopMsg::Handle() {
    Load();
    return reinterpret_cast<std::uintptr_t>(hwnd_);
}

void FrmTopMsg::Close() noexcept {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

void FrmTopMsg::Load() {
    if (hwnd_) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(instance_, kClassName, &wc)) {
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &FrmTopMsg::Procedure;
        wc.hInstance = instance_;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        if (!::RegisterClassExW(&wc)) throw PlatformError("無法註冊提醒視窗。");
    }
    // No owner: the reminder stays when the main window is minimized, and
    // stands on its own in the window order.
    const std::wstring caption = text::Widen(form_.caption);
    if (!::CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, 0, 0, 0, 0, nullptr, nullptr, instance_,
                           this))
        throw PlatformError("無法建立提醒視窗。");

    // First centred on the screen, as it stands when shown.
    const SIZE size = OuterSize();
    RECT here{};
    ::GetWindowRect(hwnd_, &here);
    std::optional<RECT> mainRect = mainPlace_ ? mainPlace_() : std::nullopt;
    const Screen screen = win::ScreenOfRect(mainRect ? *mainRect : here, dpi_);
    const int left = screen.monitor.left + (screen.monitor.Width() - size.cx) / 2;
    const int top = screen.monitor.top + (screen.monitor.Height() - size.cy) / 2;
    ::SetWindowPos(hwnd_, nullptr, left, top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd_, SW_SHOW);

    // Then below (or above) the main window's current place, inside the work area.
    const PixelRect main = mainRect ? win::ToPixelRect(*mainRect) : PixelRect{left, top - size.cy, left + size.cx, top};
    const PixelRect place = ReminderPlace({size.cx, size.cy}, main, screen);
    ::SetWindowPos(hwnd_, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::UpdateWindow(hwnd_);
}

SIZE FrmTopMsg::OuterSize() const {
    const design::PixelSize client = design::ClientSize(form_, dpi_);
    return win::OuterSizeForClient(client.width, client.height, kStyle, kExStyle, dpi_);
}

HWND FrmTopMsg::LabelWindow(const char* name) const {
    for (const Label& label : labels_)
        if (label.design->name == name) return label.hwnd;
    return nullptr;
}

void FrmTopMsg::CreateLabels() {
    labels_.clear();
    int id = 100;
    for (const design::Control* control : design::InTabOrder(form_)) {
        Label label;
        label.design = control;
        const DWORD align = control->align == design::Align::Center ? SS_CENTER : SS_LEFT;
        label.hwnd = ::CreateWindowExW(0, L"STATIC", text::Widen(control->caption).c_str(),
                                       WS_CHILD | WS_VISIBLE | align, 0, 0, 0, 0, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance_, nullptr);
        if (!label.hwnd) throw PlatformError("無法建立提醒視窗的標籤。");
        if (control->back) label.back.reset(::CreateSolidBrush(win::ToColorRef(*control->back)));
        labels_.push_back(std::move(label));
    }
}

void FrmTopMsg::ApplyDpi(int dpi) {
    dpi_ = dpi;
    FontHandle windowFont = win::MakeFont(form_.font, dpi_);
    FontHandle messageFont;
    for (const Label& label : labels_) {
        HFONT font = windowFont.get();
        if (label.design->font) {
            messageFont = win::MakeFont(*label.design->font, dpi_);
            font = messageFont.get();
        }
        ::SendMessageW(label.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        const PixelRect r = design::ControlRect(form_, *label.design, dpi_);
        ::SetWindowPos(label.hwnd, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The old fonts go only once no label uses them.
    windowFont_ = std::move(windowFont);
    messageFont_ = std::move(messageFont);
}

LRESULT FrmTopMsg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (form_.back) back_.reset(::CreateSolidBrush(win::ToColorRef(*form_.back)));
        CreateLabels();
        ApplyDpi(win::WindowDpi(hwnd_));
        return 0;
    case WM_ERASEBKGND: {
        RECT r{};
        ::GetClientRect(hwnd_, &r);
        ::FillRect(reinterpret_cast<HDC>(wParam), &r,
                   back_ ? back_.get() : reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
        return 1;
    }
    case WM_CTLCOLORSTATIC:
        for (const Label& label : labels_) {
            if (label.hwnd != reinterpret_cast<HWND>(lParam)) continue;
            HDC dc = reinterpret_cast<HDC>(wParam);
            if (label.design->fore) ::SetTextColor(dc, win::ToColorRef(*label.design->fore));
            if (label.back) {
                ::SetBkColor(dc, win::ToColorRef(*label.design->back));
                return reinterpret_cast<LRESULT>(label.back.get());
            }
        }
        break;
    case WM_DPICHANGED: {
        ApplyDpi(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        // The children go with the window; the brushes and fonts with it too.
        labels_.clear();
        back_.reset();
        windowFont_.reset();
        messageFont_.reset();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void FrmTopMsg::AfterDestroy() {
    if (onClosed_) onClosed_();
}

}  // namespace tarn
