// The program's one message loop. It runs the program (Run) and it is every
// wait of a launch (Wait, the platform's Waiter), so that the windows paint
// and answer, and the main window's keys work, whether the thread is idle or
// waits for a process, a pause or a download.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>

#include "platform/Platform.h"
#include "platform/win32/Waiter.h"

namespace tarn::win {

class MessageLoop final : public Waiter {
public:
    // Offered every message before it is dispatched; true when it dealt with
    // the message (the main window's keyboard handling).
    using PreTranslate = std::function<bool(MSG&)>;

    void PreTranslateWith(PreTranslate preTranslate) { preTranslate_ = std::move(preTranslate); }

    // Dispatches messages until WM_QUIT; answers its exit code.
    int Run();

    // Dispatches messages while it waits. A WM_QUIT met on the way ends the
    // dispatching but not the wait, and goes back into the queue at the end,
    // so that Run still sees it and the program ends.
    bool Wait(void* const* handles, std::size_t count, unsigned long timeoutMs) override;

private:
    void Dispatch(MSG& msg);
    // Dispatches what is queued; false once WM_QUIT was met (taken from the
    // queue, so the caller must post it again).
    bool DispatchQueued(int& quitCode);

    PreTranslate preTranslate_;
};

}  // namespace tarn::win
