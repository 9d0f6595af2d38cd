// Text in and out of lineprobe.exe: UTF-16 at a console, UTF-8 in files and pipes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lineprobe::tool {

enum class Stream { Out, Err };

void Write(Stream stream, std::wstring_view text);
void WriteLine(Stream stream, std::wstring_view text);

// The first line of standard input without its line break; nothing when the
// input is empty or closed. At a console the prompt goes to standard error
// and the typed characters are not echoed.
std::optional<std::wstring> ReadSecretLine(std::wstring_view prompt);

}  // namespace lineprobe::tool
