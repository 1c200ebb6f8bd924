// The access list of tarn-kit's own folders and of the program copies in
// them, which keeps every other user of the machine out.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace tarn {

// Why a checked program's copy could not be made, for the person: what
// failed, in words.
class CopyFailure {
public:
    explicit CopyFailure(std::string cause) : cause_(std::move(cause)) {}
    // The system's reason for error, about subject.
    static CopyFailure System(DWORD error, const std::wstring& subject);
    const std::string& Cause() const { return cause_; }

private:
    std::string cause_;
};

struct AccessFunctions;

// The access list of tarn-kit's folders and copies: the user, SYSTEM and
// Administrators may do anything, nobody else anything at all, and nothing
// is inherited from the folder above, so another user's access granted
// there does not reach in. Files and folders made inside inherit it.
class PrivateAccess {
public:
    // Throws CopyFailure when the list cannot be built.
    PrivateAccess();
    PrivateAccess(const PrivateAccess&) = delete;
    PrivateAccess& operator=(const PrivateAccess&) = delete;

    // For what is created: the list above.
    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

    // Makes what already stands (a folder tarn-kit made before) closed to
    // others, after checking that it belongs to one of the three: a folder
    // another user made and owns, they could open up again. A list that lets
    // nobody else in is left as it is.
    void Secure(HANDLE object, const std::wstring& path) const;

private:
    PSID User() const;
    bool LetsInOnlyUs(ACE_HEADER& ace) const;
    bool IsOneOfUs(PSID sid) const;

    const AccessFunctions& functions_;
    std::vector<BYTE> user_;  // TOKEN_USER and the SID it points into
    BYTE system_[SECURITY_MAX_SID_SIZE] = {};
    BYTE admins_[SECURITY_MAX_SID_SIZE] = {};
    alignas(DWORD) BYTE acl_[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)] = {};
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace tarn
