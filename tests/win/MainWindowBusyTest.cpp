// The main window while a click's work runs (under Wine, over the recording
// fake): no clicks and no close until it ends, on its error paths too; and
// the bottom strip's progress controls while a program file downloads.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../native/Fixtures.h"
#include "../native/FakeOs.h"
#include "WinTestSupport.h"
#include "launch/Catalogue.h"
#include "platform/win32/Text.h"
#include "windows/win32/MainWindow.h"
#include "windows/win32/ReminderWindow.h"

namespace tarn::testing {
namespace {

const std::string kBottomLabel = "遠端協助 (tarn-kit)  網站：dl.test:8080  (20231104)";

// The fake, with a hook into the middle of a launch.
class HookedOs : public FakeOs {
public:
    std::function<void()> onSleep;
    std::function<void()> onMsgBox;

    void Sleep(std::chrono::milliseconds pause) override {
        FakeOs::Sleep(pause);
        if (onSleep) onSleep();
    }
    MsgBoxAnswer MsgBox(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon) override {
        if (onMsgBox) onMsgBox();
        return FakeOs::MsgBox(prompt, buttons, icon);
    }
};

struct Fixture {
    HookedOs os;
    ReminderWindow reminder{::GetModuleHandleW(nullptr), kDeploy, []() -> std::optional<RECT> { return std::nullopt; }};
    MainWindow main{::GetModuleHandleW(nullptr), os, reminder, kDeploy};

    Fixture() {
        os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
        EXPECT_TRUE(main.Create());
        ::ShowWindow(main.Window(), SW_SHOW);
        os.log.clear();
    }

    HWND Strip() const { return main.ControlWindow(design::MainControl::BottomStrip); }

    // The clickable controls: the ten buttons and the strip's label.
    std::vector<HWND> Clickable() const {
        std::vector<HWND> found;
        for (HWND child : Children(main.Window()))
            if (child != Strip()) found.push_back(child);
        for (HWND child : Children(Strip())) found.push_back(child);
        return found;
    }

    int EnabledCount() const {
        int enabled = 0;
        for (HWND control : Clickable()) enabled += ::IsWindowEnabled(control) ? 1 : 0;
        return enabled;
    }

    void Click(const std::string& caption) {
        HWND button = ChildByText(main.Window(), caption);
        ASSERT_NE(button, nullptr) << caption;
        ::SendMessageW(button, BM_CLICK, 0, 0);
    }
};

// What the window does with every way in while the launch is in the middle.
struct Refusals {
    int enabled = -1;
    bool busy = false;
    std::size_t logGrowth = 0;  // log lines that the attempts below added
    LRESULT endSession = -1;
    bool stillOpen = false;
};

Refusals TryEverything(Fixture& f) {
    Refusals r;
    r.enabled = f.EnabledCount();
    r.busy = f.main.IsBusy();
    const std::size_t before = f.os.log.size();
    HWND main = f.main.Window();
    ::SendMessageW(main, WM_CLOSE, 0, 0);
    r.endSession = ::SendMessageW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    // A second launch, the about button and the label's click, through the
    // window's own command path (a disabled button would not even send it).
    for (const char* caption : {"RustDesk", "聯絡小森"}) {
        HWND button = ChildByText(main, caption);
        ::SendMessageW(main, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    }
    HWND label = f.main.ControlWindow(design::MainControl::BottomLabel);
    ::SendMessageW(f.Strip(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(label), STN_CLICKED),
                   reinterpret_cast<LPARAM>(label));
    r.logGrowth = f.os.log.size() - before;
    r.stillOpen = ::IsWindow(main) != FALSE;
    return r;
}

struct BusyCase {
    const char* name;
    const char* caption;
    // Prepares the fake; answers which hook sees the middle of the launch.
    std::function<void(Fixture&, std::function<void()>)> arrange;
    std::string lastLine;  // what the launch did last (its beginning)
};

class MainWindowBusy : public ::testing::TestWithParam<BusyCase> {};

TEST_P(MainWindowBusy, RefusesEverythingUntilTheLaunchEnds) {
    Fixture f;
    ASSERT_EQ(f.EnabledCount(), 11);
    std::optional<Refusals> during;
    bool trying = false;  // a refused attempt must not reach the hook again
    GetParam().arrange(f, [&] {
        if (during || trying) return;
        trying = true;
        during = TryEverything(f);
    });
    f.Click(GetParam().caption);
    ASSERT_TRUE(during.has_value()) << "the hook was not reached";
    EXPECT_EQ(during->enabled, 0) << "controls took clicks during the launch";
    EXPECT_TRUE(during->busy);
    EXPECT_EQ(during->logGrowth, 0u) << "something ran during the launch";
    EXPECT_EQ(during->endSession, FALSE);
    EXPECT_TRUE(during->stillOpen);
    ASSERT_FALSE(f.os.log.empty());
    EXPECT_EQ(f.os.log.back().rfind(GetParam().lastLine, 0), 0u) << f.os.log.back();

    // Everything back afterwards.
    EXPECT_FALSE(f.main.IsBusy());
    EXPECT_EQ(f.EnabledCount(), 11);
    f.os.log.clear();
    f.Click("聯絡小森");
    EXPECT_EQ(f.os.log, (std::vector<std::string>{"Shell 3 explorer.exe http://dl.test:8080/"}));
    f.os.log.clear();
    f.os.answers.push_back(MsgBoxAnswer::Cancel);
    ::SendMessageW(f.main.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(f.os.log, (std::vector<std::string>{"MsgBox 3 是 (否) 結束所有遠端程式！"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, MainWindowBusy,
                         ::testing::Values(BusyCase{"DuringThePause", "AnyDesk",
                                                    [](Fixture& f, std::function<void()> hook) {
                                                        f.os.onSleep = std::move(hook);
                                                    },
                                                    "SetZOrder "},
                                           // The IE11 program cannot start: its error message is the launch's end.
                                           BusyCase{"DuringTheErrorMessage", "傳統IE11 (tarn-IE11)",
                                                    [](Fixture& f, std::function<void()> hook) {
                                                        f.os.unstartable.insert(Lower(Ie11Entry().startPath));
                                                        f.os.onMsgBox = std::move(hook);
                                                    },
                                                    "MsgBox 0 tarn-IE11.exe 程式執行錯誤，請連絡小森！"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the progress strip ------------------------------------------------------

struct StripState {
    bool labelVisible = false;
    std::vector<std::string> classes;  // of the strip's visible children, in window order
    std::string line;                  // the progress text
    std::string sizes;                 // the smaller one beside it
    std::string cancel;                // the cancel control's text
    bool marquee = false;
    int position = -1;
};

StripState ReadStrip(Fixture& f) {
    StripState s;
    for (HWND child : Children(f.Strip())) {
        if (TextOf(child) == kBottomLabel) {
            s.labelVisible = ::IsWindowVisible(child) != FALSE;
            continue;
        }
        if (!::IsWindowVisible(child)) continue;
        const std::string cls = ClassOf(child);
        s.classes.push_back(cls);
        if (cls == "Static") (s.line.empty() ? s.line : s.sizes) = TextOf(child);
        if (cls == "Button") s.cancel = TextOf(child);
        if (cls == "msctls_progress32") {
            s.marquee = (::GetWindowLongW(child, GWL_STYLE) & PBS_MARQUEE) != 0;
            if (!s.marquee) s.position = static_cast<int>(::SendMessageW(child, PBM_GETPOS, 0, 0));
        }
    }
    return s;
}

TEST(ProgressStrip, ShowsTheDownloadAndGivesTheLabelBackAfterwards) {
    Fixture f;
    int cancels = 0;
    f.main.Downloads().DownloadBegins("c:\\temp\\AnyDesk.exe", [&] { ++cancels; });

    StripState s = ReadStrip(f);
    EXPECT_FALSE(s.labelVisible);
    EXPECT_EQ(s.classes, (std::vector<std::string>{"Static", "Static", "msctls_progress32", "Button"}));
    EXPECT_EQ(s.line, "正在下載 AnyDesk…");
    EXPECT_EQ(s.sizes, "0 B");
    EXPECT_EQ(s.cancel, "取消下載");
    EXPECT_TRUE(s.marquee) << "no length known yet";

    constexpr std::uint64_t MiB = 1024 * 1024;
    f.main.Downloads().DownloadProgress(3 * MiB / 2, 20 * MiB);
    s = ReadStrip(f);
    EXPECT_EQ(s.line, "正在下載 AnyDesk…\u30007%");
    EXPECT_EQ(s.sizes, "1.5 MB／20.0 MB");
    EXPECT_FALSE(s.marquee);
    EXPECT_EQ(s.position, 7);
    EXPECT_EQ(s.classes.size(), 4u);

    // No byte for five seconds: the line says why nothing moves, until one comes.
    const auto now = StallWatch::Clock::now();
    f.main.Downloads().CheckStall(now + std::chrono::seconds(4));
    EXPECT_EQ(ReadStrip(f).line, "正在下載 AnyDesk…\u30007%");
    f.main.Downloads().CheckStall(now + std::chrono::seconds(6));
    EXPECT_EQ(ReadStrip(f).line, "網路很慢，正在等待…");
    f.main.Downloads().DownloadProgress(2 * MiB, 20 * MiB);
    EXPECT_EQ(ReadStrip(f).line, "正在下載 AnyDesk…\u300010%");

    f.main.Downloads().DownloadProgress(20 * MiB, 20 * MiB);
    EXPECT_EQ(ReadStrip(f).position, 100);

    f.main.Downloads().DownloadEnds();
    s = ReadStrip(f);
    EXPECT_TRUE(s.labelVisible);
    EXPECT_TRUE(s.classes.empty());
    EXPECT_EQ(Children(f.Strip()).size(), 1u) << "the progress controls stayed";
    EXPECT_EQ(cancels, 0);
}

TEST(ProgressStrip, WithoutLengthTheBarMovesWithoutPercentage) {
    Fixture f;
    f.main.Downloads().DownloadBegins("c:\\temp\\rustdesk\\RustDesk.exe", [] {});
    f.main.Downloads().DownloadProgress(512 * 1024, std::nullopt);
    const StripState s = ReadStrip(f);
    EXPECT_EQ(s.line, "正在下載 RustDesk…");
    EXPECT_EQ(s.sizes, "512.0 KB");
    EXPECT_TRUE(s.marquee);
    f.main.Downloads().DownloadEnds();
}

TEST(ProgressStrip, CancelButtonAndEscCancelOnlyWhileDownloading) {
    Fixture f;
    int cancels = 0;
    f.main.Downloads().DownloadBegins("c:\\temp\\Aweray.exe", [&] { ++cancels; });
    HWND cancel = ChildByText(f.Strip(), "取消下載");
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(::IsWindowEnabled(cancel));
    ::SendMessageW(cancel, BM_CLICK, 0, 0);
    EXPECT_EQ(cancels, 1);
    MSG esc{f.main.Window(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(f.main.PreTranslateMessage(esc));
    EXPECT_EQ(cancels, 2);
    f.main.Downloads().DownloadEnds();
    f.main.PreTranslateMessage(esc);
    EXPECT_EQ(cancels, 2) << "Esc reached a download that had ended";
}

TEST(ProgressStrip, ControlsSitSideBySideInsideTheStrip) {
    Fixture f;
    f.main.Downloads().DownloadBegins("c:\\temp\\AnyDesk.exe", [] {});
    RECT strip{};
    ::GetWindowRect(f.Strip(), &strip);
    std::vector<RECT> rects;
    for (HWND child : Children(f.Strip())) {
        if (!::IsWindowVisible(child)) continue;
        RECT r{};
        ::GetWindowRect(child, &r);
        rects.push_back(r);
    }
    ASSERT_EQ(rects.size(), 4u);
    for (const RECT& r : rects) {
        EXPECT_GT(r.right - r.left, 40);
        EXPECT_GT(r.bottom - r.top, 10);
        EXPECT_TRUE(r.left >= strip.left && r.right <= strip.right && r.top >= strip.top && r.bottom <= strip.bottom);
    }
    EXPECT_LE(rects[0].right, rects[1].left);
    EXPECT_LE(rects[1].right, rects[2].left);
    EXPECT_LE(rects[2].right, rects[3].left);
    f.main.Downloads().DownloadEnds();
}

}  // namespace
}  // namespace tarn::testing
