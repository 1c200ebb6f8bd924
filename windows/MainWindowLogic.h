// What the main window does, decided without a window: the start-up step, the
// close request, the about command, the buttons' clicks and where the two
// windows are placed. The Win32 window turns messages into these calls.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "launch/LaunchSteps.h"
#include "platform/Platform.h"
#include "windows/Designs.h"

namespace tarn {

using design::PixelRect;
using design::PixelSize;

// The monitor a window stands on, in pixels, and its DPI.
struct Screen {
    PixelRect monitor;
    PixelRect workArea;  // the monitor without the taskbar and docked bars
    int dpi = 96;
};

// The main window as its start-up step reaches it.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // A button's Default property: when set, Enter clicks it while no other
    // button has the focus, and it is drawn with a heavier frame.
    virtual void SetButtonDefault(std::string_view control, bool isDefault) = 0;
    virtual PixelRect OuterRect() = 0;  // the window with its frame, in screen pixels
    virtual Screen ScreenOf() = 0;      // the monitor the window stands on
    virtual void MoveTo(int left, int top) = 0;
};

inline constexpr char kCloseQuestion[] = "是 (否) 結束所有遠端程式！";

// The work folders, made hidden, then the Aweray button's Default set to
// false, then the window moved so that its bottom lies 900 twips above the
// screen's bottom (kept inside the work area).
void StartUp(Platform& os, MainWindowHost& window);

// Asks whether to end every remote-desktop program. Cancel: nothing happens
// and the answer is false. Yes: the stop commands; Yes and No: AnyDesk's user
// configuration is deleted, closeWindows runs and the answer is true.
bool CloseRequest(Platform& os, const std::function<void()>& closeWindows);

// Opens the maker's web site.
void About(Platform& os, const Deployment& deploy);

// Runs what a click on a control of the main window does.
void RunClick(design::Click click, LaunchContext& context);

// The main window's place after the start-up step, from its current outer
// rectangle.
PixelRect MainWindowPlace(const PixelRect& outer, const Screen& screen);

// The reminder's place when it loads: directly below the main window when it
// then lies inside the work area, otherwise directly above it; centred on the
// screen; in every case kept inside the work area.
PixelRect ReminderPlace(PixelSize size, const PixelRect& mainWindow, const Screen& screen);

// r moved, not resized, to lie inside area; a rectangle larger than area keeps
// its top-left corner at area's.
PixelRect ClampInto(const PixelRect& r, const PixelRect& area);

}  // namespace tarn
