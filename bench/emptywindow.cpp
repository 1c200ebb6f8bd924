// The reference for start-up time and memory: the least a Win32 program can
// do to show a window, built with the same compiler and flags as tarn-kit.
// Built a second time importing WinINet, as tarn-kit does, to tell what the
// DLLs cost from what tarn-kit's own start-up costs.
#include <windows.h>
#ifdef BENCH_IMPORT_WININET
#include <wininet.h>
#endif

static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef BENCH_IMPORT_WININET
    // Referencing a function is what puts the DLL into the import table, so
    // that the loader maps it (and what it depends on) before wWinMain.
    static auto volatile closeHandle = &InternetCloseHandle;
    (void)closeHandle;
#endif
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"EmptyWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"empty-window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 200, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
