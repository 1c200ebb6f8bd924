// What the main window does, decided without a window: the start-up step, the
// close request, the about command and the buttons' clicks. The Win32 window
// turns messages into these calls.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "launch/LaunchSteps.h"
#include "platform/Platform.h"
#include "windows/Designs.h"
#include "windows/Placement.h"

namespace tarn {

// The main window as its start-up step reaches it.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // Takes the Default property from control, when it has it: Enter then no
    // longer clicks it while no button has the focus. The control stays
    // visible, enabled, clickable and in the tab order.
    virtual void ClearDefault(design::MainControl control) = 0;
    virtual PixelRect OuterRect() = 0;  // the window with its frame, in screen pixels
    virtual Screen ScreenOf() = 0;      // the monitor the window stands on
    virtual void MoveTo(int left, int top) = 0;
};

inline constexpr char kCloseQuestion[] = "是 (否) 結束所有遠端程式！";
// What Windows shows, when the session is to end, while a launch runs.
inline constexpr char kLaunchRunningReason[] = "tarn-kit 正在啟動遠端協助程式，請稍候。";

// The start-up's commands that make the work folders, in the order started.
inline constexpr std::array<const char*, 6> kFolderCommands = {
    "cmd.exe /c mkdir c:\\temp",
    // Twice on purpose: the first may still be running when the second starts.
    "cmd.exe /c mkdir c:\\temp",
    "cmd.exe /c mkdir c:\\temp\\AnyDesk",
    "cmd.exe /c mkdir c:\\temp\\RustDesk",
    "cmd.exe /c mkdir c:\\temp\\Aweray",
    "cmd.exe /c mkdir c:\\temp\\AeroAdmin",
};

// The work folders, made hidden, then the Aweray button's Default set to
// false, then the window moved to its MainWindowPlace. A folder command that
// cannot start is reported to who.
void StartUp(Platform& os, MainWindowHost& window, const FailureContext& who);

// Asks whether to end every remote-desktop program. Cancel: nothing happens
// and the answer is false. Yes: the stop commands; Yes and No: AnyDesk's user
// configuration is deleted, closeWindows runs and the answer is true.
bool CloseRequest(Platform& os, const FailureContext& who, const std::function<void()>& closeWindows);

// Opens the maker's web site.
void About(Platform& os, const Deployment& deploy, const FailureContext& who);

// Runs what a click on a control of the main window does.
void RunClick(design::Click click, LaunchContext& context);

}  // namespace tarn
