// The platform operations on Win32: the adapter behind tarn::Platform for the
// real program and the tests under Wine.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "platform/Download.h"
#include "platform/Handle.h"
#include "platform/Platform.h"

namespace tarn {

// Shows a download while it runs. Called on the downloading thread, between
// the slices of its wait; cancel may be called from any thread until
// DownloadEnds, and makes the download fail as a cancelled one.
class DownloadWatcher {
public:
    virtual ~DownloadWatcher() = default;
    virtual void DownloadBegins(const std::string& path, std::function<void()> cancel) = 0;
    // total is -1 when the server gave no length.
    virtual void DownloadProgress(std::uint64_t received, std::int64_t total) = 0;
    virtual void DownloadEnds() = 0;
};

// Opens the program file at path, checks that it passes check and keeps it
// open so that, until the handle is closed, nobody can change, replace or
// delete it. Throws StartError naming path, with kPinMismatchReason for
// other content and kNotGenuineReason for a file its publisher did not sign.
FileHandle HoldProgramFile(const std::string& path, const ProgramCheck& check);

// Whether the file open at file (named path) is the genuine program of
// publisher: validly signed by that signer through a trusted chain.
bool IsGenuine(void* file, const std::string& path, const std::string& publisher) noexcept;

class Win32Platform : public Platform {
public:
    static constexpr int kDefaultStallTimeoutMs = 30000;

    explicit Win32Platform(int downloadStallTimeoutMs = kDefaultStallTimeoutMs);

    // The window that owns the message boxes; null (no owner) until set.
    void SetOwner(HWND owner) noexcept { owner_ = owner; }

    // Progress and cancel hooks for downloads; the stall time is set here too.
    DownloadOptions& DownloadSettings() noexcept { return downloadOptions_; }

    // Who is told about downloads (the main window's progress strip); null
    // for nobody.
    void SetDownloadWatcher(DownloadWatcher* watcher) noexcept { watcher_ = watcher; }

    // Offered every message met while a wait pumps messages, before it is
    // dispatched; true when the filter dealt with it (the main window's
    // keyboard handling, as in the message loop).
    void SetMessageFilter(std::function<bool(MSG&)> filter) { messageFilter_ = std::move(filter); }

    TaskId Shell(const std::string& commandLine, WindowStyle style) override;
    TaskId ShellChecked(const std::string& path, WindowStyle style, const ProgramCheck& check) override;
    bool WaitForTasks(const std::vector<TaskId>& tasks, int timeoutMs) override;
    long Download(const std::string& url, const std::string& path) override;
    // The plain download with the body checked before it is kept.
    long DownloadChecked(const std::string& url, const std::string& path, const ProgramCheck& check) override;
    bool FileMatches(const std::string& path, const ProgramCheck& check) override;
    void Sleep(int milliseconds) override;
    std::string Environ(const std::string& name) override;
    PathFacts Facts(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    MsgBoxAnswer MsgBox(const std::string& prompt, MsgBoxButtons buttons) override;
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path) override;
    int SetZOrder(std::uintptr_t window, ZOrder order) override;

private:
    // Every wait of this class goes through here (tasks, pauses, downloads),
    // so that one place decides what the thread does while it waits: it
    // keeps dispatching the thread's window messages, so the windows paint
    // and answer while a launch runs. True when all handles were signalled
    // within the time; with no handles it simply lets the time pass.
    bool WaitForHandles(const HANDLE* handles, std::size_t count, DWORD timeoutMs);
    // Dispatches what is queued; false once WM_QUIT was met (taken from the
    // queue, so the caller must post it again).
    bool PumpMessages(int& quitCode);
    // Creates the process and keeps its handle as the task. application
    // empty: the command line names the program; folder empty: ours.
    TaskId StartProcess(const std::string& commandLine, const std::wstring& application, const std::wstring& folder,
                        WindowStyle style);
    // The options of one download: the settings, this class's wait, cancel
    // flag and the watcher's progress.
    DownloadOptions OptionsForDownload();

    HWND owner_ = nullptr;
    DownloadOptions downloadOptions_;
    DownloadWatcher* watcher_ = nullptr;
    std::function<bool(MSG&)> messageFilter_;
    // Cleared when a download begins; set to give it up.
    std::atomic<bool> cancel_{false};
    // The processes Shell started, held until waited for or ended.
    std::map<TaskId, KernelHandle> tasks_;
    TaskId nextTask_ = 1;
};

}  // namespace tarn
