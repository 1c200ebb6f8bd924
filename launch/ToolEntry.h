// One tool button's launch: stop, clean, fetch, pause, start, remind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launch/Deployment.h"
#include "platform/Platform.h"

namespace tarn {

struct ToolEntry {
    std::string StopCommand;
    int StopRuns = 1;
    std::string CleanFile;  // below AppData, beginning with a backslash; empty for none
    int CleanRuns = 0;
    std::string TestPath;
    std::string UrlPath;
    std::string DownloadPath;
    int PauseMs = 2000;
    bool StartGuarded = true;
    std::string StartPath;  // the program file itself, no arguments: a pin is checked on it
    std::string ReminderText;  // empty: no reminder hand-off
    std::string ErrorMessage;  // empty: no error trap
};

// What a launch works with besides its entry.
struct LaunchContext {
    Platform& os;
    Reminder& reminder;
    Deployment deploy;
};

void LaunchTool(const ToolEntry& entry, LaunchContext& context);

// "cmd.exe /c del /f /q " with the quoted AppData path and file appended, or
// nullopt when AppData cannot safely name a folder: empty, relative, or
// holding a character that the command interpreter still acts on inside
// quotes. Without the quotes a blank in a user name would split the path, and
// del would delete whatever the pieces name.
std::optional<std::string> CleanCommand(const std::string& appData, const std::string& fileBelowAppData);

// Whether appData can be put into a del command line (absolute, and safe to
// quote for the command interpreter). Writing a file there has a wider rule:
// IsWritableAppData in launch/ConfigFiles.h.
bool IsUsableAppData(const std::string& appData);

// A drive letter with ":\" or a "\\" network path.
bool IsAbsoluteWindowsPath(const std::string& path);

// The steps that every launch shares, so that the special launches read as
// the same procedure with their own departures.
namespace steps {
std::vector<TaskId> Stop(LaunchContext& context, const std::string& command, int runs);
std::vector<TaskId> Clean(LaunchContext& context, const std::string& fileBelowAppData, int runs);
// Downloads the program file when testPath names no file. The download's
// result, or nullopt when the file was there and nothing was fetched.
// A present file that does not match its pin counts as missing.
std::optional<long> Fetch(LaunchContext& context, const std::string& testPath, const std::string& urlPath,
                          const std::string& downloadPath);
// Downloads urlPath into downloadPath; when the file is pinned, a body with
// another hash is not kept and the user is told so. The download's result.
long Download(LaunchContext& context, const std::string& urlPath, const std::string& downloadPath);
// Whether the file at path may be kept and started: true without hashing
// when its name is not pinned, otherwise only when its content has the pin.
bool MatchesPin(LaunchContext& context, const std::string& path);
// Starts a program without testing for it first. A missing file fails in
// Shell as before; a pinned file that is there with other content is not
// started, which fails the same way with its own reason.
void StartUnguarded(LaunchContext& context, const std::string& startPath);
void Remind(LaunchContext& context, const std::string& text);
// Reports a program that could not be started (a launch without its own
// error message) and the system's reason.
void ReportStartFailure(Platform& os, const std::string& commandLine, const std::string& reason);
}  // namespace steps

}  // namespace tarn
