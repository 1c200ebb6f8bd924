// The waits under Wine. Through the message loop, the platform's pauses,
// process waits and downloads keep the calling thread's windows answering,
// last as long as asked and give back a quit met on the way; the program's
// own loop and those waits offer every message to the same keyboard
// handling first. Without the loop the platform dispatches nothing. A
// download tells a watcher about itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "WinTestSupport.h"
#include "platform/Handle.h"
#include "platform/win32/Win32Platform.h"
#include "windows/win32/MessageLoop.h"

namespace tarn::testing {
namespace {

constexpr UINT kProbeMessage = WM_APP + 7;
// The pings' wParam, so that the probe tells them from the system's WM_NULLs.
constexpr WPARAM kPing = 0x7A11;

// A window of the test's thread that counts what reaches its procedure.
// Its procedure runs on that thread, so whether a message was dispatched
// inside a wait is known exactly, whatever the clock says.
class ProbeWindow {
public:
    ProbeWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Procedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TarnKitBusyProbe";
        ::RegisterClassW(&wc);  // fails harmlessly when registered already
        hwnd_ = ::CreateWindowExW(0, L"TarnKitBusyProbe", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, wc.hInstance, nullptr);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        probed_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    ~ProbeWindow() { ::DestroyWindow(hwnd_); }
    ProbeWindow(const ProbeWindow&) = delete;
    ProbeWindow& operator=(const ProbeWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // Set when the first probe message has been dispatched.
    HANDLE Probed() const { return probed_.get(); }
    int probes = 0;
    bool probedWhileWaiting = false;
    int pingsWhileWaiting = 0;
    // Set by the test's thread around the wait; read by the pinger too.
    std::atomic<bool> waiting{false};

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ProbeWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == kProbeMessage) {
            if (self->probes++ == 0) {
                self->probedWhileWaiting = self->waiting;
                ::SetEvent(self->probed_.get());
            }
            return 0;
        }
        if (self && message == WM_NULL && wParam == kPing) {
            if (self->waiting) ++self->pingsWhileWaiting;
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    KernelHandle probed_;
};

// Once start is signalled, asks the probe, from another thread, to answer a
// ping within boundMs, over and over until stopped. A ping that was not
// answered in time is kept with when it was sent, counted from the
// pinger's start, and whether the probe's thread was inside its wait then.
class Pinger {
public:
    struct Miss {
        ULONGLONG sentAtMs;
        bool duringWait;
    };

    Pinger(ProbeWindow& probe, HANDLE start, DWORD boundMs) : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([this, &probe, start, boundMs] {
            if (::WaitForSingleObject(start, 10000) == WAIT_OBJECT_0) {
                const ULONGLONG began = ::GetTickCount64();
                while (!stop_) {
                    const ULONGLONG sent = ::GetTickCount64();
                    const bool duringWait = probe.waiting;
                    DWORD_PTR result = 0;
                    if (!::SendMessageTimeoutW(probe.hwnd(), WM_NULL, kPing, 0, SMTO_ABORTIFHUNG, boundMs, &result))
                        misses.push_back({sent - began, duringWait});
                    ::Sleep(20);
                }
            }
            ::SetEvent(done_.get());
        });
    }
    ~Pinger() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;

    // Ends the pings while the probe's thread goes on dispatching through
    // loop: a ping sent as the wait ended is answered, not left waiting on
    // a thread that joins the pinger.
    void Stop(win::MessageLoop& loop) {
        stop_ = true;
        void* done = done_.get();
        loop.Wait(&done, 1, INFINITE);
        thread_.join();
    }

    std::vector<Miss> misses;  // read after Stop

private:
    std::atomic<bool> stop_{false};
    KernelHandle done_;
    std::thread thread_;
};

std::string Describe(const std::vector<Pinger::Miss>& misses) {
    std::string text;
    for (const Pinger::Miss& miss : misses)
        text += "\n  ping sent " + std::to_string(miss.sentAtMs) + " ms after the first" +
                (miss.duringWait ? ", while the thread waited" : ", outside the wait");
    return text;
}

struct WaitCase {
    const char* name;
    // Runs one wait of the platform that lasts a while; answers what it is
    // expected to last at least, in milliseconds.
    std::function<ULONGLONG(Win32Platform&, const ScratchFolder&)> wait;
};

class ResponsiveWait : public ::testing::TestWithParam<WaitCase> {};

// Catches a wait that stops dispatching: the probe's thread must answer
// pings inside the wait, however loaded the machine. The bound on each ping
// is far above scheduling delays; only a thread held for a second misses it.
// Every download here is the first of its process (each case runs in its
// own), so WinINet, and for the checked one bcrypt and the trust services,
// are loaded while the window must answer.
TEST_P(ResponsiveWait, AnswersMessagesWhileItWaits) {
    ScratchFolder folder;
    ProbeWindow probe;
    win::MessageLoop loop;
    Win32Platform os(loop, std::chrono::seconds(5));
    ::PostMessageW(probe.hwnd(), kProbeMessage, 0, 0);
    ULONGLONG atLeast = 0;
    ULONGLONG elapsed = 0;
    std::vector<Pinger::Miss> misses;
    {
        // The pings begin once the queued probe has been dispatched, which
        // must happen at the wait's beginning: before it nothing wakes the
        // thread but what was queued.
        Pinger pinger(probe, probe.Probed(), 1000);
        const ULONGLONG start = ::GetTickCount64();
        probe.waiting = true;
        atLeast = GetParam().wait(os, folder);
        probe.waiting = false;
        elapsed = ::GetTickCount64() - start;
        pinger.Stop(loop);
        misses = pinger.misses;
    }
    // The case waited long enough for its pings to mean something; half its
    // time, so that no clock's step can fail it, a wait that ended at once
    // still does.
    EXPECT_GE(elapsed * 2, atLeast);
    EXPECT_EQ(probe.probes, 1);
    EXPECT_TRUE(probe.probedWhileWaiting) << "the message queued before the wait was not dispatched in it";
    EXPECT_GE(probe.pingsWhileWaiting, 3) << "the window did not answer while the thread waited";
    EXPECT_TRUE(misses.empty()) << misses.size() << " pings unanswered, the wait lasting " << elapsed
                                << " ms:" << Describe(misses);
}

// Calls cancel once received reaches half of total.
class CancelHalfway : public DownloadWatcher {
public:
    void DownloadBegins(const std::string&, std::function<void()> cancel) override { cancel_ = std::move(cancel); }
    void DownloadProgress(std::uint64_t received, std::optional<std::uint64_t> total) override {
        if (total && *total > 0 && received * 2 >= *total) cancel_();
    }
    void DownloadResumes() override {}
    void DownloadEnds() override {}

private:
    std::function<void()> cancel_;
};

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponsiveWait,
    ::testing::Values(WaitCase{"Pause",
                               [](Win32Platform& os, const ScratchFolder&) -> ULONGLONG {
                                   os.Sleep(std::chrono::milliseconds{800});
                                   return 800;
                               }},
                      WaitCase{"ProcessWait",
                               [](Win32Platform& os, const ScratchFolder& folder) -> ULONGLONG {
                                   const TaskId child = os.Shell(
                                       "\"" + ProgramFolder() + "\\win_child.exe\" \"" + folder / "mark.txt" + "\" 800",
                                       ShowState::Hidden);
                                   EXPECT_TRUE(os.WaitForTasks({child}, std::chrono::milliseconds{10000}));
                                   EXPECT_TRUE(ReadBytes(folder / "mark.txt").exists)
                                       << "returned before the child ended";
                                   return 700;
                               }},
                      // Twenty pieces with a pause after each.
                      WaitCase{"SlowDownload",
                               [](Win32Platform& os, const ScratchFolder& folder) -> ULONGLONG {
                                   EXPECT_EQ(os.Download(BaseUrl() + "/slow/program.exe", folder / "slow.exe"),
                                             kDownloadOk);
                                   return 500;
                               }},
                      // The whole body is hashed and its publisher asked for at the end,
                      // before the unsigned program is refused.
                      WaitCase{"SlowCheckedDownload",
                               [](Win32Platform& os, const ScratchFolder& folder) -> ULONGLONG {
                                   EXPECT_EQ(os.Download(BaseUrl() + "/slow/program.exe", folder / "slow.exe",
                                                         {kFixtureSha256, "tarn-kit Test Publisher"}),
                                             kDownloadNotGenuine);
                                   return 500;
                               }},
                      WaitCase{"CancelledDownload",
                               [](Win32Platform& os, const ScratchFolder& folder) -> ULONGLONG {
                                   CancelHalfway watcher;
                                   os.SetDownloadWatcher(&watcher);
                                   EXPECT_EQ(os.Download(BaseUrl() + "/slow/program.exe", folder / "slow.exe"),
                                             kDownloadAborted);
                                   os.SetDownloadWatcher(nullptr);
                                   return 250;
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BusyWait, ProcessWaitStillEndsAtItsTime) {
    ScratchFolder folder;
    win::MessageLoop loop;
    Win32Platform dispatching(loop);
    Win32Platform plain;
    for (Win32Platform* os : {&dispatching, &plain}) {
        SCOPED_TRACE(os == &plain ? "plain wait" : "message loop");
        const std::string mark = folder / (os == &plain ? "plain.txt" : "loop.txt");
        const TaskId child =
            os->Shell("\"" + ProgramFolder() + "\\win_child.exe\" \"" + mark + "\" 5000", ShowState::Hidden);
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_FALSE(os->WaitForTasks({child}, std::chrono::milliseconds{400}));
        // Not at once: half its time, so that no clock's step can fail it.
        EXPECT_GE(::GetTickCount64() - start, 200u);
        // The child marks its end only after five seconds: the wait ended
        // at its own time, not the child's.
        EXPECT_FALSE(ReadBytes(mark).exists) << "the wait lasted until the child ended";
        EXPECT_TRUE(os->WaitForTasks({child}, std::chrono::milliseconds{10000}));
    }
}

// Taken from the queue by the loop's wait, or left there for the loop by a
// wait that dispatches nothing: either way no message is lost.
std::vector<UINT> LeftInQueue(HWND window, WPARAM& quitCode) {
    MSG msg{};
    std::vector<UINT> left;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == window || msg.message == WM_QUIT) left.push_back(msg.message);
        if (msg.message == WM_QUIT) quitCode = msg.wParam;
    }
    return left;
}

TEST(BusyWait, QuitMetWhilePumpingIsPostedAgainAfterTheFullPause) {
    ProbeWindow probe;
    win::MessageLoop loop;
    Win32Platform os(loop);
    ::PostQuitMessage(7);
    // Arrives after the quit was met: a message loop would have ended by
    // then, so the wait leaves it in the queue.
    std::thread late([hwnd = probe.hwnd()] {
        ::Sleep(150);
        ::PostMessageW(hwnd, kProbeMessage, 0, 0);
    });
    const ULONGLONG start = ::GetTickCount64();
    os.Sleep(std::chrono::milliseconds{400});
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    late.join();
    EXPECT_GE(elapsed, 400u) << "the quit cut the pause short";
    EXPECT_EQ(probe.probes, 0);
    WPARAM quitCode = 0;
    EXPECT_EQ(LeftInQueue(probe.hwnd(), quitCode), (std::vector<UINT>{kProbeMessage, WM_QUIT}))
        << "the quit was swallowed or a message lost";
    EXPECT_EQ(quitCode, 7u);
}

TEST(BusyWait, WithoutTheLoopThePlatformDispatchesNothing) {
    ProbeWindow probe;
    Win32Platform os;
    ::PostMessageW(probe.hwnd(), kProbeMessage, 0, 0);
    const ULONGLONG start = ::GetTickCount64();
    os.Sleep(std::chrono::milliseconds{300});
    EXPECT_GE(::GetTickCount64() - start, 300u);
    EXPECT_EQ(probe.probes, 0);
    WPARAM quitCode = 0;
    EXPECT_EQ(LeftInQueue(probe.hwnd(), quitCode), (std::vector<UINT>{kProbeMessage}));
}

// The waits and the program's own loop offer every message to the same
// keyboard handling before dispatching it.
TEST(BusyWait, MessagesPassThePreTranslationFirstInWaitsAndInTheLoop) {
    ProbeWindow probe;
    win::MessageLoop loop;
    Win32Platform os(loop);
    std::vector<WPARAM> offered;
    loop.PreTranslateWith([&](MSG& msg) {
        if (msg.hwnd != probe.hwnd()) return false;
        offered.push_back(msg.wParam);
        return msg.wParam % 2 == 1;  // taken by the pre-translation: not dispatched
    });
    ::PostMessageW(probe.hwnd(), kProbeMessage, 1, 0);
    ::PostMessageW(probe.hwnd(), kProbeMessage, 2, 0);
    os.Sleep(std::chrono::milliseconds{200});
    EXPECT_EQ(offered, (std::vector<WPARAM>{1, 2}));
    EXPECT_EQ(probe.probes, 1);

    ::PostMessageW(probe.hwnd(), kProbeMessage, 3, 0);
    ::PostMessageW(probe.hwnd(), kProbeMessage, 4, 0);
    ::PostQuitMessage(5);
    EXPECT_EQ(loop.Run(), 5) << "the loop ends with the quit's code";
    EXPECT_EQ(offered, (std::vector<WPARAM>{1, 2, 3, 4}));
    EXPECT_EQ(probe.probes, 2);
}

// Records what the platform tells it, and cancels on request.
class RecordingWatcher : public DownloadWatcher {
public:
    std::vector<std::string> events;
    std::vector<std::optional<std::uint64_t>> totals;
    std::uint64_t lastReceived = 0;
    std::optional<std::uint64_t> afterResume;  // the count first told after a drop
    bool cancelOnProgress = false;

    void DownloadBegins(const std::string& path, std::function<void()> cancel) override {
        events.push_back("begins " + path);
        cancel_ = std::move(cancel);
    }
    void DownloadProgress(std::uint64_t received, std::optional<std::uint64_t> total) override {
        if (events.back() == "resumes") afterResume = received;
        if (events.back() != "progress") events.push_back("progress");
        totals.push_back(total);
        lastReceived = received;
        if (cancelOnProgress && received > 0) cancel_();
    }
    void DownloadResumes() override { events.push_back("resumes"); }
    void DownloadEnds() override { events.push_back("ends"); }

private:
    std::function<void()> cancel_;
};

struct WatchCase {
    const char* name;
    std::string urlPath;
    bool lengthKnown;
    bool resumed = false;  // the line drops once
};

class WatchedDownload : public ::testing::TestWithParam<WatchCase> {};

TEST_P(WatchedDownload, TellsTheWatcherFromBeginningToEnd) {
    ScratchFolder folder;
    Win32Platform os(std::chrono::seconds(5));
    RecordingWatcher watcher;
    os.SetDownloadWatcher(&watcher);
    const std::string target = folder / "AnyDesk.exe";
    ASSERT_EQ(os.Download(BaseUrl() + GetParam().urlPath, target), kDownloadOk);
    const FileBytes file = ReadBytes(target);
    std::vector<std::string> events = watcher.events;
    std::vector<std::string> expected{"begins " + target, "progress", "ends"};
    if (GetParam().resumed) {
        // The first part may come within the same moment as the drop.
        if (events.size() > 2 && events[1] == "progress") events.erase(events.begin() + 1);
        expected.insert(expected.begin() + 1, "resumes");
        // Told of the drop after the bytes that came before it, so the words
        // of the drop stand until more come.
        ASSERT_TRUE(watcher.afterResume.has_value());
        EXPECT_GT(*watcher.afterResume, file.bytes.size() / 2);
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(watcher.lastReceived, file.bytes.size());
    const std::optional<std::uint64_t> total =
        GetParam().lengthKnown ? std::optional<std::uint64_t>(file.bytes.size()) : std::nullopt;
    for (const auto& t : watcher.totals) EXPECT_EQ(t, total);
}

INSTANTIATE_TEST_SUITE_P(Cases, WatchedDownload,
                         ::testing::Values(WatchCase{"WithLength", "/slow/program.exe", true},
                                           WatchCase{"WithoutLength", "/nolength/program.exe", false},
                                           // The rest comes a second after the drop.
                                           WatchCase{"Resumed", "/resume/pause/program.exe", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BusyWait, CancelThroughTheWatcherFailsTheDownloadAndLeavesNothing) {
    ScratchFolder folder;
    Win32Platform os(std::chrono::seconds(5));
    RecordingWatcher watcher;
    watcher.cancelOnProgress = true;
    os.SetDownloadWatcher(&watcher);
    const std::string target = folder / "RustDesk.exe";
    EXPECT_EQ(os.Download(BaseUrl() + "/slow/program.exe", target), kDownloadAborted);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty()) << "a cancelled download left a file";
    ASSERT_FALSE(watcher.events.empty());
    EXPECT_EQ(watcher.events.back(), "ends");

    // The cancel belonged to that download: the next one runs to its end.
    watcher.cancelOnProgress = false;
    EXPECT_EQ(os.Download(BaseUrl() + "/slow/program.exe", target), kDownloadOk);
    EXPECT_TRUE(ReadBytes(target).exists);
}

}  // namespace
}  // namespace tarn::testing
