#include "Base64.h"

#include <array>
#include <cstdint>
#include <type_traits>

#include "CodePage.h"
#include "Failure.h"

namespace lineprobe {
namespace {

// Marks "=" in kSextets; its value, like that of any unknown character, is 0.
constexpr std::uint8_t kPadding = 0x40;

// The value of each character below 256, as MapSextet gives it, and kPadding for "=".
constexpr std::array<std::uint8_t, 256> kSextets = [] {
    std::array<std::uint8_t, 256> values{};
    for (std::size_t i = 1; i < kSextetTable.size(); ++i) {
        values[static_cast<std::size_t>(kSextetTable[i])] = static_cast<std::uint8_t>(i - 1);
    }
    values['='] = kPadding;
    return values;
}();

std::uint8_t SextetEntry(wchar_t c) noexcept {
    const auto code = static_cast<std::make_unsigned_t<wchar_t>>(c);
    return code < kSextets.size() ? kSextets[code] : 0;
}

// Decodes into `out`, which has room for three bytes per group of four
// characters begun, and returns the count written.
std::size_t DecodeInto(std::wstring_view text, char* out) {
    char* const start = out;
    for (std::size_t group = 0; group < text.size(); group += 4) {
        // Places past the end count as "=".
        const std::size_t left = text.size() - group;
        const unsigned e0 = SextetEntry(text[group]);
        const unsigned e1 = left > 1 ? SextetEntry(text[group + 1]) : kPadding;
        const unsigned e2 = left > 2 ? SextetEntry(text[group + 2]) : kPadding;
        const unsigned e3 = left > 3 ? SextetEntry(text[group + 3]) : kPadding;
        const unsigned bits = (e0 & 0x3F) << 18 | (e1 & 0x3F) << 12 | (e2 & 0x3F) << 6 | (e3 & 0x3F);
        out[0] = static_cast<char>(bits >> 16);
        out[1] = static_cast<char>((bits >> 8) & 0xFF);
        out[2] = static_cast<char>(bits & 0xFF);
        // The first "=" of a group ends what it holds.
        if (((e0 | e1 | e2 | e3) & kPadding) == 0) {
            out += 3;
        } else if (e0 & kPadding) {
            throw Failure(FailureKind::InvalidProcedureCall);
        } else {
            out += (e1 & kPadding) ? 0 : (e2 & kPadding) ? 1 : 2;
        }
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t DecodedRoom(std::wstring_view text) noexcept {
    return (text.size() + 3) / 4 * 3;
}

}  // namespace

wchar_t MapSextet(int value) {
    return kSextetTable.at(static_cast<std::size_t>(value + 1));
}

int MapSextet(std::wstring_view character) {
    if (character.empty()) {
        return 0;
    }
    const auto place = kSextetTable.find(character.front());
    return place == std::wstring_view::npos || place == 0 ? 0 : static_cast<int>(place) - 1;
}

std::string Base64EncodeBytes(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = left > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const unsigned c = left > 2 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const int s1 = static_cast<int>(a >> 2);
        const int s2 = static_cast<int>(((a << 4) & 0x30) | (b >> 4));
        int s3 = left > 1 ? static_cast<int>((b << 2) & 0x3C) : -1;
        int s4 = -1;
        if (left > 2) {
            s3 |= static_cast<int>(c >> 6);
            s4 = static_cast<int>(c & 63);
        }
        for (int s : {s1, s2, s3, s4}) {
            out.push_back(static_cast<char>(MapSextet(s)));
        }
    }
    return out;
}

std::string Base64DecodeBytes(std::wstring_view text) {
    std::string out(DecodedRoom(text), '\0');
    out.resize(DecodeInto(text, out.data()));
    return out;
}

std::wstring Base64Encode(std::wstring_view text) {
    const std::string encoded = Base64EncodeBytes(ToAnsi(text));
    return std::wstring(encoded.begin(), encoded.end());
}

std::wstring Base64Decode(std::wstring_view text) {
    // A password's bytes fit on the stack.
    char small[192];
    if (DecodedRoom(text) <= sizeof small) {
        return FromAnsi(std::string_view(small, DecodeInto(text, small)));
    }
    return FromAnsi(Base64DecodeBytes(text));
}

std::wstring EncodePassword(std::wstring_view password) {
    std::string bytes = ToAnsi(password);
    const WipedOnExit wipeBytes(bytes);
    // Base64 is no cipher: the encoded value is the password all the same.
    std::string encoded = Base64EncodeBytes(bytes);
    const WipedOnExit wipeEncoded(encoded);
    return std::wstring(encoded.begin(), encoded.end());
}

SecretText DecodePassword(std::wstring_view stored) {
    char small[192];
    const std::size_t room = DecodedRoom(stored);
    if (room <= sizeof small) {
        // The clear password would outlive the call in this frame's stack, for the
        // next function's locals or a crash dump to show: wiped on every way out.
        const WipedOnExit wipe(small, room);
        return SecretText(FromAnsi(std::string_view(small, DecodeInto(stored, small))));
    }
    // Wiped also when a group further on turns out to begin with "=".
    std::string bytes(room, '\0');
    const WipedOnExit wipe(bytes);
    bytes.resize(DecodeInto(stored, bytes.data()));
    return SecretText(FromAnsi(bytes));
}

void CheckStoredPassword(std::wstring_view stored) {
    for (std::size_t group = 0; group < stored.size(); group += 4) {
        if (SextetEntry(stored[group]) & kPadding) {
            throw Failure(FailureKind::InvalidProcedureCall);
        }
    }
}

}  // namespace lineprobe
