// For dwUrlRetrievalTimeout: the chain's fetches are bounded in time.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "platform/win32/Authenticode.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "platform/SignatureTrust.h"
#include "platform/win32/Sha256.h"
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
    decltype(&::CertOpenStore) openStore = nullptr;
    decltype(&::CertCloseStore) closeStore = nullptr;
    decltype(&::CertGetSubjectCertificateFromStore) subjectCertificate = nullptr;
    decltype(&::CertFreeCertificateContext) freeCertificate = nullptr;
    decltype(&::CryptMsgOpenToDecode) openMessage = nullptr;
    decltype(&::CryptMsgUpdate) updateMessage = nullptr;
    decltype(&::CryptMsgGetParam) messageParameter = nullptr;
    decltype(&::CryptMsgControl) messageControl = nullptr;
    decltype(&::CryptMsgClose) closeMessage = nullptr;
    decltype(&::CryptDecodeObjectEx) decode = nullptr;
    decltype(&::CryptEncodeObjectEx) encode = nullptr;
    decltype(&::CryptMsgVerifyCountersignatureEncodedEx) verifyCountersignature = nullptr;
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
    crypt32.Take(table.openStore, "CertOpenStore");
    crypt32.Take(table.closeStore, "CertCloseStore");
    crypt32.Take(table.subjectCertificate, "CertGetSubjectCertificateFromStore");
    crypt32.Take(table.freeCertificate, "CertFreeCertificateContext");
    crypt32.Take(table.openMessage, "CryptMsgOpenToDecode");
    crypt32.Take(table.updateMessage, "CryptMsgUpdate");
    crypt32.Take(table.messageParameter, "CryptMsgGetParam");
    crypt32.Take(table.messageControl, "CryptMsgControl");
    crypt32.Take(table.closeMessage, "CryptMsgClose");
    crypt32.Take(table.decode, "CryptDecodeObjectEx");
    crypt32.Take(table.encode, "CryptEncodeObjectEx");
    crypt32.Take(table.verifyCountersignature, "CryptMsgVerifyCountersignatureEncodedEx");
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

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Every fetch a chain makes (revocation lists, OCSP answers, missing
// authorities) gives up after this, and all of one chain's together too: a
// planted file's certificate may name any address, and a machine without a
// network must not wait long to learn that it cannot ask.
constexpr DWORD kUrlRetrievalTimeoutMs = 4000;

// Owners of crypt32's objects, each freed through the table it came from.
template <typename Type, auto Free>
class Crypt32Object {
public:
    Crypt32Object(const TrustFunctions& functions, Type object) noexcept : functions_(functions), object_(object) {}
    ~Crypt32Object() {
        if (object_) Free(functions_, object_);
    }
    Crypt32Object(const Crypt32Object&) = delete;
    Crypt32Object& operator=(const Crypt32Object&) = delete;
    Type get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    const TrustFunctions& functions_;
    Type object_;
};
using Certificate = Crypt32Object<PCCERT_CONTEXT, [](const TrustFunctions& f, PCCERT_CONTEXT c) {
    f.freeCertificate(c);
}>;
using Store = Crypt32Object<HCERTSTORE, [](const TrustFunctions& f, HCERTSTORE s) { f.closeStore(s, 0); }>;
using Message = Crypt32Object<HCRYPTMSG, [](const TrustFunctions& f, HCRYPTMSG m) { f.closeMessage(m); }>;

struct LocalFreer {
    void operator()(void* memory) const noexcept { ::LocalFree(memory); }
};

// A structure crypt32 decodes from DER into memory of its own; null when the
// bytes are not one.
template <typename Structure>
std::unique_ptr<Structure, LocalFreer> Decode(const TrustFunctions& functions, LPCSTR type, const BYTE* data,
                                              DWORD size) {
    void* decoded = nullptr;
    DWORD decodedSize = 0;
    if (!functions.decode(kEncoding, type, data, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &decodedSize))
        return nullptr;
    return std::unique_ptr<Structure, LocalFreer>(static_cast<Structure*>(decoded));
}

// One parameter of a message, empty when it has none.
std::vector<BYTE> Parameter(const TrustFunctions& functions, HCRYPTMSG message, DWORD type, DWORD index) {
    DWORD size = 0;
    if (!functions.messageParameter(message, type, index, nullptr, &size) || size == 0) return {};
    std::vector<BYTE> value(size);
    if (!functions.messageParameter(message, type, index, value.data(), &size)) return {};
    value.resize(size);
    return value;
}

const CRYPT_ATTRIBUTE* FindAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) noexcept {
    for (DWORD i = 0; i < attributes.cAttr; ++i)
        if (attributes.rgAttr[i].pszObjId && std::strcmp(attributes.rgAttr[i].pszObjId, oid) == 0)
            return &attributes.rgAttr[i];
    return nullptr;
}

// Whether `certificate` chains, as of `time` (null: now), to a root the
// machine trusts and is valid for `usage`, with no certificate of the chain
// known to be revoked. nullopt when the chain could not be built at all.
// WinVerifyTrust has decided this already on Windows; Wine 8's accepts
// untrusted, self-signed and expired signers.
std::optional<bool> ChainHolds(const TrustFunctions& functions, PCCERT_CONTEXT certificate, FILETIME* time,
                               HCERTSTORE moreCertificates, const char* usage, bool authenticodePolicy) noexcept {
    LPSTR usages[] = {const_cast<LPSTR>(usage)};
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    parameters.dwUrlRetrievalTimeout = kUrlRetrievalTimeoutMs;
    // The root is the machine's own decision; everything below it may have
    // been revoked by its issuer since.
    const DWORD flags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!functions.getChain(nullptr, certificate, time, moreCertificates, &parameters, flags, nullptr, &chain))
        return std::nullopt;
    static_assert(kChainRevoked == CERT_TRUST_IS_REVOKED && kChainRevocationUnknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN &&
                  kChainOfflineRevocation == CERT_TRUST_IS_OFFLINE_REVOCATION);
    bool trusted = ChainAccepted(chain->TrustStatus.dwErrorStatus);
    // The Authenticode policy alone lets a partial chain pass under Wine, so
    // it only adds to the bits above.
    if (trusted && authenticodePolicy) {
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

// A time stamp counts only when its signer chains, at the stamp's own time,
// to a trusted root and may stamp times.
bool StampedByAuthority(const TrustFunctions& functions, PCCERT_CONTEXT stamper, FILETIME time,
                        HCERTSTORE moreCertificates) noexcept {
    const std::optional<bool> holds =
        ChainHolds(functions, stamper, &time, moreCertificates, szOID_PKIX_KP_TIMESTAMP_SIGNING, false);
    return holds && *holds;
}

std::string Hex(const BYTE* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[data[i] >> 4];
        hex += kDigits[data[i] & 0xF];
    }
    return hex;
}

// Lower-case hex; nullopt, unequal to every digest, when bcrypt fails.
std::optional<std::string> Sha256Hex(const void* data, std::size_t size) {
    Sha256 hash;
    hash.Update(data, size);
    return hash.Finish();
}

// The time of a legacy (PKCS #9) counter-signature over the signer's
// signature, once the system has checked that it signs that signature and
// that its signer is a time-stamping authority.
std::optional<FILETIME> LegacyStampTime(const TrustFunctions& functions, HCRYPTMSG fileMessage,
                                        const CMSG_SIGNER_INFO& signer, const CRYPT_ATTR_BLOB& counterSignature) {
    auto counterSigner =
        Decode<CMSG_SIGNER_INFO>(functions, PKCS7_SIGNER_INFO, counterSignature.pbData, counterSignature.cbData);
    if (!counterSigner) return std::nullopt;
    // The counter-signer's certificate travels in the file's signature.
    Store store(functions, functions.openStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, fileMessage));
    if (!store) return std::nullopt;
    CERT_INFO wanted{};
    wanted.Issuer = counterSigner->Issuer;
    wanted.SerialNumber = counterSigner->SerialNumber;
    Certificate stamper(functions, functions.subjectCertificate(store.get(), kEncoding, &wanted));
    if (!stamper) return std::nullopt;
    std::vector<BYTE> encodedSigner = Parameter(functions, fileMessage, CMSG_ENCODED_SIGNER, 0);
    if (encodedSigner.empty()) {
        BYTE* encoded = nullptr;
        DWORD size = 0;
        if (!functions.encode(kEncoding, PKCS7_SIGNER_INFO, &signer, CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &size))
            return std::nullopt;
        encodedSigner.assign(encoded, encoded + size);
        ::LocalFree(encoded);
    }
    // Its signature over its attributes, and their digest of the signer's
    // signature.
    if (!functions.verifyCountersignature(0, kEncoding, encodedSigner.data(), static_cast<DWORD>(encodedSigner.size()),
                                          counterSignature.pbData, counterSignature.cbData, CMSG_VERIFY_SIGNER_CERT,
                                          const_cast<CERT_CONTEXT*>(stamper.get()), 0, nullptr))
        return std::nullopt;
    const CRYPT_ATTRIBUTE* signingTime = FindAttribute(counterSigner->AuthAttrs, szOID_RSA_signingTime);
    if (!signingTime || signingTime->cValue != 1) return std::nullopt;
    FILETIME time{};
    DWORD size = sizeof time;
    if (!functions.decode(kEncoding, szOID_RSA_signingTime, signingTime->rgValue[0].pbData,
                          signingTime->rgValue[0].cbData, 0, nullptr, &time, &size))
        return std::nullopt;
    if (!StampedByAuthority(functions, stamper.get(), time, store.get())) return std::nullopt;
    return time;
}

// The time of an RFC 3161 time stamp: a signed TSTInfo whose imprint is the
// hash of the signer's signature. The system knows nothing of imprints, so
// they are compared here; its signature is verified by the system.
std::optional<FILETIME> Rfc3161StampTime(const TrustFunctions& functions, const CMSG_SIGNER_INFO& signer,
                                         const CRYPT_ATTR_BLOB& token) {
    Message message(functions, functions.openMessage(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message || !functions.updateMessage(message.get(), token.pbData, token.cbData, TRUE)) return std::nullopt;
    const std::vector<BYTE> type = Parameter(functions, message.get(), CMSG_INNER_CONTENT_TYPE_PARAM, 0);
    if (type.empty() || type.back() != 0 || std::strcmp(reinterpret_cast<const char*>(type.data()), szOID_TIMESTAMP_TOKEN) != 0)
        return std::nullopt;
    const std::vector<BYTE> content = Parameter(functions, message.get(), CMSG_CONTENT_PARAM, 0);
    const std::string_view tstInfo =
        BareContent(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    const std::optional<TimeStampInfo> info = ParseTimeStampInfo(tstInfo);
    // SHA-256 only, here and for the stamper's own digest: a stamp of another
    // hash is not taken, and the signer is then judged as of now.
    if (!info || info->hashAlgorithm != kSha256Oid) return std::nullopt;
    if (Sha256Hex(signer.EncryptedHash.pbData, signer.EncryptedHash.cbData) !=
        Hex(reinterpret_cast<const BYTE*>(info->hashedMessage.data()), info->hashedMessage.size()))
        return std::nullopt;

    // The stamper signs the TSTInfo through its messageDigest attribute,
    // compared here: Wine's verification checks only the signature over the
    // attributes, and hashes the content with its OCTET STRING around it.
    const std::vector<BYTE> stamperInfo = Parameter(functions, message.get(), CMSG_SIGNER_INFO_PARAM, 0);
    if (stamperInfo.size() < sizeof(CMSG_SIGNER_INFO)) return std::nullopt;
    const auto* stamperSigner = reinterpret_cast<const CMSG_SIGNER_INFO*>(stamperInfo.data());
    if (!stamperSigner->HashAlgorithm.pszObjId || std::strcmp(stamperSigner->HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0)
        return std::nullopt;
    const CRYPT_ATTRIBUTE* digest = FindAttribute(stamperSigner->AuthAttrs, szOID_RSA_messageDigest);
    if (!digest || digest->cValue != 1) return std::nullopt;
    auto digestValue = Decode<CRYPT_DATA_BLOB>(functions, X509_OCTET_STRING, digest->rgValue[0].pbData,
                                               digest->rgValue[0].cbData);
    if (!digestValue || Hex(digestValue->pbData, digestValue->cbData) != Sha256Hex(tstInfo.data(), tstInfo.size()))
        return std::nullopt;

    const std::vector<BYTE> signerId = Parameter(functions, message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0);
    if (signerId.size() < sizeof(CERT_INFO)) return std::nullopt;
    Store store(functions, functions.openStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
    if (!store) return std::nullopt;
    Certificate stamper(functions, functions.subjectCertificate(store.get(), kEncoding,
                                                                reinterpret_cast<CERT_INFO*>(const_cast<BYTE*>(signerId.data()))));
    if (!stamper) return std::nullopt;
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify{};
    verify.cbSize = sizeof verify;
    verify.dwSignerIndex = 0;
    verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    verify.pvSigner = const_cast<CERT_CONTEXT*>(stamper.get());
    if (!functions.messageControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify)) return std::nullopt;

    SYSTEMTIME calendar{};
    calendar.wYear = static_cast<WORD>(info->time.year);
    calendar.wMonth = static_cast<WORD>(info->time.month);
    calendar.wDay = static_cast<WORD>(info->time.day);
    calendar.wHour = static_cast<WORD>(info->time.hour);
    calendar.wMinute = static_cast<WORD>(info->time.minute);
    calendar.wSecond = static_cast<WORD>(info->time.second);
    FILETIME time{};
    if (!::SystemTimeToFileTime(&calendar, &time)) return std::nullopt;
    if (!StampedByAuthority(functions, stamper.get(), time, store.get())) return std::nullopt;
    return time;
}

// The time of the first counter-signature of either kind that holds, or
// nullopt: the signer is then judged as of now. Never the time WinVerifyTrust
// reports, which Wine takes from a counter-signature it does not verify.
std::optional<FILETIME> VerifiedStampTime(const TrustFunctions& functions, HCRYPTMSG fileMessage,
                                          const CMSG_SIGNER_INFO& signer) {
    for (DWORD i = 0; i < signer.UnauthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.UnauthAttrs.rgAttr[i];
        if (!attribute.pszObjId) continue;
        const bool legacy = std::strcmp(attribute.pszObjId, szOID_RSA_counterSign) == 0;
        const bool rfc3161 = std::strcmp(attribute.pszObjId, szOID_RFC3161_counterSign) == 0;
        for (DWORD v = 0; v < attribute.cValue && (legacy || rfc3161); ++v) {
            const std::optional<FILETIME> time = legacy && fileMessage
                                                     ? LegacyStampTime(functions, fileMessage, signer, attribute.rgValue[v])
                                                 : rfc3161 ? Rfc3161StampTime(functions, signer, attribute.rgValue[v])
                                                           : std::nullopt;
            if (time) return time;
        }
    }
    return std::nullopt;
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
    // The signed message read through the handle, not the file read again.
    CRYPT_PROVIDER_DATA* provider = verification.Provider();
    std::optional<FILETIME> stampTime;
    if (signer->psSigner) stampTime = VerifiedStampTime(functions, provider ? provider->hMsg : nullptr, *signer->psSigner);
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
