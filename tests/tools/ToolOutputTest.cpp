#include <gtest/gtest.h>

#include "ToolOutput.h"

namespace lineprobe::tool {
namespace {

std::string Show(std::wstring_view text) { return testing::PrintToString(std::wstring(text)); }

struct ExitCase {
    bool up;
    const wchar_t* text;
    int expected;
};

class Exit : public testing::TestWithParam<ExitCase> {};

TEST_P(Exit, FollowsThePluginConvention) {
    const auto& c = GetParam();
    EXPECT_EQ(ExitCodeFor(c.up, c.text), c.expected) << (c.up ? "up " : "down ") << Show(c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, Exit, testing::Values(
    ExitCase{true, L"all fine", 0},
    ExitCase{true, L"", 0},
    ExitCase{false, L"disk full", 2},
    ExitCase{false, L"", 2},
    ExitCase{false, L"ERR: None found", 3},
    ExitCase{false, L"ERR: File not found", 3},
    ExitCase{false, L"ERR:no space", 2},
    ExitCase{false, L"err: lower case", 2},
    ExitCase{false, L" ERR: indented", 2},
    ExitCase{true, L"ERR: written by the monitored program", 0}));

struct MaskCase {
    const wchar_t* text;
    const wchar_t* expected;
};

class Mask : public testing::TestWithParam<MaskCase> {};

TEST_P(Mask, HidesEveryPasswordField) {
    const auto& c = GetParam();
    EXPECT_EQ(MaskPassword(c.text), c.expected) << Show(c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mask, testing::Values(
    MaskCase{L"#LOGFILE=\\\\s\\a\\b.txt#USER=bob#PW=U2VzYW0=#UP=OK#DOWN=FAIL#",
             L"#LOGFILE=\\\\s\\a\\b.txt#USER=bob#PW=********#UP=OK#DOWN=FAIL#"},
    MaskCase{L"#LOGFILE=C:\\a.txt#USER=#PW=#UP=OK#DOWN=FAIL#", L"#LOGFILE=C:\\a.txt#USER=#PW=#UP=OK#DOWN=FAIL#"},
    MaskCase{L"#pw=YQ==#", L"#pw=********#"},
    MaskCase{L"#Pw=YQ==", L"#Pw=********"},
    MaskCase{L"#PW=a#PW=b#UP=x#", L"#PW=********#PW=********#UP=x#"},
    MaskCase{L"#UPW=x#XPW=y#", L"#UPW=x#XPW=y#"},
    MaskCase{L"#PWD=x#", L"#PWD=x#"},
    MaskCase{L"#USER=PW=x#", L"#USER=PW=x#"},
    MaskCase{L"#PW=", L"#PW="},
    MaskCase{L"", L""},
    MaskCase{L"no fields at all", L"no fields at all"}));

TEST(Mask, NeverShowsTheValueOrItsLength) {
    const std::wstring masked = MaskPassword(L"#PW=c2VjcmV0c2VjcmV0c2VjcmV0#");
    EXPECT_EQ(masked.find(L"c2Vj"), std::wstring::npos);
    EXPECT_EQ(MaskPassword(L"#PW=YQ==#").size(), MaskPassword(L"#PW=YWJjZGVmZ2hpamts#").size());
}

struct DoubtCase {
    const wchar_t* value;
    const wchar_t* doubt;
};

class Doubt : public testing::TestWithParam<DoubtCase> {};

TEST_P(Doubt, NamesWhatIsNotWellFormedBase64) {
    const auto& c = GetParam();
    EXPECT_EQ(Base64Doubt(c.value), c.doubt) << Show(c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, Doubt, testing::Values(
    DoubtCase{L"U2VjcmV0MQ==", L""},
    DoubtCase{L"YWJj", L""},
    DoubtCase{L"YQ==", L""},
    DoubtCase{L"", L""},
    DoubtCase{L"U2Vj!!!", L"characters outside A-Z, a-z, 0-9, + and /, a length that is not a multiple of four"},
    DoubtCase{L"U2Vj cmV0", L"characters outside A-Z, a-z, 0-9, + and /, a length that is not a multiple of four"},
    DoubtCase{L"YWJj\u00e9A==", L"characters outside A-Z, a-z, 0-9, + and /"},
    DoubtCase{L"YWJ", L"a length that is not a multiple of four"},
    DoubtCase{L"YQ=", L"a length that is not a multiple of four"},
    DoubtCase{L"YQ==YQ==", L"\"=\" before the end"},
    DoubtCase{L"Y===", L"\"=\" before the end"}));

struct LineCase {
    const wchar_t* text;
    const wchar_t* expected;
};

class Line : public testing::TestWithParam<LineCase> {};

TEST_P(Line, FitsOnOneLine) {
    const auto& c = GetParam();
    EXPECT_EQ(OneLine(c.text), c.expected) << Show(c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, Line, testing::Values(
    LineCase{L"plain", L"plain"},
    LineCase{L"ERR: The system cannot find the file specified.\r\n", L"ERR: The system cannot find the file specified."},
    LineCase{L"a\r\nb", L"a b"},
    LineCase{L"a\n\n\nb\r", L"a b"},
    LineCase{L"  spaces stay  ", L"  spaces stay  "},
    LineCase{L"tab\tstays", L"tab\tstays"},
    LineCase{L"\r\n", L""},
    LineCase{L"", L""}));

TEST(Hresult, IsPrintedInHex) {
    EXPECT_EQ(HresultText(0x80070005u), L"HRESULT 0x80070005");
    EXPECT_EQ(HresultText(0), L"HRESULT 0x00000000");
    EXPECT_EQ(HresultText(0x8002801Cu), L"HRESULT 0x8002801C");
}

TEST(RegistrationAdvice, NamesMissingAdministratorRights) {
    for (const std::uint32_t hr : {0x80070005u, 0x8002801Cu, 0x80040200u, 0x80040201u}) {
        EXPECT_NE(RegistrationAdvice(hr).find(L"administrator rights"), std::wstring::npos) << std::hex << hr;
    }
    EXPECT_NE(RegistrationAdvice(0x800700C1u).find(L"bitness"), std::wstring::npos);
    EXPECT_EQ(RegistrationAdvice(0x80004005u), L"");
}

}  // namespace
}  // namespace lineprobe::tool
