// What the DLL file shows without creating an object: exports, imports, resources.
#include <algorithm>
#include <cstring>
#include <cwctype>
#include <vector>

#include "ComTestSupport.h"
#include "DialogIcon.h"

namespace lineprobe::test {
namespace {

const BYTE* Image() { return reinterpret_cast<const BYTE*>(ServerModule()); }

const IMAGE_DATA_DIRECTORY& Directory(int entry) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Image());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Image() + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[entry];
}

std::wstring Lower(std::string_view text) {
    std::wstring lower;
    for (char c : text) lower += static_cast<wchar_t>(std::towlower(static_cast<unsigned char>(c)));
    return lower;
}

class DllFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(ServerModule(), nullptr) << "comlineprobe.dll beside the test program"; }
};

TEST_F(DllFileTest, ExportsFourPlainNamesWithOrdinalsOneToFour) {
    const auto& directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(directory.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Image() + directory.VirtualAddress);
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 4u);
    ASSERT_EQ(exports->NumberOfNames, 4u);
    const auto* names = reinterpret_cast<const DWORD*>(Image() + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(Image() + exports->AddressOfNameOrdinals);
    const char* expected[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    for (DWORD i = 0; i < 4; ++i) {
        const char* name = reinterpret_cast<const char*>(Image() + names[i]);
        EXPECT_STREQ(name, expected[i]);  // no @N decoration
        EXPECT_EQ(ordinals[i] + exports->Base, i + 1) << name;
        EXPECT_EQ(GetProcAddress(ServerModule(), MAKEINTRESOURCEA(i + 1)), GetProcAddress(ServerModule(), name)) << name;
    }
}

TEST_F(DllFileTest, ImportsOnlyDllsOfTheSystemFolder) {
    const auto& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(directory.VirtualAddress, 0u);
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::vector<std::wstring> imported;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(Image() + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        imported.push_back(Lower(reinterpret_cast<const char*>(Image() + entry->Name)));
    }
    EXPECT_FALSE(imported.empty());
    for (const std::wstring& name : imported) {
        EXPECT_EQ(name.find(L"libstdc++"), std::wstring::npos);
        EXPECT_EQ(name.find(L"libgcc"), std::wstring::npos);
        EXPECT_EQ(name.find(L"libwinpthread"), std::wstring::npos);
        const std::wstring path = std::wstring(system) + L"\\" + name;
        EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << testing::PrintToString(name);
    }
}

class VersionBlock {
public:
    explicit VersionBlock(const std::wstring& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        m_data.resize(size);
        m_valid = size != 0 && GetFileVersionInfoW(path.c_str(), 0, size, m_data.data());
    }
    bool Valid() const { return m_valid; }
    // The value of a sub-block, or nothing when the entry is absent.
    std::optional<std::pair<const void*, UINT>> Query(const wchar_t* subBlock) {
        void* value = nullptr;
        UINT length = 0;
        if (!m_valid || !VerQueryValueW(m_data.data(), subBlock, &value, &length)) return std::nullopt;
        return std::make_pair(static_cast<const void*>(value), length);
    }
    std::optional<std::wstring> Text(const std::wstring& name) {
        const auto value = Query((L"\\StringFileInfo\\040904B0\\" + name).c_str());
        if (!value) return std::nullopt;
        const auto* text = static_cast<const wchar_t*>(value->first);
        return std::wstring(text, wcsnlen(text, value->second));
    }

private:
    std::vector<BYTE> m_data;
    bool m_valid = false;
};

TEST_F(DllFileTest, VersionBlockFixedPart) {
    VersionBlock version(ServerPath());
    ASSERT_TRUE(version.Valid());
    const auto fixed = version.Query(L"\\");
    ASSERT_TRUE(fixed);
    ASSERT_GE(fixed->second, sizeof(VS_FIXEDFILEINFO));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed->first);
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x0000000Fu);
    EXPECT_EQ(info->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwProductVersionLS, 0x0000000Fu);
    EXPECT_EQ(info->dwFileFlags, 0u);
    EXPECT_EQ(info->dwFileOS, 4u);
    EXPECT_EQ(info->dwFileType, 2u);
    EXPECT_NE(FindResourceExW(ServerModule(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
              nullptr)
        << "version resource 1 in language 0x0409";
}

TEST_F(DllFileTest, VersionBlockStrings) {
    VersionBlock version(ServerPath());
    ASSERT_TRUE(version.Valid());
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } entries[] = {
        {L"FileVersion", L"1.00.0015"},          {L"ProductVersion", L"1.00.0015"},
        {L"InternalName", L"comlineprobe"},      {L"OriginalFilename", L"comlineprobe.dll"},
        {L"OLESelfRegister", L""},
    };
    for (const auto& entry : entries) {
        EXPECT_EQ(version.Text(entry.name), std::optional<std::wstring>(entry.value))
            << testing::PrintToString(std::wstring(entry.name));
    }
    for (const wchar_t* name : {L"CompanyName", L"ProductName"}) {
        const auto text = version.Text(name);
        EXPECT_TRUE(text && !text->empty()) << testing::PrintToString(std::wstring(name));
    }
    const auto translation = version.Query(L"\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation);
    ASSERT_EQ(translation->second, 4u);
    const auto* words = static_cast<const WORD*>(translation->first);
    EXPECT_EQ(words[0], 0x0409);
    EXPECT_EQ(words[1], 0x04B0);
}

// Language-neutral resources, as the system's loaders look them up.
std::vector<BYTE> NeutralResource(const wchar_t* type, const wchar_t* name) {
    const HRSRC found = FindResourceExW(ServerModule(), type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!found) return {};
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(ServerModule(), found)));
    return std::vector<BYTE>(data, data + SizeofResource(ServerModule(), found));
}

TEST_F(DllFileTest, InterfaceIdResourceRepeatsTheIid) {
    const std::vector<BYTE> data = NeutralResource(L"_IID_LINEPROBECOM", MAKEINTRESOURCEW(1));
    ASSERT_EQ(data.size(), 20u);
    const BYTE length[4] = {16, 0, 0, 0};
    EXPECT_EQ(std::memcmp(data.data(), length, 4), 0);
    EXPECT_EQ(std::memcmp(data.data() + 4, &IID__lineprobeCom, 16), 0);
}

TEST_F(DllFileTest, TypeLibraryResourceIsInMsftFormat) {
    const std::vector<BYTE> data = NeutralResource(L"TYPELIB", MAKEINTRESOURCEW(1));
    ASSERT_GE(data.size(), 4u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "MSFT");
}

TEST_F(DllFileTest, DialogIconHasTwoSixteenColourImages) {
    // GRPICONDIR: reserved, type 1, count, then 14-byte entries.
    const std::vector<BYTE> group = NeutralResource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(LINEPROBE_IDI_DIALOG));
    ASSERT_GE(group.size(), 6u);
    const WORD count = static_cast<WORD>(group[4] | group[5] << 8);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<std::pair<int, int>> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = group.data() + 6 + 14 * i;
        const WORD bitCount = static_cast<WORD>(entry[6] | entry[7] << 8);
        EXPECT_EQ(entry[2], 16) << "colour count";
        EXPECT_EQ(bitCount, 4);
        sizes.emplace_back(entry[0], entry[1]);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{16, 16}, {32, 32}}));
    for (int size : {16, 32}) {
        const HANDLE icon = LoadImageW(ServerModule(), MAKEINTRESOURCEW(LINEPROBE_IDI_DIALOG), IMAGE_ICON, size, size, 0);
        EXPECT_NE(icon, nullptr) << size;
        if (icon) DestroyIcon(static_cast<HICON>(icon));
    }
}

}  // namespace
}  // namespace lineprobe::test
