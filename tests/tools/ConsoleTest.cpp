// A password read from standard input, or decoded from a long PW value, leaves
// no piece of itself in freed memory: meanwhile every block the program frees
// is searched for three of its characters, as bytes and as UTF-16.
#include <gtest/gtest.h>

#include <windows.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "Base64.h"
#include "Console.h"
#include "Failure.h"

namespace {

std::atomic<bool> g_watching{false};
std::atomic<int> g_blocksWithPassword{0};

// The password is nothing but this character, which no other text here holds.
constexpr char kMark = '~';

bool HoldsPiece(const unsigned char* block, std::size_t size) {
    for (std::size_t i = 0; i + 3 <= size; ++i) {
        if (block[i] == kMark && block[i + 1] == kMark && block[i + 2] == kMark) return true;
        if (i + 6 <= size && block[i] == kMark && block[i + 1] == 0 && block[i + 2] == kMark && block[i + 3] == 0 &&
            block[i + 4] == kMark && block[i + 5] == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block) throw std::bad_alloc();
    return block;
}

namespace {

void Free(void* block) noexcept {
    if (block && g_watching && HoldsPiece(static_cast<const unsigned char*>(block), _msize(block))) {
        ++g_blocksWithPassword;
    }
    std::free(block);
}

}  // namespace

void operator delete(void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }

namespace lineprobe::tool {
namespace {

// Longer than any buffer starts, so the line grows several times; a
// byte-order mark in front, as an editor writes it.
TEST(ReadSecretLine, LeavesNoPieceOfThePasswordInFreedMemory) {
    constexpr std::size_t kLength = 300;
    static char input[3 + kLength + 2] = "\xEF\xBB\xBF";
    std::fill_n(input + 3, kLength, kMark);
    std::copy_n("\r\n", 2, input + 3 + kLength);
    static wchar_t expected[kLength];
    std::fill_n(expected, kLength, static_cast<wchar_t>(kMark));

    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, sizeof input));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd, input, sizeof input, &written, nullptr));
    CloseHandle(writeEnd);
    const HANDLE standardInput = GetStdHandle(STD_INPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, readEnd);

    bool same = false;
    g_watching = true;
    {
        const auto line = ReadSecretLine(L"");
        same = line && line->View() == std::wstring_view(expected, kLength);
    }
    g_watching = false;
    SetStdHandle(STD_INPUT_HANDLE, standardInput);
    CloseHandle(readEnd);

    EXPECT_TRUE(same) << "the line read is not the password";
    EXPECT_EQ(g_blocksWithPassword.load(), 0) << "freed blocks held a piece of the password";
}

// The decoder's copy of a long password goes wiped, also when a later group of
// the value turns out to begin with "=".
TEST(DecodePassword, LeavesNoPieceOfALongPasswordInFreedMemory) {
    const std::wstring stored = Base64Encode(std::wstring(300, static_cast<wchar_t>(kMark))) + L"=AAA";
    g_blocksWithPassword = 0;
    g_watching = true;
    EXPECT_THROW(DecodePassword(stored), Failure);
    g_watching = false;
    EXPECT_EQ(g_blocksWithPassword.load(), 0) << "freed blocks held a piece of the password";
}

}  // namespace
}  // namespace lineprobe::tool
