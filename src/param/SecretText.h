// Text that holds a password in the clear: its buffer is wiped before the
// memory goes back, so the password does not linger in freed heap or stack.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace lineprobe {

// Overwrites the bytes in a way the compiler may not leave out.
void WipeMemory(void* data, std::size_t size) noexcept;

// The whole buffer of a string, its spare room included.
template <typename Char, typename Traits, typename Alloc>
void WipeString(std::basic_string<Char, Traits, Alloc>& text) noexcept {
    WipeMemory(text.data(), text.capacity() * sizeof(Char));
}

// Appends to a string that holds a password. A plain append that grows the
// string frees the old buffer as it is; here the text moves to one of twice
// the room and the old buffer is wiped before it goes back.
template <typename Char, typename Traits, typename Alloc>
void AppendWiped(std::basic_string<Char, Traits, Alloc>& text, std::basic_string_view<Char, Traits> more) {
    if (more.size() > text.capacity() - text.size()) {
        std::basic_string<Char, Traits, Alloc> larger(text.get_allocator());
        larger.reserve(std::max(2 * text.capacity(), text.size() + more.size()));
        larger.append(text);
        WipeString(text);
        text.swap(larger);
    }
    text.append(more);
}

// Wipes a buffer that held a password, however the scope is left. A string is
// wiped in the buffer it has then: one that grew meanwhile has freed its first
// buffer unwiped (AppendWiped grows it safely), and holds the text in another.
class WipedOnExit {
public:
    WipedOnExit(void* data, std::size_t size) noexcept : m_data(data), m_size(size) {}
    template <typename Char, typename Traits, typename Alloc>
    explicit WipedOnExit(std::basic_string<Char, Traits, Alloc>& text) noexcept
        : m_data(&text), m_wipeString([](void* string) noexcept {
              WipeString(*static_cast<std::basic_string<Char, Traits, Alloc>*>(string));
          }) {}
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;
    ~WipedOnExit() {
        if (m_wipeString) {
            m_wipeString(m_data);
        } else {
            WipeMemory(m_data, m_size);
        }
    }

private:
    void* m_data;
    std::size_t m_size = 0;
    void (*m_wipeString)(void*) noexcept = nullptr;  // set for a string, which m_data then points to
};

class SecretText {
public:
    SecretText() = default;
    // A short text lives inside the string object itself, so moving it copies
    // the characters; the source is wiped after the move.
    SecretText(std::wstring&& text) noexcept : m_text(std::move(text)) { WipeString(text); }
    SecretText(SecretText&& other) noexcept : m_text(std::move(other.m_text)) { WipeString(other.m_text); }
    SecretText& operator=(SecretText&& other) noexcept {
        if (this != &other) {
            WipeString(m_text);
            m_text = std::move(other.m_text);
            WipeString(other.m_text);
        }
        return *this;
    }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { WipeString(m_text); }

    std::wstring_view View() const noexcept { return m_text; }
    const wchar_t* CStr() const noexcept { return m_text.c_str(); }

    friend bool operator==(const SecretText& secret, std::wstring_view text) noexcept { return secret.View() == text; }

private:
    std::wstring m_text;
};

}  // namespace lineprobe
