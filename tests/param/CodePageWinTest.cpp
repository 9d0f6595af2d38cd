// The conversion through a given ANSI code page, UTF-8 among them, as a system
// with "Use Unicode UTF-8" has it.
#include <gtest/gtest.h>

#include <string>

#include "Base64.h"
#include "CodePage.h"

namespace lineprobe {
namespace {

struct PasswordCase {
    unsigned codePage;
    const wchar_t* password;
    const char* stored;      // the PW field
    const wchar_t* decoded;  // what the dialog and the share connection get back
};

TEST(PasswordThroughCodePage, EncodesAndDecodesTheAnsiBytes) {
    const PasswordCase cases[] = {
        {65001, L"\u00e9", "w6k=", L"\u00e9"},
        {65001, L"\u20ac", "4oKs", L"\u20ac"},
        {65001, L"\u65e5\u672c", "5pel5pys", L"\u65e5\u672c"},
        {65001, L"a\xd800", "Ye+/vQ==", L"a\ufffd"},  // an unpaired surrogate
        {1252, L"\u00e9", "6Q==", L"\u00e9"},
        {1252, L"\u20ac", "gA==", L"\u20ac"},
        {1252, L"\u65e5\u672c", "Pz8=", L"??"},
    };
    for (const auto& c : cases) {
        const std::string stored = Base64EncodeBytes(ToAnsi(c.password, c.codePage));
        EXPECT_EQ(stored, c.stored) << c.codePage;
        const std::wstring field(stored.begin(), stored.end());
        EXPECT_EQ(FromAnsi(Base64DecodeBytes(field), c.codePage), c.decoded) << c.codePage;
    }
}

}  // namespace
}  // namespace lineprobe
