// The text-file writer through the real file API: exact bytes, CR LF,
// wholesale replacement, and failures raised as PlatformError.
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "platform/win32/Win32Platform.h"

namespace tarn::testing {
namespace {

class TextWriter : public ::testing::Test {
protected:
    std::unique_ptr<TextFile> Open(const std::string& path) { return os.CreateTextFile(path); }
    Win32Platform os;
    ScratchFolder folder;
};

TEST_F(TextWriter, WritesEachLineWithCrLf) {
    const std::string path = folder / "system.conf";
    auto file = Open(path);
    file->WriteLine("ad.anynet.proxy.mode=1");
    file->WriteLine("");
    file->WriteLine("host = \"rd.test:21116\"");
    file->Close();
    EXPECT_EQ(ReadBytes(path).bytes, "ad.anynet.proxy.mode=1\r\n\r\nhost = \"rd.test:21116\"\r\n");
}

TEST_F(TextWriter, ReplacesALongerEarlierFileWholly) {
    const std::string path = folder / "RustDesk2.toml";
    WriteBytes(path, std::string(5000, 'x') + "\r\nold tail\r\n");
    auto file = Open(path);
    file->WriteLine("short");
    file->Close();
    EXPECT_EQ(ReadBytes(path).bytes, "short\r\n");
}

TEST_F(TextWriter, NoLinesLeavesAnEmptyFile) {
    const std::string path = folder / "empty.txt";
    WriteBytes(path, "earlier");
    Open(path)->Close();
    const FileBytes written = ReadBytes(path);
    EXPECT_TRUE(written.exists);
    EXPECT_EQ(written.bytes, "");
}

TEST_F(TextWriter, AsciiIsOneBytePerCharacter) {
    const std::string path = folder / "ascii.txt";
    std::string printable;
    for (char c = ' '; c <= '~'; ++c) printable += c;
    auto file = Open(path);
    file->WriteLine(printable);
    file->Close();
    EXPECT_EQ(ReadBytes(path).bytes, printable + "\r\n");
}

TEST_F(TextWriter, LinesWrittenBeforeDestructionReachTheFile) {
    const std::string path = folder / "unclosed.txt";
    {
        auto file = Open(path);
        file->WriteLine("kept");
    }
    EXPECT_EQ(ReadBytes(path).bytes, "kept\r\n");
}

TEST_F(TextWriter, WriteAfterCloseRaises) {
    auto file = Open(folder / "closed.txt");
    file->Close();
    EXPECT_NO_THROW(file->Close());
    EXPECT_THROW(file->WriteLine("late"), PlatformError);
}

TEST_F(TextWriter, UnwritableTargetRaisesWithTheSystemsReason) {
    ::CreateDirectoryW(text::Widen(folder / "a folder").c_str(), nullptr);
    // (A read-only file is no test here: Wine running as root writes it anyway.)
    for (const std::string& path : {folder / "missing folder\\system.conf", folder / "a folder"}) {
        try {
            Open(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const PlatformError& error) {
            EXPECT_FALSE(std::string(error.what()).empty()) << path;
            EXPECT_EQ(std::string(error.what()).rfind("系統錯誤", 0), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"a folder"});
}

// The ANSI code page of this prefix decides the bytes of a non-ASCII line;
// where it is Traditional Chinese (950) every letter is two bytes.
TEST(TextWriterAnsi, ChineseLineInBig5WhereThatIsTheCodePage) {
    if (::GetACP() != 950) GTEST_SKIP() << "ANSI code page is " << ::GetACP();
    ScratchFolder folder;
    Win32Platform os;
    auto file = os.CreateTextFile(folder / "big5.txt");
    file->WriteLine("森");
    file->Close();
    EXPECT_EQ(ReadBytes(folder / "big5.txt").bytes, "\xB4\xCB\r\n");
}

}  // namespace
}  // namespace tarn::testing
