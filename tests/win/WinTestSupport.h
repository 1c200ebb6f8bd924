// Small helpers for the tests under Wine: a scratch folder that removes
// itself, and whole-file reads and writes through the wide API.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/Text.h"

namespace tarn::testing {

// The SHA-256 of the server's default program.exe (with_server.py's
// fixture_program).
inline constexpr char kFixtureSha256[] = "11885ab0f058bb40c1a1f21339d921f978e74fb2b1e9c16bf91cb51a8d45a940";

inline std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The bytes of a file; exists is false when it cannot be opened.
struct FileBytes {
    bool exists = false;
    std::string bytes;
};

inline FileBytes ReadBytes(const std::string& path) {
    FileBytes result;
    HANDLE file = ::CreateFileW(text::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return result;
    result.exists = true;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) result.bytes.append(buffer, got);
    ::CloseHandle(file);
    return result;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(text::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// Names in a folder (not "." and ".."), sorted.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(text::Widen(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(text::Narrow(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder below the temporary folder, removed with everything in it
// (attributes cleared first, so read-only files go too).
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t base[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, base);
        static unsigned counter = 0;
        path_ = text::Narrow(base) + "tarnkit-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++counter) + "-" + std::to_string(::GetTickCount64());
        ::CreateDirectoryW(text::Widen(path_).c_str(), nullptr);
    }
    ~ScratchFolder() { Remove(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    static void Remove(const std::string& folder) {
        for (const std::string& name : FolderEntries(folder)) {
            const std::wstring child = text::Widen(folder + "\\" + name);
            const DWORD attributes = ::GetFileAttributesW(child.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                Remove(folder + "\\" + name);
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        }
        ::RemoveDirectoryW(text::Widen(folder).c_str());
    }

    std::string path_;
};

// The folder of the running test program, where its helper programs lie.
inline std::string ProgramFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L"\\/"));
    return text::Narrow(folder);
}

// After a download into target (the only file its folder should hold):
// the fetched bytes on success, otherwise the earlier file untouched or no
// file at all, and never a temporary file left beside it.
inline void ExpectDownloadLeft(const std::string& folder, const std::string& target, bool succeeded,
                               bool earlier, const std::string& fetched, const std::string& earlierBytes) {
    const FileBytes after = ReadBytes(target);
    if (succeeded) {
        EXPECT_TRUE(after.bytes == fetched) << "size " << after.bytes.size();  // no dump of binary bytes
    } else if (earlier) {
        EXPECT_TRUE(after.bytes == earlierBytes) << "size " << after.bytes.size();
    } else {
        EXPECT_FALSE(after.exists);
    }
    const std::string name = target.substr(target.find_last_of('\\') + 1);
    EXPECT_EQ(FolderEntries(folder),
              (succeeded || earlier ? std::vector<std::string>{name} : std::vector<std::string>{}));
}

// A window's text and class name, as UTF-8.
inline std::string TextOf(HWND hwnd) {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(hwnd, buffer, 512);
    return text::Narrow(buffer);
}

inline std::string ClassOf(HWND hwnd) {
    wchar_t buffer[64] = {};
    ::GetClassNameW(hwnd, buffer, 64);
    return text::Narrow(buffer);
}

// The child windows of parent in window order, which is the tab order.
inline std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

inline HWND ChildByText(HWND parent, const std::string& text) {
    for (HWND child : Children(parent))
        if (TextOf(child) == text) return child;
    return nullptr;
}

}  // namespace tarn::testing
