// The check run's steps against a recording stand-in for the platform: verdicts,
// result texts, which failures name their step, and what is released.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "CheckSteps.h"
#include "MemorySource.h"

namespace lineprobe {
namespace {

using fakes::MemorySource;

// The fake's clock stands still; its files were written five minutes before.
constexpr std::uint64_t kNow = 13'400'000'000ull * 10'000'000ull;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr LocalTime kWrittenLocal{2026, 3, 7, 8, 5, 9};

// Records every call in order ("connect srv bob pw", "open C:\a.txt", "written",
// "local <ticks>", "close", "disconnect srv"); a call named in outOfMemoryAt
// throws std::bad_alloc instead.
class FakeEnvironment final : public CheckEnvironment {
public:
    std::optional<std::wstring> parameter = L"";  // nothing: the value has no text form
    FailureKind parameterFailure = FailureKind::TypeMismatch;
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, FailureKind> openFailures;
    std::wstring refusal;  // the error text a refused logon leaves
    std::size_t failAtRead = 0;
    std::wstring outOfMemoryAt;  // "parameter N", "connect", "disconnect", "open", "read N", "written", "local"
    std::optional<std::uint64_t> lastWrite = kNow - 5 * kTicksPerMinute;  // nothing: the file keeps no time
    std::optional<FailureKind> lastWriteFailure;

    bool tracing = false;

    std::vector<std::wstring> calls;
    std::optional<std::wstring> decided;  // the text handed over before the cancel
    std::vector<std::wstring> trace;
    int openFiles = 0;
    int parameterReads = 0;
    int reads = 0;

    std::wstring ParameterText() override {
        ++parameterReads;
        MaybeOutOfMemory(L"parameter " + std::to_wstring(parameterReads));
        if (!parameter) throw Failure(parameterFailure);
        return *parameter;
    }

    bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                      std::wstring& errorText) override {
        calls.push_back(L"connect " + std::wstring(server) + L" " + std::wstring(user) + L" " + std::wstring(password));
        MaybeOutOfMemory(L"connect");
        if (!refusal.empty()) errorText = refusal;
        return refusal.empty();
    }

    bool DisconnectShare(std::wstring_view server) override {
        calls.push_back(L"disconnect " + std::wstring(server));
        MaybeOutOfMemory(L"disconnect");
        return true;
    }

    std::unique_ptr<ByteSource> OpenFile(std::wstring_view view) override {
        const std::wstring path(view);
        calls.push_back(L"open " + path);
        MaybeOutOfMemory(L"open");
        if (auto failure = openFailures.find(path); failure != openFailures.end()) throw Failure(failure->second);
        auto file = files.find(path);
        if (file == files.end()) throw Failure(FailureKind::FileNotFound);
        return std::make_unique<File>(*this, file->second);
    }

    std::uint64_t CurrentTime() override { return kNow; }

    void Decided(const CheckOutcome& outcome) override {
        calls.push_back(L"decided");
        decided = outcome.text;
    }

    LocalTime ToLocalTime(std::uint64_t ticks) override {
        calls.push_back(L"local " + std::to_wstring(ticks));
        MaybeOutOfMemory(L"local");
        return kWrittenLocal;
    }

    bool Tracing() const noexcept override { return tracing; }
    void Trace(std::wstring_view line) noexcept override { trace.emplace_back(line); }

private:
    class File final : public ByteSource {
    public:
        File(FakeEnvironment& owner, const std::string& bytes) : m_owner(owner), m_bytes(bytes, 4) {
            m_bytes.failAtRead = owner.failAtRead;
            ++m_owner.openFiles;
        }
        ~File() override {
            --m_owner.openFiles;
            m_owner.calls.push_back(L"close");
        }
        std::size_t Read(std::span<char> buffer) override {
            ++m_owner.reads;
            m_owner.MaybeOutOfMemory(L"read " + std::to_wstring(++m_reads));
            return m_bytes.Read(buffer);
        }
        std::optional<std::uint64_t> LastWriteTime() override {
            m_owner.calls.push_back(L"written");
            m_owner.MaybeOutOfMemory(L"written");
            if (m_owner.lastWriteFailure) throw Failure(*m_owner.lastWriteFailure);
            return m_owner.lastWrite;
        }

    private:
        FakeEnvironment& m_owner;
        MemorySource m_bytes;
        int m_reads = 0;
    };

    void MaybeOutOfMemory(const std::wstring& call) {
        if (call == outOfMemoryAt) throw std::bad_alloc();
    }
};

const std::wstring kLocal = L"#LOGFILE=C:\\logs\\state.txt#USER=#PW=#UP=OK#DOWN=FAIL#";
const std::wstring kShare = L"#LOGFILE=\\\\srv\\share\\state.txt#USER=bob#PW=c2VjcmV0#UP=OK#DOWN=FAIL#";

struct RunCase {
    const char* name;
    std::wstring parameter;
    std::string file;  // the content of every path the parameter names
    bool up;
    std::wstring text;
};
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class Verdicts : public ::testing::TestWithParam<RunCase> {};

TEST_P(Verdicts, VerdictAndText) {
    FakeEnvironment environment;
    environment.parameter = GetParam().parameter;
    environment.files[L"C:\\logs\\state.txt"] = GetParam().file;
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_EQ(outcome.up, GetParam().up);
    EXPECT_EQ(outcome.text, GetParam().text);
    EXPECT_EQ(environment.openFiles, 0);
}

const RunCase kVerdicts[] = {
    {"UpWord", kLocal, "STATUS OK\r\nall good\r\n", true, L"all good"},
    {"DownWord", kLocal, "STATUS FAIL\r\ndisk full\r\n", false, L"disk full"},
    {"BothWordsCountAsUp", kLocal, "OK or FAIL\r\nboth\r\n", true, L"both"},
    {"BothWordsDownFirstCountAsUp", kLocal, "FAIL or OK\r\nboth\r\n", true, L"both"},  // the file reads 4 bytes at a time
    {"BothWordsInOnePiece", L"#LOGFILE=C:\\logs\\state.txt#UP=U#DOWN=D#", "UD\r\nx", true, L"x"},
    {"BothWordsInOnePieceDownFirst", L"#LOGFILE=C:\\logs\\state.txt#UP=U#DOWN=D#", "DU\r\nx", true, L"x"},
    {"NeitherWord", kLocal, "STATUS UNKNOWN\r\nsecond\r\n", false, L"ERR: None found"},
    {"CaseSensitive", L"#LOGFILE=C:\\logs\\state.txt#UP=ok#DOWN=fail#", "OK\r\nx", false, L"ERR: None found"},
    {"WordAnywhereInLine", kLocal, "xxOKxx\r\nsecond", true, L"second"},
    {"WordOnlyInSecondLine", kLocal, "nothing\r\nOK", false, L"ERR: None found"},
    {"OneLineFile", kLocal, "STATUS OK", true, L""},
    {"OneLineFileWithBreak", kLocal, "STATUS OK\r\n", true, L""},
    {"EmptyFirstLine", kLocal, "\r\nsecond", false, L"ERR: None found"},
    {"EmptyUpWordOnAnyLine", L"#LOGFILE=C:\\logs\\state.txt#UP=#DOWN=FAIL#", "FAIL\r\ntext", true, L"text"},
    {"EmptyWordsOnEmptyLine", L"#LOGFILE=C:\\logs\\state.txt#UP=#DOWN=#", "\r\ntext", false, L"ERR: None found"},
    {"EmptyDownWordOnAnyLine", L"#LOGFILE=C:\\logs\\state.txt#UP=OK#DOWN=#", "down\r\ntext", false, L"text"},
    {"WordsAsStoredNotTrimmed", L"#LOGFILE=C:\\logs\\state.txt#UP= OK #DOWN=FAIL#", "STATUS OK\r\nx", false,
     L"ERR: None found"},
    {"KeysAnyCase", L"#logfile=C:\\logs\\state.txt#up=OK#down=FAIL#", "OK\r\nx", true, L"x"},
    {"EmptyFile", kLocal, "", false, L"ERR: Input past end of file on line  210"},
    {"MarkOnlyIsEmpty", kLocal, "\xEF\xBB\xBF", false, L"ERR: Input past end of file on line  210"},
    {"MissingFile", L"#LOGFILE=C:\\logs\\other.txt#UP=OK#", "", false, L"ERR: File not found"},
    {"EmptyParameter", L"", "", false, L"ERR: File not found"},
    {"BadPasswordWithoutUser", L"#LOGFILE=C:\\logs\\state.txt#PW==YWJ#UP=OK#", "OK\r\nx", false,
     L"ERR: Invalid procedure call or argument on line  60"},
    {"BadPasswordWithUser", L"#LOGFILE=\\\\srv\\s\\a.txt#USER=bob#PW=YWJj=AAA#UP=OK#", "OK\r\nx", false,
     L"ERR: Invalid procedure call or argument on line  60"},
    {"BadLaterGroupWithoutUser", L"#LOGFILE=C:\\logs\\state.txt#PW=YWJj=AAA#UP=OK#", "OK\r\nx", false,
     L"ERR: Invalid procedure call or argument on line  60"},
    {"BadTrailingPartGroupWithoutUser", L"#LOGFILE=C:\\logs\\state.txt#PW=YWJj=#UP=OK#", "OK\r\nx", false,
     L"ERR: Invalid procedure call or argument on line  60"},
    {"LenientPasswordIsFine", L"#LOGFILE=C:\\logs\\state.txt#PW=YQ#UP=OK#", "OK\r\nx", true, L"x"},
    // A MAXAGE field after DOWN leaves the five fields before it as they are.
    {"UpWordBeforeMaxAge", kLocal + L"MAXAGE=15#", "STATUS OK\r\nall good\r\n", true, L"all good"},
    {"DownWordBeforeMaxAge", kLocal + L"MAXAGE=15#", "STATUS FAIL\r\ndisk full\r\n", false, L"disk full"},
};

INSTANTIATE_TEST_SUITE_P(Run, Verdicts, ::testing::ValuesIn(kVerdicts),
                         [](const auto& info) { return std::string(info.param.name); });

// How old the file may be: the MAXAGE field against a file written ageSeconds
// before the check (a negative age: written in the future).
struct AgeCase {
    const char* name;
    std::wstring maxAge;  // the field as stored after DOWN, "" for none
    std::int64_t ageSeconds;
    bool up;
    std::wstring text;
};
void PrintTo(const AgeCase& c, std::ostream* os) { *os << c.name; }

class Ages : public ::testing::TestWithParam<AgeCase> {};

TEST_P(Ages, VerdictAndText) {
    FakeEnvironment environment;
    environment.parameter = kLocal + GetParam().maxAge;
    environment.files[L"C:\\logs\\state.txt"] = "STATUS OK\r\nall good\r\n";
    const std::int64_t ticksBefore = GetParam().ageSeconds * static_cast<std::int64_t>(kTicksPerSecond);
    environment.lastWrite = static_cast<std::uint64_t>(static_cast<std::int64_t>(kNow) - ticksBefore);
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_EQ(outcome.up, GetParam().up);
    EXPECT_EQ(outcome.text, GetParam().text);
    EXPECT_EQ(environment.reads != 0, GetParam().up) << "the lines of a stale file are not read";
    EXPECT_EQ(environment.openFiles, 0);
}

const std::wstring kMaxAgeRuleText = L"ERR: MAXAGE must be a whole number of minutes from 1 to 525600";
const std::int64_t kYear = 365 * 24 * 3600;

const AgeCase kAges[] = {
    {"Fresh", L"MAXAGE=15#", 5 * 60, true, L"all good"},
    {"AtTheLimit", L"MAXAGE=15#", 15 * 60, true, L"all good"},
    {"JustOverTheLimit", L"MAXAGE=15#", 15 * 60 + 1, false,
     L"ERR: File not updated for 15 minutes (last written 2026-03-07 08:05:09)"},
    {"WholeMinutes", L"MAXAGE=60#", 90 * 60 + 59, false,
     L"ERR: File not updated for 90 minutes (last written 2026-03-07 08:05:09)"},
    {"FutureCountsAsFresh", L"MAXAGE=1#", -24 * 3600, true, L"all good"},
    {"SpacesAround", L"MAXAGE=  15 #", 20 * 60, false,
     L"ERR: File not updated for 20 minutes (last written 2026-03-07 08:05:09)"},
    {"KeyAnyCase", L"maxage=15#", 20 * 60, false,
     L"ERR: File not updated for 20 minutes (last written 2026-03-07 08:05:09)"},
    {"YearAtMost", L"MAXAGE=525600#", 2 * kYear, false,
     L"ERR: File not updated for 1051200 minutes (last written 2026-03-07 08:05:09)"},
    {"EmptyMeansAnyAge", L"MAXAGE=#", 10 * kYear, true, L"all good"},
    {"AbsentMeansAnyAge", L"", 10 * kYear, true, L"all good"},
    {"Zero", L"MAXAGE=0#", 0, false, kMaxAgeRuleText},
    {"OverAYear", L"MAXAGE=525601#", 0, false, kMaxAgeRuleText},
    {"Fraction", L"MAXAGE=1.5#", 0, false, kMaxAgeRuleText},
};

INSTANTIATE_TEST_SUITE_P(Run, Ages, ::testing::ValuesIn(kAges),
                         [](const auto& info) { return std::string(info.param.name); });

// The time is read from the open file: a failure there ends the run, and the
// file and the connection are released all the same.
TEST(AgeOfFile, UnreadableTimeNamesLine370) {
    struct {
        std::optional<FailureKind> failure;
        std::wstring text;
    } cases[] = {
        {FailureKind::PermissionDenied, L"ERR: Permission denied on line  370"},
        {std::nullopt, L"ERR: Path/File access error on line  370"},  // a file that keeps no time
    };
    for (const auto& c : cases) {
        FakeEnvironment environment;
        environment.parameter = kShare + L"MAXAGE=15#";
        environment.files[L"\\\\srv\\share\\state.txt"] = "OK\r\nfine";
        environment.lastWriteFailure = c.failure;
        if (!c.failure) environment.lastWrite.reset();
        const CheckOutcome outcome = RunCheckSteps(environment);
        EXPECT_FALSE(outcome.up);
        EXPECT_EQ(outcome.text, c.text);
        const std::vector<std::wstring> calls = {L"connect srv bob secret", L"open \\\\srv\\share\\state.txt",
                                                 L"written", L"close", L"decided", L"disconnect srv"};
        EXPECT_EQ(environment.calls, calls);
        EXPECT_EQ(environment.openFiles, 0);
    }
}

TEST(ParameterValue, WithoutTextFormFailsAtLine40) {
    for (FailureKind kind : {FailureKind::InvalidUseOfNull, FailureKind::TypeMismatch}) {
        FakeEnvironment environment;
        environment.parameter.reset();
        environment.parameterFailure = kind;
        const CheckOutcome outcome = RunCheckSteps(environment);
        EXPECT_FALSE(outcome.up);
        EXPECT_EQ(outcome.text, L"ERR: " + std::wstring(FailureDescription(kind)) + L" on line  40");
        EXPECT_TRUE(environment.calls.empty());
    }
}

// Which platform calls a run makes, in order.
struct CallCase {
    const char* name;
    std::wstring parameter;
    std::wstring refusal;
    std::string file;
    bool up;
    std::wstring text;
    std::vector<std::wstring> calls;
};
void PrintTo(const CallCase& c, std::ostream* os) { *os << c.name; }

class Calls : public ::testing::TestWithParam<CallCase> {};

TEST_P(Calls, VerdictTextAndCalls) {
    FakeEnvironment environment;
    environment.parameter = GetParam().parameter;
    environment.refusal = GetParam().refusal;
    environment.files[L"\\\\srv\\share\\state.txt"] = GetParam().file;
    environment.files[L"C:\\logs\\state.txt"] = GetParam().file;
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_EQ(outcome.up, GetParam().up);
    EXPECT_EQ(outcome.text, GetParam().text);
    EXPECT_EQ(environment.calls, GetParam().calls);
    EXPECT_EQ(environment.decided.value_or(outcome.text), outcome.text);
    EXPECT_EQ(environment.openFiles, 0);
    EXPECT_TRUE(environment.trace.empty()) << "a trace that is off writes nothing";
}

const std::vector<std::wstring> kShareCalls = {L"connect srv bob secret", L"open \\\\srv\\share\\state.txt", L"close",
                                               L"decided", L"disconnect srv"};

const CallCase kCalls[] = {
    {"LocalWithoutUser", kLocal, L"", "OK\r\nfine", true, L"fine", {L"open C:\\logs\\state.txt", L"close"}},
    {"ShareWithUser", kShare, L"", "OK\r\nfine", true, L"fine", kShareCalls},
    {"UserTrimmedPathAndPasswordNot",
     L"#LOGFILE=\\\\srv\\share\\state.txt#USER=  bob  #PW=IHB3IA==#UP=OK#", L"", "OK\r\nfine", true, L"fine",
     {L"connect srv bob  pw ", L"open \\\\srv\\share\\state.txt", L"close", L"decided", L"disconnect srv"}},
    {"RefusedLogon", kShare, L"Logon failure: unknown user name or bad password.", "OK\r\nfine", false,
     L"ERR: Logon failure: unknown user name or bad password. (authentication)",
     {L"connect srv bob secret", L"decided", L"disconnect srv"}},
    // A refusal without a text reads the file as if connected.
    {"RefusedWithoutText", kShare, L"", "FAIL\r\nbroken", false, L"broken", kShareCalls},
    {"UserWithLocalPath", L"#LOGFILE=C:\\logs\\state.txt#USER=bob#UP=OK#", L"", "OK\r\nfine", false,
     L"ERR: Subscript out of range on line  120", {}},
    {"UserWithPathTrimmedToUnc", L"#LOGFILE= \\\\srv\\share\\state.txt#USER=bob#UP=OK#", L"", "OK\r\nfine", false,
     L"ERR: Subscript out of range on line  120", {}},
    {"UserWithBareBackslashes", L"#LOGFILE=\\\\#USER=bob#UP=OK#", L"", "", false,
     L"ERR: Subscript out of range on line  120", {}},
    // A path ending in ":\" needs no connection; the disconnect still runs, for no server.
    {"UserWithDriveRoot", L"#LOGFILE=C:\\ #USER=bob#UP=OK#", L"", "", false, L"ERR: File not found",
     {L"open C:\\ ", L"decided", L"disconnect "}},
    {"ServerIsFirstElement", L"#LOGFILE=\\\\fs01.example\\d$\\x\\y.txt#USER=bob#UP=OK#", L"refused", "", false,
     L"ERR: refused (authentication)", {L"connect fs01.example bob ", L"decided", L"disconnect fs01.example"}},
    {"ServerOnlyPath", L"#LOGFILE=\\\\srv#USER=bob#UP=OK#", L"", "", false, L"ERR: File not found",
     {L"connect srv bob ", L"open \\\\srv", L"decided", L"disconnect srv"}},
    // The connection is cancelled and the file closed after a failure too,
    // and the failure is known before the cancel.
    {"EmptyFileOnShare", kShare, L"", "", false, L"ERR: Input past end of file on line  210",
     {L"connect srv bob secret", L"open \\\\srv\\share\\state.txt", L"close", L"decided", L"disconnect srv"}},
    // The fake's files are five minutes old.
    {"StaleFileOnShare", kShare + L"MAXAGE=1#", L"", "OK\r\nfine", false,
     L"ERR: File not updated for 5 minutes (last written 2026-03-07 08:05:09)",
     {L"connect srv bob secret", L"open \\\\srv\\share\\state.txt", L"written",
      L"local " + std::to_wstring(kNow - 5 * kTicksPerMinute), L"close", L"decided", L"disconnect srv"}},
    {"FreshFileOnShare", kShare + L"MAXAGE=6#", L"", "OK\r\nfine", true, L"fine",
     {L"connect srv bob secret", L"open \\\\srv\\share\\state.txt", L"written", L"close", L"decided",
      L"disconnect srv"}},
    {"InvalidMaxAgeBeforeAnyConnection", kShare + L"MAXAGE=0#", L"", "OK\r\nfine", false, kMaxAgeRuleText, {}},
    // A long form that may reach a server is never read without the logon.
    {"UserWithMupPath", L"#LOGFILE=\\\\?\\GLOBALROOT\\Device\\Mup\\srv\\s\\a.txt#USER=bob#UP=OK#", L"refused", "",
     false, L"ERR: refused (authentication)", {L"connect srv bob ", L"decided", L"disconnect srv"}},
    {"UserWithLongFormOfNoServer", L"#LOGFILE=\\\\.\\GLOBALROOT\\Device\\X\\a.txt#USER=bob#UP=OK#", L"", "OK\r\nfine",
     false, L"ERR: No server to log on to in \\\\.\\GLOBALROOT\\Device\\X\\a.txt", {}},
};

INSTANTIATE_TEST_SUITE_P(Run, Calls, ::testing::ValuesIn(kCalls),
                         [](const auto& info) { return std::string(info.param.name); });

// Memory running out names the step it happened in, where failures are
// reported; where they are only noted, the run goes on.
struct MemoryCase {
    const char* name;
    std::wstring parameter;
    std::wstring outOfMemoryAt;
    bool up;
    std::wstring text;
};
void PrintTo(const MemoryCase& c, std::ostream* os) { *os << c.name; }

class OutOfMemory : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(OutOfMemory, NamesTheStepOrGoesOn) {
    FakeEnvironment environment;
    environment.parameter = GetParam().parameter;
    environment.files[L"\\\\srv\\share\\state.txt"] = "STATUS OK\r\nall good\r\n";
    environment.files[L"C:\\logs\\state.txt"] = "STATUS OK\r\nall good\r\n";
    environment.outOfMemoryAt = GetParam().outOfMemoryAt;
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_EQ(outcome.up, GetParam().up);
    EXPECT_EQ(outcome.text, GetParam().text);
    EXPECT_EQ(environment.openFiles, 0);
    const auto connects = std::count_if(environment.calls.begin(), environment.calls.end(),
                                        [](const std::wstring& c) { return c.starts_with(L"connect"); });
    const auto disconnects = std::count_if(environment.calls.begin(), environment.calls.end(),
                                           [](const std::wstring& c) { return c.starts_with(L"disconnect"); });
    EXPECT_EQ(disconnects, connects) << "every connection attempt is cancelled once";
}

const MemoryCase kMemoryCases[] = {
    {"ParameterAt40", kLocal, L"parameter 1", false, L"ERR: Out of memory on line  40"},
    // The value becomes text once: a second conversion, which could fail, never happens.
    {"ParameterSecondTime", kLocal, L"parameter 2", true, L"all good"},
    {"Connect", kShare, L"connect", false, L"ERR: Out of memory on line  130"},
    {"DisconnectAfterRead", kShare, L"disconnect", false, L"ERR: Out of memory on line  480"},
    {"FirstRead", kShare, L"read 1", false, L"ERR: Out of memory on line  210"},
    {"OpenIsOnlyNoted", kLocal, L"open", false, L"ERR: Out of memory"},
    {"LastWriteTime", kShare + L"MAXAGE=1#", L"written", false, L"ERR: Out of memory on line  370"},
    {"StaleText", kShare + L"MAXAGE=1#", L"local", false, L"ERR: Out of memory on line  380"},
};

INSTANTIATE_TEST_SUITE_P(Run, OutOfMemory, ::testing::ValuesIn(kMemoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Reading the second line only notes its failures: the first line decides alone.
TEST(SecondLine, ReadFailureLeavesItEmpty) {
    FakeEnvironment environment;
    environment.parameter = kLocal;
    environment.files[L"C:\\logs\\state.txt"] = "OK\r\nsecond line is longer\r\n";
    environment.failAtRead = 2;  // the fake hands out four bytes a read
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_TRUE(outcome.up);
    EXPECT_EQ(outcome.text, L"");
    EXPECT_EQ(environment.openFiles, 0);
}

TEST(SecondLine, OutOfMemoryLeavesItEmpty) {
    FakeEnvironment environment;
    environment.parameter = kLocal;
    environment.files[L"C:\\logs\\state.txt"] = "OK\r\nsecond line is longer\r\n";
    environment.outOfMemoryAt = L"read 2";
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_TRUE(outcome.up);
    EXPECT_EQ(outcome.text, L"");
}

// After a failed open, failures are only noted up to the end of the run.
TEST(FailedOpen, DisconnectFailureIsOnlyNoted) {
    FakeEnvironment environment;
    environment.parameter = L"#LOGFILE=\\\\srv\\share\\missing.txt#USER=bob#UP=OK#";
    environment.outOfMemoryAt = L"disconnect";
    const CheckOutcome outcome = RunCheckSteps(environment);
    EXPECT_FALSE(outcome.up);
    EXPECT_EQ(outcome.text, L"ERR: File not found");
}

TEST(FailedOpen, TextNamesTheReason) {
    for (FailureKind kind : {FailureKind::PathNotFound, FailureKind::PermissionDenied, FailureKind::PathFileAccess,
                             FailureKind::BadFileName, FailureKind::DeviceUnavailable}) {
        FakeEnvironment environment;
        environment.parameter = kLocal;
        environment.openFailures[L"C:\\logs\\state.txt"] = kind;
        const CheckOutcome outcome = RunCheckSteps(environment);
        EXPECT_FALSE(outcome.up);
        EXPECT_EQ(outcome.text, L"ERR: " + std::wstring(FailureDescription(kind)));
    }
}

// The trace names each step in order (the share's own steps are the platform's),
// and never the password, its encoded value or the file's lines.
TEST(Trace, StepsInOrderWithoutSecrets) {
    const struct {
        std::wstring parameter;
        std::wstring refusal;
        std::wstring steps;
    } cases[] = {
        {kLocal + L"MAXAGE=15#", L"", L"fields path open age read verdict"},
        {kShare, L"", L"fields path open read verdict"},
        {kShare, L"Logon failure", L"fields path verdict"},
        {L"#LOGFILE=C:\\logs\\gone.txt#USER=#PW=c2VjcmV0#UP=OK#", L"", L"fields path step verdict"},
        {L"#LOGFILE=C:\\logs\\state.txt#USER=bob#PW=c2VjcmV0#UP=OK#", L"", L"fields path step verdict"},
    };
    for (const auto& c : cases) {
        FakeEnvironment environment;
        environment.tracing = true;
        environment.parameter = c.parameter;
        environment.refusal = c.refusal;
        environment.files[L"C:\\logs\\state.txt"] = environment.files[L"\\\\srv\\share\\state.txt"] =
            "STATUS OK 7f3a\r\nsecond 9c2e\r\n";
        RunCheckSteps(environment);
        std::wstring steps;
        for (const std::wstring& line : environment.trace) {
            steps += (steps.empty() ? L"" : L" ") + line.substr(0, line.find_first_of(L": "));
            for (const wchar_t* secret : {L"secret", L"c2VjcmV0", L"7f3a", L"9c2e"}) {
                EXPECT_EQ(line.find(secret), std::wstring::npos) << testing::PrintToString(line);
            }
        }
        EXPECT_EQ(steps, c.steps) << testing::PrintToString(c.parameter);
    }
}

TEST(StepRules, ConnectionDecision) {
    struct {
        const wchar_t* user;
        const wchar_t* path;
        bool connect;
    } cases[] = {
        {L"", L"\\\\srv\\s\\a.txt", false}, {L"bob", L"\\\\srv\\s\\a.txt", true}, {L"bob", L"C:\\a.txt", true},
        {L"bob", L"C:\\", false},           {L"bob", L" C:\\  ", false},          {L"bob", L"\\", true},
        {L"bob", L"", true},                {L"bob", L"\\\\?\\C:\\a.txt", false}, {L"bob", L"\\\\?\\UNC\\srv\\s\\a.txt", true},
        {L"bob", L"\\\\.\\UNC\\srv\\s\\a.txt", true}, {L"bob", L"\\\\.\\pipe\\x", false},
        {L"bob", L"\\\\?\\GLOBALROOT\\Device\\Mup\\srv\\s\\a.txt", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NeedsShareConnection(c.user, c.path), c.connect) << c.user << " " << c.path;
    }
}

TEST(StepRules, ServerOfPath) {
    struct {
        const wchar_t* path;
        std::optional<std::wstring> server;
    } cases[] = {
        {L"\\\\srv\\share\\logs\\state.txt", L"srv"},
        {L"\\\\srv", L"srv"},
        {L"\\\\\\x", L""},
        {L"\\\\", std::nullopt},
        {L"\\srv\\share", std::nullopt},
        {L" \\\\srv\\share", std::nullopt},
        {L"C:\\logs\\a.txt", std::nullopt},
        {L"\\\\?\\UNC\\srv\\share\\a.txt", L"srv"},
        {L"\\\\?\\unc\\srv\\share\\a.txt", L"srv"},
        {L"\\\\?\\UNC\\", std::nullopt},
        {L"\\\\srv/share/a.txt", L"srv"},
        {L"\\\\.\\UNC\\srv\\share\\a.txt", L"srv"},
        {L"\\\\.\\GLOBALROOT\\device\\mup\\srv\\share\\a.txt", L"srv"},
        {L"\\\\?\\GLOBALROOT\\Device\\X\\a.txt", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ServerOfPath(c.path), c.server) << c.path;
    }
}

// The server a time limit waits for; local files, also in the long form, and devices have none.
TEST(StepRules, RemoteServerOf) {
    struct {
        const wchar_t* path;
        std::optional<std::wstring> server;
    } cases[] = {
        {L"\\\\fileserver\\logs\\a.txt", L"fileserver"}, {L"//fileserver/logs/a.txt", L"fileserver"},
        {L"\\\\?\\UNC\\srv\\s\\a.txt", L"srv"},        {L"\\\\?\\C:\\a.txt", std::nullopt},
        {L"\\\\.\\pipe\\x", std::nullopt},                {L"C:\\a.txt", std::nullopt},
        {L"\\\\\\x", std::nullopt},                      {L"\\\\", std::nullopt},
        {L"\\\\.\\UNC\\srv\\s\\a.txt", L"srv"},        {L"//./pipe/x", std::nullopt},
        {L"\\\\.\\COM1", std::nullopt},                   {L"\\??\\C:\\a.txt", std::nullopt},
        {L"\\\\?\\GLOBALROOT\\Device\\Mup\\srv\\s\\a.txt", L"srv"},
        {L"\\\\?\\GLOBALROOT\\Device\\X\\a.txt", L"\\\\?\\GLOBALROOT\\Device\\X\\a.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RemoteServerOf(c.path), c.server) << c.path;
    }
}

TEST(StepRules, ContainsWord) {
    EXPECT_TRUE(ContainsWord(L"STATUS OK", L"OK"));
    EXPECT_FALSE(ContainsWord(L"STATUS OK", L"ok"));
    EXPECT_TRUE(ContainsWord(L"x", L""));
    EXPECT_FALSE(ContainsWord(L"", L""));
    EXPECT_FALSE(ContainsWord(L"", L"OK"));
}

TEST(StepRules, FailureTextKeepsTheNumbersLeadingSpace) {
    EXPECT_EQ(StepFailureText(L"Input past end of file", 210), L"ERR: Input past end of file on line  210");
}

}  // namespace
}  // namespace lineprobe
