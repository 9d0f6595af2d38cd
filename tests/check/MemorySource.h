// Status-file contents held in memory, for the reader and the step tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "Failure.h"
#include "StatusFile.h"

namespace lineprobe::fakes {

// Hands out its bytes at most `chunk` at a time, as a file read in small blocks might.
// failAtRead makes the n-th read (from 1) fail; served counts the bytes handed out.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string bytes, std::size_t chunk = static_cast<std::size_t>(-1))
        : m_bytes(std::move(bytes)), m_chunk(chunk) {}

    std::size_t Read(std::span<char> buffer) override {
        ++m_reads;
        if (m_reads == failAtRead) throw failure;
        const std::size_t n = std::min({buffer.size(), m_bytes.size() - m_position, m_chunk});
        std::memcpy(buffer.data(), m_bytes.data() + m_position, n);
        m_position += n;
        return n;
    }

    std::size_t Served() const { return m_position; }

    std::size_t failAtRead = 0;
    Failure failure{FailureKind::PermissionDenied};

private:
    std::string m_bytes;
    std::size_t m_chunk;
    std::size_t m_position = 0;
    std::size_t m_reads = 0;
};

// A file of `size` bytes that starts with `start` and holds zero bytes after it,
// like a sparse file; nothing of it is kept in memory.
class HugeSource final : public ByteSource {
public:
    HugeSource(std::string start, std::uint64_t size) : m_start(std::move(start)), m_size(size) {}

    std::size_t Read(std::span<char> buffer) override {
        const std::uint64_t left = m_size - m_position;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left));
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t at = m_position + i;
            buffer[i] = at < m_start.size() ? m_start[static_cast<std::size_t>(at)] : '\0';
        }
        m_position += n;
        return n;
    }

    std::uint64_t Served() const { return m_position; }

private:
    std::string m_start;
    std::uint64_t m_size;
    std::uint64_t m_position = 0;
};

}  // namespace lineprobe::fakes
