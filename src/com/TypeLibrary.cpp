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
    try {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_library) {
            const std::wstring path = module::FilePath();
            RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, g_library.ReleaseAndGetAddressOf()));
        }
        return g_library->GetTypeInfoOfGuid(guid, info);
    } catch (const ComError& error) {
        return error.Code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
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
