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
    virtual WindowId Handle() = 0;
    // After a start: shows the client's ID under the message once it appears
    // in the file at path, which the client writes as it starts. Never
    // blocks, and a file that cannot be read just shows nothing.
    virtual void WatchForId(const std::string& path) = 0;
    // Before a launch: the ID of an earlier client goes, and so does any
    // watch for it. Neither loads nor shows the window.
    virtual void ForgetId() = 0;
};

}  // namespace tarn
