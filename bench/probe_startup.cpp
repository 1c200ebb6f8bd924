// The probe's start-up and memory measurement.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/Probe.h"
#include "platform/win32/Text.h"

namespace bench {
namespace {

struct Search {
    DWORD pid;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !::IsWindowVisible(window)) return TRUE;
    wchar_t text[256];
    ::GetWindowTextW(window, text, 256);
    if (std::wstring(text) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

// The base names of the modules loaded in process, joined by commas; what
// tells the programs' memory apart is mostly which DLLs they bring in.
std::wstring ModuleNames(HANDLE process, int& count) {
    HMODULE modules[1024];
    DWORD needed = 0;
    count = -1;
    if (!::EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) return L"";
    count = static_cast<int>(std::min<DWORD>(needed, sizeof modules) / sizeof(HMODULE));
    std::wstring names;
    for (int i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH];
        if (!::GetModuleBaseNameW(process, modules[i], name, MAX_PATH)) continue;
        if (!names.empty()) names += L',';
        names += name;
    }
    return names;
}

// One start of exe; false when it could not be started at all.
bool MeasureStartup(const wchar_t* exe, const wchar_t* title, int program, int run) {
    constexpr double kGiveUpMs = 30000;
    // Start-up work that follows the first show (the program's folder
    // commands, the first paint) should be in the peak that is read.
    constexpr DWORD kSettleMs = 1500;

    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Stopwatch clock;
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "cannot start program %d (%lu)\n", program, ::GetLastError());
        return false;
    }
    Search search{pi.dwProcessId, title, nullptr};
    double shownMs = 0;
    for (;;) {
        ::EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
        shownMs = clock.Ms();
        if (search.found || shownMs > kGiveUpMs) break;
        ::Sleep(1);
    }
    ::Sleep(kSettleMs);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const bool haveMemory = ::GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters);
    int modules = 0;
    const std::string names = tarn::text::Narrow(ModuleNames(pi.hProcess, modules));
    std::printf("program=%d run=%d found=%d startup_ms=%.2f peak_kib=%lu modules=%d names=%s\n", program, run,
                search.found ? 1 : 0, shownMs,
                haveMemory ? static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024) : 0UL, modules,
                names.c_str());
    std::fflush(stdout);
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 5000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return true;
}

}  // namespace

int Startup(int runs, int count, wchar_t** programs) {
    for (int run = 0; run < runs; ++run)
        for (int program = 0; program < count; ++program)
            if (!MeasureStartup(programs[2 * program], programs[2 * program + 1], program, run)) return 2;
    return 0;
}

}  // namespace bench
