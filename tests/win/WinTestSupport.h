// Small helpers for the tests under Wine: a scratch folder that removes
// itself, and whole-file reads and writes through the wide API.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../native/Fixtures.h"
#include "platform/win32/Text.h"

namespace tarn::testing {

// The SHA-256 of the server's default program.exe (with_server.py's
// fixture_program).
inline constexpr char kFixtureSha256[] = "11885ab0f058bb40c1a1f21339d921f978e74fb2b1e9c16bf91cb51a8d45a940";

inline std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The loopback server that tests/support/with_server.py started for the test.
inline std::string ServerPort() { return EnvOrEmpty("TARNKIT_TEST_HTTP_PORT"); }
inline std::string BaseUrl() { return "http://127.0.0.1:" + ServerPort(); }

// A Linux path as Wine's Z: drive shows it.
inline std::string FromLinux(const std::string& path) {
    std::string windows = "Z:" + path;
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

// The requests for path the server has seen, in order, each as the Range
// it asked for ("" for none).
inline std::vector<std::string> RangesAskedFor(const std::string& path) {
    std::ifstream log(EnvOrEmpty("TARNKIT_TEST_HTTP_LOG"));
    std::vector<std::string> ranges;
    const std::string request = "GET " + path;
    for (std::string line; std::getline(log, line);)
        if (line == request || line.rfind(request + "\t", 0) == 0)
            ranges.push_back(line.size() > request.size() ? line.substr(request.size() + 1) : "");
    return ranges;
}

inline int RequestsFor(const std::string& path) { return static_cast<int>(RangesAskedFor(path).size()); }

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
inline void ExpectDownloadLeft(const std::string& folder, const std::string& target, bool succeeded, bool earlier,
                               const std::string& fetched, const std::string& earlierBytes) {
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

inline bool UnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Sets an environment variable of this process (and so of the programs it
// starts) for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(text::Widen(name)) {
        ::SetEnvironmentVariableW(name_.c_str(), text::Widen(value).c_str());
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(name_.c_str(), nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_;
};

// Where checked programs are copied to before they start.
inline std::string PrivateClientsFolder() {
    PWSTR local = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)))
        folder = text::Narrow(local) + "\\tarn-kit\\clients";
    ::CoTaskMemFree(local);
    return folder;
}

inline bool SameIgnoringCaseW(const std::string& a, const std::string& b) {
    const std::wstring wa = text::Widen(a), wb = text::Widen(b);
    return ::CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                  TRUE) == CSTR_EQUAL;
}

// That the access list of path lets nobody but the user, SYSTEM and
// Administrators in, and is not inherited. Wine keeps no access list of its
// own: it makes one from the host file's mode, where a list with only those
// three reads back without an entry for Everyone, but never as protected.
inline void ExpectPrivateAccess(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(text::Widen(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS))
        << path;
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {}, system[SECURITY_MAX_SID_SIZE] = {},
                                      admins[SECURITY_MAX_SID_SIZE] = {};
    HANDLE token = nullptr;
    DWORD size = sizeof user;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user, size, &size));
    ::CloseHandle(token);
    size = sizeof system;
    ::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
    size = sizeof admins;
    ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size);
    const PSID allowed[] = {reinterpret_cast<TOKEN_USER*>(user)->User.Sid, system, admins};
    ASSERT_NE(dacl, nullptr) << path << ": no list, everyone may do anything";
    EXPECT_GT(dacl->AceCount, 0) << path;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        const PSID sid = &ace->SidStart;
        const bool known =
            std::any_of(std::begin(allowed), std::end(allowed), [&](PSID a) { return ::EqualSid(a, sid); });
        EXPECT_TRUE(known || ace->Header.AceType == ACCESS_DENIED_ACE_TYPE)
            << path << ": entry " << i << " lets someone else in (mask " << ace->Mask << ")";
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    if (!UnderWine()) {
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << path << ": inherits from the folder above";
    }
    ::LocalFree(descriptor);
}

// That program (the path a started program reports as its own) is a checked
// program's copy named fileName: in a folder of its own below
// PrivateClientsFolder (named folderName, when given), both closed to other
// users.
inline void ExpectPrivateCopy(const std::string& program, const std::string& fileName,
                              const std::string& folderName = {}) {
    const std::size_t name = program.find_last_of('\\');
    ASSERT_NE(name, std::string::npos) << program;
    const std::string folder = program.substr(0, name);
    EXPECT_TRUE(SameIgnoringCaseW(program.substr(name + 1), fileName)) << program;
    const std::size_t folderAt = folder.find_last_of('\\');
    EXPECT_TRUE(SameIgnoringCaseW(folder.substr(0, folderAt), PrivateClientsFolder())) << program;
    if (!folderName.empty()) {
        EXPECT_TRUE(SameIgnoringCaseW(folder.substr(folderAt + 1), folderName)) << program;
    }
    ExpectPrivateAccess(folder);
    ExpectPrivateAccess(program);
}

// The paths of the programs that marked their start in the file mark, one a
// line.
inline std::vector<std::string> StartedPrograms(const std::string& mark) {
    std::vector<std::string> lines;
    const std::string bytes = ReadBytes(mark).bytes;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(bytes.substr(at, end - at));
    return lines;
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
