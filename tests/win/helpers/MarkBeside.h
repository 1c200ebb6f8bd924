// What the planted helpers leave behind: the path of the process that ran
// them, appended as a UTF-8 line to a file beside the module itself. The
// mark lies beside the copy rather than in a place named by the environment,
// because whoever starts a program by search may not pass the environment on.
#pragma once

#include <windows.h>

#include <cwchar>

// Appends the running process's path to the file mark; false when it
// cannot.
inline bool MarkProcessIn(const wchar_t* mark) {
    HANDLE file = ::CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    wchar_t process[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, process, MAX_PATH);
    char line[4 * MAX_PATH + 3] = {};
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, process, -1, line, sizeof line - 2, nullptr, nullptr);
    if (bytes > 0) {
        line[bytes - 1] = '\r';
        line[bytes] = '\n';
        DWORD written = 0;
        ::WriteFile(file, line, static_cast<DWORD>(bytes + 1), &written, nullptr);
    }
    ::CloseHandle(file);
    return true;
}

// Appends the running process's path to markName in module's folder; false
// when it cannot.
inline bool MarkBeside(HMODULE module, const wchar_t* markName) {
    wchar_t mark[MAX_PATH + 32] = {};
    const DWORD length = ::GetModuleFileNameW(module, mark, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wcscpy(std::wcsrchr(mark, L'\\') + 1, markName);
    return MarkProcessIn(mark);
}
