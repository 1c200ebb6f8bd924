// DLLs that tarn-kit needs only for some clicks (WinINet, bcrypt) are loaded
// on first use, and only from the system folder: the program runs from a
// Downloads folder, where a DLL of the same name may have been planted beside
// it. A DLL in the exe's import table would be found by the loader's search
// order before any code of ours runs, so these are never linked directly.
#pragma once

#include <windows.h>

namespace tarn {

// The named system DLL, loaded from the system folder only, or null (with the
// system's error in GetLastError) when it cannot be. Loaded once a process;
// never freed.
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

// One function of a system DLL, or null when the DLL or the function is not
// there. Function is the function's own pointer type.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) noexcept {
    HMODULE module = LoadSystemLibrary(library);
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace tarn
