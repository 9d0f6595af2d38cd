// What the whole module shares: the count of live objects and factory locks
// that decides whether the DLL may be unloaded, the module's own file, and
// what the module asks of files (their version, whether two paths name one).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace lineprobe {

namespace module {

// Held by every live object, every IClassFactory::LockServer(TRUE) and every
// piece of work that still runs code of the module.
void AddRef() noexcept;
void Release() noexcept;
bool InUse() noexcept;

// Full path of the file this code was linked into: the DLL inside a host, the
// program in tests. Throws ComError when the system cannot tell.
std::wstring FilePath();

}  // namespace module

// The module (DLL or program) that this code was linked into.
HMODULE ThisModule();

// Full path of a module's file; null names the running program. Throws ComError.
std::wstring ModuleFilePath(HMODULE module);

struct FileVersion {
    unsigned major = 0, minor = 0, build = 0, revision = 0;
};

// The fixed version of a file's version block; nothing when it has none.
std::optional<FileVersion> ReadFileVersion(const std::wstring& path);

// Whether two paths name one file (by volume serial number and file index, so
// a short name or another drive onto the same folder counts); nothing when
// either cannot be opened.
std::optional<bool> SameFile(const std::wstring& a, const std::wstring& b) noexcept;

}  // namespace lineprobe
