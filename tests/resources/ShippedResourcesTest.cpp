// Checks the resources of the built tarn-kit.exe, the file that ships: the
// icon images, the version information and the manifest. The exe is opened
// as data, never run, and read through the same system calls that Explorer
// and the loader use, so that what is checked is what Windows sees.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

// Included for its compile-time check that the version text and numbers
// agree; the tests below compare with the released values written out.
#include "resources/version.h"

namespace {

std::wstring g_exe;  // from the command line

// 32-bit callbacks are stdcall, which lambdas cannot be.
BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
    out->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(name))
                                        : std::wstring(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

std::vector<std::wstring> ResourceNames(HMODULE module, LPCWSTR type) {
    std::vector<std::wstring> names;
    EnumResourceNamesW(module, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
}

std::vector<WORD> ResourceLanguages(HMODULE module, LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// The bytes of one resource, empty when it is missing.
std::vector<std::uint8_t> ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const std::uint8_t*>(LockResource(loaded));
    if (data == nullptr) return {};
    return {data, data + SizeofResource(module, found)};
}

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitsPerPixel;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

class ShippedExe : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExW(g_exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot open the exe as data, error " << GetLastError(); }

    // The application icon's directory, keyed by pixel size (0 in the
    // directory stands for 256).
    static std::map<int, GroupIconEntry> IconEntries() {
        std::map<int, GroupIconEntry> entries;
        auto group = ResourceBytes(module_, RT_GROUP_ICON, MAKEINTRESOURCEW(1));
        if (group.size() < sizeof(GroupIconHeader)) return entries;
        GroupIconHeader header;
        std::memcpy(&header, group.data(), sizeof header);
        if (group.size() < sizeof header + header.count * sizeof(GroupIconEntry)) return entries;
        for (WORD i = 0; i < header.count; ++i) {
            GroupIconEntry entry;
            std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
            entries[entry.width == 0 ? 256 : entry.width] = entry;
        }
        return entries;
    }

    static HMODULE module_;
};
HMODULE ShippedExe::module_ = nullptr;

// --- The icon -------------------------------------------------------------

constexpr int kIconSizes[] = {256, 128, 96, 72, 64, 48, 32, 24, 16};

TEST_F(ShippedExe, TheApplicationIconIsTheOnlyIconGroupAndHasTheLowestIdOne) {
    // Explorer shows the first icon group; the window code loads id 1.
    EXPECT_EQ(ResourceNames(module_, RT_GROUP_ICON), std::vector<std::wstring>{L"#1"});
}

TEST_F(ShippedExe, TheIconGroupListsExactlyTheNineSizesAt32Bits) {
    auto entries = IconEntries();
    std::set<int> sizes;
    for (const auto& [size, entry] : entries) {
        sizes.insert(size);
        SCOPED_TRACE(size);
        EXPECT_EQ(entry.width, entry.height);
        EXPECT_EQ(entry.bitsPerPixel, 32);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.colours, 0);
        // The directory's byte count is what the loader reads of the image.
        EXPECT_EQ(ResourceBytes(module_, RT_ICON, MAKEINTRESOURCEW(entry.id)).size(), entry.bytes);
    }
    EXPECT_EQ(sizes, std::set<int>(std::begin(kIconSizes), std::end(kIconSizes)));
    EXPECT_EQ(ResourceNames(module_, RT_ICON).size(), std::size(kIconSizes));
}

class IconImage : public ShippedExe, public ::testing::WithParamInterface<int> {};

TEST_P(IconImage, IsStoredInItsFormatAndTheSystemAcceptsIt) {
    const int size = GetParam();
    auto entries = IconEntries();
    ASSERT_TRUE(entries.count(size)) << "no " << size << " pixel image in the icon group";
    auto image = ResourceBytes(module_, RT_ICON, MAKEINTRESOURCEW(entries[size].id));
    ASSERT_GE(image.size(), 40u);

    if (size == 256) {
        // PNG: signature, then IHDR with width, height, bit depth 8 and
        // colour type 6 (RGBA).
        static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        ASSERT_EQ(std::memcmp(image.data(), signature, 8), 0) << "the 256 image is not a PNG";
        ASSERT_EQ(std::memcmp(image.data() + 12, "IHDR", 4), 0);
        EXPECT_EQ(BigEndian32(image.data() + 16), 256u);
        EXPECT_EQ(BigEndian32(image.data() + 20), 256u);
        EXPECT_EQ(image[24], 8) << "bit depth";
        EXPECT_EQ(image[25], 6) << "colour type";
    } else {
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biHeight, 2 * size) << "colour image and mask";
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, 32);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        const std::size_t maskStride = (size + 31) / 32 * 4;
        EXPECT_EQ(image.size(), sizeof header + std::size_t(size) * size * 4 + maskStride * size);
    }

    HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size,
                                          LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr) << "the system rejects the " << size << " pixel image";
    if (icon != nullptr) DestroyIcon(icon);
}

TEST_P(IconImage, HasTransparentAndOpaquePixelsWithAMaskThatMatchesAlpha) {
    const int size = GetParam();
    if (size == 256) GTEST_SKIP() << "the PNG image carries no mask";
    auto entries = IconEntries();
    ASSERT_TRUE(entries.count(size));
    auto image = ResourceBytes(module_, RT_ICON, MAKEINTRESOURCEW(entries[size].id));
    const std::size_t maskStride = (size + 31) / 32 * 4;
    ASSERT_EQ(image.size(), 40 + std::size_t(size) * size * 4 + maskStride * size);
    const std::uint8_t* colour = image.data() + 40;
    const std::uint8_t* mask = colour + size * size * 4;

    int transparent = 0, opaque = 0, mismatches = 0;
    for (int row = 0; row < size; ++row) {
        for (int x = 0; x < size; ++x) {
            const std::uint8_t alpha = colour[(row * size + x) * 4 + 3];
            const bool masked = mask[row * maskStride + x / 8] & (0x80 >> (x % 8));
            transparent += alpha == 0;
            opaque += alpha == 255;
            mismatches += masked != (alpha == 0);
        }
    }
    // A blank or a fully opaque picture means the drawing was not rendered
    // with its transparent background.
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, size * size / 2);
    EXPECT_EQ(mismatches, 0) << "mask bits that disagree with alpha";
}

INSTANTIATE_TEST_SUITE_P(EachSize, IconImage, ::testing::ValuesIn(kIconSizes));

// --- The version resource -------------------------------------------------

class VersionInfo : public ShippedExe {
protected:
    void SetUp() override {
        ShippedExe::SetUp();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(g_exe.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version information, error " << GetLastError();
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(g_exe.c_str(), 0, size, block_.data()));
    }
    std::wstring Text(const std::wstring& path) {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block_.data(), path.c_str(), &value, &length) || value == nullptr) {
            return L"<missing>";
        }
        return static_cast<const wchar_t*>(value);
    }
    std::vector<std::uint8_t> block_;
};

TEST_F(VersionInfo, NumbersAre2023_11_0_4ForFileAndProduct) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(11, 2023)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(4, 0)));
    EXPECT_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(MAKELONG(11, 2023)));
    EXPECT_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(MAKELONG(4, 0)));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug or pre-release flag";
}

TEST_F(VersionInfo, IsChineseTaiwanInUnicodeAndTaggedSoInTheResourceDirectory) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u) << "exactly one language and code page pair";
    const auto* pair = static_cast<const WORD*>(value);
    EXPECT_EQ(pair[0], 0x0404);
    EXPECT_EQ(pair[1], 1200);
    EXPECT_EQ(ResourceLanguages(module_, RT_VERSION, MAKEINTRESOURCEW(1)),
              std::vector<WORD>{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)});
}

TEST_F(VersionInfo, StringsAreExactInTheChineseTaiwanBlock) {
    struct Case {
        const wchar_t* name;
        const wchar_t* expected;
    };
    // The Chinese description checks that the UTF-8 source became UTF-16.
    const Case cases[] = {
        {L"ProductName", L"tarn-kit"},        {L"OriginalFilename", L"tarn-kit.exe"},
        {L"InternalName", L"tarn-kit"},       {L"FileVersion", L"2023.11.0004"},
        {L"ProductVersion", L"2023.11.0004"}, {L"FileDescription", L"\u9060\u7aef\u7dad\u4fee"},  // 遠端維修
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(std::wstring(L"\\StringFileInfo\\040404B0\\") + c.name), c.expected) << c.name;
    }
    for (const wchar_t* name : {L"CompanyName", L"LegalCopyright"}) {
        EXPECT_NE(Text(std::wstring(L"\\StringFileInfo\\040404B0\\") + name), L"<missing>") << name;
    }
}

// --- The manifest ---------------------------------------------------------

// The manifest is read by the system's own activation-context parser, so a
// malformed or misplaced element fails here as it would at start-up.
class Manifest : public ShippedExe {
protected:
    void SetUp() override {
        ShippedExe::SetUp();
        ACTCTXW request{};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = g_exe.c_str();
        request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
        context_ = CreateActCtxW(&request);
        ASSERT_NE(context_, INVALID_HANDLE_VALUE) << "the manifest does not parse, error " << GetLastError();
    }
    void TearDown() override {
        if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
    }
    std::wstring Setting(const wchar_t* space, const wchar_t* name) {
        wchar_t buffer[128] = {};
        SIZE_T written = 0;
        if (!QueryActCtxSettingsW(0, context_, space, name, buffer, std::size(buffer), &written)) {
            return L"<missing>";
        }
        return buffer;
    }
    HANDLE context_ = INVALID_HANDLE_VALUE;
};

TEST_F(ShippedExe, TheManifestIsTheOnlyOneAndHasIdOne) {
    EXPECT_EQ(ResourceNames(module_, RT_MANIFEST), std::vector<std::wstring>{L"#1"});
}

TEST_F(Manifest, AsksForPerMonitorDpiAwarenessWithTheOlderSettingAsFallback) {
    EXPECT_EQ(Setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"), L"true/pm");
    EXPECT_EQ(Setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor");
}

TEST_F(Manifest, RunsAsInvokerWithoutUiAccess) {
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    SIZE_T written = 0;
    ASSERT_TRUE(
        QueryActCtxW(0, context_, nullptr, RunlevelInformationInActivationContext, &level, sizeof level, &written))
        << GetLastError();
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(level.UiAccess, 0u);
}

TEST_F(Manifest, DeclaresEverySupportedSystemFromVistaTo11) {
    std::vector<std::uint8_t> buffer(1024);
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxW(0, context_, nullptr, CompatibilityInformationInActivationContext, buffer.data(),
                             buffer.size(), &written))
        << GetLastError();
    DWORD count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    EXPECT_EQ(count, 5u);
    // The element layout grew over Windows versions; looking for each id in
    // the answer does not depend on it.
    struct Case {
        const char* system;
        GUID id;
    };
    const Case cases[] = {
        {"Vista", {0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}}},
        {"7", {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}},
        {"8", {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}},
        {"8.1", {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}},
        {"10 and 11", {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}},
    };
    const std::size_t end = std::min<std::size_t>(written, buffer.size());
    for (const auto& c : cases) {
        bool found = false;
        for (std::size_t at = sizeof count; at + sizeof(GUID) <= end && !found; ++at) {
            found = std::memcmp(buffer.data() + at, &c.id, sizeof(GUID)) == 0;
        }
        EXPECT_TRUE(found) << "Windows " << c.system;
    }
}

TEST_F(Manifest, BringsInCommonControlsVersion6) {
    // The assemblies that the context binds, as the loader resolved them: the
    // program's own and the common controls. (Wine's comctl32 reports 5.x
    // from DllGetVersion in either version, so the binding is what can be
    // checked on both systems.)
    // The answers carry their strings after the structure.
    std::vector<std::uint8_t> details(4096);
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxW(0, context_, nullptr, ActivationContextDetailedInformation, details.data(), details.size(),
                             &written))
        << GetLastError();
    const auto* context = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(details.data());
    std::vector<std::wstring> identities;
    for (DWORD index = 1; index <= context->ulAssemblyCount; ++index) {
        std::vector<std::uint8_t> buffer(4096);
        if (!QueryActCtxW(0, context_, &index, AssemblyDetailedInformationInActivationContext, buffer.data(),
                          buffer.size(), &written)) {
            continue;
        }
        const auto* assembly = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
        if (assembly->lpAssemblyEncodedAssemblyIdentity != nullptr) {
            identities.emplace_back(assembly->lpAssemblyEncodedAssemblyIdentity);
        }
    }
    bool commonControls6 = false;
    std::wstring all;
    for (const auto& identity : identities) {
        all += identity + L"\n";
        commonControls6 =
            commonControls6 || (identity.find(L"Microsoft.Windows.Common-Controls") != std::wstring::npos &&
                                identity.find(L"version=\"6.") != std::wstring::npos);
    }
    EXPECT_TRUE(commonControls6) << "bound assemblies:\n" << std::string(all.begin(), all.end());
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [gtest options] PATH\\TO\\tarn-kit.exe\n", argv[0]);
        return 2;
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
    g_exe.resize(length);
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, g_exe.data(), length);
    g_exe.resize(length - 1);
    return RUN_ALL_TESTS();
}
