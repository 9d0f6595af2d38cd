// The single-byte character set through which the password codec and the file
// reader turn text into bytes and back: the system ANSI code page on Windows,
// Windows-1252 elsewhere, so that both builds agree on every byte.
#pragma once

#include <string>
#include <string_view>

namespace lineprobe {

// A character the code page cannot hold becomes '?'.
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);
// text += FromAnsi(bytes), converted straight into the end of `text`.
void AppendFromAnsi(std::string_view bytes, std::wstring& text);
// True when every byte is a character of its own, so that text cut anywhere
// converts piece by piece to the same characters as at once.
bool AnsiIsSingleByte() noexcept;

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
