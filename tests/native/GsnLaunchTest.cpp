// The "AnyDesk (GSN)" launch against the recording fake, and the bytes of the
// system.conf it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Fixtures.h"
#include "FakeOs.h"
#include "launch/AnyDeskGsn.h"
#include "platform/DownloadResult.h"

namespace tarn::testing {
namespace {

using ::testing::ElementsAreArray;

constexpr char kConf[] = "C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf";

const std::string kStop = "Shell 2 cmd.exe /c taskkill /f /im anydesk.exe";
const std::string kUserClean = std::string("RemoveFile ") + kConf;
const std::string kMachineClean = "RemoveFile C:\\ProgramData\\AnyDesk\\system.conf";
// Tasks are numbered from 100 by the fake: the two stops.
const Log kBeforeWrite{kStop, kStop, kUserClean, kMachineClean, "Sleep 1000", "Wait 100,101 10000"};
const Log kWrite{std::string("CreateTextFile ") + kConf,     "WriteLine ad.anynet.proxy.addr=proxy.test",
                 "WriteLine ad.anynet.proxy.mandatory=true", "WriteLine ad.anynet.proxy.mode=2",
                 "WriteLine ad.anynet.proxy.pass=",          "WriteLine ad.anynet.proxy.port=80",
                 "WriteLine ad.anynet.proxy.user=",          "Close"};
const std::string kPrompt = "MsgBox 4 Anydesk.exe 檔案已下載，是否在重新下載！";
const std::string kFetch = "Download http://dl.test:8080/downloads/AnyDesk.exe -> c:\\temp\\AnyDesk.exe";
const std::string kStart = "Shell 1 c:\\temp\\anydesk.exe";
const Log kRemind = kShortRemind + Log{kWatchAnyDeskId};
const std::string kError = "MsgBox 0 Anydesk (GSN) 執行錯誤！";

const std::string kExpectedBytes =
    "ad.anynet.proxy.addr=proxy.test\r\n"
    "ad.anynet.proxy.mandatory=true\r\n"
    "ad.anynet.proxy.mode=2\r\n"
    "ad.anynet.proxy.pass=\r\n"
    "ad.anynet.proxy.port=80\r\n"
    "ad.anynet.proxy.user=\r\n";

// A user whose AnyDesk has run before: AppData and its AnyDesk folder exist.
void PrepareUser(FakeOs& os) {
    os.environment["AppData"] = kAppData;
    os.AddFolder(kAppData);
    os.AddFolder(std::string(kAppData) + "\\AnyDesk");
    os.foldersMustExist = true;
    os.programsMustExist = true;
}

struct GsnCase {
    const char* name;
    std::function<void(FakeOs&)> setup;  // after PrepareUser
    Log expected;
};
void PrintTo(const GsnCase& c, std::ostream* out) { *out << c.name; }

class GsnLaunch : public ::testing::TestWithParam<GsnCase> {};

TEST_P(GsnLaunch, RunsTheSteps) {
    const GsnCase& c = GetParam();
    FakeOs os;
    PrepareUser(os);
    if (c.setup) c.setup(os);
    LaunchContext context{os, os, kDeploy};
    LaunchAnyDeskGsn(context);
    EXPECT_THAT(os.log, ElementsAreArray(c.expected));
}

void ProgramPresent(FakeOs& os) { os.AddFile("c:\\temp\\AnyDesk.exe"); }
const DownloadResult kNotFound = DownloadHttpStatus(404);
const std::string kDownloadFailed =
    "MsgBox 48 " + *DownloadFailureMessage({"", kDeploy.supportPhone}, "AnyDesk.exe", kNotFound);

INSTANTIATE_TEST_SUITE_P(
    Cases, GsnLaunch,
    ::testing::Values(
        GsnCase{"ProgramMissing", {}, kBeforeWrite + kWrite + Log{kFetch, "Sleep 3000", kStart} + kRemind},
        GsnCase{"ProgramPresentYes",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.answers = {MsgBoxAnswer::Yes};
                },
                kBeforeWrite + kWrite + Log{kPrompt, kFetch, "Sleep 3000", kStart} + kRemind},
        GsnCase{"ProgramPresentNo",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.answers = {MsgBoxAnswer::No};
                },
                kBeforeWrite + kWrite + Log{kPrompt, "Sleep 3000", kStart} + kRemind},
        // Nothing to start: the person is told why, and no reminder follows.
        GsnCase{"DownloadFailsWhileMissing", [](FakeOs& os) { os.downloadResult = kNotFound; },
                kBeforeWrite + kWrite + Log{kFetch, kDownloadFailed}},
        GsnCase{"DownloadCancelledWhileMissing", [](FakeOs& os) { os.downloadResult = kDownloadAborted; },
                kBeforeWrite + kWrite + Log{kFetch}},
        // A failed re-download keeps the file that was there, which is
        // started once the person knows the fresh copy did not come.
        GsnCase{"RedownloadFailsKeepsTheFile",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.answers = {MsgBoxAnswer::Yes};
                    os.downloadResult = kNotFound;
                },
                kBeforeWrite + kWrite + Log{kPrompt, kFetch, kDownloadFailed, "Sleep 3000", kStart} + kRemind},
        // Commands still running after ten seconds do not hold the launch up.
        GsnCase{"CommandsOutlastTheWait", [](FakeOs& os) { os.waitEndsTasks = false; },
                kBeforeWrite + kWrite + Log{kFetch, "Sleep 3000", kStart} + kRemind},
        GsnCase{"StartFails",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.answers = {MsgBoxAnswer::No};
                    os.unstartable.insert("c:\\temp\\anydesk.exe");
                },
                kBeforeWrite + kWrite + Log{kPrompt, "Sleep 3000", "Shell failed c:\\temp\\anydesk.exe", kError}},
        // The file cannot be created: the message comes after the pause, and
        // no prompt, fetch, start or reminder follows.
        GsnCase{"ConfigCannotBeCreated",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.unwritable.insert(Lower(kConf));
                },
                kBeforeWrite + Log{std::string("CreateTextFile failed ") + kConf, kError}},
        GsnCase{"ConfigWriteFails", [](FakeOs& os) { os.writeFailsAfterLines = 2; },
                kBeforeWrite + Log{std::string("CreateTextFile ") + kConf, "WriteLine ad.anynet.proxy.addr=proxy.test",
                                   "WriteLine ad.anynet.proxy.mandatory=true",
                                   "WriteLine failed ad.anynet.proxy.mode=2", kError}},
        // A user whose AnyDesk never ran: the folder is made, then the file.
        GsnCase{"AnyDeskFolderMissing",
                [](FakeOs& os) { os.attributes.erase(Lower(std::string(kAppData) + "\\AnyDesk")); },
                kBeforeWrite + Log{std::string("CreateFolder ") + kAppData + "\\AnyDesk"} + kWrite +
                    Log{kFetch, "Sleep 3000", kStart} + kRemind},
        // AppData itself is never made.
        GsnCase{"AppDataFolderMissing",
                [](FakeOs& os) {
                    os.attributes.erase(Lower(kAppData));
                    os.attributes.erase(Lower(std::string(kAppData) + "\\AnyDesk"));
                },
                kBeforeWrite + Log{std::string("CreateFolder failed ") + kAppData + "\\AnyDesk", kError}},
        GsnCase{"AnyDeskFolderCannotBeCreated",
                [](FakeOs& os) {
                    os.attributes.erase(Lower(std::string(kAppData) + "\\AnyDesk"));
                    os.uncreatableFolders.insert(Lower(std::string(kAppData) + "\\AnyDesk"));
                },
                kBeforeWrite + Log{std::string("CreateFolder failed ") + kAppData + "\\AnyDesk", kError}},
        // Without a usable AppData no per-user clean runs and nothing is written.
        GsnCase{"AppDataEmpty", [](FakeOs& os) { os.environment["AppData"] = ""; },
                Log{kStop, kStop, kMachineClean, "Sleep 1000", "Wait 100,101 10000", kError}},
        GsnCase{"AppDataUnset", [](FakeOs& os) { os.environment.clear(); },
                Log{kStop, kStop, kMachineClean, "Sleep 1000", "Wait 100,101 10000", kError}},
        GsnCase{"AppDataRelative", [](FakeOs& os) { os.environment["AppData"] = "AppData\\Roaming"; },
                Log{kStop, kStop, kMachineClean, "Sleep 1000", "Wait 100,101 10000", kError}},
        GsnCase{"AppDataDriveRelative", [](FakeOs& os) { os.environment["AppData"] = "C:AppData"; },
                Log{kStop, kStop, kMachineClean, "Sleep 1000", "Wait 100,101 10000", kError}},
        // No command interpreter reads the path: a percent sign is a letter.
        GsnCase{"AppDataWithPercent",
                [](FakeOs& os) {
                    os.environment["AppData"] = "C:\\Users\\100%\\AppData";
                    os.AddFolder("C:\\Users\\100%\\AppData");
                },
                Log{kStop, kStop, "RemoveFile C:\\Users\\100%\\AppData\\AnyDesk\\system.conf", kMachineClean,
                    "Sleep 1000", "Wait 100,101 10000",
                    "CreateFolder C:\\Users\\100%\\AppData\\AnyDesk",
                    "CreateTextFile C:\\Users\\100%\\AppData\\AnyDesk\\system.conf"} +
                    Log(kWrite.begin() + 1, kWrite.end()) + Log{kFetch, "Sleep 3000", kStart} + kShortRemind +
                    Log{"WatchForId C:\\Users\\100%\\AppData\\AnyDesk\\system.conf"}},
        // The trap covers the first step too.
        GsnCase{"StopFails", [](FakeOs& os) { os.unstartable.insert("cmd.exe /c taskkill /f /im anydesk.exe"); },
                Log{"Shell failed cmd.exe /c taskkill /f /im anydesk.exe", kError}}),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever the launch's path, nothing may reach the file system without a
// usable AppData.
TEST(GsnLaunch, UnusableAppDataWritesNothing) {
    for (const char* appData : {"", "AppData", "\\Users\\Amy", "C:\\a|b"}) {
        FakeOs os;
        os.environment["AppData"] = appData;
        LaunchContext context{os, os, kDeploy};
        LaunchAnyDeskGsn(context);
        EXPECT_TRUE(os.contents.empty()) << appData;
        for (const auto& line : os.log) {
            EXPECT_EQ(line.rfind("CreateFolder", 0), std::string::npos) << appData << ": " << line;
            EXPECT_EQ(line.rfind("CreateTextFile", 0), std::string::npos) << appData << ": " << line;
        }
        EXPECT_EQ(os.log.back(), kError) << appData;
    }
}

TEST(GsnLaunch, WaitsForTheCommandsAfterThePauseAndBeforeWriting) {
    FakeOs os;
    PrepareUser(os);
    LaunchContext context{os, os, kDeploy};
    LaunchAnyDeskGsn(context);
    auto at = [&](const std::string& line) { return std::find(os.log.begin(), os.log.end(), line) - os.log.begin(); };
    const auto wait = at("Wait 100,101 10000");
    ASSERT_LT(wait, static_cast<std::ptrdiff_t>(os.log.size()));
    EXPECT_LT(at(kMachineClean), at("Sleep 1000"));
    EXPECT_LT(at("Sleep 1000"), wait);
    EXPECT_LT(wait, at(std::string("CreateTextFile ") + kConf));
}

TEST(SystemConf, BytesReplaceAnEarlierFileWholly) {
    FakeOs os;
    PrepareUser(os);
    os.AddFile(kConf);
    os.contents[Lower(kConf)] = std::string(4000, 'x') + "\r\nad.anynet.alias=old\r\n";
    LaunchContext context{os, os, kDeploy};
    LaunchAnyDeskGsn(context);
    EXPECT_EQ(os.Contents(kConf), kExpectedBytes);
}

}  // namespace
}  // namespace tarn::testing
