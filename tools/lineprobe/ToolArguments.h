// The command line of lineprobe.exe: commands, options and the usage text.
// Plain C++, so the rules are tested natively as well as under Wine.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lineprobe::tool {

enum class Command {
    Help,
    Usage,  // no arguments at all: the usage goes to standard error with exit code 3
    Version,
    Check,
    Configure,
    EncodePassword,
    DecodePassword,
    Register,
    Unregister,
};

struct Options {
    Command command = Command::Help;
    std::optional<std::wstring> param;     // the parameter string as written after --param
    bool paramFromInput = false;           // --param -: one line of standard input
    std::optional<std::wstring> paramEnv;  // --param-env NAME
    std::optional<std::wstring> logFile;
    std::optional<std::wstring> up;
    std::optional<std::wstring> down;
    std::optional<std::wstring> user;
    std::optional<std::wstring> passwordEnv;
    std::optional<std::wstring> dll;
    std::optional<std::int32_t> timeout;  // seconds, already checked against kTimeoutRule
    std::optional<unsigned> maxAge;  // minutes, already checked against the MAXAGE rule
    bool verbose = false;
    bool trace = false;  // the check's trace on standard error
};

// A command line that cannot be run. The message never repeats an argument's
// value, because a mistyped command line may carry a password.
class UsageError : public std::exception {
public:
    explicit UsageError(std::wstring message) : m_message(std::move(message)) {}
    const std::wstring& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return "lineprobe::tool::UsageError"; }

private:
    std::wstring m_message;
};

// args without the program name. Throws UsageError.
Options ParseArguments(const std::vector<std::wstring>& args);

extern const std::wstring_view kUsage;

// The rule for --timeout, which becomes the object's ec_timeout: the host's time limit.
inline constexpr std::wstring_view kTimeoutRule = L"--timeout needs a whole number of seconds from 1 to 86400";

}  // namespace lineprobe::tool
