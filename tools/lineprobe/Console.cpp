#include "Console.h"

#include <windows.h>

#include <iterator>
#include <string>
#include <string_view>

namespace lineprobe::tool {
namespace {

// Enough for any password or PW value; a runaway pipe must not eat the memory.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

HANDLE HandleOf(Stream stream) {
    return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// A line being read: it grows only through AppendWiped and is wiped when it goes.
template <typename Char>
struct LineBuffer {
    std::basic_string<Char> text;
    LineBuffer() = default;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() { WipeString(text); }
};

// Without the line break: CR and LF are single bytes in UTF-8 and in every ANSI code page.
template <typename Char>
std::basic_string_view<Char> WithoutLineBreak(std::basic_string_view<Char> line) {
    while (!line.empty() && (line.back() == Char('\n') || line.back() == Char('\r'))) line.remove_suffix(1);
    return line;
}

SecretText DecodeBytes(std::string_view bytes) {
    if (bytes.empty()) return {};
    // UTF-8 first, as the output is written; bytes that are not UTF-8 are taken in the ANSI code page.
    for (const UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int size = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        if (size <= 0) continue;
        std::wstring text(static_cast<std::size_t>(size), L'\0');
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
        return SecretText(std::move(text));
    }
    return {};
}

class ConsoleModeRestorer {
public:
    ConsoleModeRestorer(HANDLE console, DWORD mode) noexcept : m_console(console), m_mode(mode) {}
    ConsoleModeRestorer(const ConsoleModeRestorer&) = delete;
    ConsoleModeRestorer& operator=(const ConsoleModeRestorer&) = delete;
    ~ConsoleModeRestorer() { SetConsoleMode(m_console, m_mode); }

private:
    HANDLE m_console;
    DWORD m_mode;
};

std::optional<SecretText> ReadConsoleLine(HANDLE input, DWORD mode, std::wstring_view prompt) {
    Write(Stream::Err, prompt);
    LineBuffer<wchar_t> line;
    {
        const ConsoleModeRestorer restore(input, mode);
        SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT |
                                  ENABLE_PROCESSED_INPUT);
        wchar_t buffer[256];
        const WipedOnExit wipe(buffer, sizeof(buffer));
        for (;;) {
            DWORD read = 0;
            if (!ReadConsoleW(input, buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) || read == 0) {
                break;
            }
            AppendWiped(line.text, std::wstring_view(buffer, read));
            if (line.text.find(L'\n') != std::wstring::npos || line.text.size() * sizeof(wchar_t) > kMaxLineBytes) {
                break;
            }
        }
    }
    WriteLine(Stream::Err, L"");
    if (line.text.empty()) return std::nullopt;
    const std::wstring_view first = std::wstring_view(line.text).substr(0, line.text.find(L'\n'));
    return SecretText(std::wstring(WithoutLineBreak(first)));
}

std::optional<SecretText> ReadPipeLine(HANDLE input) {
    LineBuffer<char> bytes;
    char c = 0;
    const WipedOnExit wipe(&c, sizeof(c));
    bool any = false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(input, &c, 1, &read, nullptr) || read == 0) break;
        any = true;
        if (c == '\n' || bytes.text.size() >= kMaxLineBytes) break;
        AppendWiped(bytes.text, std::string_view(&c, 1));
    }
    if (!any) return std::nullopt;
    std::string_view line = bytes.text;
    // Skipped, not erased: erasing moves the text and leaves its last bytes past the end.
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    return DecodeBytes(WithoutLineBreak(line));
}

}  // namespace

void Write(Stream stream, std::wstring_view text) {
    const HANDLE handle = HandleOf(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const WipedOnExit wipe(bytes);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + offset, static_cast<DWORD>(bytes.size() - offset), &written, nullptr) ||
            written == 0) {
            return;  // a closed pipe: nobody is reading any more
        }
        offset += written;
    }
}

void WriteLine(Stream stream, std::wstring_view text) {
    // The text may be a password, as decode-password prints it.
    std::wstring line;
    line.reserve(text.size() + 2);
    const WipedOnExit wipe(line);
    line.append(text).append(L"\r\n");
    Write(stream, line);
}

std::optional<SecretText> ReadSecretLine(std::wstring_view prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return std::nullopt;
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) return ReadConsoleLine(input, mode, prompt);
    return ReadPipeLine(input);
}

}  // namespace lineprobe::tool
