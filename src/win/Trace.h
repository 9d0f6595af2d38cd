// The trace of checks, for administrators who want to see where a check's time
// went: off until switched on, written to the debug output that DebugView and
// debuggers show. It never makes a check fail.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lineprobe {

// The switch: a DWORD value other than 0 under the component's own key, in the
// registry view of the DLL's bitness (a 32-bit DLL on 64-bit Windows reads
// HKLM\SOFTWARE\WOW6432Node\comlineprobe), or the environment variable set to 1
// in the process, which is how lineprobe.exe traces its one check.
inline constexpr wchar_t kTraceKey[] = L"SOFTWARE\\comlineprobe";
inline constexpr wchar_t kTraceValue[] = L"Trace";
inline constexpr wchar_t kTraceVariable[] = L"COMLINEPROBE_TRACE";

// Asked for every check, so it only reads the tick count and two atomics; the
// switch itself is looked at no more than once a second, and the value is read
// again only after the key's change notification fired. A change takes effect
// within a second, without restarting the host.
bool TraceSwitchedOn() noexcept;

// The trace of one check; a copy goes with work that outlives its caller.
class CheckTrace {
public:
    CheckTrace() = default;  // off

    // On when the switch says so: numbered, its clock starting now.
    static CheckTrace Begin() noexcept;

    bool On() const noexcept { return m_number != 0; }
    // Milliseconds since the check began.
    double Elapsed() const noexcept;
    // "comlineprobe[N] +T ms: line" to the debug output; nothing when off, and
    // a line without memory to make it is dropped.
    void Write(std::wstring_view line) const noexcept;
    // The same for a line that make() composes, only when the trace is on.
    template <typename Make>
    void WriteMade(Make&& make) const noexcept {
        if (!On()) return;
        try {
            Write(make());
        } catch (...) {
            // Out of memory: the line is dropped, the check goes on.
        }
    }

private:
    std::uint32_t m_number = 0;
    std::int64_t m_start = 0;  // performance counter ticks
};

// "12.3 ms".
std::wstring MillisecondsText(double milliseconds);

}  // namespace lineprobe
