// One WinINet request and what it reports to, closed in the order WinINet
// needs.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/Handle.h"
#include "platform/win32/WinInet.h"

namespace tarn::download {

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

}  // namespace tarn::download
