#include "windows/win32/MessageLoop.h"

#include "platform/win32/Deadline.h"

namespace tarn::win {

void MessageLoop::Dispatch(MSG& msg) {
    if (preTranslate_ && preTranslate_(msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

int MessageLoop::Run() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

bool MessageLoop::DispatchQueued(int& quitCode) {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        Dispatch(msg);
    }
    return true;
}

bool MessageLoop::Wait(void* const* handles, std::size_t count, unsigned long timeoutMs) {
    if (count == 0 && timeoutMs == INFINITE) return true;
    const Deadline deadline(timeoutMs);
    auto remaining = [&] { return deadline.Remaining(); };
    // Once WM_QUIT has been taken from the queue the thread stops
    // dispatching, for Run would see nothing after it; the rest of the wait
    // is a plain one.
    bool dispatching = true;
    int quitCode = 0;
    bool signalled = true;
    std::size_t next = 0;  // handles before it have been signalled
    for (;;) {
        while (next < count && ::WaitForSingleObject(handles[next], 0) == WAIT_OBJECT_0) ++next;
        if (count > 0 && next == count) break;
        const DWORD left = remaining();
        if (left == 0) {
            signalled = count == 0;
            break;
        }
        // One handle at a time, so that any number of them can be waited for.
        const DWORD waiting = count > 0 ? 1 : 0;
        DWORD result;
        if (dispatching) {
            // MWMO_INPUTAVAILABLE: messages that arrived before this call
            // wake it too, not only new ones.
            result = ::MsgWaitForMultipleObjectsEx(waiting, handles + next, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        } else if (waiting) {
            result = ::WaitForSingleObject(handles[next], left);
        } else {
            ::Sleep(left);
            result = WAIT_TIMEOUT;
        }
        if (result == WAIT_OBJECT_0 + waiting && dispatching) {
            dispatching = DispatchQueued(quitCode);
        } else if (result == WAIT_OBJECT_0 && waiting) {
            ++next;
        } else if (result != WAIT_TIMEOUT) {
            signalled = false;  // WAIT_FAILED, or an abandoned handle
            break;
        }
    }
    if (!dispatching) ::PostQuitMessage(quitCode);
    return signalled;
}

}  // namespace tarn::win
