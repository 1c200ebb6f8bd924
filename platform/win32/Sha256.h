// SHA-256 through the system's hashing service (CNG, bcrypt.dll), for the
// pinned program files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarn {

// One running hash. A failure of the service, or a bcrypt.dll that cannot be
// loaded from the system folder, makes it unusable: Update then answers false
// and Finish nullopt.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Ok() const noexcept { return hash_ != nullptr; }
    bool Update(const void* data, std::size_t size);
    // The digest as 64 lower-case hex digits; the hash is used up after it.
    std::optional<std::string> Finish();

private:
    void Release() noexcept;

    void* algorithm_ = nullptr;          // BCRYPT_ALG_HANDLE
    void* hash_ = nullptr;               // BCRYPT_HASH_HANDLE
    std::vector<unsigned char> object_;  // the hash object's memory, owned by us
};

// The SHA-256 of a whole file, lower-case hex; nullopt when it cannot be
// opened or read (a folder, a missing file, one held open for writing).
std::optional<std::string> Sha256OfFile(const std::wstring& path);

// The same of the file open at file (a HANDLE with read access), read from
// its current position to its end.
std::optional<std::string> Sha256OfOpenFile(void* file);

}  // namespace tarn
