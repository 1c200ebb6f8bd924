#include "platform/win32/CheckedProgram.h"

#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/WindowsPaths.h"
#include "platform/win32/Authenticode.h"
#include "platform/win32/FilePaths.h"
#include "platform/win32/PrivateAccess.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Text.h"

namespace tarn {

using text::Narrow;
using text::Widen;

FileHandle OpenProgramFile(const std::string& path) {
    FileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) throw StartError(path, text::SystemMessage(::GetLastError(), path));
    return file;
}

void CheckHeldProgram(HANDLE file, const std::string& path, const std::wstring& name, const ProgramCheck& check,
                      Waiter* waiter) {
    if (!check.sha256.empty()) {
        // A file that cannot be read through is no file of that content.
        const bool rewound = ::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) != FALSE;
        const std::optional<std::string> digest = rewound ? Sha256OfOpenFile(file) : std::nullopt;
        if (!digest || !SameIgnoringCase(*digest, check.sha256)) throw StartError(path, kPinMismatchReason);
    }
    if (check.publisher.empty()) return;
    const PublisherCheck publisher =
        waiter ? CheckPublisher(file, name, check.publisher, *waiter) : CheckPublisher(file, name, check.publisher);
    if (publisher != PublisherCheck::Genuine) throw StartError(path, kNotGenuineReason);
}

FileHandle HoldProgramFile(const std::string& path, const ProgramCheck& check, Waiter* waiter) {
    FileHandle file = OpenProgramFile(path);
    CheckHeldProgram(file.get(), path, Widen(path), check, waiter);
    return file;
}

namespace {

// The user's folders come from shell32 and ole32: neither is in the exe's
// import table (see SystemLibrary.h), and only a checked start needs them.
struct CopyFunctions {
    decltype(&::SHGetKnownFolderPath) knownFolderPath = nullptr;
    decltype(&::CoTaskMemFree) taskMemFree = nullptr;
};

bool FillCopyFunctions(CopyFunctions& table) noexcept {
    SystemFunctions shell32(L"shell32.dll");
    shell32.Take(table.knownFolderPath, "SHGetKnownFolderPath");
    SystemFunctions ole32(L"ole32.dll");
    ole32.Take(table.taskMemFree, "CoTaskMemFree");
    return shell32.Complete() && ole32.Complete();
}

constinit LazyTable<CopyFunctions> lazyCopyFunctions{&FillCopyFunctions};

// KNOWNFOLDERID values, spelled out: the SDK's are defined in a library.
constexpr GUID kLocalAppDataFolder{0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr GUID kProfileFolder{0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};

// How many folders an earlier copy still running may push the copy along.
constexpr int kCopyFolders = 8;

CopyFailure LinkFailure(const std::wstring& path) {
    return CopyFailure("「" + Narrow(path) + "」不是一般的資料夾或檔案（可能是連結），可能有人想把程式換掉。");
}

std::wstring KnownFolder(const CopyFunctions& functions, const GUID& id) {
    PWSTR path = nullptr;
    const HRESULT result = functions.knownFolderPath(id, 0, nullptr, &path);
    std::wstring folder = SUCCEEDED(result) && path ? path : L"";
    functions.taskMemFree(path);
    if (folder.empty()) throw CopyFailure(text::SystemMessage(static_cast<DWORD>(result)));
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (!IsAbsoluteWindowsPath(Narrow(folder))) throw CopyFailure::System(ERROR_BAD_PATHNAME, folder);
    return folder;
}

// The path the system finds the object open at handle by, links resolved:
// where it really is.
std::wstring FinalPath(HANDLE handle, const std::wstring& path) {
    std::wstring final = FinalPathOf(handle);
    if (final.empty()) throw CopyFailure::System(::GetLastError(), path);
    return final;
}

// Checks what is open at handle (opened by path, its own reparse point not
// followed): a plain folder or a plain file as wanted, no link, and found
// where it was asked for, at expected (a final path; empty: anywhere). The
// last test catches a link that the handle's attributes do not show, as
// Wine shows a host's symbolic link. Answers its final path.
std::wstring CheckPlain(HANDLE handle, const std::wstring& path, const std::wstring& expected, bool folder) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info))
        throw CopyFailure::System(::GetLastError(), path);
    const bool isFolder = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || isFolder != folder) throw LinkFailure(path);
    std::wstring final = FinalPath(handle, path);
    if (!expected.empty() && !SameFileName(final, expected)) throw LinkFailure(path);
    return final;
}

// A folder on the copy's way, held so that it can be neither renamed nor
// removed (the sharing leaves out delete) until the program has started.
FileHandle OpenFolder(const std::wstring& path, DWORD access) {
    return FileHandle(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE | access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The folders from the user's profile down to the one the copy lies in,
// each held and checked to be a plain folder inside the one above.
class HeldWay {
public:
    // Holds base, the first folder: a plain folder, wherever it is.
    explicit HeldWay(const std::wstring& base) {
        FileHandle folder = OpenFolder(base, 0);
        if (!folder) throw CopyFailure::System(::GetLastError(), base);
        final_ = CheckPlain(folder.get(), base, {}, true);
        path_ = base;
        held_.push_back(std::move(folder));
    }

    // Holds the folder name inside the last one, which must stand already.
    void Enter(const std::wstring& name) {
        const std::wstring path = path_ + L"\\" + name;
        FileHandle folder = OpenFolder(path, 0);
        if (!folder) throw CopyFailure::System(::GetLastError(), path);
        Take(std::move(folder), path, name);
    }

    // Holds tarn-kit's own folder name inside the last one, made with access's
    // list when it is not there, and given it again when it is.
    void EnterOwn(const std::wstring& name, PrivateAccess& access) {
        const std::wstring path = path_ + L"\\" + name;
        const bool made = ::CreateDirectoryW(path.c_str(), access.Attributes()) != FALSE;
        if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) throw CopyFailure::System(::GetLastError(), path);
        FileHandle folder = OpenFolder(path, READ_CONTROL | WRITE_DAC);
        if (!folder) throw CopyFailure::System(::GetLastError(), path);
        HANDLE handle = folder.get();
        Take(std::move(folder), path, name);
        if (!made) access.Secure(handle, path);
    }

    // Lets go of the last folder, to take another in its place.
    void Leave() {
        held_.pop_back();
        path_.resize(path_.rfind(L'\\'));
        final_.resize(final_.rfind(L'\\'));
    }

    const std::wstring& Path() const { return path_; }
    const std::wstring& Final() const { return final_; }

private:
    void Take(FileHandle folder, const std::wstring& path, const std::wstring& name) {
        final_ = CheckPlain(folder.get(), path, final_ + L"\\" + name, true);
        path_ = path;
        held_.push_back(std::move(folder));
    }

    std::vector<FileHandle> held_;
    std::wstring path_;   // as asked for
    std::wstring final_;  // as the system finds it
};

bool IsBusy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_FILE_EXISTS ||
           error == ERROR_ALREADY_EXISTS;
}

bool Dispose(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Removes an earlier copy at path inside the held folder whose final path is
// folderFinal, through one handle, when it is a plain file. False when
// something stands there that cannot or must not go: a copy that still
// runs, a folder, a link.
bool RemoveEarlierCopy(const std::wstring& path, const std::wstring& expectedFinal) {
    FileHandle earlier(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!earlier) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;
        if (IsBusy(error)) return false;
        throw CopyFailure::System(error, path);
    }
    try {
        CheckPlain(earlier.get(), path, expectedFinal, false);
    } catch (const CopyFailure&) {
        return false;
    }
    if (Dispose(earlier.get())) return true;
    const DWORD error = ::GetLastError();
    if (IsBusy(error)) return false;
    throw CopyFailure::System(error, path);
}

// Writes the bytes of source, from its start, into a new file at path;
// false when a file came to stand there first. A copy that fails half-way
// is removed again.
bool WriteCopy(HANDLE source, const std::string& sourcePath, const std::wstring& path, PrivateAccess& access) {
    // Others may read it while it is written, nobody may change or remove it.
    FileHandle copy(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, access.Attributes(),
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!copy) {
        const DWORD error = ::GetLastError();
        if (IsBusy(error)) return false;
        throw CopyFailure::System(error, path);
    }
    auto fail = [&](DWORD error, const std::string& subject) {
        Dispose(copy.get());
        return CopyFailure(text::SystemMessage(error, subject));
    };
    if (!::SetFilePointerEx(source, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) throw fail(::GetLastError(), sourcePath);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            throw fail(::GetLastError(), sourcePath);
        if (got == 0) break;
        DWORD written = 0;
        if (!::WriteFile(copy.get(), buffer.data(), got, &written, nullptr) || written != got)
            throw fail(::GetLastError(), Narrow(path));
    }
    if (!::FlushFileBuffers(copy.get())) throw fail(::GetLastError(), Narrow(path));
    return true;
}

}  // namespace

KernelHandle StartCheckedCopy(HANDLE source, const std::string& path, const ProgramCheck& check,
                              const CopyStarter& start, Waiter* waiter) {
    CheckHeldProgram(source, path, Widen(path), check, waiter);
    const std::wstring fileName = Widen(FileNameOf(path));
    try {
        const CopyFunctions* functions = lazyCopyFunctions.Get();
        if (!functions) throw CopyFailure(text::SystemMessage(::GetLastError()));
        const std::wstring profile = KnownFolder(*functions, kProfileFolder);
        const std::wstring local = KnownFolder(*functions, kLocalAppDataFolder);
        // From the profile down when the folder lies in it (a profile moved
        // by a junction above it stays usable); otherwise from the folder
        // itself.
        const bool inProfile = local.size() > profile.size() + 1 && local[profile.size()] == L'\\' &&
                               SameFileName(local.substr(0, profile.size()), profile);
        HeldWay way(inProfile ? profile : local);
        for (std::size_t at = inProfile ? profile.size() + 1 : local.size(); at < local.size();) {
            const std::size_t end = std::min(local.find(L'\\', at), local.size());
            way.Enter(local.substr(at, end - at));
            at = end + 1;
        }
        PrivateAccess access;
        way.EnterOwn(L"tarn-kit", access);
        way.EnterOwn(L"clients", access);
        // "AnyDesk.exe" has its copy in "AnyDesk".
        const std::wstring folderName = Widen(ProgramNameOf(FileNameOf(path)));
        for (int number = 1; number <= kCopyFolders; ++number) {
            way.EnterOwn(number == 1 ? folderName : folderName + L"-" + std::to_wstring(number), access);
            const std::wstring copyPath = way.Path() + L"\\" + fileName;
            const std::wstring copyFinal = way.Final() + L"\\" + fileName;
            if (!RemoveEarlierCopy(copyPath, copyFinal) || !WriteCopy(source, path, copyPath, access)) {
                way.Leave();
                continue;
            }
            // Read by others, changed by nobody, until the process exists.
            FileHandle copy(::CreateFileW(copyPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!copy) throw CopyFailure::System(::GetLastError(), copyPath);
            CheckPlain(copy.get(), copyPath, copyFinal, false);
            CheckHeldProgram(copy.get(), path, copyPath, check, waiter);
            return start(copyPath, way.Path());
        }
        throw CopyFailure("先前啟動的副本都還在執行，請先關閉它們再試一次。");
    } catch (const CopyFailure& failure) {
        throw StartError(path, std::string(kPrivateCopyReason) + "\r\n" + failure.Cause());
    }
}

}  // namespace tarn
