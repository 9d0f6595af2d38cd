// The type library embedded in this DLL, read once per process and shared by every
// object that serves IDispatch from it.
#pragma once

#include <oaidl.h>

namespace lineprobe {

// The type information of one of our interfaces; the first call on any thread
// loads the library, later calls share it.
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) noexcept;

// Called once from DllMain on DLL_PROCESS_DETACH. When the process is ending,
// other DLLs may already be gone, so the library is left alone then.
void ReleaseModuleTypeLibrary(bool processEnding) noexcept;

}  // namespace lineprobe
