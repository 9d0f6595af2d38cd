// Reads the first lines of a status file from its bytes: the byte-order mark
// picks the encoding, a line ends at CR LF, LF or CR, and a line keeps a bounded
// number of its bytes, so a check costs the same whatever the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CodePage.h"

namespace lineprobe {

enum class TextEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// A line keeps at most this many of its bytes; the rest of a longer line is skipped.
inline constexpr std::size_t kLineByteLimit = std::size_t{1} << 20;

// A reader reads at most this many bytes of a file, so that a file without line
// ends (a disk image on a share) is not read to its end: a line that has not
// ended there ends there, as at the end of the file.
inline constexpr std::size_t kReadLimit = std::size_t{16} << 20;

// The opened status file, or anything else that hands out bytes in order.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills the front of buffer and returns the count; 0 at the end of the file.
    // Throws Failure when the read fails.
    virtual std::size_t Read(std::span<char> buffer) = 0;
    // When the file was last written, in 100-ns ticks since 1601-01-01 UTC, as
    // the open file itself tells; nothing when the source keeps no such time.
    // Throws Failure when asking fails.
    virtual std::optional<std::uint64_t> LastWriteTime() { return std::nullopt; }
};

// The encoding that a file's first bytes announce and the length of the mark;
// without a mark, the ANSI code page.
struct EncodingMark {
    TextEncoding encoding = TextEncoding::Ansi;
    std::size_t length = 0;
};
EncodingMark DetectEncoding(std::string_view start) noexcept;

// Takes a line's text in pieces, in order, as the reader converts it.
class TextSink {
public:
    // A piece of the line, never empty; the view is valid only during the call.
    virtual void Add(std::wstring_view piece) = 0;

protected:
    ~TextSink() = default;
};

// Pulls lines from a source block by block and reads no further than the line asked for.
class LineReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 64 * 1024;

    // Text without a mark is read in the ANSI code page `ansiCodePage`, the
    // system's by default (a test may name another on Windows).
    explicit LineReader(ByteSource& source, std::size_t blockSize = kDefaultBlockSize,
                        unsigned ansiCodePage = kSystemCodePage);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line without its line end, or nothing when the file holds no further line.
    std::optional<std::wstring> ReadLine();
    // The same line handed to `sink` in pieces of at most kPieceBytes bytes'
    // worth, converted into a buffer that each piece reuses, so that nothing
    // holds the whole line; false when the file holds no further line.
    bool ReadLine(TextSink& sink);

    static constexpr std::size_t kPieceBytes = 8 * 1024;

    // Known once the first line has been asked for.
    TextEncoding Encoding() const noexcept { return m_encoding; }
    // The bytes taken from the source so far, a byte-order mark included.
    std::size_t BytesRead() const noexcept { return m_read; }

private:
    // Gives a block of the default size back for the next reader instead of freeing it.
    struct BlockReturn {
        std::size_t size;
        void operator()(char* block) const noexcept;
    };

    class LineText;

    bool Fill();
    void Start();
    bool ReadInto(LineText& line);
    char32_t UnitAt(std::size_t offset) const noexcept;
    std::size_t FindLineEnd(std::size_t from, std::size_t to) const noexcept;

    ByteSource& m_source;
    std::size_t m_blockSize;
    std::unique_ptr<char[], BlockReturn> m_block;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    std::size_t m_read = 0;  // bytes read from the source, up to kReadLimit
    unsigned m_ansiCodePage;
    bool m_atEnd = false;
    bool m_started = false;
    bool m_afterCr = false;  // a LF right after this CR belongs to the same line end
    TextEncoding m_encoding = TextEncoding::Ansi;
    std::size_t m_unit = 1;
};

}  // namespace lineprobe
