// How the C++ library's containers report misuse in this exe.
//
// The library calls these when a string or vector would exceed its maximum
// size, an index is out of range, or an allocation fails. Its own versions
// come, in a static link, as one object that also throws every standard
// exception class; those carry a reference-counted string type of the
// library's own, which brings the library's whole prebuilt string and
// random-device code along: some 70 KiB of the exe for errors only a fault
// of this program could raise. Defined here, the linker takes these instead
// and never pulls that object in; should some other part of the library ever
// need it, the link fails on the duplicate names rather than growing quietly.
//
// Allocation failures throw what the library throws. The others throw
// tarn::Error with the library's text: every handler that could meet them
// catches std::exception (or everything) and shows what() to the user, as
// it would have for the standard class.
#include <new>

#include "platform/Error.h"

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }

void __throw_bad_array_new_length() { throw bad_array_new_length(); }

void __throw_length_error(const char* what) { throw tarn::Error(what); }

void __throw_logic_error(const char* what) { throw tarn::Error(what); }

// The library's text here is a printf format with the index and size; the
// format alone tells where it came from.
void __throw_out_of_range_fmt(const char* format, ...) { throw tarn::Error(format); }

}  // namespace std
