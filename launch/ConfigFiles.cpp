#include "launch/ConfigFiles.h"

#include <initializer_list>

#include "launch/Catalogue.h"
#include "platform/WindowsPaths.h"

namespace tarn {

namespace {

// Text values are quoted with character code 34 rather than a literal kept in
// the fixed texts.
std::string Quoted(const std::string& value) {
    const std::string quote(1, char(34));
    return quote + value + quote;
}

// The key is the only value that comes in from outside the fixed texts'
// alphabet (a server's base64 key never holds these, but a mistyped cache
// variable must not break the document).
std::string EscapedForToml(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == char(34)) out += '\\';
        out += c;
    }
    return out;
}

void RequireWritableAppData(const std::string& appData) {
    if (!IsWritableAppData(appData)) throw PlatformError("AppData 環境變數不是完整的資料夾路徑：「" + appData + "」");
}

// Creates each folder below appData in turn; CreateFolder leaves one that is
// there already alone.
void CreateFoldersBelow(Platform& os, const std::string& appData, std::initializer_list<const char*> folders) {
    for (const char* folder : folders) os.CreateFolder(appData + folder);
}

void WriteAll(TextFile& file, const std::vector<std::string>& lines) {
    for (const auto& line : lines) file.WriteLine(line);
    file.Close();
}

}  // namespace

std::vector<std::string> SystemConfLines(const std::string& proxyHost) {
    return {
        "ad.anynet.proxy.addr=" + proxyHost,
        "ad.anynet.proxy.mandatory=true",
        "ad.anynet.proxy.mode=2",
        "ad.anynet.proxy.pass=",
        "ad.anynet.proxy.port=80",
        "ad.anynet.proxy.user=",
    };
}

std::vector<std::string> RustDeskTomlLines(const std::string& host, const std::string& key) {
    std::vector<std::string> lines{
        "remote_id = " + Quoted(""),
        "size = [0, 0, 798, 597]",
        "rendezvous_server = " + Quoted(host + ":21116"),
        "nat_type = 1",
        "serial = 0",
        "",
        "[options]",
        "allow-remote-config-modification = " + Quoted("Y"),
        "custom-rendezvous-server = " + Quoted(host + ":21116"),
        "relay-server = " + Quoted(host + ":21117"),
    };
    // Current servers refuse clients that do not present the server's key.
    if (!key.empty()) lines.push_back("key = " + Quoted(EscapedForToml(key)));
    return lines;
}

void WriteSystemConf(Platform& os, const std::string& appData, const std::string& proxyHost) {
    RequireWritableAppData(appData);
    CreateFoldersBelow(os, appData, {"\\AnyDesk"});
    auto file = os.CreateTextFile(appData + kAnyDeskConfigBelowAppData);
    WriteAll(*file, SystemConfLines(proxyHost));
}

void WriteRustDeskToml(Platform& os, const std::string& appData, const std::string& host, const std::string& key) {
    RequireWritableAppData(appData);
    CreateFoldersBelow(os, appData, {"\\RustDesk", "\\RustDesk\\config"});
    auto file = os.CreateTextFile(appData + kRustDeskConfigBelowAppData);
    WriteAll(*file, RustDeskTomlLines(host, key));
}

}  // namespace tarn
