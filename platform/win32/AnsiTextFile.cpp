#include "platform/win32/AnsiTextFile.h"

#include <windows.h>

#include <utility>

#include "platform/Handle.h"
#include "platform/win32/Text.h"

namespace tarn {
namespace {

using text::Widen;

// The system's reason for the last failure, about the file named subject.
PlatformError LastError(const std::string& subject) {
    return PlatformError(text::SystemMessage(::GetLastError(), subject));
}

// A text file written in the ANSI code page, CR LF after every line.
class AnsiTextFile : public TextFile {
public:
    AnsiTextFile(FileHandle file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
    ~AnsiTextFile() override = default;  // the handle closes itself

    void WriteLine(const std::string& line) override {
        if (!file_) throw PlatformError(text::SystemMessage(ERROR_INVALID_HANDLE));
        const std::string bytes = text::ToAnsi(Widen(line)) + "\r\n";
        DWORD written = 0;
        if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            throw LastError(path_);
    }

    void Close() override {
        if (!file_) return;
        if (!::CloseHandle(file_.release())) throw LastError(path_);
    }

private:
    FileHandle file_;
    std::string path_;
};

}  // namespace

std::unique_ptr<TextFile> CreateOrTruncate(const std::string& path) {
    FileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw LastError(path);
    return std::make_unique<AnsiTextFile>(std::move(file), path);
}

}  // namespace tarn
