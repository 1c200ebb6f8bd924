#include "launch/AnydeskGsn.h"

#include "launch/Catalogue.h"
#include "launch/ConfigFiles.h"
#include "platform/Download.h"
#include "platform/mduAPI.h"

namespace tarn {

namespace {

constexpr char kStopCommand[] = "cmd.exe /c taskkill /f /im anydesk.exe";
// The machine-wide configuration, below a folder every user may create: the
// deletion checks that nothing there leads elsewhere.
constexpr char kMachineWideRoot[] = "C:\\ProgramData";
constexpr char kTestPath[] = "c:\\temp\\anydesk.exe";
constexpr char kUrlPath[] = "/downloads/AnyDesk.exe";
constexpr char kDownloadPath[] = "c:\\temp\\AnyDesk.exe";
constexpr char kStartPath[] = "c:\\temp\\anydesk.exe";
constexpr char kRedownloadPrompt[] = "Anydesk.exe 檔案已下載，是否在重新下載！";
constexpr char kErrorMessage[] = "Anydesk (GSN) 執行錯誤！";

constexpr int kSettlePauseMs = 1000;
// How long the stop commands may still take after the pause. An AnyDesk that
// is still running writes its configuration back when it ends, over the file
// just written, and would start without the proxy.
constexpr int kCommandsTimeoutMs = 10000;
constexpr int kStartPauseMs = 3000;

}  // namespace

void LaunchAnydeskGsn(LaunchContext& context) {
    Platform& os = context.os;
    try {
        const std::vector<TaskId> commands = steps::Stop(context, kStopCommand, 2);
        steps::Clean(context, kSystemConfBelowAppData, 1);
        DeleteNamedFile(os, kMachineWideRoot, kSystemConfBelowAppData);

        os.Sleep(kSettlePauseMs);
        os.WaitForTasks(commands, kCommandsTimeoutMs);

        WriteSystemConf(os, os.Environ("AppData"), context.deploy.gsnProxyHost);

        // A program file that is there may be stale; the person decides. One
        // that does not match its pin is fetched again without asking.
        const bool usable = IsFilePresent(os, kTestPath) && steps::MatchesPin(context, kTestPath);
        const bool fetch = !usable || os.MsgBox(kRedownloadPrompt, kYesNo) == kAnswerYes;
        if (fetch) {
            // A failed download leaves any earlier file in place: the person
            // who asked for a fresh copy still has that one to start.
            const long result = steps::Download(context, kUrlPath, kDownloadPath);
            if (result != kDownloadOk) {
                steps::ReportDownloadFailure(os, kDownloadPath, result);
                if (!usable) return;
            }
        }

        os.Sleep(kStartPauseMs);
        if (IsFilePresent(os, kTestPath)) steps::Start(context, kStartPath);
        steps::Remind(context, kShortReminder);
    } catch (const PlatformError&) {
        os.MsgBox(kErrorMessage, kOkOnly);
    }
}

}  // namespace tarn
