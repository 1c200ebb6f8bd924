// Fetching a program file over HTTP into a local file, on Windows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/DownloadResult.h"

namespace tarn {

struct DownloadOptions {
    // A transfer that receives nothing for this long fails with kDownloadStalled.
    std::chrono::milliseconds stallTime = kDownloadStallTime;
    // Called on the caller's thread while it waits, whenever more has
    // arrived; total is nothing when the server gave no length.
    std::function<void(std::uint64_t received, std::optional<std::uint64_t> total)> progress;
    // Called on the caller's thread when the line dropped and the rest of
    // the body is asked for again; progress follows once it comes.
    std::function<void()> resuming;
    // Set by another thread to give up; a cancelled download has failed.
    const std::atomic<bool>* cancel = nullptr;
    // How the caller's thread waits for the transfer: a handle and a time in
    // milliseconds; true when the handle was signalled. Empty: a plain wait.
    std::function<bool(void* handle, unsigned long timeoutMs)> wait;
    // The SHA-256 (hex, either case) the body must have; a body with another
    // fails with kDownloadHashMismatch (Platform.h). Empty: no check.
    std::string expectedSha256;
    // Asked, when the whole body is in the temporary file (open at file,
    // named path, readable), whether it may be kept; false fails the download
    // with kDownloadNotGenuine (Platform.h). Empty: no such check.
    // Called on the transfer's own thread, which may outlive the call to
    // DownloadToFile: what it needs, it holds by value.
    std::function<bool(void* file, const std::wstring& path)> verify;
};

// Fetches url (http or https) into path, synchronously. Over http WinINet
// follows redirects as it does by itself; over https only redirects to https
// are followed, five at most, each server's certificate checked: one to any
// other address fails with kDownloadInsecureRedirect before it is requested,
// a sixth with kDownloadTooManyRedirects. Succeeds only when the final
// server answers 200, the whole body arrives, the body begins with "MZ" and,
// when options ask, it has the expected SHA-256 and passes verify. Whole
// means exactly Content-Length when given (leading zeros allowed; a value
// that is not a plain decimal number fails with kDownloadFailed), and
// without one, everything the program's own headers say it holds: headers,
// sections and certificate table (else kDownloadTruncated). Any other status
// fails with DownloadHttpStatus(status). The body goes to a temporary file in
// path's folder, which the system removes even when the process is killed
// before the end, and replaces path only on success; on failure nothing new
// is left and a file already at path stays untouched. Never served from or
// kept in a cache. A download is stalled only when no byte at all arrived
// for the stall time.
//
// A line that drops (the connection ends before the body's length, or a
// chunked body before its last chunk) after an answer brought at least one
// byte is asked again for the rest, up to three more times, when the first
// answer named its body by a strong ETag or a Last-Modified date: "Range:
// bytes=HELD-" with that as If-Range. Only a 206 for exactly the rest of a
// body of the first answer's length continues it (anything else that is no
// 200 fails; a 206 that does not fit as kDownloadTruncated); a 200 is the
// server starting over, and its body is taken from its first byte. The
// bytes held stay in the temporary file, so the checks above are made on
// the whole body as ever. A stall is not asked again.
DownloadResult DownloadToFile(const std::wstring& url, const std::wstring& path, const DownloadOptions& options);

// Loads WinINet from the system folder now rather than in the first
// download, for a caller that would not count its loading (some 30 ms under
// Wine) in that download's time. False when it cannot be loaded: every
// download then fails with kDownloadNoSession.
bool PrepareDownloads() noexcept;

}  // namespace tarn
