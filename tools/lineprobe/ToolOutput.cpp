#include "ToolOutput.h"

#include <cwchar>

namespace lineprobe::tool {
namespace {

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

bool StartsWithFieldKey(std::wstring_view text, std::size_t at, std::wstring_view field) {
    if (text.size() - at < field.size()) return false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (UpperAscii(text[at + i]) != field[i]) return false;
    }
    return true;
}

}  // namespace

int ExitCodeFor(bool up, std::wstring_view resultText) {
    if (up) return kExitUp;
    return resultText.starts_with(L"ERR: ") ? kExitUnknown : kExitDown;
}

std::wstring MaskPassword(std::wstring_view parameterString) {
    constexpr std::wstring_view field = L"#PW=";
    std::wstring out;
    std::size_t pos = 0;
    while (pos < parameterString.size()) {
        if (!StartsWithFieldKey(parameterString, pos, field)) {
            out += parameterString[pos++];
            continue;
        }
        out += parameterString.substr(pos, field.size());
        const std::size_t valueStart = pos + field.size();
        std::size_t valueEnd = parameterString.find(L'#', valueStart);
        if (valueEnd == std::wstring_view::npos) valueEnd = parameterString.size();
        if (valueEnd > valueStart) out += kPasswordMask;
        pos = valueEnd;
    }
    return out;
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

std::wstring HresultText(std::uint32_t hr) {
    wchar_t buffer[32];
    std::swprintf(buffer, std::size(buffer), L"HRESULT 0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

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
