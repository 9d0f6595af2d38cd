#include "SecretText.h"

#include <cstring>

namespace lineprobe {

void WipeMemory(void* data, std::size_t size) noexcept {
    std::memset(data, 0, size);
    // The compiler must assume the bytes are read afterwards, so the store stays.
    asm volatile("" : : "r"(data) : "memory");
}

}  // namespace lineprobe
