// Values fixed when a technician builds the program (CMake cache variables),
// never read at run time.
#pragma once

#include <string>

namespace tarn {

struct Deployment {
    std::string webHost;       // the maker's web host, also the download server; may carry ":port"
    std::string supportPhone;
    std::string gsnProxyHost;  // written into AnyDesk's system.conf
    std::string rustdeskHost;  // the own rendezvous and relay server
    std::string rustdeskKey;   // the own server's public key; empty when none is enforced

    std::string DownloadUrl(const std::string& urlPath) const { return "http://" + webHost + urlPath; }
    std::string SiteAddress() const { return "http://" + webHost + "/"; }
};

// The values this build was made with.
const Deployment& BuiltInDeployment();

}  // namespace tarn
