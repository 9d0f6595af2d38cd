// The connections of a process to its servers' IPC$ shares, shared by the
// checks that log on with the same account. A connection belongs to the logon
// session, not to the thread that made it: one check's cancel would take it
// away from another that reads through it, and a server refuses a second
// account of the session while the first holds a connection there.
#pragma once

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace lineprobe {

// What the sharing asks of the system. Every call comes from the thread of the
// check it is for, never while the sharing's own lock is held.
class ShareServers {
public:
    // Cancels any earlier connection of the process to the server, then logs
    // on with the user name and password. True when connected; false with the
    // reason in errorText otherwise (empty when the system has none).
    virtual bool LogOn(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                       std::wstring& errorText) = 0;
    // True when the connection was cancelled.
    virtual bool Cancel(std::wstring_view server) = 0;
    // Whether two server names name one server.
    virtual bool SameServer(std::wstring_view a, std::wstring_view b) const noexcept = 0;
    // The check begins to wait for the server, which the account with the
    // user name holder holds or is about to hand on.
    virtual void Waits(std::wstring_view /*server*/, std::wstring_view /*holder*/) noexcept {}

protected:
    ~ShareServers() = default;
};

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

        // The logon's answer, as the system gave it to whoever made it.
        bool Connected() const noexcept;
        const std::wstring& ErrorText() const noexcept;
        // False when the check took part in a logon another check made.
        bool MadeLogon() const noexcept { return m_madeLogon; }

        // The last one out cancels the connection and gives the server to the
        // next account: false when that cancel was refused.
        bool Leave();

    private:
        friend class ShareConnections;
        Use(ShareConnections& owner, Server& server, std::shared_ptr<Session> session, ShareServers& servers,
            bool madeLogon) noexcept;

        ShareConnections* m_owner;
        ShareServers* m_servers;
        Server* m_server;
        std::shared_ptr<Session> m_session;
        bool m_madeLogon;
    };

    ShareConnections() noexcept;
    ~ShareConnections();
    ShareConnections(const ShareConnections&) = delete;
    ShareConnections& operator=(const ShareConnections&) = delete;

    // Takes part in the server's connection for this account: joins one that
    // is made or being made, or makes it once the server is free. An account
    // that holds the server lets a waiting account have it next: later checks
    // of the holder queue behind it. Nothing when the deadline comes first, and
    // then this check has made no logon and will cancel nothing; without a
    // deadline it waits as long as it takes.
    std::optional<Use> Join(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                            Deadline deadline, ShareServers& servers);

private:
    bool Leave(Server& server, const std::shared_ptr<Session>& session, ShareServers& servers);
    Server& ServerNamed(const std::wstring& name, const ShareServers& servers);
    void Drop(Server& server, const std::shared_ptr<Session>& session);

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::list<Server> m_servers;  // only those with a connection or a check waiting for one
};

}  // namespace lineprobe
