// The steps every launch shares (stop, clean, fetch, start, remind), so that
// the special launches read as the same procedure with their own departures.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launch/Deployment.h"
#include "launch/Reminder.h"
#include "platform/Platform.h"

namespace tarn {

// Whom the program's own failure boxes speak to: the button the person
// pressed (its caption; empty outside a launch), so the box can say which
// one to press again, and the support desk's number to call.
struct FailureContext {
    std::string button;
    std::string phone;
};

// What a launch works with besides its entry.
struct LaunchContext {
    Platform& os;
    Reminder& reminder;
    Deployment deploy;
    std::string button = {};  // the caption of the button pressed

    FailureContext Failure() const { return {button, deploy.supportPhone}; }
};

// Deletes the one file root + fileBelowRoot ("\AnyDesk\system.conf") in the
// process, never through a command interpreter. Skipped when root is empty
// or not an absolute path, when the file is a folder or a link, and when a
// folder between root and the file is a link or junction: a folder that
// another user made a junction into their own files must not lead the
// deletion there.
void DeleteNamedFile(Platform& os, const std::string& root, const std::string& fileBelowRoot);

// What the person is told when a program file could not be downloaded:
// which button, which file, why, the one next step that can help with that
// cause, and the number to call. nullopt for a download the person
// cancelled, which needs no telling.
std::optional<std::string> DownloadFailureMessage(const FailureContext& who, const std::string& fileName,
                                                  DownloadResult result);
// What the person is told when the program of commandLine could not be
// started: the program once, that its file may be damaged, the number to
// call, and the system's reason on a line of its own.
std::string StartFailureMessage(const FailureContext& who, const std::string& commandLine, const std::string& reason);
// What the person is asked when the program file that was there cannot run
// at all: whether to download it again.
std::string DamagedProgramQuestion(const std::string& fileName);
// What the person is told when a step failed for another reason: what
// failed, the reason and the number to call.
std::string StepFailureMessage(const FailureContext& who, const std::string& what, const std::string& reason);

namespace steps {
std::vector<TaskId> Stop(LaunchContext& context, const std::string& command, int runs);
// Deletes AppData + fileBelowAppData, runs times, reading AppData anew each time.
void Clean(LaunchContext& context, const std::string& fileBelowAppData, int runs);
// Downloads the program file when testPath names no usable file. The
// download's result, or nullopt when the file was there and nothing was
// fetched. A present file that fails its check counts as missing.
std::optional<DownloadResult> Fetch(LaunchContext& context, const std::string& testPath, const std::string& urlPath,
                                    const std::string& downloadPath);
// Downloads urlPath into downloadPath, with the file's check when it has
// one. The download's result.
DownloadResult Download(LaunchContext& context, const std::string& urlPath, const std::string& downloadPath);
// Asks the person whether the program file at startPath, which the system
// cannot run, is to be downloaded again; on yes, deletes it (as
// RemoveFile does, never through a link) and downloads urlPath into
// downloadPath. True when the new file is there; false when the person said
// no or the download failed, which they have then been told.
bool FetchAgain(LaunchContext& context, const std::string& startPath, const std::string& urlPath,
                const std::string& downloadPath);
// Tells the person why downloadPath could not be downloaded, unless they
// cancelled it themselves.
void ReportDownloadFailure(LaunchContext& context, const std::string& downloadPath, DownloadResult result);
// Whether the program file at path is there and may be kept and started:
// without reading it when its name has no check, otherwise only when it
// passes the check.
bool HasUsableProgram(LaunchContext& context, const std::string& path);
// Starts a program file with a normal window. A checked one is held while
// it starts; one that fails its check fails as a program that cannot start,
// with its own reason.
void Start(LaunchContext& context, const std::string& startPath);
// Hands text to the reminder and makes it topmost; then, for a client that
// writes its ID into idFileBelowAppData, has the reminder watch that file.
void Remind(LaunchContext& context, const std::string& text, const std::string& idFileBelowAppData = {});
// Reports a program that could not be started (a launch without its own
// error message) and the system's reason.
void ReportStartFailure(Platform& os, const FailureContext& who, const std::string& commandLine,
                        const std::string& reason);
// Reports a failed step of a launch: its own errorMessage when it has one
// (as it was designed, without an icon), otherwise what could not be
// started and why, or the failure's reason.
void ReportFailure(LaunchContext& context, const PlatformError& error, const std::string& errorMessage);
}  // namespace steps

}  // namespace tarn
