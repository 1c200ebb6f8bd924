// The platform operations on Win32: the adapter behind tarn::Platform for the
// real program and the tests under Wine.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/Download.h"
#include "platform/Platform.h"

namespace tarn {

class Win32Platform : public Platform {
public:
    static constexpr int kDefaultStallTimeoutMs = 30000;

    explicit Win32Platform(int downloadStallTimeoutMs = kDefaultStallTimeoutMs);

    // The window that owns the message boxes; null (no owner) until set.
    void SetOwner(HWND owner) noexcept { owner_ = owner; }

    // Progress and cancel hooks for downloads; the stall time is set here too.
    DownloadOptions& DownloadSettings() noexcept { return downloadOptions_; }

    TaskId Shell(const std::string& commandLine, WindowStyle style) override;
    bool WaitForTasks(const std::vector<TaskId>& tasks, int timeoutMs) override;
    long Download(const std::string& url, const std::string& path) override;
    // The plain download with the body's SHA-256 checked as it arrives.
    long DownloadPinned(const std::string& url, const std::string& path,
                        const std::string& expectedSha256) override;
    std::optional<std::string> FileSha256(const std::string& path) override;
    void Sleep(int milliseconds) override;
    std::string Environ(const std::string& name) override;
    std::optional<std::uint32_t> FileAttributes(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    int MsgBox(const std::string& prompt, int buttons) override;
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path) override;
    std::unique_ptr<TextFile> OpenForOutput(const std::string& path) override;
    int SetWindowPos(std::uintptr_t window, std::intptr_t insertAfter, unsigned flags) override;

private:
    // Every wait of this class goes through here (tasks, pauses, downloads),
    // so that one place decides what the thread does while it waits. True
    // when all handles were signalled within the time; with no handles it
    // simply lets the time pass.
    bool WaitForHandles(const HANDLE* handles, std::size_t count, DWORD timeoutMs);

    HWND owner_ = nullptr;
    DownloadOptions downloadOptions_;
};

}  // namespace tarn
