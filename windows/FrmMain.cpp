#include "windows/FrmMain.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/Text.h"
#include "resources/resource_ids.h"
#include "windows/Dpi.h"
#include "launch/WindowsPaths.h"
#include "windows/ProgressText.h"
#include "windows/WinFonts.h"

namespace tarn {

namespace {

constexpr wchar_t kClassName[] = L"TarnKitMain";
constexpr wchar_t kPanelClassName[] = L"TarnKitPanel";
// Fixed single border with close and minimize boxes; no maximize box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;
constexpr int kFirstId = 100;  // clear of IDOK and IDCANCEL, which the dialog keys send
// The progress strip's controls, below the design's ids.
constexpr int kProgressTextId = 90;
constexpr int kProgressBarId = 91;
constexpr int kCancelDownloadId = 92;
// The strip's text is smaller than the window's, so that a long line with
// both sizes and the percentage fits beside the bar and the cancel button.
constexpr int kProgressPoints = 9;

// The bottom strip is a plain container; what its label says reaches the main
// window, which handles it.
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

void RegisterOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HICON icon, HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExW(instance, name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.lpszClassName = name;
    if (!::RegisterClassExW(&wc)) throw PlatformError("無法註冊主視窗。");
}

HICON LoadAppIcon(HINSTANCE instance, int metricX, int metricY) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, ::GetSystemMetrics(metricX),
                                           ::GetSystemMetrics(metricY), LR_DEFAULTCOLOR));
}

// Clears a flag however the scope is left.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

// One click's work: the buttons and the label take no clicks until it ends,
// however it ends, and the focus then goes back where it was.
class FrmMain::LaunchScope {
public:
    explicit LaunchScope(FrmMain& window) : window_(window) {
        window_.busy_ = true;
        // While this runs the window refuses to end the session; Windows
        // shows the person why instead of an unnamed program holding it up.
        ::ShutdownBlockReasonCreate(window_.hwnd_, text::Widen(kLaunchRunningReason).c_str());
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(window_.hwnd_, focus)) window_.lastFocus_ = focus;
        focusBefore_ = window_.lastFocus_;
        window_.EnableClicks(false);
    }
    ~LaunchScope() {
        window_.busy_ = false;
        if (!window_.hwnd_) return;
        ::ShutdownBlockReasonDestroy(window_.hwnd_);
        window_.EnableClicks(true);
        // Whatever had the focus meanwhile (the cancel button) is gone.
        window_.lastFocus_ = focusBefore_;
        if (::GetActiveWindow() == window_.hwnd_ && focusBefore_ && ::IsWindow(focusBefore_))
            ::SetFocus(focusBefore_);
    }
    LaunchScope(const LaunchScope&) = delete;
    LaunchScope& operator=(const LaunchScope&) = delete;

private:
    FrmMain& window_;
    HWND focusBefore_ = nullptr;
};

FrmMain::FrmMain(HINSTANCE instance, Platform& os, FrmTopMsg& reminder, const Deployment& deploy)
    : instance_(instance), os_(os), reminder_(reminder), deploy_(deploy), form_(design::MainForm(deploy)) {}

FrmMain::~FrmMain() {
    onDestroyed_ = nullptr;
    if (hwnd_) ::DestroyWindow(hwnd_);
}

bool FrmMain::Create() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    RegisterOnce(instance_, kClassName, &FrmMain::Procedure, LoadAppIcon(instance_, SM_CXICON, SM_CYICON),
                 LoadAppIcon(instance_, SM_CXSMICON, SM_CYSMICON));
    RegisterOnce(instance_, kPanelClassName, &PanelProcedure, nullptr, nullptr);
    const std::wstring caption = text::Widen(form_.caption);
    // Created hidden: the start-up step runs before the window is first shown.
    ::CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                      nullptr, instance_, this);
    return hwnd_ != nullptr;
}

bool FrmMain::PreTranslateMessage(MSG& msg) {
    if (!hwnd_) return false;
    if (progress_ && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE &&
        (msg.hwnd == hwnd_ || ::IsChild(hwnd_, msg.hwnd))) {
        CancelDownload();
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        HWND focus = ::GetFocus();
        Item* item = FindItem(focus);
        if (item && item->design->kind == design::Kind::Button) {
            ::SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(item->id, BN_CLICKED), reinterpret_cast<LPARAM>(focus));
            return true;
        }
    }
    // Tab, Shift+Tab and arrow keys along the window order, which is the
    // design's tab order; Space reaches the focused button, which clicks.
    return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

FrmMain::Item* FrmMain::FindItem(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (Item& item : items_)
        if (item.hwnd == hwnd) return &item;
    return nullptr;
}

FrmMain::Item* FrmMain::FindItem(int id) {
    for (Item& item : items_)
        if (item.id == id) return &item;
    return nullptr;
}

HWND FrmMain::Strip() const {
    for (const Item& item : items_)
        if (item.design->kind == design::Kind::PictureBox) return item.hwnd;
    return nullptr;
}

HWND FrmMain::BottomLabel() const {
    for (const Item& item : items_)
        if (item.design->kind == design::Kind::Label) return item.hwnd;
    return nullptr;
}

void FrmMain::EnableClicks(bool enable) {
    for (const Item& item : items_) {
        if (item.design->kind == design::Kind::PictureBox) continue;
        ::EnableWindow(item.hwnd, enable ? TRUE : FALSE);
        // Owner-drawn: the look follows the state only when drawn again.
        ::InvalidateRect(item.hwnd, nullptr, TRUE);
    }
}

void FrmMain::CreateControls() {
    items_.clear();
    items_.reserve(form_.controls.size());
    for (const design::Control* control : design::InTabOrder(form_)) {
        Item item;
        item.design = control;
        item.id = kFirstId + static_cast<int>(control - form_.controls.data());
        HWND parent = hwnd_;
        if (!control->container.empty()) {
            auto container = std::find_if(items_.begin(), items_.end(),
                                          [&](const Item& i) { return i.design->name == control->container; });
            if (container == items_.end()) throw PlatformError("版面錯誤：" + control->name);
            parent = container->hwnd;
        }
        const wchar_t* className = L"BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE;
        switch (control->kind) {
        case design::Kind::Button:
            // Owner-drawn, the only way a push button shows its own colour.
            style |= WS_TABSTOP | BS_OWNERDRAW;
            break;
        case design::Kind::PictureBox:
            className = kPanelClassName;
            style |= WS_CLIPCHILDREN;
            break;
        case design::Kind::Label:
            className = L"STATIC";
            style |= SS_NOTIFY | (control->align == design::Align::Center ? SS_CENTER : SS_LEFT);
            break;
        }
        item.hwnd = ::CreateWindowExW(0, className, text::Widen(control->caption).c_str(), style, 0, 0, 0, 0, parent,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)), instance_, nullptr);
        if (!item.hwnd) throw PlatformError("無法建立控制項：" + control->name);
        if (control->back) item.back.reset(::CreateSolidBrush(win::ToColorRef(*control->back)));
        items_.push_back(std::move(item));
    }
}

void FrmMain::Layout(int dpi) {
    dpi_ = dpi;
    FontHandle font = win::MakeFont(form_.font, dpi_);
    for (const Item& item : items_) {
        const PixelRect r = design::ControlRect(form_, *item.design, dpi_);
        ::SetWindowPos(item.hwnd, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    // The old font goes only once no control uses it.
    font_ = std::move(font);
    if (progress_) LayoutProgress();
}

void FrmMain::DrawButton(const DRAWITEMSTRUCT& draw) {
    Item* item = FindItem(draw.hwndItem);
    if (!item) return;
    HDC dc = draw.hDC;
    RECT r = draw.rcItem;
    const bool pressed = (draw.itemState & ODS_SELECTED) != 0;
    const bool focused = (draw.itemState & ODS_FOCUS) != 0;
    const bool disabled = (draw.itemState & ODS_DISABLED) != 0;

    if (item->isDefault) {
        ::FrameRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::InflateRect(&r, -1, -1);
    }
    ::FillRect(dc, &r, item->back ? item->back.get() : ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    wchar_t caption[256] = {};
    ::GetWindowTextW(draw.hwndItem, caption, static_cast<int>(std::size(caption)));
    SelectedObject selected(dc, font_.get());
    ::SetBkMode(dc, TRANSPARENT);
    RECT textRect = r;
    ::InflateRect(&textRect, -4, -3);
    if (pressed) ::OffsetRect(&textRect, 1, 1);
    // Long captions wrap; the block of lines is centred vertically.
    RECT measured = textRect;
    constexpr UINT kFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    ::DrawTextW(dc, caption, -1, &measured, kFormat | DT_CALCRECT);
    const int spare = (textRect.bottom - textRect.top) - (measured.bottom - measured.top);
    if (spare > 0) textRect.top += spare / 2;
    if (disabled) {
        // Etched: a light copy one pixel down and right under the grey text.
        RECT shadow = textRect;
        ::OffsetRect(&shadow, 1, 1);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextW(dc, caption, -1, &shadow, kFormat);
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    } else {
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    }
    ::DrawTextW(dc, caption, -1, &textRect, kFormat);

    if (focused) {
        // Always shown, not only after a key press: the people this program
        // serves are often guided by voice over the phone.
        RECT mark = r;
        ::InflateRect(&mark, -4, -4);
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::SetBkColor(dc, RGB(255, 255, 255));
        ::DrawFocusRect(dc, &mark);
    }
}

void FrmMain::OnCommand(int id, int notification) {
    // The cancel button, or Esc through the dialog keys.
    if ((id == kCancelDownloadId && notification == BN_CLICKED) || id == IDCANCEL) {
        CancelDownload();
        return;
    }
    Item* item = FindItem(id);
    if (!item || item->design->click == design::Click::None) return;
    // Owner-drawn buttons and notifying labels report a quick second click as
    // a double click; it is a click all the same.
    const bool clicked = item->design->kind == design::Kind::Button
                             ? (notification == BN_CLICKED || notification == BN_DOUBLECLICKED)
                             : (notification == STN_CLICKED || notification == STN_DBLCLK);
    if (!clicked || busy_) return;
    LaunchScope launch(*this);
    LaunchContext context{os_, reminder_, deploy_};
    RunClick(item->design->click, context);
}

bool FrmMain::OnCloseRequest() {
    // A second request while the prompt is up, or while a launch runs, is
    // not a new one.
    if (busy_) return false;
    BusyScope busy(busy_);
    return CloseRequest(os_, [this] {
        HWND self = hwnd_;
        reminder_.Close();
        // Destroying directly, not through WM_CLOSE: this completes the close
        // under way without asking again.
        ::DestroyWindow(self);
    });
}

LRESULT FrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        if (onCreated_) onCreated_(hwnd_);
        CreateControls();
        Layout(win::WindowDpi(hwnd_));
        // Centred on the screen; the start-up step then moves it.
        const design::PixelSize client = design::ClientSize(form_, dpi_);
        const SIZE outer = win::OuterSizeForClient(client.width, client.height, kStyle, kExStyle, dpi_);
        const Screen screen = win::ScreenOfWindow(hwnd_);
        ::SetWindowPos(hwnd_, nullptr, screen.monitor.left + (screen.monitor.Width() - outer.cx) / 2,
                       screen.monitor.top + (screen.monitor.Height() - outer.cy) / 2, outer.cx, outer.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        StartUp(os_, *this);
        if (!items_.empty()) lastFocus_ = items_.front().hwnd;
        return 0;
    }
    case WM_DRAWITEM:
        DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (Item* item = FindItem(reinterpret_cast<HWND>(lParam)); item && item->back) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, item->design->fore ? win::ToColorRef(*item->design->fore) : ::GetSysColor(COLOR_BTNTEXT));
            ::SetBkColor(dc, win::ToColorRef(*item->design->back));
            return reinterpret_cast<LRESULT>(item->back.get());
        }
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID:
        for (const Item& item : items_)
            if (item.isDefault) return MAKELRESULT(item.id, DC_HASDEFID);
        return 0;
    case WM_ACTIVATE:
        // As a dialog does: the focus leaves with the window and comes back
        // to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
            return 0;
        }
        if (lastFocus_ && ::IsWindow(lastFocus_) && !HIWORD(wParam)) {
            ::SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_CLOSE:
        OnCloseRequest();
        return 0;
    case WM_QUERYENDSESSION:
        // The close request is raised whatever the reason for closing.
        return OnCloseRequest() ? TRUE : FALSE;
    case WM_ENDSESSION:
        // The session ends all the same: a download under way is given up,
        // so that it leaves nothing half-written behind.
        if (wParam && busy_) CancelDownload();
        return 0;
    case WM_DPICHANGED: {
        Layout(HIWORD(wParam));
        const design::PixelSize client = design::ClientSize(form_, dpi_);
        const SIZE outer = win::OuterSizeForClient(client.width, client.height, kStyle, kExStyle, dpi_);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, outer.cx, outer.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        // The children are destroyed after this; they no longer paint.
        progress_.reset();
        items_.clear();
        font_.reset();
        lastFocus_ = nullptr;
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void FrmMain::DownloadBegins(const std::string& path, std::function<void()> cancel) {
    HWND strip = Strip();
    if (!strip) return;
    DownloadEnds();
    progress_.emplace();
    progress_->fileName = FileNameOf(path);
    progress_->cancel = std::move(cancel);
    const std::wstring line = text::Widen(DownloadProgressText(progress_->fileName, 0, -1));
    // The line is shown last, once the bar and the cancel control stand
    // beside it: whoever sees the line sees the whole strip.
    progress_->text = ::CreateWindowExW(0, L"STATIC", line.c_str(),
                                        WS_CHILD | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS,
                                        0, 0, 0, 0, strip, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressTextId)), instance_, nullptr);
    // Moving until the server's answer says how long the body is.
    MakeProgressBar(true);
    progress_->cancelButton = ::CreateWindowExW(
        0, L"BUTTON", text::Widen(kCancelDownloadCaption).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
        0, 0, 0, 0, strip, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelDownloadId)), instance_, nullptr);
    if (HWND label = BottomLabel()) ::ShowWindow(label, SW_HIDE);
    LayoutProgress();
    if (progress_->text) ::ShowWindow(progress_->text, SW_SHOWNA);
    if (busy_) ::ShutdownBlockReasonCreate(hwnd_, line.c_str());
    // The only control that takes input now: Space cancels as Esc does.
    if (::GetActiveWindow() == hwnd_ && progress_->cancelButton) ::SetFocus(progress_->cancelButton);
}

void FrmMain::DownloadProgress(std::uint64_t received, std::int64_t total) {
    if (!progress_) return;
    const std::wstring line = text::Widen(DownloadProgressText(progress_->fileName, received, total));
    ::SetWindowTextW(progress_->text, line.c_str());
    if (busy_) ::ShutdownBlockReasonCreate(hwnd_, line.c_str());
    const std::optional<int> percent = ProgressPercent(received, total);
    if (!progress_->bar || progress_->marquee != !percent) MakeProgressBar(!percent);
    if (percent) ::SendMessageW(progress_->bar, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
}

void FrmMain::DownloadEnds() {
    if (!progress_) return;
    for (HWND control : {progress_->text, progress_->bar, progress_->cancelButton})
        if (control) ::DestroyWindow(control);
    progress_.reset();
    if (HWND label = BottomLabel()) ::ShowWindow(label, SW_SHOW);
}

void FrmMain::CancelDownload() {
    if (progress_ && progress_->cancel) progress_->cancel();
}

void FrmMain::MakeProgressBar(bool marquee) {
    if (!progress_) return;
    // The new bar takes the old one's place before the old one goes, so the
    // strip never stands without a bar.
    HWND old = progress_->bar;
    progress_->marquee = marquee;
    progress_->bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | (marquee ? PBS_MARQUEE : PBS_SMOOTH),
                                       0, 0, 0, 0, Strip(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)), instance_, nullptr);
    if (!progress_->bar) {
        progress_->bar = old;
        return;
    }
    if (marquee)
        ::SendMessageW(progress_->bar, PBM_SETMARQUEE, TRUE, 30);
    else
        ::SendMessageW(progress_->bar, PBM_SETRANGE32, 0, 100);
    // Between the text and the button in the window order, as on the screen.
    ::SetWindowPos(progress_->bar, progress_->text, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    LayoutProgress();
    ::ShowWindow(progress_->bar, SW_SHOWNA);
    if (old) ::DestroyWindow(old);
}

void FrmMain::LayoutProgress() {
    HWND strip = Strip();
    if (!progress_ || !strip) return;
    RECT area{};
    ::GetClientRect(strip, &area);
    auto px = [this](int twips) { return design::TwipsToPixels(twips, dpi_); };
    const int margin = px(60);
    RECT button{area.right - margin - px(1335), px(45), area.right - margin, area.bottom - px(45)};
    RECT bar{button.left - margin - px(1755), px(105), button.left - margin, area.bottom - px(105)};
    RECT line{margin, 0, bar.left - margin, area.bottom};
    for (auto [control, r] : {std::pair{progress_->text, line}, std::pair{progress_->bar, bar},
                              std::pair{progress_->cancelButton, button}})
        if (control)
            ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
    FontHandle oldFont;
    if (!progress_->font || progress_->fontDpi != dpi_) {
        oldFont = std::move(progress_->font);
        progress_->font = win::MakeFont(design::Font{form_.font.face, kProgressPoints, 400, form_.font.charset}, dpi_);
        progress_->fontDpi = dpi_;
    }
    for (HWND control : {progress_->text, progress_->cancelButton})
        if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(progress_->font.get()), TRUE);
    // oldFont goes here, once no control uses it.
}

void FrmMain::AfterDestroy() {
    if (onDestroyed_) onDestroyed_();
}

void FrmMain::SetButtonDefault(std::string_view control, bool isDefault) {
    for (Item& item : items_) {
        if (item.design->name != control) continue;
        if (isDefault)
            for (Item& other : items_) other.isDefault = false;  // one default button at most
        item.isDefault = isDefault;
        ::InvalidateRect(item.hwnd, nullptr, TRUE);
        return;
    }
}

PixelRect FrmMain::OuterRect() {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    return win::ToPixelRect(r);
}

Screen FrmMain::ScreenOf() { return win::ScreenOfWindow(hwnd_); }

void FrmMain::MoveTo(int left, int top) {
    ::SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tarn
