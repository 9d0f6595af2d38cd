#include "ParameterString.h"

#include <algorithm>
#include <array>

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

}  // namespace

std::wstring_view TrimmedView(std::wstring_view text) noexcept {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

std::wstring Trim(std::wstring_view text) { return std::wstring(TrimmedView(text)); }

std::wstring GetParameterField(std::wstring_view text, std::wstring_view key) {
    const std::wstring_view name = TrimmedView(key);
    for (auto hash = text.find(L'#'); hash != std::wstring_view::npos; hash = text.find(L'#', hash + 1)) {
        if (FieldKeyAt(text, hash, name)) {
            const auto valueStart = hash + name.size() + 2;
            return std::wstring(text.substr(valueStart, text.find(L'#', valueStart) - valueStart));
        }
    }
    return {};
}

void FindFieldValues(std::wstring_view text, std::span<const std::wstring_view> keys,
                     std::span<std::wstring_view> values) noexcept {
    std::array<bool, 16> found{};
    std::size_t left = std::min({keys.size(), values.size(), found.size()});
    std::fill(values.begin(), values.end(), std::wstring_view());
    // Every "#" in turn, followed by a key in any case of its letters and "=";
    // the first such field of each key counts. Keys hold neither "#" nor "=",
    // so only a key as long as the name up to the first "=" can match.
    for (auto hash = text.find(L'#'); hash != std::wstring_view::npos && left > 0; hash = text.find(L'#', hash + 1)) {
        const auto nameStart = hash + 1;
        const auto equals = text.find_first_of(L"=#", nameStart);
        if (equals == std::wstring_view::npos) break;
        if (text[equals] != L'=') continue;
        const std::wstring_view name = text.substr(nameStart, equals - nameStart);
        for (std::size_t k = 0; k < keys.size() && k < values.size() && k < found.size(); ++k) {
            if (found[k] || keys[k].size() != name.size() || !EqualIgnoringAsciiCase(name, keys[k])) continue;
            const auto valueStart = equals + 1;
            values[k] = text.substr(valueStart, text.find(L'#', valueStart) - valueStart);
            found[k] = true;
            --left;
        }
    }
}

bool FieldKeyAt(std::wstring_view text, std::size_t at, std::wstring_view key) noexcept {
    if (at >= text.size() || text.size() - at < key.size() + 2 || text[at] != L'#' ||
        text[at + 1 + key.size()] != L'=') {
        return false;
    }
    return EqualIgnoringAsciiCase(text.substr(at + 1, key.size()), key);
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
