#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeOs.h"
#include "launch/Catalogue.h"
#include "platform/mduAPI.h"

namespace tarn::testing {
namespace {

using ::testing::ElementsAreArray;

const Deployment kDeploy{"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", ""};

std::vector<std::string> RunAnydesk(FakeOs& os) {
    LaunchContext context{os, os, kDeploy};
    LaunchTool(AnydeskEntry(kDeploy), context);
    return os.log;
}

const std::string kStop = "Shell 2 cmd.exe /c taskkill /f /im anydesk.exe";
const std::string kClean = "Shell 2 cmd.exe /c del /f /q \"C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf\"";
const std::string kFetch = "Download http://dl.test:8080/downloads/AnyDesk.exe -> c:\\temp\\AnyDesk.exe";
const std::string kStart = "Shell 1 c:\\temp\\anydesk.exe";
const std::string kRemind = "Reminder 請 (聯絡小森 02-1234-5678) 告知您的 ID";
const std::string kTopMost = "SetWindowPos 20816 -1 3";

struct AnydeskCase {
    const char* name;
    bool present;        // program file in the work folder before the click
    long downloadResult;
    std::vector<std::string> expected;
};

class AnydeskLaunch : public ::testing::TestWithParam<AnydeskCase> {};

TEST_P(AnydeskLaunch, RunsTheStepsInOrder) {
    const AnydeskCase& c = GetParam();
    FakeOs os;
    os.environment["APPDATA"] = "C:\\Users\\Amy\\AppData\\Roaming";
    // Present under the download's spelling: the test path differs in case.
    if (c.present) os.AddFile("c:\\temp\\AnyDesk.exe");
    os.downloadResult = c.downloadResult;
    EXPECT_THAT(RunAnydesk(os), ElementsAreArray(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnydeskLaunch,
    ::testing::Values(
        AnydeskCase{"FileMissingDownloadWorks", false, 0,
                    {kStop, kStop, kClean, kClean, kFetch, "Sleep 2000", kStart, kRemind, kTopMost}},
        AnydeskCase{"FilePresentNothingFetched", true, 0,
                    {kStop, kStop, kClean, kClean, "Sleep 2000", kStart, kRemind, kTopMost}},
        // A failed download is noticed only by the missing file: no start,
        // no message, the reminder still comes.
        AnydeskCase{"DownloadFails", false, 0x800C0005,
                    {kStop, kStop, kClean, kClean, kFetch, "Sleep 2000", kRemind, kTopMost}}),
    [](const auto& info) { return std::string(info.param.name); });

struct AppDataCase {
    const char* name;
    const char* appData;
    const char* expectedClean;  // nullptr: the clean command must not run
};

class CleanCommandFromAppData : public ::testing::TestWithParam<AppDataCase> {};

TEST_P(CleanCommandFromAppData, QuotesOrSkips) {
    const AppDataCase& c = GetParam();
    FakeOs os;
    if (c.appData) os.environment["AppData"] = c.appData;
    os.AddFile("c:\\temp\\anydesk.exe");
    RunAnydesk(os);
    std::vector<std::string> cleans;
    for (const auto& line : os.log)
        if (line.find("del ") != std::string::npos) cleans.push_back(line);
    if (c.expectedClean) {
        EXPECT_THAT(cleans, ElementsAreArray({std::string("Shell 2 ") + c.expectedClean,
                                              std::string("Shell 2 ") + c.expectedClean}));
    } else {
        EXPECT_TRUE(cleans.empty()) << cleans.front();
    }
    // The rest of the launch is not affected by an unusable AppData.
    EXPECT_EQ(os.log.back(), kTopMost);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanCommandFromAppData,
    ::testing::Values(
        AppDataCase{"Blank", "C:\\Users\\Amy Lin\\AppData\\Roaming",
                    "cmd.exe /c del /f /q \"C:\\Users\\Amy Lin\\AppData\\Roaming\\AnyDesk\\system.conf\""},
        AppDataCase{"AmpersandCaretParens", "C:\\Users\\A&B^(x)\\AppData\\Roaming",
                    "cmd.exe /c del /f /q \"C:\\Users\\A&B^(x)\\AppData\\Roaming\\AnyDesk\\system.conf\""},
        AppDataCase{"Chinese", "C:\\Users\\林小森\\AppData\\Roaming",
                    "cmd.exe /c del /f /q \"C:\\Users\\林小森\\AppData\\Roaming\\AnyDesk\\system.conf\""},
        AppDataCase{"NetworkPath", "\\\\server\\profiles\\amy",
                    "cmd.exe /c del /f /q \"\\\\server\\profiles\\amy\\AnyDesk\\system.conf\""},
        AppDataCase{"Percent", "C:\\Users\\%USERNAME%\\AppData", nullptr},
        AppDataCase{"Bang", "C:\\Users\\Hi!\\AppData", nullptr},
        AppDataCase{"Quote", "C:\\Users\\a\" & del c:\\x \"\\AppData", nullptr},
        AppDataCase{"Wildcard", "C:\\Users\\*", nullptr},
        AppDataCase{"ControlCharacter", "C:\\Users\\a\nb", nullptr},
        AppDataCase{"Empty", "", nullptr},
        AppDataCase{"Unset", nullptr, nullptr},
        AppDataCase{"Relative", "Users\\Amy\\AppData", nullptr},
        AppDataCase{"DriveRelative", "C:Users\\Amy", nullptr},
        AppDataCase{"RootRelative", "\\Users\\Amy", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnydeskLaunch, StartFailureIsReportedWithTheProgramAndReason) {
    FakeOs os;
    os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
    os.AddFile("c:\\temp\\anydesk.exe");
    os.unstartable.insert("c:\\temp\\anydesk.exe");
    RunAnydesk(os);
    ASSERT_GE(os.log.size(), 2u);
    EXPECT_EQ(os.log[os.log.size() - 2], "Shell failed c:\\temp\\anydesk.exe");
    EXPECT_EQ(os.log.back(), "MsgBox 0 無法啟動程式：c:\\temp\\anydesk.exe\r\n原因：找不到指定的檔案。");
}

TEST(AnydeskLaunch, FailingStopCommandEndsTheLaunchWithAMessage) {
    FakeOs os;
    os.unstartable.insert("cmd.exe /c taskkill /f /im anydesk.exe");
    RunAnydesk(os);
    EXPECT_THAT(os.log, ElementsAreArray({std::string("Shell failed cmd.exe /c taskkill /f /im anydesk.exe"),
                                          std::string("MsgBox 0 無法啟動程式：cmd.exe /c taskkill /f /im anydesk.exe"
                                                      "\r\n原因：找不到指定的檔案。")}));
}

TEST(IsFilePresent, OnlyExistingNonFolders) {
    FakeOs os;
    os.AddFile("c:\\temp\\hidden.exe", 0x2 | 0x20);
    os.AddFile("c:\\temp\\readonly.exe", 0x1);
    os.AddFolder("c:\\temp");
    struct Case {
        const char* path;
        bool present;
    } cases[] = {{"c:\\temp\\hidden.exe", true}, {"C:\\TEMP\\READONLY.EXE", true}, {"c:\\temp", false},
                 {"c:\\temp\\missing.exe", false}, {"c:\\nofolder\\x.exe", false},  {"", false}};
    for (const auto& c : cases) EXPECT_EQ(IsFilePresent(os, c.path), c.present) << c.path;
}

TEST(SetTopMost, AnswersWhatSetWindowPosAnsweredOnlyForTrue) {
    FakeOs os;
    os.setWindowPosResult = 5;
    EXPECT_EQ(SetTopMost(os, 77, true), 5);
    EXPECT_EQ(SetTopMost(os, 77, false), 0);
    os.setWindowPosResult = 0;
    EXPECT_EQ(SetTopMost(os, 77, true), 0);
    EXPECT_THAT(os.log, ElementsAreArray({"SetWindowPos 77 -1 3", "SetWindowPos 77 -2 3", "SetWindowPos 77 -1 3"}));
}

}  // namespace
}  // namespace tarn::testing
