#include "platform/mduAPI.h"

namespace tarn {

bool IsFilePresent(Platform& os, const std::string& path) noexcept {
    try {
        if (path.empty()) return false;
        const auto attributes = os.FileAttributes(path);
        return attributes && (*attributes & kAttributeDirectory) == 0;
    } catch (...) {
        // Any failure to read the attributes means "not a file we can use".
        return false;
    }
}

int SetTopMost(Platform& os, std::uintptr_t window, bool flag) {
    if (flag) return os.SetWindowPos(window, kHwndTopMost, kSwpNoSizeNoMove);
    os.SetWindowPos(window, kHwndNoTopMost, kSwpNoSizeNoMove);
    return 0;
}

}  // namespace tarn
