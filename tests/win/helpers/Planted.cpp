// Planted under a system program's name (cmd.exe, taskkill.exe,
// explorer.exe) where a search for that name would find it first: beside a
// program or in its current folder. When started it appends its own path to
// "planted-ran.txt" in its own folder and ends, so a test sees which planted
// copy ran. The mark lies beside the copy rather than in a place named by the
// environment, because whoever starts a program by search may not pass the
// environment on.
#include <windows.h>

#include <cwchar>

int wmain() {
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    wchar_t mark[MAX_PATH + 32] = {};
    std::wcscpy(mark, self);
    std::wcscpy(std::wcsrchr(mark, L'\\') + 1, L"planted-ran.txt");
    HANDLE file = ::CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    char line[4 * MAX_PATH + 3] = {};
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, self, -1, line, sizeof line - 2, nullptr, nullptr);
    if (bytes > 0) {
        line[bytes - 1] = '\r';
        line[bytes] = '\n';
        DWORD written = 0;
        ::WriteFile(file, line, static_cast<DWORD>(bytes + 1), &written, nullptr);
    }
    ::CloseHandle(file);
    return 0;
}
