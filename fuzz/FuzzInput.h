// Turns fuzzer bytes into wide text, two bytes a character, so every UTF-16 unit can appear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
}
