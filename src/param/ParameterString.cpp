#include "ParameterString.h"

#include <algorithm>

#include "Base64.h"

namespace lineprobe {
namespace {

// Keys are ASCII words, so case folding is ASCII too: a locale whose upper
// case of "i" is not "I" must not stop "#logfile=" from matching.
wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
}

bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return UpperAscii(x) == UpperAscii(y); });
}

std::wstring_view TrimSpaces(std::wstring_view text) noexcept {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::wstring Trim(std::wstring_view text) {
    return std::wstring(TrimSpaces(text));
}

std::wstring GetParameterField(std::wstring_view text, std::wstring_view key) {
    // Every "#" in turn, followed by the key in any case of its letters and "=".
    const std::wstring_view name = TrimSpaces(key);
    for (auto hash = text.find(L'#'); hash != std::wstring_view::npos; hash = text.find(L'#', hash + 1)) {
        const auto nameStart = hash + 1;
        if (text.size() - nameStart <= name.size()) {
            break;
        }
        if (text[nameStart + name.size()] == L'=' && EqualIgnoringAsciiCase(text.substr(nameStart, name.size()), name)) {
            const auto valueStart = nameStart + name.size() + 1;
            return std::wstring(text.substr(valueStart, text.find(L'#', valueStart) - valueStart));
        }
    }
    return {};
}

std::wstring BuildParameterString(const ParameterFields& fields) {
    std::wstring out;
    out += L"#LOGFILE=" + Trim(fields.logFile);
    out += L"#USER=" + Trim(fields.user);
    out += L"#PW=" + EncodePassword(Trim(fields.password));
    out += L"#UP=" + Trim(fields.up);
    out += L"#DOWN=" + Trim(fields.down);
    out += L"#";
    return out;
}

}  // namespace lineprobe
