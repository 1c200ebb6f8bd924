#include <cctype>
#include <string_view>

#include "launch/ToolEntry.h"
#include "platform/mduAPI.h"

namespace tarn {

namespace {

bool IsDriveAbsolute(std::string_view path) {
    return path.size() >= 3 &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
           path[2] == '\\';
}

bool IsNetworkPath(std::string_view path) { return path.size() > 2 && path[0] == '\\' && path[1] == '\\'; }

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

bool SameDigest(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

bool IsAbsoluteWindowsPath(const std::string& path) { return IsDriveAbsolute(path) || IsNetworkPath(path); }

bool IsUsableAppData(const std::string& appData) {
    if (!IsAbsoluteWindowsPath(appData)) return false;
    for (unsigned char c : appData) {
        // Inside double quotes cmd.exe still expands %VAR% and, with delayed
        // expansion, !VAR!; a quote would end the quoting. Wildcards would let
        // del reach files other than the one named.
        if (c < 0x20 || c == 0x7f || c == '%' || c == '!' || c == '"' || c == '*' || c == '?') return false;
    }
    return true;
}

std::optional<std::string> CleanCommand(const std::string& appData, const std::string& fileBelowAppData) {
    if (!IsUsableAppData(appData)) return std::nullopt;
    return "cmd.exe /c del /f /q \"" + appData + fileBelowAppData + "\"";
}

namespace steps {

std::vector<TaskId> Stop(LaunchContext& context, const std::string& command, int runs) {
    std::vector<TaskId> tasks;
    for (int i = 0; i < runs; ++i) tasks.push_back(context.os.Shell(command, WindowStyle::MinimizedFocus));
    return tasks;
}

std::vector<TaskId> Clean(LaunchContext& context, const std::string& fileBelowAppData, int runs) {
    std::vector<TaskId> tasks;
    if (fileBelowAppData.empty()) return tasks;
    for (int i = 0; i < runs; ++i) {
        // AppData is read again for every run, as the command is built anew.
        if (auto command = CleanCommand(context.os.Environ("AppData"), fileBelowAppData))
            tasks.push_back(context.os.Shell(*command, WindowStyle::MinimizedFocus));
    }
    return tasks;
}

std::optional<long> Fetch(LaunchContext& context, const std::string& testPath, const std::string& urlPath,
                          const std::string& downloadPath) {
    // The work folder is writable by every user of the machine: a file
    // planted there under a pinned name is replaced, not trusted.
    if (IsFilePresent(context.os, testPath) && MatchesPin(context, testPath)) return std::nullopt;
    return Download(context, urlPath, downloadPath);
}

long Download(LaunchContext& context, const std::string& urlPath, const std::string& downloadPath) {
    const std::string url = context.deploy.DownloadUrl(urlPath);
    const std::string pin = context.deploy.PinFor(FileNameOf(downloadPath));
    if (pin.empty()) return context.os.Download(url, downloadPath);
    const long result = context.os.DownloadPinned(url, downloadPath, pin);
    if (result == kDownloadHashMismatch)
        context.os.MsgBox("下載的 " + FileNameOf(downloadPath) + " 與預期的檔案不符，未予保留。", kOkOnly);
    return result;
}

bool MatchesPin(LaunchContext& context, const std::string& path) {
    const std::string pin = context.deploy.PinFor(FileNameOf(path));
    if (pin.empty()) return true;
    const std::optional<std::string> digest = context.os.FileSha256(path);
    return digest && SameDigest(*digest, pin);
}

void StartUnguarded(LaunchContext& context, const std::string& startPath) {
    if (IsFilePresent(context.os, startPath) && !MatchesPin(context, startPath))
        throw StartError(startPath, "檔案與預期的不符，不予啟動。");
    context.os.Shell(startPath, WindowStyle::NormalFocus);
}

void Remind(LaunchContext& context, const std::string& text) {
    if (text.empty()) return;
    context.reminder.SetText(text);
    SetTopMost(context.os, context.reminder.Handle(), true);
}

void ReportStartFailure(Platform& os, const std::string& commandLine, const std::string& reason) {
    os.MsgBox("無法啟動程式：" + commandLine + "\r\n原因：" + reason, kOkOnly);
}

}  // namespace steps

void LaunchTool(const ToolEntry& entry, LaunchContext& context) {
    Platform& os = context.os;
    try {
        steps::Stop(context, entry.StopCommand, entry.StopRuns);
        steps::Clean(context, entry.CleanFile, entry.CleanRuns);
        // Whether a download worked is judged by the existence test of the start.
        steps::Fetch(context, entry.TestPath, entry.UrlPath, entry.DownloadPath);
        os.Sleep(entry.PauseMs);
        if (!entry.StartGuarded)
            steps::StartUnguarded(context, entry.StartPath);
        else if (IsFilePresent(os, entry.TestPath) && steps::MatchesPin(context, entry.StartPath))
            os.Shell(entry.StartPath, WindowStyle::NormalFocus);
        steps::Remind(context, entry.ReminderText);
    } catch (const PlatformError& error) {
        if (!entry.ErrorMessage.empty()) {
            os.MsgBox(entry.ErrorMessage, kOkOnly);
        } else if (auto* start = dynamic_cast<const StartError*>(&error)) {
            steps::ReportStartFailure(os, start->CommandLine(), start->what());
        } else {
            os.MsgBox(std::string("執行錯誤：") + error.what(), kOkOnly);
        }
    }
}

}  // namespace tarn
