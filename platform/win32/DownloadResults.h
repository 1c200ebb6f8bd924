// How the download's failures read as results: the system's and WinINet's
// errors as the HRESULTs that DownloadToFile answers.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "platform/win32/Download.h"
#include "platform/Platform.h"

namespace tarn::download {

// What Wine's WinINet reports when its receive timeout ends a read (WSAETIMEDOUT).
inline constexpr DWORD kSocketTimedOut = 10060;

inline DownloadResult FromWin32(DWORD error) {
    return error == 0 ? kDownloadFailed : DownloadResult{static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error))};
}

inline DownloadResult FromInternetError(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
        return kDownloadCannotConnect;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return kDownloadNotFound;
    case ERROR_INTERNET_TIMEOUT:
    case kSocketTimedOut:
        return kDownloadStalled;
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        return kDownloadInvalidUrl;
    // Under Wine an unknown authority is 12045 or 12057, a wrong name 12038,
    // an expired certificate 12037.
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return kDownloadUntrustedServer;
    case ERROR_NOT_ENOUGH_MEMORY:
        return kDownloadOutOfMemory;
    default:
        return kDownloadFailed;
    }
}

// Once the body has begun, a failing line has cut it short.
inline DownloadResult FromReceiveError(DWORD error) {
    const DownloadResult result = FromInternetError(error);
    return result == kDownloadStalled || result == kDownloadOutOfMemory ? result : kDownloadTruncated;
}

}  // namespace tarn::download
