#include "launch/AnyDeskGsn.h"

#include "launch/Catalogue.h"
#include "launch/ConfigFiles.h"
#include "platform/DownloadResult.h"
#include "platform/FilePresence.h"

namespace tarn {

namespace {

// The machine-wide configuration, below a folder every user may create: the
// deletion checks that nothing there leads elsewhere.
constexpr char kMachineWideRoot[] = "C:\\ProgramData";
constexpr char kRedownloadPrompt[] = "Anydesk.exe 檔案已下載，是否在重新下載！";
constexpr char kErrorMessage[] = "Anydesk (GSN) 執行錯誤！";

constexpr std::chrono::milliseconds kSettlePause{1000};
// How long the stop commands may still take after the pause. An AnyDesk that
// is still running writes its configuration back when it ends, over the file
// just written, and would start without the proxy.
constexpr std::chrono::milliseconds kCommandsTimeout{10000};
constexpr std::chrono::milliseconds kStartPause{3000};

}  // namespace

void LaunchAnyDeskGsn(LaunchContext& context) {
    Platform& os = context.os;
    // AnyDesk's own entry, with this launch's departures: one clean, a longer
    // pause, the short reminder and its own error message.
    const ToolEntry anydesk = AnyDeskEntry(context.deploy);
    try {
        const std::vector<TaskId> commands = steps::Stop(context, anydesk.stopCommand, anydesk.stopRuns);
        steps::Clean(context, anydesk.cleanFile, 1);
        DeleteNamedFile(os, kMachineWideRoot, kAnyDeskConfigBelowAppData);

        os.Sleep(kSettlePause);
        os.WaitForTasks(commands, kCommandsTimeout);

        WriteSystemConf(os, os.Environ("AppData"), context.deploy.gsnProxyHost);

        // A program file that is there may be stale; the person decides. One
        // that does not match its pin is fetched again without asking.
        const bool usable = steps::HasUsableProgram(context, anydesk.testPath);
        const bool fetch =
            !usable || os.MsgBox(kRedownloadPrompt, MsgBoxButtons::YesNo, MsgBoxIcon::None) == MsgBoxAnswer::Yes;
        if (fetch) {
            // A failed download leaves any earlier file in place: the person
            // who asked for a fresh copy still has that one to start.
            const DownloadResult result = steps::Download(context, anydesk.urlPath, anydesk.downloadPath);
            if (result != kDownloadOk) {
                steps::ReportDownloadFailure(context, anydesk.downloadPath, result);
                if (!usable) return;
            }
        }

        os.Sleep(kStartPause);
        if (IsFilePresent(os, anydesk.testPath)) steps::Start(context, anydesk.startPath);
        steps::Remind(context, kShortReminder, anydesk.idFile);
    } catch (const PlatformError& error) {
        steps::ReportFailure(context, error, kErrorMessage);
    }
}

}  // namespace tarn
