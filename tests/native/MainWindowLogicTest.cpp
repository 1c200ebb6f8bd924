#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "Fixtures.h"
#include "FakeOs.h"
#include "launch/Catalogue.h"
#include "windows/MainWindowLogic.h"

namespace tarn::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// An ordinary 1280 x 1024 screen with a 40-pixel taskbar at the bottom.
const Screen kOrdinary{{0, 0, 1280, 1024}, {0, 0, 1280, 984}, 96};

// The window side of the start-up step, recorded into the same log as the OS.
class FakeHost : public MainWindowHost {
public:
    FakeHost(FakeOs& os, PixelRect outer, Screen screen) : os_(os), outer_(outer), screen_(screen) {}
    void ClearDefault(design::MainControl control) override {
        os_.log.push_back(control == design::MainControl::Aweray ? "ClearDefault Aweray" : "ClearDefault another");
    }
    PixelRect OuterRect() override { return outer_; }
    Screen ScreenOf() override { return screen_; }
    void MoveTo(int left, int top) override {
        os_.log.push_back("Move " + std::to_string(left) + " " + std::to_string(top));
    }

private:
    FakeOs& os_;
    PixelRect outer_;
    Screen screen_;
};

const std::vector<std::string> kFolders = {
    "Shell 0 cmd.exe /c mkdir c:\\temp",          "Shell 0 cmd.exe /c mkdir c:\\temp",
    "Shell 0 cmd.exe /c mkdir c:\\temp\\AnyDesk", "Shell 0 cmd.exe /c mkdir c:\\temp\\RustDesk",
    "Shell 0 cmd.exe /c mkdir c:\\temp\\Aweray",  "Shell 0 cmd.exe /c mkdir c:\\temp\\AeroAdmin",
};

TEST(StartUp, MakesFoldersThenSetsAwerayThenMovesTheWindow) {
    FakeOs os;
    // Centred on the screen: 570 x 196 outer.
    FakeHost host(os, {355, 414, 925, 610}, kOrdinary);
    StartUp(os, host, {});
    std::vector<std::string> expected = kFolders;
    expected.push_back("ClearDefault Aweray");
    expected.push_back("Move 355 768");  // 1024 - 196 - 60: bottom 60 px above the screen's bottom
    EXPECT_THAT(os.log, ElementsAreArray(expected));
}

TEST(StartUp, CommandThatCannotStartIsReportedAndEndsTheStep) {
    FakeOs os;
    os.unstartable.insert("cmd.exe /c mkdir c:\\temp\\rustdesk");
    FakeHost host(os, {355, 414, 925, 610}, kOrdinary);
    StartUp(os, host, {"", "02-1234-5678"});
    // Nothing after the report: no more folders, no property, no move.
    ASSERT_EQ(os.log.size(), 5u);
    EXPECT_EQ(os.log[3], "Shell failed cmd.exe /c mkdir c:\\temp\\RustDesk");
    EXPECT_EQ(os.log[4],
              "MsgBox 48 cmd.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
              "小森的電話：02-1234-5678\r\n系統的說明：找不到指定的檔案。");
}

const std::string kAsk = "MsgBox 3 是 (否) 結束所有遠端程式！";
const std::vector<std::string> kStops = {
    "Shell 2 cmd.exe /c taskkill /f /im rustdesk*",  "Shell 2 cmd.exe /c taskkill /f /im anydesk*",
    "Shell 2 cmd.exe /c taskkill /f /im awesun*",    "Shell 2 cmd.exe /c taskkill /f /im aweray*",
    "Shell 2 cmd.exe /c taskkill /f /im aeroadmin*", "Shell 2 cmd.exe /c taskkill /f /im TrustViewer*",
};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct CloseCase {
    const char* name;
    MsgBoxAnswer answer;
    const char* appData;  // nullptr: not set
    bool closes;
    std::vector<std::string> expected;
};

class CloseRequestAnswers : public ::testing::TestWithParam<CloseCase> {};

TEST_P(CloseRequestAnswers, RunsTheCommandsThenClosesTheWindows) {
    const CloseCase& c = GetParam();
    FakeOs os;
    if (c.appData) os.environment["AppData"] = c.appData;
    os.answers.push_back(c.answer);
    const bool closed = CloseRequest(os, {}, [&] { os.log.push_back("CloseWindows"); });
    EXPECT_EQ(closed, c.closes);
    EXPECT_THAT(os.log, ElementsAreArray(c.expected));
}

const std::vector<std::string> kDeletes = {
    "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
    "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
};
const std::vector<std::string> kDeletesAwkward = {
    "RemoveFile C:\\Users\\王 小明 & (A^B) 100%\\AppData\\Roaming\\AnyDesk\\system.conf",
    "RemoveFile C:\\Users\\王 小明 & (A^B) 100%\\AppData\\Roaming\\AnyDesk\\system.conf",
};

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseRequestAnswers,
    ::testing::Values(
        CloseCase{"Cancel", MsgBoxAnswer::Cancel, "C:\\Users\\Amy\\AppData\\Roaming", false, {kAsk}},
        CloseCase{"No", MsgBoxAnswer::No, "C:\\Users\\Amy\\AppData\\Roaming", true,
                  Concat({{kAsk}, kDeletes, {"CloseWindows"}})},
        CloseCase{"Yes", MsgBoxAnswer::Yes, "C:\\Users\\Amy\\AppData\\Roaming", true,
                  Concat({{kAsk}, kStops, kDeletes, {"CloseWindows"}})},
        CloseCase{"YesAwkwardUserName", MsgBoxAnswer::Yes, "C:\\Users\\王 小明 & (A^B) 100%\\AppData\\Roaming", true,
                  Concat({{kAsk}, kStops, kDeletesAwkward, {"CloseWindows"}})},
        CloseCase{"NoNetworkProfile",
                  MsgBoxAnswer::No,
                  "\\\\srv\\profiles\\amy",
                  true,
                  {kAsk, "RemoveFile \\\\srv\\profiles\\amy\\AnyDesk\\system.conf",
                   "RemoveFile \\\\srv\\profiles\\amy\\AnyDesk\\system.conf", "CloseWindows"}},
        // AppData that names no folder: nothing is deleted, the program
        // still ends.
        CloseCase{"YesAppDataUnset", MsgBoxAnswer::Yes, nullptr, true, Concat({{kAsk}, kStops, {"CloseWindows"}})},
        CloseCase{"NoAppDataRelative", MsgBoxAnswer::No, "Users\\Amy", true, {kAsk, "CloseWindows"}},
        CloseCase{"NoAppDataEmpty", MsgBoxAnswer::No, "", true, {kAsk, "CloseWindows"}},
        // Escape or the box's close button answer Cancel; anything that is
        // neither Yes nor No keeps the window.
        CloseCase{"UnknownAnswerKeepsWindow", MsgBoxAnswer::Ok, "C:\\Users\\Amy\\AppData\\Roaming", false, {kAsk}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloseRequest, CancelThenCloseAsksAgain) {
    FakeOs os;
    os.answers = {MsgBoxAnswer::Cancel, MsgBoxAnswer::No};
    int closes = 0;
    EXPECT_FALSE(CloseRequest(os, {}, [&] { ++closes; }));
    EXPECT_TRUE(CloseRequest(os, {}, [&] { ++closes; }));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(std::count(os.log.begin(), os.log.end(), kAsk), 2);
}

TEST(CloseRequest, StopCommandThatCannotStartIsReportedAndKeepsTheWindow) {
    FakeOs os;
    os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
    os.answers.push_back(MsgBoxAnswer::Yes);
    os.unstartable.insert("cmd.exe /c taskkill /f /im awesun*");
    bool closedWindows = false;
    EXPECT_FALSE(CloseRequest(os, {}, [&] { closedWindows = true; }));
    EXPECT_FALSE(closedWindows);
    ASSERT_EQ(os.log.size(), 5u);
    EXPECT_EQ(os.log[3], "Shell failed cmd.exe /c taskkill /f /im awesun*");
    EXPECT_THAT(os.log[4], HasSubstr("MsgBox 48 cmd.exe 無法啟動"));
}

TEST(About, OpensTheSiteMaximizedOncePerClick) {
    FakeOs os;
    About(os, kDeploy, {});
    About(os, kDeploy, {});
    EXPECT_THAT(os.log,
                ElementsAre("Shell 3 explorer.exe http://dl.test:8080/", "Shell 3 explorer.exe http://dl.test:8080/"));
}

struct ClickCase {
    const char* name;
    design::Click click;
    std::string expectedLine;  // a line only this click's procedure produces; empty: the log stays empty
};

class ClickWiring : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ClickWiring, RunsTheButtonsOwnProcedure) {
    const ClickCase& c = GetParam();
    FakeOs os;
    os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
    for (const ToolEntry& entry : PlainToolEntries(kDeploy)) os.AddFile(entry.testPath);
    os.AddFolder("C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk");
    os.AddFolder("C:\\Users\\Amy\\AppData\\Roaming\\RustDesk\\config");
    LaunchContext context{os, os, kDeploy};
    RunClick(c.click, context);
    // A launch first lets go of the ID an earlier client showed.
    const bool launches = c.click != design::Click::About && c.click != design::Click::None;
    EXPECT_EQ(!os.log.empty() && os.log.front() == "ForgetId", launches);
    if (c.expectedLine.empty())
        EXPECT_THAT(os.log, IsEmpty());
    else
        EXPECT_THAT(os.log, Contains(HasSubstr(c.expectedLine)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClickWiring,
    ::testing::Values(ClickCase{"AnyDesk", design::Click::AnyDesk, "Shell 1 " + AnyDeskEntry(kDeploy).startPath},
                      ClickCase{"Aweray", design::Click::Aweray, "Shell 1 " + AwerayEntry().startPath},
                      ClickCase{"Ie11", design::Click::Ie11, "Shell 1 " + Ie11Entry().startPath},
                      ClickCase{"RustDesk", design::Click::RustDesk, "Shell 2 " + RustDeskEntry().stopCommand},
                      ClickCase{"AeroAdmin", design::Click::AeroAdmin, "Shell 1 " + AeroAdminEntry().startPath},
                      ClickCase{"AnyDeskGsn", design::Click::AnyDeskGsn,
                                "CreateTextFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf"},
                      ClickCase{"RustDeskOwnServer", design::Click::RustDeskOwnServer, "RustDesk2.toml"},
                      ClickCase{"About", design::Click::About, "Shell 3 explorer.exe http://dl.test:8080/"},
                      ClickCase{"NoneDoesNothing", design::Click::None, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// RustDesk's plain entry and the own-server launch both start RustDesk; what
// tells them apart is that only the own-server launch writes its file.
TEST(ClickWiring, PlainRustDeskWritesNoConfiguration) {
    FakeOs os;
    os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
    LaunchContext context{os, os, kDeploy};
    RunClick(design::Click::RustDesk, context);
    for (const auto& line : os.log) EXPECT_THAT(line, ::testing::Not(HasSubstr("CreateTextFile")));
}

}  // namespace
}  // namespace tarn::testing
