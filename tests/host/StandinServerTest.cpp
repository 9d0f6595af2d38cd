// Checks of files on a server that with-standin-server.sh stands in for: real
// logons through mpr, the server's share readable only while it is connected.
// A host's threads share one logon session, so their checks of one server must
// never cut each other's connection; a slow server must not hold a host thread
// beyond the host's time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "Apartment.h"
#include "CheckTestSupport.h"
#include "Base64.h"
#include "HostSupport.h"

namespace lineprobe::test {
namespace {

class StandinServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (Environment(L"LINEPROBE_STANDIN_SHARE").empty()) GTEST_SKIP() << "run through with-standin-server.sh";
    }

    // The share's folder carries its offline name again once nothing is connected.
    static bool Disconnected(const std::wstring& server) {
        return GetFileAttributesW(Offline(server).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    static std::wstring Offline(const std::wstring& server) {
        return Environment(L"LINEPROBE_STANDIN_ROOT") + L"\\" + server + L"\\logs.offline";
    }

    static std::wstring Parameter(const std::wstring& file, const std::wstring& user, const std::wstring& password) {
        return L"#LOGFILE=" + file + L"#USER=" + user + L"#PW=" + EncodePassword(password) + L"#UP=OK#DOWN=FAIL#";
    }

    // Waits for the work a check left behind; the DLL says when it may go.
    static bool WorkEnded() {
        const auto canUnload = ServerExport<DllCanUnloadNowFunction>("DllCanUnloadNow");
        for (int i = 0; i < 1000; ++i) {
            if (canUnload() == S_OK) return true;
            Sleep(20);
        }
        return false;
    }
};

// The host's limit ends the wait for a server whose logon takes three seconds;
// the logon that succeeds afterwards is cancelled by the work left behind.
TEST_F(StandinServer, SlowLogonAnswersWithinTheHostsLimit) {
    const std::wstring file = Environment(L"LINEPROBE_STANDIN_SLOW_SHARE") + L"\\state.txt";
    ASSERT_TRUE(WriteBytes(Environment(L"LINEPROBE_STANDIN_SLOW_OFFLINE") + L"\\state.txt", "OK\r\nslow but there\r\n"));
    const Apartment apartment;
    const std::wstring parameter = Parameter(file, L"monitor", L"Secret1");
    {
        const auto object = NewTestObject();
        ASSERT_TRUE(object);
        ASSERT_EQ(object->put_ec_timeout(*Int32(1).get()), S_OK);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(CheckOnce(object.Get(), parameter),
                  L"down: ERR: No answer from slowserver within 1 second (authentication)");
        EXPECT_LT(GetTickCount64() - start, 2000u);
        // The device form names the same server and keeps the same limit.
        EXPECT_EQ(CheckOnce(object.Get(), Parameter(L"\\\\.\\UNC\\slowserver\\logs\\state.txt", L"monitor", L"Secret1")),
                  L"down: ERR: No answer from slowserver within 1 second (authentication)");
    }
    // The object is gone; the work it left holds the DLL until it has ended.
    EXPECT_EQ(ServerExport<DllCanUnloadNowFunction>("DllCanUnloadNow")(), S_FALSE);
    EXPECT_TRUE(WorkEnded());
    EXPECT_TRUE(Disconnected(L"slowserver")) << "the late logon was cancelled";

    // Without a limit the check waits for the logon as long as it takes.
    const auto object = NewTestObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(CheckOnce(object.Get(), parameter), L"up: slow but there");
    EXPECT_TRUE(Disconnected(L"slowserver"));
}

// 32-bit Wine, which runs under qemu here, crashes when COM runs on a second
// thread, so the host threads run in the 64-bit build only.
#ifdef _WIN64
using Account = std::pair<std::wstring, std::wstring>;

// Each host thread checks its own file of the server through its own account,
// all at the same moment, with the host's limit when one is given; the answers
// that are not the thread's own.
std::vector<std::wstring> CheckFromThreads(const std::wstring& server, const std::vector<Account>& accounts,
                                           int rounds, int limit = 0) {
    std::vector<std::vector<std::wstring>> failures(accounts.size());
    std::vector<std::thread> threads;
    // All files first: the folder has another name while a thread is connected.
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        WriteBytes(Environment(L"LINEPROBE_STANDIN_ROOT") + L"\\" + server + L"\\logs.offline\\pool" +
                       std::to_wstring(i) + L".txt",
                   "OK\r\nthread " + std::to_string(i) + "\r\n");
    }
    std::latch start(static_cast<std::ptrdiff_t>(accounts.size()));
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const std::wstring n = std::to_wstring(i);
        threads.emplace_back([&, i, n] {
            const Apartment apartment;
            const auto object = NewTestObject();
            if (object && limit) object->put_ec_timeout(*Int32(limit).get());
            start.arrive_and_wait();
            if (!object) return failures[i].push_back(L"no object on thread " + n);
            const std::wstring parameter = L"#LOGFILE=\\\\" + server + L"\\logs\\pool" + n + L".txt#USER=" +
                                           accounts[i].first + L"#PW=" + EncodePassword(accounts[i].second) +
                                           L"#UP=OK#DOWN=FAIL#";
            for (int round = 0; round < rounds; ++round) {
                const std::wstring got = CheckOnce(object.Get(), parameter);
                if (got != L"up: thread " + n) failures[i].push_back(got);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    std::vector<std::wstring> all;
    for (const auto& list : failures) all.insert(all.end(), list.begin(), list.end());
    return all;
}

TEST_F(StandinServer, HostThreadsOfOneServerNeverCutEachOthersConnection) {
    const std::vector<Account> oneUser(8, {L"monitor", L"Secret1"});
    EXPECT_EQ(Narrow(CheckFromThreads(L"fileserver", oneUser, 10)), "");
    EXPECT_TRUE(Disconnected(L"fileserver"));
    EXPECT_EQ(Narrow(CheckFromThreads(L"fileserver", {{L"monitor", L"Secret1"}, {L"backup", L"Other2"}}, 20)), "");
    EXPECT_TRUE(Disconnected(L"fileserver"));
}

// A server that takes a second for every logon: its sensors answer together
// within the host's limit, each account from one logon.
TEST_F(StandinServer, SensorsOfASlowServerShareOneLogonPerAccount) {
    const std::vector<Account> oneUser(8, {L"monitor", L"Secret1"});
    EXPECT_EQ(Narrow(CheckFromThreads(L"lagfiler", oneUser, 1, 4)), "");
    EXPECT_TRUE(Disconnected(L"lagfiler"));
    std::vector<Account> twoUsers(4, {L"monitor", L"Secret1"});
    twoUsers.resize(8, {L"backup", L"Other2"});
    EXPECT_EQ(Narrow(CheckFromThreads(L"lagfiler", twoUsers, 1, 6)), "");
    EXPECT_TRUE(Disconnected(L"lagfiler"));

    // A refusal answers every check that waited for it. mpr has loaded the stand-in by now.
    const auto logons = reinterpret_cast<LONG(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"standinnp.dll"), "StandinLogons")));
    ASSERT_TRUE(logons);
    const LONG before = logons();
    const std::vector<std::wstring> refused = CheckFromThreads(L"lagfiler", {8, {L"monitor", L"wrong"}}, 1, 4);
    EXPECT_EQ(logons() - before, 1);
    ASSERT_EQ(refused.size(), 8u);
    EXPECT_TRUE(refused[0].ends_with(L" (authentication)") && std::count(refused.begin(), refused.end(), refused[0]) == 8)
        << Narrow(refused);
    EXPECT_TRUE(Disconnected(L"lagfiler"));
}
#endif

}  // namespace
}  // namespace lineprobe::test
