// The connections of a process to its servers' IPC$ shares, shared by the
// checks that log on with the same account. A connection belongs to the logon
// session, not to the thread that made it: one check's cancel would take it
// away from another that reads through it, and Windows refuses a second
// account at a server while the first holds a connection there.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Share.h"

namespace lineprobe {

class ShareConnections {
    struct Session;
    struct Server;

public:
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    // One check's part in a connection, from Join until Leave.
    class Use {
    public:
        Use(Use&& other) noexcept;
        Use& operator=(Use&&) = delete;
        ~Use();

        // The logon's answer, as ConnectShare gave it to whoever made it.
        bool Connected() const noexcept;
        const std::wstring& ErrorText() const noexcept;

        // The last one out cancels the connection and gives the server to the
        // next account: false when that cancel was refused.
        bool Leave();

    private:
        friend class ShareConnections;
        Use(ShareConnections& owner, Server& server, std::shared_ptr<Session> session, const ShareApi& api) noexcept;

        ShareConnections* m_owner;
        const ShareApi* m_api;
        Server* m_server;
        std::shared_ptr<Session> m_session;
    };

    ShareConnections() = default;
    ShareConnections(const ShareConnections&) = delete;
    ShareConnections& operator=(const ShareConnections&) = delete;

    // Takes part in the server's connection for this account: joins one that
    // is made or being made, or makes it (cancel, then logon) once the server
    // is free. An account that holds the server lets a waiting account have it
    // next: later checks of the holder queue behind it. Nothing when the
    // deadline came first; without a deadline it waits as long as it takes.
    // The logon and the cancel go through api.
    std::optional<Use> Join(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                            Deadline deadline, const ShareApi& api = SystemShareApi());

private:
    bool Leave(Server& server, const std::shared_ptr<Session>& session, const ShareApi& api);
    Server& ServerNamed(const std::wstring& name);
    void Drop(Server& server, const std::shared_ptr<Session>& session);

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::list<Server> m_servers;  // only those with a connection or a check waiting for one
};

// The connections of the process's checks, through the system's mpr.
ShareConnections& ServerConnections() noexcept;

}  // namespace lineprobe
