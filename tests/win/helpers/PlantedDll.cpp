// Planted beside a program under a system DLL's name (wininet.dll,
// bcrypt.dll). When a process loads it, it appends that process's path to
// "planted-dll-loaded.txt" in its own folder, so a test sees that it was
// loaded rather than the system's DLL. It has none of the real DLL's
// functions: a program that imports the real one fails to start beside it.
#include <windows.h>

#include <cwchar>

namespace {

void Mark(HINSTANCE self) {
    wchar_t mark[MAX_PATH + 32] = {};
    const DWORD length = ::GetModuleFileNameW(self, mark, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    std::wcscpy(std::wcsrchr(mark, L'\\') + 1, L"planted-dll-loaded.txt");
    HANDLE file = ::CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
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
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Mark(self);
    return TRUE;
}
