#include "Base64.h"

#include "CodePage.h"
#include "Failure.h"

namespace lineprobe {

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
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    for (std::size_t group = 0; group < text.size(); group += 4) {
        int kept = 3;
        int v[4] = {};
        for (int j = 3; j >= 0; --j) {
            const std::size_t at = group + static_cast<std::size_t>(j);
            const wchar_t c = at < text.size() ? text[at] : L'=';
            if (c == L'=') {
                kept = j - 1;
            }
            v[j] = MapSextet(std::wstring_view(&c, 1));
        }
        if (kept < 0) {
            throw Failure(FailureKind::InvalidProcedureCall);
        }
        const char bytes[3] = {
            static_cast<char>(((v[0] << 2) | (v[1] >> 4)) & 0xFF),
            static_cast<char>(((v[1] << 4) | (v[2] >> 2)) & 0xFF),
            static_cast<char>(((v[2] << 6) | v[3]) & 0xFF),
        };
        out.append(bytes, static_cast<std::size_t>(kept));
    }
    return out;
}

std::wstring Base64Encode(std::wstring_view text) {
    const std::string encoded = Base64EncodeBytes(ToAnsi(text));
    return std::wstring(encoded.begin(), encoded.end());
}

std::wstring Base64Decode(std::wstring_view text) {
    return FromAnsi(Base64DecodeBytes(text));
}

std::wstring EncodePassword(std::wstring_view password) {
    return Base64Encode(password);
}

std::wstring DecodePassword(std::wstring_view stored) {
    return Base64Decode(stored);
}

}  // namespace lineprobe
