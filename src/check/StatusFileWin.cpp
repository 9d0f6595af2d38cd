#include "StatusFileWin.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "Failure.h"
#include "Share.h"
#include "UniqueResource.h"

namespace lineprobe {
namespace {

// Pauses between the attempts to open a file another program holds exclusively.
constexpr DWORD kSharingRetryPauses[] = {10, 20, 40, 60, 70};

Failure SystemFailure(DWORD code) {
    std::wstring text = SystemErrorText(code);
    if (text.empty()) {
        text = L"Error " + std::to_wstring(code);
    }
    return Failure(FailureKind::System, std::move(text));
}

Failure ReadFailure(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Failure(FailureKind::PermissionDenied);
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST: return Failure(FailureKind::DeviceUnavailable);
    default: return SystemFailure(code);
    }
}

bool IsFolder(const std::wstring& path) noexcept {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "X:..." on a drive letter that names no drive at all. GetLogicalDrives rather
// than GetDriveTypeW: under Wine the latter asks the mount manager service, which
// can keep the caller waiting.
bool IsOnMissingDrive(const std::wstring& path) noexcept {
    if (path.size() < 2 || path[1] != L':' || path[0] > 0x7F || !std::iswalpha(path[0])) {
        return false;
    }
    const int drive = std::towupper(path[0]) - L'A';
    return (GetLogicalDrives() & (DWORD{1} << drive)) == 0;
}

Failure OpenFailure(DWORD code, const std::wstring& path) {
    if (IsFolder(path)) {
        return Failure(FailureKind::PathFileAccess);
    }
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        if (IsOnMissingDrive(path)) return Failure(FailureKind::DeviceUnavailable);
        return Failure(code == ERROR_FILE_NOT_FOUND ? FailureKind::FileNotFound : FailureKind::PathNotFound);
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return Failure(FailureKind::PathNotFound);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY: return Failure(FailureKind::BadFileName);
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST: return Failure(FailureKind::DeviceUnavailable);
    default: return ReadFailure(code);
    }
}

class FileSource final : public ByteSource {
public:
    explicit FileSource(unique_hfile file) noexcept : m_file(std::move(file)) {}

    std::size_t Read(std::span<char> buffer) override {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
        DWORD got = 0;
        if (!ReadFile(m_file.get(), buffer.data(), wanted, &got, nullptr)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) return 0;
            throw ReadFailure(code);
        }
        return got;
    }

    // From the handle, not the path: the file the lines would come from.
    std::optional<std::uint64_t> LastWriteTime() override {
        FILETIME written{};
        if (!GetFileTime(m_file.get(), nullptr, nullptr, &written)) {
            throw SystemFailure(GetLastError());
        }
        return (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    }

private:
    unique_hfile m_file;
};

}  // namespace

std::unique_ptr<ByteSource> OpenStatusFile(const std::wstring& path) {
    // An embedded NUL would silently shorten the name the system sees.
    if (path.empty() || path.find(L'\0') != std::wstring::npos) {
        throw Failure(FailureKind::BadFileName);
    }
    for (std::size_t attempt = 0;; ++attempt) {
        unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file) {
            // A pipe, a console or a device opens like a file, but a read from it
            // waits for as long as the other side likes, wedging the host's thread.
            if (GetFileType(file.get()) != FILE_TYPE_DISK) {
                throw Failure(FailureKind::BadFileName);
            }
            return std::make_unique<FileSource>(std::move(file));
        }
        const DWORD code = GetLastError();
        if ((code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) &&
            attempt < std::size(kSharingRetryPauses)) {
            Sleep(kSharingRetryPauses[attempt]);
            continue;
        }
        throw OpenFailure(code, path);
    }
}

}  // namespace lineprobe
