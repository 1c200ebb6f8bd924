#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../native/Fixtures.h"
#include "../native/FakeOs.h"
#include "WinTestSupport.h"
#include "platform/win32/Text.h"
#include "windows/win32/MainWindow.h"
#include "windows/win32/ReminderWindow.h"
#include "windows/win32/WinColours.h"

namespace tarn::testing {
namespace {

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
    EXPECT_EQ(texts,
              (std::vector<std::string>{"AnyDesk (GSN)", "AnyDesk", "RustDesk", "RustDesk (tarn)", "Aweray", "",
                                        "聯絡小森", "AeroAdmin", "傳統IE11 (tarn-IE11)", "TrustViewer", "AnyViewer"}));
    // The strip holds the label, which reports its clicks.
    EXPECT_EQ(Children(f.main.Window()).at(5), f.main.ControlWindow(design::MainControl::BottomStrip));
    const std::vector<HWND> strip = Children(f.main.ControlWindow(design::MainControl::BottomStrip));
    ASSERT_EQ(strip.size(), 1u);
    EXPECT_EQ(TextOf(strip[0]), "遠端協助 (tarn-kit)  網站：dl.test:8080  (20231104)");
    EXPECT_NE(::GetWindowLongW(strip[0], GWL_STYLE) & SS_NOTIFY, 0);
}

TEST(MainWindow, TabWalksTheButtonsInDesignOrder) {
    Fixture f;
    HWND hwnd = f.main.Window();
    const std::vector<std::string> order = {"AnyDesk (GSN)", "AnyDesk",  "RustDesk",  "RustDesk (tarn)",
                                            "Aweray",        "聯絡小森", "AeroAdmin", "傳統IE11 (tarn-IE11)",
                                            "TrustViewer",   "AnyViewer"};
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
    }),
              1u);
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
    }),
              1u);
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
                         ::testing::Values(CloseCase{"Cancel", MsgBoxAnswer::Cancel, false},
                                           CloseCase{"No", MsgBoxAnswer::No, true},
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

// The window laid out at another scale, as when it moves to such a monitor:
// every caption is broken at blanks only and fits inside its button, clear
// of the focus frame, with margins that grew with the scale.
TEST(MainWindow, CaptionsFitTheirButtonsAtEveryScale) {
    Fixture f;
    const design::Form<design::MainControl> form = design::MainWindowDesign(kDeploy);
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE(dpi);
        RECT suggested{0, 0, 800, 400};
        ::SendMessageW(f.main.Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        const design::ButtonInsets insets = design::ButtonInsetsAt(dpi);
        EXPECT_EQ(insets.focusWidth, ::MulDiv(2, dpi, 96));
        EXPECT_GE(insets.textX, ::MulDiv(6, dpi, 96));
        EXPECT_GT(insets.textX, insets.focusInset + insets.focusWidth);
        EXPECT_GT(insets.textY, insets.focusInset + insets.focusWidth);
        HDC dc = ::GetDC(f.main.Window());
        for (const auto& c : form.controls) {
            if (c.kind != design::Kind::Button) continue;
            SCOPED_TRACE(c.caption);
            const std::optional<CaptionSetting> setting = f.main.CaptionOf(c.id);
            ASSERT_TRUE(setting && !setting->lines.empty());
            std::string joined;
            for (const std::string& line : setting->lines) joined += (joined.empty() ? "" : " ") + line;
            EXPECT_EQ(joined, c.caption) << "broken inside a word";
            HWND button = f.main.ControlWindow(c.id);
            RECT r{};
            ::GetClientRect(button, &r);
            const int shift = ::MulDiv(1, dpi, 96);
            HGDIOBJ before = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(button, WM_GETFONT, 0, 0)));
            int height = 0;
            for (const std::string& line : setting->lines) {
                const std::wstring wide = text::Widen(line);
                SIZE size{};
                ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
                EXPECT_LE(size.cx + 2 * insets.textX + shift, r.right) << line;
                height += size.cy;
            }
            EXPECT_LE(height + 2 * insets.textY + shift, r.bottom);
            ::SelectObject(dc, before);
        }
        ::ReleaseDC(f.main.Window(), dc);

        // As drawn: the focus frame a solid line of the scaled width, and
        // nothing between it and the caption on either side.
        HWND gsn = f.main.ControlWindow(design::MainControl::AnyDeskGsn);
        ::SetFocus(gsn);
        ::RedrawWindow(gsn, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        RECT r{};
        ::GetClientRect(gsn, &r);
        const COLORREF fill = win::ToColorRef(*form.At(design::MainControl::AnyDeskGsn).back);
        HDC button = ::GetDC(gsn);
        const int frameEnd = insets.focusInset + insets.focusWidth;
        for (int y = insets.focusInset - 1; y <= frameEnd; ++y)
            EXPECT_EQ(::GetPixel(button, r.right / 2, y) == fill, y < insets.focusInset || y == frameEnd)
                << "row " << y;
        int touching = 0;
        for (int y = frameEnd; y < r.bottom - frameEnd; ++y)
            for (int x = frameEnd; x < insets.textX; ++x)
                touching += (::GetPixel(button, x, y) != fill) + (::GetPixel(button, r.right - 1 - x, y) != fill);
        EXPECT_EQ(touching, 0) << "the caption runs into the focus frame";
        ::ReleaseDC(gsn, button);
    }
}

// Under high contrast every pixel a caption, fill or frame is drawn with is
// one of the system's colours; without it the design's fills come back.
// Wine cannot switch high contrast on, so the windows are told it is, and
// the system colours are set to ones no design uses.
class HighContrastColours {
public:
    HighContrastColours() {
        for (int i = 0; i < kCount; ++i) saved_[i] = ::GetSysColor(kIndices[i]);
        ::SetSysColors(kCount, kIndices, kScheme);
    }
    ~HighContrastColours() {
        win::AnswerHighContrast(nullptr);
        ::SetSysColors(kCount, kIndices, saved_);
    }
    static COLORREF Of(int index) { return ::GetSysColor(index); }

    static constexpr int kCount = 6;
    static constexpr int kIndices[kCount] = {COLOR_BTNFACE,    COLOR_BTNTEXT,  COLOR_WINDOW,
                                             COLOR_WINDOWTEXT, COLOR_GRAYTEXT, COLOR_HIGHLIGHT};
    static constexpr COLORREF kScheme[kCount] = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(0, 0, 40),
                                                 RGB(255, 255, 0), RGB(0, 255, 0),     RGB(0, 200, 255)};

private:
    COLORREF saved_[kCount] = {};
};

// How often each colour appears inside window, edges left out.
std::map<COLORREF, int> Pixels(HWND window, int edge) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r{};
    ::GetClientRect(window, &r);
    std::map<COLORREF, int> seen;
    HDC dc = ::GetDC(window);
    for (int y = edge; y < r.bottom - edge; ++y)
        for (int x = edge; x < r.right - edge; ++x) ++seen[::GetPixel(dc, x, y)];
    ::ReleaseDC(window, dc);
    return seen;
}

COLORREF MostOf(const std::map<COLORREF, int>& seen) {
    return std::max_element(seen.begin(), seen.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

TEST(MainWindow, HighContrastDrawsInSystemColoursOnly) {
    HighContrastColours scheme;
    Fixture f;
    bool on = true;
    win::AnswerHighContrast([&] { return on; });
    ::SendMessageW(f.main.Window(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    f.reminder.SetText("請 (聯絡小森) 告知您的 ID");
    const design::Form<design::MainControl> form = design::MainWindowDesign(kDeploy);
    HWND focused = f.main.ControlWindow(design::MainControl::About);
    HWND disabled = f.main.ControlWindow(design::MainControl::TrustViewer);
    ::SetFocus(focused);
    ::EnableWindow(disabled, FALSE);
    const int edge = 2;  // the raised edge, drawn in the system's 3-D colours
    for (const auto& c : form.controls) {
        if (c.kind != design::Kind::Button) continue;
        SCOPED_TRACE(c.caption);
        HWND button = f.main.ControlWindow(c.id);
        const std::map<COLORREF, int> seen = Pixels(button, edge);
        EXPECT_EQ(MostOf(seen), scheme.Of(COLOR_BTNFACE));
        const int text = button == disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT;
        EXPECT_GT(seen.count(scheme.Of(text)), 0u) << "no caption in the system's text colour";
        EXPECT_EQ(seen.count(win::ToColorRef(*c.back)), 0u) << "the design's fill";
        EXPECT_EQ(seen.count(scheme.Of(COLOR_HIGHLIGHT)) > 0, button == focused) << "the focus frame";
    }
    for (HWND label : {f.main.ControlWindow(design::MainControl::BottomLabel),
                       ::FindWindowExW(reinterpret_cast<HWND>(f.reminder.Handle()), nullptr, L"Static", nullptr)}) {
        const std::map<COLORREF, int> seen = Pixels(label, 0);
        EXPECT_EQ(MostOf(seen), scheme.Of(COLOR_WINDOW)) << TextOf(label);
        EXPECT_GT(seen.count(scheme.Of(COLOR_WINDOWTEXT)), 0u) << TextOf(label);
    }
    EXPECT_EQ(MostOf(Pixels(reinterpret_cast<HWND>(f.reminder.Handle()), 0)), scheme.Of(COLOR_WINDOW));

    // Switched off again: the design's colours, told by the settings' change.
    on = false;
    ::SendMessageW(f.main.Window(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    const auto& anydesk = form.At(design::MainControl::AnyDesk);
    const std::map<COLORREF, int> seen = Pixels(f.main.ControlWindow(anydesk.id), edge);
    EXPECT_EQ(MostOf(seen), win::ToColorRef(*anydesk.back));
    EXPECT_GT(seen.count(RGB(0, 0, 0)), 0u) << "the caption in its fixed dark text";
    // The label, disabled as during a launch, keeps its fill and takes the
    // fixed dark grey, never the system's grey over the fixed fill.
    HWND label = f.main.ControlWindow(design::MainControl::BottomLabel);
    ::EnableWindow(label, FALSE);
    const std::map<COLORREF, int> disabledLabel = Pixels(label, 0);
    EXPECT_EQ(MostOf(disabledLabel), win::ToColorRef(*form.At(design::MainControl::BottomLabel).back));
    EXPECT_GT(disabledLabel.count(win::ToColorRef(colours::kDisabledText)), 0u);
    EXPECT_EQ(disabledLabel.count(scheme.Of(COLOR_GRAYTEXT)), 0u);
}

}  // namespace
}  // namespace tarn::testing
