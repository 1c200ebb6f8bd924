#include "windows/win32/ProgressStrip.h"

#include <commctrl.h>

#include <utility>

#include "platform/WindowsPaths.h"
#include "platform/win32/Text.h"
#include "windows/ProgressText.h"
#include "windows/win32/WinFonts.h"

namespace tarn::win {

namespace {

// Below the designs' ids (DesignedControls.h), which share the window's
// WM_COMMAND with them.
constexpr int kLineId = 90;
constexpr int kBarId = 91;
constexpr int kCancelId = 92;
constexpr int kSizesId = 93;
// Often enough that the slow-line notice comes within a second of due.
constexpr UINT kStallCheckMs = 1000;

HWND MakeChild(HWND parent, HINSTANCE instance, const wchar_t* className, const std::wstring& text, DWORD style,
               int id) {
    return ::CreateWindowExW(0, className, text.c_str(), WS_CHILD | style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

}  // namespace

ProgressStrip::ProgressStrip(HINSTANCE instance, design::ProgressDesign design)
    : instance_(instance), design_(std::move(design)) {}

void ProgressStrip::Attach(HWND strip, HWND label) noexcept {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    strip_ = strip;
    label_ = label;
}

void ProgressStrip::Detach() noexcept {
    if (shown_ && strip_) ::KillTimer(strip_, reinterpret_cast<UINT_PTR>(this));
    shown_.reset();
    strip_ = nullptr;
    label_ = nullptr;
    font_.reset();
    sizesFont_.reset();
    fontDpi_ = 0;
}

void ProgressStrip::Cancel() {
    if (shown_ && shown_->cancel) shown_->cancel();
}

bool ProgressStrip::OnCommand(int id, int notification) {
    if (id != kCancelId || notification != BN_CLICKED) return false;
    Cancel();
    return true;
}

void ProgressStrip::ShowLine(const std::string& line) {
    ::SetWindowTextW(shown_->line, text::Widen(line).c_str());
    if (onLine_) onLine_(line);
}

void CALLBACK ProgressStrip::OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    try {
        reinterpret_cast<ProgressStrip*>(id)->CheckStall(StallWatch::Clock::now());
    } catch (...) {
        // The notice is a courtesy; the download goes on without it.
    }
}

void ProgressStrip::CheckStall(StallWatch::Clock::time_point now) {
    if (!shown_) return;
    const bool stalled = shown_->stall.Stalled(now);
    if (stalled == shown_->stalled) return;
    shown_->stalled = stalled;
    ShowLine(stalled ? kSlowNetworkText : shown_->progressLine);
}

void ProgressStrip::DownloadBegins(const std::string& path, std::function<void()> cancel) {
    if (!strip_) return;
    DownloadEnds();
    shown_.emplace();
    shown_->fileName = FileNameOf(path);
    shown_->cancel = std::move(cancel);
    const std::string line = DownloadProgressText(shown_->fileName, 0, std::nullopt);
    shown_->progressLine = line;
    shown_->stall.Begin(StallWatch::Clock::now());
    // The line is shown last, once the bar and the cancel button stand
    // beside it: whoever sees the line sees the whole strip.
    shown_->line = MakeChild(strip_, instance_, L"STATIC", text::Widen(line),
                             SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS, kLineId);
    shown_->sizes = MakeChild(strip_, instance_, L"STATIC", text::Widen(DownloadSizesText(0, std::nullopt)),
                              SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS, kSizesId);
    // Moving until the server's answer says how long the body is.
    MakeBar(true);
    shown_->cancelButton = MakeChild(strip_, instance_, L"BUTTON", text::Widen(kCancelDownloadCaption),
                                     WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kCancelId);
    if (label_) ::ShowWindow(label_, SW_HIDE);
    Place();
    if (shown_->sizes) ::ShowWindow(shown_->sizes, SW_SHOWNA);
    if (shown_->line) ::ShowWindow(shown_->line, SW_SHOWNA);
    if (onLine_) onLine_(line);
    // Keyed by this strip, so the timer finds its way back without a table.
    ::SetTimer(strip_, reinterpret_cast<UINT_PTR>(this), kStallCheckMs, &ProgressStrip::OnTimer);
    // The only control that takes input now: Space cancels as Esc does.
    if (::GetActiveWindow() == ::GetAncestor(strip_, GA_ROOT) && shown_->cancelButton) ::SetFocus(shown_->cancelButton);
}

void ProgressStrip::DownloadProgress(std::uint64_t received, std::optional<std::uint64_t> total) {
    if (!shown_) return;
    shown_->progressLine = DownloadProgressText(shown_->fileName, received, total);
    const auto now = StallWatch::Clock::now();
    shown_->stall.Progress(received, now);
    // A total learnt is no byte: a notice shown stays.
    shown_->stalled = shown_->stall.Stalled(now);
    ShowLine(shown_->stalled ? kSlowNetworkText : shown_->progressLine);
    ::SetWindowTextW(shown_->sizes, text::Widen(DownloadSizesText(received, total)).c_str());
    const std::optional<int> percent = ProgressPercent(received, total);
    if (!shown_->bar || shown_->marquee != !percent) MakeBar(!percent);
    if (percent) ::SendMessageW(shown_->bar, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
}

void ProgressStrip::DownloadResumes() {
    if (!shown_) return;
    ShowLine(kResumingText);
}

void ProgressStrip::DownloadEnds() {
    if (!shown_) return;
    if (strip_) ::KillTimer(strip_, reinterpret_cast<UINT_PTR>(this));
    for (HWND control : {shown_->line, shown_->sizes, shown_->bar, shown_->cancelButton})
        if (control) ::DestroyWindow(control);
    shown_.reset();
    if (label_) ::ShowWindow(label_, SW_SHOW);
}

void ProgressStrip::MakeBar(bool marquee) {
    if (!shown_) return;
    // The new bar takes the old one's place before the old one goes, so the
    // strip never stands without a bar.
    HWND old = shown_->bar;
    HWND bar = MakeChild(strip_, instance_, PROGRESS_CLASSW, L"", marquee ? PBS_MARQUEE : PBS_SMOOTH, kBarId);
    if (!bar) return;
    shown_->bar = bar;
    shown_->marquee = marquee;
    if (marquee)
        ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
    else
        ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    // Between the texts and the button in the window order, as on the screen.
    ::SetWindowPos(bar, shown_->sizes ? shown_->sizes : shown_->line, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Place();
    ::ShowWindow(bar, SW_SHOWNA);
    if (old) ::DestroyWindow(old);
}

void ProgressStrip::Layout(int dpi) {
    dpi_ = dpi;
    Place();
}

void ProgressStrip::Place() {
    if (!shown_ || !strip_) return;
    RECT area{};
    ::GetClientRect(strip_, &area);
    const design::ProgressRects r = design::ProgressLayout(design_, {area.right, area.bottom}, dpi_);
    for (auto [control, rect] : {std::pair{shown_->line, r.line}, std::pair{shown_->sizes, r.sizes},
                                 std::pair{shown_->bar, r.bar}, std::pair{shown_->cancelButton, r.cancel}})
        if (control)
            ::SetWindowPos(control, nullptr, rect.left, rect.top, rect.Width(), rect.Height(),
                           SWP_NOZORDER | SWP_NOACTIVATE);
    FontHandle oldFont, oldSizesFont;
    if (!font_ || fontDpi_ != dpi_) {
        oldFont = std::move(font_);
        oldSizesFont = std::move(sizesFont_);
        font_ = MakeFont(design_.font, dpi_);
        sizesFont_ = MakeFont(design_.sizesFont, dpi_);
        fontDpi_ = dpi_;
    }
    for (HWND control : {shown_->line, shown_->cancelButton})
        if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    if (shown_->sizes) ::SendMessageW(shown_->sizes, WM_SETFONT, reinterpret_cast<WPARAM>(sizesFont_.get()), TRUE);
    // The old fonts go here, once no control uses them.
}

}  // namespace tarn::win
