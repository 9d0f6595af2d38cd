// The system ANSI code page. No best-fit mapping: a character the code page
// cannot hold becomes '?' rather than a look-alike letter.
#include "CodePage.h"

#include <windows.h>

#include <limits>
#include <new>

#include "Failure.h"

namespace lineprobe {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) {
        throw std::bad_alloc();
    }
    return static_cast<int>(size);
}

}  // namespace

std::string ToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = CheckedLength(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                           nullptr, 0, "?", nullptr);
    if (needed <= 0) {
        throw Failure(FailureKind::InvalidProcedureCall);
    }
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, bytes.data(), needed,
                        "?", nullptr);
    return bytes;
}

std::wstring FromAnsi(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int length = CheckedLength(bytes.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        throw Failure(FailureKind::InvalidProcedureCall);
    }
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), needed);
    return text;
}

void AppendFromAnsi(std::string_view bytes, std::wstring& text) {
    if (bytes.empty()) {
        return;
    }
    const int length = CheckedLength(bytes.size());
    const std::size_t at = text.size();
    // No ANSI code page makes more UTF-16 units than it has bytes, so one call
    // fills the room made for it.
    text.resize(at + bytes.size());
    const int made = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data() + at, length);
    if (made <= 0) {
        text.resize(at);
        throw Failure(FailureKind::InvalidProcedureCall);
    }
    text.resize(at + static_cast<std::size_t>(made));
}

bool AnsiIsSingleByte() noexcept {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
}

}  // namespace lineprobe
