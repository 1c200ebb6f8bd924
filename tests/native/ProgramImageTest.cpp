#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ProgramImage.h"

namespace tarn::testing {
namespace {

// The headers of a program file, written out by Build.
struct Layout {
    std::string mz = "MZ";
    std::uint32_t lfanew = 0x80;
    std::string signature{"PE\0\0", 4};
    std::uint16_t magic = 0x10B;
    std::uint32_t directories = 16;
    std::uint16_t optionalSize = 0;  // 0: what the magic and the directories need
    std::uint32_t sizeOfHeaders = 0x400;
    // Each section's PointerToRawData and SizeOfRawData.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sections{{0x400, 0x1000}, {0x1400, 0x200}};
    std::pair<std::uint32_t, std::uint32_t> certificate{0, 0};  // file offset, size
    std::size_t headSize = 0;                                   // 0: the headers, at least 0x400 bytes
};

std::vector<unsigned char> Build(const Layout& l) {
    std::vector<unsigned char> b(0x10000);
    auto put = [&](std::size_t at, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    b[0] = l.mz[0], b[1] = l.mz[1];
    put(0x3C, l.lfanew, 4);
    const std::size_t pe = l.lfanew < 0x8000 ? l.lfanew : 0x100;  // a wild e_lfanew points at nothing written
    for (int i = 0; i < 4; ++i) b[pe + i] = static_cast<unsigned char>(l.signature[i]);
    const std::size_t optional = pe + 24, fixed = l.magic == 0x20B ? 112 : 96;
    const std::size_t optionalSize = l.optionalSize ? l.optionalSize : fixed + 8 * l.directories;
    put(pe + 6, l.sections.size(), 2);
    put(pe + 20, optionalSize, 2);
    put(optional, l.magic, 2);
    put(optional + 60, l.sizeOfHeaders, 4);
    put(optional + fixed - 4, l.directories, 4);
    // Written even when fewer directories are declared: it must then be ignored.
    put(optional + fixed + 32, l.certificate.first, 4), put(optional + fixed + 36, l.certificate.second, 4);
    std::size_t at = optional + optionalSize;
    for (const auto& [pointer, size] : l.sections) put(at + 16, size, 4), put(at + 20, pointer, 4), at += 40;
    b.resize(l.headSize ? l.headSize : std::max<std::size_t>(at, 0x400));
    return b;
}

struct ExtentCase {
    const char* name;
    void (*change)(Layout&);
    std::optional<std::uint64_t> expected;
};

class ProgramExtentOf : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(ProgramExtentOf, CraftedHeaders) {
    Layout layout;
    GetParam().change(layout);
    EXPECT_EQ(ProgramExtent(Build(layout)), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramExtentOf,
    ::testing::Values(
        ExtentCase{"Pe32EndsWithItsLastSection", [](Layout&) {}, 0x1600},
        ExtentCase{"Pe32PlusToo", [](Layout& l) { l.magic = 0x20B; }, 0x1600},
        ExtentCase{"FurthestSectionNotLastInTheTable",
                   [](Layout& l) { l.sections = {{0x3000, 0x100}, {0x400, 0x100}}; }, 0x3100},
        ExtentCase{"SectionWithoutRawDataHasNothingInTheFile",
                   [](Layout& l) { l.sections.push_back({0xF0000000, 0}); }, 0x1600},
        ExtentCase{"CertificateTableBeyondTheSections", [](Layout& l) { l.certificate = {0x1600, 0x900}; }, 0x1F00},
        ExtentCase{"CertificateTableBeyondFourGiB", [](Layout& l) { l.certificate = {0xFFFFFF00, 0x200}; },
                   0x100000100},
        ExtentCase{"SectionBeyondFourGiB", [](Layout& l) { l.sections.push_back({0xFFFFFFF0, 0x20}); }, 0x100000010},
        ExtentCase{"NoCertificateDirectoryDeclared",
                   [](Layout& l) { l.directories = 4, l.certificate = {0x1600, 0x900}; }, 0x1600},
        ExtentCase{"ZeroSectionsEndWithTheHeaders", [](Layout& l) { l.sections.clear(); }, 0x400},
        ExtentCase{"SectionTableBeyondSizeOfHeaders", [](Layout& l) { l.sizeOfHeaders = 0x100, l.sections.clear(); },
                   0x178},
        ExtentCase{"NotMz", [](Layout& l) { l.mz = "MX"; }, std::nullopt},
        ExtentCase{"NoPeSignature", [](Layout& l) { l.signature = std::string("PE\0\1", 4); }, std::nullopt},
        ExtentCase{"ELfanewPastTheHead", [](Layout& l) { l.lfanew = 0x20000; }, std::nullopt},
        ExtentCase{"ELfanewWrapsAround", [](Layout& l) { l.lfanew = 0xFFFFFFFE; }, std::nullopt},
        ExtentCase{"RomImageMagic", [](Layout& l) { l.magic = 0x107; }, std::nullopt},
        ExtentCase{"AsManySectionsAsWindowsLoads",
                   [](Layout& l) { l.sections.assign(96, {0x400, 0x10}); }, 0x80 + 24 + 224 + 96 * 40},
        ExtentCase{"SectionTableEndingTheHead", [](Layout& l) { l.headSize = 0x80 + 24 + 224 + 2 * 40; }, 0x1600},
        ExtentCase{"MoreSectionsThanWindowsLoads",
                   [](Layout& l) { l.sections.assign(97, {0x400, 0x10}); }, std::nullopt},
        ExtentCase{"DirectoriesOutsideTheOptionalHeader", [](Layout& l) { l.optionalSize = 96 + 8 * 4; },
                   std::nullopt},
        ExtentCase{"SectionTableCutOff", [](Layout& l) { l.headSize = 0x80 + 24 + 224 + 60; }, std::nullopt},
        ExtentCase{"ShorterThanADosHeader", [](Layout& l) { l.headSize = 0x30; }, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace tarn::testing
