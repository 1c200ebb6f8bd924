// The program file of the pinned-launch tests: served by the loopback server
// and started by a launch. Started, it appends its own path as a line to the
// file that TARNKIT_TEST_STARTED names (beside itself as
// "<its own path>.started" without it), so a test can tell which copy ran,
// and then, as the clients that import it do, loads version.dll by name.
#include "MarkBeside.h"

int wmain() {
    wchar_t mark[MAX_PATH + 16] = {};
    const DWORD named = ::GetEnvironmentVariableW(L"TARNKIT_TEST_STARTED", mark, MAX_PATH);
    if (named == 0 || named >= MAX_PATH) {
        const DWORD length = ::GetModuleFileNameW(nullptr, mark, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 2;
        std::wcscat(mark, L".started");
    }
    if (!MarkProcessIn(mark)) return 3;
    ::LoadLibraryW(L"version.dll");
    return 0;
}
