// Pinned program files with the real platform: the system's SHA-256 of known
// contents, pinned downloads from the loopback server (tests/support/
// with_server.py names its port in TARNKIT_TEST_HTTP_PORT), and launches,
// checked by pin or by publisher, that replace a planted file before they
// start anything.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <ostream>

#include "WinTestSupport.h"
#include "launch/LaunchTool.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/Win32Platform.h"

namespace tarn::testing {
namespace {

constexpr std::chrono::milliseconds kShortStall{1500};
constexpr char kOtherSha256[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kProgramName[] = "PinnedProgram.exe";

std::string ServerRoot() { return FromLinux(EnvOrEmpty("TARNKIT_TEST_HTTP_ROOT")); }

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// --- the hash of a file --------------------------------------------------

struct HashCase {
    const char* name;
    std::string bytes;
    const char* expected;
};

class FileSha256Of : public ::testing::TestWithParam<HashCase> {};

TEST_P(FileSha256Of, KnownContents) {
    const HashCase& c = GetParam();
    ScratchFolder folder;
    WriteBytes(folder / "file.bin", c.bytes);
    EXPECT_EQ(Sha256OfFile(text::Widen(folder / "file.bin")), std::optional<std::string>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileSha256Of,
    ::testing::Values(HashCase{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                      HashCase{"Abc", "abc", kOtherSha256},
                      // Longer than one read of the file.
                      HashCase{"MillionA", std::string(1000000, 'a'),
                               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileSha256, OfTheServersFixture) {
    ASSERT_FALSE(EnvOrEmpty("TARNKIT_TEST_HTTP_ROOT").empty()) << "run under tests/support/with_server.py";
    EXPECT_EQ(Sha256OfFile(text::Widen(ServerRoot() + "\\program.exe")), std::optional<std::string>(kFixtureSha256));
}

TEST(FileSha256, NoneWhenTheFileCannotBeRead) {
    ScratchFolder folder;
    EXPECT_EQ(Sha256OfFile(text::Widen(folder / "missing.exe")), std::nullopt);
    EXPECT_EQ(Sha256OfFile(text::Widen(folder.Path())), std::nullopt);
    // Held open for writing by someone else: its content is not settled.
    WriteBytes(folder / "busy.exe", "MZ");
    HANDLE busy = ::CreateFileW(text::Widen(folder / "busy.exe").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Sha256OfFile(text::Widen(folder / "busy.exe")), std::nullopt);
    ::CloseHandle(busy);
    EXPECT_TRUE(Sha256OfFile(text::Widen(folder / "busy.exe")).has_value());
}

// --- pinned downloads ----------------------------------------------------

struct PinnedCase {
    const char* name;
    std::string urlPath;
    std::string pin;
    DownloadResult expected;
    std::string publisher = "";
};

class PinnedDownload : public ::testing::TestWithParam<std::tuple<PinnedCase, bool>> {};

TEST_P(PinnedDownload, KeepsOnlyAMatchingBody) {
    const auto& [c, earlier] = GetParam();
    ASSERT_FALSE(ServerPort().empty()) << "run under tests/support/with_server.py";
    const std::string fixture = ReadBytes(ServerRoot() + "\\program.exe").bytes;
    ScratchFolder folder;
    const std::string target = folder / "AnyDesk.exe";
    const std::string earlierBytes = "MZ an earlier program";
    if (earlier) WriteBytes(target, earlierBytes);

    Win32Platform os(kShortStall);
    const DownloadResult result = os.Download(BaseUrl() + c.urlPath, target, {c.pin, c.publisher});

    EXPECT_EQ(result, c.expected) << std::hex << result;
    ExpectDownloadLeft(folder.Path(), target, c.expected == kDownloadOk, earlier, fixture, earlierBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinnedDownload,
    ::testing::Combine(
        ::testing::Values(
            PinnedCase{"Matches", "/downloads/program.exe", kFixtureSha256, kDownloadOk},
            PinnedCase{"MatchesUpperCasePin", "/downloads/program.exe", Upper(kFixtureSha256), kDownloadOk},
            PinnedCase{"Differs", "/downloads/program.exe", kOtherSha256, kDownloadHashMismatch},
            PinnedCase{"DiffersWithoutLength", "/nolength/program.exe", kOtherSha256, kDownloadHashMismatch},
            // Other failures keep their own result.
            PinnedCase{"NotFound", "/downloads/missing.exe", kFixtureSha256, DownloadHttpStatus(404)},
            PinnedCase{"Truncated", "/truncated", kFixtureSha256, kDownloadTruncated},
            // The fixture carries no signature.
            PinnedCase{"NotThePublishers", "/downloads/program.exe", "", kDownloadNotGenuine, "發行者"}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_EarlierFile" : "_NoFile");
    });

// The pin is for one download only: a plain download afterwards keeps any body.
TEST(PinnedDownloadThenPlain, PlainDownloadIsNotChecked) {
    ASSERT_FALSE(ServerPort().empty()) << "run under tests/support/with_server.py";
    ScratchFolder folder;
    Win32Platform os(kShortStall);
    const std::string url = BaseUrl() + "/downloads/program.exe";
    EXPECT_EQ(os.Download(url, folder / "a.exe", {kOtherSha256, ""}), kDownloadHashMismatch);
    EXPECT_EQ(os.Download(url, folder / "b.exe"), kDownloadOk);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"b.exe"});
}

// --- a launch with a pinned or publisher-checked program file -----------

// The real platform, but a message box is recorded rather than shown (a
// modal box would stop the run), and every start is remembered.
class RecordingPlatform : public Win32Platform {
public:
    using Win32Platform::Win32Platform;
    TaskId Shell(const std::string& commandLine, ShowState style, const ProgramCheck& check = {}) override {
        const TaskId id = Win32Platform::Shell(commandLine, style, check);
        started.push_back(commandLine);
        tasks.push_back(id);
        return id;
    }
    MsgBoxAnswer MsgBox(const std::string& prompt, MsgBoxButtons, MsgBoxIcon) override {
        messages.push_back(prompt);
        return MsgBoxAnswer::Ok;
    }
    std::vector<std::string> started;
    std::vector<TaskId> tasks;
    std::vector<std::string> messages;
};

class NoReminder : public Reminder {
public:
    void SetText(const std::string& text) override { ADD_FAILURE() << "reminder " << text; }
    WindowId Handle() override { return {}; }
    void WatchForId(const std::string& path) override { ADD_FAILURE() << "watch " << path; }
    void ForgetId() override {}
};

constexpr char kPublisher[] = "tarn-kit Test Publisher";
// A few bytes in the program file's place that are no program.
constexpr char kPlanted[] = "planted";

struct LaunchCase {
    const char* name;
    bool byPublisher;     // the check: kPublisher, or the SHA-256 of win_pinned_program.exe
    const char* served;   // below the test program's folder
    const char* earlier;  // below the test program's folder, kPlanted, or nullptr for no file
    bool fetched;
    bool started;  // otherwise the person is told that the download was refused
    bool changedAfterSigning = false;
};

void PrintTo(const LaunchCase& c, std::ostream* out) { *out << c.name; }

class PinnedLaunchUnderWine : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(PinnedLaunchUnderWine, StartsOnlyTheMatchingFile) {
    const LaunchCase& c = GetParam();
    ASSERT_FALSE(ServerPort().empty()) << "run under tests/support/with_server.py";
    auto bytesOf = [](const std::string& file) {
        const FileBytes read = ReadBytes(ProgramFolder() + "\\" + file);
        EXPECT_TRUE(read.exists) << file << " (made by the build)";
        return read.bytes;
    };
    const std::string genuine = c.byPublisher ? "signed\\pinned-publisher.exe" : "win_pinned_program.exe";
    const std::string genuineBytes = bytesOf(genuine);
    std::string served = bytesOf(c.served);
    if (c.changedAfterSigning) {
        // A letter of the DOS stub's message: it still runs, but it is not
        // the program that was signed.
        const std::size_t letter = served.find("This program");
        ASSERT_NE(letter, std::string::npos);
        served[letter] = 't';
    }
    // Served under a name of its own, so that other tests' requests do not
    // count when the whole test program runs beside one server.
    const std::string servedName = std::string(c.name) + ".exe";
    WriteBytes(ServerRoot() + "\\" + servedName, served);

    RecordingPlatform os(kShortStall);
    const std::optional<std::string> pin = Sha256OfFile(text::Widen(ProgramFolder() + "\\win_pinned_program.exe"));
    ASSERT_TRUE(pin.has_value());

    ScratchFolder folder;
    const std::string target = folder / kProgramName;
    const std::string mark = folder / "started.txt";
    const ScopedEnvironment marked("TARNKIT_TEST_STARTED", mark);
    const std::string earlierBytes = !c.earlier                           ? ""
                                     : std::string(c.earlier) == kPlanted ? "MZ planted by another user"
                                                                          : bytesOf(c.earlier);
    if (c.earlier) WriteBytes(target, earlierBytes);

    const std::string urlPath = "/downloads/" + servedName;
    const ToolEntry entry{.stopRuns = 0,
                          .testPath = target,
                          .urlPath = urlPath,
                          .downloadPath = target,
                          .pause = std::chrono::milliseconds{0},
                          .startPath = target};
    Deployment deploy{"127.0.0.1:" + ServerPort(), "02-1234-5678", "proxy.test", "rd.test", ""};
    deploy.pins = {c.byPublisher ? ProgramPin{kProgramName, "", kPublisher} : ProgramPin{kProgramName, *pin}};
    NoReminder reminder;
    LaunchContext context{os, reminder, deploy};
    LaunchTool(entry, context);

    EXPECT_EQ(RequestsFor(urlPath), c.fetched ? 1 : 0);
    EXPECT_EQ(os.started, c.started ? std::vector<std::string>{target} : std::vector<std::string>{});
    const std::string refused = *DownloadFailureMessage(context.Failure(), kProgramName,
                                                        c.byPublisher ? kDownloadNotGenuine : kDownloadHashMismatch);
    EXPECT_EQ(os.messages, c.started ? std::vector<std::string>{} : std::vector<std::string>{refused});
    if (c.started) {
        // The program that ran is the genuine one: a planted file is no
        // program, and the others were refused before they could run.
        EXPECT_TRUE(os.WaitForTasks(os.tasks, std::chrono::milliseconds{10000}));
        EXPECT_TRUE(ReadBytes(target).bytes == genuineBytes);
        // It ran from its copy in the user's own folder, not from the
        // folder every user can write.
        const std::vector<std::string> ran = StartedPrograms(mark);
        ASSERT_EQ(ran.size(), 1u);
        ExpectPrivateCopy(ran[0], kProgramName);
        EXPECT_TRUE(ReadBytes(ran[0]).bytes == genuineBytes);
    } else {
        EXPECT_EQ(StartedPrograms(mark), std::vector<std::string>{});
        const FileBytes after = ReadBytes(target);
        EXPECT_EQ(after.exists, c.earlier != nullptr);
        EXPECT_TRUE(after.bytes == earlierBytes) << "size " << after.bytes.size();
    }
}

// The refused downloads are real programs that would mark their start.
INSTANTIATE_TEST_SUITE_P(
    Cases, PinnedLaunchUnderWine,
    ::testing::Values(
        LaunchCase{"PresentDiffersFetchedAgain", false, "win_pinned_program.exe", kPlanted, true, true},
        LaunchCase{"MissingMatchingDownloadKept", false, "win_pinned_program.exe", nullptr, true, true},
        LaunchCase{"PresentMatchesNotFetched", false, "win_pinned_program.exe", "win_pinned_program.exe", false, true},
        LaunchCase{"DownloadDiffersNothingStarted", false, "signed\\pinned-publisher.exe", nullptr, true, false},
        LaunchCase{"PlantedFileStaysUnstarted", false, "signed\\pinned-publisher.exe", kPlanted, true, false},
        LaunchCase{"GenuineDownloadKept", true, "signed\\pinned-publisher.exe", nullptr, true, true},
        LaunchCase{"GenuinePresentNotFetched", true, "signed\\pinned-publisher.exe", "signed\\pinned-publisher.exe",
                   false, true},
        LaunchCase{"UnsignedPresentFetchedAgain", true, "signed\\pinned-publisher.exe", "win_pinned_program.exe", true,
                   true},
        LaunchCase{"UnsignedDownloadRefused", true, "win_pinned_program.exe", nullptr, true, false},
        LaunchCase{"UntrustedAuthorityRefused", true, "signed\\pinned-untrusted-publisher.exe", kPlanted, true, false},
        LaunchCase{"AnotherPublisherRefused", true, "signed\\pinned-other-publisher.exe", nullptr, true, false},
        LaunchCase{"SelfSignedRefused", true, "signed\\pinned-self-signed-publisher.exe", kPlanted, true, false},
        LaunchCase{"ChangedAfterSigningRefused", true, "signed\\pinned-publisher.exe", nullptr, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::testing
