// The IPC paths and the clean-up of system messages.
#include <gtest/gtest.h>

#include "SharePath.h"

namespace lineprobe {
namespace {

TEST(SharePaths, ConnectAndDisconnect) {
    struct {
        const wchar_t* server;
        const wchar_t* connect;
        const wchar_t* disconnect;
    } cases[] = {
        {L"srv", L"\\\\srv\\ipc$", L"\\\\srv\\IPC$"},
        {L"  srv  ", L"\\\\srv\\ipc$", L"\\\\srv\\IPC$"},
        {L"\\\\srv", L"\\\\srv\\ipc$", L"\\\\\\\\srv\\IPC$"},
        {L"\\\\srv  ", L"\\\\srv\\ipc$", L"\\\\\\\\srv\\IPC$"},
        // The test for "\\" looks at the text before its spaces go.
        {L" \\\\srv", L"\\\\\\\\srv\\ipc$", L"\\\\\\\\srv\\IPC$"},
        {L"", L"\\\\\\ipc$", L"\\\\\\IPC$"},
        {L"\tsrv", L"\\\\\tsrv\\ipc$", L"\\\\\tsrv\\IPC$"},
        {L"fs01.example.org", L"\\\\fs01.example.org\\ipc$", L"\\\\fs01.example.org\\IPC$"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectPath(c.server), c.connect) << "[" << c.server << "]";
        EXPECT_EQ(DisconnectPath(c.server), c.disconnect) << "[" << c.server << "]";
    }
}

TEST(SystemMessages, Cleaned) {
    struct {
        const wchar_t* message;
        const wchar_t* text;
    } cases[] = {
        {L"No network.\r\n", L"No network."},
        {L"  Access is denied.  \r\n", L"Access is denied.  "},
        {L"  Access is denied.\r\n  ", L"Access is denied."},
        {L"Message \r\n", L"Message "},
        {L"Two breaks\r\n\r\n", L"Two breaks\r\n"},
        {L"Only LF\n", L"Only LF\n"},
        {L"No break", L"No break"},
        {L"a\r\n", L"a"},
        {L"ab", L""},
        {L"  ab  ", L""},
        {L"\r\n", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanSystemMessage(c.message), c.text) << "[" << c.message << "]";
    }
}

}  // namespace
}  // namespace lineprobe
