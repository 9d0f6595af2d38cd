#include "ToolArguments.h"

#include <array>
#include <initializer_list>

namespace lineprobe::tool {
namespace {

enum class Key { Param, LogFile, Up, Down, User, PasswordEnv, Dll, Timeout, Verbose, Help, Version };

struct OptionRule {
    std::wstring_view name;
    Key key;
    bool takesValue;
};

constexpr std::array kOptionRules{
    OptionRule{L"--param", Key::Param, true},
    OptionRule{L"--logfile", Key::LogFile, true},
    OptionRule{L"--up", Key::Up, true},
    OptionRule{L"--down", Key::Down, true},
    OptionRule{L"--user", Key::User, true},
    OptionRule{L"--password-env", Key::PasswordEnv, true},
    OptionRule{L"--dll", Key::Dll, true},
    OptionRule{L"--timeout", Key::Timeout, true},
    OptionRule{L"--verbose", Key::Verbose, false},
    OptionRule{L"--help", Key::Help, false},
    OptionRule{L"-h", Key::Help, false},
    OptionRule{L"/?", Key::Help, false},
    OptionRule{L"--version", Key::Version, false},
};

struct CommandRule {
    std::wstring_view name;
    Command command;
    std::initializer_list<Key> allowed;
};

const std::array kCommandRules{
    CommandRule{L"check", Command::Check,
                {Key::Param, Key::LogFile, Key::Up, Key::Down, Key::User, Key::PasswordEnv, Key::Dll, Key::Verbose}},
    CommandRule{L"configure", Command::Configure, {Key::Param, Key::Timeout, Key::Dll}},
    CommandRule{L"encode-password", Command::EncodePassword, {}},
    CommandRule{L"decode-password", Command::DecodePassword, {}},
    CommandRule{L"register", Command::Register, {Key::Dll}},
    CommandRule{L"unregister", Command::Unregister, {Key::Dll}},
};

std::wstring Quoted(std::wstring_view name) { return L"\"" + std::wstring(name) + L"\""; }

bool IsPasswordOption(std::wstring_view name) {
    return name == L"--password" || name == L"--pw" || name == L"--pass" || name == L"-p";
}

std::int32_t ParseTimeout(std::wstring_view text) {
    if (text.empty() || text.size() > 10) {
        throw UsageError(L"--timeout needs a whole number of seconds");
    }
    std::int64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            throw UsageError(L"--timeout needs a whole number of seconds");
        }
        value = value * 10 + (c - L'0');
    }
    if (value > INT32_MAX) {
        throw UsageError(L"--timeout is too large");
    }
    return static_cast<std::int32_t>(value);
}

struct Seen {
    Key key;
    std::wstring_view name;
};

}  // namespace

Options ParseArguments(const std::vector<std::wstring>& args) {
    Options options;
    // Asking for help always works, whatever else the line holds.
    for (const auto& arg : args) {
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") return options;
    }
    if (args.empty()) return options;
    std::optional<Command> command;
    std::wstring_view commandName;
    std::vector<Seen> seen;
    bool version = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool looksLikeOption = arg.size() > 1 && (arg[0] == L'-' || arg == L"/?");
        if (!looksLikeOption) {
            if (command) {
                throw UsageError(L"unexpected argument at position " + std::to_wstring(i + 1));
            }
            for (const auto& rule : kCommandRules) {
                if (arg == rule.name) {
                    command = rule.command;
                    commandName = rule.name;
                }
            }
            if (!command) {
                throw UsageError(L"unknown command at position " + std::to_wstring(i + 1) +
                                 L" (commands: check, configure, encode-password, decode-password, register, "
                                 L"unregister)");
            }
            continue;
        }

        const auto equals = arg.find(L'=');
        const std::wstring_view name = std::wstring_view(arg).substr(0, equals);
        if (IsPasswordOption(name)) {
            throw UsageError(L"a password is never taken from the command line: pipe it to standard input or "
                             L"name an environment variable with --password-env");
        }
        const OptionRule* rule = nullptr;
        for (const auto& candidate : kOptionRules) {
            if (candidate.name == name) {
                rule = &candidate;
            }
        }
        if (!rule) {
            throw UsageError(L"unknown option " + Quoted(name));
        }
        for (const auto& earlier : seen) {
            if (earlier.key == rule->key) {
                throw UsageError(L"option " + Quoted(name) + L" is given twice");
            }
        }
        seen.push_back({rule->key, rule->name});

        std::wstring value;
        if (!rule->takesValue) {
            if (equals != std::wstring::npos) {
                throw UsageError(L"option " + Quoted(name) + L" takes no value");
            }
        } else if (equals != std::wstring::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size() && !args[i + 1].starts_with(L"--")) {
            value = args[++i];
        } else {
            throw UsageError(L"option " + Quoted(name) + L" needs a value");
        }

        switch (rule->key) {
        case Key::Param: options.param = value; break;
        case Key::LogFile: options.logFile = value; break;
        case Key::Up: options.up = value; break;
        case Key::Down: options.down = value; break;
        case Key::User: options.user = value; break;
        case Key::PasswordEnv:
            if (value.empty()) throw UsageError(L"option \"--password-env\" needs the name of a variable");
            options.passwordEnv = value;
            break;
        case Key::Dll:
            if (value.empty()) throw UsageError(L"option \"--dll\" needs a path");
            options.dll = value;
            break;
        case Key::Timeout: options.timeout = ParseTimeout(value); break;
        case Key::Verbose: options.verbose = true; break;
        case Key::Help: break;
        case Key::Version: version = true; break;
        }
    }

    if (version) {
        if (command) {
            throw UsageError(L"--version takes no command");
        }
        for (const auto& s : seen) {
            if (s.key != Key::Version && s.key != Key::Dll) {
                throw UsageError(L"option " + Quoted(s.name) + L" does not apply to --version");
            }
        }
        options.command = Command::Version;
        return options;
    }
    if (!command) {
        throw UsageError(L"no command given (try lineprobe --help)");
    }
    options.command = *command;

    for (const auto& rule : kCommandRules) {
        if (rule.command != *command) continue;
        for (const auto& s : seen) {
            bool allowed = false;
            for (const Key key : rule.allowed) allowed = allowed || key == s.key;
            if (!allowed) {
                throw UsageError(L"option " + Quoted(s.name) + L" does not apply to " + std::wstring(commandName));
            }
        }
    }

    if (*command == Command::Check) {
        const bool fieldOptions = options.logFile || options.up || options.down || options.user || options.passwordEnv;
        if (options.param && fieldOptions) {
            throw UsageError(L"--param cannot be combined with --logfile, --up, --down, --user or --password-env");
        }
        if (!options.param && !(options.logFile && options.up && options.down)) {
            throw UsageError(L"check needs --param STRING, or --logfile PATH with --up WORD and --down WORD");
        }
        if (options.passwordEnv && !options.user) {
            throw UsageError(L"--password-env needs --user");
        }
    }
    return options;
}

const std::wstring_view kUsage =
    L"lineprobe: run, configure and register \"Word in First Line\" checks outside the monitoring host.\n"
    L"\n"
    L"Usage:\n"
    L"  lineprobe check --param STRING [--verbose] [--dll PATH]\n"
    L"  lineprobe check --logfile PATH --up WORD --down WORD [--user NAME [--password-env VAR]]\n"
    L"                  [--verbose] [--dll PATH]\n"
    L"  lineprobe configure [--param STRING] [--timeout SECONDS] [--dll PATH]\n"
    L"  lineprobe encode-password          (reads the password from standard input)\n"
    L"  lineprobe decode-password          (reads the PW field value from standard input)\n"
    L"  lineprobe register [--dll PATH]\n"
    L"  lineprobe unregister [--dll PATH]\n"
    L"  lineprobe --version [--dll PATH]\n"
    L"  lineprobe --help\n"
    L"\n"
    L"check runs one check and prints the result text on one line. Exit code 0: up; 2: down;\n"
    L"3: the result text begins with \"ERR: \", the check could not run, or the arguments are wrong.\n"
    L"With --user the password is read from standard input, or from the environment variable that\n"
    L"--password-env names; never from the command line. --verbose also prints the parameter string\n"
    L"with the password masked, the verdict and where the object came from.\n"
    L"\n"
    L"configure opens the configuration dialog and prints the resulting parameter string, or the\n"
    L"unchanged one when the dialog is closed without OK.\n"
    L"\n"
    L"register and unregister call the entry points of comlineprobe.dll (run them elevated).\n"
    L"\n"
    L"The object is created by its ProgID when comlineprobe is registered; otherwise, or with\n"
    L"--dll PATH, lineprobe loads comlineprobe.dll from beside itself (or PATH) without registration.\n";

}  // namespace lineprobe::tool
