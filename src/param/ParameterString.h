// The one-line configuration of a check: "#KEY=value" fields closed by "#".
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace lineprobe {

// Removes leading and trailing space characters only; tabs and other white space stay.
std::wstring Trim(std::wstring_view text);
std::wstring_view TrimmedView(std::wstring_view text) noexcept;

// The value of the first field "#key=" (key matched without regard to letter
// case, spaces around it ignored), up to the next "#" or the end of the text;
// empty when the key does not occur. The value is neither trimmed nor re-cased.
std::wstring GetParameterField(std::wstring_view text, std::wstring_view key);

// The values of several keys, found in one pass over the text: each is the
// value GetParameterField gives for its key (taken as it is, at most 16 keys),
// as a view into the text.
void FindFieldValues(std::wstring_view text, std::span<const std::wstring_view> keys,
                     std::span<std::wstring_view> values) noexcept;

// Whether a field "#key=" begins at the given place, the key matched as the
// lookup matches it. The key is given without "#" and "=".
bool FieldKeyAt(std::wstring_view text, std::size_t at, std::wstring_view key) noexcept;

struct ParameterFields {
    std::wstring logFile;
    std::wstring user;
    std::wstring password;  // plain text; encoded when the string is built
    std::wstring up;
    std::wstring down;
    std::wstring maxAge = {};  // minutes as typed; empty: any age
};

// The five fields in their fixed order, every value trimmed, the trimmed
// password encoded; then MAXAGE, written only when it holds a value, so that a
// configuration without it reads exactly as before.
std::wstring BuildParameterString(const ParameterFields& fields);

// The optional maximum age of the status file, in whole minutes.
inline constexpr unsigned kMaxAgeLimit = 525600;  // a year
inline constexpr std::wstring_view kMaxAgeRule = L"MAXAGE must be a whole number of minutes from 1 to 525600";

struct MaxAge {
    bool valid = true;
    unsigned minutes = 0;  // 0: any age
};

// A MAXAGE value: spaces around it are ignored, and an empty value means any
// age. Anything but a whole number from 1 to kMaxAgeLimit is not valid.
MaxAge ParseMaxAge(std::wstring_view value) noexcept;

// The host's time limit for a check, in whole seconds: a day at most.
inline constexpr unsigned kTimeLimitMax = 86400;

// A time limit given as text: a whole number from 1 to kTimeLimitMax, spaces
// around it ignored. Anything else is no limit, 0.
unsigned ParseTimeLimit(std::wstring_view value) noexcept;

}  // namespace lineprobe
