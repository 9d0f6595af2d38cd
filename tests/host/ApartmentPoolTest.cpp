// A host that polls its items from a pool of threads, each in its own
// single-threaded apartment with its own check objects: local files, files on
// a share and missing files answer as for a single caller, and no handle stays.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Apartment.h"
#include "CheckTestSupport.h"
#include "HostSupport.h"

namespace lineprobe::test {
namespace {

struct PoolCase {
    std::wstring parameter;
    std::wstring expected;
};

const TempFolder& Folder() {
    static const TempFolder folder(L"lineprobe-host-pool");
    return folder;
}

// The share that with-unc-share.sh maps to a local folder.
std::wstring Share() { return Environment(L"LINEPROBE_UNC_SHARE"); }

// Each thread has files of its own, so that an answer meant for another thread shows.
std::vector<PoolCase> CasesFor(int thread) {
    const std::wstring n = std::to_wstring(thread);
    const std::wstring shareFolder = Environment(L"LINEPROBE_UNC_FOLDER");
    WriteBytes(Folder() / (L"up" + n + L".txt"), "service OK\r\nlocal " + std::to_string(thread) + "\r\n");
    WriteBytes(Folder() / (L"down" + n + L".txt"), "service FAIL\nlocal down\n");
    WriteBytes(shareFolder + L"\\pool" + n + L".txt", "OK on share\r\nshared " + std::to_string(thread) + "\r\n");
    const std::wstring words = L"#UP=OK#DOWN=FAIL#";
    return {
        {L"#LOGFILE=" + Folder() / (L"up" + n + L".txt") + L"#USER=#PW=" + words, L"up: local " + n},
        {L"#LOGFILE=" + Folder() / (L"down" + n + L".txt") + L"#USER=#PW=" + words, L"down: local down"},
        {L"#LOGFILE=" + Folder() / (L"missing" + n + L".txt") + L"#USER=#PW=" + words, L"down: ERR: File not found"},
        {L"#LOGFILE=" + Share() + L"\\pool" + n + L".txt#USER=#PW=" + words, L"up: shared " + n},
        {L"#LOGFILE=" + Share() + L"/pool" + n + L".txt#USER=#PW=" + words, L"up: shared " + n},
        {L"#LOGFILE=\\\\?\\UNC\\" + Share().substr(2) + L"\\pool" + n + L".txt#USER=#PW=" + words, L"up: shared " + n},
        {L"#LOGFILE=" + Share() + L"\\gone" + n + L".txt#USER=#PW=" + words, L"down: ERR: File not found"},
        {L"#LOGFILE=" + Folder() / (L"up" + n + L".txt") + L"#USER=#PW=#UP=nothing#DOWN=neither#", L"down: ERR: None found"},
    };
}

// One host thread: its own apartment and two objects that take turns. Returns
// what went wrong, as text, since only the main thread reports to the test.
std::vector<std::wstring> PollItems(int thread, int rounds) {
    std::vector<std::wstring> failures;
    const Apartment apartment;
    if (FAILED(apartment.Status())) return {L"no apartment on thread " + std::to_wstring(thread)};
    const auto first = NewTestObject();
    const auto second = NewTestObject();
    if (!first || !second) return {L"no object on thread " + std::to_wstring(thread)};
    const std::vector<PoolCase> cases = CasesFor(thread);
    for (int round = 0; round < rounds; ++round) {
        for (const PoolCase& c : cases) {
            const std::wstring got = CheckOnce((round % 2 ? second : first).Get(), c.parameter);
            if (got != c.expected) failures.push_back(c.parameter + L" gave [" + got + L"], expected [" + c.expected + L"]");
        }
    }
    return failures;
}

TEST(ApartmentPool, OneHostThreadAnswersEveryItem) {
    ASSERT_FALSE(Share().empty()) << "run through with-unc-share.sh";
    const Apartment apartment;
    const auto failures = PollItems(0, 3);
    EXPECT_TRUE(failures.empty()) << Narrow(failures);
}

// 32-bit Wine, which runs under qemu here, crashes when COM runs on a second
// thread (and a skipped case there upsets GoogleTest after any other thread
// has ended), so the pool runs in the 64-bit build only.
#ifdef _WIN64
// Wine lets go of an ended thread's own handles a moment after the join; a
// handle the checks kept stays, however long the wait (at most two seconds).
ULONG SettledHandleCount(ULONG target) {
    ULONG count = ProcessHandleCount();
    for (int i = 0; i < 100 && count > target; ++i) {
        Sleep(20);
        count = ProcessHandleCount();
    }
    return count;
}

std::vector<std::wstring> RunPool(int threads, int rounds) {
    std::vector<std::vector<std::wstring>> failures(static_cast<std::size_t>(threads));
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back([&failures, i, rounds] { failures[static_cast<std::size_t>(i)] = PollItems(i, rounds); });
    }
    for (std::thread& t : pool) t.join();
    std::vector<std::wstring> all;
    for (const auto& list : failures) all.insert(all.end(), list.begin(), list.end());
    return all;
}

TEST(ApartmentPool, EightHostThreadsAnswerAsOneAndLeaveNoHandle) {
    ASSERT_FALSE(Share().empty()) << "run through with-unc-share.sh";
    // The system keeps some handles once it has been asked, some only after a few threads.
    for (int warmUp = 0; warmUp < 2; ++warmUp) {
        const auto failures = RunPool(8, 2);
        EXPECT_TRUE(failures.empty()) << Narrow(failures);
    }
    const ULONG before = ProcessHandleCount();
    ASSERT_NE(before, 0u);
    const auto failures = RunPool(8, 10);
    EXPECT_TRUE(failures.empty()) << Narrow(failures);
    // The pool runs some 600 checks on 8 new threads: a handle left per check
    // or per thread shows as 8 or more. Wine now and then keeps one handle of
    // its own a while longer, which is not ours.
    constexpr ULONG kSystemSlack = 2;
    EXPECT_LE(SettledHandleCount(before), before + kSystemSlack);
}
#endif

}  // namespace
}  // namespace lineprobe::test
