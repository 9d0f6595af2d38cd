#include "ToolOutput.h"

#include "Base64.h"
#include "Failure.h"
#include "ParameterString.h"

namespace lineprobe::tool {

int ExitCodeFor(bool up, std::wstring_view resultText) {
    if (up) return kExitUp;
    return resultText.starts_with(L"ERR: ") ? kExitUnknown : kExitDown;
}

std::wstring MaskPassword(std::wstring_view parameterString) {
    constexpr std::wstring_view key = L"PW";
    constexpr std::size_t fieldLength = key.size() + 2;  // "#PW="
    std::wstring out;
    std::size_t pos = 0;
    while (pos < parameterString.size()) {
        if (!FieldKeyAt(parameterString, pos, key)) {
            out += parameterString[pos++];
            continue;
        }
        out += parameterString.substr(pos, fieldLength);
        const std::size_t valueStart = pos + fieldLength;
        std::size_t valueEnd = parameterString.find(L'#', valueStart);
        if (valueEnd == std::wstring_view::npos) valueEnd = parameterString.size();
        if (valueEnd > valueStart) out += kPasswordMask;
        pos = valueEnd;
    }
    return out;
}

std::wstring Base64Doubt(std::wstring_view value) {
    std::size_t padding = value.size();  // where the "=" at the end begin
    while (padding > 0 && value.size() - padding < 2 && value[padding - 1] == L'=') --padding;
    bool outside = false;
    bool earlyPadding = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == L'=') {
            earlyPadding = earlyPadding || i < padding;
        } else if (kSextetTable.find(value[i]) == std::wstring_view::npos) {
            outside = true;
        }
    }
    std::wstring doubt;
    const auto add = [&doubt](std::wstring_view what) { doubt.append(doubt.empty() ? L"" : L", ").append(what); };
    if (outside) add(L"characters outside A-Z, a-z, 0-9, + and /");
    if (value.size() % 4 != 0) add(L"a length that is not a multiple of four");
    if (earlyPadding) add(L"\"=\" before the end");
    return doubt;
}

std::wstring OneLine(std::wstring_view text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.remove_suffix(1);
    std::wstring out;
    bool inBreak = false;
    for (const wchar_t c : text) {
        if (c == L'\r' || c == L'\n') {
            if (!inBreak) out += L' ';
            inBreak = true;
        } else {
            out += c;
            inBreak = false;
        }
    }
    return out;
}

std::wstring HresultText(std::uint32_t hr) { return L"HRESULT " + HexCode(hr); }

std::wstring RegistrationAdvice(std::uint32_t hr) {
    switch (hr) {
    case 0x80070005u:  // E_ACCESSDENIED
    case 0x8002801Cu:  // TYPE_E_REGISTRYACCESS
        return L"administrator rights are missing: run it from an elevated command prompt";
    case 0x80040200u:  // SELFREG_E_TYPELIB
        return L"the type library could not be registered (often: administrator rights are missing)";
    case 0x80040201u:  // SELFREG_E_CLASS
        return L"the class could not be registered (often: administrator rights are missing)";
    case 0x8007007Eu:  // ERROR_MOD_NOT_FOUND
        return L"the DLL or a DLL it needs was not found";
    case 0x800700C1u:  // ERROR_BAD_EXE_FORMAT
        return L"the DLL is not a Windows DLL of this program's bitness: use the lineprobe.exe beside it";
    default:
        return {};
    }
}

}  // namespace lineprobe::tool
