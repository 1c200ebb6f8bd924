// The reference for start-up time and memory: the least a Win32 program can
// do to show a window, built with the same compiler and flags as tarn-kit.
// Built a second time to load, before its window, the DLLs named in
// BENCH_PRELOAD (comma-separated; the benchmark passes tarn-kit's imports),
// to tell what those DLLs cost from what tarn-kit's own start-up costs.
#include <windows.h>

#include <string>

static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

#ifdef BENCH_PRELOAD_DLLS
// Exits with 3 when a DLL cannot be loaded, so that the window never shows
// and the measurement fails instead of quietly measuring less.
static bool Preload() {
    wchar_t names[4096];
    const DWORD length = GetEnvironmentVariableW(L"BENCH_PRELOAD", names, 4096);
    if (length == 0 || length >= 4096) return false;
    std::wstring list(names, length);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        const std::wstring name = list.substr(start, end - start);
        if (!name.empty() && !LoadLibraryW(name.c_str())) return false;
        start = end + 1;
    }
    return true;
}
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef BENCH_PRELOAD_DLLS
    if (!Preload()) return 3;
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
