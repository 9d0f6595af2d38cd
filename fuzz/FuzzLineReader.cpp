// The status-file reader on any bytes, in every encoding, fed through blocks
// and reads of varying size: no line passes the byte bound, the lines do not
// depend on how the bytes arrived, and short files read as a plain reading of
// the rules says, one written here without any of the reader's code.
//
// Input: byte 0 picks the reader's block size, byte 1 the most one read hands
// out, byte 2 the length of a run of the two-byte pattern in bytes 4 and 5
// (up to 1275 bytes), byte 3 where the run goes; the rest is the file.
// The first line is also read in pieces: they join to the same line, and a
// search across them finds a word exactly where a search of the whole line
// does, for words of the line that piece boundaries may cut.
// One input in 4096, chosen by a hash so that mutations do not pile up there,
// gets a run of a few bytes either side of the line bound instead: such an
// input costs a megabyte of reading twice.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CheckSteps.h"
#include "StatusFile.h"

namespace {

using namespace lineprobe;

constexpr std::size_t kSizes[] = {1, 2, 3, 4, 5, 7, 8, 13, 64, 511, 4096, 65536};
constexpr std::size_t kMaxLines = 8;

// The file the input describes: its bytes, with `runLength` bytes of a
// two-byte pattern inserted at `runAt`, handed out at most `chunk` at a time.
class FuzzSource final : public ByteSource {
public:
    FuzzSource(std::string_view bytes, std::size_t runAt, std::size_t runLength, const char (&pattern)[2],
               std::size_t chunk)
        : m_bytes(bytes), m_runAt(runAt), m_runLength(runLength), m_pattern{pattern[0], pattern[1]}, m_chunk(chunk) {}

    std::size_t Read(std::span<char> buffer) override {
        // All of the span must be the reader's to write; bytes past the count must not matter to it.
        std::memset(buffer.data(), 0xA5, buffer.size());
        const std::size_t total = m_bytes.size() + m_runLength;
        const std::size_t n = std::min({buffer.size(), m_chunk, total - m_position});
        for (std::size_t done = 0; done < n;) {
            done += Copy(m_position + done, buffer.subspan(done, n - done));
        }
        m_position += n;
        return n;
    }

private:
    // Copies from `offset` up to the end of its segment (before, in or after the run).
    // Not instrumented: a megabyte run would otherwise cost more than the reader itself.
    __attribute__((no_sanitize("coverage"))) std::size_t Copy(std::size_t offset, std::span<char> out) const {
        if (offset < m_runAt) {
            const std::size_t n = std::min(out.size(), m_runAt - offset);
            std::memcpy(out.data(), m_bytes.data() + offset, n);
            return n;
        }
        if (offset < m_runAt + m_runLength) {
            const std::size_t n = std::min(out.size(), m_runAt + m_runLength - offset);
            for (std::size_t i = 0; i < n; ++i) out[i] = m_pattern[(offset - m_runAt + i) % 2];
            return n;
        }
        const std::size_t n = out.size();
        std::memcpy(out.data(), m_bytes.data() + offset - m_runLength, n);
        return n;
    }

    std::string_view m_bytes;
    std::size_t m_runAt;
    std::size_t m_runLength;
    char m_pattern[2];
    std::size_t m_chunk;
    std::size_t m_position = 0;
};

struct Reading {
    TextEncoding encoding = TextEncoding::Ansi;
    std::vector<std::wstring> lines;
    bool operator==(const Reading&) const = default;
};

Reading Read(ByteSource& source, std::size_t blockSize) {
    LineReader reader(source, blockSize);
    Reading reading;
    while (reading.lines.size() < kMaxLines) {
        std::optional<std::wstring> line = reader.ReadLine();
        if (!line) break;
        reading.lines.push_back(std::move(*line));
    }
    reading.encoding = reader.Encoding();
    return reading;
}

static_assert(sizeof(wchar_t) == 4, "the reference gives one wchar_t per character");

// UTF-8 a byte at a time: a broken or invalid sequence (overlong, a surrogate,
// past U+10FFFF) is one U+FFFD.
std::wstring Utf8Line(std::string_view bytes) {
    std::wstring line;
    char32_t value = 0;
    char32_t lowest = 0;
    int need = 0;  // continuation bytes still to come
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (need > 0 && (b & 0xC0) == 0x80) {
            value = value << 6 | (b & 0x3F);
            if (--need == 0) {
                const bool valid = value >= lowest && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
                line.push_back(static_cast<wchar_t>(valid ? value : 0xFFFD));
            }
            continue;
        }
        if (need > 0) {
            line.push_back(0xFFFD);  // broken off by this byte, which starts anew
            need = 0;
        }
        if (b < 0x80) {
            line.push_back(b);
        } else if (b >= 0xC2 && b <= 0xDF) {
            need = 1, value = b & 0x1F, lowest = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2, value = b & 0x0F, lowest = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3, value = b & 0x07, lowest = 0x10000;
        } else {
            line.push_back(0xFFFD);
        }
    }
    if (need > 0) line.push_back(0xFFFD);
    return line;
}

// UTF-16 a unit at a time: a surrogate without its partner is U+FFFD.
std::wstring Utf16Line(std::string_view bytes, bool bigEndian) {
    std::wstring line;
    char32_t high = 0;  // a high surrogate waiting for its low one
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const char32_t first = static_cast<unsigned char>(bytes[at]);
        const char32_t second = static_cast<unsigned char>(bytes[at + 1]);
        const char32_t unit = bigEndian ? first << 8 | second : second << 8 | first;
        const bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
        const bool isLow = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high != 0 && isLow) {
            line.push_back(static_cast<wchar_t>(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00)));
            high = 0;
            continue;
        }
        if (high != 0) {
            line.push_back(0xFFFD);
            high = 0;
        }
        if (isHigh) {
            high = unit;
        } else {
            line.push_back(static_cast<wchar_t>(isLow ? 0xFFFD : unit));
        }
    }
    if (high != 0) line.push_back(0xFFFD);
    return line;
}

// Windows-1252 as the C library's converter has it; the five bytes it leaves
// undefined are the controls of the same value, as Windows has them.
const std::array<wchar_t, 256> kWindows1252 = [] {
    std::array<wchar_t, 256> table{};
    const iconv_t converter = iconv_open("WCHAR_T", "CP1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) std::abort();
    for (std::size_t b = 0; b < table.size(); ++b) {
        char in = static_cast<char>(b);
        wchar_t out = static_cast<wchar_t>(b);
        char* from = &in;
        char* to = reinterpret_cast<char*>(&out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(converter, &from, &inLeft, &to, &outLeft);  // an undefined byte leaves `out` as it was
        table[b] = out;
    }
    iconv_close(converter);
    return table;
}();

// The rules read plainly: the mark picks the encoding, units of one or two
// bytes follow it, a line ends at CR LF, LF or CR, a lone trailing byte of
// UTF-16 is dropped.
Reading Reference(std::string_view file) {
    Reading reading;
    if (file.starts_with("\xEF\xBB\xBF")) {
        reading.encoding = TextEncoding::Utf8;
        file.remove_prefix(3);
    } else if (file.starts_with("\xFF\xFE") || file.starts_with("\xFE\xFF")) {
        reading.encoding = file[0] == '\xFF' ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        file.remove_prefix(2);
    }
    const bool wide = reading.encoding == TextEncoding::Utf16Le || reading.encoding == TextEncoding::Utf16Be;
    const std::size_t unit = wide ? 2 : 1;
    const auto unitAt = [&](std::size_t at) -> unsigned {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(file[i]); };
        if (!wide) return byte(at);
        return reading.encoding == TextEncoding::Utf16Le ? byte(at) | byte(at + 1) << 8 : byte(at) << 8 | byte(at + 1);
    };
    const auto decode = [&](std::string_view bytes) {
        switch (reading.encoding) {
        case TextEncoding::Utf8: return Utf8Line(bytes);
        case TextEncoding::Utf16Le: return Utf16Line(bytes, false);
        case TextEncoding::Utf16Be: return Utf16Line(bytes, true);
        case TextEncoding::Ansi: break;
        }
        std::wstring line;
        for (const char c : bytes) line.push_back(kWindows1252[static_cast<unsigned char>(c)]);
        return line;
    };
    const std::size_t end = file.size() / unit * unit;
    std::size_t start = 0;
    while (start < end && reading.lines.size() < kMaxLines) {
        std::size_t at = start;
        while (at < end && unitAt(at) != '\r' && unitAt(at) != '\n') at += unit;
        reading.lines.push_back(decode(file.substr(start, at - start)));
        if (at < end && unitAt(at) == '\r' && at + unit < end && unitAt(at + unit) == '\n') at += unit;
        start = at + unit;
    }
    return reading;
}

// The most characters a line of kLineByteLimit bytes can decode to.
std::size_t MostCharacters(TextEncoding encoding) {
    const bool wide = encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
    return wide ? kLineByteLimit / 2 : kLineByteLimit;
}

// Joins the pieces of a line and hands them to every search.
struct Pieces final : TextSink {
    void Add(std::wstring_view piece) override {
        if (piece.empty() || piece.size() > LineReader::kPieceBytes) std::abort();
        text.append(piece);
        for (WordSearch& search : searches) search.Add(piece);
    }
    std::wstring text;
    std::vector<WordSearch> searches;
};

// FNV-1a of the whole input.
bool AcrossTheBound(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash % 4096 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    std::size_t blockSize = kSizes[data[0] % std::size(kSizes)];
    std::size_t chunk = data[1] < 16 ? static_cast<std::size_t>(-1) : kSizes[data[1] % std::size(kSizes)];
    const std::string_view file(reinterpret_cast<const char*>(data) + 6, size - 6);
    const char pattern[2] = {static_cast<char>(data[4]), static_cast<char>(data[5])};

    std::size_t runLength = data[2] * std::size_t{5};
    if (AcrossTheBound(data, size)) {
        runLength = kLineByteLimit - 4 + (data[4] & 7);
        blockSize = std::max<std::size_t>(blockSize, 4096);
        chunk = std::max<std::size_t>(chunk, 4096);
    }
    const std::size_t runAt = file.size() * data[3] / 256;

    FuzzSource varied(file, runAt, runLength, pattern, chunk);
    const Reading reading = Read(varied, blockSize);
    FuzzSource whole(file, runAt, runLength, pattern, static_cast<std::size_t>(-1));
    if (Read(whole, LineReader::kDefaultBlockSize) != reading) std::abort();

    for (const std::wstring& line : reading.lines) {
        if (line.size() > MostCharacters(reading.encoding)) std::abort();
    }
    if (runLength == 0 && Reference(file) != reading) std::abort();
    if (runLength != 0 && runLength < kLineByteLimit / 2) {
        std::string expanded(file.substr(0, runAt));
        for (std::size_t i = 0; i < runLength; ++i) expanded.push_back(pattern[i % 2]);
        expanded.append(file.substr(runAt));
        if (Reference(expanded) != reading) std::abort();
    }

    // Words of the first line around where blocks and pieces end (one character
    // per unit), each also with its last character changed, and the empty word.
    const std::wstring line = reading.lines.empty() ? L"" : reading.lines[0];
    const bool wide = reading.encoding == TextEncoding::Utf16Le || reading.encoding == TextEncoding::Utf16Be;
    const std::size_t unit = wide ? 2 : 1;
    const std::size_t length = 2 + data[3] % 7;
    std::vector<std::wstring> words{L""};
    for (const std::size_t end : {blockSize, 3 * blockSize, LineReader::kPieceBytes, 2 * LineReader::kPieceBytes}) {
        const std::size_t at = end / unit - std::min(end / unit, 1 + data[2] % length);
        if (at >= line.size()) continue;
        words.push_back(line.substr(at, length));
        words.push_back(words.back());
        words.back().back() ^= 1;
    }
    Pieces pieces;
    for (const std::wstring& word : words) pieces.searches.emplace_back(word);
    FuzzSource streamed(file, runAt, runLength, pattern, chunk);
    LineReader reader(streamed, blockSize);
    if (reader.ReadLine(pieces) == reading.lines.empty() || pieces.text != line) std::abort();
    if (reader.ReadLine() != (reading.lines.size() > 1 ? std::optional(reading.lines[1]) : std::nullopt)) std::abort();
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (pieces.searches[i].Found() != (!line.empty() && line.find(words[i]) != std::wstring::npos)) std::abort();
    }
    return 0;
}
