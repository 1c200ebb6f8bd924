// The one place that names tarn-kit's version and identity: the version
// resource, the manifest (read by resources/CMakeLists.txt) and the code all
// take them from here. Plain macros, since the resource compiler reads this
// file too.
#pragma once

// The version is year.month.revision, written 2023.11.0004 with the revision
// in four digits. A version resource holds four 16-bit numbers; the revision
// goes into the last one and the third stays 0, so Explorer's "2023.11.0.4"
// and the text "2023.11.0004" name the same release and a later revision
// always compares higher.
#define TARNKIT_VERSION_YEAR 2023
#define TARNKIT_VERSION_MONTH 11
#define TARNKIT_VERSION_REVISION 4
#define TARNKIT_VERSION_NUMBERS TARNKIT_VERSION_YEAR, TARNKIT_VERSION_MONTH, 0, TARNKIT_VERSION_REVISION
#define TARNKIT_VERSION_TEXT "2023.11.0004"

#define TARNKIT_PRODUCT_NAME "tarn-kit"
#define TARNKIT_EXE_NAME "tarn-kit.exe"

#define TARNKIT_WIDEN_(text) L##text
#define TARNKIT_WIDEN(text) TARNKIT_WIDEN_(text)

#if defined(__cplusplus) && !defined(RC_INVOKED)
namespace tarn::version_check {
// The text and the numbers are written separately (the preprocessor cannot
// pad the revision to four digits); this keeps them from drifting apart.
constexpr unsigned ParseField(const char* text, int index) {
    unsigned value = 0;
    for (int field = 0; *text != '\0'; ++text) {
        if (*text == '.') {
            ++field;
        } else if (field == index) {
            value = value * 10 + static_cast<unsigned>(*text - '0');
        }
    }
    return value;
}
static_assert(ParseField(TARNKIT_VERSION_TEXT, 0) == TARNKIT_VERSION_YEAR);
static_assert(ParseField(TARNKIT_VERSION_TEXT, 1) == TARNKIT_VERSION_MONTH);
static_assert(ParseField(TARNKIT_VERSION_TEXT, 2) == TARNKIT_VERSION_REVISION);
}  // namespace tarn::version_check
#endif
