// WinINet, loaded on first use from the system folder and never imported,
// and what the download reads of its URLs and answers.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Handle.h"

namespace tarn::download {

struct WinInet {
    decltype(&::InternetCrackUrlW) InternetCrackUrlW;
    decltype(&::InternetOpenW) InternetOpenW;
    decltype(&::InternetSetStatusCallbackW) InternetSetStatusCallbackW;
    decltype(&::InternetConnectW) InternetConnectW;
    decltype(&::HttpOpenRequestW) HttpOpenRequestW;
    decltype(&::InternetSetOptionW) InternetSetOptionW;
    decltype(&::HttpSendRequestW) HttpSendRequestW;
    decltype(&::HttpQueryInfoW) HttpQueryInfoW;
    decltype(&::InternetReadFileExW) InternetReadFileExW;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable;
    decltype(&::InternetCloseHandle) InternetCloseHandle;
    decltype(&::InternetCombineUrlW) InternetCombineUrlW;
};

// Null when wininet.dll or one of these functions cannot be had: the
// download then fails as one without an internet session.
const WinInet* WinInetFunctions() noexcept;

// Closed through the loaded table: wininet.dll is never imported.
struct LoadedInternetTraits {
    using Type = HINTERNET;
    static Type Invalid() noexcept { return nullptr; }
    // A handle exists only once the functions were found.
    static void Close(Type h) noexcept { WinInetFunctions()->InternetCloseHandle(h); }
};
using Internet = UniqueHandle<LoadedInternetTraits>;

// A Content-Length of decimal digits only, leading zeros allowed; nullopt for
// anything else (a sign, a second value, letters) and for a number no file
// could have.
std::optional<std::int64_t> ParseLength(std::wstring_view text);

// A response header as sent, however long; nullopt when there is none.
std::optional<std::wstring> HeaderText(const WinInet& api, HINTERNET request, DWORD query);

// What identifies an answer's body, for If-Range: a strong ETag, else the
// Last-Modified date; only printable ASCII, so that no server can add a line
// of its own to the request. A weak ETag may not be used for it. Empty when
// the answer has neither.
std::wstring ValidatorOf(const WinInet& api, HINTERNET request);

// "bytes FIRST-LAST/LENGTH" of a Content-Range, LENGTH -1 for "*".
struct ByteRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t length = -1;
};

std::optional<ByteRange> ParseContentRange(std::wstring_view text);

// The pieces of a URL that a request is made of.
struct Address {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
    bool secure = false;  // https
};

std::optional<Address> AddressOf(const WinInet& api, const std::wstring& url);

// Where a redirect's Location leads from base: itself when whole, else
// resolved against base. Empty when it cannot be resolved.
std::wstring Resolve(const WinInet& api, const std::wstring& base, const std::wstring& location);

bool IsRedirect(DWORD status);

}  // namespace tarn::download
