// Windows-1252 for builds without a system code page. The five bytes that the
// code page leaves undefined map to the C1 controls of the same value, as
// Windows does, so every byte survives a round trip.
#include "CodePage.h"

#include <array>

#include "WideText.h"

namespace lineprobe {
namespace {

constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char ToByte(wchar_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (static_cast<wchar_t>(kHighControls[i]) == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

wchar_t FromByte(unsigned char b) {
    return b >= 0x80 && b < 0xA0 ? static_cast<wchar_t>(kHighControls[b - 0x80]) : static_cast<wchar_t>(b);
}

}  // namespace

std::string ToAnsi(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text) {
        bytes.push_back(ToByte(c));
    }
    return bytes;
}

std::wstring FromAnsi(std::string_view bytes) {
    std::wstring text;
    AppendFromAnsi(bytes, text);
    return text;
}

void AppendFromAnsi(std::string_view bytes, std::wstring& text, unsigned /*codePage*/) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::string_view step = bytes.substr(done, kWideStep);
        const std::size_t at = text.size();
        text.resize(at + step.size());
        wchar_t* const out = text.data() + at;
        for (std::size_t i = 0; i < step.size(); ++i) {
            i += WidenAsciiRun(step.data() + i, step.size() - i, out + i);
            if (i < step.size()) {
                out[i] = FromByte(static_cast<unsigned char>(step[i]));
            }
        }
        done += step.size();
    }
}

bool AnsiIsSingleByte(unsigned /*codePage*/) noexcept {
    return true;
}

std::size_t AnsiWholeCharacters(std::string_view bytes, unsigned /*codePage*/) noexcept {
    return bytes.size();
}

}  // namespace lineprobe
