// One CreateProcessW call as tarn-kit's platform makes it for a command line,
// with nothing around it: the bench's references for what the program's own
// process starts cost. The program is the command line's first word (up to
// the first blank, or between quotes), as the platform takes it: "cmd.exe" is
// the system's, run in the system folder; any other is the program's full
// path. No C++ library, so that a reference program stays as small as the
// empty window.
#pragma once

#include <windows.h>

namespace bench {

// The first word of command: where it starts and how many characters it has.
struct Word {
    const char* start;
    int length;
};

inline Word FirstWord(const char* command) {
    const bool quoted = command[0] == '"';
    const char* start = quoted ? command + 1 : command;
    int length = 0;
    while (start[length] != '\0' && (quoted ? start[length] != '"' : start[length] != ' ' && start[length] != '\t'))
        ++length;
    return {start, length};
}

// Whether command's program is cmd.exe, in any letter case, as the platform
// decides it.
inline bool IsCmd(const char* command) {
    static const char kCmd[] = "cmd.exe";
    const Word word = FirstWord(command);
    if (word.length != static_cast<int>(sizeof kCmd) - 1) return false;
    for (int i = 0; i < word.length; ++i) {
        char c = word.start[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kCmd[i]) return false;
    }
    return true;
}

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
    const bool viaCmd = IsCmd(command);
    wchar_t system[MAX_PATH + 1] = {};
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH + 1);
    wchar_t program[MAX_PATH + 16] = {};
    if (viaCmd) {
        if (systemLength == 0 || systemLength > MAX_PATH) return nullptr;
        lstrcpyW(program, system);
        lstrcatW(program, L"\\cmd.exe");
    } else {
        const Word word = FirstWord(command);
        if (word.length > MAX_PATH) return nullptr;
        const int offset = static_cast<int>(word.start - command);
        for (int i = 0; i < word.length; ++i) program[i] = line[offset + i];
        program[word.length] = L'\0';
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
