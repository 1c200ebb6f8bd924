#include "windows/MainWindowLogic.h"

#include <array>

#include "launch/AnyDeskGsn.h"
#include "launch/Catalogue.h"
#include "launch/LaunchTool.h"
#include "launch/RustDeskOwnServer.h"

namespace tarn {

namespace {

constexpr std::array<const char*, 6> kStopCommands = {
    "cmd.exe /c taskkill /f /im rustdesk*",  "cmd.exe /c taskkill /f /im anydesk*",
    "cmd.exe /c taskkill /f /im awesun*",    "cmd.exe /c taskkill /f /im aweray*",
    "cmd.exe /c taskkill /f /im aeroadmin*", "cmd.exe /c taskkill /f /im TrustViewer*",
};

}  // namespace

void StartUp(Platform& os, MainWindowHost& window, const FailureContext& who) {
    // A command that cannot be started ends the step: the user is told, and
    // the window opens where the centring put it.
    try {
        for (const char* command : kFolderCommands) os.Shell(command, ShowState::Hidden);
    } catch (const StartError& error) {
        steps::ReportStartFailure(os, who, error.CommandLine(), error.what());
        return;
    }
    // The Default property is the one assigned: the button stays visible,
    // enabled, clickable and in the tab order.
    window.ClearDefault(design::MainControl::Aweray);
    const PixelRect place = MainWindowPlace(window.OuterRect(), window.ScreenOf());
    window.MoveTo(place.left, place.top);
}

bool CloseRequest(Platform& os, const FailureContext& who, const std::function<void()>& closeWindows) {
    const MsgBoxAnswer answer = os.MsgBox(kCloseQuestion, MsgBoxButtons::YesNoCancel, MsgBoxIcon::None);
    if (answer != MsgBoxAnswer::Yes && answer != MsgBoxAnswer::No) return false;
    try {
        if (answer == MsgBoxAnswer::Yes)
            for (const char* command : kStopCommands) os.Shell(command, ShowState::MinimizedFocus);
        for (int run = 0; run < 2; ++run) DeleteNamedFile(os, os.Environ("AppData"), kAnyDeskConfigBelowAppData);
    } catch (const StartError& error) {
        // Nothing after the failed command runs, so the program stays open.
        steps::ReportStartFailure(os, who, error.CommandLine(), error.what());
        return false;
    }
    closeWindows();
    return true;
}

void About(Platform& os, const Deployment& deploy, const FailureContext& who) {
    try {
        os.Shell("explorer.exe " + deploy.SiteAddress(), ShowState::MaximizedFocus);
    } catch (const StartError& error) {
        steps::ReportStartFailure(os, who, error.CommandLine(), error.what());
    }
}

void RunClick(design::Click click, LaunchContext& context) {
    using design::Click;
    // Every launch stops the client whose ID the reminder may show.
    if (click != Click::None && click != Click::About) context.reminder.ForgetId();
    switch (click) {
    case Click::None:
        return;
    case Click::AnyDesk:
        LaunchTool(AnyDeskEntry(context.deploy), context);
        return;
    case Click::Aweray:
        LaunchTool(AwerayEntry(), context);
        return;
    case Click::Ie11:
        LaunchTool(Ie11Entry(), context);
        return;
    case Click::RustDesk:
        LaunchTool(RustDeskEntry(), context);
        return;
    case Click::AeroAdmin:
        LaunchTool(AeroAdminEntry(), context);
        return;
    case Click::AnyDeskGsn:
        LaunchAnyDeskGsn(context);
        return;
    case Click::RustDeskOwnServer:
        LaunchRustDeskOwnServer(context);
        return;
    case Click::About:
        About(context.os, context.deploy, context.Failure());
        return;
    }
}

}  // namespace tarn
