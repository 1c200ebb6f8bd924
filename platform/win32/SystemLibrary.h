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

// A table of functions filled on first use, once a process, by whichever
// thread asks first; the others wait for it. Built on the system's one-time
// initialisation rather than a function-local static, whose thread-safe
// guard would bring the C++ runtime's POSIX thread layer into the exe.
// Declare it constinit at namespace scope: it then costs nothing at start-up.
template <typename Table>
class LazyTable {
public:
    // Fills the table and tells whether it is complete.
    using Fill = bool (*)(Table&) noexcept;

    constexpr explicit LazyTable(Fill fill) noexcept : fill_(fill) {}
    LazyTable(const LazyTable&) = delete;
    LazyTable& operator=(const LazyTable&) = delete;

    // The table, or null when some function of it could not be had.
    const Table* Get() noexcept {
        ::InitOnceExecuteOnce(&once_, &Run, this, nullptr);
        return complete_ ? &table_ : nullptr;
    }

private:
    static BOOL CALLBACK Run(PINIT_ONCE, PVOID self, PVOID*) noexcept {
        auto* lazy = static_cast<LazyTable*>(self);
        lazy->complete_ = lazy->fill_(lazy->table_);
        return TRUE;
    }

    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    Fill fill_;
    Table table_{};
    bool complete_ = false;
};

}  // namespace tarn
