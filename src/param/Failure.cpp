#include "Failure.h"

#include <cwchar>
#include <iterator>

namespace lineprobe {

const wchar_t* FailureDescription(FailureKind kind) noexcept {
    switch (kind) {
    case FailureKind::InvalidProcedureCall: return L"Invalid procedure call or argument";
    case FailureKind::OutOfMemory: return L"Out of memory";
    case FailureKind::SubscriptOutOfRange: return L"Subscript out of range";
    case FailureKind::TypeMismatch: return L"Type mismatch";
    case FailureKind::BadFileName: return L"Bad file name or number";
    case FailureKind::FileNotFound: return L"File not found";
    case FailureKind::InputPastEndOfFile: return L"Input past end of file";
    case FailureKind::DeviceUnavailable: return L"Device unavailable";
    case FailureKind::PermissionDenied: return L"Permission denied";
    case FailureKind::PathFileAccess: return L"Path/File access error";
    case FailureKind::PathNotFound: return L"Path not found";
    case FailureKind::InvalidUseOfNull: return L"Invalid use of Null";
    case FailureKind::System: return L"Application-defined or object-defined error";
    }
    return L"Application-defined or object-defined error";
}

std::wstring HexCode(std::uint32_t code) {
    wchar_t buffer[16];
    std::swprintf(buffer, std::size(buffer), L"0x%08X", static_cast<unsigned>(code));
    return buffer;
}

}  // namespace lineprobe
