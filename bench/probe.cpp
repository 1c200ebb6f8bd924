// Measures tarn-kit for the benchmark command (scripts/bench.sh). Every mode
// prints one line per run, "key=value" pairs separated by blanks, for
// bench/run_bench.py to read.
//
//   probe startup RUNS EXE TITLE [EXE TITLE]...
//       Starts each program in turn, RUNS rounds (interleaved, so that a
//       busy machine slows every program alike). Reports the time from
//       CreateProcess until a visible top-level window with TITLE belongs to
//       the new process, then, once start-up work has settled, the process's
//       peak working set and the modules it has loaded.
//   probe download URL PATH
//       One fetch of URL into PATH through the program's own platform
//       operation; the time of the call and the size of the file it left.
//   probe launch RUNS
//       The AnyDesk button's launch, through the real Win32 platform and the
//       real reminder window, with its program file present: the time of the
//       whole call and the part of it beyond the launch's own pause.
//   probe fetch-launch HOST
//       One AnyDesk launch with its program file missing, fetched from HOST
//       (host:port, plain http) instead of this build's web host: the time
//       from the call until the client's process was created, the time of
//       the download and its result, and what the person was told.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/BareStart.h"
#include "bench/Probe.h"
#include "launch/Catalogue.h"
#include "launch/Deployment.h"
#include "launch/LaunchTool.h"
#include "platform/win32/Text.h"
#include "platform/win32/Download.h"
#include "platform/win32/Win32Platform.h"
#include "windows/Designs.h"
#include "windows/win32/MessageLoop.h"
#include "windows/win32/ReminderWindow.h"

namespace {

using bench::Stopwatch;

// ---- the download operation ---------------------------------------------------

// The real platform, with two departures that only a measurement needs: it
// remembers the processes it started, so that the probe can end them by id,
// and a message box is recorded instead of shown, since a modal box would
// stop an unattended run (a launch that wants one has failed anyway).
class ProbePlatform : public tarn::Win32Platform {
public:
    using Win32Platform::Win32Platform;

    tarn::TaskId Shell(const std::string& commandLine, tarn::ShowState style,
                       const tarn::ProgramCheck& check = {}) override {
        return Record(commandLine, [&] { return Win32Platform::Shell(commandLine, style, check); });
    }
    tarn::MsgBoxAnswer MsgBox(const std::string& prompt, tarn::MsgBoxButtons, tarn::MsgBoxIcon) override {
        messages_.push_back(prompt);
        return tarn::MsgBoxAnswer::Ok;
    }
    tarn::DownloadResult Download(const std::string& url, const std::string& path,
                                  const tarn::ProgramCheck& check = {}) override {
        return Fetched([&] { return Win32Platform::Download(url, path, check); });
    }

    void Reset() {
        started_.clear();
        commands_.clear();
        messages_.clear();
        startedAtMs_.clear();
        shellMs_ = 0;
        downloads_ = 0;
        downloadMs_ = 0;
        downloadResult_ = tarn::kDownloadOk;
        downloadAtMs_ = -1;
        sinceReset_ = Stopwatch();
    }
    // When each start returned, its process created, in ms since Reset.
    const std::vector<double>& StartedAtMs() const { return startedAtMs_; }
    int Downloads() const { return downloads_; }
    double DownloadMs() const { return downloadMs_; }
    tarn::DownloadResult LastDownloadResult() const { return downloadResult_; }
    // When the first download began, in ms since Reset; -1 for none.
    double DownloadAtMs() const { return downloadAtMs_; }
    const std::vector<tarn::TaskId>& Started() const { return started_; }
    const std::vector<std::string>& Commands() const { return commands_; }
    const std::vector<std::string>& Messages() const { return messages_; }
    double ShellMs() const { return shellMs_; }

private:
    template <typename Start>
    tarn::TaskId Record(const std::string& commandLine, Start start) {
        Stopwatch clock;
        const tarn::TaskId id = start();
        shellMs_ += clock.Ms();
        startedAtMs_.push_back(sinceReset_.Ms());
        started_.push_back(id);
        commands_.push_back(commandLine);
        return id;
    }
    template <typename Fetch>
    tarn::DownloadResult Fetched(Fetch fetch) {
        if (downloads_ == 0) downloadAtMs_ = sinceReset_.Ms();
        Stopwatch clock;
        downloadResult_ = fetch();
        downloadMs_ += clock.Ms();
        ++downloads_;
        return downloadResult_;
    }

    std::vector<tarn::TaskId> started_;
    std::vector<std::string> commands_;
    std::vector<std::string> messages_;
    std::vector<double> startedAtMs_;
    double shellMs_ = 0;
    int downloads_ = 0;
    double downloadMs_ = 0;
    tarn::DownloadResult downloadResult_;
    double downloadAtMs_ = -1;
    Stopwatch sinceReset_;
};

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int Download(const wchar_t* url, const wchar_t* path) {
    // Waiting as the program does, through its message loop.
    tarn::win::MessageLoop loop;
    ProbePlatform platform(loop);
    ::DeleteFileW(path);
    // curl's libraries are loaded before its clock starts; WinINet is loaded
    // on first use, so it is loaded here first to measure the same thing.
    if (!tarn::PrepareDownloads()) return 1;
    Stopwatch clock;
    const tarn::DownloadResult result = platform.Download(tarn::text::Narrow(url), tarn::text::Narrow(path));
    const double ms = clock.Ms();
    std::printf("result=0x%08lx download_ms=%.2f bytes=%lld\n", static_cast<unsigned long>(result.Code()), ms,
                FileSize(path));
    std::fflush(stdout);
    return result == tarn::kDownloadOk ? 0 : 1;
}

// ---- launch overhead ----------------------------------------------------------

// Times the hand-off to the reminder window (loading it included), to tell
// that part of the overhead from the process starts.
class TimedReminder : public tarn::Reminder {
public:
    explicit TimedReminder(tarn::Reminder& inner) : inner_(inner) {}
    void SetText(const std::string& text) override {
        Stopwatch clock;
        inner_.SetText(text);
        ms_ += clock.Ms();
    }
    tarn::WindowId Handle() override {
        Stopwatch clock;
        const tarn::WindowId handle = inner_.Handle();
        ms_ += clock.Ms();
        return handle;
    }
    void WatchForId(const std::string& path) override { inner_.WatchForId(path); }
    void ForgetId() override { inner_.ForgetId(); }
    double Ms() const { return ms_; }
    void Reset() { ms_ = 0; }

private:
    tarn::Reminder& inner_;
    double ms_ = 0;
};

// Waits for what the launch started, through the platform that holds its
// processes; the number still running after ten seconds.
int WaitStarted(ProbePlatform& platform) {
    int running = 0;
    for (tarn::TaskId id : platform.Started())
        if (!platform.WaitForTasks({id}, std::chrono::milliseconds{10000})) ++running;
    return running;
}

// The reference for the launch: the same CreateProcessW calls, with the same
// command lines, programs and folders, and nothing else. The time of the
// calls alone; the processes are waited for afterwards, outside it. failed
// counts the starts that did not happen, for then the reference measured
// less than the launch did.
double BareStarts(const std::vector<std::string>& commands, int& failed) {
    std::vector<HANDLE> started;
    failed = 0;
    Stopwatch clock;
    for (const std::string& command : commands) {
        const WORD show = bench::IsCmd(command.c_str()) ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
        if (HANDLE process = bench::BareStart(command.c_str(), show))
            started.push_back(process);
        else
            ++failed;
    }
    const double ms = clock.Ms();
    for (HANDLE process : started) {
        ::WaitForSingleObject(process, 10000);
        ::CloseHandle(process);
    }
    return ms;
}

// The reference for the pause: how far a bare Sleep of the same length
// overruns it.
double BareOverrun(int pauseMs) {
    Stopwatch clock;
    ::Sleep(static_cast<DWORD>(pauseMs));
    return clock.Ms() - pauseMs;
}

// The reference for the reminder's part: a bare topmost tool window of the
// reminder's size, with its labels as plain static controls, each with its
// caption in its font, created, shown and painted as the reminder is on its
// first launch; no colours, no placement, no DPI. The time of those calls;
// the window goes afterwards, outside it.
double BareReminder(const tarn::design::Form<tarn::design::ReminderControl>& form) {
    static const wchar_t kClass[] = L"BareReminder";
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);  // fails harmlessly from the second run on

    std::vector<HFONT> fonts;
    Stopwatch clock;
    const tarn::PixelSize client = tarn::design::ClientSize(form, 96);
    HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClass, tarn::text::Widen(form.caption).c_str(),
                                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 100, 100, client.width,
                                    client.height, nullptr, nullptr, wc.hInstance, nullptr);
    for (const auto& control : form.controls) {
        const tarn::design::Font& font = control.font ? *control.font : form.font;
        LOGFONTW wanted{};
        wanted.lfHeight = tarn::design::FontHeight(font.points, 96);
        wanted.lfWeight = font.weight;
        wanted.lfCharSet = static_cast<BYTE>(font.charset);
        const std::wstring face = tarn::text::Widen(font.face);
        face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
        fonts.push_back(::CreateFontIndirectW(&wanted));
        const tarn::PixelRect r = tarn::design::ControlRect(form, control.id, 96);
        HWND label = ::CreateWindowExW(0, L"STATIC", tarn::text::Widen(control.caption).c_str(),
                                       WS_CHILD | WS_VISIBLE | SS_CENTER, r.left, r.top, r.right - r.left,
                                       r.bottom - r.top, window, nullptr, wc.hInstance, nullptr);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.back()), FALSE);
    }
    ::ShowWindow(window, SW_SHOW);
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::UpdateWindow(window);
    const double ms = clock.Ms();
    ::DestroyWindow(window);
    for (HFONT font : fonts) ::DeleteObject(font);
    return ms;
}

int Launch(int runs) {
    const tarn::Deployment deploy = tarn::BuiltInDeployment();
    const tarn::ToolEntry entry = tarn::AnyDeskEntry(deploy);
    const int pauseMs = static_cast<int>(entry.pause.count());
    if (::GetFileAttributesW(tarn::text::Widen(entry.testPath).c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "%s is missing: the launch would download it\n", entry.testPath.c_str());
        return 2;
    }
    tarn::win::MessageLoop loop;
    ProbePlatform platform(loop);
    // No main window in the probe: the reminder places itself on the screen.
    tarn::ReminderWindow reminder(::GetModuleHandleW(nullptr), deploy,
                                  []() -> std::optional<RECT> { return std::nullopt; });
    TimedReminder timedReminder(reminder);
    tarn::LaunchContext context{platform, timedReminder, deploy};

    for (int run = 0; run < runs; ++run) {
        platform.Reset();
        timedReminder.Reset();
        // Every run loads the reminder window anew, as the first launch does.
        // The loop's waits, outside the timed call, let the reminder paint
        // and, after Close, go away.
        reminder.Close();
        loop.Wait(nullptr, 0, 200);
        Stopwatch clock;
        tarn::LaunchTool(entry, context);
        const double totalMs = clock.Ms();
        const bool started = std::find(platform.Commands().begin(), platform.Commands().end(), entry.startPath) !=
                             platform.Commands().end();
        loop.Wait(nullptr, 0, 300);
        const int running = WaitStarted(platform);
        int bareFailed = 0;
        const double bareMs = BareStarts(platform.Commands(), bareFailed);
        const double bareReminderMs = BareReminder(tarn::design::ReminderDesign(deploy));
        loop.Wait(nullptr, 0, 100);
        const double bareOverrunMs = BareOverrun(pauseMs);
        std::printf(
            "run=%d total_ms=%.2f pause_ms=%d overhead_ms=%.2f bare_ms=%.2f bare_failed=%d "
            "bare_reminder_ms=%.2f bare_overrun_ms=%.2f shell_ms=%.2f reminder_ms=%.2f processes=%zu "
            "started=%d reminder=%d messages=%zu running=%d\n",
            run, totalMs, pauseMs, totalMs - pauseMs, bareMs, bareFailed, bareReminderMs, bareOverrunMs,
            platform.ShellMs(), timedReminder.Ms(), platform.Started().size(), started ? 1 : 0,
            reminder.IsLoaded() ? 1 : 0, platform.Messages().size(), running);
        for (const std::string& message : platform.Messages()) std::fprintf(stderr, "message: %s\n", message.c_str());
        std::fflush(stdout);
    }
    reminder.Close();
    loop.Wait(nullptr, 0, 100);
    return 0;
}

// ---- a launch that downloads its client ---------------------------------------

int FetchLaunch(const wchar_t* host) {
    tarn::Deployment deploy = tarn::BuiltInDeployment();
    deploy.webHost = tarn::text::Narrow(host);
    deploy.https = false;
    const tarn::ToolEntry entry = tarn::AnyDeskEntry(deploy);
    const int pauseMs = static_cast<int>(entry.pause.count());
    if (::GetFileAttributesW(tarn::text::Widen(entry.testPath).c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "%s is present: the launch would not download it\n", entry.testPath.c_str());
        return 2;
    }
    tarn::win::MessageLoop loop;
    ProbePlatform platform(loop);
    tarn::ReminderWindow reminder(::GetModuleHandleW(nullptr), deploy,
                                  []() -> std::optional<RECT> { return std::nullopt; });
    tarn::LaunchContext context{platform, reminder, deploy};
    // WinINet is not loaded beforehand: the program loads it in the first
    // download of its life, inside the click, and so does this one.
    platform.Reset();
    Stopwatch clock;
    tarn::LaunchTool(entry, context);
    const double totalMs = clock.Ms();
    double startedMs = -1;
    for (std::size_t i = 0; i < platform.Commands().size(); ++i)
        if (platform.Commands()[i] == entry.startPath) startedMs = platform.StartedAtMs()[i];
    loop.Wait(nullptr, 0, 300);
    const int running = WaitStarted(platform);
    std::printf(
        "started_ms=%.2f total_ms=%.2f pause_ms=%d download_at_ms=%.2f download_ms=%.2f downloads=%d "
        "result=0x%08lx bytes=%lld processes=%zu messages=%zu running=%d\n",
        startedMs, totalMs, pauseMs, platform.DownloadAtMs(), platform.DownloadMs(), platform.Downloads(),
        static_cast<unsigned long>(platform.LastDownloadResult().Code()), FileSize(tarn::text::Widen(entry.testPath)),
        platform.Started().size(), platform.Messages().size(), running);
    for (const std::string& message : platform.Messages()) std::fprintf(stderr, "message: %s\n", message.c_str());
    std::fflush(stdout);
    reminder.Close();
    loop.Wait(nullptr, 0, 100);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"startup" && argc >= 5 && (argc - 3) % 2 == 0)
        return bench::Startup(_wtoi(argv[2]), (argc - 3) / 2, argv + 3);
    if (mode == L"download" && argc == 4) return Download(argv[2], argv[3]);
    if (mode == L"launch" && argc == 3) return Launch(_wtoi(argv[2]));
    if (mode == L"fetch-launch" && argc == 3) return FetchLaunch(argv[2]);
    std::fprintf(stderr,
                 "usage: probe startup RUNS EXE TITLE [EXE TITLE]...\n"
                 "       probe download URL PATH\n"
                 "       probe launch RUNS\n"
                 "       probe fetch-launch HOST\n");
    return 2;
}
