// The type information of one of this module's interfaces, from the type
// library embedded in the module's own TYPELIB resource: loaded on first use,
// then shared by every object and thread without a lock.
#pragma once

#include <oaidl.h>

#include <atomic>

namespace lineprobe {

class ModuleTypeInfo {
public:
    explicit constexpr ModuleTypeInfo(const GUID& guid) noexcept : m_guid(guid) {}
    ModuleTypeInfo(const ModuleTypeInfo&) = delete;
    ModuleTypeInfo& operator=(const ModuleTypeInfo&) = delete;

    // Borrowed: valid until Release, which only the module's unloading calls.
    HRESULT Get(ITypeInfo*& info) noexcept;

    // From DllMain on DLL_PROCESS_DETACH. When the process is ending, other
    // DLLs may already be gone, so the type information is left alone then.
    void Release(bool processEnding) noexcept;

private:
    const GUID& m_guid;
    std::atomic<ITypeInfo*> m_info{nullptr};
};

}  // namespace lineprobe
