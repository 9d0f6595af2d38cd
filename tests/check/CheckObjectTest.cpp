// ec_docheck through the real object from comlineprobe.dll: verdicts and result
// texts for parameter strings, status files and failures, and no handle left
// behind after a thousand runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CheckTestSupport.h"
#include "TestObject.h"

namespace lineprobe {
namespace {

using Microsoft::WRL::ComPtr;
using namespace lineprobe::test;
using namespace std::string_literals;

struct Outcome {
    HRESULT hr = E_FAIL;
    VARIANT_BOOL up = 1;  // neither true nor false until the call answers
    std::wstring result;  // Describe() of ec_result: "VT_BSTR:<text>"
};

Outcome RunObject(_lineprobeCom* object, const VARIANT& parameter) {
    Outcome outcome;
    if (FAILED(object->put_ec_parameter(parameter))) return outcome;
    outcome.hr = object->ec_docheck(&outcome.up);
    unique_variant result;
    object->get_ec_result(result.get());
    outcome.result = Describe(*result.get());
    return outcome;
}

const TempFolder& Folder() {
    static const TempFolder folder(L"lineprobe-check-object");
    return folder;
}

// A path on a drive letter that names no drive.
std::wstring OnMissingDrive() {
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
        if (!(drives & (DWORD{1} << (letter - L'A')))) return std::wstring(1, letter) + L":\\state.txt";
    }
    return L"";
}

// {f} stands for the status file, {d} for its folder, {x} for a path on a missing drive.
std::wstring Expand(std::wstring text) {
    const std::pair<const wchar_t*, std::wstring> fields[] = {
        {L"{f}", Folder() / L"status.txt"}, {L"{d}", Folder().Path()}, {L"{x}", OnMissingDrive()}};
    for (const auto& [field, value] : fields) {
        for (std::size_t at; (at = text.find(field)) != std::wstring::npos;) text.replace(at, 3, value);
    }
    return text;
}

class CheckObject : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_apartment.Status());
        m_object = NewTestObject();
        ASSERT_TRUE(m_object) << "comlineprobe.dll beside the test program";
    }

    Outcome Check(const std::wstring& parameter) { return RunObject(m_object.Get(), *Text(Expand(parameter)).get()); }
    Outcome Check(const VARIANT& parameter) { return RunObject(m_object.Get(), parameter); }

    static void ExpectOutcome(const Outcome& outcome, bool up, const std::wstring& text) {
        EXPECT_EQ(outcome.hr, S_OK);
        EXPECT_EQ(outcome.up, up ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_EQ(outcome.result, L"VT_BSTR:" + text);
    }

    static bool WriteStatus(std::string_view bytes) { return WriteBytes(Folder() / L"status.txt", bytes); }

    Apartment m_apartment;
    ComPtr<_lineprobeCom> m_object;
};

const std::wstring kWords = L"#LOGFILE={f}#USER=#PW=#UP=OK#DOWN=FAIL#";

// A status file, a parameter string, and what the check answers.
struct FileCase {
    const char* name;
    std::string bytes;
    std::wstring parameter;
    bool up;
    std::wstring text;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

const FileCase kFileCases[] = {
    {"LocalPathWithoutUser", "STATUS OK\r\nall good\r\n", kWords, true, L"all good"},
    {"DownWord", "STATUS FAIL\r\ndisk full\r\n", kWords, false, L"disk full"},
    {"BothWordsCountAsUp", "FAIL then OK\r\nboth\r\n", kWords, true, L"both"},
    {"NeitherWord", "STATUS UNKNOWN\r\nsecond\r\n", kWords, false, L"ERR: None found"},
    {"CaseSensitive", "STATUS OK\r\nsecond\r\n", L"#LOGFILE={f}#UP=ok#DOWN=fail#", false, L"ERR: None found"},
    {"EmptyUpWord", "anything\r\nsecond\r\n", L"#LOGFILE={f}#UP=#DOWN=FAIL#", true, L"second"},
    {"EmptyUpWordEmptyLine", "\r\nsecond\r\n", L"#LOGFILE={f}#UP=#DOWN=#", false, L"ERR: None found"},
    {"OneLineFile", "STATUS OK", kWords, true, L""},
    {"EmptyFile", "", kWords, false, L"ERR: Input past end of file on line  210"},
    {"MissingFile", "", L"#LOGFILE={d}\\missing.txt#UP=OK#", false, L"ERR: File not found"},
    {"MissingFolder", "", L"#LOGFILE={d}\\no-folder\\state.txt#UP=OK#", false, L"ERR: Path not found"},
    {"FolderAsPath", "", L"#LOGFILE={d}#UP=OK#", false, L"ERR: Path/File access error"},
    {"MalformedName", "", L"#LOGFILE={d}\\a<b>.txt#UP=OK#", false, L"ERR: Bad file name or number"},
    {"EmptyName", "", L"#LOGFILE=#UP=OK#", false, L"ERR: Bad file name or number"},
    {"MissingDrive", "", L"#LOGFILE={x}#UP=OK#", false, L"ERR: Device unavailable"},
    {"BadPasswordWithoutUser", "STATUS OK\r\nx", L"#LOGFILE={f}#USER=#PW==YWJ#UP=OK#", false,
     L"ERR: Invalid procedure call or argument on line  60"},
    {"BadPasswordWithUser", "STATUS OK\r\nx", L"#LOGFILE=\\\\srv\\s\\a.txt#USER=bob#PW=YWJj=AAA#UP=OK#", false,
     L"ERR: Invalid procedure call or argument on line  60"},
    {"UserWithLocalPath", "STATUS OK\r\nx", L"#LOGFILE={f}#USER=bob#PW=#UP=OK#", false,
     L"ERR: Subscript out of range on line  120"},
    // Real mpr under Wine refuses every logon; the check names the reason.
    {"UncPathRefusedLogon", "", L"#LOGFILE=\\\\lineprobe-no-server\\share\\a.txt#USER=bob#PW=c2VjcmV0#UP=OK#", false,
     L"ERR: No network. (authentication)"},
    // Encodings and line ends.
    {"Utf8Mark", "\xEF\xBB\xBF" "STATUS OK \xE2\x9C\x93\r\nall good \xE2\x82\xAC\r\n", kWords, true,
     L"all good \u20AC"},
    {"Utf16LeMark", "\xFF\xFE" "O\0K\0\r\0\n\0f\0i\0n\0e\0 \0\xAC\x20\r\0\n\0"s, kWords, true, L"fine \u20AC"},
    {"Utf16BeMark", "\xFE\xFF" "\0F\0A\0I\0L\0\n\0d\0o\0w\0n"s, kWords, false, L"down"},
    {"AnsiCodePage", "STATUS OK\r\nd\xE9j\xE0 vu\r\n", kWords, true, L"d\u00E9j\u00E0 vu"},
    {"LfEndings", "STATUS OK\nsecond\nthird\n", kWords, true, L"second"},
    {"CrEndings", "STATUS OK\rsecond\rthird\r", kWords, true, L"second"},
    {"NoFinalLineBreak", "STATUS FAIL\r\nlast words", kWords, false, L"last words"},
    {"CrLfOnly", "\r\n", kWords, false, L"ERR: None found"},
    // ec_result holds the whole line, NUL included: its length, not a terminator, ends it.
    {"NulInSecondLine", "STATUS OK\r\nbefore\0after\r\n"s, kWords, true, L"before\0after"s},
    {"LongFirstLine", "OK" + std::string(2 << 20, 'x') + "\r\nafter the long line\r\n", kWords, true,
     L"after the long line"},
    {"WordBeyondTheLineBound", std::string(1 << 20, 'x') + "OK\r\nsecond\r\n", kWords, false, L"ERR: None found"},
    // A file written just now is fresh for any MAXAGE.
    {"FreshWithinMaxAge", "STATUS FAIL\r\ndisk full\r\n", kWords + L"MAXAGE=1#", false, L"disk full"},
    {"MaxAgeNotANumber", "STATUS OK\r\nx\r\n", kWords + L"MAXAGE=soon#", false,
     L"ERR: MAXAGE must be a whole number of minutes from 1 to 525600"},
};

class FileCases : public CheckObject, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileCases, VerdictAndResult) {
    ASSERT_TRUE(WriteStatus(GetParam().bytes));
    ExpectOutcome(Check(GetParam().parameter), GetParam().up, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Object, FileCases, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckObject, LongSecondLineKeepsOneMebibyte) {
    ASSERT_TRUE(WriteStatus("STATUS OK\r\n" + std::string((1 << 20) + 100, 'y') + "\r\nthird\r\n"));
    ExpectOutcome(Check(kWords), true, std::wstring(1 << 20, L'y'));
}

// Only the first block of the file is read.
TEST_F(CheckObject, HugeSparseFileAnswersLikeItsFirstBlock) {
    ASSERT_TRUE(WriteSparse(Folder() / L"status.txt", "STATUS OK\r\nfrom the first block\r\n", LONGLONG{1} << 30));
    ExpectOutcome(Check(kWords), true, L"from the first block");
    ASSERT_TRUE(WriteStatus(""));
}

// A backdated file is down whatever its words say, and shows its time in local
// time; one written in the future counts as fresh.
TEST_F(CheckObject, MaxAgeAgainstTheFilesLastWrite) {
    const std::uint64_t written = LocalMoment(2024, 2, 29, 23, 59, 58);
    ASSERT_NE(written, 0u);
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nall good\r\n"));
    ASSERT_TRUE(SetLastWriteTime(Folder() / L"status.txt", written));
    const std::uint64_t before = Now();
    const Outcome stale = Check(kWords + L"MAXAGE=525600#");
    const std::uint64_t after = Now();
    EXPECT_EQ(stale.up, VARIANT_FALSE);
    EXPECT_TRUE(IsStaleText(stale.result.substr(8), written, before, after, L"2024-02-29 23:59:58")) << stale.result;
    EXPECT_TRUE(HoldOpen(Folder() / L"status.txt", GENERIC_READ | GENERIC_WRITE, 0)) << "the file is closed";

    ASSERT_TRUE(SetLastWriteTime(Folder() / L"status.txt", Now() + 24 * 3600 * 10'000'000ull));
    ExpectOutcome(Check(kWords + L"MAXAGE=1#"), true, L"all good");
}

// The program that writes the status file is never in the way, nor blocked.
TEST_F(CheckObject, FileHeldOpenForWriting) {
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nbeing written\r\n"));
    for (DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        const unique_hfile writer = HoldOpen(Folder() / L"status.txt", GENERIC_WRITE, share);
        ASSERT_TRUE(writer) << "share mode " << share;
        ExpectOutcome(Check(kWords), true, L"being written");
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(writer.get(), "x", 1, &written, nullptr)) << "the writer goes on writing";
    }
}

TEST_F(CheckObject, FileOpenedExclusively) {
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nlocked\r\n"));
    const unique_hfile writer = HoldOpen(Folder() / L"status.txt", GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(writer);
    ExpectOutcome(Check(kWords), false, L"ERR: Permission denied");
}

// The file is closed when the run ends: the writer may replace or delete it at once.
TEST_F(CheckObject, FileClosedAfterEveryRun) {
    for (const char* bytes : {"STATUS OK\r\nx\r\n", ""}) {
        ASSERT_TRUE(WriteStatus(bytes));
        Check(kWords);
        const unique_hfile exclusive = HoldOpen(Folder() / L"status.txt", GENERIC_READ | GENERIC_WRITE, 0);
        EXPECT_TRUE(exclusive) << "after [" << bytes << "]";
    }
}

// ec_parameter values that are not text become text as a script host would turn them.
TEST_F(CheckObject, NonTextParameter) {
    unique_variant null;
    V_VT(null.get()) = VT_NULL;
    unique_variant error;
    V_VT(error.get()) = VT_ERROR;
    V_ERROR(error.get()) = DISP_E_PARAMNOTFOUND;
    unique_variant array;
    V_VT(array.get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(array.get()) = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    const ComPtr<_lineprobeCom> other = NewTestObject();
    ASSERT_TRUE(other);
    const unique_variant object = Object(other.Get());  // an object without a default value
    const unique_variant empty;
    const unique_variant number = Int32(42);

    struct {
        const char* name;
        const VARIANT* value;
        std::wstring text;
    } cases[] = {
        {"VT_NULL", null.get(), L"ERR: Invalid use of Null on line  40"},
        {"VT_ERROR", error.get(), L"ERR: Type mismatch on line  40"},
        {"array", array.get(), L"ERR: Type mismatch on line  40"},
        {"object", object.get(), L"ERR: Type mismatch on line  40"},
        // These have a text form, without a LOGFILE field.
        {"VT_EMPTY", empty.get(), L"ERR: Bad file name or number"},
        {"VT_I4", number.get(), L"ERR: Bad file name or number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectOutcome(Check(*c.value), false, c.text);
    }
}

// A script host calls by DISPID and gets VT_BOOL back.
TEST_F(CheckObject, LateBoundCall) {
    ASSERT_TRUE(WriteStatus("STATUS OK\r\nlate bound\r\n"));
    ASSERT_HRESULT_SUCCEEDED(DispatchPut(m_object.Get(), 0x68030002, *Text(Expand(kWords)).get()));
    unique_variant verdict;
    ASSERT_HRESULT_SUCCEEDED(DispatchGet(m_object.Get(), 0x60030004, verdict, DISPATCH_METHOD));
    EXPECT_EQ(Describe(*verdict.get()), L"VT_BOOL:-1");
    unique_variant result;
    ASSERT_HRESULT_SUCCEEDED(DispatchGet(m_object.Get(), 0x68030003, result));
    EXPECT_EQ(Describe(*result.get()), L"VT_BSTR:late bound");
}

// Every failure path, a thousand times: the process holds as many handles as before.
TEST_F(CheckObject, NoHandleLeftAfterAThousandRuns) {
    ASSERT_TRUE(WriteBytes(Folder() / L"empty.txt", ""));
    ASSERT_TRUE(WriteBytes(Folder() / L"words.txt", "nothing\r\nhere\r\n"));
    ASSERT_TRUE(WriteBytes(Folder() / L"locked.txt", "STATUS OK\r\n"));
    ASSERT_TRUE(WriteBytes(Folder() / L"old.txt", "STATUS OK\r\n"));
    ASSERT_TRUE(SetLastWriteTime(Folder() / L"old.txt", Now() - 3600 * 10'000'000ull));
    unique_variant null;
    V_VT(null.get()) = VT_NULL;
    unique_variant error;
    V_VT(error.get()) = VT_ERROR;
    const std::vector<std::wstring> texts = {
        L"#LOGFILE={d}\\empty.txt#UP=OK#",
        L"#LOGFILE={d}\\words.txt#UP=OK#DOWN=FAIL#",
        L"#LOGFILE={d}\\missing.txt#UP=OK#",
        L"#LOGFILE={d}\\no-folder\\x.txt#UP=OK#",
        L"#LOGFILE={d}#UP=OK#",
        L"#LOGFILE={d}\\a<b>.txt#UP=OK#",
        L"#LOGFILE=#UP=OK#",
        L"#LOGFILE={x}#UP=OK#",
        L"#LOGFILE={d}\\words.txt#PW==YWJ#UP=OK#",
        L"#LOGFILE={d}\\words.txt#USER=bob#UP=OK#",
        L"#LOGFILE=\\\\lineprobe-no-server\\share\\a.txt#USER=bob#PW=c2VjcmV0#UP=OK#",
        L"#LOGFILE={d}\\old.txt#UP=OK#MAXAGE=1#",
        L"#LOGFILE={d}\\old.txt#UP=OK#MAXAGE=0#",
    };
    std::vector<unique_variant> parameters(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        V_BSTR(parameters[i].get()) = MakeBstr(Expand(texts[i])).release();
        V_VT(parameters[i].get()) = VT_BSTR;
    }
    std::vector<const VARIANT*> paths = {null.get(), error.get()};
    for (const auto& parameter : parameters) paths.push_back(parameter.get());

    auto runAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            for (const VARIANT* parameter : paths) RunObject(m_object.Get(), *parameter);
        }
    };
    const unique_variant locked = Text(Folder() / L"locked.txt");
    const unique_hfile holder = HoldOpen(Folder() / L"locked.txt", GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(holder);

    runAll(1);  // the system keeps some handles once it has been asked
    RunObject(m_object.Get(), *Text(L"#LOGFILE=" + Folder() / L"locked.txt" + L"#UP=OK#").get());
    const ULONG before = ProcessHandleCount();
    ASSERT_NE(before, 0u);
    runAll(1000 / static_cast<int>(paths.size()) + 1);
    for (int i = 0; i < 3; ++i) {  // each costs the sharing retries
        RunObject(m_object.Get(), *Text(L"#LOGFILE=" + Folder() / L"locked.txt" + L"#UP=OK#").get());
    }
    EXPECT_EQ(ProcessHandleCount(), before);
}

}  // namespace
}  // namespace lineprobe
