// The authenticated connection to a file server's IPC$ share that a check on a
// share needs, and the system's text for an error code.
#pragma once

#include <windows.h>
#include <winnetwk.h>

#include <string>
#include <string_view>

#include "ShareConnections.h"
#include "SharePath.h"

namespace lineprobe {

// The platform functions behind the three operations. Tests hand in their own
// table to stand in for a logon that Wine cannot give; the DLL always uses SystemShareApi().
struct ShareApi {
    decltype(&WNetAddConnection2A) addConnection;
    decltype(&WNetCancelConnection2A) cancelConnection;
    decltype(&FormatMessageA) formatMessage;
};

const ShareApi& SystemShareApi() noexcept;

// Cancels any earlier connection to the server, then connects to its IPC$ share
// with the user name and password (both trimmed). True when connected; false
// with the reason in errorText otherwise (the reason is empty when the system
// has no text for the refusal). errorText is left alone on success.
bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                  std::wstring& errorText, const ShareApi& api = SystemShareApi());

// True when the connection was cancelled, false when the platform refused.
// A failure on the way (out of memory) reaches the caller.
bool DisconnectShare(std::wstring_view server, const ShareApi& api = SystemShareApi());

// The system's message for the code, cleaned by CleanSystemMessage; empty when
// the system has none or it does not fit 260 characters.
std::wstring SystemErrorText(DWORD code, const ShareApi& api = SystemShareApi());

// The sharing's calls through mpr; server names compare as the system's
// object names do, without regard to case.
class SystemShareServers final : public ShareServers {
public:
    explicit SystemShareServers(const ShareApi& api = SystemShareApi()) noexcept : m_api(api) {}

    bool LogOn(std::wstring_view server, std::wstring_view user, std::wstring_view password,
               std::wstring& errorText) override {
        return ConnectShare(server, user, password, errorText, m_api);
    }
    bool Cancel(std::wstring_view server) override { return DisconnectShare(server, m_api); }
    bool SameServer(std::wstring_view a, std::wstring_view b) const noexcept override;

private:
    const ShareApi& m_api;
};

// The connections of the process's checks.
ShareConnections& ServerConnections() noexcept;

}  // namespace lineprobe
