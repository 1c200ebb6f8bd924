// What a download came to, in the portable terms the launches need.
#pragma once

#include <chrono>
#include <cstdint>

namespace tarn {

// Success, or why a download failed, in the manner of URLDownloadToFile: an
// HRESULT, so that the code a person reads out on the phone is the one
// Windows documents. The INET_E_* values keep their urlmon meaning; a local
// file failure is HRESULT_FROM_WIN32 of the system's error; a server's other
// answer is HTTP_E_STATUS_* with the status in the low word.
class DownloadResult {
public:
    constexpr DownloadResult() noexcept = default;  // success
    constexpr explicit DownloadResult(std::uint32_t code) noexcept : code_(code) {}

    constexpr std::uint32_t Code() const noexcept { return code_; }
    constexpr bool Ok() const noexcept { return code_ == 0; }
    friend constexpr bool operator==(DownloadResult, DownloadResult) noexcept = default;

private:
    std::uint32_t code_ = 0;
};

inline constexpr DownloadResult kDownloadOk{};
// clang-format off
inline constexpr DownloadResult kDownloadAborted{0x80004004u};       // E_ABORT: cancelled
inline constexpr DownloadResult kDownloadOutOfMemory{0x8007000Eu};   // E_OUTOFMEMORY
inline constexpr DownloadResult kDownloadInvalidUrl{0x800C0002u};    // INET_E_INVALID_URL: not http(s)
inline constexpr DownloadResult kDownloadNoSession{0x800C0003u};     // INET_E_NO_SESSION
inline constexpr DownloadResult kDownloadCannotConnect{0x800C0004u}; // INET_E_CANNOT_CONNECT: refused
inline constexpr DownloadResult kDownloadNotFound{0x800C0005u};      // INET_E_RESOURCE_NOT_FOUND: unknown host
inline constexpr DownloadResult kDownloadTruncated{0x800C0007u};     // INET_E_DATA_NOT_AVAILABLE: body cut short
inline constexpr DownloadResult kDownloadFailed{0x800C0008u};        // INET_E_DOWNLOAD_FAILURE: other network error
inline constexpr DownloadResult kDownloadStalled{0x800C000Bu};       // INET_E_CONNECTION_TIMEOUT: nothing received for the stall time
inline constexpr DownloadResult kDownloadNotProgram{0x800C000Fu};    // INET_E_CANNOT_LOAD_DATA: body does not begin with "MZ"
// An https download is followed through redirects only to https addresses,
// at most five times.
inline constexpr DownloadResult kDownloadTooManyRedirects{0x800C0014u}; // INET_E_REDIRECT_FAILED: a sixth redirect
inline constexpr DownloadResult kDownloadInsecureRedirect{0x800C001Bu}; // INET_E_BLOCKED_REDIRECT_XSECURITYID: to an address not https
// clang-format on
// The download server's certificate could not be trusted (INET_E_INVALID_CERTIFICATE).
inline constexpr DownloadResult kDownloadUntrustedServer{0x800C0019u};
// The body arrived whole but its SHA-256 is not the expected one
// (CRYPT_E_HASH_VALUE), or it is not the publisher's genuine signed program
// (TRUST_E_SUBJECT_NOT_TRUSTED).
inline constexpr DownloadResult kDownloadHashMismatch{0x80091007u};
inline constexpr DownloadResult kDownloadNotGenuine{0x800B0004u};

// A server that answered anything but 200, so that the person can be told
// what the server said.
constexpr DownloadResult DownloadHttpStatus(int status) noexcept {
    return DownloadResult{0x80190000u | (static_cast<std::uint32_t>(status) & 0xFFFFu)};
}
// The status a result carries, or 0 when it is not a server's answer.
constexpr int HttpStatusOf(DownloadResult result) noexcept {
    return (result.Code() & 0xFFFF0000u) == 0x80190000u ? static_cast<int>(result.Code() & 0xFFFFu) : 0;
}
// A local file failure: HRESULT_FROM_WIN32 of the system's error.
constexpr bool IsWin32Result(DownloadResult result) noexcept { return (result.Code() & 0xFFFF0000u) == 0x80070000u; }

// How long a download may bring no byte at all before it has stalled. The
// person is told this very time when it happens.
inline constexpr std::chrono::seconds kDownloadStallTime{30};

}  // namespace tarn
