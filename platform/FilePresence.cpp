#include "platform/FilePresence.h"

namespace tarn {

bool IsFilePresent(Platform& os, const std::string& path) noexcept {
    try {
        if (path.empty()) return false;
        const PathFacts facts = os.Inspect(path);
        return facts.exists && !facts.folder;
    } catch (...) {
        // Any failure to read the attributes means "not a file we can use".
        return false;
    }
}

}  // namespace tarn
