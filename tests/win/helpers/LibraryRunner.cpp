// Loads a system DLL by name from whatever folder it was copied into:
//   win_library_runner.exe system NAME.dll   through LoadSystemLibrary
//   win_library_runner.exe search NAME.dll   by the loader's plain search
// Exits 0 when the DLL loaded. It imports nothing but the runtime's DLLs, so
// a DLL planted beside it can only come in through the load asked for. It
// does not call SetDefaultDllDirectories as the program does first: that
// alone keeps a plain search in the system folder too, and would hide what
// LoadSystemLibrary does by itself.
#include <windows.h>

#include <cwchar>

#include "platform/win32/SystemLibrary.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const HMODULE module =
        std::wcscmp(argv[1], L"system") == 0 ? tarn::LoadSystemLibrary(argv[2]) : ::LoadLibraryW(argv[2]);
    return module ? 0 : 3;
}
