// The worker that fetches one download, and the state it shares with the
// caller that waits for it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/Download.h"
#include "platform/Handle.h"
#include "platform/win32/InternetRequest.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/TemporaryFile.h"
#include "platform/win32/WinInet.h"

namespace tarn::download {

// State shared by the caller and the worker. The worker may outlive the
// caller's wait, so both hold it.
struct Transfer {
    // Set before the worker starts.
    std::wstring url;
    std::wstring target;
    int stallTimeoutMs = 0;
    std::string expectedSha256;                                        // empty: any body will do
    std::function<bool(void* file, const std::wstring& path)> verify;  // empty: no such check
    KernelHandle stopSignal;                                           // set by the caller: stop now

    std::atomic<std::uint64_t> received{0};
    std::atomic<std::int64_t> total{-1};
    std::atomic<unsigned> resumes{0};            // how often the rest was asked for again
    std::atomic<std::uint64_t> heldAtResume{0};  // the bytes held when it last was
    std::atomic<ULONGLONG> lastActivity{0};
    DownloadResult result = kDownloadFailed;  // the worker's answer, read after it ended

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

    DownloadResult Run();

private:
    enum { kRunning, kStopped, kCommitted };
    std::atomic<int> phase_{kRunning};
    std::optional<Sha256> digest_;  // taken as the body arrives, so the file is not read twice
    // The body as it has arrived, over every answer that carried a part of it.
    std::vector<unsigned char> head_;  // its start, to judge it
    std::uint64_t count_ = 0;          // the bytes in the temporary file
    std::wstring validator_;           // the body's ETag or Last-Modified; empty: it cannot be resumed

    DownloadResult Await(const RequestState& state, DownloadResult (*failure)(DWORD));
    // Opens a request for address on a connection of its own and sends it
    // with headers (none when empty).
    DownloadResult Send(const WinInet& api, HINTERNET session, const Address& address, const std::wstring& headers,
                        Exchange& exchange);
    // Requests url, following redirects as allowed; the final answer's status.
    DownloadResult Open(const WinInet& api, HINTERNET session, const std::wstring& headers, Exchange& exchange,
                        DWORD& status);
    // A 200: the whole body from its first byte, into an empty file.
    DownloadResult BeginWhole(const WinInet& api, HINTERNET request, TemporaryFile& file);
    // A 206 answering for the rest after count_: only the rest of the same body.
    DownloadResult CheckContinuation(const WinInet& api, HINTERNET request);
    DownloadResult Receive(const WinInet& api, HINTERNET request, RequestState& state, HANDLE file);
    bool MayResume(DownloadResult result, std::uint64_t attemptStart) const;
};

// The worker thread's body: runs the Transfer that parameter (a new
// std::shared_ptr<Transfer>, which it deletes) shares, and leaves the
// result there.
DWORD WINAPI TransferThread(void* parameter);

}  // namespace tarn::download
