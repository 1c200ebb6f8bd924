#include "platform/win32/Authenticode.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <optional>

#include "platform/win32/SystemLibrary.h"

namespace tarn {
namespace {

// wintrust.dll and crypt32.dll stay out of the import table (see
// SystemLibrary.h): looked up once, on the first check.
struct TrustFunctions {
    decltype(&::WinVerifyTrust) verifyTrust = nullptr;
    decltype(&::WTHelperProvDataFromStateData) providerData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer = nullptr;
    decltype(&::CertGetCertificateChain) getChain = nullptr;
    decltype(&::CertFreeCertificateChain) freeChain = nullptr;
    decltype(&::CertVerifyCertificateChainPolicy) chainPolicy = nullptr;
    decltype(&::CertGetNameStringW) nameString = nullptr;
};

bool FillTrustFunctions(TrustFunctions& table) noexcept {
    SystemFunctions wintrust(L"wintrust.dll");
    wintrust.Take(table.verifyTrust, "WinVerifyTrust");
    wintrust.Take(table.providerData, "WTHelperProvDataFromStateData");
    wintrust.Take(table.signer, "WTHelperGetProvSignerFromChain");
    SystemFunctions crypt32(L"crypt32.dll");
    crypt32.Take(table.getChain, "CertGetCertificateChain");
    crypt32.Take(table.freeChain, "CertFreeCertificateChain");
    crypt32.Take(table.chainPolicy, "CertVerifyCertificateChainPolicy");
    crypt32.Take(table.nameString, "CertGetNameStringW");
    return wintrust.Complete() && crypt32.Complete();
}

constinit LazyTable<TrustFunctions> lazyTrustFunctions{&FillTrustFunctions};

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

    // The first signer, or null.
    CRYPT_PROVIDER_SGNR* Signer() const noexcept {
        CRYPT_PROVIDER_DATA* provider = functions_.providerData(data_.hWVTStateData);
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

// Revocation is not checked, so its status is unknown in every chain.
constexpr DWORD kRevocationNotChecked = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// Whether the signer's certificate chains, as of `time`, to a root the machine
// trusts and is valid for code signing. WinVerifyTrust has decided this already
// on Windows; Wine 8's accepts untrusted, self-signed and expired signers.
// nullopt when the chain could not be built at all.
std::optional<bool> TrustedForCodeSigning(const TrustFunctions& functions, PCCERT_CONTEXT certificate,
                                          FILETIME* time) noexcept {
    char codeSigning[] = szOID_PKIX_KP_CODE_SIGNING;
    LPSTR usages[] = {codeSigning};
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The signature's own store: the intermediate certificates it carries.
    if (!functions.getChain(nullptr, certificate, time, certificate->hCertStore, &parameters, 0, nullptr, &chain))
        return std::nullopt;
    // The Authenticode policy alone lets a partial chain pass under Wine.
    bool trusted = (chain->TrustStatus.dwErrorStatus & ~kRevocationNotChecked) == 0;
    if (trusted) {
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        trusted = functions.chainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &policy, &status) &&
                  status.dwError == 0;
    }
    functions.freeChain(chain);
    return trusted;
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
    const DWORD written = functions.nameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    name.resize(written > 0 ? written - 1 : 0);  // less its terminating null
    return name;
}

PublisherCheck Check(HANDLE file, const std::wstring& path, const std::string& expectedPublisher) {
    const TrustFunctions* loaded = lazyTrustFunctions.Get();
    if (!loaded) return PublisherCheck::Unavailable;
    const TrustFunctions& functions = *loaded;
    KeepFilePosition position(file);
    TrustVerification verification(functions, file, path);
    if (verification.Result() != 0) return FromTrustResult(verification.Result());

    CRYPT_PROVIDER_SGNR* signer = verification.Signer();
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
        return PublisherCheck::Unavailable;
    PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    // The time stamp's time when the file has one, the present otherwise:
    // WinVerifyTrust put it there.
    const std::optional<bool> trusted = TrustedForCodeSigning(functions, certificate, &signer->sftVerifyAsOf);
    if (!trusted) return PublisherCheck::Unavailable;
    if (!*trusted) return PublisherCheck::Untrusted;

    const std::optional<std::wstring> expected = StrictWiden(expectedPublisher);
    if (!expected || expected->empty()) return PublisherCheck::OtherPublisher;
    return SimpleDisplayName(functions, certificate) == *expected ? PublisherCheck::Genuine
                                                                    : PublisherCheck::OtherPublisher;
}

}  // namespace

PublisherCheck CheckPublisher(HANDLE file, const std::wstring& path, const std::string& expectedPublisher) noexcept {
    try {
        return Check(file, path, expectedPublisher);
    } catch (...) {  // only allocations throw here
        return PublisherCheck::Unavailable;
    }
}

}  // namespace tarn
