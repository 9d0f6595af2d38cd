// The single-byte character set through which the password codec and the file
// reader turn text into bytes and back: the system ANSI code page on Windows,
// Windows-1252 elsewhere, so that both builds agree on every byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lineprobe {

// The code page to name for the system's ANSI code page (CP_ACP).
inline constexpr unsigned kSystemCodePage = 0;

// A character the code page cannot hold becomes '?'.
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);

// The three below read in the code page named; without a system code page
// there is only Windows-1252, whatever is named.
// text += FromAnsi(bytes), converted straight into the end of `text`.
void AppendFromAnsi(std::string_view bytes, std::wstring& text, unsigned codePage = kSystemCodePage);
// True when every byte is a character of its own, so that text cut anywhere
// converts piece by piece to the same characters as at once.
bool AnsiIsSingleByte(unsigned codePage = kSystemCodePage) noexcept;
// The length of text's bytes, read from its start, without a character that
// their end cuts in two.
std::size_t AnsiWholeCharacters(std::string_view bytes, unsigned codePage) noexcept;

// The length of UTF-8 bytes without a character that their end cuts in two.
inline std::size_t Utf8WholeCharacters(std::string_view bytes) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::size_t start = bytes.size();
    while (start > 0 && bytes.size() - start < 4 && (byte(start - 1) & 0xC0) == 0x80) {
        --start;
    }
    if (start == 0) {
        return bytes.size();
    }
    const unsigned char lead = byte(start - 1);
    const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return bytes.size() - (start - 1) < need ? start - 1 : bytes.size();
}

#ifdef _WIN32
// The same conversions for a given code page, and the arguments that
// WideCharToMultiByte is called with for it: UTF-8 takes neither flags nor a
// default character, since it holds every character.
struct AnsiArguments {
    unsigned long flags;
    const char* defaultChar;
};
AnsiArguments AnsiArgumentsFor(unsigned codePage) noexcept;
std::string ToAnsi(std::wstring_view text, unsigned codePage);
std::wstring FromAnsi(std::string_view bytes, unsigned codePage);
#endif

}  // namespace lineprobe
