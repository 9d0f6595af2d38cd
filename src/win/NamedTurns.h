// Turns at what the process shares with all its threads under a name, such as
// the logon session's connection to a server: one holder per name at a time,
// names matched without regard to case, so other names never wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lineprobe {

class NamedTurns {
public:
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    // Held from Take until it goes.
    class Turn {
    public:
        Turn(NamedTurns& turns, std::wstring name) noexcept : m_turns(&turns), m_name(std::move(name)) {}
        Turn(Turn&& other) noexcept : m_turns(std::exchange(other.m_turns, nullptr)), m_name(std::move(other.m_name)) {}
        Turn& operator=(Turn&&) = delete;
        ~Turn();

    private:
        NamedTurns* m_turns;
        std::wstring m_name;
    };

    // Waits for the name's turn, without end when there is no deadline;
    // nothing when the deadline came first.
    std::optional<Turn> Take(std::wstring_view name, Deadline deadline);

private:
    bool Held(std::wstring_view name) const noexcept;

    std::mutex m_lock;
    std::condition_variable m_given;
    std::vector<std::wstring> m_held;
};

}  // namespace lineprobe
