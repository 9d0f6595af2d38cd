// lineprobe.exe: runs, configures and registers "Word in First Line" checks
// outside the monitoring host, through the component's COM interface only.
#include <windows.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Base64.h"
#include "CheckObject.h"
#include "Console.h"
#include "Failure.h"
#include "ParameterString.h"
#include "SecretText.h"
#include "ToolArguments.h"
#include "ToolOutput.h"
#include "ToolVersion.h"
#include "TraceEcho.h"

namespace lineprobe::tool {
namespace {

// The value of an environment variable; an empty one is a value too. It may
// be a password or a parameter string that holds one.
SecretText EnvironmentValue(const std::wstring& name) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        throw ToolError(L"the environment variable " + name + L" is not set");
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return SecretText(std::move(value));
}

SecretText ReadPassword(const Options& options) {
    if (options.passwordEnv) return EnvironmentValue(*options.passwordEnv);
    auto password = ReadSecretLine(L"Password for " + options.user.value_or(L"") + L": ");
    if (!password) {
        throw ToolError(L"no password on standard input: pipe it in, or name an environment variable with "
                        L"--password-env");
    }
    return std::move(*password);
}

// The parameter string given whole, from wherever --param or --param-env said.
std::optional<SecretText> GivenParameterString(const Options& options) {
    if (options.param) return SecretText(std::wstring(*options.param));
    if (options.paramEnv) return EnvironmentValue(*options.paramEnv);
    if (!options.paramFromInput) return std::nullopt;
    // Read like a password, since the string may hold one.
    auto line = ReadSecretLine(L"Parameter string: ");
    if (!line) throw ToolError(L"no parameter string on standard input");
    return line;
}

SecretText ParameterStringOf(const Options& options) {
    if (auto given = GivenParameterString(options)) return std::move(*given);
    ParameterFields fields;
    fields.logFile = *options.logFile;
    fields.up = *options.up;
    fields.down = *options.down;
    if (options.user) {
        fields.user = *options.user;
        fields.password.assign(ReadPassword(options).View());
    }
    // The fields' copy of the password is wiped however this ends.
    const WipedOnExit wipe(fields.password);
    if (options.maxAge) fields.maxAge = std::to_wstring(*options.maxAge);
    return SecretText(BuildParameterString(fields));
}

// Every failure of a check is one "ERR: " line on standard output, where a
// monitoring system shows it, with the plugin's "unknown" exit code.
int Check(const Options& options) {
    try {
        const SecretText parameter = ParameterStringOf(options);
        // Outlives the object, whose work left behind may still trace its end.
        std::optional<TraceEcho> echo;
        if (options.trace) echo.emplace();
        const ComApartment apartment;
        CheckObject object = CheckObject::Create(options.dll);
        if (options.timeout) object.PutTimeout(*options.timeout);
        object.PutParameter(parameter.View());
        const bool up = object.DoCheck();
        const std::wstring result = object.Result();
        WriteLine(Stream::Out, OneLine(result));
        if (options.verbose) {
            WriteLine(Stream::Out, L"parameter: " + MaskPassword(parameter.View()));
            WriteLine(Stream::Out, std::wstring(L"verdict: ") + (up ? L"up" : L"down"));
            WriteLine(Stream::Out, L"object: " + object.Origin());
        }
        return ExitCodeFor(up, result);
    } catch (const ToolError& error) {
        WriteLine(Stream::Out, L"ERR: " + error.Message());
    } catch (const Failure& failure) {
        WriteLine(Stream::Out, L"ERR: " + failure.Description());
    }
    return kExitUnknown;
}

int Configure(const Options& options) {
    const std::optional<SecretText> parameter = GivenParameterString(options);
    const ComApartment apartment;
    CheckObject object = CheckObject::Create(options.dll);
    if (options.timeout) object.PutTimeout(*options.timeout);
    if (parameter) object.PutParameter(parameter->View());
    object.ShowGui();
    WriteLine(Stream::Out, OneLine(object.Parameter()));
    return 0;
}

int EncodePasswordCommand() {
    const auto password = ReadSecretLine(L"Password: ");
    if (!password) throw ToolError(L"no password on standard input");
    // Trimmed like the dialog trims it, so the value equals the one the dialog would store.
    WriteLine(Stream::Out, EncodePassword(TrimmedView(password->View())));
    return 0;
}

int DecodePasswordCommand() {
    const auto stored = ReadSecretLine(L"PW value: ");
    if (!stored) throw ToolError(L"no PW value on standard input");
    const std::wstring_view value = TrimmedView(stored->View());
    try {
        const SecretText password = DecodePassword(value);
        // The decoder is lenient, as the component's is: the user hears that the value is odd,
        // and still sees what the component would make of it.
        const std::wstring doubt = Base64Doubt(value);
        if (!doubt.empty()) {
            WriteLine(Stream::Err, L"lineprobe: warning: the PW value is not well-formed base64 (" + doubt +
                                       L"); this is what the component decodes from it");
        }
        WriteLine(Stream::Out, password.View());
    } catch (const Failure& failure) {
        throw ToolError(L"this is no PW value: " + failure.Description());
    }
    return 0;
}

int Registration(const Options& options, bool unregister) {
    const std::wstring path = options.dll ? FullPath(*options.dll) : DllBesideTool();
    const ComApartment apartment;
    CallRegistrationEntry(path, unregister);
    WriteLine(Stream::Out, (unregister ? L"unregistered " : L"registered ") + path);
    return 0;
}

int Version(const Options& options) {
    WriteLine(Stream::Out, L"lineprobe " LINEPROBE_TOOL_VERSION);
    const ComApartment apartment;
    std::wstring path;
    std::wstring how;
    if (options.dll) {
        path = FullPath(*options.dll);
        how = L"--dll";
    } else if (auto registered = RegisteredServerPath()) {
        path = std::move(*registered);
        how = L"registered";
    } else {
        path = DllBesideTool();
        how = L"beside lineprobe.exe";
    }
    const auto version = FileVersionText(path);
    if (!version) throw ToolError(L"cannot read the version of " + path + L" (" + how + L")");
    WriteLine(Stream::Out, L"comlineprobe.dll " + *version + L" (" + how + L": " + path + L")");
    return 0;
}

int Run(const std::vector<std::wstring>& args) {
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& error) {
        WriteLine(Stream::Err, L"lineprobe: " + error.Message());
        return kExitUnknown;
    }
    try {
        switch (options.command) {
        case Command::Help: Write(Stream::Out, kUsage); return 0;
        // A host that runs the tool without arguments must not read a healthy check.
        case Command::Usage: Write(Stream::Err, kUsage); return kExitUnknown;
        case Command::Version: return Version(options);
        case Command::Check: return Check(options);
        case Command::Configure: return Configure(options);
        case Command::EncodePassword: return EncodePasswordCommand();
        case Command::DecodePassword: return DecodePasswordCommand();
        case Command::Register: return Registration(options, false);
        case Command::Unregister: return Registration(options, true);
        }
    } catch (const ToolError& error) {
        WriteLine(Stream::Err, L"lineprobe: " + error.Message());
    } catch (const Failure& failure) {
        WriteLine(Stream::Err, L"lineprobe: " + failure.Description());
    }
    return kExitUnknown;
}

}  // namespace
}  // namespace lineprobe::tool

int wmain(int argc, wchar_t* argv[]) {
    try {
        return lineprobe::tool::Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        lineprobe::tool::WriteLine(lineprobe::tool::Stream::Err, L"lineprobe: out of memory");
    } catch (...) {
        lineprobe::tool::WriteLine(lineprobe::tool::Stream::Err, L"lineprobe: unexpected failure");
    }
    return lineprobe::tool::kExitUnknown;
}
