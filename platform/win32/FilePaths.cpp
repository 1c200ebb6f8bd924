#include "platform/win32/FilePaths.h"

#include <string_view>

namespace tarn {

std::wstring FullPathOf(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

std::wstring LongPathOf(const std::wstring& path) {
    const DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetLongPathNameW(path.c_str(), full.data(), needed);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

std::wstring FinalPathOf(HANDLE file) {
    std::wstring path(MAX_PATH + 1, L'\0');
    for (int attempt = 0;; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0 || attempt == 2) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.assign(length + 1, L'\0');
    }
    const std::wstring_view network = L"\\\\?\\UNC\\", local = L"\\\\?\\";
    if (path.starts_with(network)) return L"\\\\" + path.substr(network.size());
    if (path.starts_with(local)) return path.substr(local.size());
    return path;
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace tarn
