#include "launch/RustDeskOwnServer.h"

#include "launch/Catalogue.h"
#include "launch/ConfigFiles.h"
#include "platform/DownloadResult.h"

namespace tarn {

namespace {

// A RustDesk that is still running keeps its configuration in memory and
// writes all of it back on exit, undoing the new file; give the stop command
// this long to end first.
constexpr std::chrono::milliseconds kStopTimeout{10000};

void ReportWriteFailure(LaunchContext& context, const std::string& path, const std::string& reason) {
    context.os.MsgBox(StepFailureMessage(context.Failure(), "無法寫入設定檔：" + path, reason), MsgBoxButtons::Ok,
                      MsgBoxIcon::Warning);
}

}  // namespace

void LaunchRustDeskOwnServer(LaunchContext& context) {
    Platform& os = context.os;
    // RustDesk's own entry, with this launch's departures: the configuration
    // is written rather than deleted, and a failed download ends the launch.
    const ToolEntry rustdesk = RustDeskEntry();
    try {
        const std::vector<TaskId> stop = steps::Stop(context, rustdesk.stopCommand, rustdesk.stopRuns);
        os.WaitForTasks(stop, kStopTimeout);

        const std::string appData = os.Environ("AppData");
        try {
            WriteRustDeskToml(os, appData, context.deploy.rustdeskHost, context.deploy.rustdeskKey);
        } catch (const PlatformError& error) {
            ReportWriteFailure(context, appData + kRustDeskConfigBelowAppData, error.what());
            return;
        }

        // A download that was made and failed stops the launch here; the
        // configuration is in place for the next click.
        const std::optional<DownloadResult> downloaded =
            steps::Fetch(context, rustdesk.testPath, rustdesk.urlPath, rustdesk.downloadPath);
        if (downloaded && *downloaded != kDownloadOk) {
            steps::ReportDownloadFailure(context, rustdesk.downloadPath, *downloaded);
            return;
        }

        os.Sleep(rustdesk.pause);
        // No second existence test: a missing file fails here and is reported.
        steps::Start(context, rustdesk.startPath);
        steps::Remind(context, kShortReminder);
    } catch (const PlatformError& error) {
        steps::ReportFailure(context, error, {});
    }
}

}  // namespace tarn
