#include "platform/win32/Authenticode.h"

// First: it sets how wincrypt.h declares the chain's parameters.
#include "platform/win32/Crypt32.h"

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "platform/SignatureTrust.h"

namespace tarn {
namespace {

using namespace trust;

// WinVerifyTrust reads the file through the handle and leaves its position
// wherever it stopped (at the end, under Wine); the caller goes on reading it.
class KeepFilePosition {
public:
    explicit KeepFilePosition(HANDLE file) noexcept : file_(file) {
        kept_ = ::SetFilePointerEx(file_, LARGE_INTEGER{}, &position_, FILE_CURRENT) != FALSE;
    }
    ~KeepFilePosition() {
        if (kept_) ::SetFilePointerEx(file_, position_, nullptr, FILE_BEGIN);
    }
    KeepFilePosition(const KeepFilePosition&) = delete;
    KeepFilePosition& operator=(const KeepFilePosition&) = delete;

private:
    HANDLE file_;
    LARGE_INTEGER position_{};
    bool kept_ = false;
};

// One WinVerifyTrust verification, whose state is held until it is closed.
class TrustVerification {
public:
    TrustVerification(const TrustFunctions& functions, HANDLE file, const std::wstring& path) noexcept
        : functions_(functions) {
        fileInfo_.cbStruct = sizeof fileInfo_;
        fileInfo_.pcwszFilePath = path.c_str();
        fileInfo_.hFile = file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        // Its own chain fetches nothing, with the system's long default
        // timeouts: the chains built here afterwards fetch, within bounds.
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &fileInfo_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        result_ = functions_.verifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    // The state is allocated whether or not the verification succeeded.
    ~TrustVerification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        functions_.verifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    LONG Result() const noexcept { return result_; }

    // What the verification read from the file: its signed message.
    CRYPT_PROVIDER_DATA* Provider() const noexcept { return functions_.providerData(data_.hWVTStateData); }

    // The first signer, or null.
    CRYPT_PROVIDER_SGNR* Signer() const noexcept {
        CRYPT_PROVIDER_DATA* provider = Provider();
        return provider ? functions_.signer(provider, 0, FALSE, 0) : nullptr;
    }

private:
    const TrustFunctions& functions_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO fileInfo_{};
    WINTRUST_DATA data_{};
    LONG result_ = 0;
};

PublisherCheck FromTrustResult(LONG result) noexcept {
    const HRESULT code = static_cast<HRESULT>(result);
    switch (code) {
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
        return PublisherCheck::Unsigned;
    case TRUST_E_BAD_DIGEST:
    case CRYPT_E_HASH_VALUE:
    case NTE_BAD_SIGNATURE:
        return PublisherCheck::Tampered;
    default:
        // The system's own failures (reading the file, memory) say
        // nothing about the signature.
        if (HRESULT_FACILITY(code) == FACILITY_WIN32 || code == E_OUTOFMEMORY) return PublisherCheck::Unavailable;
        return PublisherCheck::Untrusted;
    }
}

// The name as UTF-16, or nullopt when the bytes are not UTF-8: no lenient
// conversion, whose U+FFFD could match a name that holds one.
std::optional<std::wstring> StrictWiden(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length);
    return wide;
}

std::wstring SimpleDisplayName(const TrustFunctions& functions, PCCERT_CONTEXT certificate) {
    const DWORD length = functions.nameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::wstring name(length, L'\0');
    const DWORD written =
        functions.nameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    name.resize(written > 0 ? written - 1 : 0);  // less its terminating null
    return name;
}

PublisherCheck Check(HANDLE file, const std::wstring& path, const std::string& expectedPublisher) {
    const TrustFunctions* loaded = TrustFunctionsTable();
    if (!loaded) return PublisherCheck::Unavailable;
    const TrustFunctions& functions = *loaded;
    KeepFilePosition position(file);
    TrustVerification verification(functions, file, path);
    if (verification.Result() != 0) return FromTrustResult(verification.Result());

    CRYPT_PROVIDER_SGNR* signer = verification.Signer();
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
        return PublisherCheck::Unavailable;
    PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    // The signed message read through the handle, not the file read again.
    CRYPT_PROVIDER_DATA* provider = verification.Provider();
    std::optional<FILETIME> stampTime;
    if (signer->psSigner)
        stampTime = VerifiedStampTime(functions, provider ? provider->hMsg : nullptr, *signer->psSigner);
    const std::optional<bool> trusted = ChainHolds(functions, certificate, stampTime ? &*stampTime : nullptr,
                                                   certificate->hCertStore, szOID_PKIX_KP_CODE_SIGNING, true);
    if (!trusted) return PublisherCheck::Unavailable;
    if (!*trusted) return PublisherCheck::Untrusted;

    const std::optional<std::wstring> expected = StrictWiden(expectedPublisher);
    if (!expected || expected->empty()) return PublisherCheck::OtherPublisher;
    return SimpleDisplayName(functions, certificate) == *expected ? PublisherCheck::Genuine
                                                                  : PublisherCheck::OtherPublisher;
}

// What a check on a worker thread needs, shared with the caller, who may stop
// waiting before the worker is done: the worker then finishes on its own
// share, through its own duplicate of the file handle.
struct BackgroundCheck {
    KernelHandle file;
    std::wstring path;
    std::string expectedPublisher;
    PublisherCheck result = PublisherCheck::Unavailable;  // read once the worker ended
};

// The workers still running, counted so that WaitForBackgroundChecks can
// wait for the last one.
SRWLOCK workersLock = SRWLOCK_INIT;
CONDITION_VARIABLE workersDone = CONDITION_VARIABLE_INIT;
int workers = 0;

void CountWorker(int change) noexcept {
    ::AcquireSRWLockExclusive(&workersLock);
    workers += change;
    if (workers == 0) ::WakeAllConditionVariable(&workersDone);
    ::ReleaseSRWLockExclusive(&workersLock);
}

DWORD WINAPI CheckThread(void* parameter) {
    {
        std::unique_ptr<std::shared_ptr<BackgroundCheck>> owner(
            static_cast<std::shared_ptr<BackgroundCheck>*>(parameter));
        BackgroundCheck& check = **owner;
        check.result = CheckPublisher(check.file.get(), check.path, check.expectedPublisher);
    }
    CountWorker(-1);
    return 0;
}

// Hashing a large file and a chain's bounded fetches take seconds; a check
// that has not ended by then is not waited for any longer.
constexpr DWORD kBackgroundCheckMs = 120000;

PublisherCheck CheckOnWorker(HANDLE file, const std::wstring& path, const std::string& expectedPublisher,
                             Waiter& waiter) {
    auto check = std::make_shared<BackgroundCheck>();
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), file, ::GetCurrentProcess(), &duplicate, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return PublisherCheck::Unavailable;
    check->file.reset(duplicate);
    check->path = path;
    check->expectedPublisher = expectedPublisher;
    auto* parameter = new std::shared_ptr<BackgroundCheck>(check);
    CountWorker(+1);
    KernelHandle thread(::CreateThread(nullptr, 0, CheckThread, parameter, 0, nullptr));
    if (!thread) {
        delete parameter;
        CountWorker(-1);
        return PublisherCheck::Unavailable;
    }
    void* handles[] = {thread.get()};
    if (!waiter.Wait(handles, 1, kBackgroundCheckMs)) return PublisherCheck::Unavailable;
    return check->result;
}

}  // namespace

PublisherCheck CheckPublisher(HANDLE file, const std::wstring& path, const std::string& expectedPublisher) noexcept {
    try {
        return Check(file, path, expectedPublisher);
    } catch (...) {  // only allocations throw here
        return PublisherCheck::Unavailable;
    }
}

PublisherCheck CheckPublisher(HANDLE file, const std::wstring& path, const std::string& expectedPublisher,
                              Waiter& waiter) noexcept {
    try {
        return CheckOnWorker(file, path, expectedPublisher, waiter);
    } catch (...) {
        return PublisherCheck::Unavailable;
    }
}

bool WaitForBackgroundChecks(unsigned long timeoutMs) noexcept {
    const ULONGLONG start = ::GetTickCount64();
    ::AcquireSRWLockExclusive(&workersLock);
    while (workers > 0) {
        const ULONGLONG waited = ::GetTickCount64() - start;
        if (waited >= timeoutMs ||
            !::SleepConditionVariableSRW(&workersDone, &workersLock, static_cast<DWORD>(timeoutMs - waited), 0))
            break;
    }
    const bool none = workers == 0;
    ::ReleaseSRWLockExclusive(&workersLock);
    return none;
}

}  // namespace tarn
