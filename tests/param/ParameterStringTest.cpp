#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <string>

#include "ParameterString.h"

namespace lineprobe {
namespace {

struct LookupCase {
    const wchar_t* text;
    const wchar_t* key;
    const wchar_t* expected;
};

class Lookup : public testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, FindsTheFirstMatchingField) {
    const auto& c = GetParam();
    EXPECT_EQ(GetParameterField(c.text, c.key), c.expected) << "text " << testing::PrintToString(std::wstring(c.text))
                                                           << " key " << testing::PrintToString(std::wstring(c.key));
    // The one-pass lookup of the check finds the same, beside a key that never occurs.
    const std::wstring_view keys[] = {L"NONE", TrimmedView(c.key)};
    std::wstring_view values[2];
    FindFieldValues(c.text, keys, values);
    EXPECT_EQ(values[1], c.expected) << "in one pass, text " << testing::PrintToString(std::wstring(c.text));
}

const wchar_t* const kFull = L"#LOGFILE=C:\\a.txt#USER=#PW=#UP=OK#DOWN=FAIL#";

INSTANTIATE_TEST_SUITE_P(Cases, Lookup, testing::Values(
    LookupCase{L"#LOGFILE=C:\\a.txt#", L"USER", L""},
    LookupCase{kFull, L"LOGFILE", L"C:\\a.txt"},
    LookupCase{kFull, L"USER", L""},
    LookupCase{kFull, L"PW", L""},
    LookupCase{kFull, L"UP", L"OK"},
    LookupCase{kFull, L"DOWN", L"FAIL"},
    // keys match without regard to case; values keep theirs
    LookupCase{L"#logfile=C:\\Logs\\A.txt#", L"LOGFILE", L"C:\\Logs\\A.txt"},
    LookupCase{kFull, L"up", L"OK"},
    LookupCase{kFull, L"  Up  ", L"OK"},
    // "#" before and "=" after the key: UP never matches inside USER
    LookupCase{L"#USER=bob#UPX=1#UP=yes#", L"UP", L"yes"},
    LookupCase{L"#USER=UP=x#", L"UP", L""},
    LookupCase{L"#PW=YQ==#UP=OK#", L"PW", L"YQ=="},
    // "#" inside a value ends it, and what follows reads as a field of its own
    LookupCase{L"#LOGFILE=C:\\logs\\run#1.txt#UP=OK#", L"LOGFILE", L"C:\\logs\\run"},
    LookupCase{L"#LOGFILE=x#UP=y#USER=#PW=#UP=OK#DOWN=FAIL#", L"UP", L"y"},
    LookupCase{L"#UP=first#UP=second#", L"UP", L"first"},
    LookupCase{L"#UP=OK", L"UP", L"OK"},
    LookupCase{L"#UP= OK #", L"UP", L" OK "},
    LookupCase{L"#UP=\tOK\t#", L"UP", L"\tOK\t"},
    LookupCase{L"#LOGFILE=#USER=#PW=#UP=#DOWN=#", L"DOWN", L""},
    LookupCase{L"", L"LOGFILE", L""},
    LookupCase{L"junk before#UP=OK#", L"UP", L"OK"},
    LookupCase{L"#UP=", L"UP", L""},
    LookupCase{L"#UP", L"UP", L""},
    LookupCase{L"#DOWN=x#U", L"UP", L""},
    LookupCase{L"#", L"", L""},
    LookupCase{L"#=v#", L"", L"v"},
    LookupCase{L"#logfile=x#", L"LOGFILE", L"x"},
    LookupCase{L"#\u00fcp=x#", L"UP", L""}));

// Case folding is ASCII: under a locale whose upper case of "i" is not "I",
// "#logfile=" still matches LOGFILE.
TEST(LookupUnderTurkishLocale, FoldsAsciiOnly) {
    const char* const previous = std::setlocale(LC_ALL, nullptr);
    const std::string restore = previous ? previous : "C";
    bool set = false;
    for (const char* name : {"tr_TR.UTF-8", "tr_TR.utf8", "Turkish_Turkey.1254"}) {
        if (std::setlocale(LC_ALL, name)) {
            set = true;
            break;
        }
    }
    const bool dottedCapitalI = set && std::towupper(L'i') != L'I';
    const std::wstring logFile = GetParameterField(L"#logfile=x#", L"LOGFILE");
    const std::wstring key = GetParameterField(L"#LOGFILE=y#", L"logfile");
    std::setlocale(LC_ALL, restore.c_str());
    if (!dottedCapitalI) GTEST_SKIP() << "no locale here whose upper case of i is not I";
    EXPECT_EQ(logFile, L"x");
    EXPECT_EQ(key, L"y");
}

TEST(Trim, RemovesSpacesOnly) {
    EXPECT_EQ(Trim(L"  a b  "), L"a b");
    EXPECT_EQ(Trim(L"\t a \t"), L"\t a \t");
    EXPECT_EQ(Trim(L"    "), L"");
    EXPECT_EQ(Trim(L""), L"");
    EXPECT_EQ(Trim(L"x"), L"x");
}

TEST(BuildParameterString, WritesFiveFieldsInOrderTrimmedWithEncodedPassword) {
    EXPECT_EQ(BuildParameterString({L"C:\\logs\\state.txt", L"", L"", L"OK", L"FAIL"}),
              L"#LOGFILE=C:\\logs\\state.txt#USER=#PW=#UP=OK#DOWN=FAIL#");
    EXPECT_EQ(BuildParameterString({L"", L"", L"", L"up", L"down"}),
              L"#LOGFILE=#USER=#PW=#UP=up#DOWN=down#");
    EXPECT_EQ(BuildParameterString({}), L"#LOGFILE=#USER=#PW=#UP=#DOWN=#");
    EXPECT_EQ(BuildParameterString({L"  \\\\srv\\s\\a b.txt ", L" dom\\bob ", L"  abc  ", L" is up ", L" down "}),
              L"#LOGFILE=\\\\srv\\s\\a b.txt#USER=dom\\bob#PW=YWJj#UP=is up#DOWN=down#");
    EXPECT_EQ(BuildParameterString({L"\tC:\\x", L"", L"a b", L"", L""}),
              L"#LOGFILE=\tC:\\x#USER=#PW=YSBi#UP=#DOWN=#");
}

TEST(BuildParameterString, MaxAgeComesLastAndOnlyWithAValue) {
    const ParameterFields plain{L"C:\\a.txt", L"", L"", L"OK", L"FAIL", L"   "};
    EXPECT_EQ(BuildParameterString(plain), L"#LOGFILE=C:\\a.txt#USER=#PW=#UP=OK#DOWN=FAIL#");
    const std::wstring built = BuildParameterString({L"C:\\a.txt", L"", L"", L"OK", L"FAIL", L" 15 "});
    EXPECT_EQ(built, L"#LOGFILE=C:\\a.txt#USER=#PW=#UP=OK#DOWN=FAIL#MAXAGE=15#");
    EXPECT_EQ(GetParameterField(built, L"DOWN"), L"FAIL");
    EXPECT_EQ(GetParameterField(built, L"MAXAGE"), L"15");
}

TEST(ParseMaxAge, WholeMinutesFromOneToAYear) {
    struct {
        const wchar_t* value;
        bool valid;
        unsigned minutes;
    } cases[] = {
        {L"", true, 0},        {L"   ", true, 0},     {L"15", true, 15},     {L" 1 ", true, 1},
        {L"525600", true, 525600}, {L"0", false, 0},  {L"-5", false, 0},     {L"525601", false, 0},
        {L"1.5", false, 0},    {L"15m", false, 0},    {L"\t15", false, 0},  {L"99999999999", false, 0},
        {L"4294967311", false, 0},  // 2^32 + 15
    };
    for (const auto& c : cases) {
        const MaxAge age = ParseMaxAge(c.value);
        EXPECT_EQ(age.valid, c.valid) << testing::PrintToString(std::wstring(c.value));
        EXPECT_EQ(age.minutes, c.minutes) << testing::PrintToString(std::wstring(c.value));
    }
}

TEST(ParseTimeLimit, WholeSecondsFromOneToADayElseNoLimit) {
    struct {
        const wchar_t* value;
        unsigned seconds;
    } cases[] = {
        {L"30", 30}, {L" 1 ", 1}, {L"86400", 86400}, {L"", 0},    {L"0", 0},          {L"-5", 0},
        {L"1.5", 0}, {L"86401", 0}, {L"30s", 0},     {L"\t30", 0}, {L"4294967326", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseTimeLimit(c.value), c.seconds) << testing::PrintToString(std::wstring(c.value));
    }
}

TEST(BuildParameterString, ReadsBackThroughTheLookup) {
    const std::wstring built = BuildParameterString({L"C:\\a=b.txt", L"bob", L"pw", L"=", L"x=y"});
    EXPECT_EQ(GetParameterField(built, L"LOGFILE"), L"C:\\a=b.txt");
    EXPECT_EQ(GetParameterField(built, L"USER"), L"bob");
    EXPECT_EQ(GetParameterField(built, L"UP"), L"=");
    EXPECT_EQ(GetParameterField(built, L"DOWN"), L"x=y");
}

TEST(BuildParameterString, HashInAnEarlierBoxShadowsALaterField) {
    const std::wstring built = BuildParameterString({L"x#UP=y", L"", L"", L"OK", L"FAIL"});
    EXPECT_EQ(built, L"#LOGFILE=x#UP=y#USER=#PW=#UP=OK#DOWN=FAIL#");
    EXPECT_EQ(GetParameterField(built, L"LOGFILE"), L"x");
    EXPECT_EQ(GetParameterField(built, L"UP"), L"y");
}

}  // namespace
}  // namespace lineprobe
