#include "platform/win32/WinInet.h"

#include <algorithm>
#include <iterator>

#include "platform/win32/SystemLibrary.h"

namespace tarn::download {

namespace {

bool FillWinInet(WinInet& table) noexcept {
    SystemFunctions wininet(L"wininet.dll");
    wininet.Take(table.InternetCrackUrlW, "InternetCrackUrlW");
    wininet.Take(table.InternetOpenW, "InternetOpenW");
    wininet.Take(table.InternetSetStatusCallbackW, "InternetSetStatusCallbackW");
    wininet.Take(table.InternetConnectW, "InternetConnectW");
    wininet.Take(table.HttpOpenRequestW, "HttpOpenRequestW");
    wininet.Take(table.InternetSetOptionW, "InternetSetOptionW");
    wininet.Take(table.HttpSendRequestW, "HttpSendRequestW");
    wininet.Take(table.HttpQueryInfoW, "HttpQueryInfoW");
    wininet.Take(table.InternetReadFileExW, "InternetReadFileExW");
    wininet.Take(table.InternetQueryDataAvailable, "InternetQueryDataAvailable");
    wininet.Take(table.InternetCloseHandle, "InternetCloseHandle");
    wininet.Take(table.InternetCombineUrlW, "InternetCombineUrlW");
    return wininet.Complete();
}

constinit LazyTable<WinInet> lazyWinInet{&FillWinInet};

}  // namespace

const WinInet* WinInetFunctions() noexcept { return lazyWinInet.Get(); }

std::optional<std::int64_t> ParseLength(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    constexpr std::uint64_t kLargest = static_cast<std::uint64_t>(INT64_MAX);
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (kLargest - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return static_cast<std::int64_t>(value);
}

std::optional<std::wstring> HeaderText(const WinInet& api, HINTERNET request, DWORD query) {
    std::wstring text(64, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (api.HttpQueryInfoW(request, query, text.data(), &size, nullptr)) {
            text.resize(size / sizeof(wchar_t));
            return text;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
        text.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
    return std::nullopt;
}

// A header value that may be sent back as it came: printable ASCII, so that
// no server can add a line of its own to the request.
namespace {

bool Sendable(const std::wstring& value) {
    return !value.empty() && std::all_of(value.begin(), value.end(), [](wchar_t c) { return c >= L' ' && c <= L'~'; });
}

}  // namespace

std::wstring ValidatorOf(const WinInet& api, HINTERNET request) {
    if (auto tag = HeaderText(api, request, HTTP_QUERY_ETAG); tag && Sendable(*tag) && tag->rfind(L"W/", 0) != 0)
        return *tag;
    if (auto modified = HeaderText(api, request, HTTP_QUERY_LAST_MODIFIED); modified && Sendable(*modified))
        return *modified;
    return {};
}

std::optional<ByteRange> ParseContentRange(std::wstring_view text) {
    constexpr std::wstring_view kUnit = L"bytes ";
    if (text.substr(0, kUnit.size()) != kUnit) return std::nullopt;
    text.remove_prefix(kUnit.size());
    const std::size_t dash = text.find(L'-');
    const std::size_t slash = text.find(L'/');
    if (dash == std::wstring_view::npos || slash == std::wstring_view::npos || dash > slash) return std::nullopt;
    const auto first = ParseLength(text.substr(0, dash));
    const auto last = ParseLength(text.substr(dash + 1, slash - dash - 1));
    const std::wstring_view length = text.substr(slash + 1);
    if (!first || !last || *last < *first) return std::nullopt;
    ByteRange range{*first, *last, -1};
    if (length != L"*") {
        const auto whole = ParseLength(length);
        if (!whole || *whole <= *last) return std::nullopt;
        range.length = *whole;
    }
    return range;
}

std::optional<Address> AddressOf(const WinInet& api, const std::wstring& url) {
    wchar_t host[256] = {};
    std::wstring path(url.size() + 1, L'\0');
    std::wstring extra(url.size() + 1, L'\0');
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!api.InternetCrackUrlW(url.c_str(), 0, 0, &parts) || parts.dwHostNameLength == 0) return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
    path.resize(parts.dwUrlPathLength);
    extra.resize(parts.dwExtraInfoLength);
    Address address;
    address.host = host;
    address.port = parts.nPort;
    // The query names what is fetched as much as the path does.
    address.object = (path.empty() ? L"/" : path) + extra;
    address.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return address;
}

std::wstring Resolve(const WinInet& api, const std::wstring& base, const std::wstring& location) {
    std::wstring combined(base.size() + location.size() + 64, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = static_cast<DWORD>(combined.size());
        if (api.InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &length, 0)) {
            combined.resize(length);
            return combined;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        combined.assign(length + 1, L'\0');
    }
    return {};
}

bool IsRedirect(DWORD status) {
    return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT || status == HTTP_STATUS_REDIRECT_METHOD ||
           status == HTTP_STATUS_REDIRECT_KEEP_VERB || status == HTTP_STATUS_PERMANENT_REDIRECT;
}

}  // namespace tarn::download
