// Sixteen threads run seeded random checks of three servers and three accounts
// against a stand-in for the servers in memory: logons and cancels that take
// their time or are refused, a password that only extends the right one, and
// callers whose time runs out before, during and after their turn. The rules
// of sharing a connection are asserted on every event. The suite runs a few
// seeds; LINEPROBE_SCHEDULE_SECONDS=N runs new seeds for N seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cwctype>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ShareConnections.h"

namespace lineprobe {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kSlack = 100ms;  // load may delay a wake-up, never by this much
constexpr int kThreads = 16;
constexpr int kChecksPerThread = 60;

struct Account {
    const wchar_t* user;
    const wchar_t* password;
};
// The servers know bob by his first password only.
constexpr Account kAccounts[] = {{L"bob", L"Secret1"}, {L"bob", L"Secret12"}, {L"eve", L"pw"}};
constexpr const wchar_t* kServerNames[] = {L"alpha", L"bravo", L"charlie"};  // told apart by their first letter

struct Check {
    int account;
    int server;
    ShareConnections::Deadline deadline;
    Clock::time_point arrived;
    std::mt19937* random;
    int logon = -1;  // the logon whose connection it got
};
thread_local Check* t_check = nullptr;

bool Passed(const Check& check) { return check.deadline && Clock::now() >= *check.deadline; }

class StandinServers final : public ShareServers {
public:
    bool LogOn(std::wstring_view name, std::wstring_view user, std::wstring_view password,
               std::wstring& errorText) override {
        Check& check = *t_check;
        std::unique_lock<std::mutex> hold(m_lock);
        Server& server = m_servers[Index(name)];
        if (check.deadline && check.arrived >= *check.deadline) Violation("a logon for a check whose time was up");
        if (check.deadline && Clock::now() > *check.deadline + kSlack) Violation("a logon long after the deadline");
        if (server.owed) Violation("a second logon while a session holds the server");
        if (server.readers) Violation("a logon cancelled the connection under a reader");
        if (std::wstring_view(kAccounts[check.account].user) != user ||
            std::wstring_view(kAccounts[check.account].password) != password) {
            Violation("a logon with another check's account");
        }
        const int logon = ++m_logons;
        server.owed = true;
        server.logon = logon;
        check.logon = logon;
        if (!Chance(10)) server.connected = -1;  // the cancel before it, unless refused
        int connected = server.connected;
        hold.unlock();
        std::this_thread::sleep_for(Chance(3) ? 300ms : Random(3000) * 1us);
        hold.lock();
        if (connected < 0 && check.account != 1 && !Chance(10)) connected = check.account;
        if (connected != check.account) {
            // Windows refuses a second account of the session at a server with 1219.
            errorText = L"Logon " + std::to_wstring(logon) + L" refused";
            return false;
        }
        server.connected = connected;
        return true;
    }

    bool Cancel(std::wstring_view name) override {
        std::unique_lock<std::mutex> hold(m_lock);
        Server& server = m_servers[Index(name)];
        if (server.readers) Violation("a cancel under a reader");
        if (!server.owed) Violation("a cancel without a logon");
        server.owed = false;
        hold.unlock();
        std::this_thread::sleep_for(Random(2000) * 1us);
        hold.lock();
        if (Chance(10)) return false;
        server.connected = -1;
        return true;
    }

    bool SameServer(std::wstring_view a, std::wstring_view b) const noexcept override { return Index(a) == Index(b); }

    void Waits(std::wstring_view name, std::wstring_view) noexcept override {
        const std::lock_guard<std::mutex> hold(m_lock);
        const Server& server = m_servers[Index(name)];
        m_waiting.push_back({t_check, server.owed ? server.logon : -1, Clock::now()});
    }

    // From the end of the check's Join to its Leave.
    void Took(Check& check, const std::optional<ShareConnections::Use>& use) {
        std::unique_lock<std::mutex> hold(m_lock);
        std::erase_if(m_waiting, [&](const Waiter& w) { return w.check == &check; });
        if (check.deadline && check.logon < 0 && Clock::now() > *check.deadline + kSlack) {
            Violation("a wait that outlived its deadline");
        }
        if (!use) return;
        Server& server = m_servers[check.server];
        if (check.logon < 0) check.logon = server.logon;
        for (const Waiter& w : m_waiting) {
            if (w.check->server == check.server && w.check->account != check.account && w.since < check.arrived &&
                w.heldLogon == check.logon && !Passed(*w.check)) {
                Violation("a check joined the holder while another account waited");
            }
        }
        if (!use->Connected()) {
            const std::wstring expected = L"Logon " + std::to_wstring(check.logon) + L" refused";
            if (use->ErrorText() != expected) Violation("a refusal of another logon");
            const auto [first, fresh] = m_refused.try_emplace(check.logon, Clock::now());
            if (!fresh && check.arrived > first->second) Violation("a refusal reached a check that came after it");
            return;
        }
        if (Passed(check)) return;  // the caller has gone: its work opens nothing
        if (server.connected != check.account) Violation("a read through another account's connection");
        ++server.readers;
        hold.unlock();
        std::this_thread::sleep_for(Random(2000) * 1us);
        hold.lock();
        --server.readers;
    }

    void Finished() {
        for (const Server& server : m_servers) {
            if (server.owed) Violation("a connection never cancelled");
        }
    }

    std::vector<std::string> violations;
    int logons() const { return m_logons; }

private:
    struct Server {
        int connected = -1;  // the account the server holds a connection for
        bool owed = false;   // a session logged on and has not cancelled yet
        int logon = -1;
        int readers = 0;
    };
    struct Waiter {
        const Check* check;
        int heldLogon;  // the connection it waits behind
        Clock::time_point since;
    };

    static int Index(std::wstring_view name) { return std::towlower(name.at(0)) - L'a'; }
    static bool Chance(int percent) { return Random(100) < percent; }
    static int Random(int below) { return std::uniform_int_distribution<int>(0, below - 1)(*t_check->random); }
    void Violation(const char* what) {
        if (violations.size() < 10) violations.push_back(what);
    }

    std::mutex m_lock;
    Server m_servers[3];
    std::vector<Waiter> m_waiting;
    std::map<int, Clock::time_point> m_refused;  // when the first check had each refusal
    int m_logons = 0;
};

// One seed: every thread its own sequence of checks.
int RunSeed(unsigned seed, std::vector<std::string>& violations) {
    ShareConnections connections;
    StandinServers servers;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(seed * kThreads + t);
            auto pick = [&](int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); };
            for (int i = 0; i < kChecksPerThread; ++i) {
                // Mostly bob, whose checks join each other most.
                constexpr int kAccountOf[] = {0, 0, 0, 1, 2, 2};
                Check check{kAccountOf[pick(6)], pick(3), std::nullopt, Clock::now(), &random};
                t_check = &check;
                if (pick(4) != 0) check.deadline = check.arrived + pick(8000) * 1us;
                std::this_thread::sleep_for(pick(3000) * 1us);  // work that starts late
                check.arrived = Clock::now();
                std::wstring name = kServerNames[check.server];
                if (pick(2)) std::transform(name.begin(), name.end(), name.begin(), ::towupper);
                const Account& account = kAccounts[check.account];
                std::optional<ShareConnections::Use> use = connections.Join(
                    name + (pick(2) ? L" " : L""), account.user, account.password, check.deadline, servers);
                servers.Took(check, use);
                std::this_thread::sleep_for(pick(2000) * 1us);
                if (use) use->Leave();
                t_check = nullptr;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    servers.Finished();
    violations = std::move(servers.violations);
    return servers.logons();
}

TEST(ShareSchedule, EveryRuleHoldsOnEveryEvent) {
    const char* asked = std::getenv("LINEPROBE_SCHEDULE_SECONDS");
    const auto until = Clock::now() + std::chrono::seconds(asked ? std::atoi(asked) : 0);
    unsigned seed = asked ? static_cast<unsigned>(std::random_device{}()) : 1;
    int seeds = 0;
    int logons = 0;
    do {
        std::vector<std::string> violations;
        logons += RunSeed(seed, violations);
        ++seeds;
        for (const std::string& violation : violations) ADD_FAILURE() << "seed " << seed << ": " << violation;
        ++seed;
    } while (!HasFailure() && (seeds < 3 || Clock::now() < until));
    std::printf("%d seeds of %d checks, %d logons\n", seeds, kThreads * kChecksPerThread, logons);
}

}  // namespace
}  // namespace lineprobe
