// What the whole DLL shares: its instance handle and the count of live objects and
// factory locks that decides whether it may be unloaded.
#pragma once

#include <windows.h>

#include <string>

namespace lineprobe::module {

// Set once by DllMain; null in a program that links the object without the DLL.
HINSTANCE Instance() noexcept;
void SetInstance(HINSTANCE instance) noexcept;

// Held by every live object and by every IClassFactory::LockServer(TRUE).
void AddRef() noexcept;
void Release() noexcept;
bool InUse() noexcept;

// Full path of the DLL file (of the program when no DLL instance is set).
// Throws ComError when the system cannot tell, std::bad_alloc without memory.
std::wstring FilePath();

}  // namespace lineprobe::module
