// Who signed a program file: its Authenticode signature checked the way
// Windows checks it before it shows a "Verified publisher", for the program
// files that the launcher downloads into a folder every user can write to.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/Waiter.h"

namespace tarn {

enum class PublisherCheck {
    Genuine,         // signed by expectedPublisher, and the signature holds
    Unsigned,        // no signature, or not a file that can carry one
    Tampered,        // signed, but changed since
    Untrusted,       // signed by a certificate the machine does not accept
    OtherPublisher,  // a valid signature, by someone else
    Unavailable,     // the check could not be made (system DLLs, file unreadable)
};

class Waiter;

// Whether the file open at `file` (path is its name, for the system calls
// that want one) carries a valid Authenticode signature whose chain ends in a
// root the machine trusts and is valid for code signing, and whether the
// signer's simple display name equals expectedPublisher exactly (UTF-8; an
// empty name matches nothing). The chain is judged at the time of a time
// stamp (a legacy PKCS #9 counter-signature or an RFC 3161 one) that holds:
// verified here over the signer's signature, by a signer that chains to a
// trusted root and may stamp times; at the present otherwise. A certificate
// of the chain known to be revoked (a revocation list or OCSP answer fetched
// within seconds, or cached) fails it; one whose revocation cannot be learnt
// passes, as Windows lets it by default. The handle needs read access; its
// file position is left where it was. Anything but Genuine means the file is
// not the publisher's. Runs on the calling thread, fetches included, so call
// it from a worker. Never throws.
PublisherCheck CheckPublisher(HANDLE file, const std::wstring& path, const std::string& expectedPublisher) noexcept;

// The same check on a thread of its own, while the caller waits through
// waiter (a window's thread keeps answering meanwhile). Unavailable when the
// wait ends early or takes minutes; the worker then finishes on its own
// duplicate of the handle, which shares the file position: read nothing more
// through the handle after Unavailable.
PublisherCheck CheckPublisher(HANDLE file, const std::wstring& path, const std::string& expectedPublisher,
                              Waiter& waiter) noexcept;

// Waits until no check given up on is still running on its worker, or
// timeoutMs has passed; true when none is. A process that ends with such a
// worker inside the system's network code can fail on its way out, so one
// that has given up on a check lets it finish first.
bool WaitForBackgroundChecks(unsigned long timeoutMs) noexcept;

}  // namespace tarn
