// What the publisher check found, by name, for the tests' messages.
#pragma once

#include "platform/win32/Authenticode.h"

namespace tarn::testing {

inline const char* NameOf(PublisherCheck check) {
    switch (check) {
    case PublisherCheck::Genuine:
        return "Genuine";
    case PublisherCheck::Unsigned:
        return "Unsigned";
    case PublisherCheck::Tampered:
        return "Tampered";
    case PublisherCheck::Untrusted:
        return "Untrusted";
    case PublisherCheck::OtherPublisher:
        return "OtherPublisher";
    case PublisherCheck::Unavailable:
        return "Unavailable";
    }
    return "?";
}

}  // namespace tarn::testing
