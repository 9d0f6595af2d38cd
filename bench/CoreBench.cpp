// The portable core without the platform: reading the first two lines of a
// status file held in memory, and the whole check run on it, against a floor
// that only copies blocks and looks for two line ends. Google Benchmark's own
// report goes to stderr; stdout gets a Markdown table of medians and ratios.
//   lineprobe_core_bench [--json=FILE] [Google Benchmark options]
// --json also writes the figures that scripts/bench collects as a JSON object.
// The program's own operator new and delete count the heap bytes held, so that
// what one check run holds at most can be told.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Base64.h"
#include "CheckSteps.h"
#include "ParameterString.h"
#include "StatusFile.h"

namespace lineprobe::bench {

// Heap bytes asked for and not yet given back, and the most of them since the last reset.
std::atomic<std::size_t> g_heldBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

namespace {

constexpr std::size_t kMebibyte = std::size_t{1} << 20;

// Hands out the bytes of a file held elsewhere, without copying them first.
class ViewSource final : public ByteSource {
public:
    explicit ViewSource(std::string_view bytes) noexcept : m_bytes(bytes) {}
    std::size_t Read(std::span<char> buffer) override {
        const std::size_t n = std::min(buffer.size(), m_bytes.size());
        std::memcpy(buffer.data(), m_bytes.data(), n);
        m_bytes.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_bytes;
};

std::string Utf16Le(std::string_view ascii) {
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) bytes.append({c, '\0'});
    return bytes;
}

std::string Status(std::size_t firstLineBytes) {
    std::string first = "STATUS UP ";
    first.resize(firstLineBytes, '.');
    return first + "\r\nall checks green\r\n";
}

struct Input {
    const char* label;
    std::string bytes;
};

const std::vector<Input>& Inputs() {
    static const std::vector<Input> inputs = {
        {"100 B, first line 80 B", Status(80)},
        {"UTF-8 with mark, first line 80 B", "\xEF\xBB\xBF" + Status(80)},
        {"UTF-16 LE, first line 80 B", Utf16Le(Status(80))},
        {"first line 1 MiB", Status(kMebibyte)},
        {"UTF-8 with mark, first line 1 MiB", "\xEF\xBB\xBF" + Status(kMebibyte)},
        {"first line 4 MiB, kept to 1 MiB", Status(4 * kMebibyte)},
    };
    return inputs;
}

// The floor: copy the file block by block, as a read would, until two line ends are found.
void Floor(benchmark::State& state) {
    const std::string& bytes = Inputs()[static_cast<std::size_t>(state.range(0))].bytes;
    std::vector<char> block(LineReader::kDefaultBlockSize);
    for (auto _ : state) {
        ViewSource source(bytes);
        int lineEnds = 0;
        while (lineEnds < 2) {
            const std::size_t got = source.Read(block);
            if (got == 0) break;
            const char* end = block.data() + got;
            for (const char* p = block.data(); lineEnds < 2 && (p = static_cast<const char*>(std::memchr(p, '\n', end - p)));
                 ++p) {
                ++lineEnds;
            }
        }
        benchmark::DoNotOptimize(lineEnds);
    }
}

void ReadTwoLines(benchmark::State& state) {
    const std::string& bytes = Inputs()[static_cast<std::size_t>(state.range(0))].bytes;
    for (auto _ : state) {
        ViewSource source(bytes);
        LineReader reader(source);
        auto first = reader.ReadLine();
        auto second = reader.ReadLine();
        benchmark::DoNotOptimize(first);
        benchmark::DoNotOptimize(second);
    }
}

class MemoryEnvironment final : public CheckEnvironment {
public:
    MemoryEnvironment(std::string_view bytes, const std::wstring& parameter) : m_bytes(bytes), m_parameter(parameter) {}
    // A copy of a text of known length, as the host's value gives it.
    std::wstring ParameterText() override { return m_parameter; }
    bool ConnectShare(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring&) override { return true; }
    bool DisconnectShare(std::wstring_view) override { return true; }
    std::unique_ptr<ByteSource> OpenFile(std::wstring_view) override { return std::make_unique<ViewSource>(m_bytes); }
    std::uint64_t CurrentTime() override { return 0; }
    LocalTime ToLocalTime(std::uint64_t) override { return {}; }

private:
    std::string_view m_bytes;
    const std::wstring& m_parameter;
};

void CheckRun(benchmark::State& state) {
    const std::string& bytes = Inputs()[static_cast<std::size_t>(state.range(0))].bytes;
    const std::wstring parameter = L"#LOGFILE=C:\\status\\state.txt#USER=#PW=c2VjcmV0#UP=UP#DOWN=DOWN#";
    for (auto _ : state) {
        MemoryEnvironment environment(bytes, parameter);
        CheckOutcome outcome = RunCheckSteps(environment);
        if (!outcome.up) state.SkipWithError("the check did not answer up");
        benchmark::DoNotOptimize(outcome);
    }
}

// The most heap bytes one check run of `bytes` holds at once. Asked before any
// other reader runs, so that the read block counts too (later runs reuse the
// block the first one gave back).
std::size_t CheckPeakBytes(std::string_view bytes) {
    const std::wstring parameter = L"#LOGFILE=C:\\status\\state.txt#USER=#PW=c2VjcmV0#UP=UP#DOWN=DOWN#";
    const std::size_t before = g_heldBytes;
    g_peakBytes = before;
    {
        MemoryEnvironment environment(bytes, parameter);
        const CheckOutcome outcome = RunCheckSteps(environment);
        if (!outcome.up) std::fprintf(stderr, "the check did not answer up\n");
    }
    return g_peakBytes - before;
}

// The 10 MiB file of the Windows benchmark with its first line of 1 MiB.
std::string TenMebibytesWithLongLine() {
    std::string bytes = Status(kMebibyte);
    const std::string filler = "filler line of the benchmark status file, never read by a check\r\n";
    while (bytes.size() < 10 * kMebibyte) bytes += filler;
    bytes.resize(10 * kMebibyte);
    return bytes;
}

void ParameterLookup(benchmark::State& state) {
    const std::wstring text = BuildParameterString({L"\\\\srv\\share\\logs\\state.txt", L"monitor", L"secret", L"UP", L"DOWN"});
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetParameterField(text, L"DOWN"));
    }
}

void PasswordDecode(benchmark::State& state) {
    const std::wstring encoded = EncodePassword(L"a password of some length");
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodePassword(encoded));
    }
}

void Register() {
    const auto each = [](benchmark::internal::Benchmark* b) {
        b->DenseRange(0, static_cast<int>(Inputs().size()) - 1)->Repetitions(9)->ReportAggregatesOnly(true)->MinTime(0.05);
    };
    each(benchmark::RegisterBenchmark("floor", Floor));
    each(benchmark::RegisterBenchmark("read_two_lines", ReadTwoLines));
    each(benchmark::RegisterBenchmark("check_run", CheckRun));
    for (auto* b : {benchmark::RegisterBenchmark("parameter_lookup", ParameterLookup),
                    benchmark::RegisterBenchmark("password_decode", PasswordDecode)}) {
        b->Repetitions(9)->ReportAggregatesOnly(true)->MinTime(0.05);
    }
}

// Keeps the console report and remembers every median, in nanoseconds, by name.
class MedianCollector final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            const double toNanoseconds = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            medians[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime() * toNanoseconds;
        }
    }
    std::map<std::string, double> medians;
};

std::string Nanoseconds(double ns) {
    char text[32];
    std::snprintf(text, sizeof text, ns < 1e4 ? "%.0f ns" : ns < 1e7 ? "%.1f us" : "%.1f ms",
                  ns < 1e4 ? ns : ns < 1e7 ? ns / 1e3 : ns / 1e6);
    return text;
}

void PrintTable(const std::map<std::string, double>& medians, std::size_t checkBytes) {
    const auto at = [&](const std::string& name) {
        const auto found = medians.find(name);
        return found == medians.end() ? 0.0 : found->second;
    };
    std::printf("### Portable core, native (g++ -O2, no sanitizers)\n\n");
    std::printf("The floor copies the bytes block by block and looks for two line ends. "
                "Ratios are to the floor on the same input (medians of 9 repetitions).\n\n");
    std::printf("| status file in memory | floor | LineReader, two lines | check run (steps, no platform) |\n"
                "|---|---|---|---|\n");
    for (std::size_t i = 0; i < Inputs().size(); ++i) {
        const std::string arg = std::to_string(i);
        const double floor = at("floor/" + arg);
        const auto ratio = [&](double value) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", floor > 0 ? value / floor : 0.0);
            return std::string(text);
        };
        std::printf("| %s | %s | %s | %s |\n", Inputs()[i].label, Nanoseconds(floor).c_str(),
                    ratio(at("read_two_lines/" + arg)).c_str(), ratio(at("check_run/" + arg)).c_str());
    }
    std::printf("\n| operation | median |\n|---|---|\n");
    std::printf("| GetParameterField, one key of a full parameter string | %s |\n",
                Nanoseconds(at("parameter_lookup/")).c_str());
    std::printf("| DecodePassword, 25 characters | %s |\n", Nanoseconds(at("password_decode/")).c_str());
    std::printf("\n| heap | bytes | target | verdict |\n|---|---|---|---|\n");
    std::printf("| most held at once by a check run of the 10 MiB file with a first line of 1 MiB | %zu "
                "| at most 262144 | %s |\n",
                checkBytes, checkBytes <= 262144 ? "met" : "missed");
}

// Ratios to the floor on the same input, and nanoseconds for the lookups.
bool WriteJson(const std::map<std::string, double>& medians, std::size_t checkBytes, const char* path) {
    const auto at = [&](const std::string& name) {
        const auto found = medians.find(name);
        return found == medians.end() ? 0.0 : found->second;
    };
    const auto ratio = [&](const char* name, int input) {
        const double floor = at("floor/" + std::to_string(input));
        return floor > 0 ? at(name + ("/" + std::to_string(input))) / floor : 0.0;
    };
    std::FILE* file = std::fopen(path, "w");
    if (!file) return false;
    std::fprintf(file,
                 "{\"check_run_100b\": %.3f, \"reader_100b\": %.3f, \"reader_1mib_ansi\": %.3f, "
                 "\"reader_1mib_utf8\": %.3f, \"field_lookup_ns\": %.1f, \"decode_password_ns\": %.1f, "
                 "\"check_bytes_1mib_line\": %zu}\n",
                 ratio("check_run", 0), ratio("read_two_lines", 0), ratio("read_two_lines", 3),
                 ratio("read_two_lines", 4), at("parameter_lookup/"), at("password_decode/"), checkBytes);
    return std::fclose(file) == 0;
}

}  // namespace
}  // namespace lineprobe::bench

// Each block carries its size in front of it, so that delete knows what it gives back.
namespace {
constexpr std::size_t kHeader = alignof(std::max_align_t);
}

// Not inlined: GCC would take the free() below for a mismatch with the new that made the block.
__attribute__((noinline)) void* operator new(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) throw std::bad_alloc();
    std::memcpy(block, &size, sizeof size);
    const std::size_t held = lineprobe::bench::g_heldBytes += size;
    std::size_t peak = lineprobe::bench::g_peakBytes;
    while (held > peak && !lineprobe::bench::g_peakBytes.compare_exchange_weak(peak, held)) {
    }
    return block + kHeader;
}

__attribute__((noinline)) void operator delete(void* pointer) noexcept {
    if (!pointer) return;
    unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    lineprobe::bench::g_heldBytes -= size;
    std::free(block);
}

void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }

int main(int argc, char** argv) {
    // Our own option goes before Google Benchmark sees the rest.
    const char* json = nullptr;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--json=", 7) == 0) {
            json = argv[i] + 7;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    // First, while no reader has left a block behind.
    const std::size_t checkBytes =
        lineprobe::bench::CheckPeakBytes(lineprobe::bench::TenMebibytesWithLongLine());
    lineprobe::bench::Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    lineprobe::bench::MedianCollector collector;
    collector.SetOutputStream(&std::cerr);
    collector.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    lineprobe::bench::PrintTable(collector.medians, checkBytes);
    if (json && !lineprobe::bench::WriteJson(collector.medians, checkBytes, json)) {
        std::fprintf(stderr, "cannot write %s\n", json);
        return 1;
    }
    return 0;
}
