#include "SharePath.h"

#include "ParameterString.h"

namespace lineprobe {

std::wstring ServerName(std::wstring_view server) { return Trim(server); }

std::wstring ConnectPath(std::wstring_view server) {
    std::wstring path = server.starts_with(L"\\\\") ? std::wstring() : std::wstring(L"\\\\");
    path += ServerName(server);
    path += L"\\ipc$";
    return path;
}

std::wstring DisconnectPath(std::wstring_view server) {
    std::wstring path = L"\\\\";
    path += ServerName(server);
    path += L"\\IPC$";
    return path;
}

std::wstring CleanSystemMessage(std::wstring_view message) {
    std::wstring text = Trim(message);
    if (text.size() <= 2) {
        return {};
    }
    if (text.ends_with(L"\r\n")) {
        text.resize(text.size() - 2);
    }
    return text;
}

}  // namespace lineprobe
