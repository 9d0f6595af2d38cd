#include "Console.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lineprobe::tool {
namespace {

// Enough for any password or PW value; a runaway pipe must not eat the memory.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

HANDLE HandleOf(Stream stream) {
    return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

std::wstring DecodeBytes(const std::string& bytes) {
    if (bytes.empty()) return {};
    // UTF-8 first, as the output is written; bytes that are not UTF-8 are taken in the ANSI code page.
    for (const UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int size = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        if (size <= 0) continue;
        std::wstring text(static_cast<std::size_t>(size), L'\0');
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
        return text;
    }
    return {};
}

void StripLineBreak(std::wstring& line) {
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
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

std::optional<std::wstring> ReadConsoleLine(HANDLE input, DWORD mode, std::wstring_view prompt) {
    Write(Stream::Err, prompt);
    std::wstring line;
    {
        const ConsoleModeRestorer restore(input, mode);
        SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT |
                                  ENABLE_PROCESSED_INPUT);
        wchar_t buffer[256];
        for (;;) {
            DWORD read = 0;
            if (!ReadConsoleW(input, buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) || read == 0) {
                break;
            }
            line.append(buffer, read);
            SecureZeroMemory(buffer, sizeof(buffer));
            if (line.find(L'\n') != std::wstring::npos || line.size() * sizeof(wchar_t) > kMaxLineBytes) break;
        }
    }
    WriteLine(Stream::Err, L"");
    if (line.empty()) return std::nullopt;
    line.erase(std::min(line.find(L'\n'), line.size()));
    StripLineBreak(line);
    return line;
}

std::optional<std::wstring> ReadPipeLine(HANDLE input) {
    std::string bytes;
    char c = 0;
    bool any = false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(input, &c, 1, &read, nullptr) || read == 0) break;
        any = true;
        if (c == '\n' || bytes.size() >= kMaxLineBytes) break;
        bytes += c;
    }
    if (!any) return std::nullopt;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    std::wstring line = DecodeBytes(bytes);
    SecureZeroMemory(bytes.data(), bytes.size());
    StripLineBreak(line);
    return line;
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
    Write(stream, std::wstring(text) + L"\r\n");
}

std::optional<std::wstring> ReadSecretLine(std::wstring_view prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return std::nullopt;
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) return ReadConsoleLine(input, mode, prompt);
    return ReadPipeLine(input);
}

}  // namespace lineprobe::tool
