// What DllRegisterServer writes and DllUnregisterServer removes.
#pragma once

#include <windows.h>

namespace lineprobe {

// ProgID, class and type library (which registers _lineprobeCom for marshaling).
// A failing HRESULT whenever a write fails; what was written before is removed again.
HRESULT RegisterServer() noexcept;

// Removes exactly that; entries already absent count as removed.
HRESULT UnregisterServer() noexcept;

}  // namespace lineprobe
