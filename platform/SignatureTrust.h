// What the publisher check decides without the operating system: whether a
// built certificate chain is accepted, given the error bits Windows reports
// for it, and what an RFC 3161 time stamp says (its TSTInfo). Portable, so
// that the native tests hold the decisions that Wine cannot show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

// Windows' CERT_TRUST_* error bits (wincrypt.h) that the decision names.
inline constexpr std::uint32_t kChainRevoked = 0x00000004;            // CERT_TRUST_IS_REVOKED
inline constexpr std::uint32_t kChainRevocationUnknown = 0x00000040;  // CERT_TRUST_REVOCATION_STATUS_UNKNOWN
inline constexpr std::uint32_t kChainOfflineRevocation = 0x01000000;  // CERT_TRUST_IS_OFFLINE_REVOCATION

// Whether a chain with TrustStatus.dwErrorStatus errorStatus is accepted. A
// certificate known to be revoked never is; one whose revocation could not be
// learnt (no network, no answer in time) is, as Windows accepts it by default.
// Every other error refuses the chain.
constexpr bool ChainAccepted(std::uint32_t errorStatus) noexcept {
    return (errorStatus & ~(kChainRevocationUnknown | kChainOfflineRevocation)) == 0;
}

// A moment in UTC, as a time stamp gives it (to the second).
struct UtcTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The parts of a time stamp's TSTInfo that the check uses.
struct TimeStampInfo {
    std::string hashAlgorithm;  // the content octets of the imprint's algorithm OID
    std::string hashedMessage;  // the imprint: the hash of what was stamped
    UtcTime time;               // genTime
};

// The DER contents octets of the SHA-256 algorithm's OID, 2.16.840.1.101.3.4.2.1.
inline constexpr std::string_view kSha256Oid{"\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9};

namespace der {

// One DER element read from the front of `input`: definite lengths only, as
// DER has them. nullopt when the bytes do not hold a whole element of `tag`.
inline std::optional<std::string_view> Take(std::string_view& input, unsigned char tag) {
    if (input.size() < 2 || static_cast<unsigned char>(input[0]) != tag) return std::nullopt;
    std::size_t length = static_cast<unsigned char>(input[1]);
    std::size_t header = 2;
    if (length & 0x80) {
        const std::size_t octets = length & 0x7F;
        if (octets == 0 || octets > 4 || input.size() < 2 + octets) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | static_cast<unsigned char>(input[2 + i]);
        header += octets;
    }
    if (input.size() - header < length) return std::nullopt;
    const std::string_view contents = input.substr(header, length);
    input.remove_prefix(header + length);
    return contents;
}

// "YYYYMMDDHHMMSS", then optional fractions of a second (dropped), then "Z".
inline std::optional<UtcTime> GeneralizedTime(std::string_view text) {
    if (text.size() < 15 || text.back() != 'Z') return std::nullopt;
    auto number = [&](std::size_t at, std::size_t digits) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (text.size() > 15) {
        if (text[14] != '.' || text.size() < 17) return std::nullopt;
        if (number(15, text.size() - 16) < 0) return std::nullopt;
    }
    const UtcTime time{number(0, 4), number(4, 2), number(6, 2), number(8, 2), number(10, 2), number(12, 2)};
    if (time.year < 1601 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour < 0 ||
        time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 || time.second > 59)
        return std::nullopt;
    return time;
}

}  // namespace der

// A message's content as its signer hashed it: without the OCTET STRING
// around it, which Wine's crypt32 leaves on (and hashes) and Windows' does not.
inline std::string_view BareContent(std::string_view content) {
    std::string_view rest = content;
    if (!rest.empty() && static_cast<unsigned char>(rest[0]) == 0x04)
        if (const auto inner = der::Take(rest, 0x04); inner && rest.empty()) return *inner;
    return content;
}

// The imprint and time of a DER TSTInfo (RFC 3161), given bare or inside the
// OCTET STRING that a CMS message's content is; nullopt when it is not one.
inline std::optional<TimeStampInfo> ParseTimeStampInfo(std::string_view encoded) {
    constexpr unsigned char kSequence = 0x30, kInteger = 0x02, kOid = 0x06, kOctets = 0x04, kGeneralizedTime = 0x18;
    encoded = BareContent(encoded);
    auto info = der::Take(encoded, kSequence);
    if (!info || !encoded.empty()) return std::nullopt;
    auto imprint = (der::Take(*info, kInteger) && der::Take(*info, kOid)) ? der::Take(*info, kSequence) : std::nullopt;
    if (!imprint) return std::nullopt;
    auto algorithm = der::Take(*imprint, kSequence);
    const auto hashed = algorithm ? der::Take(*imprint, kOctets) : std::nullopt;
    const auto oid = hashed ? der::Take(*algorithm, kOid) : std::nullopt;
    const auto serial = oid ? der::Take(*info, kInteger) : std::nullopt;
    const auto genTime = serial ? der::Take(*info, kGeneralizedTime) : std::nullopt;
    const auto time = genTime ? der::GeneralizedTime(*genTime) : std::nullopt;
    if (!time || !imprint->empty()) return std::nullopt;
    return TimeStampInfo{std::string(*oid), std::string(*hashed), *time};
}

}  // namespace tarn
