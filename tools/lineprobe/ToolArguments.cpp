#include "ToolArguments.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "ParameterString.h"

namespace lineprobe::tool {
namespace {

enum class Key {
    Param, ParamEnv, LogFile, Up, Down, User, PasswordEnv, MaxAge, Dll, Timeout, Verbose, Trace, Help, Version
};

struct OptionRule {
    std::wstring_view name;
    Key key;
    bool takesValue;
};

constexpr std::array kOptionRules{
    OptionRule{L"--param", Key::Param, true},
    OptionRule{L"--param-env", Key::ParamEnv, true},
    OptionRule{L"--logfile", Key::LogFile, true},
    OptionRule{L"--up", Key::Up, true},
    OptionRule{L"--down", Key::Down, true},
    OptionRule{L"--user", Key::User, true},
    OptionRule{L"--password-env", Key::PasswordEnv, true},
    OptionRule{L"--max-age", Key::MaxAge, true},
    OptionRule{L"--dll", Key::Dll, true},
    OptionRule{L"--timeout", Key::Timeout, true},
    OptionRule{L"--verbose", Key::Verbose, false},
    OptionRule{L"--trace", Key::Trace, false},
    OptionRule{L"--help", Key::Help, false},
    OptionRule{L"-h", Key::Help, false},
    OptionRule{L"/?", Key::Help, false},
    OptionRule{L"--version", Key::Version, false},
};

constexpr std::size_t kLongestOptionName =
    std::max_element(kOptionRules.begin(), kOptionRules.end(), [](const auto& a, const auto& b) {
        return a.name.size() < b.name.size();
    })->name.size();

struct CommandRule {
    std::wstring_view name;
    Command command;
    std::initializer_list<Key> allowed;
};

const std::array kCommandRules{
    CommandRule{L"check", Command::Check,
                {Key::Param, Key::ParamEnv, Key::LogFile, Key::Up, Key::Down, Key::User, Key::PasswordEnv,
                 Key::MaxAge, Key::Timeout, Key::Dll, Key::Verbose, Key::Trace}},
    CommandRule{L"configure", Command::Configure, {Key::Param, Key::ParamEnv, Key::Timeout, Key::Dll}},
    CommandRule{L"encode-password", Command::EncodePassword, {}},
    CommandRule{L"decode-password", Command::DecodePassword, {}},
    CommandRule{L"register", Command::Register, {Key::Dll}},
    CommandRule{L"unregister", Command::Unregister, {Key::Dll}},
};

using Seen = std::vector<const OptionRule*>;

std::wstring Quoted(std::wstring_view name) { return L"\"" + std::wstring(name) + L"\""; }

std::wstring Position(std::size_t index) { return L"position " + std::to_wstring(index + 1); }

bool LooksLikeOption(std::wstring_view arg) { return arg.size() > 1 && (arg[0] == L'-' || arg == L"/?"); }

// The part of an option that names it: "--name" of "--name=value", and "-p" of
// "-pvalue", since short options are often written with the value glued on.
std::wstring_view OptionKey(std::wstring_view arg) {
    if (arg.starts_with(L"--")) return arg.substr(0, arg.find(L'='));
    if (arg.starts_with(L"-")) return arg.substr(0, 2);
    return arg;
}

bool IsPasswordOption(std::wstring_view key) {
    return key == L"-p" || key.starts_with(L"--pw") || key.starts_with(L"--pass");
}

// An unknown word may be a mistyped option with a password glued on
// ("--pwS3cret"); only a word that could be an option name is repeated.
bool CouldBeOptionName(std::wstring_view key) {
    return key.size() <= kLongestOptionName &&
           std::all_of(key.begin(), key.end(), [](wchar_t c) { return (c >= L'a' && c <= L'z') || c == L'-'; });
}

[[noreturn]] void RefuseUnknownOption(std::wstring_view key, std::size_t index) {
    if (IsPasswordOption(key)) {
        throw UsageError(L"a password is never taken from the command line: pipe it to standard input or "
                         L"name an environment variable with --password-env");
    }
    if (CouldBeOptionName(key)) throw UsageError(L"unknown option " + Quoted(key));
    throw UsageError(L"an unknown option at " + Position(index));
}

bool IsHelp(std::wstring_view arg) {
    return std::any_of(kOptionRules.begin(), kOptionRules.end(),
                       [arg](const OptionRule& rule) { return rule.key == Key::Help && rule.name == arg; });
}

const CommandRule& FindCommand(std::wstring_view word, std::size_t index) {
    for (const auto& rule : kCommandRules) {
        if (word == rule.name) return rule;
    }
    throw UsageError(L"unknown command at " + Position(index) +
                     L" (commands: check, configure, encode-password, decode-password, register, unregister)");
}

const OptionRule& FindOption(std::wstring_view key, std::size_t index) {
    for (const auto& rule : kOptionRules) {
        if (rule.name == key) return rule;
    }
    RefuseUnknownOption(key, index);
}

// The value of the option at args[index]: glued on with "=", or the next
// argument unless that is an option itself. Moves index past a value it takes.
std::wstring TakeValue(const OptionRule& rule, const std::vector<std::wstring>& args, std::size_t& index) {
    const std::wstring_view arg = args[index];
    const bool glued = arg.size() > rule.name.size();
    if (!rule.takesValue) {
        if (glued) throw UsageError(L"option " + Quoted(rule.name) + L" takes no value");
        return {};
    }
    if (glued) {
        const std::size_t start = rule.name.size() + (arg[rule.name.size()] == L'=' ? 1 : 0);
        return std::wstring(arg.substr(start));
    }
    if (index + 1 < args.size() && !args[index + 1].starts_with(L"--")) return args[++index];
    throw UsageError(L"option " + Quoted(rule.name) + L" needs a value");
}

// The component's own rule for ec_timeout, without the spaces a host's text may carry.
std::int32_t ParseTimeout(std::wstring_view text) {
    const unsigned seconds = text.find(L' ') == std::wstring_view::npos ? ParseTimeLimit(text) : 0;
    if (seconds == 0) throw UsageError(std::wstring(kTimeoutRule));
    return static_cast<std::int32_t>(seconds);
}

unsigned ParseMaxAgeOption(std::wstring_view text) {
    const MaxAge maxAge = ParseMaxAge(text);
    // An empty MAXAGE means any age; on the command line that is said by leaving the option out.
    if (!maxAge.valid || maxAge.minutes == 0) throw UsageError(L"--max-age: " + std::wstring(kMaxAgeRule));
    return maxAge.minutes;
}

// Whether any PW field of a parameter string holds a value: what the command
// line shows, every process listing shows.
bool HoldsPassword(std::wstring_view parameterString) {
    constexpr std::wstring_view key = L"PW";
    for (std::size_t at = parameterString.find(L'#'); at != std::wstring_view::npos;
         at = parameterString.find(L'#', at + 1)) {
        const std::size_t valueStart = at + key.size() + 2;
        if (FieldKeyAt(parameterString, at, key) && valueStart < parameterString.size() &&
            parameterString[valueStart] != L'#') {
            return true;
        }
    }
    return false;
}

void ApplyParam(Options& options, std::wstring value) {
    if (value == L"-") {
        options.paramFromInput = true;
    } else if (HoldsPassword(value)) {
        throw UsageError(L"a password is never taken from the command line, and this parameter string holds one "
                         L"in its PW field: give it on standard input with --param -, or name an environment "
                         L"variable that holds it with --param-env NAME");
    } else {
        options.param = std::move(value);
    }
}

std::wstring NonEmpty(std::wstring value, std::wstring_view option, std::wstring_view what) {
    if (value.empty()) throw UsageError(L"option " + Quoted(option) + L" needs " + std::wstring(what));
    return value;
}

void Apply(Options& options, const OptionRule& rule, std::wstring value) {
    switch (rule.key) {
    case Key::Param: ApplyParam(options, std::move(value)); break;
    case Key::ParamEnv: options.paramEnv = NonEmpty(std::move(value), rule.name, L"the name of a variable"); break;
    case Key::LogFile: options.logFile = std::move(value); break;
    case Key::Up: options.up = std::move(value); break;
    case Key::Down: options.down = std::move(value); break;
    case Key::User: options.user = std::move(value); break;
    case Key::PasswordEnv:
        options.passwordEnv = NonEmpty(std::move(value), rule.name, L"the name of a variable");
        break;
    case Key::MaxAge: options.maxAge = ParseMaxAgeOption(value); break;
    case Key::Dll: options.dll = NonEmpty(std::move(value), rule.name, L"a path"); break;
    case Key::Timeout: options.timeout = ParseTimeout(value); break;
    case Key::Verbose: options.verbose = true; break;
    case Key::Trace: options.trace = true; break;
    case Key::Help: break;
    case Key::Version: break;
    }
}

bool Has(const Seen& seen, Key key) {
    return std::any_of(seen.begin(), seen.end(), [key](const OptionRule* rule) { return rule->key == key; });
}

void CheckVersionLine(const CommandRule* command, const Seen& seen) {
    if (command) throw UsageError(L"--version takes no command");
    for (const OptionRule* rule : seen) {
        if (rule->key != Key::Version && rule->key != Key::Dll) {
            throw UsageError(L"option " + Quoted(rule->name) + L" does not apply to --version");
        }
    }
}

void CheckAllowed(const CommandRule& command, const Seen& seen) {
    for (const OptionRule* rule : seen) {
        if (std::find(command.allowed.begin(), command.allowed.end(), rule->key) == command.allowed.end()) {
            throw UsageError(L"option " + Quoted(rule->name) + L" does not apply to " + std::wstring(command.name));
        }
    }
}

// A parameter string comes from one place only.
void CheckParamSource(const Seen& seen) {
    if (Has(seen, Key::Param) && Has(seen, Key::ParamEnv)) {
        throw UsageError(L"--param and --param-env cannot be combined: give the parameter string once");
    }
}

void CheckCheckLine(const Options& options, const Seen& seen) {
    const bool fieldOptions =
        options.logFile || options.up || options.down || options.user || options.passwordEnv || options.maxAge;
    if (fieldOptions && (Has(seen, Key::Param) || Has(seen, Key::ParamEnv))) {
        throw UsageError(std::wstring(Has(seen, Key::Param) ? L"--param" : L"--param-env") +
                         L" cannot be combined with --logfile, --up, --down, --user, --password-env or --max-age");
    }
    if (!Has(seen, Key::Param) && !Has(seen, Key::ParamEnv) && !(options.logFile && options.up && options.down)) {
        throw UsageError(L"check needs --param STRING (or --param - or --param-env NAME), or --logfile PATH with "
                         L"--up WORD and --down WORD");
    }
    if (options.passwordEnv && !options.user) {
        throw UsageError(L"--password-env needs --user");
    }
}

}  // namespace

Options ParseArguments(const std::vector<std::wstring>& args) {
    Options options;
    // Asking for help always works, whatever else the line holds.
    if (std::any_of(args.begin(), args.end(), [](const std::wstring& arg) { return IsHelp(arg); })) return options;
    if (args.empty()) {
        options.command = Command::Usage;
        return options;
    }

    const CommandRule* command = nullptr;
    Seen seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!LooksLikeOption(args[i])) {
            if (command) throw UsageError(L"unexpected argument at " + Position(i));
            command = &FindCommand(args[i], i);
            continue;
        }
        const OptionRule& rule = FindOption(OptionKey(args[i]), i);
        if (Has(seen, rule.key)) throw UsageError(L"option " + Quoted(rule.name) + L" is given twice");
        seen.push_back(&rule);
        Apply(options, rule, TakeValue(rule, args, i));
    }

    if (Has(seen, Key::Version)) {
        CheckVersionLine(command, seen);
        options.command = Command::Version;
        return options;
    }
    if (!command) throw UsageError(L"no command given (try lineprobe --help)");
    options.command = command->command;
    CheckAllowed(*command, seen);
    CheckParamSource(seen);
    if (command->command == Command::Check) CheckCheckLine(options, seen);
    return options;
}

const std::wstring_view kUsage =
    L"lineprobe: run, configure and register \"Word in First Line\" checks outside the monitoring host.\n"
    L"\n"
    L"Usage:\n"
    L"  lineprobe check --param STRING [OPTIONS]     (a STRING without a password)\n"
    L"  lineprobe check --param - [OPTIONS]          (the string on standard input)\n"
    L"  lineprobe check --param-env VAR [OPTIONS]    (the string in a variable)\n"
    L"  lineprobe check --logfile PATH --up WORD --down WORD [--user NAME [--password-env VAR]]\n"
    L"                  [--max-age MINUTES] [OPTIONS]\n"
    L"      OPTIONS of check: [--timeout SECONDS] [--verbose] [--trace] [--dll PATH]\n"
    L"  lineprobe configure [--param STRING | --param - | --param-env VAR] [--timeout SECONDS] [--dll PATH]\n"
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
    L"--password-env names; never from the command line. --max-age MINUTES (1 to 525600) makes the\n"
    L"check fail when the file was last written longer ago. --verbose also prints the parameter\n"
    L"string with the password masked, the verdict and where the object came from.\n"
    L"--timeout SECONDS (1 to 86400) is put into the object's ec_timeout, the host's time limit.\n"
    L"--trace prints the check's trace on standard error: each step with the time since the check\n"
    L"began, never the password or the file's lines.\n"
    L"\n"
    L"The parameter string is read from the first line of standard input with --param -, or from\n"
    L"the environment variable that --param-env names. A parameter string whose PW field holds a\n"
    L"value is refused after --param STRING, because the command line is visible to others.\n"
    L"\n"
    L"configure opens the configuration dialog and prints the resulting parameter string, or the\n"
    L"unchanged one when the dialog is closed without OK. --timeout is put into ec_timeout as for check.\n"
    L"\n"
    L"register and unregister call the entry points of comlineprobe.dll (run them elevated).\n"
    L"\n"
    L"The object is created by its ProgID when comlineprobe is registered; otherwise, or with\n"
    L"--dll PATH, lineprobe loads comlineprobe.dll from beside itself (or PATH) without registration.\n"
    L"Before it exits, lineprobe waits at most about 3 seconds for work the object left running (a\n"
    L"check past its time limit, a dialog's Test) to end; work still running then is named on\n"
    L"standard error and ends with lineprobe.\n"
    L"\n"
    L"Without any argument lineprobe prints this text on standard error and exits with 3.\n";

}  // namespace lineprobe::tool
