// A recording fake of the operating system for the launch logic. Every effect
// is appended to `log` as one readable line; tests compare the whole log.
// Switches make operations fail. File names compare without regard to letter
// case, as on Windows.
#pragma once

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <utility>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "launch/Catalogue.h"
#include "launch/Reminder.h"
#include "platform/Platform.h"

namespace tarn::testing {

inline std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The five plain tools' entries, always in this order: AnyDesk, Aweray, IE11,
// RustDesk, AeroAdmin (tests index it by that order).
inline std::vector<ToolEntry> PlainToolEntries(const Deployment& deploy) {
    return {AnyDeskEntry(deploy), AwerayEntry(), Ie11Entry(), RustDeskEntry(), AeroAdminEntry()};
}

class FakeOs : public Platform, public Reminder {
public:
    static constexpr WindowId kReminderHandle{0x5150};

    std::vector<std::string> log;

    // --- switches and state ---------------------------------------------
    std::map<std::string, std::string> environment;   // exact names; looked up without case
    std::map<std::string, std::uint32_t> attributes;  // lower-case path -> attributes
    std::map<std::string, std::string> contents;      // lower-case path -> bytes written
    std::set<std::string> unstartable;                // lower-case command lines Shell refuses
    std::set<std::string> damaged;                    // lower-case program files the system cannot run
    bool servedRuns = true;                           // what the server sends can run
    std::set<std::string> unwritable;                 // lower-case paths that cannot be created
    std::set<std::string> uncreatableFolders;         // lower-case folders CreateFolder refuses
    DownloadResult downloadResult;                    // what Download answers
    std::deque<MsgBoxAnswer> answers;                 // MsgBox answers, in order; default OK/Yes
    bool waitEndsTasks = true;                        // WaitForTasks answer
    std::uint32_t nextTask = 100;
    // As on Windows: Shell fails for a program given by its path (the first
    // word holds a backslash) when no such file is there.
    bool programsMustExist = false;
    // As on Windows: a file or folder cannot be created in a folder that is
    // not there.
    bool foldersMustExist = false;
    // WriteLine fails once a file has this many lines (a full disk); -1 never.
    int writeFailsAfterLines = -1;
    // The SHA-256 of each file's content, lower-case path -> hex digest. A
    // file without one has kOtherSha256; unreadable files have none at all.
    std::map<std::string, std::string> digests;
    std::set<std::string> unreadable;  // lower-case paths that cannot be read
    // The SHA-256 of what the download server sends; a successful download
    // gives the file this digest.
    std::string servedSha256 = kServedSha256;
    // Who signed each file, lower-case path -> signer's name; unsigned files
    // have none. What the server sends is signed by servedPublisher ("": unsigned).
    std::map<std::string, std::string> publishers;
    std::string servedPublisher;

    static constexpr char kServedSha256[] = "5e884898da28047151d0e56f8dc6292773603d0d6aabbdd62a11ef721d1542d8";
    static constexpr char kOtherSha256[] = "0000000000000000000000000000000000000000000000000000000000000000";

    // The attribute bits of a folder and of a link or junction.
    static constexpr std::uint32_t kAttributeDirectory = 0x10;
    static constexpr std::uint32_t kAttributeReparsePoint = 0x400;

    void AddFile(const std::string& path, std::uint32_t attrs = 0x20) { attributes[Lower(path)] = attrs; }
    void AddFolder(const std::string& path) { attributes[Lower(path)] = kAttributeDirectory; }
    bool HasFile(const std::string& path) const { return attributes.count(Lower(path)) != 0; }
    std::string Contents(const std::string& path) const {
        auto it = contents.find(Lower(path));
        return it == contents.end() ? std::string() : it->second;
    }

    // --- Platform --------------------------------------------------------
    TaskId Shell(const std::string& commandLine, ShowState style, const ProgramCheck& check = {}) override {
        if (check.Any()) return ShellChecked(commandLine, style, check);
        if (unstartable.count(Lower(commandLine)) || (programsMustExist && !ProgramExists(commandLine))) {
            log.push_back("Shell failed " + commandLine);
            throw StartError(commandLine, "找不到指定的檔案。");
        }
        if (damaged.count(Lower(commandLine))) {
            log.push_back("Shell failed " + commandLine);
            throw StartError(commandLine, "不是有效的 Win32 應用程式。", StartFailure::NotAProgram);
        }
        log.push_back("Shell " + std::to_string(static_cast<int>(style)) + " " + commandLine);
        return TaskId{nextTask++};
    }

    // A checked start: the file must be there and pass the check.
    TaskId ShellChecked(const std::string& path, ShowState style, const ProgramCheck& check) {
        if (const char* refusal = Refusal(path, check)) {
            log.push_back("ShellChecked refused " + path);
            throw StartError(path, refusal);
        }
        log.push_back("ShellChecked " + std::to_string(static_cast<int>(style)) + " " + path);
        return TaskId{nextTask++};
    }

    bool WaitForTasks(const std::vector<TaskId>& tasks, std::chrono::milliseconds limit) override {
        std::string ids;
        for (TaskId t : tasks) {
            if (!ids.empty()) ids += ',';
            ids += std::to_string(static_cast<std::uint32_t>(t));
        }
        log.push_back("Wait " + ids + " " + (limit == kNoTimeLimit ? "-1" : std::to_string(limit.count())));
        return waitEndsTasks;
    }

    DownloadResult Download(const std::string& url, const std::string& path, const ProgramCheck& check = {}) override {
        if (check.Any()) return DownloadChecked(url, path, check);
        log.push_back("Download " + url + " -> " + path);
        if (downloadResult.Ok()) Deliver(path);
        return downloadResult;
    }

    // A checked download: what the server sends must pass the check, else
    // nothing is kept and the answer says which part failed.
    DownloadResult DownloadChecked(const std::string& url, const std::string& path, const ProgramCheck& check) {
        log.push_back("DownloadChecked " + url + " -> " + path + Describe(check));
        if (!downloadResult.Ok()) return downloadResult;
        if (!check.sha256.empty() && Lower(servedSha256) != Lower(check.sha256)) return kDownloadHashMismatch;
        if (!check.publisher.empty() && servedPublisher != check.publisher) return kDownloadNotGenuine;
        Deliver(path);
        return kDownloadOk;
    }

    bool FileMatches(const std::string& path, const ProgramCheck& check) override {
        log.push_back("CheckFile " + path);
        return Refusal(path, check) == nullptr;
    }

    std::optional<std::string> DigestOf(const std::string& path) {
        const std::string key = Lower(path);
        auto attrs = FileAttributes(path);
        if (!attrs || (*attrs & kAttributeDirectory) || unreadable.count(key)) return std::nullopt;
        auto it = digests.find(key);
        return it == digests.end() ? std::string(kOtherSha256) : it->second;
    }

    void Sleep(std::chrono::milliseconds pause) override {
        log.push_back("Sleep " + std::to_string(pause.count()));
        // What another user does meanwhile, in the world-writable work folder.
        if (duringSleep) std::exchange(duringSleep, nullptr)();
    }
    std::function<void()> duringSleep;

    std::string Environ(const std::string& name) override {
        for (const auto& [key, value] : environment)
            if (Lower(key) == Lower(name)) return value;
        return "";
    }

    PathFacts Inspect(const std::string& path) override {
        const auto attrs = FileAttributes(path);
        if (!attrs) return {};
        return {true, (*attrs & kAttributeDirectory) != 0, (*attrs & kAttributeReparsePoint) != 0};
    }

    std::optional<std::uint32_t> FileAttributes(const std::string& path) const {
        auto it = attributes.find(Lower(path));
        if (it == attributes.end()) return std::nullopt;
        return it->second;
    }

    void CreateFolder(const std::string& path) override {
        if (uncreatableFolders.count(Lower(path)) || !ParentExists(path)) {
            log.push_back("CreateFolder failed " + path);
            throw PlatformError("存取被拒。");
        }
        auto existing = FileAttributes(path);
        if (existing && (*existing & kAttributeDirectory)) return;  // nothing to do, nothing to record
        log.push_back("CreateFolder " + path);
        AddFolder(path);
    }

    // As the platform promises: a folder or link at path, or a link on any
    // folder of it, is left alone, whatever the caller looked at before.
    bool RemoveFile(const std::string& path) override {
        log.push_back("RemoveFile " + path);
        const auto attrs = FileAttributes(path);
        if (!attrs || (*attrs & (kAttributeDirectory | kAttributeReparsePoint))) return false;
        for (auto slash = path.find('\\', 2); slash != std::string::npos; slash = path.find('\\', slash + 1))
            if (const auto folder = FileAttributes(path.substr(0, slash)); folder && (*folder & kAttributeReparsePoint))
                return false;
        attributes.erase(Lower(path));
        contents.erase(Lower(path));
        damaged.erase(Lower(path));
        return true;
    }

    MsgBoxAnswer MsgBox(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon) override {
        // Logged with the buttons values of the classic message box: 0 OK,
        // 3 Yes/No/Cancel, 4 Yes/No, plus 48 for the warning icon.
        const int value = (buttons == MsgBoxButtons::Ok            ? 0
                           : buttons == MsgBoxButtons::YesNoCancel ? 3
                                                                   : 4) +
                          (icon == MsgBoxIcon::Warning ? 48 : 0);
        log.push_back("MsgBox " + std::to_string(value) + " " + prompt);
        if (!answers.empty()) {
            const MsgBoxAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == MsgBoxButtons::Ok ? MsgBoxAnswer::Ok : MsgBoxAnswer::Yes;
    }

    std::unique_ptr<TextFile> CreateTextFile(const std::string& path) override { return Open("CreateTextFile", path); }

    bool SetZOrder(WindowId window, ZOrder order) override {
        log.push_back("SetZOrder " + std::to_string(static_cast<std::uintptr_t>(window)) +
                      (order == ZOrder::TopMost ? " TopMost" : " NotTopMost"));
        return setZOrderResult;
    }
    bool setZOrderResult = true;

    // --- Reminder --------------------------------------------------------
    void SetText(const std::string& text) override { log.push_back("Reminder " + text); }
    WindowId Handle() override { return kReminderHandle; }
    void WatchForId(const std::string& path) override { log.push_back("WatchForId " + path); }
    void ForgetId() override { log.push_back("ForgetId"); }

private:
    static std::string Describe(const ProgramCheck& check) {
        return (check.sha256.empty() ? "" : " " + check.sha256) +
               (check.publisher.empty() ? "" : " 「" + check.publisher + "」");
    }

    // Why the file at path fails check, or nullptr when it passes.
    const char* Refusal(const std::string& path, const ProgramCheck& check) {
        const auto digest = DigestOf(path);
        if (!digest) return "找不到指定的檔案。";
        if (!check.sha256.empty() && Lower(*digest) != Lower(check.sha256)) return kPinMismatchReason;
        auto signer = publishers.find(Lower(path));
        if (!check.publisher.empty() && (signer == publishers.end() || signer->second != check.publisher))
            return kNotGenuineReason;
        return nullptr;
    }

    void Deliver(const std::string& path) {
        AddFile(path);
        contents[Lower(path)] = "MZ";
        digests[Lower(path)] = Lower(servedSha256);
        if (servedPublisher.empty())
            publishers.erase(Lower(path));
        else
            publishers[Lower(path)] = servedPublisher;
        unreadable.erase(Lower(path));  // a new file, whatever kept the old one from being read
        if (servedRuns)
            damaged.erase(Lower(path));
        else
            damaged.insert(Lower(path));
    }

    static std::string Parent(const std::string& path) {
        const auto slash = path.find_last_of('\\');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }

    bool ParentExists(const std::string& path) {
        if (!foldersMustExist) return true;
        auto attrs = FileAttributes(Parent(path));
        return attrs && (*attrs & kAttributeDirectory);
    }

    bool ProgramExists(const std::string& commandLine) {
        std::string program = commandLine.substr(0, commandLine.find(' '));
        if (!commandLine.empty() && commandLine[0] == '"')
            program = commandLine.substr(1, commandLine.find('"', 1) - 1);
        if (program.find('\\') == std::string::npos) return true;  // found along the search path
        auto attrs = FileAttributes(program);
        return attrs && !(*attrs & kAttributeDirectory);
    }

    class File : public TextFile {
    public:
        File(FakeOs& os, std::string key) : os_(os), key_(std::move(key)) {}
        void WriteLine(const std::string& text) override {
            if (os_.writeFailsAfterLines >= 0 && lines_ >= os_.writeFailsAfterLines) {
                os_.log.push_back("WriteLine failed " + text);
                throw PlatformError("磁碟空間不足。");
            }
            ++lines_;
            os_.log.push_back("WriteLine " + text);
            os_.contents[key_] += text + "\r\n";
        }
        void Close() override { os_.log.push_back("Close"); }

    private:
        FakeOs& os_;
        std::string key_;
        int lines_ = 0;
    };

    std::unique_ptr<TextFile> Open(const std::string& verb, const std::string& path) {
        const std::string key = Lower(path);
        if (unwritable.count(key) || !ParentExists(path)) {
            log.push_back(verb + " failed " + path);
            throw PlatformError("存取被拒。");
        }
        log.push_back(verb + " " + path);
        AddFile(path);
        contents[key].clear();
        return std::make_unique<File>(*this, key);
    }
};

}  // namespace tarn::testing
