// Sized, never run, by the benchmark command: the parts of the C++ library
// that tarn-kit leans on (strings, exceptions, std::function, a thread),
// linked statically the same way, with nothing of tarn-kit. Its size is the
// floor that the static runtime puts under the exe.
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    std::vector<std::string> words{"floor"};
    std::function<std::size_t()> size = [&] { return words.size() + std::wstring(commandLine).size(); };
    std::size_t result = 0;
    std::thread worker([&] { result = size(); });
    worker.join();
    try {
        if (result > 1000) throw std::runtime_error(words.front());
    } catch (const std::exception& error) {
        return static_cast<int>(std::string(error.what()).size());
    }
    return 0;
}
