// Launches with pinned program files against the recording fake: a file is
// kept and started only when its SHA-256 is the pinned one, in every kind of
// launch; without a pin nothing is hashed and the steps are those of before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Fixtures.h"
#include "FakeOs.h"
#include "launch/AnyDeskGsn.h"
#include "launch/Catalogue.h"
#include "launch/LaunchTool.h"
#include "launch/RustDeskOwnServer.h"
#include "platform/DownloadResult.h"

namespace tarn::testing {
namespace {

using ::testing::ElementsAreArray;

constexpr char kAppData[] = "C:\\Users\\Amy\\AppData\\Roaming";
const std::string kPin = FakeOs::kServedSha256;
const std::string kTampered = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

Deployment Deploy(std::vector<ProgramPin> pins) {
    Deployment deploy{"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", ""};
    deploy.pins = std::move(pins);
    return deploy;
}

// A user whose clients have run before, on a machine where Shell fails for a
// program file that is not there.
void PrepareUser(FakeOs& os) {
    os.environment["AppData"] = kAppData;
    for (const char* folder : {"", "\\AnyDesk", "\\RustDesk", "\\RustDesk\\config"})
        os.AddFolder(std::string(kAppData) + folder);
    os.foldersMustExist = true;
    os.programsMustExist = true;
}

// One kind of launch and the program file it works with.
struct Kind {
    const char* name;
    std::string programFile;  // the name its pin is found by
    std::string presentPath;  // where an earlier file lies (the download's spelling)
    std::string startPath;    // what the start runs (the start's spelling)
    std::function<void(LaunchContext&)> run;
    bool asksBeforeRefetch = false;  // the GSN launch's prompt for a present file
    bool reminds = true;
};
void PrintTo(const Kind& k, std::ostream* out) { *out << k.name; }

std::function<void(LaunchContext&)> Tool(ToolEntry (*entry)()) {
    return [entry](LaunchContext& context) { LaunchTool(entry(), context); };
}

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds{
        {"AnyDesk", "AnyDesk.exe", "c:\\temp\\AnyDesk.exe", "c:\\temp\\anydesk.exe",
         [](LaunchContext& context) { LaunchTool(AnyDeskEntry(context.deploy), context); }},
        {"Aweray", "Aweray.exe", "c:\\temp\\Aweray.exe", "c:\\temp\\Aweray.exe", Tool(AwerayEntry)},
        {"Ie11", "tarn-ie11.exe", "c:\\temp\\tarn-ie11.exe", "c:\\temp\\tarn-ie11.exe", Tool(Ie11Entry), false,
         false},
        {"RustDesk", "RustDesk.exe", "c:\\temp\\rustdesk\\RustDesk.exe", "c:\\temp\\rustdesk\\RustDesk.exe",
         Tool(RustDeskEntry)},
        {"AeroAdmin", "AeroAdmin.exe", "c:\\temp\\AeroAdmin\\AeroAdmin.exe", "c:\\temp\\AeroAdmin\\AeroAdmin.exe",
         Tool(AeroAdminEntry)},
        {"AnyDeskGsn", "AnyDesk.exe", "c:\\temp\\AnyDesk.exe", "c:\\temp\\anydesk.exe", LaunchAnyDeskGsn, true},
        {"RustDeskOwnServer", "RustDesk.exe", "c:\\temp\\rustdesk\\RustDesk.exe", "c:\\temp\\rustdesk\\RustDesk.exe",
         LaunchRustDeskOwnServer},
    };
    return kinds;
}

const FailureContext kNoButton{"", "02-1234-5678"};

std::string MismatchMessage(const std::string& programFile) {
    return "MsgBox 48 " + *DownloadFailureMessage(kNoButton, programFile, kDownloadHashMismatch);
}

// Index of the first line that begins with prefix, or -1.
int Find(const Log& log, const std::string& prefix) {
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

int Count(const Log& log, const std::string& prefix) {
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

// --- every kind of launch with its file checked -----------------------------

constexpr char kSigner[] = "tarn-kit Test Publisher";

// What the file is checked for: its content, its publisher, or both. Each
// says how a file or a served body passes or fails it, and what the person
// reads when a download fails it.
struct Guard {
    const char* name;
    bool pin;
    bool publisher;
    DownloadResult failure;  // what a download that fails the check answers

    ProgramPin PinOf(const Kind& k) const { return {k.programFile, pin ? kPin : "", publisher ? kSigner : ""}; }
    // A file at path that passes the check, or fails it in each checked way.
    void Mark(FakeOs& os, const std::string& path, bool passes) const {
        os.digests[Lower(path)] = passes || !pin ? kPin : kTampered;
        os.publishers[Lower(path)] = passes || !publisher ? kSigner : "Another Publisher";
    }
    void Serve(FakeOs& os, bool passes) const {
        os.servedSha256 = passes || !pin ? kPin : kTampered;
        os.servedPublisher = passes || !publisher ? kSigner : "";
    }
    std::string FailedMessage(const Kind& k) const {
        return "MsgBox 48 " + *DownloadFailureMessage(kNoButton, k.programFile, failure);
    }
};
void PrintTo(const Guard& g, std::ostream* out) { *out << g.name; }

const Guard kGuards[] = {
    {"Pin", true, false, kDownloadHashMismatch},
    {"Publisher", false, true, kDownloadNotGenuine},
    // The pin is looked at first.
    {"Both", true, true, kDownloadHashMismatch},
};

struct Scenario {
    const char* name;
    std::function<void(FakeOs&, const Kind&, const Guard&)> setup;  // after PrepareUser
    bool fetched;
    bool failedCheckMessage;
    bool started;
};
void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

void Present(FakeOs& os, const Kind& k, const Guard& g, bool passes) {
    os.AddFile(k.presentPath);
    g.Mark(os, k.presentPath, passes);
}

const Scenario kScenarios[] = {
    // The GSN launch still asks; the answer No keeps the file.
    {"PresentMatches", [](FakeOs& os, const Kind& k, const Guard& g) { Present(os, k, g, true); }, false, false,
     true},
    // A planted file is replaced before anything starts it, without asking.
    {"PresentDiffers", [](FakeOs& os, const Kind& k, const Guard& g) { Present(os, k, g, false); }, true, false,
     true},
    {"PresentUnreadable",
     [](FakeOs& os, const Kind& k, const Guard& g) {
         Present(os, k, g, true);
         os.unreadable.insert(Lower(k.presentPath));
     },
     true, false, true},
    {"MissingDownloadMatches", {}, true, false, true},
    {"MissingDownloadDiffers", [](FakeOs& os, const Kind&, const Guard& g) { g.Serve(os, false); }, true, true,
     false},
    // The planted file stays where it was (as after any failed download) but
    // is never started.
    {"PresentDiffersDownloadDiffers",
     [](FakeOs& os, const Kind& k, const Guard& g) {
         Present(os, k, g, false);
         g.Serve(os, false);
     },
     true, true, false},
    {"PresentDiffersDownloadFails",
     [](FakeOs& os, const Kind& k, const Guard& g) {
         Present(os, k, g, false);
         os.downloadResult = DownloadHttpStatus(404);
     },
     true, false, false},
};

class PinnedLaunch : public ::testing::TestWithParam<std::tuple<Kind, Guard, Scenario>> {};

TEST_P(PinnedLaunch, KeepsAndStartsOnlyTheMatchingFile) {
    const auto& [k, g, s] = GetParam();
    FakeOs os;
    PrepareUser(os);
    os.answers = {MsgBoxAnswer::No};  // the GSN launch's prompt, when it comes
    g.Serve(os, true);
    if (s.setup) s.setup(os, k, g);
    LaunchContext context{os, os, Deploy({g.PinOf(k)})};
    k.run(context);
    const Log& log = os.log;

    const std::string download = "DownloadChecked http://dl.test:8080/downloads/" + k.programFile + " -> ";
    const std::string start = "ShellChecked 1 " + k.startPath;
    EXPECT_EQ(Count(log, download), s.fetched ? 1 : 0);
    EXPECT_EQ(Count(log, "Download "), 0) << "a checked file is never fetched unchecked";
    EXPECT_EQ(Count(log, g.FailedMessage(k)), s.failedCheckMessage ? 1 : 0);
    EXPECT_EQ(Count(log, start), s.started ? 1 : 0);
    const bool present = std::string(s.name).rfind("Present", 0) == 0;
    EXPECT_EQ(Count(log, "MsgBox 4 "), k.asksBeforeRefetch && present && !s.fetched ? 1 : 0);
    if (s.fetched && s.started) {
        EXPECT_LT(Find(log, download), Find(log, start));
    }
    if (s.started) {
        // What was started is what the check asks for.
        EXPECT_EQ(os.DigestOf(k.startPath), kPin);
        EXPECT_EQ(os.publishers[Lower(k.startPath)], kSigner);
        EXPECT_EQ(Count(log, "Reminder "), k.reminds ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PinnedLaunch,
                         ::testing::Combine(::testing::ValuesIn(Kinds()), ::testing::ValuesIn(kGuards),
                                            ::testing::ValuesIn(kScenarios)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name +
                                    "_" + std::get<2>(info.param).name;
                         });

// --- the exact steps, where the order matters --------------------------------

struct StepsCase {
    const char* name;
    std::function<void(FakeOs&)> setup;
    std::function<void(LaunchContext&)> run;
    std::string fromPrefix;  // the log is compared from the first line beginning so
    Log expected;
};
void PrintTo(const StepsCase& c, std::ostream* out) { *out << c.name; }

const std::string kAnyDeskDownload =
    "DownloadChecked http://dl.test:8080/downloads/AnyDesk.exe -> c:\\temp\\AnyDesk.exe " + kPin;
const std::string kRustDeskDownload =
    "DownloadChecked http://dl.test:8080/downloads/RustDesk.exe -> c:\\temp\\rustdesk\\RustDesk.exe " + kPin;
const Log kAnyDeskRemind{"Reminder 請 (聯絡小森 02-1234-5678) 告知您的 ID", "SetZOrder 20816 TopMost",
                         "WatchForId C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf"};
const Log kShortRemind{"Reminder 請 (聯絡小森) 告知您的 ID", "SetZOrder 20816 TopMost"};
const Log kGsnRemind{"Reminder 請 (聯絡小森) 告知您的 ID", "SetZOrder 20816 TopMost",
                     "WatchForId C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf"};

class PinnedLaunchSteps : public ::testing::TestWithParam<StepsCase> {};

TEST_P(PinnedLaunchSteps, InOrder) {
    const StepsCase& c = GetParam();
    FakeOs os;
    PrepareUser(os);
    if (c.setup) c.setup(os);
    LaunchContext context{os, os, Deploy({{"anydesk.EXE", kPin}, {"RustDesk.exe", kPin}})};
    c.run(context);
    const int from = Find(os.log, c.fromPrefix);
    ASSERT_GE(from, 0) << c.fromPrefix;
    EXPECT_THAT(Log(os.log.begin() + from, os.log.end()), ElementsAreArray(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinnedLaunchSteps,
    ::testing::Values(
        // Hashed when the fetch tests for it and again, held, as it starts:
        // the pause between is time enough to plant another file.
        StepsCase{"AnyDeskPresentDiffers",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\AnyDesk.exe");
                      os.digests["c:\\temp\\anydesk.exe"] = kTampered;
                  },
                  [](LaunchContext& c) { LaunchTool(AnyDeskEntry(c.deploy), c); }, "Shell 2 cmd.exe /c taskkill",
                  Log{"Shell 2 cmd.exe /c taskkill /f /im anydesk.exe", "Shell 2 cmd.exe /c taskkill /f /im anydesk.exe",
                      "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
                      "RemoveFile C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf",
                      "CheckFile c:\\temp\\anydesk.exe", kAnyDeskDownload, "Sleep 2000",
                      "ShellChecked 1 c:\\temp\\anydesk.exe"} +
                      kAnyDeskRemind},
        // As any failed download: the one message, no start, no reminder.
        StepsCase{"AnyDeskDownloadDiffers", [](FakeOs& os) { os.servedSha256 = kTampered; },
                  [](LaunchContext& c) { LaunchTool(AnyDeskEntry(c.deploy), c); }, "DownloadChecked",
                  Log{kAnyDeskDownload, MismatchMessage("AnyDesk.exe")}},
        StepsCase{"GsnPresentDiffersNoPrompt",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\AnyDesk.exe");
                      os.digests["c:\\temp\\anydesk.exe"] = kTampered;
                  },
                  LaunchAnyDeskGsn, "CheckFile",
                  Log{"CheckFile c:\\temp\\anydesk.exe", kAnyDeskDownload, "Sleep 3000",
                      "ShellChecked 1 c:\\temp\\anydesk.exe"} +
                      kGsnRemind},
        StepsCase{"GsnPresentMatchesAsks",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\AnyDesk.exe");
                      os.digests["c:\\temp\\anydesk.exe"] = kPin;
                      os.answers = {MsgBoxAnswer::Yes};
                  },
                  LaunchAnyDeskGsn, "CheckFile",
                  Log{"CheckFile c:\\temp\\anydesk.exe", "MsgBox 4 Anydesk.exe 檔案已下載，是否在重新下載！",
                      kAnyDeskDownload, "Sleep 3000", "ShellChecked 1 c:\\temp\\anydesk.exe"} +
                      kGsnRemind},
        // The trap's message of the GSN launch is not shown: nothing failed
        // but the download, which has its own.
        StepsCase{"GsnPresentDiffersDownloadDiffers",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\AnyDesk.exe");
                      os.digests["c:\\temp\\anydesk.exe"] = kTampered;
                      os.servedSha256 = kTampered;
                  },
                  LaunchAnyDeskGsn, "CheckFile",
                  Log{"CheckFile c:\\temp\\anydesk.exe", kAnyDeskDownload, MismatchMessage("AnyDesk.exe")}},
        // The catalogue's RustDesk starts without testing for the file, but
        // not after a download that failed: the planted file stays unstarted
        // and one message says why.
        StepsCase{"RustDeskPlantedFileNotStarted",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\rustdesk\\RustDesk.exe");
                      os.digests["c:\\temp\\rustdesk\\rustdesk.exe"] = kTampered;
                      os.servedSha256 = kTampered;
                  },
                  Tool(RustDeskEntry), "CheckFile",
                  Log{"CheckFile c:\\temp\\rustdesk\\rustdesk.exe", kRustDeskDownload, MismatchMessage("RustDesk.exe")}},
        // A file planted after the check is refused as it starts.
        StepsCase{"RustDeskPlantedBeforeTheStart",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\rustdesk\\RustDesk.exe");
                      os.digests["c:\\temp\\rustdesk\\rustdesk.exe"] = kPin;
                      os.duringSleep = [&os] { os.digests["c:\\temp\\rustdesk\\rustdesk.exe"] = kTampered; };
                  },
                  Tool(RustDeskEntry), "CheckFile",
                  Log{"CheckFile c:\\temp\\rustdesk\\rustdesk.exe", "Sleep 1000",
                      "ShellChecked refused c:\\temp\\rustdesk\\RustDesk.exe",
                      "MsgBox 48 RustDesk.exe 無法啟動，檔案可能已經損壞。\r\n請打電話給小森。\r\n"
                      "小森的電話：02-1234-5678\r\n系統的說明：檔案與預期的不符，不予啟動。"}},
        // The own-server launch ends after a failed download; the mismatch
        // is the one message.
        StepsCase{"OwnDownloadDiffers", [](FakeOs& os) { os.servedSha256 = kTampered; }, LaunchRustDeskOwnServer,
                  "DownloadChecked", Log{kRustDeskDownload, MismatchMessage("RustDesk.exe")}},
        StepsCase{"OwnPresentDiffers",
                  [](FakeOs& os) {
                      os.AddFile("c:\\temp\\rustdesk\\RustDesk.exe");
                      os.digests["c:\\temp\\rustdesk\\rustdesk.exe"] = kTampered;
                  },
                  LaunchRustDeskOwnServer, "CheckFile",
                  Log{"CheckFile c:\\temp\\rustdesk\\rustdesk.exe", kRustDeskDownload, "Sleep 1000",
                      "ShellChecked 1 c:\\temp\\rustdesk\\RustDesk.exe"} +
                      kShortRemind}),
    [](const auto& info) { return std::string(info.param.name); });

// --- without a pin, nothing changes ------------------------------------------

struct UnpinnedCase {
    const char* name;
    std::vector<ProgramPin> pins;
};
void PrintTo(const UnpinnedCase& c, std::ostream* out) { *out << c.name; }

class UnpinnedLaunch : public ::testing::TestWithParam<std::tuple<Kind, UnpinnedCase>> {};

// Against the same launch with no pins at all, in the launch's usual paths.
TEST_P(UnpinnedLaunch, LogIsAsWithoutPinsAndNothingIsHashed) {
    const auto& [k, c] = GetParam();
    const std::vector<std::function<void(FakeOs&)>> setups{
        [](FakeOs&) {},
        [&k = k](FakeOs& os) { Present(os, k, kGuards[2], false); },
        [](FakeOs& os) { os.downloadResult = DownloadHttpStatus(404); },
        [&k = k](FakeOs& os) {
            Present(os, k, kGuards[2], false);
            os.answers = {MsgBoxAnswer::Yes};
            os.downloadResult = DownloadHttpStatus(404);
        },
    };
    for (std::size_t i = 0; i < setups.size(); ++i) {
        auto run = [&](std::vector<ProgramPin> pins) {
            FakeOs os;
            PrepareUser(os);
            setups[i](os);
            LaunchContext context{os, os, Deploy(std::move(pins))};
            k.run(context);
            return os.log;
        };
        const Log without = run({});
        const Log with = run(c.pins);
        EXPECT_EQ(with, without) << "setup " << i;
        EXPECT_EQ(Count(with, "CheckFile"), 0) << "setup " << i;
        EXPECT_EQ(Count(with, "DownloadChecked"), 0) << "setup " << i;
    }
}

const UnpinnedCase kUnpinned[] = {
    {"AllEmpty",
     {{"AnyDesk.exe", ""}, {"RustDesk.exe", ""}, {"Aweray.exe", ""}, {"AeroAdmin.exe", ""}, {"tarn-ie11.exe", ""}}},
    // A name that only resembles the file's pins nothing.
    {"OtherNames", {{"AnyDesk", kPin}, {"AnyDesk.exe.bak", kPin}, {"rustdesk\\RustDesk.exe", kPin}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, UnpinnedLaunch,
                         ::testing::Combine(::testing::ValuesIn(Kinds()), ::testing::ValuesIn(kUnpinned)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// Only the file that is pinned is checked: a pin on another program leaves
// this launch as it was.
TEST(PinnedLaunch, PinOfAnotherProgramChangesNothing) {
    for (const Kind& k : Kinds()) {
        auto run = [&](std::vector<ProgramPin> pins) {
            FakeOs os;
            PrepareUser(os);
            Present(os, k, kGuards[2], false);
            os.answers = {MsgBoxAnswer::No};
            LaunchContext context{os, os, Deploy(std::move(pins))};
            k.run(context);
            return os.log;
        };
        const std::string other = k.programFile == "Aweray.exe" ? "AeroAdmin.exe" : "Aweray.exe";
        EXPECT_EQ(run({{other, kPin}}), run({})) << k.name;
    }
}

TEST(PinnedLaunch, PinIsComparedWithoutRegardToCase) {
    std::string upper = kPin;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char ch) { return std::toupper(ch); });
    FakeOs os;
    PrepareUser(os);
    Present(os, Kinds()[0], kGuards[0], true);
    LaunchContext context{os, os, Deploy({{"ANYDESK.EXE", upper}})};
    LaunchTool(AnyDeskEntry(context.deploy), context);
    EXPECT_EQ(Count(os.log, "DownloadChecked"), 0);
    EXPECT_EQ(Count(os.log, "ShellChecked 1 c:\\temp\\anydesk.exe"), 1);
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
