#include <gtest/gtest.h>

#include "Base64.h"
#include "CodePage.h"
#include "Failure.h"

namespace lineprobe {
namespace {

TEST(MapSextet, MapsBothWays) {
    EXPECT_EQ(MapSextet(-1), L'=');
    EXPECT_EQ(MapSextet(0), L'A');
    EXPECT_EQ(MapSextet(25), L'Z');
    EXPECT_EQ(MapSextet(26), L'a');
    EXPECT_EQ(MapSextet(52), L'0');
    EXPECT_EQ(MapSextet(63), L'/');
    EXPECT_EQ(MapSextet(L"A"), 0);
    EXPECT_EQ(MapSextet(L"/"), 63);
    EXPECT_EQ(MapSextet(L"+x"), 62);
    EXPECT_EQ(MapSextet(L"="), 0);
    EXPECT_EQ(MapSextet(L"*"), 0);
    EXPECT_EQ(MapSextet(L""), 0);
    for (int v = 0; v < 64; ++v) {
        const wchar_t c = MapSextet(v);
        EXPECT_EQ(MapSextet(std::wstring_view(&c, 1)), v);
    }
}

struct CodecCase {
    const wchar_t* plain;
    const wchar_t* encoded;
};

class StandardVectors : public testing::TestWithParam<CodecCase> {};

TEST_P(StandardVectors, EncodeAndDecode) {
    EXPECT_EQ(Base64Encode(GetParam().plain), GetParam().encoded);
    EXPECT_EQ(Base64Decode(GetParam().encoded), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(Rfc4648, StandardVectors, testing::Values(
    CodecCase{L"", L""}, CodecCase{L"a", L"YQ=="}, CodecCase{L"ab", L"YWI="},
    CodecCase{L"abc", L"YWJj"}, CodecCase{L"f", L"Zg=="}, CodecCase{L"foobar", L"Zm9vYmFy"},
    CodecCase{L"p@ss word", L"cEBzcyB3b3Jk"}, CodecCase{L"\u00ff\u00fe", L"//4="}));

struct LenientCase {
    std::wstring encoded;
    std::wstring plain;
};

class LenientDecoding : public testing::TestWithParam<LenientCase> {};

TEST_P(LenientDecoding, ReadsWhatItCan) {
    EXPECT_EQ(Base64Decode(GetParam().encoded), GetParam().plain) << testing::PrintToString(GetParam().encoded);
    EXPECT_EQ(DecodePassword(GetParam().encoded), GetParam().plain) << testing::PrintToString(GetParam().encoded);
}

std::wstring Repeated(std::wstring_view piece, std::size_t times) {
    std::wstring text;
    while (times-- > 0) text += piece;
    return text;
}

INSTANTIATE_TEST_SUITE_P(Groups, LenientDecoding, testing::Values(
    LenientCase{L"YQ", L"a"},           // missing places count as "="
    LenientCase{L"YWI", L"ab"},
    LenientCase{L"Y", L""},
    LenientCase{L"YQ==YWJj", L"aabc"},  // "=" cuts only its own group
    LenientCase{L"YQ=A", L"a"},
    LenientCase{L"YW=j", L"a"},
    LenientCase{L"Y===", L""},
    LenientCase{L"Y=YW", L""},
    LenientCase{L"Y*==", L"`"},         // unknown characters count as "A" in place
    LenientCase{L"YA==", L"`"},
    LenientCase{L"Y UZ", L"`\u0005\u0019"},
    LenientCase{L"\u0159WJj", L"\u0001bc"},  // beyond 255 too, whatever its low byte
    LenientCase{L"YW\u013Dj", L"a`#"},
    LenientCase{L"YWJj\r\nYWJj", std::wstring(L"abc\0\u0006\u0016&", 7)},
    LenientCase{L"YWJjYQ", L"abca"},
    // A short last group just past the 192 bytes that fit on the stack, and further on.
    LenientCase{Repeated(L"YWJj", 64) + L"YQ", Repeated(L"abc", 64) + L"a"},
    LenientCase{Repeated(L"YWJj", 64) + L"YWI", Repeated(L"abc", 64) + L"ab"},
    LenientCase{Repeated(L"YWJj", 65) + L"YWI", Repeated(L"abc", 65) + L"ab"}));

TEST(Base64Decode, FailsOnAGroupThatBeginsWithPadding) {
    for (const wchar_t* text : {L"=YWJ", L"YWJj=AAA", L"=", L"YWJj=", L"===="}) {
        try {
            Base64Decode(text);
            ADD_FAILURE() << "no failure for " << testing::PrintToString(std::wstring(text));
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Kind(), FailureKind::InvalidProcedureCall);
            EXPECT_EQ(failure.Description(), L"Invalid procedure call or argument");
        }
    }
}

TEST(Base64, RoundTripsEverySingleByteText) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    for (std::size_t length = 0; length <= all.size(); ++length) {
        const std::string bytes = all.substr(all.size() - length);
        const std::string encoded = Base64EncodeBytes(bytes);
        EXPECT_EQ(Base64DecodeBytes(std::wstring(encoded.begin(), encoded.end())), bytes);
    }
    // Through text: a single-byte code page maps every byte to a character and back.
    if (AnsiIsSingleByte()) {
        const std::wstring text = FromAnsi(all.substr(1));
        EXPECT_EQ(ToAnsi(text), all.substr(1));
        EXPECT_EQ(DecodePassword(EncodePassword(text)), text);
    }
}

TEST(Base64, CharacterOutsideTheCodePageIsStoredAsQuestionMark) {
    EXPECT_EQ(EncodePassword(L"\u2603"), EncodePassword(L"?"));
    EXPECT_EQ(DecodePassword(EncodePassword(L"a\u2603b")), L"a?b");
}

TEST(CodePage, WindowsAnsiAndTheNativeSetAgreeOnLatinText) {
    EXPECT_EQ(ToAnsi(L"caf\u00e9\u00a0\u20ac"), "caf\xe9\xa0\x80");
    EXPECT_EQ(FromAnsi("caf\xe9\xa0\x80"), L"caf\u00e9\u00a0\u20ac");
    EXPECT_EQ(EncodePassword(L"\u00e9"), L"6Q==");
}

// A short password lives inside the string object itself, so a move copies it:
// the string it came from is wiped, spare room included.
TEST(SecretText, WipesTheStringItWasMovedFrom) {
    for (const wchar_t* password : {L"ab", L"a password long enough for the heap"}) {
        std::wstring source = password;
        const SecretText secret(std::move(source));
        EXPECT_EQ(secret, password);
        const std::wstring_view left(source.data(), source.capacity());
        EXPECT_EQ(left.find_first_not_of(L'\0'), std::wstring_view::npos);
    }
}

// The buffer the string has when the scope ends, not the one it had at the start.
TEST(WipedOnExit, WipesTheStringAfterItGrew) {
    std::string text;
    text.reserve(32);
    {
        const WipedOnExit wipe(text);
        text.assign(100, 'x');
    }
    EXPECT_EQ(text, std::string(100, '\0'));
}

}  // namespace
}  // namespace lineprobe
