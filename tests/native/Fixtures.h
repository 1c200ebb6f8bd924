// What many tests share: the deployment they launch with, and logs joined
// one after the other.
#pragma once

#include <ios>
#include <ostream>
#include <string>
#include <vector>

#include "launch/Deployment.h"
#include "platform/DownloadResult.h"

namespace tarn {

// A result as the failure messages print it: its code in hex.
inline std::ostream& operator<<(std::ostream& out, DownloadResult result) {
    return out << "0x" << std::hex << result.Code() << std::dec;
}

}  // namespace tarn

namespace tarn::testing {

inline const Deployment kDeploy{"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", ""};

using Log = std::vector<std::string>;

inline Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace tarn::testing
