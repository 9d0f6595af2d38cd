// Long runs of the check object in one process. The soak turns through every
// kind of outcome and must leave no handle behind; the stress races checks
// against a writer that rewrites and truncates the status file. The test run
// uses bounded versions; "--full" runs the long ones and prints their figures
// as table rows (scripts/bench collects them).
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "CheckTestSupport.h"
#include "Failure.h"
#include "ParameterString.h"
#include "TestObject.h"

namespace lineprobe {
namespace {

using Microsoft::WRL::ComPtr;
using namespace lineprobe::test;

bool FullRun() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return false;
    bool full = false;
    for (int i = 1; i < count; ++i) full = full || std::wstring_view(arguments[i]) == L"--full";
    LocalFree(arguments);
    return full;
}

// 32-bit programs run under emulation here, several times slower.
constexpr bool kEmulated = sizeof(void*) == 4;

std::size_t SoakChecks() { return FullRun() ? 100000 : kEmulated ? 500 : 5000; }
std::chrono::milliseconds StressTime() { return std::chrono::seconds(FullRun() ? 10 : 2); }

// Committed private memory. Wine leaves PrivateUsage at 0 and counts the same
// memory in PagefileUsage, which Windows keeps equal to it.
std::uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

std::string Narrow(std::wstring_view text) {
    std::string narrow;
    for (const wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

std::wstring ResultText(_lineprobeCom* object) {
    unique_variant result;
    if (FAILED(object->get_ec_result(result.get())) || V_VT(result.get()) != VT_BSTR) return L"<no text result>";
    return std::wstring(V_BSTR(result.get()), SysStringLen(V_BSTR(result.get())));
}

// ---- Soak ---------------------------------------------------------------------------------

struct RotationCase {
    const wchar_t* name;
    std::wstring parameter;
    bool up;
    std::wstring text;    // the whole result text, when it is known in advance
    std::wstring ending;  // else: an "ERR: " text that ends so
};

struct Soaked {
    std::size_t checks = 0;
    std::size_t mismatches = 0;
    std::wstring firstMismatch;
};

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_apartment.Status());
        ASSERT_TRUE(WriteBytes(m_folder / L"up.txt", "STATUS UP since 06:00\r\nall services answer\r\n"));
        ASSERT_TRUE(WriteBytes(m_folder / L"down.txt", "STATUS DOWN\r\nqueue stalled\r\n"));
        ASSERT_TRUE(WriteBytes(m_folder / L"empty.txt", ""));
        const auto local = [&](const wchar_t* file) {
            return BuildParameterString({m_folder / file, L"", L"", L"UP", L"DOWN"});
        };
        m_rotation = {
            {L"up", local(L"up.txt"), true, L"all services answer", L""},
            {L"down", local(L"down.txt"), false, L"queue stalled", L""},
            {L"missing file", local(L"missing.txt"), false,
             L"ERR: " + std::wstring(FailureDescription(FailureKind::FileNotFound)), L""},
            {L"empty file", local(L"empty.txt"), false,
             L"ERR: " + std::wstring(FailureDescription(FailureKind::InputPastEndOfFile)) + L" on line  210", L""},
            {L"refused share",
             BuildParameterString({L"\\\\lineprobe-soak-host\\share\\status.txt", L"monitor", L"secret", L"UP", L"DOWN"}),
             false, L"", L" (authentication)"},
        };
    }

    // Every check puts a fresh parameter value, as a host that re-reads its
    // configuration does; every thousand checks the object itself is replaced.
    Soaked Run(std::size_t checks) {
        Soaked soaked;
        ComPtr<_lineprobeCom> object;
        for (std::size_t i = 0; i < checks; ++i) {
            if (i % 1000 == 0) object = NewTestObject();
            const RotationCase& rotation = m_rotation[i % m_rotation.size()];
            VARIANT_BOOL up = 1;
            HRESULT hr = object ? object->put_ec_parameter(*Text(rotation.parameter).get()) : E_POINTER;
            if (SUCCEEDED(hr)) hr = object->ec_docheck(&up);
            const std::wstring text = object ? ResultText(object.Get()) : L"";
            ++soaked.checks;
            if (hr == S_OK && Matches(rotation, up, text)) continue;
            if (soaked.mismatches++ == 0) {
                soaked.firstMismatch = std::wstring(rotation.name) + L" at check " + std::to_wstring(i) + L": hr " +
                                       HexCode(static_cast<std::uint32_t>(hr)) + L", up " + std::to_wstring(up) + L", text \"" + text + L"\"";
            }
        }
        return soaked;
    }

    static bool Matches(const RotationCase& rotation, VARIANT_BOOL up, const std::wstring& text) {
        if (up != (rotation.up ? VARIANT_TRUE : VARIANT_FALSE)) return false;
        if (!rotation.text.empty()) return text == rotation.text;
        return text.starts_with(L"ERR: ") && text.ends_with(rotation.ending) &&
               text.size() > 5 + rotation.ending.size();
    }

    Apartment m_apartment;
    TempFolder m_folder{L"lineprobe-soak"};
    std::vector<RotationCase> m_rotation;
};

TEST_F(Soak, RotationLeavesNoHandleBehind) {
    // The first rounds load what the system loads once (type library, mpr, message tables).
    const Soaked warmUp = Run(2 * m_rotation.size());
    ASSERT_EQ(warmUp.mismatches, 0u) << Narrow(warmUp.firstMismatch);

    const ULONG handlesBefore = ProcessHandleCount();
    const std::uint64_t bytesBefore = PrivateBytes();
    const Soaked soaked = Run(SoakChecks());
    const ULONG handlesAfter = ProcessHandleCount();
    const std::uint64_t bytesAfter = PrivateBytes();

    EXPECT_EQ(soaked.mismatches, 0u) << "first: " << Narrow(soaked.firstMismatch);
    EXPECT_GT(handlesBefore, 0u) << "the handle count is readable";
    EXPECT_LE(handlesAfter, handlesBefore);

    const long long growth = static_cast<long long>(bytesAfter) - static_cast<long long>(bytesBefore);
    std::printf("soak: %zu checks over %zu configurations, handles %lu -> %lu, private bytes %llu -> %llu (%+lld)\n",
                soaked.checks, m_rotation.size(), handlesBefore, handlesAfter,
                static_cast<unsigned long long>(bytesBefore), static_cast<unsigned long long>(bytesAfter), growth);
    if (FullRun()) {
        const bool met = handlesAfter <= handlesBefore && growth < 64 * 1024;
        std::printf("| soak, %zu checks (up, down, missing, empty, refused share) | handles %lu -> %lu, "
                    "private bytes %+.1f KiB | no handle growth, under 64 KiB | %s |\n",
                    soaked.checks, handlesBefore, handlesAfter, growth / 1024.0, met ? "met" : "missed");
    }
}

// ---- Stress -------------------------------------------------------------------------------

// Generation k of the status file: up unless k is a multiple of 3, a second line
// that names k and whose length changes with k, and line ends and encodings
// that vary too. It stays within one page, so a truncate-then-write shows a
// reader either nothing or the whole generation.
std::wstring FirstLine(unsigned k) {
    return std::wstring(k % 3 == 0 ? L"STATUS DOWN" : L"STATUS UP") + L" generation " + std::to_wstring(k);
}

std::wstring SecondLine(unsigned k) {
    return L"detail " + std::to_wstring(k) + L" " + std::wstring(k * 37 % 1500, L'x');
}

std::string Generation(unsigned k) {
    const std::wstring text = FirstLine(k) + (k % 2 ? L"\r\n" : L"\n") + SecondLine(k) + L"\r\n";
    std::string bytes;
    if (k % 5 == 4) {
        bytes = "\xFF\xFE";
        for (const wchar_t c : text) bytes.append({static_cast<char>(c), '\0'});
        return bytes;
    }
    if (k % 5 == 3) bytes = "\xEF\xBB\xBF";
    for (const wchar_t c : text) bytes.push_back(static_cast<char>(c));
    return bytes;
}

// Truncates and rewrites, recreates, or deletes and creates the file, in turn.
bool WriteGeneration(const std::wstring& path, unsigned k) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD disposition = OPEN_ALWAYS;
    switch (k / 5 % 3) {
    case 1: disposition = CREATE_ALWAYS; break;
    case 2:
        DeleteFileW(path.c_str());
        disposition = CREATE_NEW;
        break;
    default: break;
    }
    const unique_hfile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !SetEndOfFile(file.get())) return false;
    const std::string bytes = Generation(k);
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

struct Stressed {
    std::size_t up = 0;
    std::size_t down = 0;
    std::size_t errors = 0;
    std::size_t mismatches = 0;
    std::wstring firstMismatch;

    std::size_t Checks() const { return up + down + errors + mismatches; }
};

// An up or down result must carry the second line of one generation that was
// written, with the verdict of that same generation's first line.
void Judge(Stressed& tally, HRESULT hr, VARIANT_BOOL up, const std::wstring& text, unsigned newest) {
    const bool judged = [&] {
        if (hr != S_OK) return false;
        if (text.starts_with(L"ERR: ")) return ++tally.errors, up == VARIANT_FALSE;
        if (!text.starts_with(L"detail ")) return false;
        const unsigned k = static_cast<unsigned>(std::wcstoul(text.c_str() + 7, nullptr, 10));
        if (k > newest || text != SecondLine(k)) return false;
        const bool upward = k % 3 != 0;
        ++(upward ? tally.up : tally.down);
        return up == (upward ? VARIANT_TRUE : VARIANT_FALSE);
    }();
    if (!judged && tally.mismatches++ == 0) {
        tally.firstMismatch = L"up " + std::to_wstring(up) + L", text \"" + text.substr(0, 80) + L"\"";
    }
}

class Stress : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_apartment.Status());
        ASSERT_TRUE(WriteGeneration(m_path, 0));
        m_object = NewTestObject();
        ASSERT_TRUE(m_object) << "comlineprobe.dll beside the test program";
        ASSERT_HRESULT_SUCCEEDED(
            m_object->put_ec_parameter(*Text(BuildParameterString({m_path, L"", L"", L"UP", L"DOWN"})).get()));
    }

    // Checks on this thread, the host's, while a second thread rewrites the
    // file as fast as it can. Returns the number of generations written.
    unsigned Round(std::chrono::milliseconds length, Stressed& tally) {
        std::atomic<bool> stop{false};
        unsigned written = 0;
        std::thread writer([&] {
            while (!stop.load()) {
                const unsigned k = m_started.load() + 1;
                m_started.store(k);
                written += WriteGeneration(m_path, k) ? 1 : 0;
            }
        });
        const auto end = std::chrono::steady_clock::now() + length;
        while (std::chrono::steady_clock::now() < end) {
            VARIANT_BOOL up = 1;
            const HRESULT hr = m_object->ec_docheck(&up);
            Judge(tally, hr, up, ResultText(m_object.Get()), m_started.load());
        }
        stop.store(true);
        writer.join();
        return written;
    }

    Apartment m_apartment;
    TempFolder m_folder{L"lineprobe-stress"};
    std::wstring m_path = m_folder / L"status.txt";
    ComPtr<_lineprobeCom> m_object;
    // The newest generation begun, counted on across rounds: the file may still
    // hold one from the round before.
    std::atomic<unsigned> m_started{0};
};

TEST_F(Stress, ChecksAgainstARewrittenFile) {
    // A short round first, so that what a thread loads once is not counted as growth.
    Stressed warmUp;
    Round(std::chrono::milliseconds(200), warmUp);

    const ULONG handlesBefore = ProcessHandleCount();
    Stressed tally;
    const unsigned written = Round(StressTime(), tally);
    const ULONG handlesAfter = ProcessHandleCount();

    EXPECT_EQ(warmUp.mismatches + tally.mismatches, 0u)
        << "first: " << Narrow(warmUp.firstMismatch.empty() ? tally.firstMismatch : warmUp.firstMismatch);
    EXPECT_GT(written, 0u) << "the writer wrote";
    EXPECT_GT(tally.up, 0u) << "some checks saw an up generation";
    EXPECT_GT(tally.down, 0u) << "some checks saw a down generation";
    EXPECT_LE(handlesAfter, handlesBefore);

    const long long seconds = StressTime().count() / 1000;
    std::printf("stress: %lld s, %u generations written, %zu checks: %zu up, %zu down, %zu ERR, %zu wrong; "
                "handles %lu -> %lu\n",
                seconds, written, tally.Checks(), tally.up, tally.down, tally.errors, tally.mismatches,
                handlesBefore, handlesAfter);
    if (FullRun()) {
        const bool met = tally.mismatches == 0 && handlesAfter <= handlesBefore;
        std::printf("| stress, %lld s, a writer rewriting the file %u times | %zu checks: %zu up, %zu down, %zu ERR, "
                    "%zu wrong; handles %lu -> %lu | every result up, down or ERR, second lines as written | %s |\n",
                    seconds, written, tally.Checks(), tally.up, tally.down, tally.errors, tally.mismatches,
                    handlesBefore, handlesAfter, met ? "met" : "missed");
    }
}

}  // namespace
}  // namespace lineprobe
