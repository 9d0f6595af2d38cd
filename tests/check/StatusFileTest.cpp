// The status-file reader: line ends, byte-order marks, the line bound, and how
// far it reads.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "CheckSteps.h"
#include "MemorySource.h"
#include "StatusFile.h"

namespace lineprobe {
namespace {

using fakes::HugeSource;
using fakes::MemorySource;
using Lines = std::vector<std::wstring>;
using namespace std::string_literals;

// Up to three lines, read the way the check reads them.
Lines ReadLines(const std::string& bytes, std::size_t blockSize, std::size_t chunk = static_cast<std::size_t>(-1),
                unsigned codePage = kSystemCodePage) {
    MemorySource source(bytes, chunk);
    LineReader reader(source, blockSize, codePage);
    Lines lines;
    while (lines.size() < 3) {
        std::optional<std::wstring> line = reader.ReadLine();
        if (!line) break;
        lines.push_back(*line);
    }
    return lines;
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes;
    for (char16_t c : text) {
        const char low = static_cast<char>(c & 0xFF);
        const char high = static_cast<char>(c >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

struct LineCase {
    const char* name;
    std::string bytes;
    Lines lines;
    std::wstring word = {};  // found in the first line read in pieces
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineEnds : public ::testing::TestWithParam<LineCase> {};

// The first line as the check reads it: joined from its pieces and searched across them.
struct Pieces final : TextSink {
    explicit Pieces(std::wstring_view word) : search(word) {}
    void Add(std::wstring_view piece) override { text += piece, search.Add(piece); }
    std::wstring text;
    WordSearch search;
};

// Every case also runs with tiny blocks, so that a CR LF or a mark split
// between two reads is met, and with blocks of 64 bytes, the stride of the
// line-end search.
TEST_P(LineEnds, SameLinesForEveryBlockSize) {
    for (std::size_t blockSize : {1u, 2u, 3u, 5u, 64u, 65536u}) {
        EXPECT_EQ(ReadLines(GetParam().bytes, blockSize), GetParam().lines) << "block size " << blockSize;
        MemorySource source(GetParam().bytes);
        LineReader reader(source, blockSize);
        Pieces first(GetParam().word);
        EXPECT_EQ(reader.ReadLine(first), !GetParam().lines.empty());
        EXPECT_EQ(first.text, GetParam().lines.empty() ? L"" : GetParam().lines[0]) << "block size " << blockSize;
        EXPECT_TRUE(GetParam().word.empty() || first.search.Found()) << "block size " << blockSize;
    }
    EXPECT_EQ(ReadLines(GetParam().bytes, 65536, 1), GetParam().lines) << "one byte per read";
}

const LineCase kLineCases[] = {
    {"CrLf", "up\r\nsecond\r\nthird\r\n", {L"up", L"second", L"third"}},
    {"Lf", "up\nsecond\nthird\n", {L"up", L"second", L"third"}},
    {"Cr", "up\rsecond\rthird\r", {L"up", L"second", L"third"}},
    {"Mixed", "up\rsecond\nthird\r\n", {L"up", L"second", L"third"}},
    {"NoFinalBreak", "up\r\nsecond", {L"up", L"second"}},
    {"OneLineNoBreak", "up", {L"up"}},
    {"OneLineWithBreak", "up\r\n", {L"up"}},
    {"Empty", "", {}},
    {"CrLfOnly", "\r\n", {L""}},
    {"TwoCrLf", "\r\n\r\n", {L"", L""}},
    {"LfThenCrIsTwoEnds", "\n\r", {L"", L""}},
    {"CrThenCrLf", "\r\r\n", {L"", L""}},
    {"CrCrIsTwoEnds", "a\r\rb", {L"a", L"", L"b"}},
    {"EmptyFirstLine", "\r\nsecond", {L"", L"second"}},
    {"SpacesAndTabsKept", " a\tb \r\n", {L" a\tb "}},
    {"NulKept", "a\0b\r\n"s, {L"a\0b"s}},
    {"Ansi", "\xE9t\xE9\r\n\x80", {L"\u00E9t\u00E9", L"\u20AC"}},
    {"PartialUtf8MarkIsAnsi", "\xEF\xBB", {L"\u00EF\u00BB"}},
    {"Utf8Mark", "\xEF\xBB\xBF" "caf\xC3\xA9 OK\r\n\xE2\x82\xAC 5", {L"caf\u00E9 OK", L"\u20AC 5"}},
    {"Utf8MarkOnly", "\xEF\xBB\xBF", {}},
    {"Utf8MarkThenCrLf", "\xEF\xBB\xBF\r\n", {L""}},
    {"Utf8SupplementaryCharacter", "\xEF\xBB\xBF\xF0\x9F\x98\x80\n", {std::wstring(L"\U0001F600")}},
    {"Utf8Malformed", "\xEF\xBB\xBF" "a\xFF" "b\xC3\n\xE2\x82", {L"a\uFFFDb\uFFFD", L"\uFFFD"}},
    {"Utf8Overlong", "\xEF\xBB\xBF\xC0\xAF\n", {L"\uFFFD\uFFFD"}},
    {"Utf8EncodedSurrogate", "\xEF\xBB\xBF\xED\xA0\x80\n", {L"\uFFFD"}},
    {"Utf16Le", "\xFF\xFE" + Utf16(u"STATUS OK\r\nfine \u00E9\r\n", false), {L"STATUS OK", L"fine \u00E9"}},
    {"Utf16Be", "\xFE\xFF" + Utf16(u"STATUS OK\nfine\n", true), {L"STATUS OK", L"fine"}},
    {"Utf16LeCr", "\xFF\xFE" + Utf16(u"a\rb", false), {L"a", L"b"}},
    // U+0D0A holds the bytes of CR and LF but ends no line.
    {"Utf16LeLineEndBytesInsideCharacter", "\xFF\xFE" + Utf16(u"\u0D0A\u0A0D\r\nx", false),
     {L"\u0D0A\u0A0D", L"x"}},
    {"Utf16BeLineEndBytesInsideCharacter", "\xFE\xFF" + Utf16(u"\u0D0A\u0A0D\nx", true), {L"\u0D0A\u0A0D", L"x"}},
    {"Utf16SurrogatePair", "\xFF\xFE" + Utf16(u"\U0001F600!", false), {std::wstring(L"\U0001F600!")}},
    // High surrogates from DB80 up, across block ends in both byte orders.
    {"Utf16LeHighestPlanes", "\xFF\xFE" + Utf16(u"\U000F0000\U0010FFFF", false),
     {std::wstring(L"\U000F0000\U0010FFFF")}},
    {"Utf16BeHighestPlanes", "\xFE\xFF" + Utf16(u"\U000F0000\U0010FFFF", true),
     {std::wstring(L"\U000F0000\U0010FFFF")}},
    {"Utf16LoneSurrogate", "\xFF\xFE" + Utf16(u"a", false) + "\x00\xD8"s + Utf16(u"b", false), {L"a\uFFFDb"}},
    {"Utf16OddLastByteDropped", "\xFF\xFE" + Utf16(u"ab", false) + "c", {L"ab"}},
    {"Utf16MarkOnly", "\xFF\xFE", {}},
    // With 64-byte blocks a block ends inside the word; in UTF-8 inside its first
    // character, and the reader's first piece of 8 KiB ends inside its last.
    {"AnsiWordCutByABlockEnd", std::string(62, '.') + "WORD", {std::wstring(62, L'.') + L"WORD"}, L"WORD"},
    {"Utf8WordCutByABlockEnd", "\xEF\xBB\xBF" + std::string(8188, '.') + "\xC3\xA9t\xC3\xA9",
     {std::wstring(8188, L'.') + L"\u00E9t\u00E9"}, L"\u00E9t\u00E9"},
    {"Utf16LeWordCutByABlockEnd", "\xFF\xFE" + Utf16(std::u16string(30, u'.') + u"WORD", false),
     {std::wstring(30, L'.') + L"WORD"}, L"WORD"},
    {"Utf16BeWordCutByABlockEnd", "\xFE\xFF" + Utf16(std::u16string(30, u'.') + u"WORD", true),
     {std::wstring(30, L'.') + L"WORD"}, L"WORD"},
    // Lines longer than the search's stride; with 64-byte blocks the line ends
    // are the last byte or unit of a block and the euro sign straddles two.
    {"LineEndLastByteOfABlock", std::string(63, 'a') + "\n" + std::string(63, 'b') + "\r\nc",
     {std::wstring(63, L'a'), std::wstring(63, L'b'), L"c"}},
    {"Utf16LineEndLastUnitOfABlock", "\xFF\xFE" + Utf16(std::u16string(30, u'a') + u"\r\nx", false),
     {std::wstring(30, L'a'), L"x"}},
    {"Utf8CharacterAcrossBlocks", "\xEF\xBB\xBF" + std::string(60, 'a') + "\xE2\x82\xAC" "z\n",
     {std::wstring(60, L'a') + L"\u20ACz"}},
    // Lead byte E0 (U+0800 to U+0FFF): with 64-byte blocks the cut falls after its second byte.
    {"Utf8LeadE0AcrossBlocks", "\xEF\xBB\xBF" + std::string(59, 'a') + "\xE0\xA4\x85\xE0\xA0\x80z\n",
     {std::wstring(59, L'a') + L"\u0905\u0800z"}},
    {"AnsiAfterALongAsciiRun", std::string(40, 'a') + "\xE9\x80" + std::string(20, 'b') + "\n",
     {std::wstring(40, L'a') + L"\u00E9\u20AC" + std::wstring(20, L'b')}},
};

INSTANTIATE_TEST_SUITE_P(Reader, LineEnds, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Encoding, MarkAndLength) {
    struct {
        std::string start;
        TextEncoding encoding;
        std::size_t length;
    } cases[] = {
        {"\xEF\xBB\xBFx", TextEncoding::Utf8, 3},
        {"\xFF\xFEx", TextEncoding::Utf16Le, 2},
        {"\xFE\xFFx", TextEncoding::Utf16Be, 2},
        {"\xEF\xBBx", TextEncoding::Ansi, 0},
        {"\xFFx", TextEncoding::Ansi, 0},
        {"", TextEncoding::Ansi, 0},
    };
    for (const auto& c : cases) {
        const EncodingMark mark = DetectEncoding(c.start);
        EXPECT_EQ(mark.encoding, c.encoding) << ::testing::PrintToString(c.start);
        EXPECT_EQ(mark.length, c.length) << ::testing::PrintToString(c.start);
    }
}

// The bound keeps 1 MiB of a line's bytes and skips the rest up to the line end.
TEST(LineBound, KeepsOneMebibyteAndFindsTheNextLine) {
    const std::string longLine = std::string(kLineByteLimit, 'a') + std::string(5000, 'b');
    const Lines lines = ReadLines(longLine + "\r\nsecond\r\n", 65536);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::wstring(kLineByteLimit, L'a'));
    EXPECT_EQ(lines[1], L"second");
}

TEST(LineBound, ExactlyOneMebibyteIsKeptWhole) {
    const Lines lines = ReadLines(std::string(kLineByteLimit, 'x') + "\nnext", 65536);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), kLineByteLimit);
    EXPECT_EQ(lines[1], L"next");
}

TEST(LineBound, Utf8CharacterCutByTheBoundIsDropped) {
    // Three-byte characters after the mark: the bound falls inside one.
    std::string line;
    while (line.size() < kLineByteLimit + 10) line += "\xE2\x82\xAC";
    const Lines lines = ReadLines("\xEF\xBB\xBF" + line + "\nnext", 65536);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::wstring(kLineByteLimit / 3, L'\u20AC'));
    EXPECT_EQ(lines[1], L"next");
}

TEST(LineBound, Utf16PairCutByTheBoundIsDropped) {
    std::u16string text(kLineByteLimit / 2 - 1, u'a');
    text += u"\U0001F600 tail";
    const Lines lines = ReadLines("\xFF\xFE" + Utf16(text + u"\r\nnext", false), 65536);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::wstring(kLineByteLimit / 2 - 1, L'a'));
    EXPECT_EQ(lines[1], L"next");
}

#ifdef _WIN32
std::string Repeated(const std::string& piece, std::size_t times) {
    std::string bytes;
    while (times-- > 0) bytes += piece;
    return bytes;
}
#endif

// Where a block ends right at the bound: reads of 65536 bytes end one at 1 MiB
// into the file, reads of 61681 bytes one at 17 x 61681 = 1 MiB + 1.
TEST(LineBound, BlockEndingAtTheBound) {
    const struct {
        const char* name;
        std::string bytes;
        std::size_t chunk;
        Lines lines;
        unsigned codePage = kSystemCodePage;
    } cases[] = {
        {"CrLastByteBeforeTheBound", std::string(kLineByteLimit - 1, 'a') + "\r\nnext", 65536,
         {std::wstring(kLineByteLimit - 1, L'a'), L"next"}},
        // After the mark the bound falls after the third byte of the character.
        {"Utf8CharacterAcrossBlockEndAndBound",
         "\xEF\xBB\xBF" + std::string(kLineByteLimit - 3, 'a') + "\xF0\x9F\x98\x80tail\nnext", 61681,
         {std::wstring(kLineByteLimit - 3, L'a'), L"next"}},
        {"Utf8LeadE0CutByTheBound", "\xEF\xBB\xBF" + std::string(kLineByteLimit - 2, 'a') + "\xE0\xA4\x85\nnext", 65536,
         {std::wstring(kLineByteLimit - 2, L'a'), L"next"}},
#ifdef _WIN32
        // ANSI in a double-byte code page: the bound falls after a lead byte,
        // or after a trail byte with a lead byte's value (0x9F in 932).
        {"DoubleByteLeadCutByTheBound", "a" + Repeated("\x88\x9F", kLineByteLimit / 2) + "\nnext", 65536,
         {L"a" + std::wstring(kLineByteLimit / 2 - 1, L'\u4E9C'), L"next"}, 932},
        {"DoubleByteWholeAtTheBound", Repeated("\x88\x9F", kLineByteLimit / 2 + 1) + "\nnext", 65536,
         {std::wstring(kLineByteLimit / 2, L'\u4E9C'), L"next"}, 932},
        {"Utf8CodePageCharacterCutByTheBound", std::string(kLineByteLimit - 1, 'a') + "\xE2\x82\xAC\nnext", 61681,
         {std::wstring(kLineByteLimit - 1, L'a'), L"next"}, 65001},
        {"Utf8CodePageLeadE0CutByTheBound", std::string(kLineByteLimit - 2, 'a') + "\xE0\xA4\x85\nnext", 65536,
         {std::wstring(kLineByteLimit - 2, L'a'), L"next"}, 65001},
#endif
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadLines(c.bytes, 65536, c.chunk, c.codePage), c.lines) << c.name;
    }
}

// The cost of a check does not depend on the size of the file.
TEST(ReadsOnlyWhatItNeeds, TwoLinesOfAHugeFileCostOneBlock) {
    HugeSource source("STATUS OK\r\nall fine\r\nthird\r\n", std::uint64_t{1} << 30);
    LineReader reader(source, 65536);
    EXPECT_EQ(reader.ReadLine(), L"STATUS OK");
    EXPECT_EQ(reader.ReadLine(), L"all fine");
    EXPECT_LE(source.Served(), 65536u);
}

// A file without line ends (a disk image) is read only up to the limit: its
// first line ends there, and no second line follows.
TEST(ReadsOnlyWhatItNeeds, LineWithoutEndStopsAtTheReadLimit) {
    HugeSource source("STATUS OK ", std::uint64_t{64} << 20);
    LineReader reader(source, 65536);
    const std::optional<std::wstring> first = reader.ReadLine();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), kLineByteLimit);
    EXPECT_TRUE(first->starts_with(L"STATUS OK "));
    EXPECT_EQ(reader.ReadLine(), std::nullopt);
    EXPECT_LE(source.Served(), kReadLimit);
}

TEST(ReadsOnlyWhatItNeeds, FirstLineEndingInCrDoesNotReadAhead) {
    MemorySource source("up\r\nsecond", 1);
    LineReader reader(source, 1);
    EXPECT_EQ(reader.ReadLine(), L"up");
    EXPECT_EQ(source.Served(), 3u) << "the LF after the CR is left for the next line";
    EXPECT_EQ(reader.ReadLine(), L"second");
}

TEST(ReadFailure, ReachesTheCaller) {
    MemorySource source("up\r\nsecond\r\n", 4);
    source.failAtRead = 2;
    LineReader reader(source, 4);
    EXPECT_EQ(reader.ReadLine(), L"up");
    try {
        reader.ReadLine();
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Kind(), FailureKind::PermissionDenied);
    }
}

}  // namespace
}  // namespace lineprobe
