// The one-line configuration of a check: "#KEY=value" fields closed by "#".
#pragma once

#include <string>
#include <string_view>

namespace lineprobe {

// Removes leading and trailing space characters only; tabs and other white space stay.
std::wstring Trim(std::wstring_view text);

// The value of the first field "#key=" (key matched without regard to letter
// case, spaces around it ignored), up to the next "#" or the end of the text;
// empty when the key does not occur. The value is neither trimmed nor re-cased.
std::wstring GetParameterField(std::wstring_view text, std::wstring_view key);

// Whether a field "#key=" begins at the given place, the key matched as the
// lookup matches it. The key is given without "#" and "=".
bool FieldKeyAt(std::wstring_view text, std::size_t at, std::wstring_view key) noexcept;

struct ParameterFields {
    std::wstring logFile;
    std::wstring user;
    std::wstring password;  // plain text; encoded when the string is built
    std::wstring up;
    std::wstring down;
};

// The five fields in their fixed order, every value trimmed, the trimmed password encoded.
std::wstring BuildParameterString(const ParameterFields& fields);

}  // namespace lineprobe
