#include "platform/win32/PrivateAccess.h"

#include <aclapi.h>

#include "platform/Handle.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Text.h"

namespace tarn {

using text::Narrow;

CopyFailure CopyFailure::System(DWORD error, const std::wstring& subject) {
    return CopyFailure(text::SystemMessage(error, Narrow(subject)));
}

// From advapi32, which is not in the exe's import table (see
// SystemLibrary.h): only a checked start needs it.
struct AccessFunctions {
    decltype(&::OpenProcessToken) openProcessToken = nullptr;
    decltype(&::GetTokenInformation) tokenInformation = nullptr;
    decltype(&::CreateWellKnownSid) wellKnownSid = nullptr;
    decltype(&::InitializeAcl) initializeAcl = nullptr;
    decltype(&::AddAccessAllowedAceEx) addAllowedAce = nullptr;
    decltype(&::InitializeSecurityDescriptor) initializeDescriptor = nullptr;
    decltype(&::SetSecurityDescriptorDacl) setDescriptorDacl = nullptr;
    decltype(&::SetSecurityDescriptorControl) setDescriptorControl = nullptr;
    decltype(&::GetSecurityInfo) getSecurityInfo = nullptr;
    decltype(&::SetSecurityInfo) setSecurityInfo = nullptr;
    decltype(&::EqualSid) equalSid = nullptr;
    decltype(&::GetAce) getAce = nullptr;
};

namespace {

bool FillAccessFunctions(AccessFunctions& table) noexcept {
    SystemFunctions advapi32(L"advapi32.dll");
    advapi32.Take(table.openProcessToken, "OpenProcessToken");
    advapi32.Take(table.tokenInformation, "GetTokenInformation");
    advapi32.Take(table.wellKnownSid, "CreateWellKnownSid");
    advapi32.Take(table.initializeAcl, "InitializeAcl");
    advapi32.Take(table.addAllowedAce, "AddAccessAllowedAceEx");
    advapi32.Take(table.initializeDescriptor, "InitializeSecurityDescriptor");
    advapi32.Take(table.setDescriptorDacl, "SetSecurityDescriptorDacl");
    advapi32.Take(table.setDescriptorControl, "SetSecurityDescriptorControl");
    advapi32.Take(table.getSecurityInfo, "GetSecurityInfo");
    advapi32.Take(table.setSecurityInfo, "SetSecurityInfo");
    advapi32.Take(table.equalSid, "EqualSid");
    advapi32.Take(table.getAce, "GetAce");
    return advapi32.Complete();
}

constinit LazyTable<AccessFunctions> lazyAccessFunctions{&FillAccessFunctions};

const AccessFunctions& TheFunctions() {
    const AccessFunctions* functions = lazyAccessFunctions.Get();
    if (!functions) throw CopyFailure(text::SystemMessage(::GetLastError()));
    return *functions;
}

}  // namespace

PrivateAccess::PrivateAccess() : functions_(TheFunctions()) {
    const AccessFunctions& functions = functions_;
    HANDLE token = nullptr;
    if (!functions.openProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        throw CopyFailure(text::SystemMessage(::GetLastError()));
    const KernelHandle held(token);
    DWORD size = 0;
    functions.tokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    if (size == 0 || !functions.tokenInformation(token, TokenUser, user_.data(), size, &size))
        throw CopyFailure(text::SystemMessage(::GetLastError()));
    DWORD systemSize = sizeof system_, adminsSize = sizeof admins_;
    if (!functions.wellKnownSid(WinLocalSystemSid, nullptr, system_, &systemSize) ||
        !functions.wellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins_, &adminsSize))
        throw CopyFailure(text::SystemMessage(::GetLastError()));
    const auto acl = reinterpret_cast<PACL>(acl_);
    bool built = functions.initializeAcl(acl, sizeof acl_, ACL_REVISION);
    for (PSID sid : {User(), PSID(system_), PSID(admins_)})
        built = built && functions.addAllowedAce(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                                 FILE_ALL_ACCESS, sid);
    built = built && functions.initializeDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
            functions.setDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
            functions.setDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    if (!built) throw CopyFailure(text::SystemMessage(::GetLastError()));
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
}

void PrivateAccess::Secure(HANDLE object, const std::wstring& path) const {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error =
        functions_.getSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   &owner, nullptr, &dacl, nullptr, &descriptor);
    const bool trusted = error == ERROR_SUCCESS && owner && IsOneOfUs(owner);
    // No list at all lets everyone in.
    bool closed = error == ERROR_SUCCESS && dacl;
    for (WORD i = 0; closed && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        closed = functions_.getAce(dacl, i, &ace) && LetsInOnlyUs(*static_cast<ACE_HEADER*>(ace));
    }
    ::LocalFree(descriptor);
    if (error != ERROR_SUCCESS) throw CopyFailure::System(error, path);
    if (!trusted) throw CopyFailure("「" + Narrow(path) + "」不是您自己建立的資料夾。");
    if (closed) return;
    error = functions_.setSecurityInfo(object, SE_FILE_OBJECT,
                                       DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, reinterpret_cast<PACL>(const_cast<BYTE*>(acl_)), nullptr);
    if (error != ERROR_SUCCESS) throw CopyFailure::System(error, path);
}

PSID PrivateAccess::User() const { return reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid; }

bool PrivateAccess::LetsInOnlyUs(ACE_HEADER& ace) const {
    if (ace.AceType == ACCESS_DENIED_ACE_TYPE) return true;
    return ace.AceType == ACCESS_ALLOWED_ACE_TYPE && IsOneOfUs(&reinterpret_cast<ACCESS_ALLOWED_ACE&>(ace).SidStart);
}

bool PrivateAccess::IsOneOfUs(PSID sid) const {
    return functions_.equalSid(sid, User()) || functions_.equalSid(sid, PSID(system_)) ||
           functions_.equalSid(sid, PSID(admins_));
}

}  // namespace tarn
