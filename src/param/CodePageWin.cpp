// The system ANSI code page. No best-fit mapping: a character the code page
// cannot hold becomes '?' rather than a look-alike letter.
#include "CodePage.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <new>

#include "Failure.h"
#include "WideText.h"

namespace lineprobe {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) {
        throw std::bad_alloc();
    }
    return static_cast<int>(size);
}

}  // namespace

// With "Use Unicode UTF-8" the ANSI code page is UTF-8, and WideCharToMultiByte
// refuses the best-fit flag and a default character there.
AnsiArguments AnsiArgumentsFor(unsigned codePage) noexcept {
    if (codePage == CP_UTF8) {
        return {0, nullptr};
    }
    return {WC_NO_BEST_FIT_CHARS, "?"};
}

std::string ToAnsi(std::wstring_view text) { return ToAnsi(text, GetACP()); }

std::wstring FromAnsi(std::string_view bytes) { return FromAnsi(bytes, GetACP()); }

std::string ToAnsi(std::wstring_view text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    const int length = CheckedLength(text.size());
    const AnsiArguments arguments = AnsiArgumentsFor(codePage);
    const int needed = WideCharToMultiByte(codePage, arguments.flags, text.data(), length, nullptr, 0,
                                           arguments.defaultChar, nullptr);
    if (needed <= 0) {
        throw Failure(FailureKind::InvalidProcedureCall);
    }
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(codePage, arguments.flags, text.data(), length, bytes.data(), needed, arguments.defaultChar,
                        nullptr);
    return bytes;
}

std::wstring FromAnsi(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return {};
    }
    const int length = CheckedLength(bytes.size());
    const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        throw Failure(FailureKind::InvalidProcedureCall);
    }
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), needed);
    return text;
}

void AppendFromAnsi(std::string_view bytes, std::wstring& text, unsigned codePage) {
    const std::size_t at = text.size();
    // ASCII reads the same in every ANSI code page (no lead byte is below 0x80),
    // so it is widened here, in steps (kWideStep); the first other byte hands
    // the rest to the system in one call.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t step = std::min(kWideStep, bytes.size() - done);
        text.resize(at + done + step);
        const std::size_t run = WidenAsciiRun(bytes.data() + done, step, text.data() + at + done);
        done += run;
        if (run < step) {
            break;
        }
    }
    if (done == bytes.size()) {
        return;
    }
    // No ANSI code page makes more UTF-16 units than it has bytes, so one call
    // fills the room made for it.
    const std::string_view rest = bytes.substr(done);
    const int length = CheckedLength(rest.size());
    text.resize(at + bytes.size());
    const int made = MultiByteToWideChar(codePage, 0, rest.data(), length, text.data() + at + done, length);
    if (made <= 0) {
        text.resize(at);
        throw Failure(FailureKind::InvalidProcedureCall);
    }
    text.resize(at + done + static_cast<std::size_t>(made));
}

bool AnsiIsSingleByte(unsigned codePage) noexcept {
    CPINFO info;
    return GetCPInfo(codePage, &info) && info.MaxCharSize == 1;
}

std::size_t AnsiWholeCharacters(std::string_view bytes, unsigned codePage) noexcept {
    const UINT page = codePage == CP_ACP ? GetACP() : codePage;
    if (page == CP_UTF8) {
        return Utf8WholeCharacters(bytes);
    }
    // A trail byte may have the value of a lead byte: only a reading from the
    // start tells them apart.
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        at += byte >= 0x80 && IsDBCSLeadByteEx(page, byte) ? 2 : 1;
    }
    return at > bytes.size() ? bytes.size() - 1 : bytes.size();
}

}  // namespace lineprobe
