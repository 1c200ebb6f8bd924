// Who signed a program file: its Authenticode signature checked the way
// Windows checks it before it shows a "Verified publisher", for the program
// files that the launcher downloads into a folder every user can write to.
#pragma once

#include <windows.h>

#include <string>

namespace tarn {

enum class PublisherCheck {
    Genuine,         // signed by expectedPublisher, and the signature holds
    Unsigned,        // no signature, or not a file that can carry one
    Tampered,        // signed, but changed since
    Untrusted,       // signed by a certificate the machine does not accept
    OtherPublisher,  // a valid signature, by someone else
    Unavailable,     // the check could not be made (system DLLs, file unreadable)
};

// Whether the file open at `file` (path is its name, for the system calls
// that want one) carries a valid Authenticode signature whose chain ends in a
// root the machine trusts and is valid for code signing, at the signature's
// time stamp when it has one (so a time-stamped file stays valid after its
// certificate expired, as Windows treats it) and now otherwise; and whether
// the signer's simple display name equals expectedPublisher exactly (UTF-8;
// an empty name matches nothing). Revocation is not checked. The handle
// needs read access; its file position is left where it was. Anything but
// Genuine means the file is not the publisher's. Never throws.
PublisherCheck CheckPublisher(HANDLE file, const std::wstring& path, const std::string& expectedPublisher) noexcept;

}  // namespace tarn
