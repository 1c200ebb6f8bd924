// The launcher's own publisher check of one file, for the build test
// (tests/build), which runs it under Wine on the exe it signed:
//   win_publisher_check.exe FILE PUBLISHER
// Exits 0 when FILE is PUBLISHER's genuine program; otherwise prints what the
// check found and exits 1.
#include <windows.h>

#include <cstdio>

#include "platform/win32/Authenticode.h"
#include "platform/Handle.h"
#include "platform/win32/Text.h"
#include "../PublisherCheckName.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const tarn::FileHandle file(
        ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::fprintf(stderr, "cannot open %s\n", tarn::text::Narrow(argv[1]).c_str());
        return 3;
    }
    const tarn::PublisherCheck result = tarn::CheckPublisher(file.get(), argv[1], tarn::text::Narrow(argv[2]));
    if (result == tarn::PublisherCheck::Genuine) return 0;
    std::fprintf(stderr, "%s: %s%s, not the genuine program of \"%s\"\n", tarn::text::Narrow(argv[1]).c_str(),
                 tarn::testing::NameOf(result),
                 result == tarn::PublisherCheck::Untrusted ? " (does this Wine prefix trust the test authority?)" : "",
                 tarn::text::Narrow(argv[2]).c_str());
    return 1;
}
