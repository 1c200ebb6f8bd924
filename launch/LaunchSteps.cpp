#include "launch/LaunchSteps.h"

#include <cstdint>

#include "platform/WindowsPaths.h"
#include "platform/Download.h"
#include "platform/Error.h"
#include "platform/FilePresenceAndTopMost.h"

namespace tarn {

void DeleteNamedFile(Platform& os, const std::string& root, const std::string& fileBelowRoot) {
    if (!IsAbsoluteWindowsPath(root)) return;
    // Every folder between root and the file: a link there would carry the
    // deletion into a folder the name does not say.
    for (std::size_t slash = fileBelowRoot.find('\\', 1); slash != std::string::npos;
         slash = fileBelowRoot.find('\\', slash + 1)) {
        const PathFacts folder = os.Facts(root + fileBelowRoot.substr(0, slash));
        if (folder.exists && (folder.link || !folder.folder)) return;
    }
    const std::string path = root + fileBelowRoot;
    const PathFacts file = os.Facts(path);
    if (file.exists && (file.link || file.folder)) return;
    // A missing file is left to RemoveFile, which then deletes nothing.
    os.RemoveFile(path);
}

namespace {

// Why a download failed, for the results that carry one reason each.
struct FailureReason {
    long result;
    const char* reason;
};
constexpr FailureReason kFailureReasons[] = {
    {kDownloadCannotConnect, "無法連線到下載伺服器。"},
    {kDownloadNoSession, "無法連線到下載伺服器。"},
    {kDownloadNotFound, "找不到下載伺服器。"},
    {kDownloadStalled, "連續 30 秒沒有收到任何資料，下載已停止。"},
    {kDownloadTruncated, "檔案沒有完整下載，連線在中途中斷了。"},
    {kDownloadNotProgram, "伺服器送來的不是 Windows 程式。"},
    {kDownloadInvalidUrl, "下載位址不正確。"},
    {kDownloadOutOfMemory, "記憶體不足。"},
};

std::string FailureReasonOf(long result) {
    if (const int status = HttpStatusOf(result))
        return (status == 404 || status == 410 ? "伺服器上沒有這個檔案（HTTP " : "伺服器回應錯誤（HTTP ") +
               std::to_string(status) + "）。";
    for (const FailureReason& known : kFailureReasons)
        if (known.result == result) return known.reason;
    return (IsWin32Result(result) ? "無法把檔案存入工作資料夾（錯誤碼 " : "下載失敗（錯誤碼 ") +
           HexCode(static_cast<std::uint32_t>(result)) + "）。";
}

}  // namespace

std::optional<std::string> DownloadFailureMessage(const std::string& fileName, long result) {
    if (result == kDownloadAborted) return std::nullopt;
    // These three are not the line's fault: trying again will not help.
    if (result == kDownloadHashMismatch)
        return "下載的 " + fileName + " 與預期的檔案不符，未予保留。\r\n請聯絡小森。";
    if (result == kDownloadNotGenuine)
        return "下載的 " + fileName + " 不是發行者的正版程式，未予保留。\r\n請聯絡小森。";
    if (result == kDownloadUntrustedServer)
        return "無法下載 " + fileName + "：下載伺服器的憑證無法信任，連線可能不安全。\r\n請聯絡小森。";
    return "無法下載 " + fileName + "：" + FailureReasonOf(result) +
           "\r\n請確認網路連線正常後再按一次按鈕；若仍然無法下載，請聯絡小森。";
}

namespace steps {

std::vector<TaskId> Stop(LaunchContext& context, const std::string& command, int runs) {
    std::vector<TaskId> tasks;
    for (int i = 0; i < runs; ++i) tasks.push_back(context.os.Shell(command, WindowStyle::MinimizedFocus));
    return tasks;
}

void Clean(LaunchContext& context, const std::string& fileBelowAppData, int runs) {
    if (fileBelowAppData.empty()) return;
    for (int i = 0; i < runs; ++i) DeleteNamedFile(context.os, context.os.Environ("AppData"), fileBelowAppData);
}

std::optional<long> Fetch(LaunchContext& context, const std::string& testPath, const std::string& urlPath,
                          const std::string& downloadPath) {
    // The work folder is writable by every user of the machine: a file
    // planted there under a pinned name is replaced, not trusted.
    if (HasUsableProgram(context, testPath)) return std::nullopt;
    return Download(context, urlPath, downloadPath);
}

long Download(LaunchContext& context, const std::string& urlPath, const std::string& downloadPath) {
    const std::string url = context.deploy.DownloadUrl(urlPath);
    const ProgramCheck check = context.deploy.CheckFor(FileNameOf(downloadPath));
    if (!check.Any()) return context.os.Download(url, downloadPath);
    return context.os.DownloadChecked(url, downloadPath, check);
}

void ReportDownloadFailure(Platform& os, const std::string& downloadPath, long result) {
    if (auto message = DownloadFailureMessage(FileNameOf(downloadPath), result)) os.MsgBox(*message, MsgBoxButtons::Ok);
}

bool HasUsableProgram(LaunchContext& context, const std::string& path) {
    if (!IsFilePresent(context.os, path)) return false;
    const ProgramCheck check = context.deploy.CheckFor(FileNameOf(path));
    return !check.Any() || context.os.FileMatches(path, check);
}

void Start(LaunchContext& context, const std::string& startPath) {
    const ProgramCheck check = context.deploy.CheckFor(FileNameOf(startPath));
    if (!check.Any())
        context.os.Shell(startPath, WindowStyle::NormalFocus);
    else
        context.os.ShellChecked(startPath, WindowStyle::NormalFocus, check);
}

void Remind(LaunchContext& context, const std::string& text, const std::string& idFileBelowAppData) {
    if (text.empty()) return;
    context.reminder.SetText(text);
    SetTopMost(context.os, context.reminder.Handle(), true);
    if (idFileBelowAppData.empty()) return;
    // The same AppData the clean and the configuration used: the client
    // started from this process reads and writes its file there.
    const std::string appData = context.os.Environ("AppData");
    if (IsAbsoluteWindowsPath(appData)) context.reminder.WatchForId(appData + idFileBelowAppData);
}

void ReportStartFailure(Platform& os, const std::string& commandLine, const std::string& reason) {
    os.MsgBox("無法啟動程式：" + commandLine + "\r\n原因：" + reason, MsgBoxButtons::Ok);
}

void ReportFailure(Platform& os, const PlatformError& error, const std::string& errorMessage) {
    if (!errorMessage.empty()) {
        os.MsgBox(errorMessage, MsgBoxButtons::Ok);
    } else if (auto* start = dynamic_cast<const StartError*>(&error)) {
        ReportStartFailure(os, start->CommandLine(), start->what());
    } else {
        os.MsgBox(std::string("執行錯誤：") + error.what(), MsgBoxButtons::Ok);
    }
}

}  // namespace steps

}  // namespace tarn
