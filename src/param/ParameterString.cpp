#include "ParameterString.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <utility>

#include "Base64.h"
#include "WideText.h"

namespace lineprobe {
namespace {

// Keys are ASCII words, so case folding is ASCII too: a locale whose upper
// case of "i" is not "I" must not stop "#logfile=" from matching.
wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
}

// FieldKeyAt for a place that leaves room for the key, "#" and "=" before the end.
inline bool KeyAt(std::wstring_view text, std::size_t at, std::wstring_view key) noexcept {
    const wchar_t* const name = text.data() + at + 1;
    if (name[-1] != L'#' || name[key.size()] != L'=') return false;
    // Keys are short: comparing every character costs less than leaving early.
    unsigned differ = 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
        differ |= static_cast<unsigned>(UpperAscii(name[i]) ^ UpperAscii(key[i]));
    }
    return differ == 0;
}

// The place of the first `unit` at or after `from`, or the end of the text.
std::size_t UnitOrEnd(std::wstring_view text, std::size_t from, wchar_t unit) noexcept {
    return FindWideUnit(text.data(), text.size(), from, unit);
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
    if (text.size() < name.size() + 2) return {};
    const std::size_t last = text.size() - name.size() - 2;
    for (std::size_t at = UnitOrEnd(text, 0, L'#'); at <= last; at = UnitOrEnd(text, at + 1, L'#')) {
        if (KeyAt(text, at, name)) {
            const std::size_t valueStart = at + name.size() + 2;
            return std::wstring(text.substr(valueStart, UnitOrEnd(text, valueStart, L'#') - valueStart));
        }
    }
    return {};
}

void FindFieldValues(std::wstring_view text, std::span<const std::wstring_view> keys,
                     std::span<std::wstring_view> values) noexcept {
    const std::size_t count = std::min({keys.size(), values.size(), std::size_t{16}});
    std::fill(values.begin(), values.end(), std::wstring_view());
    unsigned pending = (1u << count) - 1;  // the keys not found yet
    // Every "#" in turn; the first field of each key counts. Keys hold neither
    // "#" nor "=", so a key followed by "=" right after a "#" is exactly a field
    // name up to its first "=", and its value runs to the next "#".
    for (std::size_t hash = UnitOrEnd(text, 0, L'#'); hash < text.size() && pending != 0;) {
        std::size_t searched = hash + 1;  // no "#" before this place after `hash`
        for (unsigned left = pending; left != 0; left &= left - 1) {
            const auto k = static_cast<std::size_t>(std::countr_zero(left));
            if (text.size() - hash < keys[k].size() + 2 || !KeyAt(text, hash, keys[k])) continue;
            const std::size_t valueStart = hash + keys[k].size() + 2;
            searched = UnitOrEnd(text, valueStart, L'#');
            values[k] = text.substr(valueStart, searched - valueStart);
            pending &= ~(1u << k);
        }
        hash = UnitOrEnd(text, searched, L'#');
    }
}

bool FieldKeyAt(std::wstring_view text, std::size_t at, std::wstring_view key) noexcept {
    return at < text.size() && text.size() - at >= key.size() + 2 && KeyAt(text, at, key);
}

std::wstring BuildParameterString(const ParameterFields& fields) {
    const SecretText password(EncodePassword(TrimmedView(fields.password)));
    const std::wstring_view maxAge = TrimmedView(fields.maxAge);
    const std::pair<std::wstring_view, std::wstring_view> parts[] = {
        {L"#LOGFILE=", TrimmedView(fields.logFile)}, {L"#USER=", TrimmedView(fields.user)},
        {L"#PW=", password.View()},                  {L"#UP=", TrimmedView(fields.up)},
        {L"#DOWN=", TrimmedView(fields.down)},       {maxAge.empty() ? L"" : L"#MAXAGE=", maxAge},
    };
    // Room for all at once: a string that grows frees its old buffers, the
    // password's value among them, as they are.
    std::size_t size = 1;
    for (const auto& [key, value] : parts) size += key.size() + value.size();
    std::wstring out;
    out.reserve(size);
    for (const auto& [key, value] : parts) out.append(key).append(value);
    out += L'#';
    return out;
}

namespace {

// A whole number from 1 to limit, spaces around it ignored; 0 for a value of
// spaces only, nothing for anything else.
std::optional<unsigned> WholeNumberUpTo(std::wstring_view value, unsigned limit) noexcept {
    const auto first = value.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return 0u;
    value = value.substr(first, value.find_last_not_of(L' ') - first + 1);
    unsigned number = 0;
    for (const wchar_t c : value) {
        if (c < L'0' || c > L'9' || number > limit) return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - L'0');
    }
    if (number == 0 || number > limit) return std::nullopt;
    return number;
}

}  // namespace

MaxAge ParseMaxAge(std::wstring_view value) noexcept {
    const std::optional<unsigned> minutes = WholeNumberUpTo(value, kMaxAgeLimit);
    if (!minutes) return {false, 0};
    return {true, *minutes};
}

unsigned ParseTimeLimit(std::wstring_view value) noexcept {
    return WholeNumberUpTo(value, kTimeLimitMax).value_or(0);
}

}  // namespace lineprobe
