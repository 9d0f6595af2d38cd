// A stand-in file server for the share tests: a network provider that mpr loads.
// Accounts come from LINEPROBE_STANDIN_SERVERS ("server=user:password:delayMs;...",
// a server may be named in several entries, the first one's delay counts; a
// logon is answered after that delay, a refusal too; StandinLogons counts them);
// a server's shares under LINEPROBE_STANDIN_ROOT\<server> are named "<share>.offline"
// until the first connection to that server and again after its last one is cancelled.
#include <windows.h>
extern "C" {
#include <npapi.h>  // declares the entry points without C linkage
}

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Server {
    std::wstring name, user, password;  // name and user lower-case
    DWORD delayMs = 0;
};

struct Connection {
    std::wstring remoteName, user;  // lower-case
};

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Environment(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

struct Config {
    std::vector<Server> servers;
    std::wstring root = Environment(L"LINEPROBE_STANDIN_ROOT");

    Config() {
        const std::wstring list = Environment(L"LINEPROBE_STANDIN_SERVERS");
        for (std::size_t start = 0; start < list.size();) {
            std::size_t end = std::min(list.find(L';', start), list.size());
            const std::wstring entry = list.substr(start, end - start);
            start = end + 1;
            const std::size_t equals = entry.find(L'='), colon = entry.find(L':', equals);
            const std::size_t last = entry.rfind(L':');
            if (equals == std::wstring::npos || colon == std::wstring::npos || last <= colon) continue;
            servers.push_back({Lower(entry.substr(0, equals)), Lower(entry.substr(equals + 1, colon - equals - 1)),
                               entry.substr(colon + 1, last - colon - 1),
                               static_cast<DWORD>(std::wcstoul(entry.c_str() + last + 1, nullptr, 10))});
        }
    }
};

const Config& Settings() {
    static const Config config;  // read once, at the first call
    return config;
}

std::mutex lock;
std::vector<Connection> connections;
LONG logons = 0;  // logons tried at known servers

// Renames every share folder of the server to "<share>" (open) or "<share>.offline".
void SetGate(const std::wstring& server, bool open) {
    const std::wstring folder = Settings().root + L"\\" + server + L"\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    static const std::wstring suffix = L".offline";
    do {
        const std::wstring name = found.cFileName;
        const bool offline = name.size() > suffix.size() && Lower(name).ends_with(suffix);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L".." || offline != open)
            continue;
        const std::wstring renamed = open ? name.substr(0, name.size() - suffix.size()) : name + suffix;
        MoveFileW((folder + name).c_str(), (folder + renamed).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// "\\server\share" -> "server", lower-case.
std::wstring ServerOf(const std::wstring& remoteName) {
    const std::size_t start = remoteName.find_first_not_of(L'\\');
    if (start == std::wstring::npos) return {};
    return Lower(remoteName.substr(start, remoteName.find(L'\\', start) - start));
}

}  // namespace

DWORD WINAPI NPGetCaps(DWORD index) {
    switch (index) {
    case WNNC_SPEC_VERSION: return WNNC_SPEC_VERSION51;
    case WNNC_CONNECTION: return WNNC_CON_ADDCONNECTION | WNNC_CON_ADDCONNECTION3 | WNNC_CON_CANCELCONNECTION;
    default: return 0;
    }
}

DWORD WINAPI NPAddConnection3(HWND, LPNETRESOURCEW resource, LPWSTR password, LPWSTR user, DWORD) {
    if (!resource || !resource->lpRemoteName) return ERROR_BAD_NETPATH;
    const std::wstring remoteName = Lower(resource->lpRemoteName), name = ServerOf(remoteName);
    const std::wstring userName = Lower(user ? user : L""), secret = password ? password : L"";
    const auto& servers = Settings().servers;
    const auto server = std::find_if(servers.begin(), servers.end(), [&](const Server& s) { return s.name == name; });
    if (server == servers.end()) return ERROR_BAD_NETPATH;
    InterlockedIncrement(&logons);
    Sleep(server->delayMs);
    {
        const std::lock_guard<std::mutex> guard(lock);
        // As Windows does, one user per server in a logon session.
        const auto held = std::find_if(connections.begin(), connections.end(),
                                       [&](const Connection& c) { return ServerOf(c.remoteName) == name; });
        if (held != connections.end() && held->user != userName) return ERROR_SESSION_CREDENTIAL_CONFLICT;
        const auto account = [&](const Server& s) { return s.name == name && s.user == userName && s.password == secret; };
        if (std::none_of(servers.begin(), servers.end(), account)) return ERROR_LOGON_FAILURE;
        if (held == connections.end()) SetGate(name, true);
        const auto same = [&](const Connection& c) { return c.remoteName == remoteName; };
        if (std::none_of(connections.begin(), connections.end(), same))
            connections.push_back({remoteName, userName});
    }
    Sleep(2);  // a late answer, so that a caller's race with another thread shows
    return WN_SUCCESS;
}

DWORD WINAPI NPAddConnection(LPNETRESOURCEW resource, LPWSTR password, LPWSTR user) {
    return NPAddConnection3(nullptr, resource, password, user, 0);
}

DWORD WINAPI NPCancelConnection(LPWSTR name, BOOL) {
    const std::wstring remoteName = Lower(name ? name : L""), server = ServerOf(remoteName);
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = std::find_if(connections.begin(), connections.end(),
                                    [&](const Connection& c) { return c.remoteName == remoteName; });
    if (found == connections.end()) return ERROR_NOT_CONNECTED;
    connections.erase(found);
    if (std::none_of(connections.begin(), connections.end(),
                     [&](const Connection& c) { return ServerOf(c.remoteName) == server; }))
        SetGate(server, false);
    return WN_SUCCESS;
}

// For the tests in the process that mpr loaded the provider into.
extern "C" LONG WINAPI StandinLogons() { return InterlockedCompareExchange(&logons, 0, 0); }
