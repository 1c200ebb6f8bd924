// What the probe's modes share (probe.cpp reads the command line).
#pragma once

#include <windows.h>

namespace bench {

// Milliseconds since it was made, from the performance counter.
class Stopwatch {
public:
    Stopwatch() {
        ::QueryPerformanceFrequency(&frequency_);
        ::QueryPerformanceCounter(&start_);
    }
    double Ms() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

// The probe's "startup" mode: programs holds count pairs of an exe's path
// and the title of the window that shows it has started.
int Startup(int runs, int count, wchar_t** programs);

}  // namespace bench
