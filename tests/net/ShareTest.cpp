// The share connection through a recording stand-in for mpr and FormatMessageA:
// the exact arguments, and how results and messages come back; then the real
// functions, which under Wine answer "No network." unless with-standin-server.sh
// has installed its stand-in file server.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Share.h"

namespace lineprobe {
namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string("<null>"); }

// What the stand-ins saw, in order, and what they answer.
struct Recorder {
    std::vector<std::string> calls;
    DWORD addResult = NO_ERROR;
    DWORD cancelResult = NO_ERROR;
    std::string message;  // written by FormatMessageA; none means "no message"
    NETRESOURCEA resource{};
    std::string remoteName;
    DWORD formatFlags = 0, formatCode = 0, formatLanguage = 0, formatSize = 0;
    bool sourceIsZero = false, argumentsAreZero = false, bufferIsSpaces = false;
};
Recorder recorder;

DWORD WINAPI FakeAdd(LPNETRESOURCEA resource, LPCSTR password, LPCSTR user, DWORD flags) {
    recorder.resource = *resource;
    recorder.remoteName = Text(resource->lpRemoteName);
    recorder.calls.push_back("add " + recorder.remoteName + " password=" + Text(password) + " user=" + Text(user) +
                             " flags=" + std::to_string(flags));
    return recorder.addResult;
}

DWORD WINAPI FakeCancel(LPCSTR name, DWORD flags, BOOL force) {
    recorder.calls.push_back("cancel " + Text(name) + " flags=" + std::to_string(flags) +
                             " force=" + std::to_string(force));
    return recorder.cancelResult;
}

DWORD WINAPI FakeFormat(DWORD flags, LPCVOID source, DWORD code, DWORD language, LPSTR buffer, DWORD size,
                        va_list* arguments) {
    recorder.calls.push_back("format " + std::to_string(code));
    recorder.formatFlags = flags;
    recorder.formatCode = code;
    recorder.formatLanguage = language;
    recorder.formatSize = size;
    recorder.sourceIsZero = source && *static_cast<const DWORD*>(source) == 0;
    recorder.argumentsAreZero = arguments && *reinterpret_cast<const DWORD_PTR*>(arguments) == 0;
    recorder.bufferIsSpaces = std::string(buffer, size) == std::string(size, ' ');
    if (recorder.message.empty() || recorder.message.size() > size) return 0;
    std::memcpy(buffer, recorder.message.data(), recorder.message.size());
    return static_cast<DWORD>(recorder.message.size());
}

const ShareApi kFake{&FakeAdd, &FakeCancel, &FakeFormat};

class ShareSeam : public ::testing::Test {
protected:
    void SetUp() override { recorder = Recorder{}; }
};

TEST_F(ShareSeam, ConnectCancelsFirstThenAddsWithTheRecord) {
    std::wstring error = L"kept";
    EXPECT_TRUE(ConnectShare(L"srv", L"bob", L"secret", error, kFake));
    EXPECT_EQ(error, L"kept") << "success leaves the error text alone";
    const std::vector<std::string> expected = {"cancel \\\\srv\\IPC$ flags=1 force=0",
                                               "add \\\\srv\\ipc$ password=secret user=bob flags=0"};
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_EQ(recorder.resource.dwScope, 2u);
    EXPECT_EQ(recorder.resource.dwType, 1u);
    EXPECT_EQ(recorder.resource.dwDisplayType, 3u);
    EXPECT_EQ(recorder.resource.dwUsage, 1u);
    EXPECT_EQ(recorder.resource.lpLocalName, nullptr);
    EXPECT_EQ(recorder.resource.lpComment, nullptr);
    EXPECT_EQ(recorder.resource.lpProvider, nullptr);
}

TEST_F(ShareSeam, PathsAndTrimmedAnsiCredentials) {
    struct {
        const wchar_t* server;
        const wchar_t* user;
        const wchar_t* password;
        std::vector<std::string> calls;
    } cases[] = {
        {L"srv", L"  bob  ", L"  pass word  ",
         {"cancel \\\\srv\\IPC$ flags=1 force=0", "add \\\\srv\\ipc$ password=pass word user=bob flags=0"}},
        {L"\\\\srv", L"bob", L"pw",
         {"cancel \\\\\\\\srv\\IPC$ flags=1 force=0", "add \\\\srv\\ipc$ password=pw user=bob flags=0"}},
        {L" srv ", L"DOMAIN\\bob", L"",
         {"cancel \\\\srv\\IPC$ flags=1 force=0", "add \\\\srv\\ipc$ password= user=DOMAIN\\bob flags=0"}},
        {L"", L"bob", L"pw", {"cancel \\\\\\IPC$ flags=1 force=0", "add \\\\\\ipc$ password=pw user=bob flags=0"}},
        // The system ANSI code page (1252 here): one byte per character, "?" for what it cannot hold.
        {L"srv", L"J\u00FCrgen", L"\u20AC\u4E00",
         {"cancel \\\\srv\\IPC$ flags=1 force=0", "add \\\\srv\\ipc$ password=\x80? user=J\xFCrgen flags=0"}},
    };
    for (const auto& c : cases) {
        recorder = Recorder{};
        std::wstring error;
        ConnectShare(c.server, c.user, c.password, error, kFake);
        EXPECT_EQ(recorder.calls, c.calls) << "[" << c.server << "]";
    }
}

TEST_F(ShareSeam, RefusalGivesTheCleanedMessage) {
    recorder.addResult = ERROR_LOGON_FAILURE;
    recorder.message = "  Logon failure: unknown user name or bad password. \r\n";
    std::wstring error;
    EXPECT_FALSE(ConnectShare(L"srv", L"bob", L"pw", error, kFake));
    EXPECT_EQ(error, L"Logon failure: unknown user name or bad password. ");
    EXPECT_EQ(recorder.calls.back(), "format 1326");
}

TEST_F(ShareSeam, RefusalWithoutMessageGivesEmptyText) {
    recorder.addResult = 0x0000BEEF;
    std::wstring error;
    EXPECT_FALSE(ConnectShare(L"srv", L"bob", L"pw", error, kFake));
    EXPECT_EQ(error, L"");
}

TEST_F(ShareSeam, FormatMessageArguments) {
    recorder.message = "Access is denied.\r\n";
    EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED, kFake), L"Access is denied.");
    EXPECT_EQ(recorder.formatFlags, 0x1200u);
    EXPECT_EQ(recorder.formatCode, 5u);
    EXPECT_EQ(recorder.formatLanguage, 0u);
    EXPECT_EQ(recorder.formatSize, 260u);
    EXPECT_TRUE(recorder.sourceIsZero);
    EXPECT_TRUE(recorder.argumentsAreZero);
    EXPECT_TRUE(recorder.bufferIsSpaces) << "the buffer starts as 260 spaces";
}

TEST_F(ShareSeam, SystemErrorTexts) {
    struct {
        std::string message;
        std::wstring text;
    } cases[] = {
        {"No network.\r\n", L"No network."},
        {"ab", L""},
        {"", L""},
        {std::string(260, 'x'), std::wstring(260, L'x')},
        {std::string(261, 'x'), L""},  // does not fit: FormatMessageA fails
        {"caf\xE9 \r\n", L"caf\u00E9 "},
    };
    for (const auto& c : cases) {
        recorder.message = c.message;
        EXPECT_EQ(SystemErrorText(1, kFake), c.text) << c.message;
    }
}

TEST_F(ShareSeam, DisconnectResult) {
    EXPECT_TRUE(DisconnectShare(L"srv", kFake));
    recorder.cancelResult = ERROR_NOT_CONNECTED;
    EXPECT_FALSE(DisconnectShare(L"srv", kFake));
    const std::vector<std::string> expected = {"cancel \\\\srv\\IPC$ flags=1 force=0",
                                               "cancel \\\\srv\\IPC$ flags=1 force=0"};
    EXPECT_EQ(recorder.calls, expected);
}

// A failed cancel before the connection does not stop it.
TEST_F(ShareSeam, ConnectIgnoresTheFirstCancel) {
    recorder.cancelResult = ERROR_NOT_CONNECTED;
    std::wstring error;
    EXPECT_TRUE(ConnectShare(L"srv", L"bob", L"pw", error, kFake));
    EXPECT_EQ(error, L"");
}

TEST(ShareSystem, RealFunctionsUnderWine) {
    std::wstring error;
    EXPECT_FALSE(ConnectShare(L"lineprobe-no-such-server", L"bob", L"pw", error));
    EXPECT_EQ(error, L"No network.");
    EXPECT_FALSE(DisconnectShare(L"lineprobe-no-such-server"));
    EXPECT_EQ(SystemErrorText(ERROR_NO_NETWORK), L"No network.");
    EXPECT_EQ(SystemErrorText(0x0000BEEF), L"") << "a code without a message";
}

// Through the real mpr and the stand-in file server of with-standin-server.sh.
class ShareStandin : public ::testing::Test {
protected:
    void SetUp() override {
        if (Environment(L"LINEPROBE_STANDIN_SHARE").empty()) GTEST_SKIP() << "runs under with-standin-server.sh";
    }
    static std::wstring Environment(const wchar_t* name) {
        std::wstring value(32767, L'\0');
        value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
        return value;
    }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
};

TEST_F(ShareStandin, RightPasswordOpensTheShareUntilDisconnected) {
    const std::wstring offline = Environment(L"LINEPROBE_STANDIN_OFFLINE") + L"\\state.txt";
    const std::wstring online = Environment(L"LINEPROBE_STANDIN_SHARE") + L"\\state.txt";
    std::ofstream(std::filesystem::path(offline)) << "OK";
    std::wstring error;
    ASSERT_TRUE(ConnectShare(L"fileserver", L"monitor", L"Secret1", error)) << error;
    EXPECT_TRUE(Exists(online));
    EXPECT_TRUE(DisconnectShare(L"fileserver"));
    EXPECT_FALSE(Exists(online));
    EXPECT_TRUE(Exists(offline));
}

TEST_F(ShareStandin, RefusedLogonsGiveTheSystemsText) {
    struct {
        const wchar_t* user;
        const wchar_t* password;
        bool othersConnection;  // monitor holds \\fileserver\logs, as a mapped drive would
        DWORD code;
    } cases[] = {
        {L"monitor", L"Secret2", false, ERROR_LOGON_FAILURE},
        {L"other", L"Secret1", true, ERROR_SESSION_CREDENTIAL_CONFLICT},
    };
    for (const auto& c : cases) {
        NETRESOURCEA logs{};
        logs.dwType = RESOURCETYPE_DISK;
        logs.lpRemoteName = const_cast<char*>("\\\\fileserver\\logs");
        if (c.othersConnection) {
            ASSERT_EQ(WNetAddConnection2A(&logs, "Secret1", "monitor", 0), DWORD{NO_ERROR});
        }
        std::wstring error;
        EXPECT_FALSE(ConnectShare(L"fileserver", c.user, c.password, error)) << c.user;
        EXPECT_EQ(error, SystemErrorText(c.code)) << c.code;
        EXPECT_FALSE(error.empty());
        if (c.othersConnection) WNetCancelConnection2A(logs.lpRemoteName, 0, TRUE);
    }
}

}  // namespace
}  // namespace lineprobe
