#include "platform/win32/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include "platform/Handle.h"
#include "platform/win32/SystemLibrary.h"

namespace tarn {
namespace {

// bcrypt.dll's functions, taken once from the system folder's copy (see
// SystemLibrary.h); bcrypt.h serves only for their types.
struct Bcrypt {
    decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider;
    decltype(&::BCryptGetProperty) BCryptGetProperty;
    decltype(&::BCryptCreateHash) BCryptCreateHash;
    decltype(&::BCryptHashData) BCryptHashData;
    decltype(&::BCryptFinishHash) BCryptFinishHash;
    decltype(&::BCryptDestroyHash) BCryptDestroyHash;
    decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider;
};

bool FillBcrypt(Bcrypt& table) noexcept {
    SystemFunctions bcrypt(L"bcrypt.dll");
    bcrypt.Take(table.BCryptOpenAlgorithmProvider, "BCryptOpenAlgorithmProvider");
    bcrypt.Take(table.BCryptGetProperty, "BCryptGetProperty");
    bcrypt.Take(table.BCryptCreateHash, "BCryptCreateHash");
    bcrypt.Take(table.BCryptHashData, "BCryptHashData");
    bcrypt.Take(table.BCryptFinishHash, "BCryptFinishHash");
    bcrypt.Take(table.BCryptDestroyHash, "BCryptDestroyHash");
    bcrypt.Take(table.BCryptCloseAlgorithmProvider, "BCryptCloseAlgorithmProvider");
    return bcrypt.Complete();
}

constinit LazyTable<Bcrypt> lazyBcrypt{&FillBcrypt};

// Null when bcrypt.dll or one of its functions is missing: no hash can be
// taken then, and a pinned file is never kept unchecked.
const Bcrypt* BcryptFunctions() noexcept { return lazyBcrypt.Get(); }

}  // namespace

Sha256::Sha256() {
    const Bcrypt* api = BcryptFunctions();
    if (!api) return;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(api->BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
    algorithm_ = algorithm;
    // The object's memory is given by us: not every version of the service
    // allocates it itself.
    DWORD objectLength = 0;
    ULONG got = 0;
    if (!BCRYPT_SUCCESS(api->BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                               sizeof objectLength, &got, 0))) {
        Release();
        return;
    }
    object_.resize(objectLength);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(api->BCryptCreateHash(algorithm, &hash, object_.data(), objectLength, nullptr, 0, 0))) {
        Release();
        return;
    }
    hash_ = hash;
}

Sha256::~Sha256() { Release(); }

void Sha256::Release() noexcept {
    // Handles exist only once the functions were found.
    const Bcrypt* api = BcryptFunctions();
    if (hash_) api->BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash_));
    if (algorithm_) api->BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
    hash_ = nullptr;
    algorithm_ = nullptr;
}

bool Sha256::Update(const void* data, std::size_t size) {
    if (!hash_) return false;
    // BCryptHashData does not write to the input, though its parameter is
    // not const.
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(
                BcryptFunctions()->BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(hash_), bytes, piece, 0))) {
            Release();
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

std::optional<std::string> Sha256::Finish() {
    if (!hash_) return std::nullopt;
    unsigned char digest[32] = {};
    const bool done = BCRYPT_SUCCESS(
        BcryptFunctions()->BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(hash_), digest, sizeof digest, 0));
    Release();
    if (!done) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (unsigned char byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 15]);
    }
    return text;
}

std::optional<std::string> Sha256OfFile(const std::wstring& path) {
    // Others may read it meanwhile, nobody may write it.
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return std::nullopt;
    return Sha256OfOpenFile(file.get());
}

std::optional<std::string> Sha256OfOpenFile(void* file) {
    Sha256 hash;
    if (!hash.Ok()) return std::nullopt;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return std::nullopt;  // a folder too ends here
        if (got == 0) break;
        if (!hash.Update(buffer.data(), got)) return std::nullopt;
    }
    return hash.Finish();
}

}  // namespace tarn
