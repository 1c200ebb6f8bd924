#include "launch/LaunchSteps.h"

#include <cstdint>

#include "platform/DownloadResult.h"
#include "platform/Error.h"
#include "platform/FilePresence.h"
#include "platform/TopMost.h"
#include "platform/WindowsPaths.h"

namespace tarn {

void DeleteNamedFile(Platform& os, const std::string& root, const std::string& fileBelowRoot) {
    if (!IsAbsoluteWindowsPath(root)) return;
    // Every folder between root and the file: a link there would carry the
    // deletion into a folder the name does not say.
    for (std::size_t slash = fileBelowRoot.find('\\', 1); slash != std::string::npos;
         slash = fileBelowRoot.find('\\', slash + 1)) {
        const PathFacts folder = os.Inspect(root + fileBelowRoot.substr(0, slash));
        if (folder.exists && (folder.link || !folder.folder)) return;
    }
    const std::string path = root + fileBelowRoot;
    const PathFacts file = os.Inspect(path);
    if (file.exists && (file.link || file.folder)) return;
    // A missing file is left to RemoveFile, which then deletes nothing.
    os.RemoveFile(path);
}

namespace {

// The one next step that can help, by what went wrong.
enum class NextStep {
    CheckLine,      // the line failed: check it, then press the button again
    ServerLacksIt,  // the server answered but has no such file now
    WrongProgram,   // the server sent something that is not the client
    UnsafeLine,     // the server's identity cannot be trusted
    Call,           // nothing the person can do but call
};

// Why a download failed, for the results that carry one reason each.
struct FailureReason {
    DownloadResult result;
    const char* reason;
    NextStep next;
};
constexpr FailureReason kFailureReasons[] = {
    {kDownloadCannotConnect, "無法連線到下載伺服器。", NextStep::CheckLine},
    {kDownloadNoSession, "無法連線到下載伺服器。", NextStep::CheckLine},
    {kDownloadNotFound, "找不到下載伺服器。", NextStep::CheckLine},
    {kDownloadStalled, "連續 30 秒沒有收到任何資料，下載已停止。", NextStep::CheckLine},
    {kDownloadTruncated, "檔案沒有完整下載，連線在中途中斷了。", NextStep::CheckLine},
    {kDownloadNotProgram, "伺服器送來的不是 Windows 程式。", NextStep::WrongProgram},
    {kDownloadHashMismatch, "下載的檔案與預期的不符，未予保留。", NextStep::WrongProgram},
    {kDownloadNotGenuine, "下載的檔案不是發行者的正版程式，未予保留。", NextStep::WrongProgram},
    {kDownloadUntrustedServer, "下載伺服器的憑證無法信任，連線可能不安全。", NextStep::UnsafeLine},
    {kDownloadInsecureRedirect, "下載伺服器把下載轉到不安全（不是 HTTPS）的位址，已停止下載。", NextStep::UnsafeLine},
    {kDownloadTooManyRedirects, "下載伺服器把下載一再轉到其他位址（超過 5 次），已停止下載。", NextStep::UnsafeLine},
    {kDownloadInvalidUrl, "下載位址不正確。", NextStep::Call},
    {kDownloadOutOfMemory, "記憶體不足。", NextStep::Call},
};

struct Failure {
    std::string reason;
    NextStep next;
};

Failure FailureOf(DownloadResult result) {
    if (const int status = HttpStatusOf(result))
        return {(status == 404 || status == 410 ? "伺服器上沒有這個檔案（HTTP " : "伺服器回應錯誤（HTTP ") +
                    std::to_string(status) + "）。",
                NextStep::ServerLacksIt};
    for (const FailureReason& known : kFailureReasons)
        if (known.result == result) return {known.reason, known.next};
    return {(IsWin32Result(result) ? "無法把檔案存入工作資料夾（錯誤碼 " : "下載失敗（錯誤碼 ") +
                HexCode(result.Code()) + "）。",
            NextStep::Call};
}

// 「AnyDesk」, or the words for a button when none is named.
std::string ButtonName(const FailureContext& who) { return who.button.empty() ? "按鈕" : "「" + who.button + "」"; }

// "按下「AnyDesk」後，" before what went wrong, when a button was pressed.
std::string AfterPressing(const FailureContext& who) {
    return who.button.empty() ? std::string() : "按下「" + who.button + "」後，";
}

std::string NextStepText(const FailureContext& who, NextStep next) {
    switch (next) {
    case NextStep::CheckLine:
        return "請確認網路連線正常後，再按一次" + ButtonName(who) + "。若仍然無法下載，請打電話給小森。";
    case NextStep::ServerLacksIt:
        return "下載伺服器現在沒有這個程式，再按一次也無法下載，請打電話給小森。";
    case NextStep::WrongProgram:
        return "伺服器上的檔案不是正確的程式，請不要再試，請打電話給小森。";
    case NextStep::UnsafeLine:
        return "請不要再試，請打電話給小森。";
    case NextStep::Call:
        break;
    }
    return "請打電話給小森。";
}

// The last line of every failure box: the number to call.
std::string PhoneLine(const FailureContext& who) {
    return who.phone.empty() ? std::string() : "\r\n小森的電話：" + who.phone;
}

}  // namespace

std::optional<std::string> DownloadFailureMessage(const FailureContext& who, const std::string& fileName,
                                                  DownloadResult result) {
    if (result == kDownloadAborted) return std::nullopt;
    const Failure failure = FailureOf(result);
    return AfterPressing(who) + "無法下載 " + fileName + "：" + failure.reason + "\r\n" +
           NextStepText(who, failure.next) + PhoneLine(who);
}

std::string StartFailureMessage(const FailureContext& who, const std::string& commandLine, const std::string& reason) {
    return AfterPressing(who) + FileNameOf(ProgramOfCommand(commandLine)) + " 無法啟動，檔案可能已經損壞。\r\n" +
           NextStepText(who, NextStep::Call) + PhoneLine(who) + "\r\n系統的說明：" + reason;
}

std::string DamagedProgramQuestion(const std::string& fileName) {
    return ProgramNameOf(fileName) + " 的程式檔無法執行，可能已損壞。要重新下載嗎？";
}

std::string StepFailureMessage(const FailureContext& who, const std::string& what, const std::string& reason) {
    return AfterPressing(who) + what + "\r\n原因：" + reason + "\r\n" + NextStepText(who, NextStep::Call) +
           PhoneLine(who);
}

namespace steps {

std::vector<TaskId> Stop(LaunchContext& context, const std::string& command, int runs) {
    std::vector<TaskId> tasks;
    for (int i = 0; i < runs; ++i) tasks.push_back(context.os.Shell(command, ShowState::MinimizedFocus));
    return tasks;
}

void Clean(LaunchContext& context, const std::string& fileBelowAppData, int runs) {
    if (fileBelowAppData.empty()) return;
    for (int i = 0; i < runs; ++i) DeleteNamedFile(context.os, context.os.Environ("AppData"), fileBelowAppData);
}

std::optional<DownloadResult> Fetch(LaunchContext& context, const std::string& testPath, const std::string& urlPath,
                                    const std::string& downloadPath) {
    // The work folder is writable by every user of the machine: a file
    // planted there under a pinned name is replaced, not trusted.
    if (HasUsableProgram(context, testPath)) return std::nullopt;
    return Download(context, urlPath, downloadPath);
}

DownloadResult Download(LaunchContext& context, const std::string& urlPath, const std::string& downloadPath) {
    const std::string url = context.deploy.DownloadUrl(urlPath);
    return context.os.Download(url, downloadPath, context.deploy.CheckFor(FileNameOf(downloadPath)));
}

bool FetchAgain(LaunchContext& context, const std::string& startPath, const std::string& urlPath,
                const std::string& downloadPath) {
    const std::string question = DamagedProgramQuestion(FileNameOf(downloadPath));
    if (context.os.MsgBox(question, MsgBoxButtons::YesNo, MsgBoxIcon::Warning) != MsgBoxAnswer::Yes) return false;
    // Should it stay (held open, refused), the download replaces it anyway.
    context.os.RemoveFile(startPath);
    const DownloadResult result = Download(context, urlPath, downloadPath);
    if (result == kDownloadOk) return true;
    ReportDownloadFailure(context, downloadPath, result);
    return false;
}

void ReportDownloadFailure(LaunchContext& context, const std::string& downloadPath, DownloadResult result) {
    if (auto message = DownloadFailureMessage(context.Failure(), FileNameOf(downloadPath), result))
        context.os.MsgBox(*message, MsgBoxButtons::Ok, MsgBoxIcon::Warning);
}

bool HasUsableProgram(LaunchContext& context, const std::string& path) {
    if (!IsFilePresent(context.os, path)) return false;
    const ProgramCheck check = context.deploy.CheckFor(FileNameOf(path));
    return !check.Any() || context.os.FileMatches(path, check);
}

void Start(LaunchContext& context, const std::string& startPath) {
    context.os.Shell(startPath, ShowState::NormalFocus, context.deploy.CheckFor(FileNameOf(startPath)));
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

void ReportStartFailure(Platform& os, const FailureContext& who, const std::string& commandLine,
                        const std::string& reason) {
    os.MsgBox(StartFailureMessage(who, commandLine, reason), MsgBoxButtons::Ok, MsgBoxIcon::Warning);
}

void ReportFailure(LaunchContext& context, const PlatformError& error, const std::string& errorMessage) {
    Platform& os = context.os;
    if (!errorMessage.empty()) {
        os.MsgBox(errorMessage, MsgBoxButtons::Ok, MsgBoxIcon::None);
    } else if (auto* start = dynamic_cast<const StartError*>(&error)) {
        ReportStartFailure(os, context.Failure(), start->CommandLine(), start->what());
    } else {
        os.MsgBox(StepFailureMessage(context.Failure(), "執行時發生錯誤。", error.what()), MsgBoxButtons::Ok,
                  MsgBoxIcon::Warning);
    }
}

}  // namespace steps

}  // namespace tarn
