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

std::wstring UpperCopy(std::wstring_view text) {
    std::wstring upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    return upper;
}

}  // namespace

std::wstring Trim(std::wstring_view text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}

std::wstring GetParameterField(std::wstring_view text, std::wstring_view key) {
    const std::wstring upper = UpperCopy(text);
    const std::wstring search = L"#" + UpperCopy(Trim(key)) + L"=";
    const auto found = upper.find(search);
    if (found == std::wstring::npos) {
        return {};
    }
    const auto valueStart = found + search.size();
    auto valueEnd = upper.find(L'#', valueStart);
    if (valueEnd == std::wstring::npos) {
        valueEnd = text.size();
    }
    return std::wstring(text.substr(valueStart, valueEnd - valueStart));
}

bool FieldKeyAt(std::wstring_view text, std::size_t at, std::wstring_view key) noexcept {
    if (at >= text.size() || text.size() - at < key.size() + 2 || text[at] != L'#' ||
        text[at + 1 + key.size()] != L'=') {
        return false;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (UpperAscii(text[at + 1 + i]) != UpperAscii(key[i])) return false;
    }
    return true;
}

std::wstring BuildParameterString(const ParameterFields& fields) {
    std::wstring out;
    out += L"#LOGFILE=" + Trim(fields.logFile);
    out += L"#USER=" + Trim(fields.user);
    out += L"#PW=" + EncodePassword(Trim(fields.password));
    out += L"#UP=" + Trim(fields.up);
    out += L"#DOWN=" + Trim(fields.down);
    const std::wstring maxAge = Trim(fields.maxAge);
    if (!maxAge.empty()) out += L"#MAXAGE=" + maxAge;
    out += L"#";
    return out;
}

MaxAge ParseMaxAge(std::wstring_view value) noexcept {
    const auto first = value.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return {};
    value = value.substr(first, value.find_last_not_of(L' ') - first + 1);
    unsigned minutes = 0;
    for (const wchar_t c : value) {
        if (c < L'0' || c > L'9' || minutes > kMaxAgeLimit) return {false, 0};
        minutes = minutes * 10 + static_cast<unsigned>(c - L'0');
    }
    if (minutes == 0 || minutes > kMaxAgeLimit) return {false, 0};
    return {true, minutes};
}

}  // namespace lineprobe
