#include "NamedTurns.h"

#include <windows.h>

#include <algorithm>

namespace lineprobe {
namespace {

bool SameName(std::wstring_view a, std::wstring_view b) noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

NamedTurns::Turn::~Turn() {
    if (!m_turns) return;
    {
        const std::lock_guard<std::mutex> hold(m_turns->m_lock);
        auto& held = m_turns->m_held;
        const auto it = std::find_if(held.begin(), held.end(), [&](const std::wstring& n) { return SameName(n, m_name); });
        if (it != held.end()) held.erase(it);
    }
    m_turns->m_given.notify_all();
}

bool NamedTurns::Held(std::wstring_view name) const noexcept {
    return std::any_of(m_held.begin(), m_held.end(), [&](const std::wstring& n) { return SameName(n, name); });
}

std::optional<NamedTurns::Turn> NamedTurns::Take(std::wstring_view name, Deadline deadline) {
    std::wstring own(name);
    std::unique_lock<std::mutex> hold(m_lock);
    const auto free = [&] { return !Held(own); };
    if (!deadline) {
        m_given.wait(hold, free);
    } else if (!m_given.wait_until(hold, *deadline, free)) {
        return std::nullopt;
    }
    m_held.push_back(own);
    return Turn(*this, std::move(own));
}

}  // namespace lineprobe
