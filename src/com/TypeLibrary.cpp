#include "TypeLibrary.h"

#include <wrl/client.h>

#include <mutex>

#include "ComSupport.h"
#include "Module.h"

namespace lineprobe {
namespace {

std::mutex g_lock;
Microsoft::WRL::ComPtr<ITypeLib> g_library;

}  // namespace

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    return Shielded([&] {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_library) {
            const std::wstring path = module::FilePath();
            RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, g_library.ReleaseAndGetAddressOf()));
        }
        return g_library->GetTypeInfoOfGuid(guid, info);
    });
}

void ReleaseModuleTypeLibrary(bool processEnding) noexcept {
    // No other thread runs code of this DLL any more: DllMain holds the loader lock.
    if (processEnding) {
        g_library.Detach();
    } else {
        g_library.Reset();
    }
}

}  // namespace lineprobe
