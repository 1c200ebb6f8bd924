#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "../native/FakeOs.h"
#include "WinTestSupport.h"
#include "platform/win32/Text.h"
#include "windows/win32/MainWindow.h"
#include "windows/win32/ReminderWindow.h"

namespace tarn::testing {
namespace {

const Deployment kDeploy{"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", ""};
const std::string kAbout = "Shell 3 explorer.exe http://dl.test:8080/";

// The main window over a recording fake, so no command really runs; the
// reminder is the real one, placed below the main window.
struct Fixture {
    FakeOs os;
    HWND seenAtCreation = nullptr;
    bool destroyed = false;
    ReminderWindow reminder{::GetModuleHandleW(nullptr), kDeploy, [this]() -> std::optional<RECT> {
                           RECT r{};
                           if (!main.Window() || !::GetWindowRect(main.Window(), &r)) return std::nullopt;
                           return r;
                       }};
    MainWindow main{::GetModuleHandleW(nullptr), os, reminder, kDeploy};

    Fixture() {
        os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
        main.OnCreated([this](HWND hwnd) { seenAtCreation = hwnd; });
        main.OnDestroyed([this] { destroyed = true; });
        EXPECT_TRUE(main.Create());
        ::ShowWindow(main.Window(), SW_SHOW);
    }

    size_t LogSizeAfter(const std::function<void()>& action) {
        os.log.clear();
        action();
        return os.log.size();
    }
};

TEST(MainWindow, ChildWindowsInTabOrderWithTheirTexts) {
    Fixture f;
    std::vector<std::string> texts;
    for (HWND child : Children(f.main.Window())) texts.push_back(TextOf(child));
    EXPECT_EQ(texts, (std::vector<std::string>{"AnyDesk (GSN)", "AnyDesk", "RustDesk", "RustDesk (tarn)", "Aweray", "",
                                               "聯絡小森", "AeroAdmin", "傳統IE11 (tarn-IE11)", "TrustViewer",
                                               "AnyViewer"}));
    // The strip holds the label, whose text is centred.
    EXPECT_EQ(Children(f.main.Window()).at(5), f.main.ControlWindow(design::MainControl::BottomStrip));
    const std::vector<HWND> strip = Children(f.main.ControlWindow(design::MainControl::BottomStrip));
    ASSERT_EQ(strip.size(), 1u);
    EXPECT_EQ(TextOf(strip[0]), "遠端協助 (tarn-kit)  網站：dl.test:8080  (20231104)");
    EXPECT_NE(::GetWindowLongW(strip[0], GWL_STYLE) & SS_CENTER, 0);
    EXPECT_NE(::GetWindowLongW(strip[0], GWL_STYLE) & SS_NOTIFY, 0);
}

TEST(MainWindow, TabWalksTheButtonsInDesignOrder) {
    Fixture f;
    HWND hwnd = f.main.Window();
    const std::vector<std::string> order = {"AnyDesk (GSN)", "AnyDesk", "RustDesk", "RustDesk (tarn)", "Aweray",
                                            "聯絡小森", "AeroAdmin", "傳統IE11 (tarn-IE11)", "TrustViewer", "AnyViewer"};
    HWND item = ::GetNextDlgTabItem(hwnd, nullptr, FALSE);
    std::vector<std::string> forward;
    for (size_t i = 0; i < order.size(); ++i) {
        forward.push_back(TextOf(item));
        item = ::GetNextDlgTabItem(hwnd, item, FALSE);
    }
    EXPECT_EQ(forward, order);
    EXPECT_EQ(TextOf(item), order.front()) << "wraps around";
    EXPECT_EQ(TextOf(::GetNextDlgTabItem(hwnd, item, TRUE)), order.back()) << "Shift+Tab goes back";
}

TEST(MainWindow, FrameClientSizeAndOwnerDrawnButtons) {
    Fixture f;
    HWND hwnd = f.main.Window();
    EXPECT_EQ(TextOf(hwnd), "遠端維修");
    EXPECT_EQ(f.seenAtCreation, hwnd);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 563);
    EXPECT_EQ(client.bottom, 167);

    const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_NE(style & WS_SYSMENU, 0);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);

    int buttons = 0;
    for (HWND child : Children(hwnd)) {
        wchar_t className[32] = {};
        ::GetClassNameW(child, className, 32);
        if (std::wstring(className) != L"Button") continue;
        ++buttons;
        SCOPED_TRACE(TextOf(child));
        const LONG childStyle = ::GetWindowLongW(child, GWL_STYLE);
        EXPECT_EQ(childStyle & BS_TYPEMASK, BS_OWNERDRAW);
        EXPECT_NE(childStyle & WS_TABSTOP, 0);
        RECT r{};
        ::GetWindowRect(child, &r);
        EXPECT_EQ(r.right - r.left, 113);
        EXPECT_EQ(r.bottom - r.top, 65);
    }
    EXPECT_EQ(buttons, 10);

    // The Aweray button after its start-up assignment: still a working button.
    HWND aweray = ChildByText(hwnd, "Aweray");
    ASSERT_NE(aweray, nullptr);
    EXPECT_TRUE(::IsWindowVisible(aweray));
    EXPECT_TRUE(::IsWindowEnabled(aweray));
    EXPECT_EQ(::SendMessageW(hwnd, DM_GETDEFID, 0, 0), 0) << "no default button";
}

TEST(MainWindow, StartUpRanBeforeShowingAndPlacedTheWindow) {
    Fixture f;
    ASSERT_GE(f.os.log.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.os.log[i].rfind("Shell 0 cmd.exe /c mkdir c:\\temp", 0), 0u) << f.os.log[i];

    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromWindow(f.main.Window(), MONITOR_DEFAULTTONEAREST), &info);
    RECT r{};
    ::GetWindowRect(f.main.Window(), &r);
    // 900 twips are 60 pixels at 96 DPI; the work area wins where it is shorter.
    EXPECT_EQ(r.bottom, std::min(info.rcMonitor.bottom - 60, info.rcWork.bottom));
    EXPECT_EQ(r.left, info.rcMonitor.left + (info.rcMonitor.right - info.rcMonitor.left - (r.right - r.left)) / 2);
}

TEST(MainWindow, ClicksRunTheirHandlers) {
    Fixture f;
    HWND hwnd = f.main.Window();
    EXPECT_EQ(f.LogSizeAfter([&] { ::SendMessageW(ChildByText(hwnd, "聯絡小森"), BM_CLICK, 0, 0); }), 1u);
    EXPECT_EQ(f.os.log.at(0), kAbout);
    EXPECT_EQ(f.LogSizeAfter([&] { ::SendMessageW(ChildByText(hwnd, "TrustViewer"), BM_CLICK, 0, 0); }), 0u);
    EXPECT_EQ(f.LogSizeAfter([&] { ::SendMessageW(ChildByText(hwnd, "AnyViewer"), BM_CLICK, 0, 0); }), 0u);

    // The bottom label: a mouse click on it opens the site once.
    HWND label = f.main.ControlWindow(design::MainControl::BottomLabel);
    EXPECT_EQ(f.LogSizeAfter([&] {
        ::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        ::SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    }), 1u);
    EXPECT_EQ(f.os.log.at(0), kAbout);

    // A tool button runs its launch: AnyDesk's stop command comes first.
    f.LogSizeAfter([&] { ::SendMessageW(ChildByText(hwnd, "AnyDesk"), BM_CLICK, 0, 0); });
    ASSERT_FALSE(f.os.log.empty());
    EXPECT_EQ(f.os.log.front(), "Shell 2 cmd.exe /c taskkill /f /im anydesk.exe");
    EXPECT_TRUE(f.reminder.IsLoaded()) << "the launch handed over its reminder";
}

TEST(MainWindow, EnterClicksTheFocusedButton) {
    Fixture f;
    HWND about = ChildByText(f.main.Window(), "聯絡小森");
    ::SetFocus(about);
    ASSERT_EQ(::GetFocus(), about);
    MSG enter{about, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_EQ(f.LogSizeAfter([&] { EXPECT_TRUE(f.main.PreTranslateMessage(enter)); }), 1u);
    EXPECT_EQ(f.os.log.at(0), kAbout);
}

TEST(MainWindow, TabMovesTheFocusAndSpaceClicks) {
    Fixture f;
    HWND hwnd = f.main.Window();
    ::SetFocus(ChildByText(hwnd, "AnyDesk (GSN)"));
    MSG tab{::GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(f.main.PreTranslateMessage(tab));
    EXPECT_EQ(TextOf(::GetFocus()), "AnyDesk");

    HWND about = ChildByText(hwnd, "聯絡小森");
    ::SetFocus(about);
    MSG down{about, WM_KEYDOWN, VK_SPACE, 0, 0, {}};
    MSG up{about, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0000001), 0, {}};
    EXPECT_EQ(f.LogSizeAfter([&] {
        for (MSG* m : {&down, &up}) {
            if (f.main.PreTranslateMessage(*m)) continue;
            ::TranslateMessage(m);
            ::DispatchMessageW(m);
        }
    }), 1u);
    EXPECT_EQ(f.os.log.at(0), kAbout);
}

struct CloseCase {
    const char* name;
    MsgBoxAnswer answer;
    bool closes;
};

class MainWindowClose : public ::testing::TestWithParam<CloseCase> {};

TEST_P(MainWindowClose, AnswerDecidesWhetherBothWindowsClose) {
    const CloseCase& c = GetParam();
    Fixture f;
    f.reminder.SetText("請 (聯絡小森) 告知您的 ID");
    ASSERT_TRUE(f.reminder.IsLoaded());
    HWND main = f.main.Window();
    f.os.answers.push_back(c.answer);
    f.os.log.clear();
    ::SendMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_FALSE(f.os.log.empty());
    EXPECT_EQ(f.os.log.front(), "MsgBox 3 是 (否) 結束所有遠端程式！");
    EXPECT_EQ(::IsWindow(main) == FALSE, c.closes);
    EXPECT_EQ(f.main.IsOpen(), !c.closes);
    EXPECT_EQ(f.destroyed, c.closes);
    EXPECT_EQ(f.reminder.IsLoaded(), !c.closes);
    const bool deleted = std::any_of(f.os.log.begin(), f.os.log.end(),
                                     [](const std::string& l) { return l.rfind("RemoveFile ", 0) == 0; });
    EXPECT_EQ(deleted, c.closes);
}

INSTANTIATE_TEST_SUITE_P(Cases, MainWindowClose,
                         ::testing::Values(CloseCase{"Cancel", MsgBoxAnswer::Cancel, false}, CloseCase{"No", MsgBoxAnswer::No, true},
                                           CloseCase{"Yes", MsgBoxAnswer::Yes, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MainWindowClose, SessionEndRaisesTheSameRequest) {
    Fixture f;
    f.os.answers = {MsgBoxAnswer::Cancel, MsgBoxAnswer::No};
    EXPECT_EQ(::SendMessageW(f.main.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    EXPECT_TRUE(f.main.IsOpen());
    EXPECT_EQ(::SendMessageW(f.main.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_FALSE(f.main.IsOpen());
}

}  // namespace
}  // namespace tarn::testing
