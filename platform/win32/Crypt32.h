// wintrust's and crypt32's functions as the publisher check and its time
// stamps use them, and owners of what they hand out.
#pragma once

// For dwUrlRetrievalTimeout: the chain's fetches are bounded in time.
#ifndef CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#endif
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>
#include <optional>
#include <vector>

namespace tarn::trust {

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

// The table, or null when a function of it cannot be had.
const TrustFunctions* TrustFunctionsTable() noexcept;

inline constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Every fetch a chain makes (revocation lists, OCSP answers, missing
// authorities) gives up after this, and all of one chain's together too: a
// planted file's certificate may name any address, and a machine without a
// network must not wait long to learn that it cannot ask.
inline constexpr DWORD kUrlRetrievalTimeoutMs = 4000;

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
using Certificate =
    Crypt32Object<PCCERT_CONTEXT, [](const TrustFunctions& f, PCCERT_CONTEXT c) { f.freeCertificate(c); }>;
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
std::vector<BYTE> Parameter(const TrustFunctions& functions, HCRYPTMSG message, DWORD type, DWORD index);

const CRYPT_ATTRIBUTE* FindAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) noexcept;

// Whether `certificate` chains, as of `time` (null: now), to a root the
// machine trusts and is valid for `usage`, with no certificate of the chain
// known to be revoked. nullopt when the chain could not be built at all.
// WinVerifyTrust has decided this already on Windows; Wine 8's accepts
// untrusted, self-signed and expired signers.
std::optional<bool> ChainHolds(const TrustFunctions& functions, PCCERT_CONTEXT certificate, FILETIME* time,
                               HCERTSTORE moreCertificates, const char* usage, bool authenticodePolicy) noexcept;

// The time of the first counter-signature of either kind that holds, or
// nullopt: the signer is then judged as of now. Never the time WinVerifyTrust
// reports, which Wine takes from a counter-signature it does not verify.
std::optional<FILETIME> VerifiedStampTime(const TrustFunctions& functions, HCRYPTMSG fileMessage,
                                          const CMSG_SIGNER_INFO& signer);

}  // namespace tarn::trust
