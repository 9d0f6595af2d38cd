// The runtime failures that the check run and the dialog entry point can meet,
// with the short descriptions administrators see in result texts.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace lineprobe {

enum class FailureKind {
    InvalidProcedureCall,
    OutOfMemory,
    SubscriptOutOfRange,
    TypeMismatch,
    BadFileName,
    FileNotFound,
    InputPastEndOfFile,
    DeviceUnavailable,
    PermissionDenied,
    PathFileAccess,
    PathNotFound,
    InvalidUseOfNull,
    System,  // a platform failure whose description comes with it
};

const wchar_t* FailureDescription(FailureKind kind) noexcept;

// A status code as every Windows programmer reads it: "0x80070005".
std::wstring HexCode(std::uint32_t code);

// A failure with a description; Kind() tells the caller which one without comparing texts.
class Failure : public std::exception {
public:
    explicit Failure(FailureKind kind) : m_kind(kind), m_description(FailureDescription(kind)) {}
    Failure(FailureKind kind, std::wstring description)
        : m_kind(kind), m_description(std::move(description)) {}

    FailureKind Kind() const noexcept { return m_kind; }
    const std::wstring& Description() const noexcept { return m_description; }
    const char* what() const noexcept override { return "lineprobe::Failure"; }

private:
    FailureKind m_kind;
    std::wstring m_description;
};

}  // namespace lineprobe
