// The layout read here is the PE/COFF one: a DOS header whose e_lfanew
// points at "PE\0\0", the COFF file header, the optional header (PE32 or
// PE32+, which differ only in where the data directories begin), then the
// section table. Every field is little-endian and read byte by byte, so the
// host's byte order and alignment do not matter.
#include "platform/ProgramImage.h"

#include <algorithm>

namespace tarn {
namespace {

constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
// The Windows loader refuses more sections than this.
constexpr std::uint32_t kMostSections = 96;
// The data directories a loader reads, whatever NumberOfRvaAndSizes claims.
constexpr std::uint32_t kMostDirectories = 16;
constexpr std::uint32_t kSecurityDirectory = 4;

// Reads little-endian fields from head, remembering whether any lay outside.
class Reader {
public:
    explicit Reader(std::span<const unsigned char> bytes) noexcept : bytes_(bytes) {}

    std::uint32_t U16(std::uint64_t offset) noexcept { return static_cast<std::uint32_t>(Read(offset, 2)); }
    std::uint32_t U32(std::uint64_t offset) noexcept { return static_cast<std::uint32_t>(Read(offset, 4)); }
    bool Holds(std::uint64_t offset, std::uint64_t size) const noexcept {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    bool Ok() const noexcept { return ok_; }

private:
    std::uint64_t Read(std::uint64_t offset, std::size_t size) noexcept {
        if (!Holds(offset, size)) {
            ok_ = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = size; i-- > 0;) value = (value << 8) | bytes_[static_cast<std::size_t>(offset) + i];
        return value;
    }

    std::span<const unsigned char> bytes_;
    bool ok_ = true;
};

}  // namespace

std::optional<std::uint64_t> ProgramExtent(std::span<const unsigned char> head) noexcept {
    Reader in(head);
    if (!in.Holds(0, 0x40) || head[0] != 'M' || head[1] != 'Z') return std::nullopt;

    const std::uint64_t pe = in.U32(0x3C);
    if (!in.Holds(pe, kSignatureSize + kFileHeaderSize) || head[pe] != 'P' || head[pe + 1] != 'E' ||
        head[pe + 2] != 0 || head[pe + 3] != 0)
        return std::nullopt;
    const std::uint64_t fileHeader = pe + kSignatureSize;
    const std::uint32_t sectionCount = in.U16(fileHeader + 2);
    const std::uint32_t optionalSize = in.U16(fileHeader + 16);
    if (sectionCount > kMostSections) return std::nullopt;

    const std::uint64_t optional = fileHeader + kFileHeaderSize;
    std::uint64_t directoryCountAt = 0;
    std::uint64_t directoriesAt = 0;
    switch (in.U16(optional)) {
    case 0x10B:  // PE32
        directoryCountAt = 92;
        directoriesAt = 96;
        break;
    case 0x20B:  // PE32+
        directoryCountAt = 108;
        directoriesAt = 112;
        break;
    default:
        return std::nullopt;
    }
    // The directories the header declares must lie within the optional header
    // it declares, and that within head.
    const std::uint32_t directories = std::min(in.U32(optional + directoryCountAt), kMostDirectories);
    if (optionalSize < directoriesAt + 8ull * directories || !in.Holds(optional, optionalSize)) return std::nullopt;

    const std::uint64_t sections = optional + optionalSize;
    const std::uint64_t headersEnd = sections + std::uint64_t{kSectionHeaderSize} * sectionCount;
    if (!in.Holds(sections, headersEnd - sections)) return std::nullopt;

    // The loader maps SizeOfHeaders bytes from the start of the file.
    std::uint64_t extent = std::max<std::uint64_t>(headersEnd, in.U32(optional + 60));
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t header = sections + std::uint64_t{kSectionHeaderSize} * i;
        const std::uint64_t rawSize = in.U32(header + 16);
        // A section without raw data (only zeros in memory) has nothing in the file.
        if (rawSize != 0) extent = std::max(extent, in.U32(header + 20) + rawSize);
    }
    // The certificate table's "address" is a file offset, not a memory one:
    // it lies beyond the sections, outside the mapped image.
    if (directories > kSecurityDirectory) {
        const std::uint64_t security = optional + directoriesAt + 8ull * kSecurityDirectory;
        const std::uint64_t size = in.U32(security + 4);
        if (size != 0) extent = std::max(extent, in.U32(security) + size);
    }
    if (!in.Ok()) return std::nullopt;
    return extent;
}

}  // namespace tarn
