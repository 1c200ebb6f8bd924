// The reminder window as the launches see it.
#pragma once

#include <cstdint>
#include <string>

namespace tarn {

class Reminder {
public:
    virtual ~Reminder() = default;
    // Writes the message label; loads (shows and places) the window first
    // when it is not loaded.
    virtual void SetText(const std::string& text) = 0;
    virtual std::uintptr_t Handle() = 0;
};

}  // namespace tarn
