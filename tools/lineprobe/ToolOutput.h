// What lineprobe.exe prints and how it exits: plugin exit codes, the masked
// parameter string and the words for registration failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lineprobe::tool {

// The exit codes monitoring systems expect from a plugin.
enum ExitCode : int {
    kExitUp = 0,
    kExitDown = 2,
    kExitUnknown = 3,  // an "ERR: " result, a check that could not run, bad arguments
};

// Up wins even when the file's second line happens to begin with "ERR: ".
int ExitCodeFor(bool up, std::wstring_view resultText);

// The parameter string with the value of every PW field (key matched as the
// field lookup matches it) replaced by a fixed mask; an empty value stays empty.
std::wstring MaskPassword(std::wstring_view parameterString);

inline constexpr std::wstring_view kPasswordMask = L"********";

// What keeps a PW value from being well-formed base64 (groups of four
// characters of A-Z, a-z, 0-9, "+" and "/", with one or two "=" only at its
// end), in words; empty when nothing does. The decoder reads such values anyway.
std::wstring Base64Doubt(std::wstring_view value);

// One output line: line breaks at the end are dropped, those inside become one space.
std::wstring OneLine(std::wstring_view text);

// "HRESULT 0x80070005"
std::wstring HresultText(std::uint32_t hr);

// Advice for a failed DllRegisterServer/DllUnregisterServer; empty when the code tells nothing more.
std::wstring RegistrationAdvice(std::uint32_t hr);

}  // namespace lineprobe::tool
