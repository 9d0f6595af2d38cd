#include "StatusFile.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#include "CodePage.h"
#include "WideText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lineprobe {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kCr = 0x0D;
constexpr char32_t kLf = 0x0A;

// Room for what a block keeps of the one before: part of a mark, of a UTF-16
// unit or of a character that the block cut in two.
constexpr std::size_t kKeptBytes = 4;

unsigned char Byte(std::string_view bytes, std::size_t i) noexcept {
    return static_cast<unsigned char>(bytes[i]);
}

wchar_t* PutCodePoint(wchar_t* out, char32_t c) noexcept {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            *out++ = static_cast<wchar_t>(0xD800 + (c >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return out;
        }
    }
    *out++ = static_cast<wchar_t>(c);
    return out;
}

// Room is made a step at a time (kWideStep). No sequence gives more characters
// than it has bytes or units, but the last of a step may run past it and give a
// surrogate pair: such a step gets one character more, which the bytes after
// it make up for, so the text never needs more than one character per byte or unit.
void AppendUtf8(std::string_view bytes, std::wstring& text) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t stop = std::min(bytes.size(), i + kWideStep);
        const std::size_t at = text.size();
        text.resize(at + (stop - i) + (stop < bytes.size() ? 1 : 0));
        wchar_t* out = text.data() + at;
        while (i < stop) {
            const std::size_t run = WidenAsciiRun(bytes.data() + i, stop - i, out);
            i += run;
            out += run;
            if (i == stop) {
                break;
            }
            const unsigned char lead = Byte(bytes, i);
            std::size_t length = 0;
            char32_t c = 0;
            char32_t lowest = 0;
            if (lead >= 0xC2 && lead <= 0xDF) {
                length = 2, c = lead & 0x1F, lowest = 0x80;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                length = 3, c = lead & 0x0F, lowest = 0x800;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                length = 4, c = lead & 0x07, lowest = 0x10000;
            }
            std::size_t taken = 1;
            while (length != 0 && taken < length && i + taken < bytes.size() &&
                   (Byte(bytes, i + taken) & 0xC0) == 0x80) {
                c = (c << 6) | (Byte(bytes, i + taken) & 0x3F);
                ++taken;
            }
            const bool valid =
                length != 0 && taken == length && c >= lowest && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
            out = PutCodePoint(out, valid ? c : kReplacement);
            // A broken sequence costs one replacement character and no more than its own bytes.
            i += valid ? length : std::max<std::size_t>(1, taken);
        }
        text.resize(static_cast<std::size_t>(out - text.data()));
    }
}

void AppendUtf16(std::string_view bytes, bool bigEndian, std::wstring& text) {
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t k) -> char32_t {
        const char32_t first = Byte(bytes, 2 * k);
        const char32_t second = Byte(bytes, 2 * k + 1);
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };
    std::size_t k = 0;
    while (k < units) {
        const std::size_t stop = std::min(units, k + kWideStep);
        const std::size_t at = text.size();
        text.resize(at + (stop - k) + (stop < units ? 1 : 0));
        wchar_t* out = text.data() + at;
        for (; k < stop; ++k) {
            const char32_t unit = unitAt(k);
            if (unit < 0xD800 || unit > 0xDFFF) {
                *out++ = static_cast<wchar_t>(unit);
                continue;
            }
            if (unit <= 0xDBFF && k + 1 < units) {
                const char32_t next = unitAt(k + 1);
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    out = PutCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                    ++k;
                    continue;
                }
            }
            *out++ = static_cast<wchar_t>(kReplacement);
        }
        text.resize(static_cast<std::size_t>(out - text.data()));
    }
}

// The length of the bytes without a character that their end cuts in two.
std::size_t WholeCharacters(std::string_view bytes, TextEncoding encoding) noexcept {
    switch (encoding) {
    case TextEncoding::Utf8: return Utf8WholeCharacters(bytes);
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const std::size_t size = bytes.size() & ~std::size_t{1};
        if (size < 2) {
            return size;
        }
        const unsigned char high = encoding == TextEncoding::Utf16Le ? Byte(bytes, size - 1) : Byte(bytes, size - 2);
        return high >= 0xD8 && high <= 0xDB ? size - 2 : size;
    }
    case TextEncoding::Ansi:
        break;
    }
    return bytes.size();
}

}  // namespace

// A line's text, converted piece by piece as its bytes arrive, to exactly what
// converting all of its bytes at once would give: kept whole, or handed to a
// sink in pieces through one buffer.
class LineReader::LineText {
public:
    LineText(TextEncoding encoding, unsigned ansiCodePage, TextSink* sink) noexcept
        : m_encoding(encoding), m_ansiCodePage(ansiCodePage), m_sink(sink) {}

    // Bytes that more of the line follows: converts the whole characters among
    // them and returns their length. The rest is handed in again at the front
    // of the next piece, so every piece starts where a character starts.
    std::size_t AddPart(std::string_view bytes) {
        // A line kept whole and longer than a block gets room for the bound at
        // once rather than being copied as it grows; pages that are never
        // written are never touched.
        m_partBytes += bytes.size();
        if (!m_sink && m_partBytes > kDefaultBlockSize) {
            m_text.reserve(Wide() ? kLineByteLimit / 2 : kLineByteLimit);
        }
        const std::size_t whole = WholeCharacters(bytes);
        Append(bytes.substr(0, whole));
        return whole;
    }

    // The last bytes of the line; `cut` when the bound ends them, so that a
    // character cut in two is dropped.
    void AddLast(std::string_view bytes, bool cut) { Append(cut ? bytes.substr(0, WholeCharacters(bytes)) : bytes); }

    std::wstring Take() && { return std::move(m_text); }

private:
    bool Wide() const noexcept {
        return m_encoding == TextEncoding::Utf16Le || m_encoding == TextEncoding::Utf16Be;
    }

    // The length of the bytes, which start where a character starts, without
    // a character that their end cuts in two.
    std::size_t WholeCharacters(std::string_view bytes) noexcept {
        if (m_encoding != TextEncoding::Ansi) {
            return lineprobe::WholeCharacters(bytes, m_encoding);
        }
        // Asked once per line, and only of a line that needs it.
        if (m_ansiSingleByte == Unknown) {
            m_ansiSingleByte = AnsiIsSingleByte(m_ansiCodePage) ? Yes : No;
        }
        return m_ansiSingleByte == Yes ? bytes.size() : AnsiWholeCharacters(bytes, m_ansiCodePage);
    }

    void Append(std::string_view bytes) {
        if (!m_sink) {
            Convert(bytes);
            return;
        }
        while (!bytes.empty()) {
            std::string_view piece = bytes.substr(0, kPieceBytes);
            if (piece.size() < bytes.size()) {
                piece = piece.substr(0, WholeCharacters(piece));
            }
            m_text.clear();
            Convert(piece);
            if (!m_text.empty()) {
                m_sink->Add(m_text);
            }
            bytes.remove_prefix(piece.size());
        }
    }

    // Room for as many characters as the bytes may give, so that the converters
    // below, which make room step by step, allocate once.
    void Convert(std::string_view bytes) {
        m_text.reserve(m_text.size() + (Wide() ? bytes.size() / 2 : bytes.size()));
        switch (m_encoding) {
        case TextEncoding::Utf8: AppendUtf8(bytes, m_text); return;
        case TextEncoding::Utf16Le: AppendUtf16(bytes, false, m_text); return;
        case TextEncoding::Utf16Be: AppendUtf16(bytes, true, m_text); return;
        case TextEncoding::Ansi: break;
        }
        AppendFromAnsi(bytes, m_text, m_ansiCodePage);
    }

    TextEncoding m_encoding;
    unsigned m_ansiCodePage;
    TextSink* m_sink;                // null: the line is kept whole
    std::size_t m_partBytes = 0;     // bytes handed to AddPart so far
    enum { Unknown, Yes, No } m_ansiSingleByte = Unknown;
    std::wstring m_text;             // the line, or the piece for the sink
};

namespace {

// One spare block of the default size for the whole process: a reader takes it
// and gives it back, so that checks run one after another allocate no block.
class SpareBlock {
public:
    SpareBlock() = default;
    SpareBlock(const SpareBlock&) = delete;
    SpareBlock& operator=(const SpareBlock&) = delete;
    ~SpareBlock() { delete[] m_block.exchange(nullptr); }

    char* Take() noexcept { return m_block.exchange(nullptr); }

    // False when another block is kept already; the caller frees its own then.
    bool Keep(char* block) noexcept {
        char* none = nullptr;
        return m_block.compare_exchange_strong(none, block);
    }

private:
    std::atomic<char*> m_block{nullptr};
};

constinit SpareBlock g_spareBlock;

constexpr std::size_t kSpareSize = LineReader::kDefaultBlockSize + kKeptBytes;

}  // namespace

EncodingMark DetectEncoding(std::string_view start) noexcept {
    if (start.starts_with("\xEF\xBB\xBF")) {
        return {TextEncoding::Utf8, 3};
    }
    if (start.starts_with("\xFF\xFE")) {
        return {TextEncoding::Utf16Le, 2};
    }
    if (start.starts_with("\xFE\xFF")) {
        return {TextEncoding::Utf16Be, 2};
    }
    return {};
}

void LineReader::BlockReturn::operator()(char* block) const noexcept {
    if (size != kSpareSize || !g_spareBlock.Keep(block)) {
        delete[] block;
    }
}

LineReader::LineReader(ByteSource& source, std::size_t blockSize, unsigned ansiCodePage)
    : m_source(source), m_blockSize(std::max<std::size_t>(blockSize, 1)), m_ansiCodePage(ansiCodePage) {}

// Keeps what is left of the block (part of a mark, of a UTF-16 unit or of a
// character) and reads the next one behind it; at kReadLimit the file ends.
bool LineReader::Fill() {
    if (m_atEnd || m_read == kReadLimit) {
        return false;
    }
    if (!m_block) {
        const std::size_t size = m_blockSize + kKeptBytes;
        char* spare = size == kSpareSize ? g_spareBlock.Take() : nullptr;
        // Not zeroed: only bytes the source wrote are ever read.
        m_block = std::unique_ptr<char[], BlockReturn>(spare ? spare : new char[size], BlockReturn{size});
    }
    const std::size_t kept = m_end - m_begin;
    if (kept != 0) {
        std::memmove(m_block.get(), m_block.get() + m_begin, kept);
    }
    m_begin = 0;
    m_end = kept;
    const std::size_t wanted = std::min(m_blockSize, kReadLimit - m_read);
    const std::size_t got = m_source.Read(std::span<char>(m_block.get() + kept, wanted));
    if (got == 0) {
        m_atEnd = true;
        return false;
    }
    const std::size_t used = std::min(got, wanted);
    m_end += used;
    m_read += used;
    return true;
}

void LineReader::Start() {
    m_started = true;
    while (m_end - m_begin < 3 && Fill()) {
    }
    const EncodingMark mark = DetectEncoding(std::string_view(m_block.get() + m_begin, m_end - m_begin));
    m_encoding = mark.encoding;
    m_begin += mark.length;
    m_unit = mark.encoding == TextEncoding::Utf16Le || mark.encoding == TextEncoding::Utf16Be ? 2 : 1;
}

char32_t LineReader::UnitAt(std::size_t offset) const noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(m_block.get() + offset);
    switch (m_encoding) {
    case TextEncoding::Utf16Le: return static_cast<char32_t>(p[0] | (p[1] << 8));
    case TextEncoding::Utf16Be: return static_cast<char32_t>((p[0] << 8) | p[1]);
    case TextEncoding::Ansi:
    case TextEncoding::Utf8: break;
    }
    return p[0];
}

// The offset of the first CR or LF unit in [from, to), or `to`. With SSE2, 64
// bytes at a time, compared as bytes or as units in the byte order of the
// file; the C runtime's memchr is no faster everywhere (Wine's reads byte by
// byte) and would need a pass for each of the two line ends.
std::size_t LineReader::FindLineEnd(std::size_t from, std::size_t to) const noexcept {
    const char* const block = m_block.get();
    std::size_t at = from;
#if defined(__SSE2__)
    const bool wide = m_unit == 2;
    const bool big = m_encoding == TextEncoding::Utf16Be;
    const __m128i lf = wide ? _mm_set1_epi16(static_cast<short>(big ? 0x0A00 : 0x000A)) : _mm_set1_epi8('\n');
    const __m128i cr = wide ? _mm_set1_epi16(static_cast<short>(big ? 0x0D00 : 0x000D)) : _mm_set1_epi8('\r');
    const auto hits = [&](std::size_t offset) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + offset));
        return wide ? _mm_or_si128(_mm_cmpeq_epi16(bytes, lf), _mm_cmpeq_epi16(bytes, cr))
                    : _mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr));
    };
    for (; at + 64 <= to; at += 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(hits(at), hits(at + 16)), _mm_or_si128(hits(at + 32), hits(at + 48)));
        if (_mm_movemask_epi8(any) != 0) {
            break;
        }
    }
    for (; at + 16 <= to; at += 16) {
        const int mask = _mm_movemask_epi8(hits(at));
        if (mask != 0) {
            return at + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
        }
    }
#else
    if (m_unit == 1) {
        const auto* lf = static_cast<const char*>(std::memchr(block + at, '\n', to - at));
        const char* const before = lf ? lf : block + to;
        const auto* cr = static_cast<const char*>(std::memchr(block + at, '\r', static_cast<std::size_t>(before - (block + at))));
        return static_cast<std::size_t>((cr ? cr : before) - block);
    }
#endif
    for (; at < to; at += m_unit) {
        const char32_t unit = UnitAt(at);
        if (unit == kCr || unit == kLf) {
            break;
        }
    }
    return at;
}

std::optional<std::wstring> LineReader::ReadLine() {
    if (!m_started) {
        Start();
    }
    LineText line(m_encoding, m_ansiCodePage, nullptr);
    if (!ReadInto(line)) {
        return std::nullopt;
    }
    return std::move(line).Take();
}

bool LineReader::ReadLine(TextSink& sink) {
    if (!m_started) {
        Start();
    }
    LineText line(m_encoding, m_ansiCodePage, &sink);
    return ReadInto(line);
}

bool LineReader::ReadInto(LineText& line) {
    std::size_t taken = 0;    // bytes of the line converted, counted toward the bound
    std::size_t carried = 0;  // bytes at m_begin searched already: a character the block cut in two
    bool begun = false;       // a character or the line end was read
    bool bounded = false;     // the bound was reached: the rest of the line is skipped unread
    for (;;) {
        const std::size_t whole = (m_end - m_begin) / m_unit * m_unit;
        if (whole <= carried) {
            if (!Fill()) {
                break;  // a lone trailing byte of a UTF-16 file is no character
            }
            continue;
        }
        if (m_afterCr) {
            m_afterCr = false;
            if (UnitAt(m_begin) == kLf) {
                m_begin += m_unit;
                continue;
            }
        }
        const std::size_t end = FindLineEnd(m_begin + carried, m_begin + whole) - m_begin;
        const bool ended = end < whole;
        begun = begun || end > 0 || ended;
        if (!bounded) {
            const std::string_view bytes(m_block.get() + m_begin, end);
            const std::size_t room = kLineByteLimit - taken;
            if (end > room) {
                line.AddLast(bytes.substr(0, room), true);
                bounded = true;
            } else if (ended) {
                line.AddLast(bytes, false);
            } else {
                const std::size_t converted = line.AddPart(bytes);
                taken += converted;
                m_begin += converted;
                carried = end - converted;
                continue;
            }
        }
        if (ended) {
            m_afterCr = UnitAt(m_begin + end) == kCr;
            m_begin += end + m_unit;
            return true;
        }
        m_begin += end;
        carried = 0;
    }
    if (!begun) {
        return false;
    }
    if (!bounded && carried > 0) {
        line.AddLast(std::string_view(m_block.get() + m_begin, carried), false);
        m_begin += carried;
    }
    return true;
}

}  // namespace lineprobe
