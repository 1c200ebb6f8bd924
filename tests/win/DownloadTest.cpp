// Downloads against the loopback test server (tests/support/with_server.py
// starts it and names its port in TARNKIT_TEST_HTTP_PORT, its TLS ports in
// TARNKIT_TEST_HTTPS_*).
#include <winsock2.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "WinTestSupport.h"
#include "platform/win32/Download.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Platform.h"

namespace tarn::testing {
namespace {

constexpr std::chrono::milliseconds kShortStall{1500};
// The server keeps a stalled connection open this long (with_server's
// --stall-seconds); a stall noticed well before is noticed by the client.
constexpr ULONGLONG kServerStallMs = 20000;

// path over the TLS port that portVariable names. By "localhost": Wine
// matches no IP address in a certificate.
std::string OverHttps(const std::string& path, const char* portVariable = "TARNKIT_TEST_HTTPS_PORT") {
    return "https://localhost:" + EnvOrEmpty(portVariable) + path;
}

std::string ProgramOverHttps(const char* portVariable) { return OverHttps("/downloads/program.exe", portVariable); }

std::string Fixture() { return ReadBytes(FromLinux(EnvOrEmpty("TARNKIT_TEST_HTTP_ROOT") + "/program.exe")).bytes; }

// A loopback port with nobody listening: bound once, then let go.
std::string FreePort() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(s);
    ::WSACleanup();
    return std::to_string(ntohs(address.sin_port));
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ServerPort().empty()) << "run under tests/support/with_server.py";
        fixture = Fixture();
        ASSERT_GT(fixture.size(), 100000u);
    }
    std::string fixture;
    ScratchFolder folder;
};

// --- the outcomes, with and without a file already at the target ----------

struct DownloadCase {
    const char* name;
    std::string urlPath;  // below the server, or a whole URL
    DownloadResult expected;
    std::string neverRequested = {};  // a path the server must not have been asked for
    // The requests made for urlPath, each as its Range; "HALF" stands for
    // half the file's size, "MORE" for a Range beyond the one before.
    // Empty: not counted.
    std::vector<std::string> ranges = {};
};

class DownloadOutcome : public ServerTest, public ::testing::WithParamInterface<std::tuple<DownloadCase, bool>> {};

TEST_P(DownloadOutcome, LeavesAFileOnlyOnSuccessAndNoTemporaryFile) {
    const auto& [c, earlier] = GetParam();
    const std::string target = folder / "AnyDesk.exe";
    const std::string earlierBytes = "MZ an earlier program";
    if (earlier) WriteBytes(target, earlierBytes);

    Win32Platform os(kShortStall);
    const std::string url = c.urlPath.find("://") != std::string::npos ? c.urlPath : BaseUrl() + c.urlPath;
    const std::size_t askedBefore = RangesAskedFor(c.urlPath).size();
    const ULONGLONG start = ::GetTickCount64();
    const DownloadResult result = os.Download(url, target);
    const ULONGLONG elapsed = ::GetTickCount64() - start;

    EXPECT_EQ(result, c.expected) << std::hex << result;
    ExpectDownloadLeft(folder.Path(), target, c.expected == kDownloadOk, earlier, fixture, earlierBytes);
    if (!c.neverRequested.empty()) {
        EXPECT_EQ(RequestsFor(c.neverRequested), 0) << c.neverRequested;
    }
    if (!c.ranges.empty()) {
        const std::vector<std::string> all = RangesAskedFor(c.urlPath);
        std::vector<std::string> asked(all.begin() + static_cast<std::ptrdiff_t>(askedBefore), all.end());
        std::vector<std::string> expected = c.ranges;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] == "HALF") expected[i] = "bytes=" + std::to_string(fixture.size() / 2) + "-";
            const auto start = [](const std::string& range) { return std::strtoull(range.c_str() + 6, nullptr, 10); };
            if (expected[i] == "MORE" && i < asked.size() && asked[i].rfind("bytes=", 0) == 0 &&
                start(asked[i]) > start(expected[i - 1]))
                expected[i] = asked[i];
        }
        EXPECT_EQ(asked, expected);
    }
    // No case waits for the server to give up on its own.
    EXPECT_LT(elapsed, kServerStallMs - 5000) << "ms";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadOutcome,
    ::testing::Combine(
        ::testing::Values(
            DownloadCase{"Ok", "/downloads/program.exe", kDownloadOk},
            // Whole by the program's own headers.
            DownloadCase{"NoContentLength", "/nolength/program.exe", kDownloadOk},
            DownloadCase{"CutWithoutLength", "/cut/program.exe", kDownloadTruncated},
            DownloadCase{"ChunkedCutShort", "/chunked-cut/program.exe", kDownloadTruncated},
            DownloadCase{"ZeroPaddedLength", "/length/program.exe?" + std::string(40, '0') + "SIZE", kDownloadOk},
            DownloadCase{"ZeroPaddedLengthCutShort", "/length/program.exe?" + std::string(40, '0') + "999999",
                         kDownloadTruncated},
            DownloadCase{"LengthNotANumber", "/length/program.exe?+SIZE", kDownloadFailed},
            // 2**64 more than the size: read without the overflow check, it is the size.
            DownloadCase{"LengthOverflowingToTheSize", "/length/program.exe?OVERSIZE", kDownloadFailed},
            DownloadCase{"NotFound", "/downloads/missing.exe", DownloadHttpStatus(404)},
            DownloadCase{"Gone", "/status/410", DownloadHttpStatus(410)},
            DownloadCase{"ServerError", "/status/500", DownloadHttpStatus(500)},
            DownloadCase{"Forbidden", "/status/403", DownloadHttpStatus(403)},
            DownloadCase{"PartialContent", "/partial/program.exe", DownloadHttpStatus(206)},
            DownloadCase{"HtmlWithOk", "/html", kDownloadNotProgram},
            DownloadCase{"MaintenancePageWithOk", "/maintenance", kDownloadNotProgram},
            DownloadCase{"BeginsWithPZ", "/body?PZ" + std::string(64, 'x'), kDownloadNotProgram},
            DownloadCase{"EmptyBody", "/body?", kDownloadNotProgram},
            DownloadCase{"OneByteBody", "/body?M", kDownloadNotProgram},
            // No ETag, no Last-Modified: nothing to ask the rest of.
            DownloadCase{"Truncated", "/truncated", kDownloadTruncated, {}, {""}},
            DownloadCase{"Stalled", "/stall", kDownloadStalled, {}, {""}},
            // Cut after half, then asked for the rest.
            DownloadCase{"ResumedByEtag", "/resume/range/program.exe", kDownloadOk, {}, {"", "HALF"}},
            DownloadCase{"ResumedByDate", "/resume/lastmod/program.exe", kDownloadOk, {}, {"", "HALF"}},
            DownloadCase{"ResumedFromTheStart", "/resume/restart/program.exe", kDownloadOk, {}, {"", "HALF"}},
            DownloadCase{"ResumedFromElsewhere", "/resume/elsewhere/program.exe", kDownloadTruncated, {}, {"", "HALF"}},
            DownloadCase{"ResumedToAnotherLength", "/resume/total/program.exe", kDownloadTruncated, {}, {"", "HALF"}},
            DownloadCase{"ResumedShortOfTheEnd", "/resume/short/program.exe", kDownloadTruncated, {}, {"", "HALF"}},
            // An answer that brought nothing is not asked again.
            DownloadCase{"ResumedWithNothing", "/resume/empty/program.exe", kDownloadTruncated, {}, {"", "HALF"}},
            // Three times asked again, no more.
            DownloadCase{
                "CutEveryTime", "/resume/cut/program.exe", kDownloadTruncated, {}, {"", "HALF", "MORE", "MORE"}},
            // Seconds of a few KB a second after a fast start: slow, never silent.
            DownloadCase{"SlowTail", "/slow-tail/program.exe", kDownloadOk},
            DownloadCase{"Refused", "http://127.0.0.1:" + FreePort() + "/downloads/program.exe",
                         kDownloadCannotConnect},
            DownloadCase{"NotHttp", "ftp://127.0.0.1/program.exe", kDownloadInvalidUrl},
            // The test authority is trusted in the test prefix only.
            DownloadCase{"Https", ProgramOverHttps("TARNKIT_TEST_HTTPS_PORT"), kDownloadOk},
            // WinINet's own redirects, as ever, over plain http.
            DownloadCase{"HttpRedirected", "/redirect/hops/2/program.exe", kDownloadOk},
            DownloadCase{"HttpsRedirectedFiveTimes", OverHttps("/redirect/hops/5/program.exe"), kDownloadOk},
            DownloadCase{"HttpsRedirectedSixTimes", OverHttps("/redirect/hops/6/program.exe"),
                         kDownloadTooManyRedirects},
            DownloadCase{"HttpsRedirectedToHttp", OverHttps("/redirect/plain/program.exe"), kDownloadInsecureRedirect,
                         "/downloads/program.exe?after-redirect"},
            DownloadCase{"HttpsExpired", ProgramOverHttps("TARNKIT_TEST_HTTPS_EXPIRED_PORT"), kDownloadUntrustedServer},
            DownloadCase{"HttpsWrongHost", ProgramOverHttps("TARNKIT_TEST_HTTPS_WRONG_HOST_PORT"),
                         kDownloadUntrustedServer},
            DownloadCase{"HttpsUntrustedAuthority", ProgramOverHttps("TARNKIT_TEST_HTTPS_UNTRUSTED_PORT"),
                         kDownloadUntrustedServer}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_EarlierFile" : "_NoFile");
    });

// --- beyond the table ---------------------------------------------------

TEST_F(ServerTest, MissingTargetFolderFailsWithTheSystemsError) {
    Win32Platform os(kShortStall);
    const DownloadResult result = os.Download(BaseUrl() + "/downloads/program.exe", folder / "no folder\\AnyDesk.exe");
    // HRESULT_FROM_WIN32 of whatever the file system said.
    EXPECT_TRUE(IsWin32Result(result)) << result;
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST_F(ServerTest, TargetThatCannotBeReplacedIsKeptAndTheTemporaryRemoved) {
    // A folder of the program's name: the body arrives whole, the final move fails.
    const std::string target = folder / "AnyDesk.exe";
    ::CreateDirectoryW(text::Widen(target).c_str(), nullptr);
    WriteBytes(target + "\\inside.txt", "kept");
    Win32Platform os(kShortStall);
    EXPECT_NE(os.Download(BaseUrl() + "/downloads/program.exe", target), kDownloadOk);
    EXPECT_EQ(ReadBytes(target + "\\inside.txt").bytes, "kept");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"AnyDesk.exe"});
}

TEST_F(ServerTest, EveryDownloadReachesTheServerAndNoneIsCached) {
    Win32Platform os(kShortStall);
    const std::string path = "/downloads/program.exe?again";
    const int before = RequestsFor(path);
    for (int i = 0; i < 2; ++i) {
        ::DeleteFileW(text::Widen(folder / "a.exe").c_str());
        ASSERT_EQ(os.Download(BaseUrl() + path, folder / "a.exe"), kDownloadOk);
    }
    EXPECT_EQ(RequestsFor(path) - before, 2);
    // Nothing a later fetch, ours or another program's, could be served from.
    const auto cacheEntry = SystemFunction<decltype(&::GetUrlCacheEntryInfoW)>(L"wininet.dll", "GetUrlCacheEntryInfoW");
    ASSERT_NE(cacheEntry, nullptr);
    DWORD size = 0;
    EXPECT_FALSE(cacheEntry(text::Widen(BaseUrl() + path).c_str(), nullptr, &size));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

struct ProgressCase {
    const char* name;
    std::string urlPath;
    bool lengthKnown;
    std::size_t minimumCalls;  // more than one: the progress moved while the slow body arrived
};

class DownloadProgress : public ServerTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(DownloadProgress, ReportsGrowingCountsEndingAtTheWhole) {
    std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> calls;
    DownloadOptions options;
    options.stallTime = std::chrono::seconds(5);
    options.progress = [&](std::uint64_t received, std::optional<std::uint64_t> total) {
        calls.emplace_back(received, total);
    };
    const DownloadResult result =
        DownloadToFile(text::Widen(BaseUrl() + GetParam().urlPath), text::Widen(folder / "p.exe"), options);
    ASSERT_EQ(result, kDownloadOk) << std::hex << result;
    ASSERT_GE(calls.size(), GetParam().minimumCalls);
    for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i].first, calls[i - 1].first) << i;
    EXPECT_EQ(calls.back().first, fixture.size());
    const std::optional<std::uint64_t> total =
        GetParam().lengthKnown ? std::optional<std::uint64_t>(fixture.size()) : std::nullopt;
    for (const auto& call : calls) EXPECT_EQ(call.second, total);
}

INSTANTIATE_TEST_SUITE_P(Cases, DownloadProgress,
                         ::testing::Values(ProgressCase{"WithLength", "/slow/program.exe", true, 2},
                                           ProgressCase{"WithoutLength", "/nolength/program.exe", false, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerTest, CancelDuringTransferFailsAndLeavesNothing) {
    std::atomic<bool> cancel{false};
    DownloadOptions options;
    options.cancel = &cancel;
    options.progress = [&](std::uint64_t received, std::optional<std::uint64_t>) {
        if (received > 0) cancel = true;
    };
    const std::string target = folder / "c.exe";
    WriteBytes(target, "MZ earlier");
    const DownloadResult result =
        DownloadToFile(text::Widen(BaseUrl() + "/slow/program.exe"), text::Widen(target), options);
    EXPECT_EQ(result, kDownloadAborted) << std::hex << result;
    EXPECT_EQ(ReadBytes(target).bytes, "MZ earlier");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"c.exe"});
}

TEST_F(ServerTest, CancelledBeforeTheStartFetchesNothing) {
    std::atomic<bool> cancel{true};
    DownloadOptions options;
    options.cancel = &cancel;
    const std::string path = "/downloads/program.exe?cancelled";
    EXPECT_EQ(DownloadToFile(text::Widen(BaseUrl() + path), text::Widen(folder / "c.exe"), options), kDownloadAborted);
    EXPECT_EQ(RequestsFor(path), 0);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST_F(ServerTest, WaitsThroughTheGivenWaitFunction) {
    int waits = 0;
    DownloadOptions options;
    options.wait = [&](void* handle, unsigned long ms) {
        ++waits;
        return ::WaitForSingleObject(handle, ms) == WAIT_OBJECT_0;
    };
    ASSERT_EQ(DownloadToFile(text::Widen(BaseUrl() + "/slow/program.exe"), text::Widen(folder / "w.exe"), options),
              kDownloadOk);
    // The slow transfer outlasts one slice of the waiting loop.
    EXPECT_GE(waits, 2);
}

}  // namespace
}  // namespace tarn::testing
