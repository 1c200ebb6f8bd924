// The body's file while a download arrives.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/Handle.h"
#include "platform/win32/DownloadResults.h"

namespace tarn::download {

// The body's file while it arrives, beside the target. It is marked for
// deletion as soon as it exists, so the system removes it however this
// process ends, killed included, until Keep takes the mark off. (Wine 8
// honours the mark: the file goes when the process is killed.)
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        // A marked file went as it closed; otherwise it is removed here.
        if (!path_.empty() && !marked_ && !moved_) ::DeleteFileW(path_.c_str());
    }

    DownloadResult Create(const std::wstring& folder) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 64; ++attempt) {
            const unsigned unique =
                (::GetCurrentProcessId() << 16) ^ static_cast<unsigned>(::GetTickCount64()) ^ (++counter * 0x9E3779B9u);
            std::wstring path = folder + L"tkd";
            for (int shift = 28; shift >= 0; shift -= 4) path += L"0123456789ABCDEF"[(unique >> shift) & 15];
            path += L".tmp";
            // Nobody else may open it; reading is for the check of the whole
            // body, DELETE lets the mark be set and taken off.
            file_.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_) {
                path_ = std::move(path);
                // Without the mark (a file system that refuses it) the file
                // is still removed on every failure this process lives through.
                marked_ = SetDeletionMark(TRUE);
                return kDownloadOk;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return FromWin32(error);
        }
        return FromWin32(ERROR_FILE_EXISTS);
    }

    HANDLE get() const noexcept { return file_.get(); }
    const std::wstring& Path() const noexcept { return path_; }

    // Empties the file for a body that starts over.
    DownloadResult Empty() {
        if (!::SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get()))
            return FromWin32(::GetLastError());
        return kDownloadOk;
    }

    // On disk before it replaces anything, so a crash right after the move
    // cannot leave a partial program under the target's name.
    DownloadResult Flush() { return ::FlushFileBuffers(file_.get()) ? kDownloadOk : FromWin32(::GetLastError()); }

    // Takes the deletion mark off, closes the file and moves it onto target.
    DownloadResult KeepAs(const std::wstring& target) {
        if (marked_) {
            if (!SetDeletionMark(FALSE)) return FromWin32(::GetLastError());
            marked_ = false;
        }
        file_.reset();
        if (!::MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return FromWin32(::GetLastError());
        moved_ = true;
        return kDownloadOk;
    }

private:
    bool SetDeletionMark(BOOLEAN deleteOnClose) noexcept {
        FILE_DISPOSITION_INFO disposition{deleteOnClose};
        return ::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }

    FileHandle file_;
    std::wstring path_;
    bool marked_ = false;
    bool moved_ = false;
};

}  // namespace tarn::download
