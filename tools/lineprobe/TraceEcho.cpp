#include "TraceEcho.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "Console.h"
#include "Trace.h"

namespace lineprobe::tool {
namespace {

constexpr std::wstring_view kOwnLine = L"comlineprobe[";

// OutputDebugStringW raises the wide form first on Windows; Wine raises only
// the ANSI one. Other debug output goes its usual way.
LONG CALLBACK Echo(EXCEPTION_POINTERS* pointers) noexcept {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if ((record.ExceptionCode != DBG_PRINTEXCEPTION_WIDE_C && record.ExceptionCode != DBG_PRINTEXCEPTION_C) ||
        record.NumberParameters < 2 || record.ExceptionInformation[1] == 0) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    try {
        const std::size_t bound = static_cast<std::size_t>(record.ExceptionInformation[0]);
        std::wstring line;
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
            const auto* text = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
            line.assign(text, wcsnlen(text, bound));
        } else {
            const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
            const int length = static_cast<int>(strnlen(text, bound));
            line.resize(static_cast<std::size_t>(length));
            line.resize(static_cast<std::size_t>(
                MultiByteToWideChar(CP_ACP, 0, text, length, line.data(), length)));
        }
        if (!line.starts_with(kOwnLine)) return EXCEPTION_CONTINUE_SEARCH;
        while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
        WriteLine(Stream::Err, line);
    } catch (...) {
        // A line without memory is dropped, as the component drops it.
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

TraceEcho::TraceEcho() noexcept : m_handler(AddVectoredExceptionHandler(1, &Echo)) {
    SetEnvironmentVariableW(kTraceVariable, L"1");
}

TraceEcho::~TraceEcho() {
    SetEnvironmentVariableW(kTraceVariable, nullptr);
    if (m_handler) RemoveVectoredExceptionHandler(m_handler);
}

}  // namespace lineprobe::tool
