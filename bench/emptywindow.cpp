// The reference for start-up time and memory: the least a Win32 program can
// do to show a window, built with the same compiler and flags as tarn-kit.
// Built a second time to load, before its window, the DLLs named in
// BENCH_PRELOAD (comma-separated; the benchmark passes tarn-kit's imports),
// to tell what those DLLs cost from what tarn-kit's own start-up costs; and a
// third time to also start, before its window, the same hidden folder
// commands that tarn-kit's start-up starts, by the same CreateProcessW calls,
// and to paint one line of tarn-kit's Traditional Chinese in its windows'
// font: the least any program doing that start-up and showing that text can
// take.
#include <windows.h>

#ifdef BENCH_SAME_STARTUP
#include "bench/BareStart.h"
#include "windows/MainWindowLogic.h"

static HFONT font;
static wchar_t line[256];
static int lineLength;

// The main window's font as the program asks for it: its face, 12 points,
// the Big5 character set.
static void MakeFontAndLine() {
    LOGFONTW wanted{};
    wanted.lfHeight = -MulDiv(12, 96, 72);
    wanted.lfWeight = FW_NORMAL;
    wanted.lfCharSet = CHINESEBIG5_CHARSET;
    MultiByteToWideChar(CP_UTF8, 0, tarn::design::kWindowFontFace, -1, wanted.lfFaceName, LF_FACESIZE);
    font = CreateFontIndirectW(&wanted);
    lineLength = MultiByteToWideChar(CP_UTF8, 0, tarn::kCloseQuestion, -1, line, 256) - 1;
}
#endif

static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
#ifdef BENCH_SAME_STARTUP
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        SelectObject(dc, font);
        TextOutW(dc, 8, 8, line, lineLength);
        EndPaint(window, &paint);
        return 0;
    }
#endif
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
    wchar_t* name = names;
    for (DWORD i = 0; i <= length; ++i) {
        if (names[i] != L',' && names[i] != L'\0') continue;
        names[i] = L'\0';
        if (*name != L'\0' && !LoadLibraryW(name)) return false;
        name = names + i + 1;
    }
    return true;
}
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef BENCH_PRELOAD_DLLS
    if (!Preload()) return 3;
#endif
#ifdef BENCH_SAME_STARTUP
    MakeFontAndLine();
    // Not waited for, as tarn-kit does not wait for them.
    for (const char* command : tarn::kFolderCommands)
        if (HANDLE process = bench::BareStart(command, SW_HIDE))
            CloseHandle(process);
        else
            return 4;
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
