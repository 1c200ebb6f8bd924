// Starts the system's programs as the launches do, through
// Win32Platform::Shell, from whatever folder it was copied into:
//   win_shell_runner.exe ECHOFILE
// cmd writes "x" into ECHOFILE (an absolute path), which only the system's
// cmd does. Exits 0 when every command started and all have ended.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    using tarn::ShowState;
    tarn::Win32Platform os;
    try {
        const std::vector<tarn::TaskId> tasks{
            os.Shell("cmd.exe /c taskkill /f /im tarn-no-such-image.exe", ShowState::Hidden),
            os.Shell("cmd.exe /c exit", ShowState::Hidden),
            os.Shell("cmd.exe /c echo x> \"" + tarn::text::Narrow(argv[1]) + "\"", ShowState::Hidden),
            os.Shell("explorer.exe http://127.0.0.1:9/", ShowState::Hidden),
        };
        return os.WaitForTasks(tasks, std::chrono::milliseconds{30000}) ? 0 : 3;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 4;
    }
}
