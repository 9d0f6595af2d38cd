#include "Trace.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iterator>
#include <mutex>

#include "UniqueResource.h"

namespace lineprobe {
namespace {

constexpr ULONGLONG kLookEveryMs = 1000;

class TraceSwitch {
public:
    bool On() noexcept {
        const ULONGLONG now = GetTickCount64();
        if (now < m_nextLook.load(std::memory_order_relaxed)) return m_on.load(std::memory_order_relaxed);
        // One thread looks; the others go on with what was known.
        const std::unique_lock<std::mutex> hold(m_lock, std::try_to_lock);
        if (!hold) return m_on.load(std::memory_order_relaxed);
        m_on.store(VariableSaysOn() || RegistrySaysOn(), std::memory_order_relaxed);
        m_nextLook.store(now + kLookEveryMs, std::memory_order_relaxed);
        return m_on.load(std::memory_order_relaxed);
    }

private:
    static bool VariableSaysOn() noexcept {
        wchar_t value[4] = {};
        return GetEnvironmentVariableW(kTraceVariable, value, std::size(value)) == 1 && value[0] == L'1';
    }

    // The key may come, change or go at any time: an unchanged watched key
    // costs one zero wait, anything else opens it afresh.
    bool RegistrySaysOn() noexcept {
        if (m_key && m_changed && WaitForSingleObject(m_changed.get(), 0) == WAIT_TIMEOUT) return m_registryOn;
        m_key.reset();
        m_registryOn = false;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTraceKey, 0, KEY_QUERY_VALUE | KEY_NOTIFY, &key) != ERROR_SUCCESS) {
            return false;  // looked for again at the next look
        }
        m_key.reset(key);
        if (!m_changed) m_changed.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        // Without a watch the key is read at every look. The watch also fires
        // when the thread that set it ends: one read too many, nothing worse.
        if (m_changed && (!ResetEvent(m_changed.get()) ||
                          RegNotifyChangeKeyValue(m_key.get(), FALSE,
                                                  REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, m_changed.get(),
                                                  TRUE) != ERROR_SUCCESS)) {
            m_changed.reset();
        }
        DWORD value = 0;
        DWORD type = 0;
        DWORD size = sizeof(value);
        m_registryOn = RegQueryValueExW(m_key.get(), kTraceValue, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                        &size) == ERROR_SUCCESS &&
                       type == REG_DWORD && size == sizeof(value) && value != 0;
        return m_registryOn;
    }

    std::atomic<ULONGLONG> m_nextLook{0};
    std::atomic<bool> m_on{false};
    std::mutex m_lock;  // guards what follows
    unique_hkey m_key;
    unique_handle m_changed;  // set when the key changes
    bool m_registryOn = false;
};

TraceSwitch g_switch;
std::atomic<std::uint32_t> g_checks{0};

std::int64_t Counter() noexcept {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CounterFrequency() noexcept {
    static const double frequency = [] {
        LARGE_INTEGER value{};
        QueryPerformanceFrequency(&value);
        return value.QuadPart > 0 ? static_cast<double>(value.QuadPart) : 1.0;
    }();
    return frequency;
}

}  // namespace

bool TraceSwitchedOn() noexcept { return g_switch.On(); }

CheckTrace CheckTrace::Begin() noexcept {
    CheckTrace trace;
    if (!TraceSwitchedOn()) return trace;
    // 0 means off, so the count skips it when it wraps.
    do {
        trace.m_number = g_checks.fetch_add(1, std::memory_order_relaxed) + 1;
    } while (trace.m_number == 0);
    trace.m_start = Counter();
    return trace;
}

double CheckTrace::Elapsed() const noexcept {
    return static_cast<double>(Counter() - m_start) * 1000.0 / CounterFrequency();
}

void CheckTrace::Write(std::wstring_view line) const noexcept {
    if (!On()) return;
    try {
        wchar_t prefix[64];
        std::swprintf(prefix, std::size(prefix), L"comlineprobe[%lu] +%.1f ms: ", static_cast<unsigned long>(m_number),
                      Elapsed());
        std::wstring text = prefix;
        text += line;
        text += L'\n';
        OutputDebugStringW(text.c_str());
    } catch (...) {
        // Out of memory: the line is dropped, the check goes on.
    }
}

std::wstring MillisecondsText(double milliseconds) {
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"%.1f ms", milliseconds);
    return text;
}

}  // namespace lineprobe
