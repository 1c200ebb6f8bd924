#include "launch/AnydeskGsn.h"

#include "launch/Catalogue.h"
#include "launch/ConfigFiles.h"
#include "platform/mduAPI.h"

namespace tarn {

namespace {

constexpr char kStopCommand[] = "cmd.exe /c taskkill /f /im anydesk.exe";
constexpr char kMachineWideClean[] = "cmd.exe /c del /f /q C:\\ProgramData\\AnyDesk\\system.conf";
constexpr char kTestPath[] = "c:\\temp\\anydesk.exe";
constexpr char kUrlPath[] = "/downloads/AnyDesk.exe";
constexpr char kDownloadPath[] = "c:\\temp\\AnyDesk.exe";
constexpr char kStartPath[] = "c:\\temp\\anydesk.exe";
constexpr char kRedownloadPrompt[] = "Anydesk.exe 檔案已下載，是否在重新下載！";
constexpr char kErrorMessage[] = "Anydesk (GSN) 執行錯誤！";

constexpr int kSettlePauseMs = 1000;
// How long the stop and delete commands may still take after the pause. A
// late del would remove the file just written and AnyDesk would start
// without the proxy.
constexpr int kCommandsTimeoutMs = 10000;
constexpr int kStartPauseMs = 3000;

}  // namespace

void LaunchAnydeskGsn(LaunchContext& context) {
    Platform& os = context.os;
    try {
        std::vector<TaskId> commands = steps::Stop(context, kStopCommand, 2);
        for (TaskId task : steps::Clean(context, kSystemConfBelowAppData, 1)) commands.push_back(task);
        commands.push_back(os.Shell(kMachineWideClean, WindowStyle::MinimizedFocus));

        os.Sleep(kSettlePauseMs);
        os.WaitForTasks(commands, kCommandsTimeoutMs);

        WriteSystemConf(os, os.Environ("AppData"), context.deploy.gsnProxyHost);

        // A program file that is there may be stale; the user decides. One
        // that does not match its pin is fetched again without asking.
        bool fetch = true;
        if (IsFilePresent(os, kTestPath) && steps::MatchesPin(context, kTestPath))
            fetch = os.MsgBox(kRedownloadPrompt, kYesNo) == kAnswerYes;
        // A failed download leaves any earlier file in place, which is then
        // started; the start's own test judges the outcome.
        if (fetch) steps::Download(context, kUrlPath, kDownloadPath);

        os.Sleep(kStartPauseMs);
        if (IsFilePresent(os, kTestPath) && steps::MatchesPin(context, kStartPath))
            os.Shell(kStartPath, WindowStyle::NormalFocus);
        steps::Remind(context, kShortReminder);
    } catch (const PlatformError&) {
        os.MsgBox(kErrorMessage, kOkOnly);
    }
}

}  // namespace tarn
