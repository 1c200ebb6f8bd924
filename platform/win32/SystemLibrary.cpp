#include "platform/win32/SystemLibrary.h"

namespace tarn {

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
    // LoadLibraryExW counts references itself; a module once loaded is found
    // again at no cost, so no cache of our own is needed.
    return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace tarn
