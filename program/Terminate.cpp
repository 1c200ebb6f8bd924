// The runtime's default answer to an uncaught exception prints its demangled
// type name, which brings the whole C++ name demangler (some 45 KiB) into an
// exe that has no console to print to. Every window procedure and the
// program's start catch what they can; what still escapes ends the program
// at once, as the default handler would after printing.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
