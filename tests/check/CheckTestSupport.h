// What the Windows check tests share: a private folder for status files, files
// held open by "another program", and the process's handle count.
#pragma once

#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Result.h"
#include "UniqueResource.h"
#include "Variant.h"

namespace lineprobe::test {

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(std::wstring_view name) {
        std::wstring base(MAX_PATH + 1, L'\0');
        base.resize(GetTempPathW(static_cast<DWORD>(base.size()), base.data()));
        m_path = base + std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() { Remove(m_path); }

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(std::wstring_view name) const { return m_path + L"\\" + std::wstring(name); }

private:
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    Remove(path);
                } else {
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring m_path;
};

inline bool WriteBytes(const std::wstring& path, std::string_view bytes) {
    const unique_hfile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// A file that starts with `start` and is `size` bytes long; the rest is a hole.
inline bool WriteSparse(const std::wstring& path, std::string_view start, LONGLONG size) {
    if (!WriteBytes(path, start)) return false;
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

// Another program's handle on the file, held for the scope.
inline unique_hfile HoldOpen(const std::wstring& path, DWORD access, DWORD share) {
    return unique_hfile(
        CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// GetProcessHandleCount where it works; Wine answers 0 there, so the count
// then comes from the system's handle table.
inline ULONG ProcessHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;

    struct Entry {
        ULONG process;
        BYTE type;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return 0;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    ULONG mine = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].process == GetCurrentProcessId()) ++mine;
    }
    return mine;
}

// File times as ticks of 100 ns since 1601-01-01 UTC.
inline std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

inline std::uint64_t Now() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
}

// The moment that a date and time of the local calendar names; 0 when there is none.
inline std::uint64_t LocalMoment(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    const SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0};
    SYSTEMTIME universal{};
    FILETIME moment{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !SystemTimeToFileTime(&universal, &moment)) {
        return 0;
    }
    return Ticks(moment);
}

// Sets the time the file was last written, as a program that backdates it would.
inline bool SetLastWriteTime(const std::wstring& path, std::uint64_t ticks) {
    const unique_hfile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(ticks);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return file && SetFileTime(file.get(), nullptr, nullptr, &written);
}

// Whether text is what a check of a file written at `written` (shown as
// `shown`) answers at some moment from `before` to `after`.
inline bool IsStaleText(const std::wstring& text, std::uint64_t written, std::uint64_t before, std::uint64_t after,
                        const std::wstring& shown) {
    constexpr std::uint64_t kMinute = 600'000'000;
    for (std::uint64_t minutes = (before - written) / kMinute; minutes <= (after - written) / kMinute; ++minutes) {
        if (text == L"ERR: File not updated for " + std::to_wstring(minutes) + L" minutes (last written " + shown +
                        L")") {
            return true;
        }
    }
    return false;
}

// An environment variable that a test script hands over; empty when unset.
inline std::wstring Environment(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

}  // namespace lineprobe::test
