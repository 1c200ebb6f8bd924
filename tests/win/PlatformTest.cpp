// The Win32 platform operations against the real system (under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "WinTestSupport.h"
#include "platform/win32/Sha256.h"
#include "platform/win32/Win32Platform.h"
#include "platform/FilePresence.h"
#include "platform/TopMost.h"
#include "platform/win32/WindowIds.h"

namespace tarn::testing {
namespace {

using text::Widen;

// --- IsFilePresent over Inspect --------------------------------------------

struct PresenceCase {
    const char* name;
    // Prepares the scratch folder and answers the path to test.
    std::function<std::string(const ScratchFolder&)> prepare;
    bool present;
};

class FilePresence : public ::testing::TestWithParam<PresenceCase> {};

std::string PlainFile(const ScratchFolder& folder, const std::string& name, DWORD attributes) {
    const std::string path = folder / name;
    WriteBytes(path, "MZ");
    ::SetFileAttributesW(Widen(path).c_str(), attributes);
    return path;
}

TEST_P(FilePresence, AnswersTrueOnlyForAnExistingNonFolder) {
    ScratchFolder folder;
    Win32Platform os;
    const std::string path = GetParam().prepare(folder);
    EXPECT_EQ(IsFilePresent(os, path), GetParam().present) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilePresence,
    ::testing::Values(
        PresenceCase{"PlainFile", [](const ScratchFolder& f) { return PlainFile(f, "a.exe", FILE_ATTRIBUTE_NORMAL); },
                     true},
        PresenceCase{"HiddenFile", [](const ScratchFolder& f) { return PlainFile(f, "h.exe", FILE_ATTRIBUTE_HIDDEN); },
                     true},
        PresenceCase{"ReadOnlyFile",
                     [](const ScratchFolder& f) { return PlainFile(f, "r.exe", FILE_ATTRIBUTE_READONLY); }, true},
        PresenceCase{"OtherLetterCase",
                     [](const ScratchFolder& f) {
                         PlainFile(f, "AnyDesk.exe", FILE_ATTRIBUTE_NORMAL);
                         return f / "anydesk.EXE";
                     },
                     true},
        PresenceCase{"ChineseName",
                     [](const ScratchFolder& f) { return PlainFile(f, "遠端維修.exe", FILE_ATTRIBUTE_NORMAL); }, true},
        PresenceCase{"Folder",
                     [](const ScratchFolder& f) {
                         ::CreateDirectoryW(Widen(f / "sub.exe").c_str(), nullptr);
                         return f / "sub.exe";
                     },
                     false},
        PresenceCase{"MissingPath", [](const ScratchFolder& f) { return f / "missing.exe"; }, false},
        PresenceCase{"MissingFolderInPath", [](const ScratchFolder& f) { return f / "nowhere\\a.exe"; }, false},
        PresenceCase{"EmptyText", [](const ScratchFolder&) { return std::string(); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- SetTopMost on a real window ------------------------------------------

bool IsTopMost(HWND window) { return (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

TEST(TopMostSwitch, TrueMakesTopmostAndFalseClearsIt) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"topmost test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                    nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    Win32Platform os;
    const WindowId handle = IdOf(window);
    ASSERT_FALSE(IsTopMost(window));

    EXPECT_NE(SetTopMost(os, handle, true), 0);
    EXPECT_TRUE(IsTopMost(window));
    // Again on a window that is already topmost: it stays so.
    EXPECT_NE(SetTopMost(os, handle, true), 0);
    EXPECT_TRUE(IsTopMost(window));

    EXPECT_EQ(SetTopMost(os, handle, false), 0);
    EXPECT_FALSE(IsTopMost(window));

    // Position and size are left alone.
    RECT rect{};
    ::GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 200);
    EXPECT_EQ(rect.bottom - rect.top, 100);
    ::DestroyWindow(window);

    // A dead handle makes SetWindowPos fail, and True passes that on.
    EXPECT_EQ(SetTopMost(os, handle, true), 0);
}

// --- Shell and WaitForTasks -----------------------------------------------

std::string ChildCommand(const std::string& mark, int milliseconds) {
    return "\"" + ProgramFolder() + "\\win_child.exe\" \"" + mark + "\" " + std::to_string(milliseconds);
}

bool IsRunning(Win32Platform& os, TaskId id) { return !os.WaitForTasks({id}, std::chrono::milliseconds{0}); }

struct ShowCase {
    const char* name;
    ShowState style;
    int shown;  // what the child finds in its start-up information
};

class ShellStyle : public ::testing::TestWithParam<ShowCase> {};

TEST_P(ShellStyle, ReturnsAtOnceAndPassesTheShowState) {
    ScratchFolder folder;
    Win32Platform os;
    const std::string mark = folder / "mark.txt";
    const TaskId id = os.Shell(ChildCommand(mark, 1500), GetParam().style);
    // Shell did not wait: the child is still running and has left no mark.
    EXPECT_TRUE(IsRunning(os, id));
    EXPECT_FALSE(ReadBytes(mark).exists);

    ASSERT_TRUE(os.WaitForTasks({id}, std::chrono::milliseconds{20000}));
    EXPECT_EQ(ReadBytes(mark).bytes, "show=" + std::to_string(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(Styles, ShellStyle,
                         ::testing::Values(ShowCase{"Hidden", ShowState::Hidden, SW_HIDE},
                                           ShowCase{"Normal", ShowState::NormalFocus, SW_SHOWNORMAL},
                                           ShowCase{"Minimized", ShowState::MinimizedFocus, SW_SHOWMINIMIZED},
                                           ShowCase{"Maximized", ShowState::MaximizedFocus, SW_SHOWMAXIMIZED}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Shell, TwoCommandsRunAtTheSameTime) {
    ScratchFolder folder;
    Win32Platform os;
    const TaskId first = os.Shell(ChildCommand(folder / "1.txt", 1500), ShowState::Hidden);
    const TaskId second = os.Shell(ChildCommand(folder / "2.txt", 1500), ShowState::Hidden);
    EXPECT_TRUE(IsRunning(os, first));
    EXPECT_TRUE(IsRunning(os, second));
    ASSERT_TRUE(os.WaitForTasks({first, second}, std::chrono::milliseconds{20000}));
    EXPECT_TRUE(ReadBytes(folder / "1.txt").exists);
    EXPECT_TRUE(ReadBytes(folder / "2.txt").exists);
}

TEST(Shell, CmdCommandLineRuns) {
    ScratchFolder folder;
    Win32Platform os;
    const TaskId id = os.Shell("cmd.exe /c echo ok> \"" + (folder / "echo.txt") + "\"", ShowState::MinimizedFocus);
    ASSERT_TRUE(os.WaitForTasks({id}, std::chrono::milliseconds{20000}));
    EXPECT_EQ(ReadBytes(folder / "echo.txt").bytes, "ok\r\n");
}

TEST(Shell, MissingProgramRaisesStartErrorWithTheSystemsReason) {
    Win32Platform os;
    const std::string command = "c:\\no such folder\\missing-program.exe /x";
    try {
        os.Shell(command, ShowState::NormalFocus);
        FAIL() << "Shell started a missing program";
    } catch (const StartError& error) {
        EXPECT_EQ(error.CommandLine(), command);
        const std::string reason = error.what();
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos);
        // The system's own text for a missing file or path.
        EXPECT_TRUE(reason == text::SystemMessage(ERROR_FILE_NOT_FOUND) ||
                    reason == text::SystemMessage(ERROR_PATH_NOT_FOUND))
            << reason;
        EXPECT_EQ(reason.rfind("系統錯誤", 0), std::string::npos) << reason;
    }
}

TEST(WaitForTasks, TimesOutWhileATaskRunsAndTreatsUnknownIdsAsEnded) {
    ScratchFolder folder;
    Win32Platform os;
    const TaskId id = os.Shell(ChildCommand(folder / "m.txt", 3000), ShowState::Hidden);
    EXPECT_FALSE(os.WaitForTasks({id}, std::chrono::milliseconds{200}));
    EXPECT_TRUE(IsRunning(os, id));
    EXPECT_TRUE(os.WaitForTasks({}, std::chrono::milliseconds{0}));
    // An id this platform never handed out.
    EXPECT_TRUE(os.WaitForTasks({TaskId{0x7FFFFFF1u}}, std::chrono::milliseconds{0}));
    EXPECT_TRUE(os.WaitForTasks({id, TaskId{0x7FFFFFF1u}}, std::chrono::milliseconds{20000}));
}

// --- Environ ----------------------------------------------------------------

struct EnvironCase {
    const char* name;
    const wchar_t* value;  // null: not set
    std::string expected;
};

class EnvironValue : public ::testing::TestWithParam<EnvironCase> {};

TEST_P(EnvironValue, ReadsTheProcessEnvironment) {
    const wchar_t* kName = L"TARNKIT_TEST_APPDATA";
    ::SetEnvironmentVariableW(kName, GetParam().value);
    Win32Platform os;
    EXPECT_EQ(os.Environ("TARNKIT_TEST_APPDATA"), GetParam().expected);
    EXPECT_EQ(os.Environ("tarnkit_test_appdata"), GetParam().expected);  // names ignore case
    ::SetEnvironmentVariableW(kName, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvironValue,
    ::testing::Values(EnvironCase{"Unset", nullptr, ""},
                      EnvironCase{"Plain", L"C:\\Users\\amy\\AppData\\Roaming", "C:\\Users\\amy\\AppData\\Roaming"},
                      EnvironCase{"BlanksAndAmpersand", L"C:\\Users\\A & B\\AppData", "C:\\Users\\A & B\\AppData"},
                      EnvironCase{"Chinese", L"C:\\Users\\\x5C0F\x68EE\\AppData", "C:\\Users\\小森\\AppData"},
                      EnvironCase{"SetButEmpty", L"", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Environ, LongValueArrivesWhole) {
    const std::wstring value = L"C:\\" + std::wstring(1000, L'\x68EE');
    ::SetEnvironmentVariableW(L"TARNKIT_TEST_LONG", value.c_str());
    Win32Platform os;
    EXPECT_EQ(os.Environ("TARNKIT_TEST_LONG"), text::Narrow(value));
    ::SetEnvironmentVariableW(L"TARNKIT_TEST_LONG", nullptr);
}

// --- CreateFolder -----------------------------------------------------------

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(CreateFolder, CreatesNewAndAcceptsExisting) {
    ScratchFolder folder;
    Win32Platform os;
    const std::string path = folder / "RustDesk 設定";
    os.CreateFolder(path);
    EXPECT_TRUE(IsFolder(path));
    WriteBytes(path + "\\keep.txt", "x");
    EXPECT_NO_THROW(os.CreateFolder(path));
    EXPECT_EQ(ReadBytes(path + "\\keep.txt").bytes, "x");
}

TEST(CreateFolder, FailsWhenAFileBlocksItOrTheParentIsMissing) {
    ScratchFolder folder;
    Win32Platform os;
    WriteBytes(folder / "AnyDesk", "a file, not a folder");
    for (const std::string& path : {folder / "AnyDesk", folder / "missing\\config"}) {
        try {
            os.CreateFolder(path);
            ADD_FAILURE() << "created " << path;
        } catch (const PlatformError& error) {
            EXPECT_FALSE(std::string(error.what()).empty()) << path;
        }
        EXPECT_FALSE(IsFolder(path)) << path;
    }
    EXPECT_EQ(ReadBytes(folder / "AnyDesk").bytes, "a file, not a folder");
}

// --- MsgBox -----------------------------------------------------------------

struct MsgBoxCase {
    const char* name;
    MsgBoxButtons buttons;
    int press;                 // the button the "user" presses
    MsgBoxAnswer answer;       // what MsgBox must make of it
    std::vector<int> present;  // buttons the box must show
    std::vector<int> absent;   // and must not
    MsgBoxIcon icon = MsgBoxIcon::None;
};

class MsgBoxPrompt : public ::testing::TestWithParam<MsgBoxCase> {};

// What a second thread found in the box before pressing its button.
struct SeenBox {
    std::wstring prompt;
    HWND owner = nullptr;
    std::vector<int> present, absent;
    bool icon = false;
};

BOOL CALLBACK NoteIcon(HWND child, LPARAM found) {
    if (::IsWindowVisible(child) && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageW(child, STM_GETICON, 0, 0) != 0)
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

// Whether the box shows an icon: a visible static control holding one.
bool ShowsIcon(HWND box) {
    bool found = false;
    ::EnumChildWindows(box, &NoteIcon, reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_P(MsgBoxPrompt, CaptionedTarnKitAnsweringTheButtonPressed) {
    const MsgBoxCase& c = GetParam();
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    Win32Platform os;
    os.SetOwner(owner);

    SeenBox seen;
    std::atomic<bool> found{false};
    std::thread presser([&] {
        // Up to a minute: a loaded machine may be slow to show the box, and
        // the test waits for it, not for a time.
        for (int i = 0; i < 2400 && !found; ++i) {
            HWND box = ::FindWindowW(L"#32770", L"tarn-kit");
            if (!box) {
                ::Sleep(25);
                continue;
            }
            wchar_t prompt[256] = {};
            ::GetDlgItemTextW(box, 0xFFFF, prompt, 255);  // the message text's control
            seen.prompt = prompt;
            seen.owner = ::GetWindow(box, GW_OWNER);
            auto shown = [box](int id) {
                HWND button = ::GetDlgItem(box, id);
                return button && ::IsWindowVisible(button);
            };
            for (int id : c.present)
                if (shown(id)) seen.present.push_back(id);
            for (int id : c.absent)
                if (shown(id)) seen.absent.push_back(id);
            seen.icon = ShowsIcon(box);
            found = true;
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(c.press, BN_CLICKED), 0);
        }
    });
    const MsgBoxAnswer answer = os.MsgBox("要結束所有遠端程式嗎？", c.buttons, c.icon);
    presser.join();
    ::DestroyWindow(owner);

    ASSERT_TRUE(found);
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(seen.prompt, L"\x8981\x7D50\x675F\x6240\x6709\x9060\x7AEF\x7A0B\x5F0F\x55CE\xFF1F");
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.present, c.present);
    EXPECT_TRUE(seen.absent.empty());
    EXPECT_EQ(seen.icon, c.icon == MsgBoxIcon::Warning);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MsgBoxPrompt,
    ::testing::Values(
        MsgBoxCase{"OkOnly", MsgBoxButtons::Ok, IDOK, MsgBoxAnswer::Ok, {IDOK}, {IDYES, IDNO, IDCANCEL}},
        MsgBoxCase{"OkWithWarning",
                   MsgBoxButtons::Ok,
                   IDOK,
                   MsgBoxAnswer::Ok,
                   {IDOK},
                   {IDYES, IDNO, IDCANCEL},
                   MsgBoxIcon::Warning},
        MsgBoxCase{
            "YesNoCancelYes", MsgBoxButtons::YesNoCancel, IDYES, MsgBoxAnswer::Yes, {IDYES, IDNO, IDCANCEL}, {IDOK}},
        MsgBoxCase{"YesNoCancelCancel",
                   MsgBoxButtons::YesNoCancel,
                   IDCANCEL,
                   MsgBoxAnswer::Cancel,
                   {IDYES, IDNO, IDCANCEL},
                   {IDOK}},
        MsgBoxCase{"YesNoNo", MsgBoxButtons::YesNo, IDNO, MsgBoxAnswer::No, {IDYES, IDNO}, {IDOK, IDCANCEL}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Sleep ------------------------------------------------------------------

TEST(Sleep, PausesForAtLeastTheTime) {
    Win32Platform os;
    const ULONGLONG start = ::GetTickCount64();
    os.Sleep(std::chrono::milliseconds{300});
    EXPECT_GE(::GetTickCount64() - start, 280u);  // tick granularity
}

// --- Text at the boundary ------------------------------------------------

TEST(SystemMessage, IsTheSystemsTextWithoutLineBreak) {
    for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_ALREADY_EXISTS}) {
        const std::string message = text::SystemMessage(code);
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message.back(), '\n');
        EXPECT_NE(message.back(), '\r');
        EXPECT_EQ(message.rfind("系統錯誤", 0), std::string::npos) << code;
    }
    // Traditional Chinese is asked for first, whatever the system's own
    // language: the text is not plain ASCII.
    const std::string notFound = text::SystemMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(std::any_of(notFound.begin(), notFound.end(), [](char c) { return (c & 0x80) != 0; })) << notFound;
    // A code the system has no text for is still described, by its number.
    EXPECT_NE(text::SystemMessage(0x2FFFFFFF).find("0x2FFFFFFF"), std::string::npos);
    // The text for a program that is no program names the file in its insert.
    const std::string badFormat = text::SystemMessage(ERROR_BAD_EXE_FORMAT, "c:\\temp\\anydesk.exe");
    EXPECT_EQ(badFormat.find('%'), std::string::npos) << badFormat;
    EXPECT_NE(badFormat.find("c:\\temp\\anydesk.exe"), std::string::npos) << badFormat;
    EXPECT_EQ(text::SystemMessage(ERROR_BAD_EXE_FORMAT).find('%'), std::string::npos);
}

// --- A pinned program file, held while it starts ---------------------------

TEST(HoldProgramFile, NobodyChangesReplacesOrDeletesItWhileHeld) {
    ScratchFolder folder;
    const std::string program = folder / "AnyDesk.exe";
    const std::string other = folder / "planted.exe";
    ASSERT_TRUE(::CopyFileW(Widen(ProgramFolder() + "\\win_child.exe").c_str(), Widen(program).c_str(), FALSE));
    WriteBytes(other, "MZ planted");
    const std::optional<std::string> pin = Sha256OfFile(Widen(program));
    ASSERT_TRUE(pin);
    {
        const FileHandle held = HoldProgramFile(program, ProgramCheck{*pin, ""});
        HANDLE writer =
            ::CreateFileW(Widen(program).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing";
        if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
        EXPECT_FALSE(::MoveFileExW(Widen(other).c_str(), Widen(program).c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_FALSE(::DeleteFileW(Widen(program).c_str()));
        EXPECT_FALSE(::MoveFileExW(Widen(program).c_str(), Widen(folder / "moved.exe").c_str(), 0));
        EXPECT_EQ(Sha256OfFile(Widen(program)), pin) << "a reader is let in";
    }
    EXPECT_TRUE(::DeleteFileW(Widen(program).c_str())) << "still held after the start";

    // Other content is refused with the reason the person reads.
    try {
        HoldProgramFile(other, ProgramCheck{*pin, ""});
        FAIL() << "a file with other content was held for starting";
    } catch (const StartError& error) {
        EXPECT_EQ(error.CommandLine(), other);
        EXPECT_STREQ(error.what(), kPinMismatchReason);
    }
}

// The start of a checked program through its copy, with the process's
// creation watched: the moment the system would look the copy up.
TEST(StartCheckedCopy, CreatesTheProcessOfAHeldCheckedCopyOnly) {
    ScratchFolder folder;
    const std::string program = folder / "HeldCopy.exe";
    ASSERT_TRUE(::CopyFileW(Widen(ProgramFolder() + "\\win_child.exe").c_str(), Widen(program).c_str(), FALSE));
    const std::optional<std::string> pin = Sha256OfFile(Widen(program));
    ASSERT_TRUE(pin);
    std::vector<std::string> created;
    const CopyStarter watch = [&](const std::wstring& application, const std::wstring& copyFolder) {
        created.push_back(text::Narrow(application));
        HANDLE writer =
            ::CreateFileW(application.c_str(), GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "the copy was let go before its process was created";
        if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
        EXPECT_FALSE(::MoveFileExW(copyFolder.c_str(), (copyFolder + L"-moved").c_str(), 0)) << "its folder moved";
        EXPECT_EQ(Sha256OfFile(application), pin);
        // The first copy runs on (win_child lingers); the others are only
        // looked at.
        if (created.size() > 1) return KernelHandle();
        return CreateProgramProcess(program, "\"" + created[0] + "\" \"" + folder / "child.txt" + "\" 60000",
                                    application, copyFolder, ShowState::Hidden);
    };
    const FileHandle source = OpenProgramFile(program);
    const KernelHandle earlier = StartCheckedCopy(source.get(), program, ProgramCheck{*pin, ""}, watch);
    ASSERT_EQ(created.size(), 1u);
    ASSERT_TRUE(earlier);
    ExpectPrivateCopy(created[0], "HeldCopy.exe", "HeldCopy");

    // An earlier copy that cannot go, as it still runs, leaves its folder to
    // it; the copy goes beside it.
    StartCheckedCopy(source.get(), program, ProgramCheck{*pin, ""}, watch);
    ::TerminateProcess(earlier.get(), 0);
    ::WaitForSingleObject(earlier.get(), 10000);
    ASSERT_EQ(created.size(), 2u);
    ExpectPrivateCopy(created[1], "HeldCopy.exe", "HeldCopy-2");
    EXPECT_NE(created[1], created[0]);

    // A held file that cannot be read through is no file of the pinned
    // content, however its name and size look.
    const FileHandle unreadable(::CreateFileW(Widen(program).c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(unreadable);
    try {
        StartCheckedCopy(unreadable.get(), program, ProgramCheck{*pin, ""}, watch);
        ADD_FAILURE() << "an unreadable file passed its pin";
    } catch (const StartError& error) {
        EXPECT_EQ(error.CommandLine(), program);
        EXPECT_STREQ(error.what(), kPinMismatchReason);
    }
    EXPECT_EQ(created.size(), 2u);
}

TEST(TextConversion, RoundTripsChineseAndAstralLetters) {
    for (const std::string utf8 : {"", "abc", "遠端維修", "請 (聯絡小森) 告知您的 ID", "\xF0\x9F\x98\x80 ok"}) {
        EXPECT_EQ(text::Narrow(text::Widen(utf8)), utf8);
    }
    EXPECT_EQ(text::Widen("森"), std::wstring(L"\x68EE"));
    EXPECT_EQ(text::Widen("\xF0\x9F\x98\x80").size(), 2u);  // a surrogate pair
}

}  // namespace
}  // namespace tarn::testing
