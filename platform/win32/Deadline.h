// What is left of a wait's time, counted from when the wait began, so that a
// wait made of several system waits still ends when it should.
#pragma once

#include <windows.h>

namespace tarn {

class Deadline {
public:
    explicit Deadline(unsigned long timeoutMs) noexcept : timeoutMs_(timeoutMs), start_(::GetTickCount64()) {}

    // INFINITE for a wait without end; 0 once the time is up.
    DWORD Remaining() const noexcept {
        if (timeoutMs_ == INFINITE) return INFINITE;
        const ULONGLONG elapsed = ::GetTickCount64() - start_;
        return elapsed >= timeoutMs_ ? 0 : static_cast<DWORD>(timeoutMs_ - elapsed);
    }

private:
    unsigned long timeoutMs_;
    ULONGLONG start_;
};

}  // namespace tarn
