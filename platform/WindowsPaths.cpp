#include "platform/WindowsPaths.h"

namespace tarn {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsAbsoluteWindowsPath(std::string_view path) {
    const bool drive =
        path.size() >= 3 && Lower(path[0]) >= 'a' && Lower(path[0]) <= 'z' && path[1] == ':' && path[2] == '\\';
    const bool network = path.size() > 2 && path[0] == '\\' && path[1] == '\\';
    return drive || network;
}

bool IsWritableAppData(std::string_view appData) {
    if (!IsAbsoluteWindowsPath(appData)) return false;
    for (std::size_t i = 0; i < appData.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(appData[i]);
        if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
        // A colon belongs only after the drive letter.
        if (c == ':' && i != 1) return false;
    }
    return true;
}

std::string FileNameOf(std::string_view path) { return std::string(path.substr(path.find_last_of("\\/") + 1)); }

std::string ProgramNameOf(std::string_view fileName) {
    if (fileName.size() > 4 && SameIgnoringCase(fileName.substr(fileName.size() - 4), ".exe"))
        fileName.remove_suffix(4);
    return std::string(fileName);
}

std::string ProgramOfCommand(std::string_view commandLine) {
    if (!commandLine.empty() && commandLine.front() == '"') {
        const std::size_t close = commandLine.find('"', 1);
        return std::string(commandLine.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    return std::string(commandLine.substr(0, commandLine.find_first_of(" \t")));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace tarn
