// What another user can leave where the program runs from (a Downloads
// folder) or where it deletes: programs under the names of the system's own,
// a DLL under a system DLL's name, and links that lead a deletion into
// another folder. None of it may be started, loaded or followed.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "WinTestSupport.h"
#include "launch/LaunchSteps.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/Win32Platform.h"

namespace tarn::testing {
namespace {

using text::Widen;

constexpr DWORD kNotRun = 0xFFFFFFFF;

bool Copy(const std::string& from, const std::string& to) {
    return ::CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE) != FALSE;
}

bool MakeFolder(const std::string& path) { return ::CreateDirectoryW(Widen(path).c_str(), nullptr) != FALSE; }

// Starts program (a full path) with folder as its current folder; the
// process, or null when it could not start.
HANDLE Start(const std::string& program, const std::string& arguments, const std::string& folder) {
    std::wstring command = Widen("\"" + program + "\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(Widen(program).c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          Widen(folder).c_str(), &startup, &process))
        return nullptr;
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

// Runs program to its end: its exit code, or kNotRun when it did not start
// or had to be ended after a minute.
DWORD RunToEnd(const std::string& program, const std::string& arguments, const std::string& folder) {
    HANDLE process = Start(program, arguments, folder);
    if (!process) return kNotRun;
    DWORD code = kNotRun;
    if (::WaitForSingleObject(process, 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process, &code);
    else
        ::TerminateProcess(process, kNotRun);
    ::CloseHandle(process);
    return code;
}

// Whether done() comes true within timeoutMs, for what happens in a process
// there is no handle to wait on.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    for (int waited = 0; !done(); waited += 50) {
        if (waited >= timeoutMs) return false;
        ::Sleep(50);
    }
    return true;
}

// --- System programs started by name -----------------------------------------

std::string WindowsFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetWindowsDirectoryW(folder, MAX_PATH + 1);
    return text::Narrow(folder);
}

struct PlantCase {
    const char* name;
    bool besideProgram;  // otherwise in the folder the program runs in
};

class PlantedSystemProgram : public ::testing::TestWithParam<PlantCase> {};

TEST_P(PlantedSystemProgram, IsNeverStartedInPlaceOfTheSystems) {
    ScratchFolder scratch;
    const std::string downloads = scratch / "Downloads";
    const std::string current = scratch / "current";
    ASSERT_TRUE(MakeFolder(downloads) && MakeFolder(current));
    // The runner must lie beside what is planted, so it runs from a copy.
    const std::string runner = downloads + "\\win_shell_runner.exe";
    ASSERT_TRUE(Copy(ProgramFolder() + "\\win_shell_runner.exe", runner));
    const std::string planted = GetParam().besideProgram ? downloads : current;
    for (const char* name : {"cmd.exe", "taskkill.exe", "explorer.exe"})
        ASSERT_TRUE(Copy(ProgramFolder() + "\\win_planted.exe", planted + "\\" + name)) << name;
    // The test prefix's handler of http addresses writes them here
    // (scripts/wine-prefix.sh).
    const std::string opened = WindowsFolder() + "\\temp\\opened-url.txt";
    ::DeleteFileW(Widen(opened).c_str());

    const std::string echo = scratch / "echo.txt";
    EXPECT_EQ(RunToEnd(runner, "\"" + echo + "\"", current), 0u);

    EXPECT_EQ(ReadBytes(planted + "\\planted-ran.txt").bytes, "") << "planted programs were started";
    // The system's own did run: only its cmd writes the file, and only its
    // explorer hands the address on. That happens in Wine's desktop process,
    // after explorer.exe itself has ended.
    EXPECT_EQ(ReadBytes(echo).bytes, "x\r\n");
    EXPECT_TRUE(
        WaitUntil([&] { return ReadBytes(opened).bytes.find("http://127.0.0.1:9/") != std::string::npos; }, 10000))
        << ReadBytes(opened).bytes;
}

INSTANTIATE_TEST_SUITE_P(Places, PlantedSystemProgram,
                         ::testing::Values(PlantCase{"BesideTheProgram", true}, PlantCase{"InItsCurrentFolder", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Deleting a file whose name leads elsewhere ----------------------------

bool IsLink(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

// Wine's name on the host for a Windows path (that may not exist yet).
std::string HostPath(const std::string& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* host = convert ? convert(Widen(path).c_str()) : nullptr;
    if (!host) return {};
    std::string result = host;
    ::HeapFree(::GetProcessHeap(), 0, host);
    return result;
}

// Runs a program of the host (a Windows path to it) under Wine, which
// starts an ELF file as it is but gives no handle to wait on: true once
// done() says it has had its effect.
bool RunOnHost(const std::string& program, const std::string& arguments, const std::function<bool()>& done) {
    std::wstring command = Widen("\"" + program + "\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(Widen(program).c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    for (HANDLE handle : {process.hProcess, process.hThread})
        if (handle && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    return WaitUntil(done, 10000);
}

// Steps run when a test ends, before its scratch folder goes: links are
// removed by themselves, or the folder's removal would follow them.
struct AtEnd {
    std::vector<std::function<void()>> steps;
    ~AtEnd() {
        for (auto& step : steps) step();
    }
};

// Makes link a symbolic link of the host to target, under Wine only; true
// when made. Wine removes it neither by RemoveDirectoryW nor by DeleteFileW.
bool MakeHostLink(const std::string& link, const std::string& target, AtEnd& atEnd) {
    const std::string hostLink = HostPath(link), hostTarget = HostPath(target);
    const auto exists = [link] { return ::GetFileAttributesW(Widen(link).c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (!UnderWine() || hostLink.empty() || hostTarget.empty() ||
        !RunOnHost("Z:\\bin\\ln", "-s \"" + hostTarget + "\" \"" + hostLink + "\"", exists))
        return false;
    atEnd.steps.push_back(
        [hostLink, exists] { RunOnHost("Z:\\bin\\rm", "-f \"" + hostLink + "\"", [&] { return !exists(); }); });
    return true;
}

// The mount point's reparse data, as FSCTL_SET_REPARSE_POINT takes it.
struct MountPointData {
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    WORD length = 0;
    WORD reserved = 0;
    WORD substituteOffset = 0, substituteLength = 0, printOffset = 0, printLength = 0;
    wchar_t names[2 * MAX_PATH + 8] = {};
};

// Makes link a junction to the folder target, as any user can on Windows.
// Wine 8 has no reparse points of its own (FSCTL_SET_REPARSE_POINT fails
// with ERROR_NOT_SUPPORTED) but reports a host symbolic link to a folder as
// one, as Windows reports a junction: there the link is made with the host's
// ln. Nothing when made, otherwise why not.
// Points the folder link (an empty folder, or a junction already) at
// target through FSCTL_SET_REPARSE_POINT; 0, or the system's error.
DWORD SetMountPoint(const std::string& link, const std::string& target) {
    const std::wstring substitute = L"\\??\\" + Widen(target);
    const std::wstring print = Widen(target);
    MountPointData data;
    data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    data.printOffset = static_cast<WORD>(data.substituteLength + sizeof(wchar_t));
    data.printLength = static_cast<WORD>(print.size() * sizeof(wchar_t));
    substitute.copy(data.names, substitute.size());
    print.copy(data.names + substitute.size() + 1, print.size());
    data.length = static_cast<WORD>(4 * sizeof(WORD) + data.printOffset + data.printLength + sizeof(wchar_t));
    DWORD error = 0;
    HANDLE folder = ::CreateFileW(Widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    if (folder == INVALID_HANDLE_VALUE ||
        !::DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &data, 2 * sizeof(DWORD) + data.length, nullptr, 0,
                           &returned, nullptr))
        error = ::GetLastError();
    if (folder != INVALID_HANDLE_VALUE) ::CloseHandle(folder);
    return error;
}

std::string MakeFolderLink(const std::string& link, const std::string& target, AtEnd& atEnd) {
    if (!MakeFolder(link)) return "CreateDirectoryW failed: " + text::SystemMessage(::GetLastError());
    const DWORD error = SetMountPoint(link, target);
    if (IsLink(link)) {
        // Removing a junction removes the link, never what it leads to.
        atEnd.steps.push_back([link] { ::RemoveDirectoryW(Widen(link).c_str()); });
        return {};
    }
    ::RemoveDirectoryW(Widen(link).c_str());
    const std::string why = "FSCTL_SET_REPARSE_POINT made no junction (" + text::SystemMessage(error) + ")";
    if (!MakeHostLink(link, target, atEnd)) return why + ", and the host's ln made no link either";
    if (!IsLink(link)) return why + ", and Wine does not report the host's link as one";
    return {};
}

// Points the folder link that MakeFolderLink made at target instead, as
// its maker may at any moment; true once done() says it has.
bool RetargetFolderLink(const std::string& link, const std::string& target, const std::function<bool()>& done) {
    if (!UnderWine()) return SetMountPoint(link, target) == 0 && done();
    return RunOnHost("Z:\\bin\\ln", "-sfn \"" + HostPath(target) + "\" \"" + HostPath(link) + "\"", done);
}

// Makes link a symbolic link to the file target.
std::string MakeFileLink(const std::string& link, const std::string& target, AtEnd& atEnd) {
    const BOOL made =
        ::CreateSymbolicLinkW(Widen(link).c_str(), Widen(target).c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD error = made ? 0 : ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(Widen(link).c_str());
    if (IsLink(link)) {
        atEnd.steps.push_back([link] { ::DeleteFileW(Widen(link).c_str()); });
        return {};
    }
    const std::string why = "CreateSymbolicLinkW answered " + std::to_string(made) + " (error " +
                            std::to_string(error) + ") and left attributes " + Hex(attributes);
    // Wine 8 answers TRUE and makes nothing. A host symbolic link to a file
    // it shows as the plain file (attributes 0x20, by name and by handle):
    // only where the handle's file really is tells it from one.
    return MakeHostLink(link, target, atEnd) ? std::string() : why + ": no file link";
}

constexpr char kKeep[] = "keep";

using Layout = std::function<std::string(const std::string& root, const std::string& elsewhere, AtEnd&)>;

struct DeleteCase {
    const char* name;
    // Lays out root (the AppData folder) and elsewhere (another user's
    // folder); nothing, or why this system cannot.
    Layout prepare;
    bool deleted;                   // root + file is gone
    std::vector<std::string> kept;  // below the scratch folder, each still holding kKeep
    // What another user does after the logic's last look at the file and
    // before the platform's: nothing, or why this system cannot.
    Layout meanwhile = nullptr;
    const char* file = "\\AnyDesk\\system.conf";
};

// The real platform, and another user's step the moment its caller has
// looked at the file's name for the last time.
class LookedAt final : public Win32Platform {
public:
    LookedAt(std::string file, std::function<void()> meanwhile)
        : file_(std::move(file)), meanwhile_(std::move(meanwhile)) {}
    PathFacts Inspect(const std::string& path) override {
        const PathFacts facts = Win32Platform::Inspect(path);
        if (meanwhile_ && path == file_) std::exchange(meanwhile_, nullptr)();
        return facts;
    }

private:
    std::string file_;
    std::function<void()> meanwhile_;
};

class DeleteThroughLink : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteThroughLink, DeletesOnlyAPlainFileAtTheNamedPlace) {
    const DeleteCase& c = GetParam();
    ScratchFolder scratch;
    const std::string root = scratch / "root", elsewhere = scratch / "elsewhere";
    ASSERT_TRUE(MakeFolder(root) && MakeFolder(elsewhere));
    AtEnd atEnd;  // after the scratch folder: runs before it is removed
    const std::string whyNot = c.prepare(root, elsewhere, atEnd);
    if (::testing::Test::HasFatalFailure()) return;
    if (!whyNot.empty()) GTEST_SKIP() << whyNot;

    std::string whyNotMeanwhile;
    LookedAt os(root + c.file, [&] {
        if (c.meanwhile) whyNotMeanwhile = c.meanwhile(root, elsewhere, atEnd);
    });
    DeleteNamedFile(os, root, c.file);
    if (!whyNotMeanwhile.empty()) GTEST_SKIP() << whyNotMeanwhile;

    EXPECT_EQ(::GetFileAttributesW(Widen(root + c.file).c_str()) == INVALID_FILE_ATTRIBUTES, c.deleted);
    for (const std::string& kept : c.kept) EXPECT_EQ(ReadBytes(scratch / kept).bytes, kKeep) << kept;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteThroughLink,
    ::testing::Values(
        DeleteCase{"PlainFile",
                   [](const std::string& root, const std::string&, AtEnd&) {
                       if (!MakeFolder(root + "\\AnyDesk")) return std::string("no folder");
                       WriteBytes(root + "\\AnyDesk\\system.conf", "conf");
                       WriteBytes(root + "\\AnyDesk\\service.conf", kKeep);
                       return std::string();
                   },
                   true,
                   {"root\\AnyDesk\\service.conf"}},
        // Windows finds names without regard to case; so does the check.
        DeleteCase{"PlainFileNamedInOtherCase",
                   [](const std::string& root, const std::string&, AtEnd&) {
                       if (!MakeFolder(root + "\\ANYDESK")) return std::string("no folder");
                       WriteBytes(root + "\\ANYDESK\\System.Conf", "conf");
                       return std::string();
                   },
                   true,
                   {}},
        DeleteCase{"FolderHoldingFiles",
                   [](const std::string& root, const std::string&, AtEnd&) {
                       if (!MakeFolder(root + "\\AnyDesk") || !MakeFolder(root + "\\AnyDesk\\system.conf"))
                           return std::string("no folder");
                       WriteBytes(root + "\\AnyDesk\\system.conf\\a.conf", kKeep);
                       WriteBytes(root + "\\AnyDesk\\system.conf\\b.txt", kKeep);
                       return std::string();
                   },
                   false,
                   {"root\\AnyDesk\\system.conf\\a.conf", "root\\AnyDesk\\system.conf\\b.txt"}},
        DeleteCase{"FolderLinkedElsewhere",
                   [](const std::string& root, const std::string& elsewhere, AtEnd& atEnd) {
                       WriteBytes(elsewhere + "\\system.conf", kKeep);
                       WriteBytes(elsewhere + "\\other.txt", kKeep);
                       return MakeFolderLink(root + "\\AnyDesk", elsewhere, atEnd);
                   },
                   false,
                   {"elsewhere\\system.conf", "elsewhere\\other.txt"}},
        DeleteCase{"FileLinkedElsewhere",
                   [](const std::string& root, const std::string& elsewhere, AtEnd& atEnd) {
                       if (!MakeFolder(root + "\\AnyDesk")) return std::string("no folder");
                       WriteBytes(elsewhere + "\\secret.conf", kKeep);
                       return MakeFileLink(root + "\\AnyDesk\\system.conf", elsewhere + "\\secret.conf", atEnd);
                   },
                   false,
                   {"elsewhere\\secret.conf"}},
        // The file's own folder is plain: the link is the one above it.
        DeleteCase{"FolderAboveLinkedElsewhere",
                   [](const std::string& root, const std::string& elsewhere, AtEnd& atEnd) {
                       if (!MakeFolder(elsewhere + "\\config")) return std::string("no folder");
                       WriteBytes(elsewhere + "\\config\\RustDesk2.toml", kKeep);
                       return MakeFolderLink(root + "\\RustDesk", elsewhere, atEnd);
                   },
                   false,
                   {"elsewhere\\config\\RustDesk2.toml"},
                   nullptr,
                   "\\RustDesk\\config\\RustDesk2.toml"},
        // Plain when the logic looked, a junction when the platform opens:
        // only the platform's own look through its handle can tell.
        DeleteCase{"FolderLinkedAfterTheLook",
                   [](const std::string& root, const std::string& elsewhere, AtEnd&) {
                       if (!MakeFolder(root + "\\AnyDesk")) return std::string("no folder");
                       WriteBytes(root + "\\AnyDesk\\system.conf", "conf");
                       WriteBytes(elsewhere + "\\system.conf", kKeep);
                       return std::string();
                   },
                   false,
                   {"elsewhere\\system.conf"},
                   [](const std::string& root, const std::string& elsewhere, AtEnd& atEnd) {
                       if (!::MoveFileW(Widen(root + "\\AnyDesk").c_str(), Widen(root + "\\AnyDesk-before").c_str()))
                           return "MoveFileW failed: " + text::SystemMessage(::GetLastError());
                       return MakeFolderLink(root + "\\AnyDesk", elsewhere, atEnd);
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

// --- DLLs loaded by name ------------------------------------------------------

// Makes Wine load the named DLLs (without ".dll") for one program (by its
// file name) from where the search finds them first, as Windows does, and
// puts it back. By default Wine takes its builtin DLL for a system DLL's
// name even when the search finds a file of that name beside the program:
// the module answers that file's path, but the file's DllMain never runs.
// WINEDLLOVERRIDES would change that, but a process reads it from the host
// environment Wine starts it with, not from the environment block it is
// given; the per-program setting in the registry is read by every new
// process.
class NativeFirst {
public:
    NativeFirst(const std::wstring& program, std::vector<std::wstring> dlls)
        : key_(L"Software\\Wine\\AppDefaults\\" + program), dlls_(std::move(dlls)) {
        HKEY app = nullptr;
        DWORD disposition = 0;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app,
                              &disposition) != ERROR_SUCCESS)
            return;
        created_ = disposition == REG_CREATED_NEW_KEY;
        ::RegCloseKey(app);
        for (const std::wstring& dll : dlls_) {
            const wchar_t order[] = L"native,builtin";
            ::RegSetKeyValueW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), dll.c_str(), REG_SZ, order,
                              sizeof order);
        }
    }
    ~NativeFirst() {
        if (created_) {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
            return;
        }
        for (const std::wstring& dll : dlls_)
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), dll.c_str());
    }
    NativeFirst(const NativeFirst&) = delete;
    NativeFirst& operator=(const NativeFirst&) = delete;

private:
    std::wstring key_;
    std::vector<std::wstring> dlls_;
    bool created_ = false;
};

class PlantedSystemDll : public ::testing::TestWithParam<const char*> {};

TEST_P(PlantedSystemDll, IsNotLoadedInPlaceOfTheSystems) {
    ScratchFolder downloads;
    const std::string dll = GetParam();
    ASSERT_TRUE(Copy(ProgramFolder() + "\\win_planted_dll.dll", downloads / dll));
    const std::string runner = downloads / "win_library_runner.exe";
    ASSERT_TRUE(Copy(ProgramFolder() + "\\win_library_runner.exe", runner));
    const std::string mark = downloads / "planted-dll-loaded.txt";
    const std::wstring module = Widen(dll.substr(0, dll.find('.')));
    const NativeFirst runnerTakesPlanted(L"win_library_runner.exe", {module});
    const NativeFirst productTakesPlanted(L"tarn-kit.exe", {module});

    ASSERT_EQ(RunToEnd(runner, "search " + dll, downloads.Path()), 0u);
    if (!ReadBytes(mark).exists)
        GTEST_SKIP() << "a plain LoadLibraryW(" << dll
                     << ") beside the planted DLL loaded the system's: nothing planted can be shown here";
    ASSERT_TRUE(::DeleteFileW(Widen(mark).c_str()));

    EXPECT_EQ(RunToEnd(runner, "system " + dll, downloads.Path()), 0u);
    EXPECT_EQ(ReadBytes(mark).bytes, "") << "LoadSystemLibrary took the planted DLL";
    ::DeleteFileW(Widen(mark).c_str());

    // The program itself beside it: nothing it imports comes from its
    // folder, so it starts, its window answers, and the planted DLL stays
    // unloaded. A DLL it imported would be loaded before any of its code
    // runs. On Windows the planted one, lacking the real one's functions,
    // would keep it from starting; Wine starts it all the same (the missing
    // functions become stubs), and only the mark tells.
    std::string product = ProgramFolder() + "\\" + TARNKIT_PRODUCT_FROM_TESTS;
    std::replace(product.begin(), product.end(), '/', '\\');
    ASSERT_TRUE(Copy(product, downloads / "tarn-kit.exe")) << product;
    HANDLE process = Start(downloads / "tarn-kit.exe", "", downloads.Path());
    ASSERT_NE(process, nullptr);
    const DWORD idle = ::WaitForInputIdle(process, 20000);
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
    EXPECT_EQ(idle, 0u);
    EXPECT_EQ(code, STILL_ACTIVE) << "tarn-kit.exe ended with " << Hex(code) << " beside the planted " << dll;
    EXPECT_EQ(ReadBytes(mark).bytes, "") << "tarn-kit.exe loaded the planted " << dll;
}

INSTANTIATE_TEST_SUITE_P(Names, PlantedSystemDll, ::testing::Values("wininet.dll", "bcrypt.dll"), [](const auto& info) {
    std::string name = info.param;
    return name.substr(0, name.find('.'));
});

// --- A checked program started from the shared work folder --------------

// The program file the cases start, as the pinned launches do.
constexpr char kClient[] = "PinnedProgram.exe";

struct SharedFolderCase {
    const char* name;
    // Lays out the scratch folder with the program file to start (its path
    // in source) and what another user left; nothing, or why this system
    // cannot show it.
    std::function<std::string(const ScratchFolder&, std::string& source, AtEnd&)> prepare;
    // What that user does after the check, as the process is created.
    std::function<void(const ScratchFolder&)> meanwhile = [](const ScratchFolder&) {};
    const char* fileName = kClient;
    bool started = true;  // otherwise refused with kPrivateCopyReason
};

void PrintTo(const SharedFolderCase& c, std::ostream* out) { *out << c.name; }

class CheckedStartFromSharedFolder : public ::testing::TestWithParam<SharedFolderCase> {};

TEST_P(CheckedStartFromSharedFolder, RunsTheCheckedCopyAndNothingPlanted) {
    const SharedFolderCase& c = GetParam();
    ScratchFolder scratch;
    AtEnd atEnd;
    const std::string mark = scratch / "started.txt";
    const ScopedEnvironment marked("TARNKIT_TEST_STARTED", mark);
    // Windows looks for version.dll beside the program first.
    const NativeFirst clientTakesPlanted(Widen(c.fileName), {L"version"});
    std::string source;
    const std::string whyNot = c.prepare(scratch, source, atEnd);
    if (::testing::Test::HasFatalFailure()) return;
    if (!whyNot.empty()) GTEST_SKIP() << whyNot;
    const std::optional<std::string> pin = Sha256OfFile(Widen(ProgramFolder() + "\\win_pinned_program.exe"));
    ASSERT_TRUE(pin);

    std::string refused;
    try {
        const FileHandle held = OpenProgramFile(source);
        const KernelHandle process =
            StartCheckedCopy(held.get(), source, ProgramCheck{*pin, ""},
                             [&](const std::wstring& application, const std::wstring& folder) {
                                 c.meanwhile(scratch);
                                 return CreateProgramProcess(source, "\"" + text::Narrow(application) + "\"",
                                                             application, folder, ShowState::NormalFocus);
                             });
        EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    } catch (const StartError& error) {
        refused = error.what();
    }

    const std::vector<std::string> ran = StartedPrograms(mark);
    if (c.started) {
        EXPECT_EQ(refused, "");
        ASSERT_EQ(ran.size(), 1u);
        ExpectPrivateCopy(ran[0], c.fileName);
    } else {
        EXPECT_EQ(refused.rfind(kPrivateCopyReason, 0), 0u) << refused;
        EXPECT_EQ(ran, std::vector<std::string>{});
    }
    EXPECT_FALSE(ReadBytes(scratch / "other\\planted-ran.txt").exists) << "the program swapped in ran";
    EXPECT_FALSE(ReadBytes(scratch / "temp\\planted-dll-loaded.txt").exists) << "the planted version.dll was loaded";
    EXPECT_EQ(FolderEntries(scratch / "elsewhere"), std::vector<std::string>{}) << "written through a link";
}

std::string Genuine() { return ProgramFolder() + "\\win_pinned_program.exe"; }

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckedStartFromSharedFolder,
    ::testing::Values(
        SharedFolderCase{"VersionDllBeside",
                         [](const ScratchFolder& scratch, std::string& source, AtEnd&) {
                             const std::string temp = scratch / "temp";
                             source = temp + "\\" + kClient;
                             if (!MakeFolder(temp) || !Copy(Genuine(), source) ||
                                 !Copy(ProgramFolder() + "\\win_planted_dll.dll", temp + "\\version.dll"))
                                 return std::string("no copies");
                             // Where it lies, the client loads what lies beside it.
                             const std::string loaded = temp + "\\planted-dll-loaded.txt";
                             if (RunToEnd(source, "", temp) != 0 || !ReadBytes(loaded).exists)
                                 return std::string("a start beside the planted version.dll loaded the system's");
                             ::DeleteFileW(Widen(loaded).c_str());
                             ::DeleteFileW(Widen(scratch / "started.txt").c_str());
                             return std::string();
                         }},
        SharedFolderCase{"FolderLinkSwappedAfterTheCheck",
                         [](const ScratchFolder& scratch, std::string& source, AtEnd& atEnd) {
                             source = scratch / "temp\\PinnedProgram.exe";
                             if (!MakeFolder(scratch / "genuine") || !MakeFolder(scratch / "other") ||
                                 !Copy(Genuine(), scratch / "genuine\\PinnedProgram.exe") ||
                                 !Copy(ProgramFolder() + "\\win_planted.exe", scratch / "other\\PinnedProgram.exe"))
                                 return std::string("no copies");
                             return MakeFolderLink(scratch / "temp", scratch / "genuine", atEnd);
                         },
                         [](const ScratchFolder& scratch) {
                             const std::string other = ReadBytes(scratch / "other\\PinnedProgram.exe").bytes;
                             EXPECT_TRUE(RetargetFolderLink(scratch / "temp", scratch / "other", [&] {
                                 return ReadBytes(scratch / "temp\\PinnedProgram.exe").bytes == other;
                             })) << "the link was not swapped";
                         }},
        // The copy's own folder a link, say to another user's folder: no
        // copy is written through it, and nothing starts.
        SharedFolderCase{
            "CopyFolderALink",
            [](const ScratchFolder& scratch, std::string& source, AtEnd& atEnd) {
                source = scratch / "temp\\LinkedCopy.exe";
                if (!MakeFolder(scratch / "temp") || !MakeFolder(scratch / "elsewhere") || !Copy(Genuine(), source))
                    return std::string("no copies");
                // A first start makes tarn-kit's folders; its copy's goes again.
                const FileHandle held = OpenProgramFile(source);
                std::wstring made, folderMade;
                StartCheckedCopy(held.get(), source, {}, [&](const std::wstring& copy, const std::wstring& folder) {
                    made = copy;
                    folderMade = folder;
                    return KernelHandle();
                });
                if (!::DeleteFileW(made.c_str()) || !::RemoveDirectoryW(folderMade.c_str()))
                    return std::string("no first copy");
                return MakeFolderLink(text::Narrow(folderMade), scratch / "elsewhere", atEnd);
            },
            [](const ScratchFolder&) {}, "LinkedCopy.exe", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::testing
