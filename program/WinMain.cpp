// The program's start: the message loop, the platform waiting through it, the
// reminder window and the main window, then the loop until both windows are
// closed. The one place that knows the concrete Win32 adapter.
#include <windows.h>

#include <exception>
#include <optional>

#include "launch/Deployment.h"
#include "platform/win32/Win32Platform.h"
#include "windows/win32/MainWindow.h"
#include "windows/win32/MessageLoop.h"
#include "windows/win32/ReminderWindow.h"
#include "windows/win32/WindowBase.h"

namespace {

int Run(HINSTANCE instance, int showCommand) {
    const tarn::Deployment deploy = tarn::BuiltInDeployment();
    tarn::win::MessageLoop loop;
    // While a launch waits, the loop keeps dispatching: the windows paint,
    // the main window's keys work (Esc cancels a download) and its progress
    // strip moves.
    tarn::Win32Platform platform(loop);

    HWND mainWindow = nullptr;
    tarn::ReminderWindow reminder(instance, deploy, [&mainWindow]() -> std::optional<RECT> {
        RECT r{};
        if (!mainWindow || !::GetWindowRect(mainWindow, &r)) return std::nullopt;
        return r;
    });
    tarn::MainWindow main(instance, platform, reminder, deploy);

    // The program ends with the last of its two windows.
    auto quitWhenBothClosed = [&] {
        if (!main.IsOpen() && !reminder.IsLoaded()) ::PostQuitMessage(0);
    };
    reminder.OnClosed(quitWhenBothClosed);
    main.OnCreated([&](HWND hwnd) {
        mainWindow = hwnd;
        platform.SetOwner(hwnd);
    });
    loop.PreTranslateWith([&main](MSG& msg) { return main.PreTranslateMessage(msg); });
    platform.SetDownloadWatcher(&main.Downloads());
    main.OnDestroyed([&] {
        mainWindow = nullptr;
        platform.SetOwner(nullptr);
        quitWhenBothClosed();
    });

    if (!main.Create()) return 1;
    ::ShowWindow(main.Window(), showCommand);
    ::UpdateWindow(main.Window());
    return loop.Run();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Before anything can load a DLL: from here on only the system folder is
    // searched, never the Downloads folder the program was started from.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    try {
        return Run(instance, showCommand);
    } catch (const std::exception& error) {
        tarn::win::ReportUnexpected(nullptr, error.what());
    } catch (...) {
        tarn::win::ReportUnexpected(nullptr, "");
    }
    return 1;
}
