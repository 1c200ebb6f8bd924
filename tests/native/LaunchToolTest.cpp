#include <deque>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "FakeOs.h"
#include "launch/Catalogue.h"
#include "launch/LaunchTool.h"
#include "platform/DownloadResult.h"
#include "platform/FilePresence.h"
#include "platform/TopMost.h"
#include "platform/WindowsPaths.h"

namespace tarn::testing {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::string> RunAnyDesk(FakeOs& os) {
    LaunchContext context{os, os, kDeploy, "AnyDesk"};
    LaunchTool(AnyDeskEntry(kDeploy), context);
    return os.log;
}

const std::string kStop = "Shell 2 cmd.exe /c taskkill /f /im anydesk.exe";
const std::string kClean = "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf";
const std::string kFetch = "Download http://dl.test:8080/downloads/AnyDesk.exe -> c:\\temp\\AnyDesk.exe";
const std::string kStart = "Shell 1 c:\\temp\\anydesk.exe";
const std::string kRemind = "Reminder 請 (聯絡小森 02-1234-5678) 告知您的 ID";
const std::string kTopMost = "SetZOrder 20816 TopMost";
const std::string kStartFailed = "Shell failed c:\\temp\\anydesk.exe";
const std::string kDamaged = "MsgBox 52 AnyDesk 的程式檔無法執行，可能已損壞。要重新下載嗎？";

struct AnyDeskCase {
    const char* name;
    bool present;  // program file in the work folder before the click
    DownloadResult downloadResult;
    std::vector<std::string> expected;
    bool damaged = false;  // the program file, there or fetched, cannot run
    std::deque<MsgBoxAnswer> answers = {};
};

class AnyDeskLaunch : public ::testing::TestWithParam<AnyDeskCase> {};

TEST_P(AnyDeskLaunch, RunsTheStepsInOrder) {
    const AnyDeskCase& c = GetParam();
    FakeOs os;
    os.environment["APPDATA"] = "C:\\Users\\Amy\\AppData\\Roaming";
    // Present under the download's spelling: the test path differs in case.
    if (c.present) os.AddFile("c:\\temp\\AnyDesk.exe");
    os.downloadResult = c.downloadResult;
    if (c.damaged && c.present) os.damaged.insert("c:\\temp\\anydesk.exe");
    if (c.damaged && !c.present) os.servedRuns = false;
    os.answers = c.answers;
    EXPECT_THAT(RunAnyDesk(os), ElementsAreArray(c.expected));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, AnyDeskLaunch,
    ::testing::Values(
        AnyDeskCase{"FileMissingDownloadWorks", false, kDownloadOk,
                    {kStop, kStop, kClean, kClean, kFetch, "Sleep 2000", kStart, kRemind, kTopMost, kWatchAnyDeskId}},
        AnyDeskCase{"FilePresentNothingFetched", true, kDownloadOk,
                    {kStop, kStop, kClean, kClean, "Sleep 2000", kStart, kRemind, kTopMost, kWatchAnyDeskId}},
        // Nothing to start: the person is told why, and no reminder asks for
        // an ID that nothing shows.
        AnyDeskCase{"DownloadFails", false, DownloadHttpStatus(404),
                    {kStop, kStop, kClean, kClean, kFetch,
                     "MsgBox 48 " + *DownloadFailureMessage({"AnyDesk", kDeploy.supportPhone}, "AnyDesk.exe",
                                                            DownloadHttpStatus(404))}},
        AnyDeskCase{"DownloadCancelled", false, kDownloadAborted, {kStop, kStop, kClean, kClean, kFetch}},
        // A file from before that cannot run is offered anew; the new one
        // starts as the launch would have started it.
        AnyDeskCase{"DamagedFetchedAgain", true, kDownloadOk,
                    {kStop, kStop, kClean, kClean, "Sleep 2000", kStartFailed, kDamaged,
                     "RemoveFile c:\\temp\\anydesk.exe", kFetch, "Sleep 2000", kStart, kRemind, kTopMost, kWatchAnyDeskId},
                    true, {MsgBoxAnswer::Yes}},
        AnyDeskCase{"DamagedKept", true, kDownloadOk,
                    {kStop, kStop, kClean, kClean, "Sleep 2000", kStartFailed, kDamaged}, true, {MsgBoxAnswer::No}},
        AnyDeskCase{"DamagedFetchFails", true, DownloadHttpStatus(404),
                    {kStop, kStop, kClean, kClean, "Sleep 2000", kStartFailed, kDamaged,
                     "RemoveFile c:\\temp\\anydesk.exe", kFetch,
                     "MsgBox 48 " + *DownloadFailureMessage({"AnyDesk", kDeploy.supportPhone}, "AnyDesk.exe",
                                                            DownloadHttpStatus(404))},
                    true, {MsgBoxAnswer::Yes}},
        // Fetched by this very click: fetching it again would bring the same.
        AnyDeskCase{"FetchedFileCannotRun", false, kDownloadOk,
                    {kStop, kStop, kClean, kClean, kFetch, "Sleep 2000", kStartFailed,
                     "MsgBox 48 按下「AnyDesk」後，anydesk.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
                     "小森的電話：02-1234-5678\r\n系統的說明：不是有效的 Win32 應用程式。"},
                    true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct CleanCase {
    const char* name;
    const char* appData;
    // What stands at the first folder below AppData and at the file
    // (attributes; 0: nothing there): <AppData>\AnyDesk and
    // <AppData>\AnyDesk\system.conf, or with rustDesk <AppData>\RustDesk
    // and <AppData>\RustDesk\config\RustDesk2.toml (config a plain folder).
    std::uint32_t folder;
    std::uint32_t file;
    bool deletes;  // every run of the clean reaches RemoveFile
    bool rustDesk = false;
};

class CleanFromAppData : public ::testing::TestWithParam<CleanCase> {};

constexpr std::uint32_t kFolder = FakeOs::kAttributeDirectory;
constexpr std::uint32_t kPlain = 0x20;
constexpr std::uint32_t kLink = FakeOs::kAttributeReparsePoint;

TEST_P(CleanFromAppData, DeletesOnlyThePlainFileItNames) {
    const CleanCase& c = GetParam();
    FakeOs os;
    if (c.appData) os.environment["AppData"] = c.appData;
    const std::string root = c.appData ? c.appData : "";
    const ToolEntry entry = c.rustDesk ? RustDeskEntry() : AnyDeskEntry(kDeploy);
    const std::string file = root + entry.cleanFile;
    for (auto slash = entry.cleanFile.find('\\', 1); slash != std::string::npos;
         slash = entry.cleanFile.find('\\', slash + 1))
        os.AddFolder(root + entry.cleanFile.substr(0, slash));
    const std::string first = root + entry.cleanFile.substr(0, entry.cleanFile.find('\\', 1));
    if (c.folder)
        os.AddFile(first, c.folder);
    else
        os.attributes.erase(Lower(first));
    if (c.file) os.AddFile(file, c.file);
    os.AddFile(entry.testPath);
    LaunchContext context{os, os, kDeploy};
    LaunchTool(entry, context);
    std::vector<std::string> removals;
    for (const auto& line : os.log)
        if (line.rfind("RemoveFile ", 0) == 0) removals.push_back(line);
    const std::vector<std::string> expected(c.deletes ? entry.cleanRuns : 0, "RemoveFile " + file);
    EXPECT_EQ(removals, expected);
    // Whatever stood there and was not deleted is still there.
    if (!c.deletes && c.file) {
        EXPECT_TRUE(os.HasFile(file));
    }
    // The rest of the launch is not affected; AnyDesk's ID is watched for
    // only in an AppData that names a folder.
    const std::string watch = "WatchForId " + root + entry.idFile;
    EXPECT_EQ(os.log.back(), IsAbsoluteWindowsPath(root) && !entry.idFile.empty() ? watch : kTopMost);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, CleanFromAppData,
    ::testing::Values(
        CleanCase{"PlainFile", "C:\\Users\\Amy\\AppData\\Roaming", kFolder, kPlain, true},
        CleanCase{"NothingThere", "C:\\Users\\Amy\\AppData\\Roaming", 0, 0, true},
        // No command interpreter reads the path: these are ordinary letters.
        CleanCase{"BlankAmpersandCaret", "C:\\Users\\A&B ^(x)\\AppData\\Roaming", kFolder, kPlain, true},
        CleanCase{"PercentBang", "C:\\Users\\%USERNAME%!x!\\AppData", kFolder, kPlain, true},
        CleanCase{"Chinese", "C:\\Users\\林小森\\AppData\\Roaming", kFolder, kPlain, true},
        CleanCase{"NetworkPath", "\\\\server\\profiles\\amy", kFolder, kPlain, true},
        CleanCase{"FileIsAFolder", "C:\\Users\\Amy\\AppData\\Roaming", kFolder, kFolder, false},
        CleanCase{"FileIsALink", "C:\\Users\\Amy\\AppData\\Roaming", kFolder, kPlain | kLink, false},
        CleanCase{"FolderIsAJunction", "C:\\Users\\Amy\\AppData\\Roaming", kFolder | kLink, kPlain, false},
        // Not the file's own folder: the one above it.
        CleanCase{"RustDeskFolderAboveIsAJunction", "C:\\Users\\Amy\\AppData\\Roaming", kFolder | kLink, kPlain,
                  false, true},
        CleanCase{"FolderIsAFile", "C:\\Users\\Amy\\AppData\\Roaming", kPlain, 0, false},
        CleanCase{"Empty", "", kFolder, kPlain, false},
        CleanCase{"Unset", nullptr, 0, 0, false},
        CleanCase{"Relative", "Users\\Amy\\AppData", kFolder, kPlain, false},
        CleanCase{"DriveRelative", "C:Users\\Amy", kFolder, kPlain, false},
        CleanCase{"RootRelative", "\\Users\\Amy", kFolder, kPlain, false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The program is named once, from its file; the system's reason follows on
// its own line.
TEST(AnyDeskLaunch, StartFailureIsReportedWithTheProgramAndReason) {
    FakeOs os;
    os.environment["AppData"] = "C:\\Users\\Amy\\AppData\\Roaming";
    os.AddFile("c:\\temp\\anydesk.exe");
    os.unstartable.insert("c:\\temp\\anydesk.exe");
    RunAnyDesk(os);
    ASSERT_GE(os.log.size(), 2u);
    EXPECT_EQ(os.log[os.log.size() - 2], "Shell failed c:\\temp\\anydesk.exe");
    EXPECT_EQ(os.log.back(),
              "MsgBox 48 按下「AnyDesk」後，anydesk.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
              "小森的電話：02-1234-5678\r\n系統的說明：找不到指定的檔案。");
}

TEST(AnyDeskLaunch, FailingStopCommandEndsTheLaunchWithAMessage) {
    FakeOs os;
    os.unstartable.insert("cmd.exe /c taskkill /f /im anydesk.exe");
    RunAnyDesk(os);
    EXPECT_THAT(os.log,
                ElementsAreArray({std::string("Shell failed cmd.exe /c taskkill /f /im anydesk.exe"),
                                  std::string("MsgBox 48 按下「AnyDesk」後，cmd.exe 無法啟動，檔案可能已經損壞。"
                                              "\r\n請打電話給小森。\r\n小森的電話：02-1234-5678"
                                              "\r\n系統的說明：找不到指定的檔案。")}));
}

// Each way a download fails reads as its own reason, with the button, the
// file's name, the one next step that fits the cause and the number to
// call; only a cancel says nothing.
TEST(DownloadFailureMessage, NamesTheButtonTheFileTheReasonAndWhatToDo) {
    const std::string line = "\r\n請確認網路連線正常後，再按一次「AnyDesk」。若仍然無法下載，請打電話給小森。";
    const std::string server = "\r\n下載伺服器現在沒有這個程式，再按一次也無法下載，請打電話給小森。";
    const std::string wrong = "\r\n伺服器上的檔案不是正確的程式，請不要再試，請打電話給小森。";
    const std::string call = "\r\n請打電話給小森。";
    const std::string unsafe = "\r\n請不要再試，請打電話給小森。";
    const std::string phone = "\r\n小森的電話：02-1234-5678";
    const std::string failed = "按下「AnyDesk」後，無法下載 AnyDesk.exe：";
    const struct {
        DownloadResult result;
        std::string expected;
    } cases[] = {
        {DownloadHttpStatus(404), failed + "伺服器上沒有這個檔案（HTTP 404）。" + server + phone},
        {DownloadHttpStatus(410), failed + "伺服器上沒有這個檔案（HTTP 410）。" + server + phone},
        {DownloadHttpStatus(206), failed + "伺服器回應錯誤（HTTP 206）。" + server + phone},
        {DownloadHttpStatus(503), failed + "伺服器回應錯誤（HTTP 503）。" + server + phone},
        {kDownloadCannotConnect, failed + "無法連線到下載伺服器。" + line + phone},
        {kDownloadNotFound, failed + "找不到下載伺服器。" + line + phone},
        {kDownloadStalled, failed + "連續 30 秒沒有收到任何資料，下載已停止。" + line + phone},
        {kDownloadTruncated, failed + "檔案沒有完整下載，連線在中途中斷了。" + line + phone},
        {kDownloadNotProgram, failed + "伺服器送來的不是 Windows 程式。" + wrong + phone},
        {kDownloadHashMismatch, failed + "下載的檔案與預期的不符，未予保留。" + wrong + phone},
        {kDownloadNotGenuine, failed + "下載的檔案不是發行者的正版程式，未予保留。" + wrong + phone},
        {kDownloadUntrustedServer, failed + "下載伺服器的憑證無法信任，連線可能不安全。" + unsafe + phone},
        {DownloadResult{0x80070070u}, failed + "無法把檔案存入工作資料夾（錯誤碼 0x80070070）。" + call + phone},
        {kDownloadFailed, failed + "下載失敗（錯誤碼 0x800C0008）。" + call + phone},
        {kDownloadInsecureRedirect,
         failed + "下載伺服器把下載轉到不安全（不是 HTTPS）的位址，已停止下載。" + unsafe + phone},
        {kDownloadTooManyRedirects,
         failed + "下載伺服器把下載一再轉到其他位址（超過 5 次），已停止下載。" + unsafe + phone},
    };
    const FailureContext who{"AnyDesk", "02-1234-5678"};
    for (const auto& c : cases)
        EXPECT_EQ(DownloadFailureMessage(who, "AnyDesk.exe", c.result), c.expected) << std::hex << c.result;
    EXPECT_EQ(DownloadFailureMessage(who, "AnyDesk.exe", kDownloadAborted), std::nullopt);
    // Without a phone number there is no line for one.
    EXPECT_EQ(DownloadFailureMessage({"AnyDesk", ""}, "AnyDesk.exe", kDownloadNotFound),
              failed + "找不到下載伺服器。" + line);
}

TEST(IsFilePresent, OnlyExistingNonFolders) {
    FakeOs os;
    os.AddFile("c:\\temp\\hidden.exe", 0x2 | 0x20);
    os.AddFile("c:\\temp\\readonly.exe", 0x1);
    os.AddFolder("c:\\temp");
    struct Case {
        const char* path;
        bool present;
    } cases[] = {{"c:\\temp\\hidden.exe", true},   {"C:\\TEMP\\READONLY.EXE", true}, {"c:\\temp", false},
                 {"c:\\temp\\missing.exe", false}, {"c:\\nofolder\\x.exe", false},   {"", false}};
    for (const auto& c : cases) EXPECT_EQ(IsFilePresent(os, c.path), c.present) << c.path;
}

TEST(SetTopMost, AnswersWhetherThePlatformMovedItOnlyForTrue) {
    FakeOs os;
    EXPECT_EQ(SetTopMost(os, WindowId{77}, true), 1);
    EXPECT_EQ(SetTopMost(os, WindowId{77}, false), 0);
    os.setZOrderResult = false;
    EXPECT_EQ(SetTopMost(os, WindowId{77}, true), 0);
    EXPECT_THAT(os.log, ElementsAreArray({"SetZOrder 77 TopMost", "SetZOrder 77 NotTopMost", "SetZOrder 77 TopMost"}));
}

}  // namespace
}  // namespace tarn::testing
