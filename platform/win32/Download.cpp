// WinINet rather than URLDownloadToFileA: under Wine, URLDownloadToFileA
// answers 0 for a 404 and saves the error page as the program file. With
// WinINet the status code, the promised length and the bytes themselves are
// in our hands.
//
// The transfer runs on a worker thread that owns every internet handle; the
// caller only waits, reports progress and may ask the worker to stop. WinINet
// runs asynchronously, so the worker is never held inside a call by the
// network: it waits for a completion, a stop or the stall time, whichever
// comes first, and closes its own handles. Reads take what has arrived
// (IRF_NO_WAIT), so every piece from a slow line moves the progress and
// restarts the stall time, while a fast line is read in large pieces.
// Synchronous reads could not do both: InternetReadFile waits for its whole
// buffer, and Wine's InternetQueryDataAvailable never reports more than its
// own 8 KiB buffer; reading only that much made a 64 MiB loopback download
// over ten times slower than curl.
#include "platform/Download.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cwchar>
#include <utility>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "platform/ProgramImage.h"
#include "platform/WindowsPaths.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/SystemLibrary.h"
#include "resources/version.h"

namespace tarn {
namespace {

// --- WinINet, loaded on first use from the system folder ------------------

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

// Null when wininet.dll or one of these functions cannot be had: the
// download then fails as one without an internet session.
const WinInet* WinInetFunctions() noexcept { return lazyWinInet.Get(); }

// Closed through the loaded table: wininet.dll is never imported.
struct LoadedInternetTraits {
    using Type = HINTERNET;
    static Type Invalid() noexcept { return nullptr; }
    // A handle exists only once the functions were found.
    static void Close(Type h) noexcept { WinInetFunctions()->InternetCloseHandle(h); }
};
using Internet = UniqueHandle<LoadedInternetTraits>;

// --- results ---------------------------------------------------------------

// What Wine's WinINet reports when its receive timeout ends a read (WSAETIMEDOUT).
constexpr DWORD kSocketTimedOut = 10060;

long FromWin32(DWORD error) {
    return error == 0 ? kDownloadFailed : static_cast<long>(HRESULT_FROM_WIN32(error));
}

long FromInternetError(DWORD error) {
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
long FromReceiveError(DWORD error) {
    const long result = FromInternetError(error);
    return result == kDownloadStalled || result == kDownloadOutOfMemory ? result : kDownloadTruncated;
}

bool IsHttpUrl(const std::wstring& url) {
    auto startsWith = [&](const wchar_t* scheme) {
        const std::size_t n = wcslen(scheme);
        return url.size() > n && _wcsnicmp(url.c_str(), scheme, n) == 0;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}

// A Content-Length of decimal digits only, leading zeros allowed; nullopt for
// anything else (a sign, a second value, letters) and for a number no file
// could have.
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

// A response header as sent, however long; nullopt when there is none.
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

// The folder that holds path, so the temporary file lies on the same volume
// and the final move is a rename.
std::wstring FolderOf(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    wchar_t* name = nullptr;
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), &name);
    if (length == 0 || length >= needed || name == nullptr) return {};
    full.resize(static_cast<std::size_t>(name - full.data()));
    return full;
}

// --- the body's file -------------------------------------------------------

// The body's file while it arrives, beside the target. It is marked for
// deletion as soon as it exists, so the system removes it however this
// process ends, killed included, until Keep takes the mark off. (Wine 8
// honours the mark: the file goes when the process is killed.)
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        // A marked file went as it closed; otherwise it is removed here.
        if (!path_.empty() && !marked_ && !moved_) ::DeleteFileW(path_.c_str());
    }

    long Create(const std::wstring& folder) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 64; ++attempt) {
            const unsigned unique = (::GetCurrentProcessId() << 16) ^ static_cast<unsigned>(::GetTickCount64()) ^
                                    (++counter * 0x9E3779B9u);
            std::wstring path = folder + L"tkd";
            for (int shift = 28; shift >= 0; shift -= 4) path += L"0123456789ABCDEF"[(unique >> shift) & 15];
            path += L".tmp";
            // Nobody else may open it; reading is for the check of the whole
            // body, DELETE lets the mark be set and taken off.
            file_.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_) {
                path_ = std::move(path);
                // Without the mark (a file system that refuses it) the file
                // is still removed on every failure this process lives through.
                marked_ = SetDeletionMark(TRUE);
                return kDownloadOk;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return FromWin32(error);
        }
        return FromWin32(ERROR_FILE_EXISTS);
    }

    HANDLE get() const noexcept { return file_.get(); }
    const std::wstring& Path() const noexcept { return path_; }

    // Empties the file for a body that starts over.
    long Empty() {
        if (!::SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get()))
            return FromWin32(::GetLastError());
        return kDownloadOk;
    }

    // On disk before it replaces anything, so a crash right after the move
    // cannot leave a partial program under the target's name.
    long Flush() { return ::FlushFileBuffers(file_.get()) ? kDownloadOk : FromWin32(::GetLastError()); }

    // Takes the deletion mark off, closes the file and moves it onto target.
    long KeepAs(const std::wstring& target) {
        if (marked_) {
            if (!SetDeletionMark(FALSE)) return FromWin32(::GetLastError());
            marked_ = false;
        }
        file_.reset();
        if (!::MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return FromWin32(::GetLastError());
        moved_ = true;
        return kDownloadOk;
    }

private:
    bool SetDeletionMark(BOOLEAN deleteOnClose) noexcept {
        FILE_DISPOSITION_INFO disposition{deleteOnClose};
        return ::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }

    FileHandle file_;
    std::wstring path_;
    bool marked_ = false;
    bool moved_ = false;
};

// --- the worker --------------------------------------------------------------

// What WinINet reports to about a request and may still write to after the
// worker has gone: a call pending when the request is closed completes later.
// The request holds a share of it until its last report, HANDLE_CLOSING.
class RequestState {
public:
    static constexpr DWORD kReadSize = 1024 * 1024;

    // Handed to the calls that may go pending.
    std::vector<char> buffer;
    INTERNET_BUFFERSW piece{};
    DWORD available = 0;

    RequestState() : buffer(kReadSize), completed_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    RequestState(const RequestState&) = delete;
    RequestState& operator=(const RequestState&) = delete;

    bool Ok() const noexcept { return static_cast<bool>(completed_); }
    HANDLE Completed() const noexcept { return completed_.get(); }
    DWORD_PTR Context() noexcept { return reinterpret_cast<DWORD_PTR>(this); }
    // Before each call that may go pending, so that only its completion counts.
    void Arm() noexcept { ::ResetEvent(completed_.get()); }
    // The request handle exists: it holds a share until it has closed.
    void HeldByRequest() noexcept {
        refs_.fetch_add(1);
        heldByRequest_ = true;
    }
    void Release() noexcept {
        if (refs_.fetch_sub(1) == 1) delete this;
    }
    bool Succeeded() const noexcept { return succeeded_; }
    DWORD Error() const noexcept { return error_; }

    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) noexcept {
        auto* state = reinterpret_cast<RequestState*>(context);
        if (!state) return;  // the session's and the connection's reports
        if (status == INTERNET_STATUS_REQUEST_COMPLETE && info && length >= sizeof(INTERNET_ASYNC_RESULT)) {
            const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
            state->succeeded_ = result->dwResult != 0;
            state->error_ = result->dwError;
            ::SetEvent(state->completed_.get());
        } else if (status == INTERNET_STATUS_HANDLE_CLOSING && state->heldByRequest_.exchange(false)) {
            state->Release();
        }
    }

private:
    ~RequestState() = default;

    KernelHandle completed_;
    std::atomic<int> refs_{1};
    std::atomic<bool> heldByRequest_{false};
    std::atomic<bool> succeeded_{false};
    std::atomic<DWORD> error_{0};
};

struct ReleaseShare {
    void operator()(RequestState* state) const noexcept { state->Release(); }
};

// One request and what it needs, closed as WinINet wants it: the request
// before its state's share is given up, the connection last.
struct Exchange {
    Internet connection;
    std::unique_ptr<RequestState, ReleaseShare> state;
    Internet request;

    Exchange() = default;
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    ~Exchange() { Close(); }
    void Close() noexcept {
        request.reset();
        state.reset();
        connection.reset();
    }
};

struct Address;

// State shared by the caller and the worker. The worker may outlive the
// caller's wait, so both hold it.
struct Transfer {
    // Set before the worker starts.
    std::wstring url;
    std::wstring target;
    int stallTimeoutMs = 0;
    std::string expectedSha256;  // empty: any body will do
    std::function<bool(void* file, const std::wstring& path)> verify;  // empty: no such check
    KernelHandle stopSignal;     // set by the caller: stop now

    std::atomic<std::uint64_t> received{0};
    std::atomic<std::int64_t> total{-1};
    std::atomic<unsigned> resumes{0};  // how often the rest was asked for again
    std::atomic<ULONGLONG> lastActivity{0};
    long result = kDownloadFailed;  // the worker's answer, read after it ended

    void Touch() { lastActivity = ::GetTickCount64(); }

    // Stop (the caller) and Commit (the worker, before it moves its file
    // into place) race for one change: whichever comes first decides, so a
    // stopped download never moves a file and a moved one is never reported
    // as failed.
    void Stop() {
        int running = kRunning;
        phase_.compare_exchange_strong(running, kStopped);
        ::SetEvent(stopSignal.get());
    }
    bool Commit() {
        int running = kRunning;
        return phase_.compare_exchange_strong(running, kCommitted);
    }
    bool Stopped() const { return phase_ == kStopped; }

    long Run();

private:
    enum { kRunning, kStopped, kCommitted };
    std::atomic<int> phase_{kRunning};
    std::optional<Sha256> digest_;  // taken as the body arrives, so the file is not read twice
    // The body as it has arrived, over every answer that carried a part of it.
    std::vector<unsigned char> head_;  // its start, to judge it
    std::uint64_t count_ = 0;          // the bytes in the temporary file
    std::wstring validator_;           // the body's ETag or Last-Modified; empty: it cannot be resumed

    long Await(const RequestState& state, long (*failure)(DWORD));
    // Opens a request for address on a connection of its own and sends it
    // with headers (none when empty).
    long Send(const WinInet& api, HINTERNET session, const Address& address, const std::wstring& headers,
              Exchange& exchange);
    // Requests url, following redirects as allowed; the final answer's status.
    long Open(const WinInet& api, HINTERNET session, const std::wstring& headers, Exchange& exchange, DWORD& status);
    // A 200: the whole body from its first byte, into an empty file.
    long BeginWhole(const WinInet& api, HINTERNET request, TemporaryFile& file);
    // A 206 answering for the rest after count_: only the rest of the same body.
    long CheckContinuation(const WinInet& api, HINTERNET request);
    long Receive(const WinInet& api, HINTERNET request, RequestState& state, HANDLE file);
    bool MayResume(long result, std::uint64_t attemptStart) const;
};

// Waits for the call that went pending, a stop, or the end of the stall time
// counted from the last byte received.
long Transfer::Await(const RequestState& state, long (*failure)(DWORD)) {
    const HANDLE handles[] = {state.Completed(), stopSignal.get()};
    const auto stall = static_cast<ULONGLONG>(stallTimeoutMs);
    for (;;) {
        const ULONGLONG idle = ::GetTickCount64() - lastActivity;
        if (idle >= stall) return kDownloadStalled;
        switch (::WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(stall - idle))) {
        case WAIT_OBJECT_0:
            return state.Succeeded() ? kDownloadOk : failure(state.Error());
        case WAIT_OBJECT_0 + 1:
            return kDownloadAborted;
        case WAIT_TIMEOUT:
            continue;
        default:
            return FromWin32(::GetLastError());
        }
    }
}

// The pieces of a URL that a request is made of.
struct Address {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
    bool secure = false;  // https
};

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

// Where a redirect's Location leads from base: itself when whole, else
// resolved against base. Empty when it cannot be resolved.
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

// The limit that WinINet documents for the redirects it follows itself.
constexpr int kMostRedirects = 5;

long Transfer::Send(const WinInet& api, HINTERNET session, const Address& address, const std::wstring& headers,
                    Exchange& exchange) {
    exchange.connection.reset(api.InternetConnectW(session, address.host.c_str(), address.port, nullptr, nullptr,
                                                   INTERNET_SERVICE_HTTP, 0, 0));
    if (!exchange.connection) return FromInternetError(::GetLastError());
    exchange.state.reset(new RequestState);
    if (!exchange.state->Ok()) return FromWin32(::GetLastError());
    RequestState& state = *exchange.state;
    // A re-download must really fetch again: no cache read, no cache write.
    // Over https the worker follows redirects itself, so that none leads to
    // a plain address: WinINet would follow one there.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                        (address.secure ? INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT : 0);
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    // Closed before the exchange's share of state is given up.
    exchange.request.reset(api.HttpOpenRequestW(exchange.connection.get(), L"GET", address.object.c_str(), nullptr,
                                                nullptr, acceptTypes, flags, state.Context()));
    if (!exchange.request) return FromInternetError(::GetLastError());
    state.HeldByRequest();
    // WinINet's own timeouts come a little after the stall time, which this
    // worker watches itself: they only free a socket that a stopped request
    // still waits on.
    DWORD timeout = static_cast<DWORD>(stallTimeoutMs) + 2000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_SEND_TIMEOUT})
        api.InternetSetOptionW(exchange.request.get(), option, &timeout, sizeof timeout);

    state.Arm();
    if (!api.HttpSendRequestW(exchange.request.get(), headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return FromInternetError(error);
        if (const long sent = Await(state, FromInternetError); sent != kDownloadOk) return sent;
    }
    Touch();
    return kDownloadOk;
}

long Transfer::Open(const WinInet& api, HINTERNET session, const std::wstring& headers, Exchange& exchange,
                    DWORD& status) {
    // Requests are made from the pieces of the URL, so that their timeouts
    // are set before they are sent (InternetOpenUrl would send at once).
    std::wstring current = url;
    std::optional<Address> address = AddressOf(api, current);
    if (!address) return kDownloadInvalidUrl;
    for (int redirects = 0;; ++redirects) {
        if (Stopped()) return kDownloadAborted;
        exchange.Close();
        if (const long sent = Send(api, session, *address, headers, exchange); sent != kDownloadOk) return sent;
        DWORD size = sizeof status;
        if (!api.HttpQueryInfoW(exchange.request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                &size, nullptr))
            return kDownloadFailed;
        // Over plain http WinINet has followed any redirect already.
        if (!address->secure || !IsRedirect(status)) return kDownloadOk;
        const std::optional<std::wstring> location = HeaderText(api, exchange.request.get(), HTTP_QUERY_LOCATION);
        if (!location) return kDownloadOk;  // a redirect to nowhere: the server's answer as it stands
        current = Resolve(api, current, *location);
        address = current.empty() ? std::nullopt : AddressOf(api, current);
        if (!address || !address->secure) return kDownloadInsecureRedirect;
        if (redirects == kMostRedirects) return kDownloadTooManyRedirects;
    }
}

// A header value that may be sent back as it came: printable ASCII, so that
// no server can add a line of its own to the request.
bool Sendable(const std::wstring& value) {
    return !value.empty() &&
           std::all_of(value.begin(), value.end(), [](wchar_t c) { return c >= L' ' && c <= L'~'; });
}

// What identifies this body, for If-Range: a strong ETag, else the
// Last-Modified date. A weak ETag may not be used for it. Empty when the
// answer has neither.
std::wstring ValidatorOf(const WinInet& api, HINTERNET request) {
    if (auto tag = HeaderText(api, request, HTTP_QUERY_ETAG); tag && Sendable(*tag) && tag->rfind(L"W/", 0) != 0)
        return *tag;
    if (auto modified = HeaderText(api, request, HTTP_QUERY_LAST_MODIFIED); modified && Sendable(*modified))
        return *modified;
    return {};
}

long Transfer::BeginWhole(const WinInet& api, HINTERNET request, TemporaryFile& file) {
    total = -1;
    if (const std::optional<std::wstring> length = HeaderText(api, request, HTTP_QUERY_CONTENT_LENGTH)) {
        const std::optional<std::int64_t> parsed = ParseLength(*length);
        // A length that cannot be read cannot be held to.
        if (!parsed) return kDownloadFailed;
        total = *parsed;
    }
    validator_ = ValidatorOf(api, request);
    if (count_ > 0) {
        if (const long emptied = file.Empty(); emptied != kDownloadOk) return emptied;
        count_ = 0;
        received = 0;
    }
    head_.clear();
    if (!expectedSha256.empty()) {
        digest_.emplace();
        if (!digest_->Ok()) return kDownloadFailed;  // a pinned file is never kept unchecked
    }
    return kDownloadOk;
}

// "bytes FIRST-LAST/LENGTH" of a Content-Range, LENGTH -1 for "*".
struct ByteRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t length = -1;
};

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

long Transfer::CheckContinuation(const WinInet& api, HINTERNET request) {
    // Anything but the rest of the same body, to its end, cannot be joined
    // to what is held: the download has failed as one cut short.
    const std::optional<std::wstring> text = HeaderText(api, request, HTTP_QUERY_CONTENT_RANGE);
    const std::optional<ByteRange> range = text ? ParseContentRange(*text) : std::nullopt;
    if (!range || static_cast<std::uint64_t>(range->first) != count_) return kDownloadTruncated;
    const std::int64_t known = total;
    if (known >= 0 ? range->length != known : range->length >= 0 && range->last != range->length - 1)
        return kDownloadTruncated;
    if (known >= 0 && range->last != known - 1) return kDownloadTruncated;
    if (const std::optional<std::wstring> length = HeaderText(api, request, HTTP_QUERY_CONTENT_LENGTH)) {
        const std::optional<std::int64_t> parsed = ParseLength(*length);
        if (!parsed) return kDownloadFailed;
        if (*parsed != range->last - range->first + 1) return kDownloadTruncated;
    }
    // A body that came without its length now has one.
    if (known < 0) total = range->length;
    return kDownloadOk;
}

// The most times the rest of a body is asked for after the line dropped.
constexpr int kMostResumes = 3;

// A line that dropped after this attempt brought something, from a server
// that named the body so that the rest of that same body can be asked for.
// A stall is no drop: a line silent that long is not helped by asking again.
bool Transfer::MayResume(long result, std::uint64_t attemptStart) const {
    if (result != kDownloadTruncated || Stopped() || validator_.empty() || count_ <= attemptStart) return false;
    const std::int64_t known = total;
    return known < 0 || count_ < static_cast<std::uint64_t>(known);
}

long Transfer::Run() {
    const WinInet* api = WinInetFunctions();
    if (!api) return kDownloadNoSession;

    Internet session(api->InternetOpenW(TARNKIT_WIDEN(TARNKIT_PRODUCT_NAME), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                        INTERNET_FLAG_ASYNC));
    if (!session ||
        api->InternetSetStatusCallbackW(session.get(), &RequestState::OnStatus) == INTERNET_INVALID_STATUS_CALLBACK)
        return kDownloadNoSession;

    Exchange exchange;
    DWORD status = 0;
    if (const long opened = Open(*api, session.get(), {}, exchange, status); opened != kDownloadOk) return opened;
    // Anything but the whole program is no program: a 206 carries a part.
    if (status != HTTP_STATUS_OK) return DownloadHttpStatus(static_cast<int>(status));

    const std::wstring folder = FolderOf(target);
    if (folder.empty()) return FromWin32(::GetLastError());
    // The bytes held between attempts stay in this file alone, which goes
    // with the download unless the whole program is moved into place.
    TemporaryFile file;
    long result = BeginWhole(*api, exchange.request.get(), file);
    if (result == kDownloadOk) result = file.Create(folder);
    std::uint64_t attemptStart = 0;
    if (result == kDownloadOk) result = Receive(*api, exchange.request.get(), *exchange.state, file.get());
    for (int resume = 0; resume < kMostResumes && MayResume(result, attemptStart); ++resume) {
        ++resumes;
        const std::wstring headers =
            L"Range: bytes=" + std::to_wstring(count_) + L"-\r\nIf-Range: " + validator_ + L"\r\n";
        if (result = Open(*api, session.get(), headers, exchange, status); result != kDownloadOk) break;
        if (status == HTTP_STATUS_OK)
            result = BeginWhole(*api, exchange.request.get(), file);  // the server starts over
        else if (status == HTTP_STATUS_PARTIAL_CONTENT)
            result = CheckContinuation(*api, exchange.request.get());
        else
            result = DownloadHttpStatus(static_cast<int>(status));
        if (result != kDownloadOk) break;
        attemptStart = count_;
        result = Receive(*api, exchange.request.get(), *exchange.state, file.get());
    }
    if (result == kDownloadOk && digest_) {
        const std::optional<std::string> actual = digest_->Finish();
        if (!actual) result = kDownloadFailed;
        else if (!SameIgnoringCase(*actual, expectedSha256)) result = kDownloadHashMismatch;
    }
    if (result == kDownloadOk) result = file.Flush();
    if (result == kDownloadOk && verify && !verify(file.get(), file.Path())) result = kDownloadNotGenuine;
    if (result == kDownloadOk && !Commit()) result = kDownloadAborted;
    if (result == kDownloadOk) result = file.KeepAs(target);
    return result;
}

long Transfer::Receive(const WinInet& api, HINTERNET request, RequestState& state, HANDLE file) {
    // The start of the body judges it: "MZ" as soon as two bytes are here
    // (so an error page is not fetched to its end), and the program's
    // headers at the end when no length was given.
    head_.reserve(kProgramHeadBytes);
    for (;;) {
        if (Stopped()) return kDownloadAborted;
        state.piece = INTERNET_BUFFERSW{};
        state.piece.dwStructSize = sizeof state.piece;
        state.piece.lpvBuffer = state.buffer.data();
        state.piece.dwBufferLength = RequestState::kReadSize;
        state.Arm();
        if (!api.InternetReadFileExW(request, &state.piece, IRF_ASYNC | IRF_NO_WAIT, state.Context())) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return FromReceiveError(error);
            // A no-wait read completes without data: it says that more has
            // arrived, which the next read takes.
            if (const long waited = Await(state, FromReceiveError); waited != kDownloadOk) return waited;
            continue;
        }
        const DWORD got = state.piece.dwBufferLength;
        if (got == 0) {
            // The body's end, which asking what is available confirms should
            // a WinINet answer "nothing yet" in the same way.
            state.Arm();
            if (api.InternetQueryDataAvailable(request, &state.available, 0, state.Context())) {
                if (state.available == 0) break;
                continue;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return FromReceiveError(error);
            if (const long waited = Await(state, FromReceiveError); waited != kDownloadOk) return waited;
            continue;
        }
        Touch();
        const auto* bytes = reinterpret_cast<const unsigned char*>(state.buffer.data());
        head_.insert(head_.end(), bytes, bytes + std::min<std::size_t>(got, kProgramHeadBytes - head_.size()));
        if (head_.size() >= 2 && (head_[0] != 'M' || head_[1] != 'Z')) return kDownloadNotProgram;
        DWORD written = 0;
        if (!::WriteFile(file, state.buffer.data(), got, &written, nullptr) || written != got)
            return FromWin32(::GetLastError());
        if (digest_ && !digest_->Update(state.buffer.data(), got)) return kDownloadFailed;
        count_ += got;
        received = count_;
    }
    if (head_.size() < 2) return kDownloadNotProgram;
    if (total >= 0) return count_ == static_cast<std::uint64_t>(total.load()) ? kDownloadOk : kDownloadTruncated;
    // Without a length, a closed connection looks the same whether the body
    // ended or was cut: only the program's own headers tell.
    const std::optional<std::uint64_t> extent = ProgramExtent(head_);
    return extent && *extent <= count_ ? kDownloadOk : kDownloadTruncated;
}

DWORD WINAPI TransferThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<Transfer>> owner(static_cast<std::shared_ptr<Transfer>*>(parameter));
    Transfer& transfer = **owner;
    try {
        transfer.result = transfer.Run();
    } catch (...) {
        transfer.result = kDownloadOutOfMemory;
    }
    return 0;
}

}  // namespace

bool PrepareDownloads() noexcept { return WinInetFunctions() != nullptr; }

long DownloadToFile(const std::wstring& url, const std::wstring& path, const DownloadOptions& options) {
    if (!IsHttpUrl(url)) return kDownloadInvalidUrl;
    if (options.cancel && *options.cancel) return kDownloadAborted;

    auto transfer = std::make_shared<Transfer>();
    transfer->url = url;
    transfer->target = path;
    transfer->stallTimeoutMs = options.stallTimeoutMs > 0 ? options.stallTimeoutMs : 1;
    transfer->expectedSha256 = options.expectedSha256;
    transfer->verify = options.verify;
    transfer->stopSignal.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!transfer->stopSignal) return FromWin32(::GetLastError());
    transfer->Touch();

    auto* parameter = new std::shared_ptr<Transfer>(transfer);
    KernelHandle thread(::CreateThread(nullptr, 0, TransferThread, parameter, 0, nullptr));
    if (!thread) {
        const DWORD error = ::GetLastError();
        delete parameter;
        return FromWin32(error);
    }

    auto wait = [&](DWORD milliseconds) {
        if (options.wait) return options.wait(thread.get(), milliseconds);
        return ::WaitForSingleObject(thread.get(), milliseconds) == WAIT_OBJECT_0;
    };

    // Wakes a few times a second to report progress and to pass on a cancel.
    constexpr DWORD kSlice = 100;
    // A stopped worker ends within moments: it never waits on the network
    // without also waiting for the stop. Should one not, the caller still
    // returns; the worker tidies up on its own, holding its share of the state.
    constexpr ULONGLONG kEndWithinMs = 5000;
    std::uint64_t reportedReceived = 0;
    std::int64_t reportedTotal = -1;
    unsigned reportedResumes = 0;
    auto report = [&] {
        if (const unsigned resumes = transfer->resumes; resumes != reportedResumes) {
            reportedResumes = resumes;
            if (options.resuming) options.resuming();
        }
        const std::uint64_t received = transfer->received;
        const std::int64_t total = transfer->total;
        if (options.progress && (received != reportedReceived || total != reportedTotal)) {
            reportedReceived = received;
            reportedTotal = total;
            options.progress(received, total);
        }
    };

    long stopResult = kDownloadOk;
    ULONGLONG stopDeadline = 0;
    for (;;) {
        if (wait(kSlice)) break;
        report();
        const ULONGLONG now = ::GetTickCount64();
        if (stopResult != kDownloadOk) {
            if (now >= stopDeadline) return stopResult;
            continue;
        }
        if (options.cancel && *options.cancel) {
            stopResult = kDownloadAborted;
        } else if (now - transfer->lastActivity >= static_cast<ULONGLONG>(transfer->stallTimeoutMs) + kEndWithinMs) {
            // The worker notices a stall itself; this is for one held up
            // where it should not be.
            stopResult = kDownloadStalled;
        } else {
            continue;
        }
        transfer->Stop();
        stopDeadline = now + kEndWithinMs;
    }
    // The worker's own answer: a file it moved into place before a stop is there.
    if (transfer->result == kDownloadOk) report();
    return transfer->result;
}

}  // namespace tarn
