// Time stamps verified by the program itself: a counter-signature counts
// only when it signs this very signature and its signer is a time-stamping
// authority the machine trusts.
#include "platform/win32/Crypt32.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/SignatureTrust.h"
#include "platform/win32/Sha256.h"

namespace tarn::trust {

namespace {

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
    if (type.empty() || type.back() != 0 ||
        std::strcmp(reinterpret_cast<const char*>(type.data()), szOID_TIMESTAMP_TOKEN) != 0)
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
    if (!stamperSigner->HashAlgorithm.pszObjId ||
        std::strcmp(stamperSigner->HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0)
        return std::nullopt;
    const CRYPT_ATTRIBUTE* digest = FindAttribute(stamperSigner->AuthAttrs, szOID_RSA_messageDigest);
    if (!digest || digest->cValue != 1) return std::nullopt;
    auto digestValue =
        Decode<CRYPT_DATA_BLOB>(functions, X509_OCTET_STRING, digest->rgValue[0].pbData, digest->rgValue[0].cbData);
    if (!digestValue || Hex(digestValue->pbData, digestValue->cbData) != Sha256Hex(tstInfo.data(), tstInfo.size()))
        return std::nullopt;

    const std::vector<BYTE> signerId = Parameter(functions, message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0);
    if (signerId.size() < sizeof(CERT_INFO)) return std::nullopt;
    Store store(functions, functions.openStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
    if (!store) return std::nullopt;
    Certificate stamper(functions,
                        functions.subjectCertificate(store.get(), kEncoding,
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

}  // namespace

std::optional<FILETIME> VerifiedStampTime(const TrustFunctions& functions, HCRYPTMSG fileMessage,
                                          const CMSG_SIGNER_INFO& signer) {
    for (DWORD i = 0; i < signer.UnauthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.UnauthAttrs.rgAttr[i];
        if (!attribute.pszObjId) continue;
        const bool legacy = std::strcmp(attribute.pszObjId, szOID_RSA_counterSign) == 0;
        const bool rfc3161 = std::strcmp(attribute.pszObjId, szOID_RFC3161_counterSign) == 0;
        for (DWORD v = 0; v < attribute.cValue && (legacy || rfc3161); ++v) {
            const std::optional<FILETIME> time =
                legacy && fileMessage ? LegacyStampTime(functions, fileMessage, signer, attribute.rgValue[v])
                : rfc3161             ? Rfc3161StampTime(functions, signer, attribute.rgValue[v])
                                      : std::nullopt;
            if (time) return time;
        }
    }
    return std::nullopt;
}

}  // namespace tarn::trust
