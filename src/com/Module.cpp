#include "Module.h"

#include <atomic>

#include "ComSupport.h"

namespace lineprobe::module {
namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_count{0};

}  // namespace

HINSTANCE Instance() noexcept { return g_instance; }
void SetInstance(HINSTANCE instance) noexcept { g_instance = instance; }

void AddRef() noexcept { ++g_count; }
void Release() noexcept { --g_count; }
bool InUse() noexcept { return g_count.load() != 0; }

std::wstring FilePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
            throw ComError(hr, L"The path of comlineprobe.dll is unknown");
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Truncated: the path is longer than the buffer.
        path.resize(path.size() * 2);
    }
}

}  // namespace lineprobe::module
