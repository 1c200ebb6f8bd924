/* Stands in for a remote-desktop client in the end-to-end tests. It is served
 * under each client's file name; when started it leaves a mark saying which
 * file ran, as which process and with which command line, then stays alive
 * for a while so that stop commands have something to stop. The mark lives
 * outside the work folder so it never disturbs what the tests look at there.
 */
#include <windows.h>

static void AppendUtf8(HANDLE file, const wchar_t *text) {
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, NULL, NULL);
    DWORD written;
    if (n > 1) WriteFile(file, buf, (DWORD)(n - 1), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR args, int show) {
    wchar_t self[MAX_PATH], pid[16], mark[MAX_PATH];
    (void)instance; (void)previous; (void)args; (void)show;
    GetModuleFileNameW(NULL, self, MAX_PATH);
    wsprintfW(pid, L"%lu", GetCurrentProcessId());
    CreateDirectoryW(L"C:\\e2e-marks", NULL);
    /* Written under a temporary name and renamed, so a reader never sees half. */
    wsprintfW(mark, L"C:\\e2e-marks\\%s.tmp", pid);
    HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        wchar_t done[MAX_PATH];
        AppendUtf8(file, self);
        AppendUtf8(file, pid);
        AppendUtf8(file, GetCommandLineW());
        CloseHandle(file);
        wsprintfW(done, L"C:\\e2e-marks\\%s.mark", pid);
        MoveFileW(mark, done);
    }
    Sleep(120000);
    return 0;
}
