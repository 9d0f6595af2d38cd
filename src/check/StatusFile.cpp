#include "StatusFile.h"

#include <algorithm>
#include <cstring>

#include "CodePage.h"

namespace lineprobe {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kCr = 0x0D;
constexpr char32_t kLf = 0x0A;

unsigned char Byte(std::string_view bytes, std::size_t i) noexcept {
    return static_cast<unsigned char>(bytes[i]);
}

void AppendCodePoint(std::wstring& text, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
            return;
        }
    }
    text.push_back(static_cast<wchar_t>(c));
}

std::wstring DecodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = Byte(bytes, i);
        if (lead < 0x80) {
            text.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
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
        while (length != 0 && taken < length && i + taken < bytes.size() && (Byte(bytes, i + taken) & 0xC0) == 0x80) {
            c = (c << 6) | (Byte(bytes, i + taken) & 0x3F);
            ++taken;
        }
        const bool valid = length != 0 && taken == length && c >= lowest && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        AppendCodePoint(text, valid ? c : kReplacement);
        // A broken sequence costs one replacement character and no more than its own bytes.
        i += valid ? length : std::max<std::size_t>(1, taken);
    }
    return text;
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring text;
    const std::size_t units = bytes.size() / 2;
    text.reserve(units);
    auto unitAt = [&](std::size_t k) -> char32_t {
        const char32_t first = Byte(bytes, 2 * k);
        const char32_t second = Byte(bytes, 2 * k + 1);
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t unit = unitAt(k);
        if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < units) {
            const char32_t next = unitAt(k + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendCodePoint(text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++k;
                continue;
            }
        }
        AppendCodePoint(text, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    return text;
}

// The length of the bytes without a character that the line bound cut in two.
std::size_t WholeCharacters(std::string_view bytes, TextEncoding encoding) noexcept {
    switch (encoding) {
    case TextEncoding::Utf8: {
        std::size_t start = bytes.size();
        while (start > 0 && bytes.size() - start < 4 && (Byte(bytes, start - 1) & 0xC0) == 0x80) {
            --start;
        }
        if (start == 0) {
            return bytes.size();
        }
        const unsigned char lead = Byte(bytes, start - 1);
        const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        return bytes.size() - (start - 1) < need ? start - 1 : bytes.size();
    }
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

std::wstring DecodeLine(std::string_view bytes, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8: return DecodeUtf8(bytes);
    case TextEncoding::Utf16Le: return DecodeUtf16(bytes, false);
    case TextEncoding::Utf16Be: return DecodeUtf16(bytes, true);
    case TextEncoding::Ansi: break;
    }
    return FromAnsi(bytes);
}

LineReader::LineReader(ByteSource& source, std::size_t blockSize)
    : m_source(source), m_blockSize(std::max<std::size_t>(blockSize, 1)) {}

// Keeps what is left of the block (part of a mark or of a UTF-16 unit) and reads the next one.
bool LineReader::Fill() {
    if (m_atEnd) {
        return false;
    }
    if (m_block.empty()) {
        m_block.resize(m_blockSize + 4);
    }
    const std::size_t kept = m_end - m_begin;
    std::memmove(m_block.data(), m_block.data() + m_begin, kept);
    m_begin = 0;
    m_end = kept;
    const std::size_t got = m_source.Read(std::span<char>(m_block.data() + kept, m_blockSize));
    if (got == 0) {
        m_atEnd = true;
        return false;
    }
    m_end += std::min(got, m_blockSize);
    return true;
}

void LineReader::Start() {
    m_started = true;
    while (m_end - m_begin < 3 && Fill()) {
    }
    const EncodingMark mark = DetectEncoding(std::string_view(m_block.data() + m_begin, m_end - m_begin));
    m_encoding = mark.encoding;
    m_begin += mark.length;
    m_unit = mark.encoding == TextEncoding::Utf16Le || mark.encoding == TextEncoding::Utf16Be ? 2 : 1;
}

char32_t LineReader::UnitAt(std::size_t offset) const noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(m_block.data() + offset);
    switch (m_encoding) {
    case TextEncoding::Utf16Le: return static_cast<char32_t>(p[0] | (p[1] << 8));
    case TextEncoding::Utf16Be: return static_cast<char32_t>((p[0] << 8) | p[1]);
    case TextEncoding::Ansi:
    case TextEncoding::Utf8: break;
    }
    return p[0];
}

std::optional<std::wstring> LineReader::ReadLine() {
    if (!m_started) {
        Start();
    }
    std::string bytes;
    bool truncated = false;
    bool found = false;  // the line has begun: a character or its line end was read
    for (;;) {
        if (m_end - m_begin < m_unit) {
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
        const std::size_t available = (m_end - m_begin) / m_unit * m_unit;
        std::size_t length = 0;
        char32_t unit = 0;
        while (length < available) {
            unit = UnitAt(m_begin + length);
            if (unit == kCr || unit == kLf) {
                break;
            }
            length += m_unit;
        }
        const std::size_t room = kLineByteLimit - bytes.size();
        bytes.append(m_block.data() + m_begin, std::min(length, room));
        truncated = truncated || length > room;
        m_begin += length;
        found = found || length > 0;
        if (length < available) {
            m_begin += m_unit;
            m_afterCr = unit == kCr;
            found = true;
            break;
        }
    }
    if (!found) {
        return std::nullopt;
    }
    if (truncated) {
        bytes.resize(WholeCharacters(bytes, m_encoding));
    }
    return DecodeLine(bytes, m_encoding);
}

}  // namespace lineprobe
