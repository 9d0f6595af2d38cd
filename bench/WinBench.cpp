// What one check costs, as ratios to the floor: a plain Win32 function that
// opens the same file, reads until it has two lines and closes it, measured in
// the same run. Every figure is the median of interleaved rounds, so a busy
// machine slows all cases alike. Prints a Markdown table; progress goes to stderr.
//   lineprobe_bench [--quick] [--json FILE]
// --json also writes the figures that scripts/bench collects as a JSON object.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "CheckTestSupport.h"
#include "SystemTool.h"
#include "TestObject.h"
#include "Trace.h"

namespace lineprobe::bench {
namespace {

using Microsoft::WRL::ComPtr;
using namespace lineprobe::test;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::size_t kMebibyte = std::size_t{1} << 20;

// ---- Timing -------------------------------------------------------------------------------

double Seconds() {
    static const double tick = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1.0 / static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * tick;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One measured operation; false from `once` means it did not do what it should.
struct Case {
    Case(std::string caseName, std::function<bool()> call) : name(std::move(caseName)), once(std::move(call)) {}

    std::string name;
    std::function<bool()> once;
    std::size_t batch = 1;
    std::vector<double> samples;  // seconds per call, one per round
    bool failed = false;

    double PerCall() const { return Median(samples); }
};

// Sizes each case's batch to about `target` seconds, then times every case once
// per round, round after round, so that a slow moment of the machine spreads
// over all cases instead of spoiling one.
void Measure(std::vector<Case*> cases, int rounds, double target) {
    for (Case* c : cases) {
        const double start = Seconds();
        int calls = 0;
        do {
            c->failed = !c->once() || c->failed;
            ++calls;
        } while (Seconds() - start < target / 4 && calls < 1000);
        const double each = (Seconds() - start) / calls;
        c->batch = std::max<std::size_t>(1, static_cast<std::size_t>(target / std::max(each, 1e-9)));
    }
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another case, so no case always follows the same one.
        std::rotate(cases.begin(), cases.begin() + 1, cases.end());
        for (Case* c : cases) {
            const double start = Seconds();
            for (std::size_t i = 0; i < c->batch; ++i) c->failed = !c->once() || c->failed;
            c->samples.push_back((Seconds() - start) / static_cast<double>(c->batch));
        }
        std::fprintf(stderr, "\rround %d of %d", round + 1, rounds);
    }
    std::fprintf(stderr, "\n");
}

// ---- Files --------------------------------------------------------------------------------

class BenchFolder {
public:
    BenchFolder() {
        std::wstring base(MAX_PATH + 1, L'\0');
        base.resize(GetTempPathW(static_cast<DWORD>(base.size()), base.data()));
        m_path = base + L"lineprobe-bench-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    ~BenchFolder() {
        for (const std::wstring& file : m_files) DeleteFileW(file.c_str());
        RemoveDirectoryW(m_path.c_str());
    }

    // A file of `size` bytes that starts with `start`; past `filled` bytes it is
    // a hole (sparse), before that it holds short text lines.
    std::wstring Create(const wchar_t* name, const std::string& start, std::uint64_t filled, std::uint64_t size) {
        const std::wstring path = m_path + L"\\" + name;
        m_files.push_back(path);
        const unique_hfile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return {};
        DWORD returned = 0;
        if (filled < size) DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        std::string bytes = start;
        const std::string filler = "filler line of the benchmark status file, never read by a check\r\n";
        while (bytes.size() < filled) bytes += filler;
        bytes.resize(static_cast<std::size_t>(std::max<std::uint64_t>(filled, start.size())));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return {};
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) return {};
        return path;
    }

    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    std::vector<std::wstring> m_files;
};

// The floor: what any reader of a file's first two lines has to do.
bool FloorRead(const std::wstring& path) {
    static char block[64 * 1024];
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    int lineEnds = 0;
    DWORD got = 0;
    while (lineEnds < 2 && ReadFile(file.get(), block, sizeof block, &got, nullptr) && got > 0) {
        const char* end = block + got;
        for (const char* p = block; lineEnds < 2 && (p = static_cast<const char*>(std::memchr(p, '\n', end - p)));
             ++p) {
            ++lineEnds;
        }
    }
    return lineEnds == 2;
}

// ---- The check object ---------------------------------------------------------------------

// 16 characters: with the 80-byte first line and two line ends, the small file holds 100 bytes.
constexpr const wchar_t* kSecondLine = L"all checks green";

std::string StatusStart(std::size_t firstLineBytes) {
    std::string first = "STATUS UP ";
    first.resize(firstLineBytes, '.');
    return first + "\r\n" + std::string(kSecondLine, kSecondLine + std::wcslen(kSecondLine)) + "\r\n";
}

std::wstring Parameter(const std::wstring& path) { return L"#LOGFILE=" + path + L"#USER=#PW=#UP=UP#DOWN=DOWN#"; }

bool IsUpWithSecondLine(_lineprobeCom* object) {
    unique_variant result;
    return SUCCEEDED(object->get_ec_result(result.get())) && V_VT(result.get()) == VT_BSTR &&
           std::wstring_view(V_BSTR(result.get()), SysStringLen(V_BSTR(result.get()))) == kSecondLine;
}

bool CheckThroughVtable(_lineprobeCom* object) {
    VARIANT_BOOL up = VARIANT_FALSE;
    return object->ec_docheck(&up) == S_OK && up == VARIANT_TRUE;
}

bool CheckThroughInvoke(_lineprobeCom* object, DISPID id) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    unique_variant result;
    const HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.get(), nullptr, nullptr);
    return hr == S_OK && V_VT(result.get()) == VT_BOOL && V_BOOL(result.get()) == VARIANT_TRUE;
}

// LoadLibrary to the first answer, in a process where the DLL is not loaded;
// the DLL is unloaded again afterwards. Nothing when it cannot be measured.
std::optional<double> ColdCheck(const std::wstring& parameter) {
    const double start = Seconds();
    unique_hmodule module(LoadLibraryW(ServerPath().c_str()));
    if (!module) return std::nullopt;
    const auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ComPtr<_lineprobeCom> object;
    if (!getClassObject || FAILED(getClassObject(CLSID_lineprobeCom, IID_IClassFactory, &factory)) ||
        FAILED(factory->CreateInstance(nullptr, IID__lineprobeCom, &object)) ||
        FAILED(object->put_ec_parameter(*Text(parameter).get())) || !CheckThroughVtable(object.Get())) {
        return std::nullopt;
    }
    const double elapsed = Seconds() - start;
    object.Reset();
    factory.Reset();
    module.reset();
    if (GetModuleHandleW(ServerPath().c_str())) return std::nullopt;  // it stayed loaded: the next load is warm
    return elapsed;
}

// ---- VBScript under cscript ---------------------------------------------------------------

// The class registered with regsvr32 for the life of the scope.
class Registration {
public:
    Registration() {
        m_registered = RunTool(SystemTool(L"regsvr32.exe"), Arguments(L"")).exitCode == 0;
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration() {
        if (m_registered) RunTool(SystemTool(L"regsvr32.exe"), Arguments(L"/u "));
    }
    bool Registered() const { return m_registered; }

private:
    static std::wstring Arguments(const wchar_t* option) {
        return std::wstring(L"/s ") + option + L"\"" + ServerPath() + L"\"";
    }
    bool m_registered = false;
};

// Seconds per check of one run of the script over `checks` checks, as the
// script's own Timer measured it.
std::optional<double> ScriptRun(const wchar_t* script, const std::wstring& file, int checks) {
    const std::wstring arguments =
        L"//nologo \"" + ProgramFolder() + script + L"\" \"" + file + L"\" " + std::to_wstring(checks);
    const ToolRun run = RunTool(SystemTool(L"cscript.exe"), arguments, 600000);
    if (run.exitCode != 0) return std::nullopt;
    const std::size_t at = run.output.find("elapsed ms ");
    if (at == std::string::npos) return std::nullopt;
    return std::strtod(run.output.c_str() + at + 11, nullptr) / 1000.0 / checks;
}

// ---- Report -------------------------------------------------------------------------------

std::string Ratio(double value, double floor) {
    const double ratio = value / floor;
    char text[32];
    std::snprintf(text, sizeof text, ratio >= 10 ? "%.1f" : ratio >= 0.1 ? "%.2f" : "%.3f", ratio);
    return text;
}

std::string Micros(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 1e-3 ? "%.1f us" : "%.2f ms", seconds < 1e-3 ? seconds * 1e6 : seconds * 1e3);
    return text;
}

// A check of a file on the stand-in file server (scripts/bench runs the
// benchmark under with-standin-server.sh): cancel, logon, open, read, cancel.
// Empty when no stand-in runs.
ComPtr<_lineprobeCom> ShareObject(bool limited) {
    const std::wstring offline = Environment(L"LINEPROBE_STANDIN_OFFLINE");
    if (offline.empty()) return nullptr;
    if (!WriteBytes(offline + L"\\bench.txt", StatusStart(80))) return nullptr;
    ComPtr<_lineprobeCom> object = NewTestObject();
    const std::wstring parameter = L"#LOGFILE=" + Environment(L"LINEPROBE_STANDIN_SHARE") +
                                   L"\\bench.txt#USER=monitor#PW=U2VjcmV0MQ==#UP=UP#DOWN=DOWN#";
    if (!object || FAILED(object->put_ec_parameter(*Text(parameter).get())) ||
        (limited && FAILED(object->put_ec_timeout(*Int32(30).get()))) || !CheckThroughVtable(object.Get()) ||
        !IsUpWithSecondLine(object.Get())) {
        return nullptr;
    }
    return object;
}

// Host threads that each check the same file on the stand-in server with an
// object of their own: a call lets all of them check at the same moment and
// waits for every answer. Empty when no stand-in runs.
class ShareSensors {
public:
    explicit ShareSensors(std::size_t count) : m_ready(count) {
        for (std::size_t i = 0; i < count; ++i) m_threads.emplace_back([this] { Serve(); });
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold, [&] { return m_setUp == m_threads.size(); });
    }
    ShareSensors(const ShareSensors&) = delete;
    ShareSensors& operator=(const ShareSensors&) = delete;
    ~ShareSensors() {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& t : m_threads) t.join();
    }

    bool Ready() const { return m_ready == m_threads.size(); }

    // True when every sensor answered up.
    bool CheckAll() {
        std::unique_lock<std::mutex> hold(m_lock);
        ++m_round;
        m_answered = 0;
        m_allUp = true;
        m_changed.notify_all();
        m_changed.wait(hold, [&] { return m_answered == m_threads.size(); });
        return m_allUp;
    }

private:
    void Serve() {
        const Apartment apartment;
        ComPtr<_lineprobeCom> object;
        {
            // One at a time: the share's folder is written while nothing is connected.
            const std::lock_guard<std::mutex> hold(m_lock);
            object = ShareObject(false);
            if (!object) --m_ready;
            ++m_setUp;
        }
        m_changed.notify_all();
        for (std::size_t seen = 0;;) {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait(hold, [&] { return m_stop || m_round != seen; });
            if (m_stop) return;
            seen = m_round;
            hold.unlock();
            const bool up = object && CheckThroughVtable(object.Get());
            hold.lock();
            m_allUp = m_allUp && up;
            ++m_answered;
            m_changed.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::thread> m_threads;
    std::size_t m_ready;
    std::size_t m_setUp = 0;
    std::size_t m_round = 0;
    std::size_t m_answered = 0;
    bool m_allUp = true;
    bool m_stop = false;
};

// ---- The trace ----------------------------------------------------------------------------

// The trace switched on as an administrator switches it, in the registry, while
// the benchmark runs: it takes effect within a second, and so does switching it off.
class TraceSwitch {
public:
    TraceSwitch() {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTraceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
            return;
        }
        m_key.reset(key);
        m_created = disposition == REG_CREATED_NEW_KEY;
        const DWORD on = 1;
        RegSetValueExW(key, kTraceValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on));
        Sleep(1100);
    }
    TraceSwitch(const TraceSwitch&) = delete;
    TraceSwitch& operator=(const TraceSwitch&) = delete;
    ~TraceSwitch() {
        if (!m_key) return;
        RegDeleteValueW(m_key.get(), kTraceValue);
        m_key.reset();
        if (m_created) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTraceKey);
        Sleep(1100);
    }

private:
    unique_hkey m_key;
    bool m_created = false;
};

std::atomic<int> g_debugLines{0};

LONG CALLBACK CountDebugLine(EXCEPTION_POINTERS* pointers) {
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (code == DBG_PRINTEXCEPTION_C || code == DBG_PRINTEXCEPTION_WIDE_C) ++g_debugLines;
    return EXCEPTION_CONTINUE_SEARCH;
}

// The lines one check writes to the debug output, seen as a debugger sees them.
int TraceLinesOfOneCheck(_lineprobeCom* object) {
    g_debugLines = 0;
    void* const handler = AddVectoredExceptionHandler(1, &CountDebugLine);
    CheckThroughVtable(object);
    if (handler) RemoveVectoredExceptionHandler(handler);
    return g_debugLines;
}

struct FileCases {
    const char* label;
    Case floor;
    Case vtable;
    Case invoke;
};

int Run(bool quick, const char* json) {
    const Apartment apartment;
    if (FAILED(apartment.Status())) return 2;
    BenchFolder folder;
    const std::uint64_t gibibyte = std::uint64_t{1} << 30;
    const std::string start80 = StatusStart(80);
    const std::string start1m = StatusStart(kMebibyte);
    struct FileSpec {
        const char* label;
        const wchar_t* name;
        std::string start;
        std::uint64_t filled;
        std::uint64_t size;
    };
    const FileSpec specs[] = {
        {"100 B, first line 80 B", L"small.txt", start80, 100, 100},
        {"10 MiB, first line 80 B", L"ten-80.txt", start80, 10 * kMebibyte, 10 * kMebibyte},
        {"10 MiB, first line 1 MiB", L"ten-1m.txt", start1m, 10 * kMebibyte, 10 * kMebibyte},
        {"1 GiB sparse, first line 80 B", L"giga-80.txt", start80, 0, gibibyte},
        {"1 GiB sparse, first line 1 MiB", L"giga-1m.txt", start1m, 0, gibibyte},
    };
    std::vector<std::wstring> paths;
    for (const FileSpec& file : specs) {
        paths.push_back(folder.Create(file.name, file.start, file.filled, file.size));
        if (paths.back().empty()) {
            std::fprintf(stderr, "cannot create the file for %s\n", file.label);
            return 2;
        }
    }

    // Cold first, while the DLL is not loaded yet.
    std::fprintf(stderr, "cold loads\n");
    std::vector<double> cold;
    for (int i = 0; i < (quick ? 3 : 9); ++i) {
        if (const auto elapsed = ColdCheck(Parameter(paths[0]))) cold.push_back(*elapsed);
    }

    std::vector<ComPtr<_lineprobeCom>> objects;
    std::vector<FileCases> files;
    files.reserve(std::size(specs));
    ComPtr<IClassFactory> factory;
    if (FAILED(ServerClassFactory(factory))) {
        std::fprintf(stderr, "comlineprobe.dll beside the benchmark cannot be loaded\n");
        return 2;
    }
    for (std::size_t i = 0; i < std::size(specs); ++i) {
        ComPtr<_lineprobeCom> object = NewTestObject();
        if (!object || FAILED(object->put_ec_parameter(*Text(Parameter(paths[i])).get())) ||
            !CheckThroughVtable(object.Get()) || !IsUpWithSecondLine(object.Get())) {
            std::fprintf(stderr, "the check on %s does not answer up with the second line\n", specs[i].label);
            return 2;
        }
        const DISPID id = DispatchId(object.Get(), L"ec_docheck");
        _lineprobeCom* raw = object.Get();
        const std::wstring& path = paths[i];
        files.push_back({specs[i].label, Case("floor", [&path] { return FloorRead(path); }),
                         Case("vtable", [raw] { return CheckThroughVtable(raw); }),
                         Case("invoke", [raw, id] { return CheckThroughInvoke(raw, id); })});
        objects.push_back(std::move(object));
    }
    Case lifetime("create and release", [&factory] {
        ComPtr<_lineprobeCom> object;
        return SUCCEEDED(factory->CreateInstance(nullptr, IID__lineprobeCom, &object));
    });

    std::vector<Case*> all;
    for (FileCases& file : files) all.insert(all.end(), {&file.floor, &file.vtable, &file.invoke});
    all.push_back(&lifetime);
    std::fprintf(stderr, "in-process cases\n");
    Measure(all, quick ? 5 : 41, quick ? 0.01 : 0.015);

    // The 100-byte file again with the trace on, against a floor of its own rounds.
    _lineprobeCom* const small = objects[0].Get();
    const DISPID smallId = DispatchId(small, L"ec_docheck");
    FileCases traced{"100 B, first line 80 B, trace on", Case("floor", [&path = paths[0]] { return FloorRead(path); }),
                     Case("vtable", [small] { return CheckThroughVtable(small); }),
                     Case("invoke", [small, smallId] { return CheckThroughInvoke(small, smallId); })};
    int linesOn = 0;
    {
        std::fprintf(stderr, "the 100-byte file with the trace on\n");
        const TraceSwitch on;
        linesOn = TraceLinesOfOneCheck(small);
        if (linesOn > 0) Measure({&traced.floor, &traced.vtable, &traced.invoke}, quick ? 5 : 41, quick ? 0.01 : 0.015);
    }
    const int linesOff = TraceLinesOfOneCheck(small);
    all.insert(all.end(), {&traced.floor, &traced.vtable, &traced.invoke});

    // Apart from the local cases: each logon renames the stand-in's share folder.
    const ComPtr<_lineprobeCom> shareObject = ShareObject(false);
    const ComPtr<_lineprobeCom> limitedShareObject = ShareObject(true);
    Case share("share", [raw = shareObject.Get()] { return CheckThroughVtable(raw); });
    Case limitedShare("share, limit", [raw = limitedShareObject.Get()] { return CheckThroughVtable(raw); });
    ShareSensors sensors(8);
    Case eightAtOnce("share, eight at once", [&sensors] { return sensors.CheckAll(); });
    if (shareObject && limitedShareObject && sensors.Ready()) {
        std::fprintf(stderr, "share through the stand-in server\n");
        Measure({&share, &limitedShare, &eightAtOnce}, quick ? 3 : 15, quick ? 0.05 : 0.1);
        all.insert(all.end(), {&share, &limitedShare, &eightAtOnce});
    } else {
        std::fprintf(stderr, "no stand-in file server: the share is not measured\n");
    }

    // VBScript: a thousand checks a run, each script in turn.
    std::fprintf(stderr, "VBScript under cscript\n");
    std::vector<double> fsoRuns;
    std::vector<double> objectRuns;
    bool registered = false;
    {
        const Registration registration;
        registered = registration.Registered();
        for (int i = 0; registered && i < (quick ? 1 : 5); ++i) {
            if (const auto run = ScriptRun(L"fso-check.vbs", paths[0], 1000)) fsoRuns.push_back(*run);
            if (const auto run = ScriptRun(L"object-check.vbs", paths[0], 1000)) objectRuns.push_back(*run);
        }
    }

    const double floor = files[0].floor.PerCall();
    std::printf("### Check cost under Wine, 64-bit\n\n");
    std::printf("The floor: open the file, read 64 KiB blocks until two line ends are found, close it. "
                "On the 100-byte file it takes %s per call. Every figure is a ratio to that time "
                "(median of %zu rounds).\n\n",
                Micros(floor).c_str(), files[0].floor.samples.size());
    std::printf("| file | floor | ec_docheck, vtable | ec_docheck, IDispatch::Invoke |\n|---|---|---|---|\n");
    for (const FileCases& file : files) {
        std::printf("| %s | %s | %s | %s |\n", file.label, Ratio(file.floor.PerCall(), floor).c_str(),
                    Ratio(file.vtable.PerCall(), floor).c_str(), Ratio(file.invoke.PerCall(), floor).c_str());
    }
    const double tracedFloor = traced.floor.PerCall();
    if (traced.floor.samples.empty()) {
        std::printf("| %s | not measured: the switch in the registry did not take effect | | |\n", traced.label);
    } else {
        std::printf("| %s (%d lines a check, %d once switched off again; ratios to the floor of its own rounds) | %s | "
                    "%s | %s |\n",
                    traced.label, linesOn, linesOff, Ratio(tracedFloor, floor).c_str(),
                    Ratio(traced.vtable.PerCall(), tracedFloor).c_str(),
                    Ratio(traced.invoke.PerCall(), tracedFloor).c_str());
    }
    const auto perCheck = [](const std::vector<double>& runs) { return runs.empty() ? 0.0 : Median(runs); };
    const double fso = perCheck(fsoRuns);
    const double script = perCheck(objectRuns);
    const auto figure = [&](double value) { return value > 0 ? Ratio(value, floor) : std::string("not measured"); };
    std::printf("\n| operation | ratio to the floor |\n|---|---|\n");
    std::printf("| create and release an object (class factory) | %s |\n", Ratio(lifetime.PerCall(), floor).c_str());
    std::printf("| first check after loading the DLL (cold: LoadLibrary to the answer) | %s |\n",
                cold.empty() ? "not measured" : Ratio(Median(cold), floor).c_str());
    std::printf("| VBScript with Scripting.FileSystemObject, per check (runs of 1000) | %s |\n", figure(fso).c_str());
    std::printf("| VBScript with our object by ProgID, per check (runs of 1000) | %s |\n", figure(script).c_str());
    const auto shareFigure = [&](const Case& c) {
        return c.samples.empty() ? std::string("not measured") : Ratio(c.PerCall(), floor) + " (" + Micros(c.PerCall()) + ")";
    };
    std::printf("| file on the stand-in file server: cancel, logon, read, cancel, no limit | %s |\n",
                shareFigure(share).c_str());
    std::printf("| the same with the host's time limit (work on the system thread pool) | %s |\n",
                shareFigure(limitedShare).c_str());
    std::printf("| eight host threads checking that file at the same moment, until the last answer | %s |\n",
                shareFigure(eightAtOnce).c_str());

    struct Target {
        const char* name;
        double value;
        double limit;
        bool measured;
    };
    const double vtable = files[0].vtable.PerCall();
    const Target targets[] = {
        {"ec_docheck through the vtable, 100-byte file: at most 1.3 x floor", vtable / floor, 1.3, true},
        {"ec_docheck through IDispatch, 100-byte file: at most 1.6 x floor", files[0].invoke.PerCall() / floor, 1.6,
         true},
        {"1 GiB file (first line 80 B) within 1.1 x the 100-byte file, vtable", files[3].vtable.PerCall() / vtable, 1.1,
         true},
        {"our object from VBScript faster than the FileSystemObject script (ratio below 1)",
         fso > 0 ? script / fso : 0, 1.0, fso > 0 && script > 0},
        {"ec_docheck through the vtable, 10 MiB file with a first line of 1 MiB: at most 2 x the floor on that file",
         files[2].vtable.PerCall() / files[2].floor.PerCall(), 2.0, true},
        {"a share check with the host's time limit: at most 1.2 x the same check without one",
         share.samples.empty() ? 0.0 : limitedShare.PerCall() / share.PerCall(), 1.2,
         !share.samples.empty() && !limitedShare.samples.empty()},
    };
    std::printf("\n| target | measured | verdict |\n|---|---|---|\n");
    for (const Target& target : targets) {
        if (!target.measured) {
            std::printf("| %s | not measured | missed |\n", target.name);
            continue;
        }
        std::printf("| %s | %.2f | %s |\n", target.name, target.value, target.value <= target.limit ? "met" : "missed");
    }

    if (json) {
        const double coldRatio = cold.empty() ? 0.0 : Median(cold) / floor;
        std::FILE* file = std::fopen(json, "w");
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", json);
            return 1;
        }
        std::fprintf(file,
                     "{\"vtable_100b\": %.3f, \"dispatch_100b\": %.3f, \"vtable_1gib\": %.3f, "
                     "\"vtable_1mib_line\": %.3f, \"floor_1mib_line\": %.3f, \"cold\": %.3f, "
                     "\"vbs_ours_over_fso\": %.3f, \"share_standin\": %.3f, \"share_standin_limit\": %.3f, "
                     "\"share_standin_eight\": %.3f, \"vtable_100b_trace_on\": %.3f}\n",
                     vtable / floor, files[0].invoke.PerCall() / floor, files[3].vtable.PerCall() / floor,
                     files[2].vtable.PerCall() / floor, files[2].floor.PerCall() / floor, coldRatio,
                     fso > 0 ? script / fso : 0.0, share.samples.empty() ? 0.0 : share.PerCall() / floor,
                     limitedShare.samples.empty() ? 0.0 : limitedShare.PerCall() / floor,
                     eightAtOnce.samples.empty() ? 0.0 : eightAtOnce.PerCall() / floor,
                     traced.floor.samples.empty() ? 0.0 : traced.vtable.PerCall() / tracedFloor);
        std::fclose(file);
    }

    bool wrong = false;
    for (const Case* c : all) {
        if (c->failed) std::fprintf(stderr, "a call of case \"%s\" did not answer as expected\n", c->name.c_str());
        wrong = wrong || c->failed;
    }
    if (!registered) std::fprintf(stderr, "regsvr32 could not register comlineprobe.dll\n");
    return wrong ? 1 : 0;
}

}  // namespace
}  // namespace lineprobe::bench

int main(int argc, char** argv) {
    bool quick = false;
    const char* json = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--json") == 0 && i + 1 < argc) {
            json = argv[++i];
        } else {
            std::fprintf(stderr, "usage: lineprobe_bench [--quick] [--json FILE]\n");
            return 2;
        }
    }
    return lineprobe::bench::Run(quick, json);
}
