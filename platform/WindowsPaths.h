// Rules for Windows paths and file names: those the launches build from
// AppData and the catalogue, and those the Win32 adapter is handed.
// Portable: the paths are only text here.
#pragma once

#include <string>
#include <string_view>

namespace tarn {

// A drive letter with ":\" or a "\\" network path.
bool IsAbsoluteWindowsPath(std::string_view path);

// Whether appData can hold the clients' configuration folders: an absolute
// Windows path with no character that Windows refuses in file names. A
// relative value would put the file wherever the current folder happens to be.
bool IsWritableAppData(std::string_view appData);

// The last part of a path ("c:\temp\AnyDesk.exe" -> "AnyDesk.exe"); either slash separates.
std::string FileNameOf(std::string_view path);

// A program's name as the person reads it: its file's name without ".exe"
// (in any letter case), "AnyDesk.exe" -> "AnyDesk".
std::string ProgramNameOf(std::string_view fileName);

// The program a command line starts: its first word, up to the first blank
// or tab, or between quotes when it begins with one.
std::string ProgramOfCommand(std::string_view commandLine);

// Whether two names are the same as Windows finds files: without regard to
// the letter case of A-Z.
bool SameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tarn
