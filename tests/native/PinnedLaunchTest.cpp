// Launches with checked program files against the recording fake: a file is
// kept and started only when it passes its check (its SHA-256, its publisher
// or both), through steps that every launch takes with its own file; without
// a check nothing is hashed and the steps are those of before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "Fixtures.h"
#include "FakeOs.h"
#include "launch/AnyDeskGsn.h"
#include "launch/Catalogue.h"
#include "launch/LaunchSteps.h"
#include "launch/LaunchTool.h"
#include "launch/RustDeskOwnServer.h"
#include "platform/DownloadResult.h"

namespace tarn::testing {
namespace {

using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::Not;
using ::testing::StartsWith;

constexpr char kSigner[] = "tarn-kit Test Publisher";
constexpr char kOtherSigner[] = "Another Publisher";
const std::string kPin = FakeOs::kServedSha256;
const std::string kTampered = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
const std::string kSigned = std::string(" 「") + kSigner + "」";  // how a check's publisher ends its line

Deployment Deploy(std::vector<ProgramPin> pins) {
    Deployment deploy = kDeploy;
    deploy.pins = std::move(pins);
    return deploy;
}

// What the world holds before a launch, one part at a time.
using World = std::vector<std::function<void(FakeOs&)>>;

// A file at path whose content has this SHA-256, signed by signer ("": unsigned).
std::function<void(FakeOs&)> FileAt(std::string path, std::string sha256, std::string signer) {
    return [=](FakeOs& os) {
        os.AddFile(path);
        os.digests[Lower(path)] = sha256;
        if (!signer.empty()) os.publishers[Lower(path)] = signer;
    };
}
// What the download server sends.
std::function<void(FakeOs&)> Serves(std::string sha256, std::string signer) {
    return [=](FakeOs& os) {
        os.servedSha256 = sha256;
        os.servedPublisher = signer;
    };
}

// The GSN launch's question, when it comes, answered No.
const std::function<void(FakeOs&)> kAnswerNo = [](FakeOs& os) { os.answers = {MsgBoxAnswer::No}; };

// The one box of a download that failed its check.
std::string FailedCheckBox(const std::string& file, const std::string& reason) {
    return "MsgBox 48 無法下載 " + file + "：" + reason +
           "\r\n伺服器上的檔案不是正確的程式，請不要再試，請打電話給小森。\r\n小森的電話：02-1234-5678";
}
constexpr char kDiffers[] = "下載的檔案與預期的不符，未予保留。";
constexpr char kNotGenuine[] = "下載的檔案不是發行者的正版程式，未予保留。";

// The log of run, for a user whose clients have run before, on a machine
// where Shell fails for a program file that is not there; from the first
// line that begins with from.
Log Launch(std::vector<ProgramPin> pins, const World& setup, const std::function<void(LaunchContext&)>& run,
           const std::string& from = "") {
    FakeOs os;
    os.environment["AppData"] = kAppData;
    for (const char* folder : {"", "\\AnyDesk", "\\RustDesk", "\\RustDesk\\config"})
        os.AddFolder(std::string(kAppData) + folder);
    os.foldersMustExist = true;
    os.programsMustExist = true;
    Serves(kPin, kSigner)(os);
    for (const auto& part : setup) part(os);
    LaunchContext context{os, os, Deploy(std::move(pins))};
    run(context);
    const auto first =
        std::find_if(os.log.begin(), os.log.end(), [&](const std::string& line) { return line.rfind(from, 0) == 0; });
    return Log(first, os.log.end());
}

// --- the check every launch goes through -------------------------------------
// The fetch keeps a file that is there only when it passes its check, and
// otherwise downloads under that check; the start checks again, so whatever
// the fetch left behind is started only when it passes. Here on AnyDesk's
// spellings, with the start's own.

constexpr char kHere[] = "c:\\temp\\AnyDesk.exe";  // where the fetch downloads to
std::function<void(FakeOs&)> Here(std::string sha256, std::string signer) { return FileAt(kHere, sha256, signer); }
const std::function<void(FakeOs&)> kUnreadable = [](FakeOs& os) { os.unreadable.insert(Lower(kHere)); };
const std::function<void(FakeOs&)> k404 = [](FakeOs& os) { os.downloadResult = DownloadHttpStatus(404); };

const std::string kCheck = "CheckFile c:\\temp\\anydesk.exe";
const std::string kFetch = "DownloadChecked http://dl.test:8080/downloads/AnyDesk.exe -> c:\\temp\\AnyDesk.exe";
const std::string kFetchPin = kFetch + " " + kPin;
const std::string kFetchSigned = kFetch + kSigned;
const std::string kFetchBoth = kFetchPin + kSigned;
const std::string kStarted = "ShellChecked 1 c:\\temp\\ANYDESK.exe";
const std::string kRefused = "ShellChecked refused c:\\temp\\ANYDESK.exe";

const ProgramPin kByPin{"AnyDesk.exe", kPin};
const ProgramPin kBySigner{"AnyDesk.exe", "", kSigner};
const ProgramPin kByBoth{"AnyDesk.exe", kPin, kSigner};
const std::optional<DownloadResult> kKept = std::nullopt;
const std::optional<DownloadResult> kNotFound = DownloadHttpStatus(404);

struct CheckCase {
    const char* name;
    ProgramPin check;
    World setup;
    std::optional<DownloadResult> fetched;  // what the fetch answers
    Log expected;                           // the fetch's lines, then the start's
};
void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class ProgramCheckStep : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ProgramCheckStep, KeepsFetchesAndStartsOnlyWhatPasses) {
    const CheckCase& c = GetParam();
    FakeOs os;
    Serves(kPin, kSigner)(os);
    for (const auto& part : c.setup) part(os);
    LaunchContext context{os, os, Deploy({c.check})};
    EXPECT_EQ(steps::Fetch(context, "c:\\temp\\anydesk.exe", "/downloads/AnyDesk.exe", kHere), c.fetched);
    try {
        steps::Start(context, "c:\\temp\\ANYDESK.exe");
    } catch (const StartError&) {  // a refused start, which the log shows
    }
    EXPECT_THAT(os.log, ElementsAreArray(c.expected));
}

// clang-format off
const CheckCase kCheckCases[] = {
    // A planted file is replaced before anything starts it, and one that
    // cannot be read counts as planted. What a failed download leaves
    // (nothing new, the planted file as it was) the start refuses.
    {"Pin_PresentMatches", kByPin, {Here(kPin, "")}, kKept, {kCheck, kStarted}},
    {"Pin_PresentDiffers", kByPin, {Here(kTampered, kSigner)}, kDownloadOk, {kCheck, kFetchPin, kStarted}},
    {"Pin_PresentUnreadable", kByPin, {Here(kPin, kSigner), kUnreadable}, kDownloadOk, {kCheck, kFetchPin, kStarted}},
    {"Pin_MissingDownloadMatches", kByPin, {}, kDownloadOk, {kFetchPin, kStarted}},
    {"Pin_MissingDownloadDiffers", kByPin, {Serves(kTampered, kSigner)}, kDownloadHashMismatch, {kFetchPin, kRefused}},
    {"Pin_PresentDiffersDownloadDiffers", kByPin, {Here(kTampered, kSigner), Serves(kTampered, kSigner)},
     kDownloadHashMismatch, {kCheck, kFetchPin, kRefused}},
    {"Pin_PresentDiffersDownloadFails", kByPin, {Here(kTampered, kSigner), k404}, kNotFound,
     {kCheck, kFetchPin, kRefused}},
    // The pin in capitals, under the name in another case, is the same pin.
    {"PinInCapitals_PresentMatches",
     {"ANYDESK.EXE", "5E884898DA28047151D0E56F8DC6292773603D0D6AABBDD62A11EF721D1542D8"}, {Here(kPin, "")}, kKept,
     {kCheck, kStarted}},
    // Only the publisher: any content it signed passes.
    {"Publisher_PresentMatches", kBySigner, {Here(kTampered, kSigner)}, kKept, {kCheck, kStarted}},
    {"Publisher_PresentDiffers", kBySigner, {Here(kPin, kOtherSigner)}, kDownloadOk, {kCheck, kFetchSigned, kStarted}},
    {"Publisher_PresentUnsigned", kBySigner, {Here(kPin, "")}, kDownloadOk, {kCheck, kFetchSigned, kStarted}},
    {"Publisher_PresentUnreadable", kBySigner, {Here(kPin, kSigner), kUnreadable}, kDownloadOk,
     {kCheck, kFetchSigned, kStarted}},
    {"Publisher_MissingDownloadMatches", kBySigner, {}, kDownloadOk, {kFetchSigned, kStarted}},
    {"Publisher_MissingDownloadDiffers", kBySigner, {Serves(kPin, "")}, kDownloadNotGenuine, {kFetchSigned, kRefused}},
    {"Publisher_PresentDiffersDownloadDiffers", kBySigner, {Here(kPin, kOtherSigner), Serves(kPin, "")},
     kDownloadNotGenuine, {kCheck, kFetchSigned, kRefused}},
    {"Publisher_PresentDiffersDownloadFails", kBySigner, {Here(kPin, kOtherSigner), k404}, kNotFound,
     {kCheck, kFetchSigned, kRefused}},
    // Both: a file that fails either part is replaced, or refused.
    {"Both_PresentMatches", kByBoth, {Here(kPin, kSigner)}, kKept, {kCheck, kStarted}},
    {"Both_PresentPinDiffers", kByBoth, {Here(kTampered, kSigner)}, kDownloadOk, {kCheck, kFetchBoth, kStarted}},
    {"Both_PresentPublisherDiffers", kByBoth, {Here(kPin, kOtherSigner)}, kDownloadOk, {kCheck, kFetchBoth, kStarted}},
    {"Both_PresentUnreadable", kByBoth, {Here(kPin, kSigner), kUnreadable}, kDownloadOk,
     {kCheck, kFetchBoth, kStarted}},
    {"Both_MissingDownloadMatches", kByBoth, {}, kDownloadOk, {kFetchBoth, kStarted}},
    {"Both_MissingDownloadDiffers", kByBoth, {Serves(kTampered, kSigner)}, kDownloadHashMismatch,
     {kFetchBoth, kRefused}},
    {"Both_PresentPublisherDiffersDownloadDiffers", kByBoth, {Here(kPin, kOtherSigner), Serves(kTampered, kSigner)},
     kDownloadHashMismatch, {kCheck, kFetchBoth, kRefused}},
    {"Both_PresentPinDiffersDownloadFails", kByBoth, {Here(kTampered, kSigner), k404}, kNotFound,
     {kCheck, kFetchBoth, kRefused}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, ProgramCheckStep, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- each launch takes it with its own file, paths, pause and reminder -------

std::function<void(LaunchContext&)> Tool(ToolEntry (*entry)()) {
    return [entry](LaunchContext& context) { LaunchTool(entry(), context); };
}
void AnyDesk(LaunchContext& context) { LaunchTool(AnyDeskEntry(context.deploy), context); }

// One kind of launch under one check, with no file there and with one there
// that fails the check in content and publisher both.
struct Kind {
    const char* name;
    ProgramPin check;
    std::string presentPath;  // where that file lies (the download's spelling)
    std::function<void(LaunchContext&)> run;
    Log fetched;       // either way, from its download under the check on: pause, checked start, reminder
    std::string from;  // the log below is compared from the first line beginning so
    Log refused;       // when the download fails the check too: one box, and nothing starts
};
void PrintTo(const Kind& k, std::ostream* out) { *out << k.name; }

class EachLaunch : public ::testing::TestWithParam<Kind> {};

TEST_P(EachLaunch, TakesTheCheckWithItsOwnFile) {
    const Kind& k = GetParam();
    const auto planted = FileAt(k.presentPath, kTampered, kOtherSigner);
    EXPECT_THAT(Launch({k.check}, {}, k.run, "DownloadChecked"), ElementsAreArray(k.fetched)) << "missing";
    EXPECT_THAT(Launch({k.check}, {planted}, k.run, "DownloadChecked"), ElementsAreArray(k.fetched)) << "planted";
    EXPECT_THAT(Launch({k.check}, {planted, Serves(kTampered, "")}, k.run, k.from), ElementsAreArray(k.refused));
}

const std::string kAwerayFetch =
    "DownloadChecked http://dl.test:8080/downloads/Aweray.exe -> c:\\temp\\Aweray.exe" + kSigned;
const std::string kIe11Fetch =
    "DownloadChecked http://dl.test:8080/downloads/tarn-ie11.exe -> c:\\temp\\tarn-ie11.exe " + kPin + kSigned;
const std::string kRustDeskFetch =
    "DownloadChecked http://dl.test:8080/downloads/RustDesk.exe -> c:\\temp\\rustdesk\\RustDesk.exe";
const std::string kAeroAdminFetch =
    "DownloadChecked http://dl.test:8080/downloads/AeroAdmin.exe -> c:\\temp\\AeroAdmin\\AeroAdmin.exe " + kPin +
    kSigned;
const Log kAnyDeskRemind{"Reminder 請 (聯絡小森 02-1234-5678) 告知您的 ID", "SetZOrder 20816 TopMost", kWatchAnyDeskId};
const Log kGsnRemind = kShortRemind + Log{kWatchAnyDeskId};

// clang-format off
const Kind kKinds[] = {
    // The stop and the clean come before the file is looked at.
    {"AnyDesk", {"anydesk.EXE", kPin}, kHere, AnyDesk,
     Log{kFetchPin, "Sleep 2000", "ShellChecked 1 c:\\temp\\anydesk.exe"} + kAnyDeskRemind, "",
     {"Shell 2 cmd.exe /c taskkill /f /im anydesk.exe", "Shell 2 cmd.exe /c taskkill /f /im anydesk.exe",
      "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
      "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf", kCheck, kFetchPin,
      FailedCheckBox("AnyDesk.exe", kDiffers)}},
    {"Aweray", {"Aweray.exe", "", kSigner}, "c:\\temp\\Aweray.exe", Tool(AwerayEntry),
     Log{kAwerayFetch, "Sleep 2000", "ShellChecked 1 c:\\temp\\Aweray.exe"} + kShortRemind, "CheckFile",
     {"CheckFile c:\\temp\\Aweray.exe", kAwerayFetch, FailedCheckBox("Aweray.exe", kNotGenuine)}},
    // No reminder; its own error message is for a failed start, not a
    // failed download.
    {"Ie11", {"tarn-ie11.exe", kPin, kSigner}, "c:\\temp\\tarn-ie11.exe", Tool(Ie11Entry),
     {kIe11Fetch, "Sleep 2000", "ShellChecked 1 c:\\temp\\tarn-ie11.exe"}, "CheckFile",
     {"CheckFile c:\\temp\\tarn-ie11.exe", kIe11Fetch, FailedCheckBox("tarn-ie11.exe", kDiffers)}},
    // It starts without testing for the file, but not after a download that
    // failed: the planted file stays unstarted.
    {"RustDesk", {"RustDesk.exe", kPin}, "c:\\temp\\rustdesk\\RustDesk.exe", Tool(RustDeskEntry),
     Log{kRustDeskFetch + " " + kPin, "Sleep 1000", "ShellChecked 1 c:\\temp\\rustdesk\\RustDesk.exe"} + kShortRemind,
     "CheckFile",
     {"CheckFile c:\\temp\\rustdesk\\rustdesk.exe", kRustDeskFetch + " " + kPin,
      FailedCheckBox("RustDesk.exe", kDiffers)}},
    {"AeroAdmin", {"AeroAdmin.exe", kPin, kSigner}, "c:\\temp\\AeroAdmin\\AeroAdmin.exe", Tool(AeroAdminEntry),
     Log{kAeroAdminFetch, "Sleep 2000", "ShellChecked 1 c:\\temp\\AeroAdmin\\AeroAdmin.exe"} + kShortRemind,
     "CheckFile",
     {"CheckFile c:\\temp\\AeroAdmin\\AeroAdmin.exe", kAeroAdminFetch, FailedCheckBox("AeroAdmin.exe", kDiffers)}},
    // It fetches a file that fails without asking; its own error message is
    // not shown for a failed download.
    {"AnyDeskGsn", {"anydesk.EXE", kPin}, kHere, LaunchAnyDeskGsn,
     Log{kFetchPin, "Sleep 3000", "ShellChecked 1 c:\\temp\\anydesk.exe"} + kGsnRemind, "CheckFile",
     {kCheck, kFetchPin, FailedCheckBox("AnyDesk.exe", kDiffers)}},
    // Its configuration is written before; a failed download ends the launch.
    {"RustDeskOwnServer", {"RustDesk.exe", "", kSigner}, "c:\\temp\\rustdesk\\RustDesk.exe", LaunchRustDeskOwnServer,
     Log{kRustDeskFetch + kSigned, "Sleep 1000", "ShellChecked 1 c:\\temp\\rustdesk\\RustDesk.exe"} + kShortRemind,
     "CheckFile",
     {"CheckFile c:\\temp\\rustdesk\\rustdesk.exe", kRustDeskFetch + kSigned,
      FailedCheckBox("RustDesk.exe", kNotGenuine)}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Kinds, EachLaunch, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the exact steps, where more than the check matters ----------------------

struct StepsCase {
    const char* name;
    World setup;  // AnyDesk.exe and RustDesk.exe are pinned
    std::function<void(LaunchContext&)> run;
    Log expected;  // from the first CheckFile
};
void PrintTo(const StepsCase& c, std::ostream* out) { *out << c.name; }

class PinnedLaunchSteps : public ::testing::TestWithParam<StepsCase> {};

TEST_P(PinnedLaunchSteps, InOrder) {
    const StepsCase& c = GetParam();
    EXPECT_THAT(Launch({{"AnyDesk.exe", kPin}, {"RustDesk.exe", kPin}}, c.setup, c.run, "CheckFile"),
                ElementsAreArray(c.expected));
}

const std::string kGsnQuestion = "MsgBox 4 Anydesk.exe 檔案已下載，是否在重新下載！";

// clang-format off
const StepsCase kStepsCases[] = {
    // The GSN launch asks before fetching again a file that passes: on No it
    // starts that file, under its check; on Yes it fetches it anew, checked.
    {"GsnPresentMatchesKeptOnNo", {FileAt(kHere, kPin, ""), kAnswerNo}, LaunchAnyDeskGsn,
     Log{kCheck, kGsnQuestion, "Sleep 3000", "ShellChecked 1 c:\\temp\\anydesk.exe"} + kGsnRemind},
    {"GsnPresentMatchesAsks", {FileAt(kHere, kPin, "")}, LaunchAnyDeskGsn,
     Log{kCheck, kGsnQuestion, kFetchPin, "Sleep 3000", "ShellChecked 1 c:\\temp\\anydesk.exe"} + kGsnRemind},
    // Hashed when the fetch tests for it and again, held, as it starts: a
    // file planted in the pause between is refused.
    {"RustDeskPlantedBeforeTheStart",
     {FileAt("c:\\temp\\rustdesk\\RustDesk.exe", kPin, ""),
      [](FakeOs& os) { os.duringSleep = [&os] { os.digests["c:\\temp\\rustdesk\\rustdesk.exe"] = kTampered; }; }},
     Tool(RustDeskEntry),
     {"CheckFile c:\\temp\\rustdesk\\rustdesk.exe", "Sleep 1000",
      "ShellChecked refused c:\\temp\\rustdesk\\RustDesk.exe",
      "MsgBox 48 RustDesk.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
      "小森的電話：02-1234-5678\r\n系統的說明：檔案與預期的不符，不予啟動。"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, PinnedLaunchSteps, ::testing::ValuesIn(kStepsCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- without a check, nothing changes ----------------------------------------

struct UnpinnedCase {
    const char* name;
    std::vector<ProgramPin> pins;
};
void PrintTo(const UnpinnedCase& c, std::ostream* out) { *out << c.name; }

class UnpinnedLaunch : public ::testing::TestWithParam<std::tuple<Kind, UnpinnedCase>> {};

// Against the same launch with no pins at all, in the launch's usual paths.
TEST_P(UnpinnedLaunch, LogIsAsWithoutPinsAndNothingIsHashed) {
    const auto& [k, c] = GetParam();
    const auto planted = FileAt(k.presentPath, kTampered, kOtherSigner);
    const auto notFound = [](FakeOs& os) { os.downloadResult = DownloadHttpStatus(404); };
    const World setups[] = {{}, {planted}, {notFound}, {planted, notFound}};
    for (const World& setup : setups) {
        const Log with = Launch(c.pins, setup, k.run);
        EXPECT_EQ(with, Launch({}, setup, k.run)) << "setup " << &setup - setups;
        EXPECT_THAT(with, Each(Not(StartsWith("CheckFile")))) << "setup " << &setup - setups;
        EXPECT_THAT(with, Each(Not(StartsWith("DownloadChecked")))) << "setup " << &setup - setups;
    }
}

const UnpinnedCase kUnpinned[] = {
    {"AllEmpty",
     {{"AnyDesk.exe", ""}, {"RustDesk.exe", ""}, {"Aweray.exe", ""}, {"AeroAdmin.exe", ""}, {"tarn-ie11.exe", ""}}},
    // A name that only resembles the file's pins nothing.
    {"OtherNames", {{"AnyDesk", kPin}, {"AnyDesk.exe.bak", kPin}, {"rustdesk\\RustDesk.exe", kPin}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, UnpinnedLaunch,
                         ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::ValuesIn(kUnpinned)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// Only the file that is pinned is checked: a pin on another program leaves
// this launch as it was.
TEST(PinnedLaunch, PinOfAnotherProgramChangesNothing) {
    for (const Kind& k : kKinds) {
        const World planted{FileAt(k.presentPath, kTampered, kOtherSigner), kAnswerNo};
        const std::string other = k.check.programFile == "Aweray.exe" ? "AeroAdmin.exe" : "Aweray.exe";
        EXPECT_EQ(Launch({{other, kPin}}, planted, k.run), Launch({}, planted, k.run)) << k.name;
    }
}

struct CheckForCase {
    const char* fileName;
    std::string sha256;
    std::string publisher;
};

TEST(DeploymentChecks, FoundByFileNameWithoutRegardToCase) {
    const Deployment deploy = Deploy({{"AnyDesk.exe", kPin, "AnyDesk Software GmbH"},
                                      {"RustDesk.exe", ""},
                                      {"tarn-ie11.exe", kTampered},
                                      {"Aweray.exe", "", "小森科技"}});
    for (const CheckForCase& c :
         {CheckForCase{"AnyDesk.exe", kPin, "AnyDesk Software GmbH"},
          CheckForCase{"anydesk.EXE", kPin, "AnyDesk Software GmbH"}, CheckForCase{"TARN-IE11.exe", kTampered, ""},
          CheckForCase{"RustDesk.exe", "", ""}, CheckForCase{"AWERAY.exe", "", "小森科技"},
          CheckForCase{"AeroAdmin.exe", "", ""}, CheckForCase{"AnyDesk.ex", "", ""}, CheckForCase{"", "", ""}}) {
        const ProgramCheck check = deploy.CheckFor(c.fileName);
        EXPECT_EQ(check.sha256, c.sha256) << c.fileName;
        EXPECT_EQ(check.publisher, c.publisher) << c.fileName;
    }
}

// With HTTPS, every address the program reaches changes its scheme and
// nothing else; without it, none does.
TEST(DeploymentAddresses, SchemeFollowsHttpsOnly) {
    Deployment deploy = Deploy({});
    EXPECT_EQ(deploy.DownloadUrl("/downloads/AnyDesk.exe"), "http://dl.test:8080/downloads/AnyDesk.exe");
    EXPECT_EQ(deploy.SiteAddress(), "http://dl.test:8080/");
    deploy.https = true;
    EXPECT_EQ(deploy.DownloadUrl("/downloads/AnyDesk.exe"), "https://dl.test:8080/downloads/AnyDesk.exe");
    EXPECT_EQ(deploy.SiteAddress(), "https://dl.test:8080/");
}

}  // namespace
}  // namespace tarn::testing
