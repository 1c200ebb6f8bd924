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

// The AppData of the user the launches run for.
inline constexpr char kAppData[] = "C:\\Users\\Amy\\AppData\\Roaming";

using Log = std::vector<std::string>;

inline Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The reminder as a launch hands it over: its text, then made topmost (the
// fake's reminder handle); AnyDesk's launches then watch for the client's ID.
inline const Log kShortRemind{"Reminder 請 (聯絡小森) 告知您的 ID", "SetZOrder 20816 TopMost"};
inline const std::string kWatchAnyDeskId = "WatchForId C:\\Users\\Amy\\AppData\\Roaming\\AnyDesk\\system.conf";

}  // namespace tarn::testing
