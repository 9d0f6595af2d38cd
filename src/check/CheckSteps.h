// The check run as its numbered steps, without the platform: the parameter
// value, the share connection and the file come in through CheckEnvironment.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "StatusFile.h"

namespace lineprobe {

struct CheckOutcome {
    bool up = false;
    std::wstring text;  // the second line, or a text that begins with "ERR: "
};

class CheckEnvironment {
public:
    virtual ~CheckEnvironment() = default;
    // The parameter string as text, asked once per run; throws Failure when
    // the value has no text form.
    virtual std::wstring ParameterText() = 0;
    virtual bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                              std::wstring& errorText) = 0;
    virtual bool DisconnectShare(std::wstring_view server) = 0;
    // Opens the file for reading; throws Failure with the reason when it cannot.
    virtual std::unique_ptr<ByteSource> OpenFile(const std::wstring& path) = 0;
};

// Never throws: every failure becomes a down verdict with an "ERR: " text.
// No file and no connection outlives the call, whatever happens on the way.
CheckOutcome RunCheckSteps(CheckEnvironment& environment) noexcept;

// The rules of single steps, open to tests.

// A connection is needed for a user name and a path that does not end in ":\"
// and is not a local path in the long form ("\\?\C:\...").
bool NeedsShareConnection(std::wstring_view user, std::wstring_view path);
// The first element of a UNC path ("srv" for \\srv\share\a.txt and for
// \\?\UNC\srv\share\a.txt), ended by "\" or "/"; nothing when the path does
// not begin with "\\" or holds nothing after it.
std::optional<std::wstring> ServerOfPath(std::wstring_view path);
// Case-sensitive; an empty word is found in any non-empty line and in no empty one.
bool ContainsWord(std::wstring_view line, std::wstring_view word) noexcept;
// "ERR: <description> on line  <line>": the number keeps its leading space.
std::wstring StepFailureText(std::wstring_view description, int line);

}  // namespace lineprobe
