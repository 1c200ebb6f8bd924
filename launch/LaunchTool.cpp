#include "launch/LaunchTool.h"

#include "platform/DownloadResult.h"
#include "platform/FilePresence.h"

namespace tarn {

void LaunchTool(const ToolEntry& entry, LaunchContext& context) {
    Platform& os = context.os;
    try {
        steps::Stop(context, entry.stopCommand, entry.stopRuns);
        steps::Clean(context, entry.cleanFile, entry.cleanRuns);
        // A download is made only when no usable program file is there, so
        // one that failed leaves nothing to start: the person is told why,
        // and no reminder asks for an ID that no client shows.
        const std::optional<DownloadResult> fetched =
            steps::Fetch(context, entry.testPath, entry.urlPath, entry.downloadPath);
        if (fetched && *fetched != kDownloadOk) {
            steps::ReportDownloadFailure(context, entry.downloadPath, *fetched);
            return;
        }
        auto start = [&] {
            os.Sleep(entry.pause);
            if (!entry.startGuarded || IsFilePresent(os, entry.testPath)) steps::Start(context, entry.startPath);
        };
        try {
            start();
        } catch (const StartError& error) {
            // A program file from before this click that cannot run at all
            // (an old partial download, a file damaged on disk) would fail
            // the same way on every click: it is offered anew instead. A
            // launch with its own message keeps it.
            if (fetched || error.Cause() != StartFailure::NotAProgram || !entry.errorMessage.empty()) throw;
            if (!steps::FetchAgain(context, entry.startPath, entry.urlPath, entry.downloadPath)) return;
            start();
        }
        steps::Remind(context, entry.reminderText, entry.idFile);
    } catch (const PlatformError& error) {
        steps::ReportFailure(context, error, entry.errorMessage);
    }
}

}  // namespace tarn
