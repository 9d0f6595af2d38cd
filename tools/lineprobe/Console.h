// Text in and out of lineprobe.exe: UTF-16 at a console, UTF-8 in files and pipes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "SecretText.h"

namespace lineprobe::tool {

enum class Stream { Out, Err };

void Write(Stream stream, std::wstring_view text);
void WriteLine(Stream stream, std::wstring_view text);

// The first line of standard input without its line break; nothing when the
// input is empty or closed. At a console the prompt goes to standard error
// and the typed characters are not echoed. Every buffer the line passes
// through is wiped before it is freed or grown.
std::optional<SecretText> ReadSecretLine(std::wstring_view prompt);

}  // namespace lineprobe::tool
