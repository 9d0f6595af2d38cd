#include "TypeLibrary.h"

#include <wrl/client.h>

#include "Module.h"
#include "Result.h"

namespace lineprobe {

HRESULT ModuleTypeInfo::Get(ITypeInfo*& info) noexcept {
    info = m_info.load(std::memory_order_acquire);
    if (info) return S_OK;
    return Shielded([&] {
        Microsoft::WRL::ComPtr<ITypeLib> library;
        RETURN_IF_FAILED(LoadTypeLibEx(module::FilePath().c_str(), REGKIND_NONE, &library));
        Microsoft::WRL::ComPtr<ITypeInfo> loaded;
        RETURN_IF_FAILED(library->GetTypeInfoOfGuid(m_guid, &loaded));
        // Two threads may load at once; the first to publish wins, the other lets its copy go.
        ITypeInfo* expected = nullptr;
        if (m_info.compare_exchange_strong(expected, loaded.Get(), std::memory_order_acq_rel)) {
            info = loaded.Detach();
        } else {
            info = expected;
        }
        return S_OK;
    });
}

void ModuleTypeInfo::Release(bool processEnding) noexcept {
    ITypeInfo* info = m_info.exchange(nullptr);
    if (info && !processEnding) info->Release();
}

}  // namespace lineprobe
