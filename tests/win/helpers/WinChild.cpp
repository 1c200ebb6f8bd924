// Started by the process tests: writes the show state it was given to the
// file named first, then stays alive for the milliseconds named second, so a
// test can see that its starter did not wait for it.
//   win_child.exe MARKFILE MILLISECONDS
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const int shown = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    // Written at the end: the mark's presence says the child ran to its end.
    HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "show=%d", shown);
    DWORD written = 0;
    ::WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(file);
    return 0;
}
