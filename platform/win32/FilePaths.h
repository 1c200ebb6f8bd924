// Where a path leads, as the file system sees it: spelt out, links resolved,
// names compared as the file system compares them.
#pragma once

#include <windows.h>

#include <string>

namespace tarn {

// A path as the system spells it: "." and ".." resolved, "/" made "\",
// without asking the file system anything. Empty when it cannot.
std::wstring FullPathOf(const std::wstring& path);

// The same path with every 8.3 short name expanded; path itself when it
// cannot be.
std::wstring LongPathOf(const std::wstring& path);

// Where the file open at file is, with every link and junction on the way
// to it resolved: "C:\..." or "\\server\share\...", without the "\\?\"
// that the system puts before it. Empty when it cannot be told (the
// system's reason, where it gave one, in GetLastError).
std::wstring FinalPathOf(HANDLE file);

// Whether two paths name the same place as the file system compares names:
// without regard to letter case, in every script.
bool SameFileName(const std::wstring& a, const std::wstring& b);

}  // namespace tarn
