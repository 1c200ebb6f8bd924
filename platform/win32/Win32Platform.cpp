#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Handle.h"
#include "platform/WindowsPaths.h"
#include "platform/win32/Authenticode.h"
#include "platform/win32/CheckedProgram.h"
#include "platform/win32/AnsiTextFile.h"
#include "platform/win32/Deadline.h"
#include "platform/win32/FilePaths.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/Text.h"
#include "platform/win32/WindowIds.h"
#include "resources/version.h"

namespace tarn {
namespace {

using text::Widen;

WORD ShowWindowValue(ShowState style) {
    switch (style) {
    case ShowState::Hidden:
        return SW_HIDE;
    case ShowState::NormalFocus:
        return SW_SHOWNORMAL;
    case ShowState::MinimizedFocus:
        return SW_SHOWMINIMIZED;
    case ShowState::MaximizedFocus:
        return SW_SHOWMAXIMIZED;
    }
    return SW_SHOWNORMAL;
}

// The wait of a thread without windows: nothing is dispatched meanwhile.
class PlainWaiter final : public Waiter {
public:
    bool Wait(void* const* handles, std::size_t count, unsigned long timeoutMs) override {
        if (count == 0 && timeoutMs == INFINITE) return true;
        const Deadline deadline(timeoutMs);
        auto remaining = [&] { return deadline.Remaining(); };
        // One handle at a time against one deadline, so that any number of
        // them can be waited for.
        for (std::size_t i = 0; i < count; ++i)
            if (::WaitForSingleObject(handles[i], remaining()) != WAIT_OBJECT_0) return false;
        // Sleep may wake a tick early by the clock that measures the pause.
        if (count == 0)
            for (DWORD left = remaining(); left > 0; left = remaining()) ::Sleep(left);
        return true;
    }
};

// Stateless: one for every adapter made without a window's loop.
constinit PlainWaiter plainWaiter;

}  // namespace

Win32Platform::Win32Platform(std::chrono::milliseconds downloadStallTime)
    : Win32Platform(plainWaiter, downloadStallTime) {}

Win32Platform::Win32Platform(Waiter& waiter, std::chrono::milliseconds downloadStallTime)
    : stallTime_(downloadStallTime), waiter_(waiter) {}

namespace {

std::wstring FolderFrom(UINT (*query)(wchar_t*, UINT)) {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = query(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return {};
    return folder;
}

UINT SystemFolder(wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); }
UINT WindowsFolder(wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); }

// Where a command's program is taken from, and the folder it runs in.
struct ProgramPlace {
    std::wstring application;  // empty: the command line names it by its full path
    std::wstring folder;       // empty: this process's current folder
};

// The program runs from a Downloads folder, where a "cmd.exe" beside it or
// in the current folder would be found first by the search that a bare name
// starts. The system's programs are named by their full path instead, and
// cmd runs in the system folder, so that the "taskkill" it is given is the
// system's too.
ProgramPlace PlaceOf(const std::string& commandLine) {
    const std::string name = ProgramOfCommand(commandLine);
    const std::wstring program = Widen(name);
    if (SameIgnoringCase(name, "cmd.exe")) {
        const std::wstring system = FolderFrom(SystemFolder);
        if (system.empty()) throw PlatformError(text::SystemMessage(::GetLastError()));
        return {system + L"\\cmd.exe", system};
    }
    if (SameIgnoringCase(name, "explorer.exe")) {
        const std::wstring windows = FolderFrom(WindowsFolder);
        const std::wstring system = FolderFrom(SystemFolder);
        if (windows.empty() || system.empty()) throw PlatformError(text::SystemMessage(::GetLastError()));
        return {windows + L"\\explorer.exe", system};
    }
    // Anything else is one of the clients, named by its full path; a bare
    // name would be searched for.
    if (!IsAbsoluteWindowsPath(name)) throw PlatformError(text::SystemMessage(ERROR_FILE_NOT_FOUND, name));
    return {program, {}};
}

}  // namespace

TaskId Win32Platform::Shell(const std::string& commandLine, ShowState style, const ProgramCheck& check) {
    if (check.Any()) return ShellChecked(commandLine, style, check);
    ProgramPlace place;
    try {
        place = PlaceOf(commandLine);
    } catch (const PlatformError& error) {
        throw StartError(commandLine, error.what());
    }
    return StartProcess(commandLine, place.application, place.folder, style);
}

namespace {

// A limit as Win32's waits take it: INFINITE only for no limit, never for a
// DownloadResult one by accident.
DWORD WaitMs(std::chrono::milliseconds limit) {
    if (limit == kNoTimeLimit) return INFINITE;
    if (limit.count() <= 0) return 0;
    return static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(limit.count(), INFINITE - 1));
}

// The system's answers for a file it cannot run as a program at all.
StartFailure StartFailureOf(DWORD error) {
    switch (error) {
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
    case ERROR_INVALID_EXE_SIGNATURE:
    case ERROR_EXE_MARKED_INVALID:
    case ERROR_FILE_CORRUPT:
        return StartFailure::NotAProgram;
    default:
        return StartFailure::Other;
    }
}

}  // namespace

KernelHandle CreateProgramProcess(const std::string& name, const std::string& commandLine,
                                  const std::wstring& application, const std::wstring& folder, ShowState style) {
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::wstring buffer = Widen(commandLine);
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = ShowWindowValue(style);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        const DWORD error = ::GetLastError();
        // The reason fills the system's "%1" with "this file": the box names
        // the program itself, once.
        throw StartError(name, text::SystemMessage(error), StartFailureOf(error));
    }
    const KernelHandle threadHandle(process.hThread);
    return KernelHandle(process.hProcess);
}

TaskId Win32Platform::StartProcess(const std::string& commandLine, const std::wstring& application,
                                   const std::wstring& folder, ShowState style) {
    return Track(CreateProgramProcess(commandLine, commandLine, application, folder, style));
}

TaskId Win32Platform::Track(KernelHandle process) {
    // Processes nobody waits for are let go once they have ended.
    for (auto it = tasks_.begin(); it != tasks_.end();)
        it = ::WaitForSingleObject(it->second.get(), 0) == WAIT_OBJECT_0 ? tasks_.erase(it) : std::next(it);
    const TaskId task{nextTask_++};
    tasks_.emplace(task, std::move(process));
    return task;
}

TaskId Win32Platform::ShellChecked(const std::string& path, ShowState style, const ProgramCheck& check) {
    const FileHandle source = OpenProgramFile(path);
    // The copy's path may hold blanks (the user's name): quoted, it stays the
    // program's one argument zero.
    return Track(StartCheckedCopy(
        source.get(), path, check,
        [&](const std::wstring& application, const std::wstring& folder) {
            return CreateProgramProcess(path, "\"" + text::Narrow(application) + "\"", application, folder, style);
        },
        &waiter_));
}

bool Win32Platform::WaitForTasks(const std::vector<TaskId>& tasks, std::chrono::milliseconds limit) {
    std::vector<HANDLE> handles;
    for (TaskId id : tasks)
        if (auto it = tasks_.find(id); it != tasks_.end()) handles.push_back(it->second.get());
    bool ended = true;
    if (!handles.empty()) ended = waiter_.Wait(handles.data(), handles.size(), WaitMs(limit));
    // A task that has ended is let go; one still running stays held, so
    // that a later wait for it still waits for that process.
    for (TaskId id : tasks)
        if (auto it = tasks_.find(id);
            it != tasks_.end() && ::WaitForSingleObject(it->second.get(), 0) == WAIT_OBJECT_0)
            tasks_.erase(it);
    return ended;
}

namespace {

// Tells the watcher that a download runs, and that it has ended however the
// download returns.
class WatchedDownload {
public:
    WatchedDownload(DownloadWatcher* watcher, const std::string& path, std::atomic<bool>& cancel) : watcher_(watcher) {
        if (watcher_) watcher_->DownloadBegins(path, [&cancel] { cancel = true; });
    }
    ~WatchedDownload() {
        if (watcher_) watcher_->DownloadEnds();
    }
    WatchedDownload(const WatchedDownload&) = delete;
    WatchedDownload& operator=(const WatchedDownload&) = delete;

private:
    DownloadWatcher* watcher_;
};

}  // namespace

DownloadResult Win32Platform::Download(const std::string& url, const std::string& path, const ProgramCheck& check) {
    cancel_ = false;
    DownloadOptions options;
    options.stallTime = stallTime_;
    options.cancel = &cancel_;
    options.wait = [this](void* handle, unsigned long timeoutMs) { return waiter_.Wait(&handle, 1, timeoutMs); };
    if (watcher_) {
        options.progress = [watcher = watcher_](std::uint64_t received, std::optional<std::uint64_t> total) {
            watcher->DownloadProgress(received, total);
        };
        options.resuming = [watcher = watcher_] { watcher->DownloadResumes(); };
    }
    options.expectedSha256 = check.sha256;
    if (!check.publisher.empty())
        options.verify = [publisher = check.publisher](void* file, const std::wstring& name) {
            return CheckPublisher(file, name, publisher) == PublisherCheck::Genuine;
        };
    WatchedDownload shown(watcher_, path, cancel_);
    return DownloadToFile(Widen(url), Widen(path), options);
}

void Win32Platform::Sleep(std::chrono::milliseconds pause) { waiter_.Wait(nullptr, 0, WaitMs(pause)); }

std::string Win32Platform::Environ(const std::string& name) {
    const std::wstring wideName = Widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD length =
            ::GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) return {};  // not set, or set to nothing
        if (length < value.size()) {
            value.resize(length);
            return text::Narrow(value);
        }
        value.assign(length, L'\0');  // length counts the terminator here
    }
}

bool Win32Platform::FileMatches(const std::string& path, const ProgramCheck& check) {
    try {
        HoldProgramFile(path, check, &waiter_);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

PathFacts Win32Platform::Inspect(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    return {true, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0};
}

bool Win32Platform::RemoveFile(const std::string& path) {
    const std::wstring named = FullPathOf(Widen(path));
    if (named.empty()) return false;
    // Every question below goes to this one handle: a second look by name
    // could meet another file, put there by whoever can write a folder on
    // the way. Nobody may rename or delete the file while it is held.
    FileHandle file(::CreateFileW(named.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                  nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION facts{};
    if (!::GetFileInformationByHandle(file.get(), &facts) ||
        (facts.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    // A junction on any folder of the path, made before the name was built
    // or after, leaves the file reached somewhere else than named.
    const std::wstring reached = FinalPathOf(file.get());
    if (reached.empty() || (!SameFileName(reached, named) && !SameFileName(reached, LongPathOf(named)))) return false;
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

void Win32Platform::CreateFolder(const std::string& path) {
    const std::wstring widePath = Widen(path);
    if (::CreateDirectoryW(widePath.c_str(), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && Inspect(path).folder) return;
    // A file of that name blocks the folder: the system's "already exists".
    throw PlatformError(text::SystemMessage(error, path));
}

MsgBoxAnswer Win32Platform::MsgBox(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon) {
    UINT type = MB_OK;
    switch (buttons) {
    case MsgBoxButtons::Ok:
        type = MB_OK;
        break;
    case MsgBoxButtons::YesNoCancel:
        type = MB_YESNOCANCEL;
        break;
    case MsgBoxButtons::YesNo:
        type = MB_YESNO;
        break;
    }
    if (icon == MsgBoxIcon::Warning) type |= MB_ICONWARNING;
    switch (::MessageBoxW(owner_, Widen(prompt).c_str(), TARNKIT_WIDEN(TARNKIT_PRODUCT_NAME), type)) {
    case IDYES:
        return MsgBoxAnswer::Yes;
    case IDNO:
        return MsgBoxAnswer::No;
    case IDCANCEL:
        return MsgBoxAnswer::Cancel;
    default:
        return MsgBoxAnswer::Ok;
    }
}

std::unique_ptr<TextFile> Win32Platform::CreateTextFile(const std::string& path) { return CreateOrTruncate(path); }

bool Win32Platform::SetZOrder(WindowId window, ZOrder order) {
    HWND after = order == ZOrder::TopMost ? HWND_TOPMOST : HWND_NOTOPMOST;
    return ::SetWindowPos(HwndOf(window), after, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE) != FALSE;
}

}  // namespace tarn
