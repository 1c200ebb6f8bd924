// The narrow interface through which the launcher's logic reaches the
// operating system. The logic in launch/ and windows/ holds only this, so it
// builds on Linux and is tested against a recording fake; the Win32 adapter
// behind it lives in Win32Platform.
//
// All text is UTF-8. Conversion to UTF-16 or to the ANSI code page happens in
// the adapter, at the call into Windows.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DownloadResult.h"
#include "platform/Error.h"

namespace tarn {

// A failed operation, carrying a message the user may read (the system's own
// reason where there is one).
class PlatformError : public Error {
public:
    using Error::Error;
};

// Why a program could not be started, where the cause asks for more than
// telling: a program file that the system cannot run at all (cut short,
// damaged on disk, not a Windows program), which fetching it again mends.
enum class StartFailure { Other, NotAProgram };

// Shell could not start a program; names the command line.
class StartError : public PlatformError {
public:
    StartError(std::string commandLine, const std::string& reason, StartFailure cause = StartFailure::Other)
        : PlatformError(reason), commandLine_(std::move(commandLine)), cause_(cause) {}
    const std::string& CommandLine() const { return commandLine_; }
    StartFailure Cause() const { return cause_; }

private:
    std::string commandLine_;
    StartFailure cause_;
};

// Why a checked program file was not started: other content than pinned,
// or not its publisher's genuine signed program.
inline constexpr char kPinMismatchReason[] = "檔案與預期的不符，不予啟動。";
inline constexpr char kNotGenuineReason[] = "檔案不是發行者的正版程式，不予啟動。";
// A checked program file starts from a copy in the user's own folder; why
// it did not start when that copy could not be made. The cause follows on
// its own line.
inline constexpr char kPrivateCopyReason[] = "無法在您自己的資料夾中備妥程式的安全副本，不予啟動。";

// What a program file must be before the launcher keeps or starts it.
struct ProgramCheck {
    std::string sha256;     // its SHA-256, 64 hex digits (either case); empty: any content
    std::string publisher;  // its Authenticode signer's name, exactly; empty: signed or not
    bool Any() const { return !sha256.empty() || !publisher.empty(); }
};

// Show states handed to Shell.
enum class ShowState : int {
    Hidden = 0,          // folder creation
    NormalFocus = 1,     // starting a tool
    MinimizedFocus = 2,  // stop and delete commands
    MaximizedFocus = 3,  // opening the web site
};

// The buttons a message box offers, and the one pressed. Escape and the
// box's close button answer Cancel where there is one.
enum class MsgBoxButtons { Ok, YesNoCancel, YesNo };
enum class MsgBoxAnswer { Ok, Cancel, Yes, No };
// The prompts and messages the program was designed with carry no icon; the
// program's own failure boxes carry the warning sign, so that an error never
// looks like a question.
enum class MsgBoxIcon { None, Warning };

// A window as the platform knows it: what Windows calls an HWND, held as
// an opaque value so that the logic never mistakes it for a number.
enum class WindowId : std::uintptr_t {};

// Where SetZOrder puts a window: at the top of the topmost group, or of the
// ordinary windows.
enum class ZOrder { TopMost, NotTopMost };

// What stands at a path. A link is a symbolic link or junction (a reparse
// point), to a file or to a folder, which a deletion must never go through.
struct PathFacts {
    bool exists = false;
    bool folder = false;
    bool link = false;
};

// Identifies a process started by Shell, so that a launch can wait for a
// command it started before writing a file that command might remove. The
// platform holds the process itself until it has ended, so an id never
// comes to stand for another process.
enum class TaskId : std::uint32_t {};

// An open text file, written one byte per character in the ANSI code page,
// every line ended by CR LF. Destroying it closes the file.
class TextFile {
public:
    virtual ~TextFile() = default;
    virtual void WriteLine(const std::string& text) = 0;  // throws PlatformError
    virtual void Close() = 0;                             // throws PlatformError
};

// Shows a download while it runs. Called on the downloading thread, between
// the slices of its wait; cancel may be called from any thread until
// DownloadEnds, and makes the download fail as a cancelled one.
class DownloadWatcher {
public:
    virtual ~DownloadWatcher() = default;
    virtual void DownloadBegins(const std::string& path, std::function<void()> cancel) = 0;
    // total is nothing when the server gave no length.
    virtual void DownloadProgress(std::uint64_t received, std::optional<std::uint64_t> total) = 0;
    // The line dropped and the rest is being asked for; DownloadProgress
    // follows as it comes.
    virtual void DownloadResumes() = 0;
    virtual void DownloadEnds() = 0;
};

// A wait that lasts however long what it waits for takes.
inline constexpr std::chrono::milliseconds kNoTimeLimit = std::chrono::milliseconds::max();

class Platform {
public:
    virtual ~Platform() = default;

    // Starts a command line as a new process with the given show state and
    // returns at once with its task id. Throws StartError when the program
    // cannot be started. The system's own programs ("cmd.exe",
    // "explorer.exe") are started from the system's folders, never found by
    // search; the command line itself is passed as it stands.
    //
    // With a check, commandLine is a program file's path (no arguments),
    // started only when it passes check. The file is checked through a
    // handle that keeps others from changing or deleting it; the bytes
    // checked are copied through that handle into a folder of the user's own
    // that no other user can write, and that copy, checked again, is what
    // starts (under the same file name, in its own folder). So the program
    // started is the file checked, whatever another user does to the folders
    // of path. Throws StartError naming path when it fails the check
    // (kPinMismatchReason, kNotGenuineReason), cannot be read, cannot be
    // copied (kPrivateCopyReason), or cannot start.
    virtual TaskId Shell(const std::string& commandLine, ShowState style, const ProgramCheck& check = {}) = 0;

    // Waits until every listed task has ended or limit has passed
    // (kNoTimeLimit: however long they take). Returns true when all have ended.
    virtual bool WaitForTasks(const std::vector<TaskId>& tasks, std::chrono::milliseconds limit) = 0;

    // Fetches url into path. 0 on success: the server answered 200, the
    // whole body arrived, it is a whole Windows program and it passes check.
    // A body with another SHA-256 answers kDownloadHashMismatch, one that is
    // not the publisher's genuine signed program kDownloadNotGenuine. On
    // failure nothing new is left at path (a file that was there stays
    // untouched) and the result is not 0.
    virtual DownloadResult Download(const std::string& url, const std::string& path,
                                    const ProgramCheck& check = {}) = 0;

    // Whether the file at path can be read and passes check. Never fails.
    virtual bool FileMatches(const std::string& path, const ProgramCheck& check) = 0;

    virtual void Sleep(std::chrono::milliseconds pause) = 0;

    // The process's own environment variable, "" when not set. Never fails.
    virtual std::string Environ(const std::string& name) = 0;

    // What stands at path; nothing when its attributes cannot be read.
    // Never fails.
    virtual PathFacts Inspect(const std::string& path) = 0;

    // Creates one folder. Succeeds when it exists already; throws otherwise.
    virtual void CreateFolder(const std::string& path) = 0;

    // Deletes the one plain file at path, deciding through one handle: the
    // file is opened without following a link at it, and deleted through
    // that same handle only when it is neither a folder nor a link and the
    // handle's file is found at path itself. So a link or junction on any
    // folder of path leads the deletion nowhere, even one made after the
    // caller looked. True when the file was deleted; a refusal or failure
    // is not an error to the callers.
    virtual bool RemoveFile(const std::string& path) = 0;

    // Modal message box captioned "tarn-kit"; returns the button pressed.
    virtual MsgBoxAnswer MsgBox(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon) = 0;

    // Creates path, or empties it when it exists.
    virtual std::unique_ptr<TextFile> CreateTextFile(const std::string& path) = 0;

    // Puts window at the top of order's group and activates it, keeping its
    // place and size; true on success.
    virtual bool SetZOrder(WindowId window, ZOrder order) = 0;
};

}  // namespace tarn
