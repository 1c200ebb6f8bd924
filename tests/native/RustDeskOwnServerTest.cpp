// The "RustDesk (tarn)" launch against the recording fake, and the bytes of
// the RustDesk2.toml it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "Fixtures.h"
#include "FakeOs.h"
#include "platform/DownloadResult.h"
#include "launch/ConfigFiles.h"
#include "launch/RustDeskOwnServer.h"

namespace tarn::testing {
namespace {

using ::testing::ElementsAreArray;

constexpr char kToml[] = "C:\\Users\\Amy\\AppData\\Roaming\\RustDesk\\config\\RustDesk2.toml";

Deployment WithKey(const std::string& key) { return {"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", key}; }

const std::string kStop = "Shell 2 cmd.exe /c taskkill /f /im rustdesk.exe";
const std::string kWaitStop = "Wait 100 10000";
const std::string kOpen = std::string("CreateTextFile ") + kToml;
const Log kLines{
    "WriteLine remote_id = \"\"",
    "WriteLine size = [0, 0, 798, 597]",
    "WriteLine rendezvous_server = \"rd.test:21116\"",
    "WriteLine nat_type = 1",
    "WriteLine serial = 0",
    "WriteLine ",
    "WriteLine [options]",
    "WriteLine allow-remote-config-modification = \"Y\"",
    "WriteLine custom-rendezvous-server = \"rd.test:21116\"",
    "WriteLine relay-server = \"rd.test:21117\"",
};
const Log kWrite = Log{kOpen} + kLines + Log{"Close"};
const std::string kFetch = "Download http://dl.test:8080/downloads/RustDesk.exe -> c:\\temp\\rustdesk\\RustDesk.exe";
const std::string kStart = "Shell 1 c:\\temp\\rustdesk\\RustDesk.exe";

std::string WriteFailure(const std::string& path, const std::string& reason) {
    return "MsgBox 48 無法寫入設定檔：" + path + "\r\n原因：" + reason +
           "\r\n請打電話給小森。\r\n小森的電話：02-1234-5678";
}
const std::string kDenied = "存取被拒。";

const std::string kExpectedBytes =
    "remote_id = \"\"\r\n"
    "size = [0, 0, 798, 597]\r\n"
    "rendezvous_server = \"rd.test:21116\"\r\n"
    "nat_type = 1\r\n"
    "serial = 0\r\n"
    "\r\n"
    "[options]\r\n"
    "allow-remote-config-modification = \"Y\"\r\n"
    "custom-rendezvous-server = \"rd.test:21116\"\r\n"
    "relay-server = \"rd.test:21117\"\r\n";

// A user whose RustDesk has run before: its configuration folder exists.
void PrepareUser(FakeOs& os) {
    os.environment["AppData"] = kAppData;
    os.AddFolder(kAppData);
    os.AddFolder(std::string(kAppData) + "\\RustDesk");
    os.AddFolder(std::string(kAppData) + "\\RustDesk\\config");
    os.foldersMustExist = true;
    os.programsMustExist = true;
}

void ProgramPresent(FakeOs& os) { os.AddFile("c:\\temp\\rustdesk\\RustDesk.exe"); }

struct OwnCase {
    const char* name;
    std::string key;
    std::function<void(FakeOs&)> setup;  // after PrepareUser
    Log expected;
};
void PrintTo(const OwnCase& c, std::ostream* out) { *out << c.name; }

class RustDeskOwnServerLaunch : public ::testing::TestWithParam<OwnCase> {};

TEST_P(RustDeskOwnServerLaunch, RunsTheSteps) {
    const OwnCase& c = GetParam();
    FakeOs os;
    PrepareUser(os);
    if (c.setup) c.setup(os);
    LaunchContext context{os, os, WithKey(c.key)};
    LaunchRustDeskOwnServer(context);
    EXPECT_THAT(os.log, ElementsAreArray(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RustDeskOwnServerLaunch,
    ::testing::Values(
        OwnCase{"ProgramPresent", "", ProgramPresent,
                Log{kStop, kWaitStop} + kWrite + Log{"Sleep 1000", kStart} + kShortRemind},
        OwnCase{"MissingDownloadWorks", "", {},
                Log{kStop, kWaitStop} + kWrite + Log{kFetch, "Sleep 1000", kStart} + kShortRemind},
        // A failed download ends the launch with its reason, the file
        // already written; one the person cancelled ends it quietly.
        OwnCase{"MissingDownloadFails", "", [](FakeOs& os) { os.downloadResult = kDownloadStalled; },
                Log{kStop, kWaitStop} + kWrite +
                    Log{kFetch, "MsgBox 48 無法下載 RustDesk.exe：連續 30 秒沒有收到任何資料，下載已停止。\r\n"
                                "請確認網路連線正常後，再按一次按鈕。若仍然無法下載，請打電話給小森。\r\n"
                                "小森的電話：02-1234-5678"}},
        OwnCase{"MissingDownloadCancelled", "", [](FakeOs& os) { os.downloadResult = kDownloadAborted; },
                Log{kStop, kWaitStop} + kWrite + Log{kFetch}},
        // A stop command still running after ten seconds does not hold it up.
        OwnCase{"StopOutlastsTheWait", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.waitEndsTasks = false;
                },
                Log{kStop, kWaitStop} + kWrite + Log{"Sleep 1000", kStart} + kShortRemind},
        OwnCase{"WithKey", "AbC+/9=", ProgramPresent,
                Log{kStop, kWaitStop, kOpen} + kLines + Log{"WriteLine key = \"AbC+/9=\"", "Close", "Sleep 1000", kStart} +
                    kShortRemind},
        OwnCase{"OpenFails", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.unwritable.insert(Lower(kToml));
                },
                Log{kStop, kWaitStop, std::string("CreateTextFile failed ") + kToml, WriteFailure(kToml, kDenied)}},
        OwnCase{"WriteFails", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.writeFailsAfterLines = 6;
                },
                Log{kStop, kWaitStop, kOpen} + Log(kLines.begin(), kLines.begin() + 6) +
                    Log{"WriteLine failed [options]", WriteFailure(kToml, "磁碟空間不足。")}},
        // A user whose RustDesk never ran: both folders are made, then the file.
        OwnCase{"BothFoldersMissing", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.attributes.erase(Lower(std::string(kAppData) + "\\RustDesk"));
                    os.attributes.erase(Lower(std::string(kAppData) + "\\RustDesk\\config"));
                },
                Log{kStop, kWaitStop, std::string("CreateFolder ") + kAppData + "\\RustDesk",
                    std::string("CreateFolder ") + kAppData + "\\RustDesk\\config"} +
                    kWrite + Log{"Sleep 1000", kStart} + kShortRemind},
        OwnCase{"ConfigFolderMissing", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.attributes.erase(Lower(std::string(kAppData) + "\\RustDesk\\config"));
                },
                Log{kStop, kWaitStop, std::string("CreateFolder ") + kAppData + "\\RustDesk\\config"} + kWrite +
                    Log{"Sleep 1000", kStart} + kShortRemind},
        // AppData itself is never made.
        OwnCase{"AppDataFolderMissing", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.attributes.clear();
                    ProgramPresent(os);
                },
                Log{kStop, kWaitStop, std::string("CreateFolder failed ") + kAppData + "\\RustDesk",
                    WriteFailure(kToml, kDenied)}},
        OwnCase{"AppDataEmpty", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.environment["AppData"] = "";
                },
                Log{kStop, kWaitStop,
                    WriteFailure("\\RustDesk\\config\\RustDesk2.toml", "AppData 環境變數不是完整的資料夾路徑：「」")}},
        OwnCase{"AppDataRelative", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.environment["AppData"] = "Roaming";
                },
                Log{kStop, kWaitStop,
                    WriteFailure("Roaming\\RustDesk\\config\\RustDesk2.toml",
                                 "AppData 環境變數不是完整的資料夾路徑：「Roaming」")}},
        OwnCase{"StartFails", "",
                [](FakeOs& os) {
                    ProgramPresent(os);
                    os.unstartable.insert("c:\\temp\\rustdesk\\rustdesk.exe");
                },
                Log{kStop, kWaitStop} + kWrite +
                    Log{"Sleep 1000", "Shell failed c:\\temp\\rustdesk\\RustDesk.exe",
                        "MsgBox 48 RustDesk.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
                        "小森的電話：02-1234-5678\r\n系統的說明：找不到指定的檔案。"}},
        OwnCase{"StopFails", "",
                [](FakeOs& os) { os.unstartable.insert("cmd.exe /c taskkill /f /im rustdesk.exe"); },
                Log{"Shell failed cmd.exe /c taskkill /f /im rustdesk.exe",
                    "MsgBox 48 cmd.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
                    "小森的電話：02-1234-5678\r\n系統的說明：找不到指定的檔案。"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RustDeskToml, BytesReplaceAnEarlierFileWholly) {
    FakeOs os;
    PrepareUser(os);
    os.AddFile(kToml);
    os.contents[Lower(kToml)] =
        "remote_id = \"123456789\"\r\n" + std::string(3000, '#') + "\r\n[options]\r\nkey = \"old\"\r\n";
    LaunchContext context{os, os, WithKey("")};
    LaunchRustDeskOwnServer(context);
    EXPECT_EQ(os.Contents(kToml), kExpectedBytes);
}

TEST(RustDeskToml, KeyLineFollowsTheRelayLine) {
    FakeOs os;
    PrepareUser(os);
    LaunchContext context{os, os, WithKey("OeVuKk5nlHiXp+APNn0Y3pC1Iwpwn44JGqrQCsWqmBw=")};
    LaunchRustDeskOwnServer(context);
    EXPECT_EQ(os.Contents(kToml), kExpectedBytes + "key = \"OeVuKk5nlHiXp+APNn0Y3pC1Iwpwn44JGqrQCsWqmBw=\"\r\n");
}

// A quote or backslash in the key is escaped, so the document stays TOML.
TEST(RustDeskToml, KeyIsEscapedForToml) {
    const auto escaped = RustDeskTomlLines("rd.test", "a\"b\\c");
    ASSERT_EQ(escaped.size(), 11u);
    EXPECT_EQ(escaped.back(), "key = \"a\\\"b\\\\c\"");
}

TEST(ConfigFolder, WritableAppDataValues) {
    struct Case {
        const char* appData;
        bool writable;
    } cases[] = {
        {"C:\\Users\\Amy\\AppData\\Roaming", true},
        {"d:\\profiles\\林小森", true},
        {"C:\\Users\\Amy Lin & co (x)^!%\\AppData", true},  // odd for cmd.exe, fine for a file
        {"\\\\server\\profiles\\amy", true},
        {"", false},
        {"Roaming", false},
        {"C:Roaming", false},
        {"\\Users\\Amy", false},
        {"C:\\Users\\a:b", false},
        {"C:\\Users\\a|b", false},
        {"C:\\Users\\a<b", false},
        {"C:\\Users\\*", false},
        {"C:\\Users\\a?", false},
        {"C:\\Users\\\"a\"", false},
        {"C:\\Users\\a\tb", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsWritableAppData(c.appData), c.writable) << c.appData;
}

}  // namespace
}  // namespace tarn::testing
