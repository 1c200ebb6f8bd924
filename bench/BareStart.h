// One CreateProcessW call as tarn-kit's platform makes it for a command line,
// with nothing around it: the bench's references for what the program's own
// process starts cost. "cmd.exe" is the system's, run in the system folder;
// any other first word is the program's full path. No C++ library, so that a
// reference program stays as small as the empty window.
#pragma once

#include <windows.h>

namespace bench {

// The started process's handle, or null when it could not be started. The
// command line is ASCII, as every command the launches give is.
inline HANDLE BareStart(const char* command, WORD showState) {
    wchar_t line[1024];
    int length = 0;
    for (; command[length] != '\0'; ++length) {
        if (length == 1023) return nullptr;
        line[length] = static_cast<wchar_t>(static_cast<unsigned char>(command[length]));
    }
    line[length] = L'\0';
    const bool viaCmd = length >= 8 && CompareStringOrdinal(line, 8, L"cmd.exe ", 8, TRUE) == CSTR_EQUAL;
    wchar_t system[MAX_PATH + 1] = {};
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH + 1);
    wchar_t program[MAX_PATH + 16] = {};
    if (viaCmd) {
        if (systemLength == 0 || systemLength > MAX_PATH) return nullptr;
        lstrcpyW(program, system);
        lstrcatW(program, L"\\cmd.exe");
    } else {
        lstrcpynW(program, line, MAX_PATH + 16);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showState;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program, line, nullptr, nullptr, FALSE, 0, nullptr, viaCmd ? system : nullptr, &startup,
                        &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

}  // namespace bench
