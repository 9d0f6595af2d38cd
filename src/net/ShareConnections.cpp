#include "ShareConnections.h"

#include <algorithm>
#include <utility>

#include "ParameterString.h"
#include "SecretText.h"
#include "SharePath.h"

namespace lineprobe {
namespace {

using Clock = std::chrono::steady_clock;

// Equal texts, in a time that does not tell how much of them matched.
bool SameSecret(std::wstring_view a, std::wstring_view b) noexcept {
    std::size_t difference = a.size() ^ b.size();
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        difference |= static_cast<std::size_t>(a[i] ^ b[i]);
    }
    return difference == 0;
}

bool Passed(const ShareConnections::Deadline& deadline) noexcept { return deadline && Clock::now() >= *deadline; }

}  // namespace

// One account's connection to a server, from the first cancel to the last.
struct ShareConnections::Session {
    enum class State { Waiting, LoggingOn, LoggedOn, Closing };

    // The logon trims both, so texts that differ only in spaces are one account.
    Session(std::wstring_view user, std::wstring_view password)
        : user(TrimmedView(user)), password(std::wstring(TrimmedView(password))) {}

    // Both are compared whole, so the time taken tells neither which differed nor where.
    bool Holds(std::wstring_view otherUser, std::wstring_view otherPassword) const noexcept {
        const bool sameUser = SameSecret(user, TrimmedView(otherUser));
        const bool samePassword = SameSecret(password.View(), TrimmedView(otherPassword));
        return sameUser & samePassword;
    }

    // A refused logon is not joined: a later check tries again once its checks have gone.
    bool Joinable() const noexcept {
        return state == State::Waiting || state == State::LoggingOn || (state == State::LoggedOn && connected);
    }

    std::wstring user;
    SecretText password;
    State state = State::Waiting;
    bool connected = false;
    std::wstring errorText;
    unsigned users = 0;
};

struct ShareConnections::Server {
    explicit Server(std::wstring name) noexcept : name(std::move(name)) {}

    const std::wstring name;
    // The front one holds the server; the others wait for it in turn.
    std::list<std::shared_ptr<Session>> queue;
};

ShareConnections::ShareConnections() noexcept = default;
ShareConnections::~ShareConnections() = default;

ShareConnections::Use::Use(ShareConnections& owner, Server& server, std::shared_ptr<Session> session,
                           ShareServers& servers, bool madeLogon) noexcept
    : m_owner(&owner), m_servers(&servers), m_server(&server), m_session(std::move(session)), m_madeLogon(madeLogon) {}

ShareConnections::Use::Use(Use&& other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr)),
      m_servers(other.m_servers),
      m_server(other.m_server),
      m_session(std::move(other.m_session)),
      m_madeLogon(other.m_madeLogon) {}

ShareConnections::Use::~Use() {
    try {
        Leave();
    } catch (...) {
        // The cancel is owed to the server, not to anyone waiting for an answer.
    }
}

bool ShareConnections::Use::Connected() const noexcept { return m_session->connected; }

const std::wstring& ShareConnections::Use::ErrorText() const noexcept { return m_session->errorText; }

bool ShareConnections::Use::Leave() {
    ShareConnections* const owner = std::exchange(m_owner, nullptr);
    return owner && owner->Leave(*m_server, m_session, *m_servers);
}

std::optional<ShareConnections::Use> ShareConnections::Join(std::wstring_view serverText, std::wstring_view user,
                                                             std::wstring_view password, Deadline deadline,
                                                             ShareServers& servers) {
    // Work whose caller has gone takes no part: a logon now would be for nobody
    // and keep other accounts waiting.
    if (Passed(deadline)) return std::nullopt;
    const std::wstring name = ServerName(serverText);
    auto fresh = std::make_shared<Session>(user, password);
    std::unique_lock<std::mutex> hold(m_lock);
    Server& server = ServerNamed(name, servers);
    // The holder is joined only while no other account waits; a waiting one
    // of the same account is joined where it stands.
    const auto waiting = server.queue.size() > 1 ? std::next(server.queue.begin()) : server.queue.begin();
    const auto same = std::find_if(waiting, server.queue.end(), [&](const std::shared_ptr<Session>& s) {
        return s->Joinable() && s->Holds(user, password);
    });
    std::shared_ptr<Session> session;
    if (same != server.queue.end()) {
        session = *same;
    } else {
        try {
            server.queue.push_back(fresh);
        } catch (...) {
            if (server.queue.empty()) m_servers.remove_if([&](const Server& s) { return &s == &server; });
            throw;
        }
        session = std::move(fresh);
    }
    ++session->users;

    const auto giveUp = [&] {
        // Only a session that never logged on can lose its last check here:
        // one that did is held by whoever made the logon.
        if (--session->users == 0) Drop(server, session);
        return std::nullopt;
    };
    bool told = false;
    while (server.queue.front() != session || session->state == Session::State::LoggingOn) {
        if (!told && server.queue.front() != session) {
            told = true;
            std::wstring holder;
            try {
                holder = server.queue.front()->user;
            } catch (...) {
                // Without memory for the name, the wait goes unsaid.
            }
            hold.unlock();
            servers.Waits(name, holder);
            hold.lock();
            continue;
        }
        if (!deadline) {
            m_changed.wait(hold);
        } else if (Passed(deadline)) {
            return giveUp();
        } else {
            m_changed.wait_until(hold, *deadline);
        }
    }
    if (session->state != Session::State::Waiting) {
        return Use(*this, server, std::move(session), servers, false);
    }
    // The server is free, but not for a check whose time is up.
    if (Passed(deadline)) return giveUp();
    session->state = Session::State::LoggingOn;
    hold.unlock();
    bool connected = false;
    std::wstring errorText;
    try {
        connected = servers.LogOn(name, user, password, errorText);
    } catch (...) {
        // Without memory for the reason, the logon counts as refused without one.
    }
    hold.lock();
    session->connected = connected;
    session->errorText = std::move(errorText);
    session->state = Session::State::LoggedOn;
    m_changed.notify_all();
    return Use(*this, server, std::move(session), servers, true);
}

bool ShareConnections::Leave(Server& server, const std::shared_ptr<Session>& session, ShareServers& servers) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (--session->users != 0) return true;
    // The server stays this account's until the cancel has returned.
    session->state = Session::State::Closing;
    hold.unlock();
    struct Dropped {
        ShareConnections& owner;
        std::unique_lock<std::mutex>& hold;
        Server& server;
        const std::shared_ptr<Session>& session;
        ~Dropped() {
            hold.lock();
            owner.Drop(server, session);
        }
    } dropped{*this, hold, server, session};
    return servers.Cancel(server.name);
}

ShareConnections::Server& ShareConnections::ServerNamed(const std::wstring& name, const ShareServers& servers) {
    const auto found = std::find_if(m_servers.begin(), m_servers.end(),
                                    [&](const Server& s) { return servers.SameServer(s.name, name); });
    return found != m_servers.end() ? *found : m_servers.emplace_back(name);
}

// Called with the lock held.
void ShareConnections::Drop(Server& server, const std::shared_ptr<Session>& session) {
    server.queue.remove(session);
    if (server.queue.empty()) {
        m_servers.remove_if([&](const Server& s) { return &s == &server; });
    }
    m_changed.notify_all();
}

}  // namespace lineprobe
