// The lookup on any text and key: the value is always a slice of the text that
// holds no "#", the one-pass lookup finds the same, and a string built from
// fields without "#" reads back exactly.
#include <cstdlib>

#include "FuzzInput.h"
#include "ParameterString.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring input = WideFromBytes(data, size);
    const auto split = input.find(L'\n');
    const std::wstring text = input.substr(0, split);
    const std::wstring key = split == std::wstring::npos ? L"UP" : input.substr(split + 1);

    const std::wstring value = lineprobe::GetParameterField(text, key);
    if (!value.empty() && (text.find(value) == std::wstring::npos || value.find(L'#') != std::wstring::npos)) {
        std::abort();
    }
    const std::wstring_view trimmedKey = lineprobe::TrimmedView(key);
    if (trimmedKey.find_first_of(L"#=") == std::wstring_view::npos) {
        std::wstring_view found;
        lineprobe::FindFieldValues(text, {&trimmedKey, 1}, {&found, 1});
        if (found != value) std::abort();
    }

    std::wstring field = lineprobe::Trim(text);
    for (auto& c : field) {
        if (c == L'#') c = L'_';
    }
    const std::wstring built = lineprobe::BuildParameterString({field, L"u", L"", field, field});
    if (lineprobe::GetParameterField(built, L"LOGFILE") != field ||
        lineprobe::GetParameterField(built, L"USER") != L"u" ||
        lineprobe::GetParameterField(built, L"DOWN") != field) {
        std::abort();
    }
    return 0;
}
