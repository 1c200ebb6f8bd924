// Measures a program from outside, under the same conditions for tarn-kit
// and its reference:
//   probe startup EXE TITLE RUNS   time from CreateProcess until a visible
//                                  top-level window with TITLE belongs to the
//                                  new process, and the process's peak
//                                  working set once it has settled; one line
//                                  per run: "startup_ms=… peak_kib=…"
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    DWORD pid;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    wchar_t text[256];
    GetWindowTextW(window, text, 256);
    if (std::wstring(text) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

double Ms(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Startup(const wchar_t* exe, const wchar_t* title, int runs) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int run = 0; run < runs; ++run) {
        std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        LARGE_INTEGER start, shown;
        QueryPerformanceCounter(&start);
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            std::fprintf(stderr, "cannot start (%lu)\n", GetLastError());
            return 2;
        }
        Search search{pi.dwProcessId, title, nullptr};
        for (;;) {
            EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
            QueryPerformanceCounter(&shown);
            if (search.found || Ms(start, shown, frequency) > 30000) break;
            Sleep(1);
        }
        // Let start-up work that follows the first show finish before the
        // peak is read.
        Sleep(1500);
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters);
        std::printf("startup_ms=%.2f peak_kib=%lu found=%d\n", Ms(start, shown, frequency),
                    static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024), search.found ? 1 : 0);
        std::fflush(stdout);
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"startup") return Startup(argv[2], argv[3], _wtoi(argv[4]));
    std::fprintf(stderr, "usage: probe startup EXE TITLE RUNS\n");
    return 2;
}
