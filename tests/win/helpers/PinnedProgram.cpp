// The program file of the pinned-launch tests: served by the loopback server
// and started by a launch. Started, it leaves "<its own path>.started" beside
// itself and ends, so a test can tell which copy ran.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    const std::wstring mark = std::wstring(self) + L".started";
    HANDLE file = ::CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    ::CloseHandle(file);
    return 0;
}
