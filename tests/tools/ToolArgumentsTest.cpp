#include <gtest/gtest.h>

#include <sstream>

#include "ToolArguments.h"

namespace lineprobe::tool {
namespace {

std::vector<std::wstring> Split(std::wstring_view line) {
    std::vector<std::wstring> args;
    std::wistringstream in{std::wstring(line)};
    for (std::wstring word; in >> word;) args.push_back(word);
    return args;
}

std::string Narrow(std::wstring_view text) { return testing::PrintToString(std::wstring(text)); }

// Lines that parse: the command and the options that matter.
struct AcceptCase {
    const wchar_t* line;
    Command command;
};

class Accepts : public testing::TestWithParam<AcceptCase> {};

TEST_P(Accepts, Line) {
    const auto& c = GetParam();
    try {
        EXPECT_EQ(ParseArguments(Split(c.line)).command, c.command) << Narrow(c.line);
    } catch (const UsageError& e) {
        ADD_FAILURE() << Narrow(c.line) << " refused: " << Narrow(e.Message());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Accepts, testing::Values(
    AcceptCase{L"check --param #UP=a#", Command::Check},
    AcceptCase{L"check --param=#UP=a#", Command::Check},
    AcceptCase{L"--verbose check --param x", Command::Check},
    AcceptCase{L"check --logfile C:\\a.txt --up OK --down FAIL", Command::Check},
    AcceptCase{L"check --logfile \\\\srv\\s\\a.txt --up OK --down FAIL --user bob", Command::Check},
    AcceptCase{L"check --logfile x --up OK --down FAIL --user bob --password-env PW --verbose --dll c.dll",
               Command::Check},
    AcceptCase{L"check --up - --down FAIL --logfile x", Command::Check},
    AcceptCase{L"configure", Command::Configure},
    AcceptCase{L"configure --param #UP=a# --timeout 30 --dll x.dll", Command::Configure},
    AcceptCase{L"check --param #LOGFILE=x#USER=#PW=#UP=a#DOWN=b#", Command::Check},
    AcceptCase{L"check --param - --verbose", Command::Check},
    AcceptCase{L"check --param-env LP_PARAM", Command::Check},
    AcceptCase{L"configure --param - --timeout 30", Command::Configure},
    AcceptCase{L"configure --param-env=LP_PARAM", Command::Configure},
    AcceptCase{L"configure --param #UP=a#DOWN=b#MAXAGE=5#", Command::Configure},
    AcceptCase{L"check --logfile x --up OK --down FAIL --max-age 525600", Command::Check},
    AcceptCase{L"check --param x --timeout 30", Command::Check},
    AcceptCase{L"check --logfile x --up OK --down FAIL --timeout=86400 --verbose --trace", Command::Check},
    AcceptCase{L"encode-password", Command::EncodePassword},
    AcceptCase{L"decode-password", Command::DecodePassword},
    AcceptCase{L"register", Command::Register},
    AcceptCase{L"unregister --dll C:\\x\\comlineprobe.dll", Command::Unregister},
    AcceptCase{L"--version", Command::Version},
    AcceptCase{L"--version --dll x.dll", Command::Version},
    AcceptCase{L"", Command::Usage},
    AcceptCase{L"--help", Command::Help},
    AcceptCase{L"-h", Command::Help},
    AcceptCase{L"/?", Command::Help},
    // help wins over everything else on the line, even over mistakes
    AcceptCase{L"check --help", Command::Help},
    AcceptCase{L"bogus --nonsense --help", Command::Help}));

// Lines that are refused, with a word the message must contain.
struct RefuseCase {
    const wchar_t* line;
    const wchar_t* says;
};

class Refuses : public testing::TestWithParam<RefuseCase> {};

TEST_P(Refuses, Line) {
    const auto& c = GetParam();
    try {
        ParseArguments(Split(c.line));
        ADD_FAILURE() << Narrow(c.line) << " was accepted";
    } catch (const UsageError& e) {
        EXPECT_NE(e.Message().find(c.says), std::wstring::npos) << Narrow(c.line) << ": " << Narrow(e.Message());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Refuses, testing::Values(
    RefuseCase{L"--verbose", L"no command"},
    RefuseCase{L"chek", L"unknown command"},
    RefuseCase{L"check check", L"unexpected argument at position 2"},
    RefuseCase{L"check --bogus", L"unknown option \"--bogus\""},
    RefuseCase{L"check --bogus=x", L"unknown option \"--bogus\""},
    RefuseCase{L"check -xS3cret", L"unknown option \"-x\""},
    RefuseCase{L"check -pS3cret", L"never taken from the command line"},
    RefuseCase{L"check --pwS3cret", L"never taken from the command line"},
    RefuseCase{L"check --S3cret", L"unknown option at position 2"},
    RefuseCase{L"check --verbose --longerthananyoption", L"unknown option at position 3"},
    RefuseCase{L"check -hS3cret", L"\"-h\" takes no value"},
    RefuseCase{L"check --param", L"needs a value"},
    RefuseCase{L"check --param --verbose", L"needs a value"},
    RefuseCase{L"check --param a --param b", L"given twice"},
    RefuseCase{L"check --verbose=yes --param a", L"takes no value"},
    RefuseCase{L"check", L"check needs"},
    RefuseCase{L"check --logfile x --up OK", L"check needs"},
    RefuseCase{L"check --param x --logfile y", L"cannot be combined"},
    RefuseCase{L"check --param x --user bob", L"cannot be combined"},
    RefuseCase{L"check --param-env V --logfile x", L"--param-env cannot be combined"},
    RefuseCase{L"check --param - --param-env V", L"cannot be combined"},
    RefuseCase{L"configure --param x --param-env V", L"cannot be combined"},
    RefuseCase{L"check --param - --param x", L"given twice"},
    RefuseCase{L"check --param-env=", L"name of a variable"},
    RefuseCase{L"check --param #LOGFILE=x#USER=bob#PW=czNjcmV0#UP=a#DOWN=b#", L"--param -"},
    RefuseCase{L"check --param #UP=a#pw=czNjcmV0#", L"--param-env NAME"},
    RefuseCase{L"check --param #PW=#PW=czNjcmV0#", L"--param -"},
    RefuseCase{L"configure --param #USER=bob#PW=czNjcmV0#", L"--param -"},
    RefuseCase{L"check --logfile x --up a --down b --max-age 0", L"from 1 to 525600"},
    RefuseCase{L"check --logfile x --up a --down b --max-age 525601", L"from 1 to 525600"},
    RefuseCase{L"check --logfile x --up a --down b --max-age=", L"from 1 to 525600"},
    RefuseCase{L"check --logfile x --up a --down b --max-age 1.5", L"from 1 to 525600"},
    RefuseCase{L"check --param x --max-age 5", L"cannot be combined"},
    RefuseCase{L"configure --max-age 5", L"does not apply to configure"},
    RefuseCase{L"check --logfile x --up a --down b --password-env V", L"needs --user"},
    RefuseCase{L"check --logfile x --up a --down b --user u --password-env=", L"name of a variable"},
    RefuseCase{L"configure --verbose", L"does not apply to configure"},
    RefuseCase{L"configure --timeout ten", L"whole number"},
    RefuseCase{L"configure --timeout -5", L"whole number"},
    RefuseCase{L"configure --timeout 99999999999", L"whole number"},
    RefuseCase{L"configure --timeout 2147483648", L"from 1 to 86400"},
    RefuseCase{L"configure --timeout 0", L"from 1 to 86400"},
    RefuseCase{L"check --param x --timeout 86401", L"from 1 to 86400"},
    RefuseCase{L"check --param x --timeout=", L"from 1 to 86400"},
    RefuseCase{L"check --param x --timeout 1.5", L"from 1 to 86400"},
    RefuseCase{L"encode-password --dll x.dll", L"does not apply to encode-password"},
    RefuseCase{L"register --param x", L"does not apply to register"},
    RefuseCase{L"register --dll=", L"needs a path"},
    RefuseCase{L"--version check", L"no command"},
    RefuseCase{L"--version --verbose", L"does not apply to --version"}));

TEST(Parse, KeepsEveryValueAsGiven) {
    const Options o = ParseArguments({L"check", L"--logfile", L" C:\\a b.txt ", L"--up=OK=1", L"--down", L"",
                                      L"--user", L"dom\\bob", L"--password-env", L"LP_PW", L"--dll", L"x.dll",
                                      L"--verbose"});
    EXPECT_EQ(o.logFile, L" C:\\a b.txt ");
    EXPECT_EQ(o.up, L"OK=1");
    EXPECT_EQ(o.down, L"");
    EXPECT_EQ(o.user, L"dom\\bob");
    EXPECT_EQ(o.passwordEnv, L"LP_PW");
    EXPECT_EQ(o.dll, L"x.dll");
    EXPECT_TRUE(o.verbose);
    EXPECT_FALSE(o.param.has_value());
}

TEST(Parse, ReadsTheTimeoutAsANumber) {
    EXPECT_EQ(ParseArguments({L"configure", L"--timeout", L"1"}).timeout, 1);
    EXPECT_EQ(ParseArguments({L"configure", L"--timeout=86400"}).timeout, 86400);
    EXPECT_EQ(ParseArguments({L"check", L"--param", L"x", L"--timeout", L"0030"}).timeout, 30);
    EXPECT_FALSE(ParseArguments({L"configure"}).timeout.has_value());
}

TEST(Parse, TellsWhereTheParameterStringComesFrom) {
    const Options input = ParseArguments({L"check", L"--param", L"-"});
    EXPECT_TRUE(input.paramFromInput);
    EXPECT_FALSE(input.param.has_value());
    const Options variable = ParseArguments({L"configure", L"--param-env", L"LP_PARAM"});
    EXPECT_EQ(variable.paramEnv, L"LP_PARAM");
    EXPECT_FALSE(variable.paramFromInput);
    EXPECT_FALSE(variable.param.has_value());
}

TEST(Parse, ReadsTheMaxAgeAsMinutes) {
    const std::vector<std::wstring> line{L"check", L"--logfile", L"x", L"--up", L"a", L"--down", L"b"};
    auto with = [&line](std::initializer_list<std::wstring> more) {
        std::vector<std::wstring> args = line;
        args.insert(args.end(), more);
        return ParseArguments(args).maxAge;
    };
    EXPECT_EQ(with({L"--max-age", L" 15 "}), 15u);
    EXPECT_EQ(with({L"--max-age=0090"}), 90u);
    EXPECT_FALSE(with({}).has_value());
}

TEST(Parse, AnEmptyParameterStringIsAValue) {
    EXPECT_EQ(ParseArguments({L"configure", L"--param="}).param, L"");
    EXPECT_EQ(ParseArguments({L"check", L"--param", L""}).param, L"");
}

// A password typed on the command line by mistake must not come back in the message.
TEST(Parse, NeverRepeatsAValueInAMessage) {
    const std::vector<std::vector<std::wstring>> lines{
        {L"check", L"--password", L"Sesam0pen"},
        {L"check", L"--password=Sesam0pen"},
        {L"check", L"--pw=Sesam0pen"},
        {L"check", L"--logfile", L"x", L"--up", L"a", L"--down", L"b", L"--user", L"u", L"Sesam0pen"},
        {L"Sesam0pen"},
        {L"check", L"--secret=Sesam0pen"},
        {L"configure", L"--timeout=Sesam0pen"},
        {L"check", L"-xSesam0pen"},
        {L"check", L"--Sesam0pen"},
        {L"check", L"--pwsesamopen"},
        {L"check", L"--sesam0pen=x"},
        {L"check", L"--param", L"#PW=Sesam0pen#"},
        {L"check", L"--logfile", L"x", L"--up", L"a", L"--down", L"b", L"--max-age=Sesam0pen"},
    };
    for (const auto& line : lines) {
        try {
            ParseArguments(line);
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_EQ(e.Message().find(L"Sesam0pen"), std::wstring::npos) << Narrow(e.Message());
        }
    }
}

TEST(Parse, PointsAtStandardInputForPasswords) {
    try {
        ParseArguments({L"check", L"--password", L"x"});
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_NE(e.Message().find(L"standard input"), std::wstring::npos) << Narrow(e.Message());
        EXPECT_NE(e.Message().find(L"--password-env"), std::wstring::npos) << Narrow(e.Message());
    }
}

TEST(Usage, NamesEveryCommand) {
    for (const wchar_t* word : {L"check", L"configure", L"encode-password", L"decode-password", L"register",
                                L"unregister", L"--version", L"--password-env", L"--dll", L"--timeout",
                                L"--param -", L"--param-env", L"--max-age"}) {
        EXPECT_NE(kUsage.find(word), std::wstring_view::npos) << Narrow(word);
    }
}

}  // namespace
}  // namespace lineprobe::tool
