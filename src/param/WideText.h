// Writing and searching wide text fast: the widening is shared by the code
// page conversion and the status-file reader, which spend most of their time
// there; the search serves the parameter string.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lineprobe {

// Converters make room at the end of a text in steps of this many characters:
// the zeros that std::wstring::resize writes then stay in the first-level cache
// until the characters overwrite them, instead of costing a pass of their own.
inline constexpr std::size_t kWideStep = 256;

// Writes the leading bytes of in[0, size) that are below 0x80 to `out`, one
// character each, and returns their count.
inline std::size_t WidenAsciiRun(const char* in, std::size_t size, wchar_t* out) noexcept {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(bytes) != 0) {
            break;
        }
        const __m128i low = _mm_unpacklo_epi8(bytes, zero);
        const __m128i high = _mm_unpackhi_epi8(bytes, zero);
        auto* to = reinterpret_cast<__m128i*>(out + i);
        if constexpr (sizeof(wchar_t) == 2) {
            _mm_storeu_si128(to, low);
            _mm_storeu_si128(to + 1, high);
        } else {
            _mm_storeu_si128(to, _mm_unpacklo_epi16(low, zero));
            _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(low, zero));
            _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(high, zero));
            _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(high, zero));
        }
    }
#else
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, sizeof word);
        if ((word & 0x8080808080808080u) != 0) {
            break;
        }
        for (std::size_t j = 0; j < 8; ++j) {
            out[i + j] = static_cast<wchar_t>(in[i + j]);
        }
    }
#endif
    for (; i < size && static_cast<unsigned char>(in[i]) < 0x80; ++i) {
        out[i] = static_cast<wchar_t>(in[i]);
    }
    return i;
}

// The offset of the first `unit` in text[from, size), or `size`: inline,
// sixteen bytes at a time, for the short runs of a parameter string, where a
// call into the C runtime per search would cost more than the run takes to
// look through.
inline std::size_t FindWideUnit(const wchar_t* text, std::size_t size, std::size_t from, wchar_t unit) noexcept {
    std::size_t i = from;
#if defined(__SSE2__)
    constexpr std::size_t kPerVector = 16 / sizeof(wchar_t);
    const __m128i wanted = sizeof(wchar_t) == 2 ? _mm_set1_epi16(static_cast<short>(unit))
                                                : _mm_set1_epi32(static_cast<int>(unit));
    for (; i + kPerVector <= size; i += kPerVector) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i same = sizeof(wchar_t) == 2 ? _mm_cmpeq_epi16(units, wanted) : _mm_cmpeq_epi32(units, wanted);
        const int mask = _mm_movemask_epi8(same);
        if (mask != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask))) / sizeof(wchar_t);
        }
    }
#endif
    while (i < size && text[i] != unit) ++i;
    return i;
}

}  // namespace lineprobe
