/* Stands in for a remote-desktop client in the end-to-end tests. It is served
 * under each client's file name; when started it leaves a mark saying which
 * file ran, as which process and with which command line, then stays alive
 * for a while so that stop commands have something to stop. The mark lives
 * outside the work folder so it never disturbs what the tests look at there.
 */
#include <windows.h>
#include <wchar.h>

static void AppendUtf8(HANDLE file, const wchar_t* text) {
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, NULL, NULL);
    DWORD written;
    if (n > 1) WriteFile(file, buf, (DWORD)(n - 1), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
}

/* Run as anydesk.exe while C:\e2e-anydesk-id.txt holds digits, it then adds
 * the line "ad.anynet.id=<digits>" to the per-user system.conf a second after
 * it starts, as AnyDesk does once it has its ID. */
static void WriteAnyDeskId(const wchar_t* self) {
    const wchar_t* name = wcsrchr(self, L'\\');
    char digits[32], line[64];
    wchar_t folder[MAX_PATH], conf[MAX_PATH];
    DWORD got = 0, written;
    HANDLE file;
    if (lstrcmpiW(name ? name + 1 : self, L"anydesk.exe") != 0) return;
    file = CreateFileW(L"C:\\e2e-anydesk-id.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    ReadFile(file, digits, sizeof digits - 1, &got, NULL);
    CloseHandle(file);
    digits[got] = 0;
    if (!GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH - 32)) return;
    Sleep(1000);
    lstrcatW(folder, L"\\AnyDesk");
    CreateDirectoryW(folder, NULL);
    wsprintfW(conf, L"%s\\system.conf", folder);
    file = CreateFileW(conf, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    wsprintfA(line, "ad.anynet.id=%s\n", digits);
    WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
    CloseHandle(file);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR args, int show) {
    wchar_t self[MAX_PATH], pid[16], mark[MAX_PATH];
    (void)instance;
    (void)previous;
    (void)args;
    (void)show;
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
    WriteAnyDeskId(self);
    Sleep(120000);
    return 0;
}
