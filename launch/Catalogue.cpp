#include "launch/Catalogue.h"

namespace tarn {

std::string AnyDeskReminder(const Deployment& deploy) {
    return "請 (聯絡小森 " + deploy.supportPhone + ") 告知您的 ID";
}

// The letter case of test, download and start paths differs on purpose in
// places; Windows compares file names without regard to it.

ToolEntry AnyDeskEntry(const Deployment& deploy) {
    return {
        .stopCommand = "cmd.exe /c taskkill /f /im anydesk.exe",
        .stopRuns = 2,
        .cleanFile = kAnyDeskConfigBelowAppData,
        .cleanRuns = 2,
        .testPath = "c:\\temp\\anydesk.exe",
        .urlPath = "/downloads/AnyDesk.exe",
        .downloadPath = "c:\\temp\\AnyDesk.exe",
        .pause = std::chrono::milliseconds{2000},
        .startGuarded = true,
        .startPath = "c:\\temp\\anydesk.exe",
        .reminderText = AnyDeskReminder(deploy),
        .idFile = kAnyDeskConfigBelowAppData,
    };
}

ToolEntry AwerayEntry() {
    return {
        .stopCommand = "cmd.exe /c taskkill /f /im Aweray.exe",
        .stopRuns = 2,
        .testPath = "c:\\temp\\Aweray.exe",
        .urlPath = "/downloads/Aweray.exe",
        .downloadPath = "c:\\temp\\Aweray.exe",
        .pause = std::chrono::milliseconds{2000},
        .startGuarded = true,
        .startPath = "c:\\temp\\Aweray.exe",
        .reminderText = kShortReminder,
    };
}

ToolEntry Ie11Entry() {
    return {
        .stopCommand = "cmd.exe /c taskkill /f /im tarn-ie11.exe",
        .stopRuns = 1,
        .testPath = "c:\\temp\\tarn-ie11.exe",
        .urlPath = "/downloads/tarn-ie11.exe",
        .downloadPath = "c:\\temp\\tarn-ie11.exe",
        .pause = std::chrono::milliseconds{2000},
        .startGuarded = true,
        .startPath = "c:\\temp\\tarn-ie11.exe",
        .errorMessage = "tarn-IE11.exe 程式執行錯誤，請連絡小森！",
    };
}

ToolEntry RustDeskEntry() {
    return {
        .stopCommand = "cmd.exe /c taskkill /f /im rustdesk.exe",
        .stopRuns = 1,
        .cleanFile = kRustDeskConfigBelowAppData,
        .cleanRuns = 1,
        .testPath = "c:\\temp\\rustdesk\\rustdesk.exe",
        .urlPath = "/downloads/RustDesk.exe",
        .downloadPath = "c:\\temp\\rustdesk\\RustDesk.exe",
        .pause = std::chrono::milliseconds{1000},
        .startGuarded = false,
        .startPath = "c:\\temp\\rustdesk\\RustDesk.exe",
        .reminderText = kShortReminder,
    };
}

ToolEntry AeroAdminEntry() {
    return {
        .stopCommand = "cmd.exe /c taskkill /f /im AeroAdmin.exe",
        .stopRuns = 1,
        .testPath = "c:\\temp\\AeroAdmin\\AeroAdmin.exe",
        .urlPath = "/downloads/AeroAdmin.exe",
        .downloadPath = "c:\\temp\\AeroAdmin\\AeroAdmin.exe",
        .pause = std::chrono::milliseconds{2000},
        .startGuarded = true,
        .startPath = "c:\\temp\\AeroAdmin\\AeroAdmin.exe",
        .reminderText = kShortReminder,
    };
}

}  // namespace tarn
