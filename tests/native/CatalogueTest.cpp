// The five plain tool buttons, each run through LaunchTool with its catalogue
// entry. The expected logs are written out from the tool tables, so a wrong
// letter in any entry shows up as a differing line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "Fixtures.h"
#include "FakeOs.h"
#include "launch/Catalogue.h"
#include "launch/LaunchTool.h"
#include "platform/DownloadResult.h"

namespace tarn::testing {
namespace {

using ::testing::ElementsAreArray;

// Positions in PlainToolEntries, in the order the tables give them.
enum Tool { kAnyDesk, kAweray, kIe11, kRustDesk, kAeroAdmin };

std::string Minimized(const std::string& command) { return "Shell 2 " + command; }
std::string Normal(const std::string& command) { return "Shell 1 " + command; }
std::string Fetched(const std::string& urlPath, const std::string& path) {
    return "Download http://dl.test:8080" + urlPath + " -> " + path;
}
// Only AnyDesk's launches have the reminder watch for the client's ID.
const Log kPhoneRemind{"Reminder 請 (聯絡小森 02-1234-5678) 告知您的 ID", "SetZOrder 20816 TopMost", kWatchAnyDeskId};

const Log kAnyDeskHead{
    Minimized("cmd.exe /c taskkill /f /im anydesk.exe"),
    Minimized("cmd.exe /c taskkill /f /im anydesk.exe"),
    "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
    "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
};
const std::string kAnyDeskFetch = Fetched("/downloads/AnyDesk.exe", "c:\\temp\\AnyDesk.exe");
const std::string kAnyDeskStart = Normal("c:\\temp\\anydesk.exe");

const Log kAwerayHead{Minimized("cmd.exe /c taskkill /f /im Aweray.exe"),
                      Minimized("cmd.exe /c taskkill /f /im Aweray.exe")};
const std::string kAwerayFetch = Fetched("/downloads/Aweray.exe", "c:\\temp\\Aweray.exe");
const std::string kAwerayStart = Normal("c:\\temp\\Aweray.exe");

const Log kIe11Head{Minimized("cmd.exe /c taskkill /f /im tarn-ie11.exe")};
const std::string kIe11Fetch = Fetched("/downloads/tarn-ie11.exe", "c:\\temp\\tarn-ie11.exe");
const std::string kIe11Start = Normal("c:\\temp\\tarn-ie11.exe");
const std::string kIe11Error = "MsgBox 0 tarn-IE11.exe 程式執行錯誤，請連絡小森！";

const Log kRustDeskHead{
    Minimized("cmd.exe /c taskkill /f /im rustdesk.exe"),
    "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\RustDesk\\config\\RustDesk2.toml",
};
const std::string kRustDeskFetch = Fetched("/downloads/RustDesk.exe", "c:\\temp\\rustdesk\\RustDesk.exe");
const std::string kRustDeskStart = Normal("c:\\temp\\rustdesk\\RustDesk.exe");

const Log kAeroAdminHead{Minimized("cmd.exe /c taskkill /f /im AeroAdmin.exe")};
const std::string kAeroAdminFetch = Fetched("/downloads/AeroAdmin.exe", "c:\\temp\\AeroAdmin\\AeroAdmin.exe");
const std::string kAeroAdminStart = Normal("c:\\temp\\AeroAdmin\\AeroAdmin.exe");

struct EntryCase {
    const char* name;
    Tool tool;
    const char* present;  // program file there before the click, or nullptr
    DownloadResult downloadResult;
    std::function<void(FakeOs&)> tweak;  // further departures; may be empty
    Log expected;
};
void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.name; }

class CatalogueLaunch : public ::testing::TestWithParam<EntryCase> {};

TEST_P(CatalogueLaunch, RunsTheEntrysSteps) {
    const EntryCase& c = GetParam();
    FakeOs os;
    os.environment["AppData"] = kAppData;
    // Starting a program file that is not there fails, as on Windows.
    os.programsMustExist = true;
    if (c.present) os.AddFile(c.present);
    os.downloadResult = c.downloadResult;
    if (c.tweak) c.tweak(os);
    LaunchContext context{os, os, kDeploy};
    LaunchTool(PlainToolEntries(kDeploy)[c.tool], context);
    EXPECT_THAT(os.log, ElementsAreArray(c.expected));
}

constexpr DownloadResult kNotFound = DownloadHttpStatus(404);
std::string DownloadFailed(const std::string& file) {
    return "MsgBox 48 " + *DownloadFailureMessage({"", kDeploy.supportPhone}, file, kNotFound);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Entries, CatalogueLaunch,
    ::testing::Values(
        // AnyDesk's other departures are covered with LaunchTool itself.
        EntryCase{"AnyDeskMissing", kAnyDesk, nullptr, kDownloadOk, {},
                  kAnyDeskHead + Log{kAnyDeskFetch, "Sleep 2000", kAnyDeskStart} + kPhoneRemind},

        EntryCase{"AwerayMissing", kAweray, nullptr, kDownloadOk, {},
                  kAwerayHead + Log{kAwerayFetch, "Sleep 2000", kAwerayStart} + kShortRemind},
        EntryCase{"AwerayPresent", kAweray, "C:\\TEMP\\AWERAY.EXE", kDownloadOk, {},
                  kAwerayHead + Log{"Sleep 2000", kAwerayStart} + kShortRemind},
        EntryCase{"AwerayDownloadFails", kAweray, nullptr, kNotFound, {},
                  kAwerayHead + Log{kAwerayFetch, DownloadFailed("Aweray.exe")}},

        // IE11 never touches the reminder, whatever happens.
        EntryCase{"Ie11Missing", kIe11, nullptr, kDownloadOk, {}, kIe11Head + Log{kIe11Fetch, "Sleep 2000", kIe11Start}},
        EntryCase{"Ie11Present", kIe11, "c:\\temp\\tarn-ie11.exe", kDownloadOk, {},
                  kIe11Head + Log{"Sleep 2000", kIe11Start}},
        // A failed download is told as such, not as the program's error.
        EntryCase{"Ie11DownloadFails", kIe11, nullptr, kNotFound, {},
                  kIe11Head + Log{kIe11Fetch, DownloadFailed("tarn-ie11.exe")}},
        EntryCase{"Ie11StartFails", kIe11, "c:\\temp\\tarn-ie11.exe", kDownloadOk,
                  [](FakeOs& os) { os.unstartable.insert("c:\\temp\\tarn-ie11.exe"); },
                  kIe11Head + Log{"Sleep 2000", "Shell failed c:\\temp\\tarn-ie11.exe", kIe11Error}},
        // The trap covers the stop command too.
        EntryCase{"Ie11StopFails", kIe11, nullptr, kDownloadOk,
                  [](FakeOs& os) { os.unstartable.insert("cmd.exe /c taskkill /f /im tarn-ie11.exe"); },
                  Log{"Shell failed cmd.exe /c taskkill /f /im tarn-ie11.exe", kIe11Error}},

        // RustDesk tests the lower-case name but downloads and starts the
        // mixed-case one.
        EntryCase{"RustDeskMissing", kRustDesk, nullptr, kDownloadOk, {},
                  kRustDeskHead + Log{kRustDeskFetch, "Sleep 1000", kRustDeskStart} + kShortRemind},
        EntryCase{"RustDeskPresent", kRustDesk, "c:\\temp\\rustdesk\\RustDesk.exe", kDownloadOk, {},
                  kRustDeskHead + Log{"Sleep 1000", kRustDeskStart} + kShortRemind},
        // Unguarded: started even when the file went during the pause, so
        // the person hears of the start that failed.
        EntryCase{"RustDeskGoneDuringThePause", kRustDesk, "c:\\temp\\rustdesk\\RustDesk.exe", kDownloadOk,
                  [](FakeOs& os) {
                      os.duringSleep = [&os] { os.attributes.erase("c:\\temp\\rustdesk\\rustdesk.exe"); };
                  },
                  kRustDeskHead + Log{"Sleep 1000", "Shell failed c:\\temp\\rustdesk\\RustDesk.exe",
                                      "MsgBox 48 " + StartFailureMessage({"", kDeploy.supportPhone},
                                                                         "c:\\temp\\rustdesk\\RustDesk.exe",
                                                                         "找不到指定的檔案。")}},
        // The unguarded start is not tried on a download that failed: one
        // box tells why, not a second one about the missing file.
        EntryCase{"RustDeskDownloadFails", kRustDesk, nullptr, kNotFound, {},
                  kRustDeskHead + Log{kRustDeskFetch, DownloadFailed("RustDesk.exe")}},

        EntryCase{"AeroAdminMissing", kAeroAdmin, nullptr, kDownloadOk, {},
                  kAeroAdminHead + Log{kAeroAdminFetch, "Sleep 2000", kAeroAdminStart} + kShortRemind},
        EntryCase{"AeroAdminPresent", kAeroAdmin, "c:\\temp\\aeroadmin\\aeroadmin.exe", kDownloadOk, {},
                  kAeroAdminHead + Log{"Sleep 2000", kAeroAdminStart} + kShortRemind},
        EntryCase{"AeroAdminDownloadFails", kAeroAdmin, nullptr, kNotFound, {},
                  kAeroAdminHead + Log{kAeroAdminFetch, DownloadFailed("AeroAdmin.exe")}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Whatever the letter case of its paths, each entry's download must land on
// the file its test looks for, or every click would fetch the program again.
TEST(Catalogue, SecondClickFindsTheDownloadedFile) {
    const auto entries = PlainToolEntries(kDeploy);
    for (const ToolEntry& entry : entries) {
        FakeOs os;
        os.environment["AppData"] = kAppData;
        LaunchContext context{os, os, kDeploy};
        LaunchTool(entry, context);
        const std::size_t firstClick = os.log.size();
        LaunchTool(entry, context);
        const Log second(os.log.begin() + static_cast<std::ptrdiff_t>(firstClick), os.log.end());
        for (const auto& line : second) EXPECT_EQ(line.rfind("Download ", 0), std::string::npos) << entry.stopCommand;
        EXPECT_THAT(second, ::testing::Contains(Normal(entry.startPath))) << entry.stopCommand;
    }
}

}  // namespace
}  // namespace tarn::testing
