#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../native/Fixtures.h"
#include "WinTestSupport.h"
#include "launch/Deployment.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "platform/TopMost.h"
#include "windows/win32/ReminderWindow.h"

namespace tarn::testing {
namespace {

BOOL CALLBACK CountReminder(HWND hwnd, LPARAM counter) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(hwnd) && TextOf(hwnd) == "小森遠端協助")
        ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

// Top-level windows of this process with the reminder's caption.
int ReminderWindowsOpen() {
    int count = 0;
    ::EnumWindows(CountReminder, reinterpret_cast<LPARAM>(&count));
    return count;
}

RECT WorkArea() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    const POINT origin{0, 0};
    ::GetMonitorInfoW(::MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &info);
    return info.rcWork;
}

RECT MonitorRect() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    const POINT origin{0, 0};
    ::GetMonitorInfoW(::MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &info);
    return info.rcMonitor;
}

// A reminder whose main window stands where the test says.
struct Fixture {
    std::optional<RECT> mainPlace;
    int closed = 0;
    ReminderWindow reminder{::GetModuleHandleW(nullptr), kDeploy, [this] { return mainPlace; }};
    Fixture() {
        reminder.OnClosed([this] { ++closed; });
    }
};

TEST(ReminderWindow, LoadedOnFirstWriteOnceForTheRun) {
    Fixture f;
    const RECT work = WorkArea();
    f.mainPlace = RECT{work.left + 100, work.top + 50, work.left + 670, work.top + 246};
    EXPECT_FALSE(f.reminder.IsLoaded());
    EXPECT_EQ(ReminderWindowsOpen(), 0);

    f.reminder.SetText("請 (聯絡小森) 告知您的 ID");
    ASSERT_TRUE(f.reminder.IsLoaded());
    HWND first = f.reminder.Window();
    EXPECT_TRUE(::IsWindowVisible(first));
    EXPECT_EQ(reinterpret_cast<HWND>(f.reminder.Handle()), first);

    // The user drags it; a second launch replaces the text and keeps the place.
    ::SetWindowPos(first, nullptr, work.left + 7, work.top + 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    f.reminder.SetText("第二次");
    EXPECT_EQ(f.reminder.Window(), first);
    EXPECT_EQ(ReminderWindowsOpen(), 1);
    RECT r{};
    ::GetWindowRect(first, &r);
    EXPECT_EQ(r.left, work.left + 7);
    EXPECT_EQ(r.top, work.top + 9);
    EXPECT_EQ(TextOf(Children(first).at(0)), "第二次");
}

TEST(ReminderWindow, ClosedByTheUserLoadsAgainBelowTheNewPlace) {
    Fixture f;
    const RECT work = WorkArea();
    f.mainPlace = RECT{work.left + 100, work.top + 50, work.left + 670, work.top + 246};
    f.reminder.SetText("一");
    HWND first = f.reminder.Window();
    ::SendMessageW(first, WM_CLOSE, 0, 0);
    EXPECT_FALSE(f.reminder.IsLoaded());
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(f.closed, 1);
    f.reminder.Close();  // not loaded: nothing
    EXPECT_EQ(f.closed, 1);

    // The main window moved meanwhile.
    f.mainPlace = RECT{work.left + 100, work.top + 300, work.left + 670, work.top + 496};
    f.reminder.SetText("二");
    ASSERT_TRUE(f.reminder.IsLoaded());
    RECT r{};
    ::GetWindowRect(f.reminder.Window(), &r);
    EXPECT_EQ(r.top, work.top + 496);
    EXPECT_EQ(TextOf(Children(f.reminder.Window()).at(0)), "二");
}

struct PlaceCase {
    const char* name;
    int mainTopFromWorkTop;  // negative: from the work area's bottom
    int mainHeight;
    enum { Below, Above, AtWorkTop } expected;
};

class ReminderPlacement : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(ReminderPlacement, BelowOrAboveInsideTheWorkAreaCentred) {
    const PlaceCase& c = GetParam();
    const RECT work = WorkArea();
    const RECT monitor = MonitorRect();
    Fixture f;
    const int top = c.mainTopFromWorkTop >= 0 ? work.top + c.mainTopFromWorkTop : work.bottom + c.mainTopFromWorkTop;
    f.mainPlace = RECT{work.left + 40, top, work.left + 610, top + c.mainHeight};
    f.reminder.SetText("位置");
    RECT r{};
    ::GetWindowRect(f.reminder.Window(), &r);
    const int height = r.bottom - r.top;
    switch (c.expected) {
    case PlaceCase::Below:
        EXPECT_EQ(r.top, f.mainPlace->bottom);
        break;
    case PlaceCase::Above:
        EXPECT_EQ(r.bottom, f.mainPlace->top);
        break;
    case PlaceCase::AtWorkTop:
        EXPECT_EQ(r.top, work.top);
        break;
    }
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.top + height, work.bottom);
    // Centred on the screen, not under the main window.
    EXPECT_EQ(r.left, monitor.left + (monitor.right - monitor.left - (r.right - r.left)) / 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReminderPlacement,
                         ::testing::Values(PlaceCase{"RoomBelow", 50, 196, PlaceCase::Below},
                                           // Where the start-up step puts the main window: 60 px
                                           // above the bottom, no room below.
                                           PlaceCase{"StartUpPlaceGoesAbove", -256, 196, PlaceCase::Above},
                                           // A main window as tall as the work area: no room either side.
                                           PlaceCase{"NoRoomEitherSide", 0, 4000, PlaceCase::AtWorkTop}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReminderWindow, TopMostAfterSetTopMost) {
    Fixture f;
    f.mainPlace = RECT{100, 100, 670, 296};
    Win32Platform platform;
    f.reminder.SetText("置頂");
    HWND hwnd = reinterpret_cast<HWND>(f.reminder.Handle());
    EXPECT_EQ(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_NE(SetTopMost(platform, f.reminder.Handle(), true), 0);
    EXPECT_NE(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    // Again on a topmost window: stays topmost.
    EXPECT_NE(SetTopMost(platform, f.reminder.Handle(), true), 0);
    EXPECT_NE(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST(ReminderWindow, CaptionBorderClientSizeAndLabels) {
    Fixture f;
    f.mainPlace = RECT{100, 100, 670, 296};
    f.reminder.Handle();  // loads with the design text
    HWND hwnd = f.reminder.Window();
    EXPECT_EQ(TextOf(hwnd), "小森遠端協助");
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), nullptr);

    const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
    const LONG exStyle = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
    EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0) << "not in the taskbar";
    EXPECT_NE(style & WS_SYSMENU, 0) << "close button";
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);

    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 485);
    EXPECT_EQ(client.bottom, 111);

    const std::vector<HWND> labels = Children(hwnd);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(TextOf(labels[0]), "請 聯 絡 ( 小 森 )   告 知 您 的 號 碼");
    EXPECT_EQ(TextOf(labels[1]), "Line: 02-1234-5678  /  網站：dl.test:8080 ");

    struct Expected {
        RECT rect;
        COLORREF text, back;
        int height, weight;
    };
    const Expected expected[] = {{{0, 24, 485, 63}, RGB(0, 0, 255), RGB(192, 192, 255), -24, 700},
                                 {{0, 88, 493, 111}, RGB(0, 0, 255), RGB(255, 255, 192), -16, 400}};
    for (size_t i = 0; i < labels.size(); ++i) {
        SCOPED_TRACE(i);
        wchar_t className[32] = {};
        ::GetClassNameW(labels[i], className, 32);
        EXPECT_EQ(std::wstring(className), L"Static");
        EXPECT_NE(::GetWindowLongW(labels[i], GWL_STYLE) & SS_CENTER, 0);
        RECT r{};
        ::GetWindowRect(labels[i], &r);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, expected[i].rect.left);
        EXPECT_EQ(r.top, expected[i].rect.top);
        EXPECT_EQ(r.right, expected[i].rect.right);
        EXPECT_EQ(r.bottom, expected[i].rect.bottom);

        // The colours the window hands the label when it paints.
        HDC dc = ::CreateCompatibleDC(nullptr);
        const LRESULT brush =
            ::SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(labels[i]));
        EXPECT_NE(brush, 0);
        EXPECT_EQ(::GetTextColor(dc), expected[i].text);
        EXPECT_EQ(::GetBkColor(dc), expected[i].back);
        ::DeleteDC(dc);

        LOGFONTW font{};
        HFONT hfont = reinterpret_cast<HFONT>(::SendMessageW(labels[i], WM_GETFONT, 0, 0));
        ASSERT_NE(hfont, nullptr);
        ::GetObjectW(hfont, sizeof font, &font);
        EXPECT_EQ(font.lfHeight, expected[i].height);
        EXPECT_EQ(font.lfWeight, expected[i].weight);
        EXPECT_EQ(font.lfCharSet, 136);
    }
}

}  // namespace
}  // namespace tarn::testing
