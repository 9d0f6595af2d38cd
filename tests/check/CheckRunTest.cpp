// The check run in process, with the share connection going through stand-ins
// for mpr: a logon that succeeds (which Wine cannot give) reads the file through
// its UNC path; refusals; the exact platform calls; and no connection or handle
// left behind. Needs the share that with-unc-share.sh sets up.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Base64.h"
#include "CheckRun.h"
#include "CheckTestSupport.h"
#include "MemorySource.h"
#include "Module.h"
#include "Result.h"
#include "UniqueResource.h"
#include "Variant.h"
#include "Share.h"

namespace lineprobe {
namespace {

using namespace lineprobe::test;

struct Recorder {
    std::vector<std::string> calls;
    DWORD addResult = NO_ERROR;
};
Recorder recorder;

std::string Text(const char* text) { return text ? std::string(text) : std::string("<null>"); }

DWORD WINAPI FakeAdd(LPNETRESOURCEA resource, LPCSTR password, LPCSTR user, DWORD flags) {
    recorder.calls.push_back("add " + Text(resource->lpRemoteName) + " password=" + Text(password) +
                             " user=" + Text(user) + " flags=" + std::to_string(flags));
    return recorder.addResult;
}

DWORD WINAPI FakeCancel(LPCSTR name, DWORD flags, BOOL force) {
    recorder.calls.push_back("cancel " + Text(name) + " flags=" + std::to_string(flags) +
                             " force=" + std::to_string(force));
    return NO_ERROR;
}

DWORD WINAPI RecordedFormat(DWORD flags, LPCVOID source, DWORD code, DWORD language, LPSTR buffer, DWORD size,
                            va_list* arguments) {
    recorder.calls.push_back("format " + std::to_string(code) + " flags=" + std::to_string(flags) +
                             " size=" + std::to_string(size));
    return FormatMessageA(flags, source, code, language, buffer, size, arguments);
}

const ShareApi kSeam{&FakeAdd, &FakeCancel, &RecordedFormat};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class ShareRun : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = Recorder{};
        m_share = Environment(L"LINEPROBE_UNC_SHARE");
        m_folder = Environment(L"LINEPROBE_UNC_FOLDER");
        ASSERT_FALSE(m_share.empty()) << "run through with-unc-share.sh";
        m_server = Narrow(m_share.substr(2, m_share.find(L'\\', 2) - 2));
    }

    bool WriteStatus(std::string_view bytes) const { return WriteBytes(m_folder + L"\\status.txt", bytes); }

    // The parameter string for the status file on the share.
    std::wstring Parameter(std::wstring_view file = L"status.txt", std::wstring_view user = L"  bob  ",
                           std::wstring_view password = L" secret ") const {
        return L"#LOGFILE=" + m_share + L"\\" + std::wstring(file) + L"#USER=" + std::wstring(user) + L"#PW=" +
               EncodePassword(password) + L"#UP=OK#DOWN=FAIL#";
    }

    static CheckOutcome Run(const std::wstring& parameter) {
        unique_variant value;
        V_BSTR(value.get()) = MakeBstr(parameter).release();
        V_VT(value.get()) = VT_BSTR;
        return RunCheck(*value.get(), 0, kSeam);
    }

    std::string Cancel() const { return "cancel \\\\" + m_server + "\\IPC$ flags=1 force=0"; }
    std::string Add() const { return "add \\\\" + m_server + "\\ipc$ password=secret user=bob flags=0"; }

    std::wstring m_share;
    std::wstring m_folder;
    std::string m_server;
};

TEST_F(ShareRun, SuccessfulLogonReadsThroughTheShare) {
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nread over the share\r\n"));
    const CheckOutcome result = Run(Parameter());
    EXPECT_TRUE(result.up);
    EXPECT_EQ(result.text, L"read over the share");
    // Cancelled once before and once after; user and password trimmed.
    const std::vector<std::string> expected = {Cancel(), Add(), Cancel()};
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ShareRun, RefusalWithoutMessageStillReadsTheFile) {
    recorder.addResult = 0x0000BEEF;
    ASSERT_TRUE(WriteStatus("STATUS FAIL\r\nread anyway\r\n"));
    const CheckOutcome result = Run(Parameter());
    EXPECT_FALSE(result.up);
    EXPECT_EQ(result.text, L"read anyway");
    const std::vector<std::string> expected = {Cancel(), Add(), "format 48879 flags=4608 size=260", Cancel()};
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ShareRun, RefusalWithMessageEndsTheCheck) {
    recorder.addResult = ERROR_LOGON_FAILURE;
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nnever read\r\n"));
    const CheckOutcome result = Run(Parameter());
    EXPECT_FALSE(result.up);
    EXPECT_EQ(result.text, L"ERR: " + SystemErrorText(ERROR_LOGON_FAILURE) + L" (authentication)");
    EXPECT_NE(SystemErrorText(ERROR_LOGON_FAILURE), L"");
    const std::vector<std::string> expected = {Cancel(), Add(), "format 1326 flags=4608 size=260", Cancel()};
    EXPECT_EQ(recorder.calls, expected);
}

// A failure after the logon still cancels the connection and closes the file.
TEST_F(ShareRun, EmptyFileOnTheShareCancelsTheConnection) {
    ASSERT_TRUE(WriteStatus(""));
    const CheckOutcome result = Run(Parameter());
    EXPECT_FALSE(result.up);
    EXPECT_EQ(result.text, L"ERR: Input past end of file on line  210");
    const std::vector<std::string> expected = {Cancel(), Add(), Cancel()};
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_TRUE(HoldOpen(m_folder + L"\\status.txt", GENERIC_READ | GENERIC_WRITE, 0)) << "the file is closed";
}

TEST_F(ShareRun, StaleFileOnTheShareCancelsTheConnection) {
    const std::uint64_t written = LocalMoment(2025, 7, 14, 6, 30, 0);
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nnever read\r\n"));
    ASSERT_TRUE(SetLastWriteTime(m_folder + L"\\status.txt", written));
    const std::uint64_t before = Now();
    const CheckOutcome result = Run(Parameter() + L"MAXAGE=60#");
    const std::uint64_t after = Now();
    EXPECT_FALSE(result.up);
    EXPECT_TRUE(IsStaleText(result.text, written, before, after, L"2025-07-14 06:30:00")) << Narrow(result.text);
    const std::vector<std::string> expected = {Cancel(), Add(), Cancel()};
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_TRUE(HoldOpen(m_folder + L"\\status.txt", GENERIC_READ | GENERIC_WRITE, 0)) << "the file is closed";
}

TEST_F(ShareRun, InvalidMaxAgeMakesNoConnection) {
    const CheckOutcome result = Run(Parameter() + L"MAXAGE=0#");
    EXPECT_EQ(result.text, L"ERR: MAXAGE must be a whole number of minutes from 1 to 525600");
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(ShareRun, MissingFileOnTheShare) {
    const CheckOutcome result = Run(Parameter(L"missing.txt"));
    EXPECT_EQ(result.text, L"ERR: File not found");
    const std::vector<std::string> expected = {Cancel(), Add(), Cancel()};
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ShareRun, MissingShareOnTheServer) {
    const std::wstring parameter = L"#LOGFILE=\\\\" + std::wstring(m_server.begin(), m_server.end()) +
                                   L"\\no-such-share\\a.txt#USER=bob#PW=#UP=OK#";
    EXPECT_EQ(Run(parameter).text, L"ERR: Path not found");
}

TEST_F(ShareRun, UserWithLocalPathMakesNoPlatformCall) {
    const CheckOutcome result = Run(L"#LOGFILE=" + m_folder + L"\\status.txt#USER=bob#PW=#UP=OK#");
    EXPECT_EQ(result.text, L"ERR: Subscript out of range on line  120");
    EXPECT_TRUE(recorder.calls.empty());
}

// Every path that connects, a thousand times: each connection is cancelled
// again, and the process holds as many handles as before.
TEST_F(ShareRun, NoConnectionOrHandleLeftAfterAThousandRuns) {
    ASSERT_TRUE(WriteBytes(m_folder + L"\\empty.txt", ""));
    ASSERT_TRUE(WriteBytes(m_folder + L"\\status.txt", "nothing\r\nhere\r\n"));
    ASSERT_TRUE(WriteBytes(m_folder + L"\\old.txt", "STATUS OK\r\n"));
    ASSERT_TRUE(SetLastWriteTime(m_folder + L"\\old.txt", Now() - 3600 * 10'000'000ull));
    struct Path {
        std::wstring parameter;
        DWORD addResult;
    };
    const std::vector<Path> paths = {
        {Parameter(L"status.txt"), NO_ERROR},           {Parameter(L"empty.txt"), NO_ERROR},
        {Parameter(L"missing.txt"), NO_ERROR},          {Parameter(L""), NO_ERROR},
        {Parameter(L"status.txt"), ERROR_LOGON_FAILURE}, {Parameter(L"empty.txt"), 0x0000BEEF},
        {Parameter(L"missing.txt"), 0x0000BEEF},       {Parameter(L"old.txt") + L"MAXAGE=1#", NO_ERROR},
    };
    auto runAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            for (const Path& path : paths) {
                recorder.addResult = path.addResult;
                Run(path.parameter);
            }
        }
    };
    runAll(1);
    const ULONG before = ProcessHandleCount();
    ASSERT_NE(before, 0u);
    recorder.calls.clear();
    runAll(1000 / static_cast<int>(paths.size()) + 1);
    EXPECT_EQ(ProcessHandleCount(), before);

    int adds = 0;
    int cancels = 0;
    for (const std::string& call : recorder.calls) {
        if (call.starts_with("add ")) ++adds;
        if (call.starts_with("cancel ")) ++cancels;
    }
    EXPECT_GT(adds, 1000);
    EXPECT_EQ(cancels, 2 * adds) << "one cancel before and one after every connection";
}

// A logon that takes its time, counted on any thread.
std::atomic<int> g_slowAdds{0};
std::atomic<int> g_slowCancels{0};

DWORD WINAPI SlowAdd(LPNETRESOURCEA, LPCSTR, LPCSTR, DWORD) {
    ++g_slowAdds;
    Sleep(1500);
    return NO_ERROR;
}

DWORD WINAPI CountedCancel(LPCSTR, DWORD, BOOL) {
    ++g_slowCancels;
    return NO_ERROR;
}

const ShareApi kSlowSeam{&SlowAdd, &CountedCancel, &FormatMessageA};

// A second check of the server begins while the first one's logon is under way.
TEST_F(ShareRun, ChecksOfOneServerShareTheConnection) {
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nshared\r\n"));
    const std::wstring server(m_server.begin(), m_server.end());
    std::wstring upper = server;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    const std::wstring rest = L"\\share\\status.txt#USER=bob#PW=" + EncodePassword(L"secret") + L"#UP=OK#DOWN=FAIL#";
    struct {
        std::wstring second;
        unsigned limit;
        std::wstring answer;  // empty: any
    } cases[] = {
        // The same account joins, in any form of the server's name: no cancel, no logon of its own.
        {L"#LOGFILE=\\\\" + upper + rest, 0, L"shared"},
        {L"#LOGFILE=\\\\" + server + L" " + rest, 0, L""},
        {L"#LOGFILE=\\\\.\\UNC\\" + server + rest, 5, L"shared"},
        // Another account waits for the connection to go, within its limit; its
        // work makes no logon after its caller has gone and cancels nothing.
        {L"#LOGFILE=" + m_share + L"\\status.txt#USER=eve#PW=#UP=OK#", 1,
         L"ERR: No answer from " + server + L" within 1 second (authentication)"},
    };
    for (const auto& c : cases) {
        g_slowAdds = 0;
        g_slowCancels = 0;
        CheckOutcome first;
        std::thread firstCheck([&] { first = RunCheck(Parameter(), 0, kSlowSeam); });
        while (g_slowAdds == 0) Sleep(5);
        const CheckOutcome second = RunCheck(c.second, c.limit, kSlowSeam);
        firstCheck.join();
        for (int i = 0; i < 500 && module::InUse(); ++i) Sleep(20);
        EXPECT_EQ(first.text, L"shared") << Narrow(c.second);
        EXPECT_TRUE(c.answer.empty() || second.text == c.answer) << Narrow(c.second) << ": " << Narrow(second.text);
        EXPECT_EQ(g_slowAdds.load(), 1) << Narrow(c.second);
        EXPECT_EQ(g_slowCancels.load(), 2) << Narrow(c.second) << ": one before the logon, one by the last out";
    }
}

TEST(TimeLimit, WholeSecondsFromTheHostElseNone) {
    const auto real = [](double value) {
        unique_variant number;
        V_VT(number.get()) = VT_R8;
        V_R8(number.get()) = value;
        return number;
    };
    const auto integer = [](LONG value) {
        unique_variant number;
        V_VT(number.get()) = VT_I4;
        V_I4(number.get()) = value;
        return number;
    };
    unique_variant null;
    V_VT(null.get()) = VT_NULL;
    struct {
        unique_variant value;
        unsigned seconds;
    } cases[] = {
        // The text rule itself is the core's; here only how each kind of value reaches it.
        {integer(30), 30}, {integer(0), 0},   {integer(86401), 0},          {real(30.0), 30},
        {real(1.5), 0},    {TextVariant(L" 20 "), 20}, {std::move(null), 0}, {unique_variant(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeLimitOf(*c.value.get()), c.seconds) << V_VT(c.value.get());
    }
}

// A server that is slow at one stage of the check; what the work did shows
// in the probe, which outlives the run.
struct Probe {
    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};
    std::atomic<int> opens{0};
};

class SlowServer final : public CheckEnvironment {
public:
    SlowServer(std::wstring stage, bool user, std::shared_ptr<Probe> probe)
        : m_stage(std::move(stage)), m_user(user), m_probe(std::move(probe)) {}

    std::wstring ParameterText() override {
        return std::wstring(L"#LOGFILE=\\\\srv\\logs\\a.txt#USER=") + (m_user ? L"bob" : L"") + L"#PW=#UP=OK#DOWN=FAIL#";
    }
    bool ConnectShare(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring&) override {
        Stall(L"logon");
        ++m_probe->connects;
        return true;
    }
    bool DisconnectShare(std::wstring_view) override {
        Stall(L"cancel");
        ++m_probe->disconnects;
        return true;
    }
    std::unique_ptr<ByteSource> OpenFile(std::wstring_view) override {
        Stall(L"open");
        ++m_probe->opens;
        return std::make_unique<SlowFile>(*this);
    }
    std::uint64_t CurrentTime() override { return 0; }
    LocalTime ToLocalTime(std::uint64_t) override { return {}; }

private:
    struct SlowFile final : ByteSource {
        explicit SlowFile(SlowServer& server) : server(server) {}
        std::size_t Read(std::span<char> buffer) override {
            server.Stall(L"read");
            return file.Read(buffer);
        }
        SlowServer& server;
        fakes::MemorySource file{"STATUS OK\r\nin time\r\n"};
    };

    void Stall(std::wstring_view stage) const {
        if (stage == m_stage) Sleep(2500);
    }

    std::wstring m_stage;
    bool m_user;
    std::shared_ptr<Probe> m_probe;
};

// The caller has its answer within the limit; the work it left behind ends on
// its own, cancels a logon that came late, opens nothing more, and holds the
// module count until then.
TEST(TimeLimit, SlowServerAnswersInTimeAndTheWorkEndsAlone) {
    struct {
        const wchar_t* stage;
        bool user;
        const wchar_t* text;
        int opens;
    } cases[] = {
        {L"logon", true, L"ERR: No answer from srv within 1 second (authentication)", 0},
        {L"open", true, L"ERR: No answer from srv within 1 second", 1},
        {L"open", false, L"ERR: No answer from srv within 1 second", 1},
        {L"read", true, L"ERR: No answer from srv within 1 second", 1},
        {L"none", true, L"in time", 1},
        {L"cancel", true, L"in time", 1},  // the verdict is known before a server going down lets go
    };
    for (const auto& c : cases) {
        auto probe = std::make_shared<Probe>();
        const ULONGLONG start = GetTickCount64();
        const CheckOutcome outcome =
            RunAgainstTime(L"srv", 1, [&](const TimeLimit&) { return std::make_unique<SlowServer>(c.stage, c.user, probe); });
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_EQ(outcome.text, c.text) << Narrow(c.stage);
        EXPECT_LT(waited, 2000u) << Narrow(c.stage);
        if (outcome.up) continue;
        EXPECT_TRUE(module::InUse()) << Narrow(c.stage) << ": the work holds the module while it runs";
        for (int i = 0; i < 500 && module::InUse(); ++i) Sleep(20);
        EXPECT_FALSE(module::InUse()) << Narrow(c.stage) << ": the work never ended";
        EXPECT_EQ(probe->connects.load(), c.user ? 1 : 0) << Narrow(c.stage);
        EXPECT_EQ(probe->disconnects.load(), c.user ? 1 : 0) << Narrow(c.stage) << ": the connection is cancelled";
        EXPECT_EQ(probe->opens.load(), c.opens) << Narrow(c.stage) << ": nothing is opened after the caller left";
    }
    for (int i = 0; i < 500 && module::InUse(); ++i) Sleep(20);
}

}  // namespace
}  // namespace lineprobe
