#include "Share.h"

#include <algorithm>
#include <array>
#include <new>

#include "CodePage.h"
#include "Failure.h"
#include "ParameterString.h"
#include "SecretText.h"

namespace lineprobe {
namespace {

constexpr DWORD kMessageFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kMessageBufferSize = 260;

}  // namespace

const ShareApi& SystemShareApi() noexcept {
    static const ShareApi api{&WNetAddConnection2A, &WNetCancelConnection2A, &FormatMessageA};
    return api;
}

bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                  std::wstring& errorText, const ShareApi& api) {
    try {
        DisconnectShare(server, api);

        std::string remoteName = ToAnsi(ConnectPath(server));
        NETRESOURCEA resource{};
        resource.dwScope = RESOURCE_GLOBALNET;
        resource.dwType = RESOURCETYPE_DISK;
        resource.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        resource.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        resource.lpRemoteName = remoteName.data();

        std::string ansiPassword = ToAnsi(TrimmedView(password));
        const WipedOnExit wipe(ansiPassword);
        const std::string ansiUser = ToAnsi(Trim(user));
        // No flags: with no local device there is nothing to remember, and Wine's mpr
        // would read the missing local name to update the profile.
        const DWORD result = api.addConnection(&resource, ansiPassword.c_str(), ansiUser.c_str(), 0);
        if (result == NO_ERROR) {
            return true;
        }
        errorText = SystemErrorText(result, api);
        return false;
    } catch (const Failure& failure) {
        errorText = failure.Description();
    } catch (const std::bad_alloc&) {
        errorText = FailureDescription(FailureKind::OutOfMemory);
    }
    return false;
}

bool DisconnectShare(std::wstring_view server, const ShareApi& api) {
    const std::string remoteName = ToAnsi(DisconnectPath(server));
    return api.cancelConnection(remoteName.c_str(), CONNECT_UPDATE_PROFILE, FALSE) == NO_ERROR;
}

std::wstring SystemErrorText(DWORD code, const ShareApi& api) {
    std::array<char, kMessageBufferSize> buffer;
    buffer.fill(' ');
    // Source and arguments are ignored under these flags; both point at a zero all the same.
    DWORD zeroSource = 0;
    DWORD_PTR zeroArguments = 0;
    const DWORD written = api.formatMessage(kMessageFlags, &zeroSource, code, 0, buffer.data(), kMessageBufferSize,
                                            reinterpret_cast<va_list*>(&zeroArguments));
    const std::size_t length = std::min<std::size_t>(written, buffer.size());
    return CleanSystemMessage(FromAnsi(std::string_view(buffer.data(), length)));
}

bool SystemShareServers::SameServer(std::wstring_view a, std::wstring_view b) const noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

ShareConnections& ServerConnections() noexcept {
    static ShareConnections connections;
    return connections;
}

}  // namespace lineprobe
