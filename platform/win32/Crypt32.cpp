#include "platform/win32/Crypt32.h"

#include <cstring>

#include "platform/SignatureTrust.h"
#include "platform/win32/SystemLibrary.h"

namespace tarn::trust {

namespace {

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

}  // namespace

const TrustFunctions* TrustFunctionsTable() noexcept { return lazyTrustFunctions.Get(); }

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
    static_assert(kChainRevoked == CERT_TRUST_IS_REVOKED &&
                  kChainRevocationUnknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN &&
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
        trusted = functions.chainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &policy, &status) && status.dwError == 0;
    }
    functions.freeChain(chain);
    return trusted;
}

}  // namespace tarn::trust
