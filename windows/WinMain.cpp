// The program's start: the platform, the reminder window and the main window,
// then the message loop until both windows are closed.
#include <windows.h>

#include <exception>
#include <optional>

#include "launch/Deployment.h"
#include "platform/Win32Platform.h"
#include "windows/FrmMain.h"
#include "windows/FrmTopMsg.h"
#include "windows/WindowBase.h"

namespace {

int Run(HINSTANCE instance, int showCommand) {
    const tarn::Deployment& deploy = tarn::BuiltInDeployment();
    tarn::Win32Platform platform;

    HWND mainWindow = nullptr;
    tarn::FrmTopMsg reminder(instance, deploy, [&mainWindow]() -> std::optional<RECT> {
        RECT r{};
        if (!mainWindow || !::GetWindowRect(mainWindow, &r)) return std::nullopt;
        return r;
    });
    tarn::FrmMain main(instance, platform, reminder, deploy);

    // The program ends with the last of its two windows.
    auto quitWhenBothClosed = [&] {
        if (!main.IsOpen() && !reminder.IsLoaded()) ::PostQuitMessage(0);
    };
    reminder.OnClosed(quitWhenBothClosed);
    main.OnCreated([&](HWND hwnd) {
        mainWindow = hwnd;
        platform.SetOwner(hwnd);
    });
    // While a launch waits, the platform dispatches the messages itself: the
    // main window's keys (Esc cancels a download) and its progress strip.
    platform.SetMessageFilter([&main](MSG& msg) { return main.PreTranslateMessage(msg); });
    platform.SetDownloadWatcher(&main.Downloads());
    main.OnDestroyed([&] {
        mainWindow = nullptr;
        platform.SetOwner(nullptr);
        quitWhenBothClosed();
    });

    if (!main.Create()) return 1;
    ::ShowWindow(main.Window(), showCommand);
    ::UpdateWindow(main.Window());

    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (main.PreTranslateMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
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
