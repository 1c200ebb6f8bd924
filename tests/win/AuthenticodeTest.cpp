// The publisher check against copies of win_child.exe signed in the build
// (tests/win/CMakeLists.txt) with the throwaway certificates of
// tests/support/make_certs.py, whose authority only the test prefix trusts
// (scripts/trust-test-ca.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "PublisherCheckName.h"
#include "WinTestSupport.h"
#include "platform/win32/Authenticode.h"
#include "platform/Handle.h"
#include "platform/Platform.h"

namespace tarn::testing {
namespace {

constexpr char kPublisher[] = "tarn-kit Test Publisher";

struct PublisherCase {
    const char* name;
    const char* file;  // below the test program's folder
    const char* expectedPublisher;
    PublisherCheck result;
    bool changedAfterSigning = false;
};

void PrintTo(const PublisherCase& c, std::ostream* out) { *out << c.name; }

// Waits as a window's loop would (here without messages), and counts; or
// gives up at once, as a loop told to quit does.
class CountingWaiter final : public Waiter {
public:
    explicit CountingWaiter(bool givesUp = false) : givesUp_(givesUp) {}
    bool Wait(void* const* handles, std::size_t count, unsigned long timeoutMs) override {
        ++waits;
        if (givesUp_) return false;
        return ::WaitForMultipleObjects(static_cast<DWORD>(count), handles, TRUE, timeoutMs) < WAIT_OBJECT_0 + count;
    }
    int waits = 0;

private:
    bool givesUp_;
};

// Wine 8's cryptnet keeps a status it learnt in a file per certificate
// (LocalLow\Microsoft\CryptnetUrlCache\Content), but writes a revoked one
// as good: each check here starts without those files, so that each asks the
// revocation list.
void ForgetRevocationStatuses() {
    wchar_t profile[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    const std::wstring folder = std::wstring(profile) + L"\\AppData\\LocalLow\\Microsoft\\CryptnetUrlCache\\Content\\";
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

class CheckPublisherOf : public ::testing::TestWithParam<PublisherCase> {};

TEST_P(CheckPublisherOf, SignedFile) {
    const PublisherCase& c = GetParam();
    std::string path = ProgramFolder() + "\\" + c.file;
    ScratchFolder folder;
    if (c.changedAfterSigning) {
        FileBytes signedBytes = ReadBytes(path);
        ASSERT_TRUE(signedBytes.exists) << path;
        // A letter of the DOS stub's message: the program still runs, but it
        // is not the program that was signed.
        const std::size_t letter = signedBytes.bytes.find("This program");
        ASSERT_NE(letter, std::string::npos);
        signedBytes.bytes[letter] = 't';
        path = folder / "changed.exe";
        WriteBytes(path, signedBytes.bytes);
    }
    FileHandle file(::CreateFileW(text::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << path << " (made by the build)";
    // The caller goes on reading the file through the same handle.
    LARGE_INTEGER position{};
    position.QuadPart = 2;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN));

    ForgetRevocationStatuses();
    const PublisherCheck result = CheckPublisher(file.get(), text::Widen(path), c.expectedPublisher);

    EXPECT_STREQ(NameOf(result), NameOf(c.result))
        << (result == PublisherCheck::Untrusted &&
                    (c.result == PublisherCheck::Genuine || c.result == PublisherCheck::OtherPublisher)
                ? "does this Wine prefix trust the test authority? (scripts/trust-test-ca.sh)"
                : "");
    LARGE_INTEGER after{};
    ASSERT_TRUE(::SetFilePointerEx(file.get(), LARGE_INTEGER{}, &after, FILE_CURRENT));
    EXPECT_EQ(after.QuadPart, 2);

    // The same on a worker while the caller waits; nothing when the wait is
    // cut short (the worker then finishes alone, holding the file open: not
    // for the scratch folder's file).
    CountingWaiter waiter;
    ForgetRevocationStatuses();
    EXPECT_STREQ(NameOf(CheckPublisher(file.get(), text::Widen(path), c.expectedPublisher, waiter)), NameOf(c.result));
    EXPECT_EQ(waiter.waits, 1);
    CountingWaiter quitting(true);
    if (!c.changedAfterSigning) {
        EXPECT_EQ(CheckPublisher(file.get(), text::Widen(path), c.expectedPublisher, quitting),
                  PublisherCheck::Unavailable);
        // Not ended under the worker, which may still be fetching.
        EXPECT_TRUE(WaitForBackgroundChecks(60000));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckPublisherOf,
    ::testing::Values(
        PublisherCase{"SignedByThePublisher", "signed\\publisher.exe", kPublisher, PublisherCheck::Genuine},
        PublisherCase{"NotSigned", "win_child.exe", kPublisher, PublisherCheck::Unsigned},
        PublisherCase{"ChangedAfterSigning", "signed\\publisher.exe", kPublisher, PublisherCheck::Tampered, true},
        // The same name from an authority the machine does not trust, whether
        // the signature carries that authority or leaves it out.
        PublisherCase{"UntrustedAuthority", "signed\\untrusted-publisher-chain.exe", kPublisher,
                      PublisherCheck::Untrusted},
        PublisherCase{"UntrustedAuthorityLeftOut", "signed\\untrusted-publisher.exe", kPublisher,
                      PublisherCheck::Untrusted},
        PublisherCase{"SelfSigned", "signed\\self-signed-publisher.exe", kPublisher, PublisherCheck::Untrusted},
        // Expired and not time-stamped: the signature's time is the present.
        PublisherCase{"Expired", "signed\\expired-publisher.exe", kPublisher, PublisherCheck::Untrusted},
        // A certificate of the trusted authority, but for web servers.
        PublisherCase{"NotForCodeSigning", "signed\\wrong-usage-publisher.exe", kPublisher, PublisherCheck::Untrusted},
        // Expired, but time-stamped (RFC 3161) in 2020 while it was valid, by
        // the test time-stamping authority.
        PublisherCase{"ExpiredTimeStamped", "signed\\expired-publisher-stamped.exe", kPublisher,
                      PublisherCheck::Genuine},
        // The authority's certificate is judged at the stamp's time too.
        PublisherCase{"StampedByAnAuthorityExpiredSince", "signed\\expired-publisher-stamped-by-expired-authority.exe",
                      kPublisher, PublisherCheck::Genuine},
        // Stamps that do not hold, so the signer is judged now: one stamped in
        // 2023 whose time was then changed to 2020; one by an authority of its
        // own making; the 2020 stamp of another signature; a legacy stamp
        // signed for 2023 that claims 2020 (which Wine's wintrust takes as the
        // signature's time).
        PublisherCase{"ExpiredForgedTimeStamp", "signed\\expired-publisher-forged-stamp.exe", kPublisher,
                      PublisherCheck::Untrusted},
        PublisherCase{"ExpiredSelfMadeTimeStamp", "signed\\expired-publisher-self-made-stamp.exe", kPublisher,
                      PublisherCheck::Untrusted},
        PublisherCase{"ExpiredBorrowedTimeStamp", "signed\\expired-publisher-borrowed-stamp.exe", kPublisher,
                      PublisherCheck::Untrusted},
        PublisherCase{"ExpiredForgedLegacyTimeStamp", "signed\\expired-publisher-forged-legacy-stamp.exe", kPublisher,
                      PublisherCheck::Untrusted},
        // In the authority's revocation list, served on loopback (with_server.py).
        PublisherCase{"Revoked", "signed\\revoked-publisher.exe", kPublisher, PublisherCheck::Untrusted},
        PublisherCase{"AnotherPublisher", "signed\\other-publisher.exe", kPublisher, PublisherCheck::OtherPublisher},
        PublisherCase{"NameInOtherLetterCase", "signed\\publisher.exe", "tarn-kit test publisher",
                      PublisherCheck::OtherPublisher},
        PublisherCase{"NameBeginningOnly", "signed\\publisher.exe", "tarn-kit Test Publishe",
                      PublisherCheck::OtherPublisher}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::testing
