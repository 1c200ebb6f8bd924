// The caller's side of a download: it starts the worker (Transfer.cpp),
// waits for it without being held by the network, reports progress and
// passes on a cancel.
#include "platform/win32/Download.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <optional>

#include "platform/win32/DownloadResults.h"
#include "platform/win32/Transfer.h"
#include "platform/win32/WinInet.h"

namespace tarn {
namespace {

using namespace download;

bool IsHttpUrl(const std::wstring& url) {
    auto startsWith = [&](const wchar_t* scheme) {
        const std::size_t n = wcslen(scheme);
        return url.size() > n && _wcsnicmp(url.c_str(), scheme, n) == 0;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}

}  // namespace

bool PrepareDownloads() noexcept { return WinInetFunctions() != nullptr; }

DownloadResult DownloadToFile(const std::wstring& url, const std::wstring& path, const DownloadOptions& options) {
    if (!IsHttpUrl(url)) return kDownloadInvalidUrl;
    if (options.cancel && *options.cancel) return kDownloadAborted;

    auto transfer = std::make_shared<Transfer>();
    transfer->url = url;
    transfer->target = path;
    // Win32's timers take a DWORD of milliseconds; a day is far beyond any stall worth waiting out.
    transfer->stallTimeoutMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
        options.stallTime.count(), 1, std::chrono::milliseconds(std::chrono::hours(24)).count()));
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
    std::optional<std::uint64_t> reportedTotal;
    unsigned reportedResumes = 0;
    auto tell = [&](std::uint64_t received, std::optional<std::uint64_t> total) {
        if (options.progress && (received != reportedReceived || total != reportedTotal)) {
            reportedReceived = received;
            reportedTotal = total;
            options.progress(received, total);
        }
    };
    // A drop is told between the bytes that came before it and those after,
    // however many of either one look at the counts finds.
    auto report = [&] {
        const unsigned resumes = transfer->resumes;
        const std::uint64_t held = transfer->heldAtResume;
        const std::uint64_t received = transfer->received;
        // The worker counts an unknown length as -1.
        const std::int64_t length = transfer->total;
        const auto total = length < 0 ? std::nullopt : std::optional(static_cast<std::uint64_t>(length));
        if (resumes != reportedResumes) {
            tell(held, total);
            reportedResumes = resumes;
            if (options.resuming) options.resuming();
        }
        tell(received, total);
    };

    DownloadResult stopResult = kDownloadOk;
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
