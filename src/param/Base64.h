// The password codec: standard base64 of the password's single-byte codes,
// decoded leniently so that hand-edited or truncated values still read.
#pragma once

#include <string>
#include <string_view>

#include "SecretText.h"

namespace lineprobe {

// The alphabet with "=" in front, so that -1 maps to the padding character.
inline constexpr std::wstring_view kSextetTable =
    L"=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// value -1..63 to its character ("=" for -1).
wchar_t MapSextet(int value);
// The first character of `character` to its value; "=", an unknown character
// and the empty text all give 0.
int MapSextet(std::wstring_view character);

std::string Base64EncodeBytes(std::string_view bytes);
// Throws Failure(InvalidProcedureCall) for a group that begins with "=".
std::string Base64DecodeBytes(std::wstring_view text);

std::wstring Base64Encode(std::wstring_view text);
std::wstring Base64Decode(std::wstring_view text);

// The password's bytes pass through buffers that are wiped before they are freed.
std::wstring EncodePassword(std::wstring_view password);
SecretText DecodePassword(std::wstring_view stored);
// Throws what DecodePassword throws for a stored value it cannot decode, without
// decoding it: for a run that needs no password, which then holds no clear copy.
void CheckStoredPassword(std::wstring_view stored);

}  // namespace lineprobe
