// What many tests share: the deployment they launch with, and logs joined
// one after the other.
#pragma once

#include <string>
#include <vector>

#include "launch/Deployment.h"

namespace tarn::testing {

inline const Deployment kDeploy{"dl.test:8080", "02-1234-5678", "proxy.test", "rd.test", ""};

using Log = std::vector<std::string>;

inline Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace tarn::testing
