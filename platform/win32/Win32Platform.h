// The platform operations on Win32: the adapter behind tarn::Platform for the
// real program and the tests under Wine.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <string>

#include "platform/win32/Download.h"
#include "platform/Handle.h"
#include "platform/Platform.h"
#include "platform/win32/CheckedProgram.h"
#include "platform/win32/Waiter.h"

namespace tarn {

// Creates the process of application (its full path) with commandLine, in
// folder (empty: this process's own), and answers its handle. Throws
// StartError naming name, with the system's reason.
KernelHandle CreateProgramProcess(const std::string& name, const std::string& commandLine,
                                  const std::wstring& application, const std::wstring& folder, ShowState style);

class Win32Platform : public Platform {
public:
    // Waits without dispatching anything: for a thread without windows.
    explicit Win32Platform(std::chrono::milliseconds downloadStallTime = kDownloadStallTime);
    // Every wait (tasks, pauses, downloads) goes through waiter, which must
    // outlive this object: the program's message loop, so that its windows
    // paint and answer while a launch runs.
    explicit Win32Platform(Waiter& waiter, std::chrono::milliseconds downloadStallTime = kDownloadStallTime);

    // The window that owns the message boxes; null (no owner) until set.
    void SetOwner(HWND owner) noexcept { owner_ = owner; }

    // Who is told about downloads (the main window's progress strip); null
    // for nobody.
    void SetDownloadWatcher(DownloadWatcher* watcher) noexcept { watcher_ = watcher; }

    TaskId Shell(const std::string& commandLine, ShowState style, const ProgramCheck& check = {}) override;
    bool WaitForTasks(const std::vector<TaskId>& tasks, std::chrono::milliseconds limit) override;
    DownloadResult Download(const std::string& url, const std::string& path, const ProgramCheck& check = {}) override;
    bool FileMatches(const std::string& path, const ProgramCheck& check) override;
    void Sleep(std::chrono::milliseconds pause) override;
    std::string Environ(const std::string& name) override;
    PathFacts Inspect(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    MsgBoxAnswer MsgBox(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon) override;
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path) override;
    bool SetZOrder(WindowId window, ZOrder order) override;

private:
    // Creates the process of application (its full path) and keeps its
    // handle as the task. folder empty: ours.
    TaskId StartProcess(const std::string& commandLine, const std::wstring& application, const std::wstring& folder,
                        ShowState style);
    // Keeps process as a new task.
    TaskId Track(KernelHandle process);
    // A program file started from its checked private copy.
    TaskId ShellChecked(const std::string& path, ShowState style, const ProgramCheck& check);

    HWND owner_ = nullptr;
    std::chrono::milliseconds stallTime_;
    Waiter& waiter_;
    DownloadWatcher* watcher_ = nullptr;
    // Cleared when a download begins; set to give it up.
    std::atomic<bool> cancel_{false};
    // The processes Shell started, held until waited for or ended.
    std::map<TaskId, KernelHandle> tasks_;
    std::uint32_t nextTask_ = 1;
};

}  // namespace tarn
