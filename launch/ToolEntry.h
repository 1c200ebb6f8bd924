// One tool button's launch as data: what it stops, cleans, fetches, waits
// for, starts and says. LaunchTool runs it.
#pragma once

#include <chrono>
#include <string>

namespace tarn {

struct ToolEntry {
    std::string stopCommand = {};
    int stopRuns = 1;
    std::string cleanFile = {};  // below AppData, beginning with a backslash; empty for none
    int cleanRuns = 0;
    std::string testPath = {};
    std::string urlPath = {};
    std::string downloadPath = {};
    std::chrono::milliseconds pause{2000};
    bool startGuarded = true;
    std::string startPath = {};     // the program file itself, no arguments: its check is made on it
    std::string reminderText = {};  // empty: no reminder hand-off
    std::string errorMessage = {};  // empty: no error trap
    std::string idFile = {};        // below AppData: where the started client writes its ID; empty: it cannot be read
};

}  // namespace tarn
