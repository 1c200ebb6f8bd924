// WinINet rather than URLDownloadToFileA: under Wine, URLDownloadToFileA
// answers 0 for a 404 and saves the error page as the program file. With
// WinINet the status code, the promised length and the bytes themselves are
// in our hands.
//
// The transfer runs on a worker thread while the caller waits through
// options.wait, so the caller notices a stall or a cancel whether or not a
// read returns. Two things end a read from a silent server: closing the
// internet handles (Windows cancels the pending call), and the per-request
// receive timeout (what Wine 8 honours; closing does not wake its read).
#include "platform/Download.h"

#include <windows.h>
#include <wininet.h>

#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "platform/Sha256.h"

namespace tarn {
namespace {

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
        return kDownloadStalled;
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        return kDownloadInvalidUrl;
    case ERROR_NOT_ENOUGH_MEMORY:
        return kDownloadOutOfMemory;
    default:
        return kDownloadFailed;
    }
}

long FromStatus(DWORD status) {
    if (status >= 200 && status < 300) return kDownloadOk;
    if (status == HTTP_STATUS_NOT_FOUND || status == HTTP_STATUS_GONE) return kDownloadNotFound;
    return kDownloadFailed;
}

bool IsHttpUrl(const std::wstring& url) {
    auto startsWith = [&](const wchar_t* scheme) {
        const std::size_t n = wcslen(scheme);
        return url.size() > n && _wcsnicmp(url.c_str(), scheme, n) == 0;
    };
    return startsWith(L"http://") || startsWith(L"https://");
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

// State shared by the caller and the worker. The worker may outlive the
// caller's wait (a read that even closing cannot break), so both hold it.
struct Transfer {
    std::wstring url;
    std::wstring target;
    int stallTimeoutMs = 0;
    std::string expectedSha256;  // empty: any body will do
    // The body's hash, taken as it arrives so the file is not read twice.
    std::optional<Sha256> digest;

    // Set by the waiting thread on a stall or a cancel. The worker never
    // reads the caller's cancel flag itself: it may outlive the call.
    std::atomic<bool> aborted{false};
    std::atomic<std::uint64_t> received{0};
    std::atomic<std::int64_t> total{-1};
    std::atomic<ULONGLONG> lastActivity{0};
    long result = kDownloadFailed;  // the worker's answer, read after it ends

    // The internet handles, closed by whichever thread comes first.
    std::mutex mutex;
    InternetHandle session;
    InternetHandle request;

    void Touch() { lastActivity = ::GetTickCount64(); }
    bool ShouldStop() const { return aborted; }

    void CloseInternet() {
        std::lock_guard lock(mutex);
        request.reset();
        session.reset();
    }

    long Run();
    long Receive(HINTERNET handle, HANDLE file);
};

long Transfer::Run() {
    // The pieces of the URL, for a request whose timeouts are set before it
    // is sent (InternetOpenUrl would send it first).
    wchar_t host[256] = {};
    std::wstring path(url.size() + 1, L'\0');
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    std::wstring extra(url.size() + 1, L'\0');
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts) || parts.dwHostNameLength == 0) return kDownloadInvalidUrl;
    path.resize(parts.dwUrlPathLength);
    extra.resize(parts.dwExtraInfoLength);
    std::wstring object = path.empty() ? L"/" : path;
    object += extra;  // the query, which names what is fetched as much as the path does
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    HINTERNET sessionHandle = nullptr;
    HINTERNET requestHandle = nullptr;
    {
        std::lock_guard lock(mutex);
        if (ShouldStop()) return kDownloadAborted;
        session.reset(::InternetOpenW(L"tarn-kit", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session) return kDownloadNoSession;
        sessionHandle = session.get();
    }
    InternetHandle connection(::InternetConnectW(sessionHandle, host, parts.nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return FromInternetError(::GetLastError());

    // A re-download must really fetch again: no cache read, no cache write.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | (secure ? INTERNET_FLAG_SECURE : 0);
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    {
        std::lock_guard lock(mutex);
        if (!session) return kDownloadAborted;
        request.reset(::HttpOpenRequestW(connection.get(), L"GET", object.c_str(), nullptr, nullptr, acceptTypes,
                                         flags, 0));
        if (!request) return FromInternetError(::GetLastError());
        requestHandle = request.get();
        // Wine's WinINet honours these per request, on each socket read: it
        // is what really ends a read from a server that went silent.
        DWORD timeout = static_cast<DWORD>(stallTimeoutMs);
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_SEND_TIMEOUT})
            ::InternetSetOptionW(requestHandle, option, &timeout, sizeof timeout);
    }
    HINTERNET opened = requestHandle;
    if (!::HttpSendRequestW(opened, nullptr, 0, nullptr, 0)) {
        const DWORD error = ::GetLastError();
        return ShouldStop() ? kDownloadAborted : FromInternetError(error);
    }
    Touch();

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(opened, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return kDownloadFailed;
    if (const long result = FromStatus(status); result != kDownloadOk) return result;
    // These answers carry no body by definition, so there is no program.
    if (status == HTTP_STATUS_NO_CONTENT || status == HTTP_STATUS_RESET_CONTENT) return kDownloadNotProgram;

    // Read as text: the 64-bit number flag is not known to every WinINet.
    wchar_t lengthText[32] = {};
    size = sizeof lengthText - sizeof(wchar_t);
    if (::HttpQueryInfoW(opened, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr)) {
        wchar_t* end = nullptr;
        const unsigned long long length = wcstoull(lengthText, &end, 10);
        if (end != lengthText && *end == L'\0') total = static_cast<std::int64_t>(length);
    }

    if (!expectedSha256.empty()) {
        digest.emplace();
        if (!digest->Ok()) return kDownloadFailed;  // a pinned file is never kept unchecked
    }

    const std::wstring folder = FolderOf(target);
    if (folder.empty()) return FromWin32(::GetLastError());
    wchar_t tempName[MAX_PATH + 1] = {};
    if (::GetTempFileNameW(folder.c_str(), L"tkd", 0, tempName) == 0) return FromWin32(::GetLastError());

    long result;
    {
        FileHandle file(::CreateFileW(tempName, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        result = file ? Receive(opened, file.get()) : FromWin32(::GetLastError());
    }
    if (result == kDownloadOk && digest) {
        const std::optional<std::string> actual = digest->Finish();
        if (!actual) result = kDownloadFailed;
        else if (!SameSha256(*actual, expectedSha256)) result = kDownloadHashMismatch;
    }
    if (result == kDownloadOk && ShouldStop()) result = kDownloadAborted;
    if (result == kDownloadOk && !::MoveFileExW(tempName, target.c_str(), MOVEFILE_REPLACE_EXISTING))
        result = FromWin32(::GetLastError());
    if (result != kDownloadOk) ::DeleteFileW(tempName);
    return result;
}

long Transfer::Receive(HINTERNET handle, HANDLE file) {
    // A read returns only once its size has arrived (or the body ended), so
    // the size follows the line: large while reads fill at once, which a
    // fast line needs (every read crosses Wine's layers), small while they
    // take their time, so progress keeps moving and a slow line is never
    // mistaken for a stalled one.
    constexpr DWORD kSmallestRead = 16 * 1024;
    constexpr DWORD kLargestRead = 1024 * 1024;
    std::vector<char> buffer(kLargestRead);
    DWORD readSize = 64 * 1024;
    char head[2] = {};
    std::uint64_t count = 0;
    for (;;) {
        if (ShouldStop()) return kDownloadAborted;
        DWORD got = 0;
        const ULONGLONG readStart = ::GetTickCount64();
        const BOOL read = ::InternetReadFile(handle, buffer.data(), readSize, &got);
        const ULONGLONG readTime = ::GetTickCount64() - readStart;
        if (read && got == readSize && readTime < 50 && readSize < kLargestRead) readSize *= 2;
        else if (read && readTime > 500 && readSize > kSmallestRead) readSize /= 2;
        const DWORD error = read ? 0 : ::GetLastError();
        if (ShouldStop()) return kDownloadAborted;
        if (!read || got == 0) {
            // Wine ends a read that timed out as if the body had ended; a
            // silence as long as the stall time tells the two apart.
            const bool silent = ::GetTickCount64() - readStart >= static_cast<ULONGLONG>(stallTimeoutMs) * 9 / 10;
            if (error == ERROR_INTERNET_TIMEOUT || silent) return kDownloadStalled;
            if (!read) return kDownloadTruncated;
            break;
        }
        Touch();
        // Judge the first two bytes as soon as they are here, so an error
        // page is not fetched to its end.
        for (DWORD i = 0; i < got && count + i < 2; ++i) head[count + i] = buffer[i];
        count += got;
        if (count >= 2 && (head[0] != 'M' || head[1] != 'Z')) return kDownloadNotProgram;
        DWORD written = 0;
        if (!::WriteFile(file, buffer.data(), got, &written, nullptr) || written != got)
            return FromWin32(::GetLastError());
        if (digest && !digest->Update(buffer.data(), got)) return kDownloadFailed;
        received = count;
    }
    if (total >= 0 && count != static_cast<std::uint64_t>(total.load())) return kDownloadTruncated;
    if (count < 2) return kDownloadNotProgram;
    return kDownloadOk;
}

DWORD WINAPI TransferThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<Transfer>> owner(static_cast<std::shared_ptr<Transfer>*>(parameter));
    Transfer& transfer = **owner;
    try {
        transfer.result = transfer.Run();
    } catch (...) {
        transfer.result = kDownloadOutOfMemory;
    }
    transfer.CloseInternet();
    return 0;
}

}  // namespace

long DownloadToFile(const std::wstring& url, const std::wstring& path, const DownloadOptions& options) {
    if (!IsHttpUrl(url)) return kDownloadInvalidUrl;
    if (options.cancel && *options.cancel) return kDownloadAborted;

    auto transfer = std::make_shared<Transfer>();
    transfer->url = url;
    transfer->target = path;
    transfer->stallTimeoutMs = options.stallTimeoutMs > 0 ? options.stallTimeoutMs : 1;
    transfer->expectedSha256 = options.expectedSha256;
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

    // Wakes a few times a second to report progress and to watch for a stall
    // or a cancel; the worker itself may be stuck in a read.
    constexpr DWORD kSlice = 100;
    std::uint64_t reportedReceived = 0;
    std::int64_t reportedTotal = -1;
    auto report = [&] {
        const std::uint64_t received = transfer->received;
        const std::int64_t total = transfer->total;
        if (options.progress && (received != reportedReceived || total != reportedTotal)) {
            reportedReceived = received;
            reportedTotal = total;
            options.progress(received, total);
        }
    };

    long abortResult = kDownloadOk;
    for (;;) {
        if (wait(kSlice)) break;
        report();
        if (options.cancel && *options.cancel) {
            abortResult = kDownloadAborted;
        } else if (::GetTickCount64() - transfer->lastActivity >= static_cast<ULONGLONG>(transfer->stallTimeoutMs)) {
            abortResult = kDownloadStalled;
        } else {
            continue;
        }
        transfer->aborted = true;
        transfer->CloseInternet();  // breaks a blocked connect or read
        // The worker removes its temporary file on the way out. Should a read
        // survive the close, the caller still returns; the worker finishes and
        // tidies up on its own, holding its share of the state.
        const ULONGLONG deadline = ::GetTickCount64() + 10000;
        bool ended = false;
        while (!ended && ::GetTickCount64() < deadline) ended = wait(kSlice);
        // A worker that got the file into place just before the abort has
        // succeeded; saying otherwise would misreport what is on disk.
        if (ended && transfer->result == kDownloadOk) break;
        return abortResult;
    }
    if (transfer->result == kDownloadOk) report();
    return transfer->result;
}

}  // namespace tarn
