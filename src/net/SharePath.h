// The texts around a share connection that need no platform: the IPC paths
// and the clean-up of a system message.
#pragma once

#include <string>
#include <string_view>

namespace lineprobe {

// The server a server text names: the text without its surrounding spaces. The
// connect path, the disconnect path and the sharing of a connection all go by it.
std::wstring ServerName(std::wstring_view server);

// "\\server\ipc$"; a server text that already begins with "\\" is used as it is
// (the test looks at the text before its spaces are removed).
std::wstring ConnectPath(std::wstring_view server);

// Always "\\server\IPC$", even for a server text that begins with "\\".
std::wstring DisconnectPath(std::wstring_view server);

// A system message without surrounding spaces and without its final CR LF;
// empty for a message of two characters or fewer.
std::wstring CleanSystemMessage(std::wstring_view message);

}  // namespace lineprobe
