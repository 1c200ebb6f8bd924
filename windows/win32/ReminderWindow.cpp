#include "platform/win32/WindowIds.h"
#include "windows/win32/ReminderWindow.h"

#include <cstring>
#include <memory>

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

constexpr UINT_PTR kIdTimer = 1;
// A read of the ID file has ended; lParam is the IdRead, which this window
// then owns.
constexpr UINT kIdReadDone = WM_APP + 1;
// The row's controls, clear of the design's ids.
constexpr int kIdDigitsId = 200;
constexpr int kCopyButtonId = 201;

// The ID file's bytes, read through the one handle whose attributes and size
// were checked. The sharing lets the client go on writing, renaming or
// deleting the file meanwhile, and the handle is closed before returning.
// nullopt for anything but a plain file on a disk of at most kIdFileLimit
// bytes, and for any failure: it only means no ID yet.
std::optional<std::string> ReadIdFile(const std::string& path) noexcept {
    try {
        FileHandle file(::CreateFileW(text::Widen(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        // A pipe or a device under that name could keep a read waiting forever.
        if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
        const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        if (!ShouldReadIdFile((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                              (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, size))
            return std::nullopt;
        // One byte more than the limit tells a file that grew meanwhile.
        std::string bytes(static_cast<std::size_t>(kIdFileLimit) + 1, '\0');
        std::size_t total = 0;
        while (total < bytes.size()) {
            DWORD got = 0;
            if (!::ReadFile(file.get(), bytes.data() + total, static_cast<DWORD>(bytes.size() - total), &got, nullptr))
                return std::nullopt;
            if (got == 0) break;
            total += got;
        }
        if (total > kIdFileLimit) return std::nullopt;
        bytes.resize(total);
        return bytes;
    } catch (...) {
        return std::nullopt;
    }
}

// Puts text on the clipboard as Unicode text; false when the clipboard could
// not be had.
bool PutOnClipboard(HWND owner, const std::wstring& text) noexcept {
    if (!::OpenClipboard(owner)) return false;
    bool done = false;
    if (::EmptyClipboard()) {
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            if (void* p = ::GlobalLock(memory)) {
                std::memcpy(p, text.c_str(), bytes);
                ::GlobalUnlock(memory);
                // From here the clipboard owns the memory.
                done = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            if (!done) ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
    return done;
}

// Tells assistive tools that control now says something the person must hear.
void Alert(HWND control) noexcept {
    if (control) ::NotifyWinEvent(EVENT_SYSTEM_ALERT, control, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace

struct ReminderWindow::IdRead {
    unsigned generation = 0;
    HWND target = nullptr;
    std::string path;
    std::optional<std::string> bytes;
};

ReminderWindow::ReminderWindow(HINSTANCE instance, const Deployment& deploy, MainPlace mainPlace)
    : instance_(instance), controls_(design::ReminderDesign(deploy)), mainPlace_(std::move(mainPlace)) {}

ReminderWindow::~ReminderWindow() {
    // Going away with the program: nobody is left to hear about it.
    onClosed_ = nullptr;
    Close();
}

void ReminderWindow::SetText(const std::string& text) {
    Load();
    HWND message = controls_.Handle(design::ReminderControl::Message);
    ::SetWindowTextW(message, text::Widen(text).c_str());
    Alert(message);
}

void ReminderWindow::WatchForId(const std::string& path) {
    ForgetId();
    if (!hwnd_) return;
    idFile_ = path;
    idWatch_ = IdWatch();
    idTicks_ = 0;
    // Without a timer there is no watch; the reminder is as it would be
    // for a client whose ID cannot be read.
    if (!::SetTimer(hwnd_, kIdTimer, IdWatch::kPollMs, nullptr)) idFile_.clear();
}

void ReminderWindow::ForgetId() {
    ++idGeneration_;
    idReading_ = false;
    idFile_.clear();
    if (hwnd_) ::KillTimer(hwnd_, kIdTimer);
    if (id_.empty()) return;
    // Back to the design's size, where it stands; the row goes last, so that
    // whoever sees it gone sees the window as designed.
    const SIZE outer = controls_.OuterSize(kStyle, kExStyle);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RemoveIdRow();
}

void ReminderWindow::StartIdRead() {
    if (idFile_.empty()) return;
    // The minute is counted in ticks, not reads, so that a read that never
    // comes back (a share gone away) does not stretch it.
    if (++idTicks_ > IdWatch::kPolls) {
        ::KillTimer(hwnd_, kIdTimer);
        idFile_.clear();
        return;
    }
    // A read still under way is waited for, not piled upon.
    if (idReading_) return;
    auto read = std::make_unique<IdRead>();
    read->generation = idGeneration_;
    read->target = hwnd_;
    read->path = idFile_;
    // The thread owns the read from here; it goes on its own when done.
    KernelHandle thread(::CreateThread(nullptr, 0, &ReadThread, read.get(), 0, nullptr));
    if (!thread) {
        idWatch_.Poll(std::nullopt);  // no thread this time: this poll read nothing
        return;
    }
    read.release();
    idReading_ = true;
}

DWORD WINAPI ReminderWindow::ReadThread(void* parameter) noexcept {
    std::unique_ptr<IdRead> read(static_cast<IdRead*>(parameter));
    read->bytes = ReadIdFile(read->path);
    // Posted, never sent: the window's thread may be busy in a launch. A
    // window that has gone meanwhile takes nothing, and the read is freed.
    if (::PostMessageW(read->target, kIdReadDone, 0, reinterpret_cast<LPARAM>(read.get()))) read.release();
    return 0;
}

void ReminderWindow::OnIdRead(const IdRead& read) {
    if (read.generation != idGeneration_ || idFile_.empty()) return;  // an earlier watch's
    idReading_ = false;
    if (const std::optional<std::string> id = idWatch_.Poll(read.bytes)) ShowId(*id);
    if (idWatch_.Ended()) {
        ::KillTimer(hwnd_, kIdTimer);
        idFile_.clear();
    }
}

void ReminderWindow::ShowId(const std::string& digits) {
    if (!idDigits_) {
        const DWORD childStyle = WS_CHILD | WS_VISIBLE;
        idDigits_ = ::CreateWindowExW(0, L"STATIC", L"", childStyle | SS_CENTER | SS_CENTERIMAGE, 0, 0, 0, 0, hwnd_,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdDigitsId)), instance_, nullptr);
        // A plain push button: drawn by the system, so it reads in every
        // colour scheme, and it takes Space when it has the focus.
        copyButton_ =
            ::CreateWindowExW(0, L"BUTTON", L"", childStyle | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCopyButtonId)), instance_, nullptr);
        if (!idDigits_ || !copyButton_) {
            RemoveIdRow();
            return;  // the reminder stays as it is; the person reads the ID off the client
        }
    }
    id_ = digits;
    LayoutIdRow();

    // Grown by the row, and placed again as when it loaded.
    const IdRowRects rects =
        IdRowLayout(ReminderIdRow(), controls_.Form().clientWidth, controls_.Form().clientHeight, controls_.Dpi());
    const SIZE outer = win::OuterSizeForClient(rects.client, kStyle, kExStyle, controls_.Dpi());
    const PixelSize size{outer.cx, outer.cy};
    const PixelRect place = PlaceByMainWindow(size, win::ScreenOfWindow(hwnd_));
    ::SetWindowPos(hwnd_, nullptr, place.left, place.top, size.width, size.height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The texts last: once the ID reads, the window stands grown and placed.
    ::SetWindowTextW(copyButton_, text::Widen(kCopyIdCaption).c_str());
    ::SetWindowTextW(idDigits_, text::Widen(GroupedId(digits)).c_str());
    if (::GetActiveWindow() == hwnd_) ::SetFocus(copyButton_);
    Alert(idDigits_);
}

void ReminderWindow::LayoutIdRow() {
    if (!idDigits_) return;
    const IdRowDesign row = ReminderIdRow();
    const IdRowRects rects =
        IdRowLayout(row, controls_.Form().clientWidth, controls_.Form().clientHeight, controls_.Dpi());
    FontHandle font = win::MakeFont(row.digitsFont, controls_.Dpi());
    win::PlaceControl(idDigits_, rects.digits, font.get());
    win::PlaceControl(copyButton_, rects.copy, controls_.FontOf(design::ReminderControl::Contact));
    idFont_ = std::move(font);
}

void ReminderWindow::RemoveIdRow() noexcept {
    if (idDigits_) ::DestroyWindow(idDigits_);
    if (copyButton_) ::DestroyWindow(copyButton_);
    idDigits_ = copyButton_ = nullptr;
    idFont_.reset();
    idBrushes_.Clear();
    id_.clear();
}

void ReminderWindow::CopyId() noexcept {
    try {
        const bool copied = PutOnClipboard(hwnd_, text::Widen(id_));
        ::SetWindowTextW(copyButton_, text::Widen(copied ? kCopiedCaption : kCopyFailedCaption).c_str());
        Alert(copyButton_);
    } catch (...) {
        ::SetWindowTextW(copyButton_, text::Widen(kCopyFailedCaption).c_str());
    }
}

WindowId ReminderWindow::Handle() {
    Load();
    return IdOf(hwnd_);
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
    const PixelRect place = PlaceByMainWindow(size, screen);
    ::SetWindowPos(hwnd_, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::UpdateWindow(hwnd_);
}

PixelRect ReminderWindow::PlaceByMainWindow(PixelSize size, const Screen& screen) const {
    const std::optional<RECT> mainRect = mainPlace_ ? mainPlace_() : std::nullopt;
    // Without a main window, as if one stood just above the centred place.
    const PixelRect centred = CentredOn(size, screen.monitor);
    const PixelRect main = mainRect ? win::ToPixelRect(*mainRect)
                                    : PixelRect{centred.left, centred.top - size.height, centred.right, centred.top};
    return ReminderPlace(size, main, screen);
}

LRESULT ReminderWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const std::optional<LRESULT> painted = controls_.HandleMessage(hwnd_, message, wParam, lParam)) return *painted;
    switch (message) {
    case WM_CREATE:
        controls_.Create(hwnd_, instance_, "無法建立提醒視窗的標籤。");
        controls_.Layout(win::WindowDpi(hwnd_));
        return 0;
    case WM_DPICHANGED:
        controls_.Layout(HIWORD(wParam));
        controls_.FitAfterDpiChange(hwnd_, *reinterpret_cast<const RECT*>(lParam), kStyle, kExStyle);
        if (idDigits_) {
            LayoutIdRow();
            const IdRowRects rects = IdRowLayout(ReminderIdRow(), controls_.Form().clientWidth,
                                                 controls_.Form().clientHeight, controls_.Dpi());
            const SIZE outer = win::OuterSizeForClient(rects.client, kStyle, kExStyle, controls_.Dpi());
            ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    case WM_TIMER:
        if (wParam == kIdTimer) StartIdRead();
        return 0;
    case kIdReadDone: {
        const std::unique_ptr<IdRead> read(reinterpret_cast<IdRead*>(lParam));
        OnIdRead(*read);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kCopyButtonId && HIWORD(wParam) == BN_CLICKED && copyButton_) CopyId();
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        // The ID in the message's blue on the window's own background, or
        // in the system's colours under high contrast: the one colour
        // source the rest of the window is drawn from.
        if (reinterpret_cast<HWND>(lParam) == idDigits_ || reinterpret_cast<HWND>(lParam) == copyButton_) {
            const colours::Look look =
                colours::LookOf(colours::Role::Label, controls_.Form().back, ReminderIdRow().digitsColour,
                                colours::State::Normal, controls_.HighContrast());
            return win::LabelColours(reinterpret_cast<HDC>(wParam), look, idBrushes_);
        }
        break;
    case WM_SETFOCUS:
        if (copyButton_) ::SetFocus(copyButton_);
        return 0;
    case WM_DESTROY:
        // The children go with the window; the brushes and fonts with it too,
        // and the watch, whose timer and reads were the window's.
        ::KillTimer(hwnd_, kIdTimer);
        ++idGeneration_;
        idReading_ = false;
        idFile_.clear();
        idDigits_ = copyButton_ = nullptr;
        RemoveIdRow();
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
