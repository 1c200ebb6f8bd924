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

// Fills a table of one system DLL's functions, one slot at a time, and tells
// whether every one was found: a table with a missing function is no table.
class SystemFunctions {
public:
    explicit SystemFunctions(const wchar_t* library) noexcept : library_(library) {}

    template <typename Function>
    void Take(Function& slot, const char* name) noexcept {
        slot = SystemFunction<Function>(library_, name);
        complete_ = complete_ && slot != nullptr;
    }
    bool Complete() const noexcept { return complete_; }

private:
    const wchar_t* library_;
    bool complete_ = true;
};

}  // namespace tarn
