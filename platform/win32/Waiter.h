// How a thread that called into the Win32 platform waits for kernel objects.
// The program's own waits keep its windows answering, which is the windows'
// business, not the platform's: they hand the adapter this interface, which
// their message loop implements.
#pragma once

#include <windows.h>

#include <cstddef>

namespace tarn {

class Waiter {
public:
    virtual ~Waiter() = default;
    // Waits until every one of handles is signalled or timeoutMs has passed
    // (INFINITE: no limit); true when all were signalled. With no handles, it
    // lets the time pass and answers true.
    virtual bool Wait(const HANDLE* handles, std::size_t count, DWORD timeoutMs) = 0;
};

}  // namespace tarn
