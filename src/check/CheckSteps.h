// The check run as its numbered steps, without the platform: the parameter
// value, the share connection, the file and the clock come in through CheckEnvironment.
#pragma once

#include <cstdint>
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

// A moment as the calendar and clock of the checking machine show it.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Times count 100-ns ticks since 1601-01-01 UTC, as Windows file times do.
inline constexpr std::uint64_t kTicksPerMinute = 60ull * 10'000'000ull;

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
    virtual std::unique_ptr<ByteSource> OpenFile(std::wstring_view path) = 0;
    // Asked only when the parameter string limits the age of the file.
    virtual std::uint64_t CurrentTime() = 0;
    // Throws Failure when the system cannot convert the moment.
    virtual LocalTime ToLocalTime(std::uint64_t ticks) = 0;
    // The outcome as it stands before the connection is cancelled, for a
    // caller that need not wait for the cancel; the run returns it too.
    virtual void Decided(const CheckOutcome& /*outcome*/) {}
};

// Never throws: every failure becomes a down verdict with an "ERR: " text.
// No file and no connection outlives the call, whatever happens on the way.
CheckOutcome RunCheckSteps(CheckEnvironment& environment) noexcept;

// The rules of single steps, open to tests.

// A connection is needed for a user name and a path that does not end in ":\"
// and is not a local path or a device in the long forms ("\\?\C:\...",
// "\\.\pipe\x"): any other long form may go out to a server.
bool NeedsShareConnection(std::wstring_view user, std::wstring_view path) noexcept;
// The server a connection goes to: the first element of a UNC path ("srv" for
// \\srv\share\a.txt), ended by "\" or "/", or the server a long form names
// (\\?\UNC\srv\..., \\.\UNC\srv\..., \\?\GLOBALROOT\Device\Mup\srv\...);
// nothing when the path does not begin with "\\" or holds nothing after it,
// and for a long form that names no server.
std::optional<std::wstring> ServerOfPath(std::wstring_view path);
// What a file is read from when a time limit applies, as the answer past the
// limit names it: the server of a UNC path ("\\srv\...", "//srv/...") or of a
// long form that names one, or the whole path for any other long form that is
// not plainly local ("\\?\GLOBALROOT\Device\HarddiskVolume1\..."); nothing
// for a local path, also in its long form ("\\?\C:\..."), for a pipe or a
// device ("\\.\pipe\x", "\\.\COM1") and for a path that names no server.
std::optional<std::wstring> RemoteServerOf(std::wstring_view path);
// "No answer from SERVER within N seconds", the reason of a check that ran
// out of the host's time limit.
std::wstring NoAnswerReason(std::wstring_view server, unsigned seconds);
// Case-sensitive; an empty word is found in any non-empty line and in no empty one.
bool ContainsWord(std::wstring_view line, std::wstring_view word) noexcept;

// ContainsWord on a line handed in pieces, without the line: a word cut by a
// piece boundary is found through a window of the last characters before it,
// one fewer than the word has.
class WordSearch final : public TextSink {
public:
    explicit WordSearch(std::wstring_view word) noexcept : m_word(word) {}
    void Add(std::wstring_view piece) override;
    bool Found() const noexcept { return m_found; }

private:
    std::wstring_view m_word;
    std::wstring m_window;  // the end of the line so far, at most one character shorter than the word
    std::wstring m_joined;  // the window and the start of the next piece
    bool m_found = false;
};
// Whole minutes since the last write when the file is older than maxMinutes;
// nothing while it is younger, and for a last write in the future.
std::optional<std::uint64_t> StaleMinutes(std::uint64_t lastWrite, std::uint64_t now, unsigned maxMinutes) noexcept;
// "ERR: File not updated for N minutes (last written YYYY-MM-DD hh:mm:ss)".
std::wstring StaleFileText(std::uint64_t minutes, const LocalTime& lastWrite);
// "ERR: <description> on line  <line>": the number keeps its leading space.
std::wstring StepFailureText(std::wstring_view description, int line);

}  // namespace lineprobe
