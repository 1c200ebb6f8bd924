#include "windows/win32/MainWindow.h"

#include <iterator>
#include <string>

#include "platform/win32/Text.h"
#include "resources/resource_ids.h"
#include "windows/win32/DeviceContext.h"
#include "windows/win32/Dpi.h"
#include "windows/win32/WinColours.h"
#include "windows/win32/WinFonts.h"

namespace tarn {

namespace {

constexpr wchar_t kClassName[] = L"TarnKitMain";
// Fixed single border with close and minimize boxes; no maximize box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;
// Below this a caption is no longer read easily; a caption that does not fit
// even so is drawn at it all the same, clipped by its button.
constexpr int kSmallestCaptionPoints = 7;

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
class MainWindow::LaunchScope {
public:
    explicit LaunchScope(MainWindow& window) : window_(window) {
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
        if (::GetActiveWindow() == window_.hwnd_ && focusBefore_ && ::IsWindow(focusBefore_)) ::SetFocus(focusBefore_);
    }
    LaunchScope(const LaunchScope&) = delete;
    LaunchScope& operator=(const LaunchScope&) = delete;

private:
    MainWindow& window_;
    HWND focusBefore_ = nullptr;
};

MainWindow::MainWindow(HINSTANCE instance, Platform& os, ReminderWindow& reminder, const Deployment& deploy)
    : instance_(instance),
      os_(os),
      reminder_(reminder),
      deploy_(deploy),
      controls_(design::MainWindowDesign(deploy)),
      strip_(instance, design::DownloadProgressDesign()) {
    strip_.OnLine([this](const std::string& line) {
        // Within a launch, the line tells the person what holds the end of
        // the session up.
        if (busy_) ::ShutdownBlockReasonCreate(hwnd_, text::Widen(line).c_str());
    });
}

MainWindow::~MainWindow() {
    onDestroyed_ = nullptr;
    if (hwnd_) ::DestroyWindow(hwnd_);
}

bool MainWindow::Create() {
    RegisterClassOnce(instance_, kClassName, IDI_APP, "無法註冊主視窗。");
    const std::wstring caption = text::Widen(controls_.Form().caption);
    // Created hidden: the start-up step runs before the window is first shown.
    ::CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                      nullptr, instance_, this);
    return hwnd_ != nullptr;
}

bool MainWindow::PreTranslateMessage(MSG& msg) {
    if (!hwnd_) return false;
    if (strip_.Downloading() && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE &&
        (msg.hwnd == hwnd_ || ::IsChild(hwnd_, msg.hwnd))) {
        strip_.Cancel();
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        HWND focus = ::GetFocus();
        const std::optional<design::MainControl> focused = controls_.IdOf(focus);
        if (focused && controls_.Form().At(*focused).kind == design::Kind::Button) {
            ::SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(controls_.CommandId(*focused), BN_CLICKED),
                           reinterpret_cast<LPARAM>(focus));
            return true;
        }
    }
    // Tab, Shift+Tab and arrow keys along the window order, which is the
    // design's tab order; Space reaches the focused button, which clicks.
    return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void MainWindow::EnableClicks(bool enable) {
    for (const auto& [id, control] : controls_.InTabOrder()) {
        if (controls_.Form().At(id).kind == design::Kind::Panel) continue;
        ::EnableWindow(control, enable ? TRUE : FALSE);
        // Owner-drawn: the look follows the state only when drawn again.
        ::InvalidateRect(control, nullptr, TRUE);
    }
}

void MainWindow::Layout(int dpi) {
    controls_.Layout(dpi);
    SetCaptions(dpi);
    strip_.Layout(dpi);
}

void MainWindow::SetCaptions(int dpi) {
    const design::Form<design::MainControl>& form = controls_.Form();
    const design::ButtonInsets insets = design::ButtonInsetsAt(dpi);
    // The pressed look moves the caption by one pixel at 96 DPI.
    const int pressedShift = TwipsToPixels(15, dpi);
    std::map<int, FontHandle> fonts;
    auto fontAt = [&](int points) -> HFONT {
        FontHandle& font = fonts[points];
        if (!font) {
            design::Font wanted = form.font;
            wanted.points = points;
            font = win::MakeFont(wanted, dpi);
        }
        return font.get();
    };
    const win::WindowDc windowDc(hwnd_);
    if (!windowDc) return;
    const HDC dc = windowDc.get();
    const HGDIOBJ before = ::GetCurrentObject(dc, OBJ_FONT);
    const MeasureText measure = [&](int points, const std::string& text) {
        ::SelectObject(dc, fontAt(points));
        RECT r{};
        const std::wstring wide = text::Widen(text);
        ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        return PixelSize{r.right - r.left, r.bottom - r.top};
    };
    std::map<design::MainControl, Caption> captions;
    for (const design::Control<design::MainControl>& c : form.controls) {
        if (c.kind != design::Kind::Button) continue;
        const PixelRect r = design::ControlRect(form, c.id, dpi);
        const PixelSize room{r.Width() - 2 * insets.textX - pressedShift, r.Height() - 2 * insets.textY - pressedShift};
        Caption caption;
        caption.setting = FitCaption(c.caption, room, form.font.points, kSmallestCaptionPoints, measure);
        for (const std::string& line : caption.setting.lines)
            caption.text += (caption.text.empty() ? L"" : L"\n") + text::Widen(line);
        caption.font = fontAt(caption.setting.points);
        captions.emplace(c.id, std::move(caption));
    }
    ::SelectObject(dc, before);
    for (const auto& [id, caption] : captions)
        if (HWND button = controls_.Handle(id))
            ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(caption.font), TRUE);
    captions_ = std::move(captions);
    // The old fonts go only now that no button uses them.
    captionFonts_ = std::move(fonts);
}

std::optional<CaptionSetting> MainWindow::CaptionOf(design::MainControl button) const {
    const auto it = captions_.find(button);
    if (it == captions_.end()) return std::nullopt;
    return it->second.setting;
}

void MainWindow::DrawLabel(const DRAWITEMSTRUCT& draw, design::MainControl label) {
    HDC dc = draw.hDC;
    RECT r = draw.rcItem;
    const colours::Look look =
        controls_.LookOf(label, (draw.itemState & ODS_DISABLED) ? colours::State::Disabled : colours::State::Normal);
    ::FillRect(dc, &r, controls_.Brush(look.fill));
    wchar_t text[256] = {};
    ::GetWindowTextW(draw.hwndItem, text, static_cast<int>(std::size(text)));
    SelectedObject selected(dc, controls_.FontOf(label));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, win::ToColorRef(look.text));
    const UINT align = controls_.Form().At(label).align == design::Align::Center ? DT_CENTER : DT_LEFT;
    ::DrawTextW(dc, text, -1, &r, align | DT_WORDBREAK | DT_NOPREFIX);
}

void MainWindow::DrawButton(const DRAWITEMSTRUCT& draw) {
    const std::optional<design::MainControl> button = controls_.IdOf(draw.hwndItem);
    if (!button) return;
    if (controls_.Form().At(*button).kind == design::Kind::Label) {
        DrawLabel(draw, *button);
        return;
    }
    const auto caption = captions_.find(*button);
    if (caption == captions_.end()) return;
    HDC dc = draw.hDC;
    RECT r = draw.rcItem;
    const bool pressed = (draw.itemState & ODS_SELECTED) != 0;
    const bool focused = (draw.itemState & ODS_FOCUS) != 0;
    const bool disabled = (draw.itemState & ODS_DISABLED) != 0;
    const colours::State state = disabled  ? colours::State::Disabled
                                 : pressed ? colours::State::Pressed
                                 : focused ? colours::State::Focused
                                           : colours::State::Normal;
    const colours::Look look = controls_.LookOf(*button, state);
    const int dpi = controls_.Dpi();
    const design::ButtonInsets insets = design::ButtonInsetsAt(dpi);

    ::FillRect(dc, &r, controls_.Brush(look.fill));
    ::DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    SelectedObject selected(dc, caption->second.font);
    ::SetBkMode(dc, TRANSPARENT);
    RECT textRect = r;
    ::InflateRect(&textRect, -insets.textX, -insets.textY);
    if (pressed) {
        const int shift = TwipsToPixels(15, dpi);
        ::OffsetRect(&textRect, shift, shift);
    }
    // The lines were broken at blanks when the window was laid out; the
    // block is centred vertically. Disabled shows in the fill, not in faint
    // or embossed text.
    const std::wstring& lines = caption->second.text;
    constexpr UINT kFormat = DT_CENTER | DT_NOPREFIX | DT_NOCLIP;
    RECT measured = textRect;
    ::DrawTextW(dc, lines.c_str(), -1, &measured, kFormat | DT_CALCRECT);
    const int spare = (textRect.bottom - textRect.top) - (measured.bottom - measured.top);
    if (spare > 0) textRect.top += spare / 2;
    ::SetTextColor(dc, win::ToColorRef(look.text));
    ::DrawTextW(dc, lines.c_str(), -1, &textRect, kFormat);

    if (focused) {
        // Always shown, not only after a key press: the people this program
        // serves are often guided by voice over the phone. A solid frame,
        // as wide as the scale makes two pixels.
        RECT mark = r;
        ::InflateRect(&mark, -insets.focusInset, -insets.focusInset);
        HBRUSH frame = controls_.Brush(look.focus);
        for (int i = 0; i < insets.focusWidth; ++i) {
            ::FrameRect(dc, &mark, frame);
            ::InflateRect(&mark, -1, -1);
        }
    }
}

void MainWindow::OnCommand(int id, int notification) {
    if (strip_.OnCommand(id, notification)) return;
    // Esc, through the dialog keys.
    if (id == IDCANCEL) {
        strip_.Cancel();
        return;
    }
    const std::optional<design::MainControl> control = controls_.IdOfCommand(id);
    if (!control) return;
    const design::Control<design::MainControl>& row = controls_.Form().At(*control);
    if (row.click == design::Click::None) return;
    // Owner-drawn buttons and notifying labels report a quick second click as
    // a double click; it is a click all the same.
    const bool clicked = row.kind == design::Kind::Button
                             ? (notification == BN_CLICKED || notification == BN_DOUBLECLICKED)
                             : (notification == STN_CLICKED || notification == STN_DBLCLK);
    if (!clicked || busy_) return;
    LaunchScope launch(*this);
    LaunchContext context{os_, reminder_, deploy_, row.caption};
    RunClick(row.click, context);
}

bool MainWindow::OnCloseRequest() {
    // A second request while the prompt is up, or while a launch runs, is
    // not a new one.
    if (busy_) return false;
    BusyScope busy(busy_);
    return CloseRequest(os_, {{}, deploy_.supportPhone}, [this] {
        HWND self = hwnd_;
        reminder_.Close();
        // Destroying directly, not through WM_CLOSE: this completes the close
        // under way without asking again.
        ::DestroyWindow(self);
    });
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const std::optional<LRESULT> painted = controls_.HandleMessage(hwnd_, message, wParam, lParam)) return *painted;
    switch (message) {
    case WM_CREATE: {
        if (onCreated_) onCreated_(hwnd_);
        controls_.Create(hwnd_, instance_, "無法建立主視窗的控制項。");
        strip_.Attach(controls_.Handle(design::MainControl::BottomStrip),
                      controls_.Handle(design::MainControl::BottomLabel));
        Layout(win::WindowDpi(hwnd_));
        // Centred on the screen; the start-up step then moves it.
        const SIZE outer = controls_.OuterSize(kStyle, kExStyle);
        const PixelRect centred = CentredOn({outer.cx, outer.cy}, win::ScreenOfWindow(hwnd_).monitor);
        ::SetWindowPos(hwnd_, nullptr, centred.left, centred.top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        StartUp(os_, *this, {{}, deploy_.supportPhone});
        if (const auto controls = controls_.InTabOrder(); !controls.empty()) lastFocus_ = controls.front().second;
        return 0;
    }
    case WM_DRAWITEM:
        DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        // The download's words take the place of the bottom label and its
        // colours.
        if (strip_.Shows(reinterpret_cast<HWND>(lParam)))
            return win::LabelColours(reinterpret_cast<HDC>(wParam),
                                     controls_.LookOf(design::MainControl::BottomLabel, colours::State::Normal),
                                     stripBrushes_);
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID:
        // No button is the Default one, so Enter clicks none while no
        // button has the focus.
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
        if (wParam && busy_) strip_.Cancel();
        return 0;
    case WM_DPICHANGED:
        Layout(HIWORD(wParam));
        controls_.FitAfterDpiChange(hwnd_, *reinterpret_cast<const RECT*>(lParam), kStyle, kExStyle);
        return 0;
    case WM_DESTROY:
        // The children are destroyed after this; they no longer paint.
        strip_.Detach();
        controls_.Destroy();
        captions_.clear();
        stripBrushes_.Clear();
        lastFocus_ = nullptr;
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::AfterDestroy() {
    if (onDestroyed_) onDestroyed_();
}

// The design gives no button the Default property, so there is none to
// take; the start-up still asks, as a design with one would need.
void MainWindow::ClearDefault(design::MainControl) {}

PixelRect MainWindow::OuterRect() {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    return win::ToPixelRect(r);
}

Screen MainWindow::ScreenOf() { return win::ScreenOfWindow(hwnd_); }

void MainWindow::MoveTo(int left, int top) {
    ::SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tarn
