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
#include "platform/win32/Transfer.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/Platform.h"
#include "platform/ProgramImage.h"
#include "platform/WindowsPaths.h"
#include "platform/win32/DownloadResults.h"
#include "resources/version.h"

namespace tarn::download {

namespace {

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

}  // namespace

// Waits for the call that went pending, a stop, or the end of the stall time
// counted from the last byte received.
DownloadResult Transfer::Await(const RequestState& state, DownloadResult (*failure)(DWORD)) {
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

// The limit that WinINet documents for the redirects it follows itself.
constexpr int kMostRedirects = 5;

DownloadResult Transfer::Send(const WinInet& api, HINTERNET session, const Address& address,
                              const std::wstring& headers, Exchange& exchange) {
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
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
        api.InternetSetOptionW(exchange.request.get(), option, &timeout, sizeof timeout);

    state.Arm();
    if (!api.HttpSendRequestW(exchange.request.get(), headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return FromInternetError(error);
        if (const DownloadResult sent = Await(state, FromInternetError); sent != kDownloadOk) return sent;
    }
    Touch();
    return kDownloadOk;
}

DownloadResult Transfer::Open(const WinInet& api, HINTERNET session, const std::wstring& headers, Exchange& exchange,
                              DWORD& status) {
    // Requests are made from the pieces of the URL, so that their timeouts
    // are set before they are sent (InternetOpenUrl would send at once).
    std::wstring current = url;
    std::optional<Address> address = AddressOf(api, current);
    if (!address) return kDownloadInvalidUrl;
    for (int redirects = 0;; ++redirects) {
        if (Stopped()) return kDownloadAborted;
        exchange.Close();
        if (const DownloadResult sent = Send(api, session, *address, headers, exchange); sent != kDownloadOk)
            return sent;
        DWORD size = sizeof status;
        if (!api.HttpQueryInfoW(exchange.request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                                nullptr))
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

DownloadResult Transfer::BeginWhole(const WinInet& api, HINTERNET request, TemporaryFile& file) {
    total = -1;
    if (const std::optional<std::wstring> length = HeaderText(api, request, HTTP_QUERY_CONTENT_LENGTH)) {
        const std::optional<std::int64_t> parsed = ParseLength(*length);
        // A length that cannot be read cannot be held to.
        if (!parsed) return kDownloadFailed;
        total = *parsed;
    }
    validator_ = ValidatorOf(api, request);
    if (count_ > 0) {
        if (const DownloadResult emptied = file.Empty(); emptied != kDownloadOk) return emptied;
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

DownloadResult Transfer::CheckContinuation(const WinInet& api, HINTERNET request) {
    // Anything but the rest of the same body, to its end, cannot be joined
    // to what is held: the download has failed as one cut short.
    const std::optional<std::wstring> text = HeaderText(api, request, HTTP_QUERY_CONTENT_RANGE);
    const std::optional<ByteRange> range = text ? ParseContentRange(*text) : std::nullopt;
    if (!range || static_cast<std::uint64_t>(range->first) != count_) return kDownloadTruncated;
    // The body's length as the first answer gave it, or else as this one does.
    const std::int64_t known = total;
    const std::int64_t whole = known >= 0 ? known : range->length;
    if ((known >= 0 && range->length != known) || (whole >= 0 && range->last != whole - 1)) return kDownloadTruncated;
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
// A stall is no drop: a line silent that DownloadResult is not helped by asking again.
bool Transfer::MayResume(DownloadResult result, std::uint64_t attemptStart) const {
    if (result != kDownloadTruncated || Stopped() || validator_.empty() || count_ <= attemptStart) return false;
    const std::int64_t known = total;
    return known < 0 || count_ < static_cast<std::uint64_t>(known);
}

DownloadResult Transfer::Run() {
    const WinInet* api = WinInetFunctions();
    if (!api) return kDownloadNoSession;

    Internet session(api->InternetOpenW(TARNKIT_WIDEN(TARNKIT_PRODUCT_NAME), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                        nullptr, INTERNET_FLAG_ASYNC));
    if (!session ||
        api->InternetSetStatusCallbackW(session.get(), &RequestState::OnStatus) == INTERNET_INVALID_STATUS_CALLBACK)
        return kDownloadNoSession;

    Exchange exchange;
    DWORD status = 0;
    if (const DownloadResult opened = Open(*api, session.get(), {}, exchange, status); opened != kDownloadOk)
        return opened;
    // Anything but the whole program is no program: a 206 carries a part.
    if (status != HTTP_STATUS_OK) return DownloadHttpStatus(static_cast<int>(status));

    const std::wstring folder = FolderOf(target);
    if (folder.empty()) return FromWin32(::GetLastError());
    // The bytes held between attempts stay in this file alone, which goes
    // with the download unless the whole program is moved into place.
    TemporaryFile file;
    DownloadResult result = BeginWhole(*api, exchange.request.get(), file);
    if (result == kDownloadOk) result = file.Create(folder);
    std::uint64_t attemptStart = 0;
    if (result == kDownloadOk) result = Receive(*api, exchange.request.get(), *exchange.state, file.get());
    for (int resume = 0; resume < kMostResumes && MayResume(result, attemptStart); ++resume) {
        heldAtResume = count_;
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
        if (!actual)
            result = kDownloadFailed;
        else if (!SameIgnoringCase(*actual, expectedSha256))
            result = kDownloadHashMismatch;
    }
    if (result == kDownloadOk) result = file.Flush();
    if (result == kDownloadOk && verify && !verify(file.get(), file.Path())) result = kDownloadNotGenuine;
    if (result == kDownloadOk && !Commit()) result = kDownloadAborted;
    if (result == kDownloadOk) result = file.KeepAs(target);
    return result;
}

DownloadResult Transfer::Receive(const WinInet& api, HINTERNET request, RequestState& state, HANDLE file) {
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
            if (const DownloadResult waited = Await(state, FromReceiveError); waited != kDownloadOk) return waited;
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
            if (const DownloadResult waited = Await(state, FromReceiveError); waited != kDownloadOk) return waited;
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

}  // namespace tarn::download
