#include "launch/Catalogue.h"

namespace tarn {

std::string AnydeskReminder(const Deployment& deploy) {
    return "請 (聯絡小森 " + deploy.supportPhone + ") 告知您的 ID";
}

// The letter case of test, download and start paths differs on purpose in
// places; Windows compares file names without regard to it.

ToolEntry AnydeskEntry(const Deployment& deploy) {
    return {"cmd.exe /c taskkill /f /im anydesk.exe", 2, kAnydeskConfigBelowAppData, 2,
            "c:\\temp\\anydesk.exe", "/downloads/AnyDesk.exe", "c:\\temp\\AnyDesk.exe", 2000,
            true, "c:\\temp\\anydesk.exe", AnydeskReminder(deploy), "", kAnydeskConfigBelowAppData};
}

ToolEntry AwerayEntry() {
    return {"cmd.exe /c taskkill /f /im Aweray.exe", 2, "", 0,
            "c:\\temp\\Aweray.exe", "/downloads/Aweray.exe", "c:\\temp\\Aweray.exe", 2000,
            true, "c:\\temp\\Aweray.exe", kShortReminder, "", ""};
}

ToolEntry Ie11Entry() {
    return {"cmd.exe /c taskkill /f /im tarn-ie11.exe", 1, "", 0,
            "c:\\temp\\tarn-ie11.exe", "/downloads/tarn-ie11.exe", "c:\\temp\\tarn-ie11.exe", 2000,
            true, "c:\\temp\\tarn-ie11.exe", "", "tarn-IE11.exe 程式執行錯誤，請連絡小森！", ""};
}

ToolEntry RustDeskEntry() {
    return {"cmd.exe /c taskkill /f /im rustdesk.exe", 1, kRustDeskConfigBelowAppData, 1,
            "c:\\temp\\rustdesk\\rustdesk.exe", "/downloads/RustDesk.exe", "c:\\temp\\rustdesk\\RustDesk.exe", 1000,
            false, "c:\\temp\\rustdesk\\RustDesk.exe", kShortReminder, "", ""};
}

ToolEntry AeroAdminEntry() {
    return {"cmd.exe /c taskkill /f /im AeroAdmin.exe", 1, "", 0,
            "c:\\temp\\AeroAdmin\\AeroAdmin.exe", "/downloads/AeroAdmin.exe", "c:\\temp\\AeroAdmin\\AeroAdmin.exe", 2000,
            true, "c:\\temp\\AeroAdmin\\AeroAdmin.exe", kShortReminder, "", ""};
}

}  // namespace tarn
