#include "Module.h"

#include <atomic>
#include <vector>

#include "Result.h"
#include "UniqueResource.h"

namespace lineprobe {
namespace {

std::atomic<long> g_count{0};
const int kModuleAnchor = 0;

struct FileIdentity {
    DWORD volume = 0, indexHigh = 0, indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::wstring& path) noexcept {
    // Attributes only and every sharing mode, so that a loaded DLL or a file
    // another program holds open can be asked too.
    const unique_hfile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace

namespace module {

void AddRef() noexcept { ++g_count; }
void Release() noexcept { --g_count; }
bool InUse() noexcept { return g_count.load() != 0; }

std::wstring FilePath() { return ModuleFilePath(ThisModule()); }

}  // namespace module

HMODULE ThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module)) {
        ThrowLastError(L"The module of comlineprobe is unknown");
    }
    return module;
}

std::wstring ModuleFilePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            ThrowLastError(L"The path of the module is unknown");
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Truncated: the path is longer than the buffer.
        path.resize(path.size() * 2);
    }
}

std::optional<FileVersion> ReadFileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
        infoSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return FileVersion{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                       LOWORD(info->dwFileVersionLS)};
}

std::optional<bool> SameFile(const std::wstring& a, const std::wstring& b) noexcept {
    const std::optional<FileIdentity> first = IdentityOf(a);
    if (!first) return std::nullopt;
    const std::optional<FileIdentity> second = IdentityOf(b);
    if (!second) return std::nullopt;
    return *first == *second;
}

}  // namespace lineprobe
