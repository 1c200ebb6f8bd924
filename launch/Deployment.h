// Values fixed when a technician builds the program (CMake cache variables),
// never read at run time.
#pragma once

#include <string>
#include <vector>

#include "platform/WindowsPaths.h"
#include "platform/Platform.h"

namespace tarn {

// The check of one program file, by the file's name.
struct ProgramPin {
    std::string programFile;     // the file's name, such as "AnyDesk.exe"
    std::string sha256;          // 64 hex digits; empty: the file is not pinned
    std::string publisher = {};  // the expected signer; empty: not checked
};

struct Deployment {
    std::string webHost;  // the maker's web host, also the download server; may carry ":port"
    std::string supportPhone;
    std::string gsnProxyHost;  // written into AnyDesk's system.conf
    std::string rustdeskHost;  // the own rendezvous and relay server
    std::string rustdeskKey;   // the own server's public key; empty when none is enforced
    std::vector<ProgramPin> pins = {};
    bool https = false;  // the web host is reached over HTTPS, never plain HTTP

    std::string DownloadUrl(const std::string& urlPath) const { return Scheme() + webHost + urlPath; }
    std::string SiteAddress() const { return Scheme() + webHost + "/"; }

    // The check of the program file called fileName, found without regard to
    // letter case as Windows finds files; nothing to check when it has none.
    ProgramCheck CheckFor(const std::string& fileName) const {
        for (const ProgramPin& pin : pins)
            if (SameIgnoringCase(pin.programFile, fileName)) return {pin.sha256, pin.publisher};
        return {};
    }

private:
    std::string Scheme() const { return https ? "https://" : "http://"; }
};

// The values this build was made with.
Deployment BuiltInDeployment();

}  // namespace tarn
