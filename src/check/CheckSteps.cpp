#include "CheckSteps.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <new>
#include <utility>

#include "Base64.h"
#include "Failure.h"
#include "ParameterString.h"

namespace lineprobe {

namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool StartsWithAnyCase(std::wstring_view text, std::wstring_view prefix) noexcept {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - (L'a' - L'A'));
        if (c != prefix[i]) return false;
    }
    return true;
}

// What follows the prefix of a long form: "\\?\" passes the path to the system
// as it stands, "\\.\" names a device (Windows takes "/" for "\" in both),
// "\??\" is the system's own name of either. Nothing for any other path.
std::optional<std::wstring_view> LongFormRest(std::wstring_view path) noexcept {
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
        IsSeparator(path[3])) {
        return path.substr(4);
    }
    if (path.starts_with(L"\\??\\")) return path.substr(4);
    return std::nullopt;
}

// Case does not count: "unc" and "UNC" are one.
bool SameWord(std::wstring_view text, std::wstring_view word) noexcept {
    return text.size() == word.size() && StartsWithAnyCase(text, word);
}

// The server a long form names, through a share ("UNC\srv\...") or through
// the system's redirector ("GLOBALROOT\Device\Mup\srv\..."): empty when the
// name is missing; nothing for any other long form.
std::optional<std::wstring_view> LongFormServer(std::wstring_view rest) noexcept {
    static constexpr std::array<std::array<std::wstring_view, 3>, 2> kRedirectors{{
        {L"UNC"},
        {L"GLOBALROOT", L"DEVICE", L"MUP"},
    }};
    for (const auto& words : kRedirectors) {
        std::wstring_view left = rest;
        bool matches = true;
        for (const std::wstring_view word : words) {
            if (word.empty()) break;
            const std::size_t end = left.find_first_of(L"\\/");
            matches = end != std::wstring_view::npos && SameWord(left.substr(0, end), word);
            if (!matches) break;
            left.remove_prefix(end + 1);
        }
        if (matches) return left.substr(0, left.find_first_of(L"\\/"));
    }
    return std::nullopt;
}

// A long form that names a file or device of this machine: a drive, a volume,
// a pipe or mailslot, or one of the system's reserved device names.
bool PlainlyLocal(std::wstring_view rest) noexcept {
    const std::wstring_view first = rest.substr(0, rest.find_first_of(L"\\/"));
    if (first.size() == 2 && first[1] == L':') return true;
    if (StartsWithAnyCase(first, L"VOLUME{")) return true;
    static constexpr std::wstring_view kDevices[] = {L"PIPE",  L"MAILSLOT", L"NUL",     L"CON",
                                                     L"PRN",   L"AUX",      L"CONIN$",  L"CONOUT$"};
    for (const std::wstring_view device : kDevices) {
        if (first.size() == device.size() && StartsWithAnyCase(first, device)) return true;
    }
    // COM1 to COM9 and LPT1 to LPT9.
    return first.size() == 4 && (StartsWithAnyCase(first, L"COM") || StartsWithAnyCase(first, L"LPT")) &&
           first[3] >= L'1' && first[3] <= L'9';
}

}  // namespace

bool NeedsShareConnection(std::wstring_view user, std::wstring_view path) noexcept {
    if (user.empty()) return false;
    // A long form that may go out to a server needs the logon as much as a UNC path does.
    if (const std::optional<std::wstring_view> rest = LongFormRest(path)) return !PlainlyLocal(*rest);
    return !TrimmedView(path).ends_with(L":\\");
}

std::optional<std::wstring> ServerOfPath(std::wstring_view path) {
    if (const std::optional<std::wstring_view> rest = LongFormRest(path)) {
        const std::optional<std::wstring_view> server = LongFormServer(*rest);
        if (!server || server->empty()) return std::nullopt;
        return std::wstring(*server);
    }
    if (!path.starts_with(L"\\\\") || path.size() == 2) return std::nullopt;
    const std::wstring_view rest = path.substr(2);
    return std::wstring(rest.substr(0, rest.find_first_of(L"\\/")));
}

std::optional<std::wstring> RemoteServerOf(std::wstring_view path) {
    std::wstring_view server;
    if (const std::optional<std::wstring_view> rest = LongFormRest(path)) {
        if (const std::optional<std::wstring_view> named = LongFormServer(*rest)) {
            server = *named;
        } else if (!PlainlyLocal(*rest)) {
            // No server to name, but the system may still go out to one.
            return std::wstring(path);
        }
    } else if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const std::wstring_view rest = path.substr(2);
        server = rest.substr(0, rest.find_first_of(L"\\/"));
    }
    if (server.empty()) return std::nullopt;
    return std::wstring(server);
}

std::wstring NoAnswerReason(std::wstring_view server, unsigned seconds) {
    std::wstring text = L"No answer from ";
    text += server;
    text += L" within " + std::to_wstring(seconds) + (seconds == 1 ? L" second" : L" seconds");
    return text;
}

bool ContainsWord(std::wstring_view line, std::wstring_view word) noexcept {
    return !line.empty() && line.find(word) != std::wstring_view::npos;
}

void WordSearch::Add(std::wstring_view piece) {
    if (m_found || piece.empty()) return;
    if (m_word.empty() || piece.find(m_word) != std::wstring_view::npos) {
        m_found = true;
        return;
    }
    const std::size_t keep = m_word.size() - 1;
    if (!m_window.empty()) {
        m_joined.assign(m_window);
        m_joined.append(piece.substr(0, keep));
        if (m_joined.find(m_word) != std::wstring::npos) {
            m_found = true;
            return;
        }
    }
    if (piece.size() >= keep) {
        m_window.assign(piece.substr(piece.size() - keep));
    } else {
        m_window.append(piece);
        m_window.erase(0, m_window.size() - std::min(m_window.size(), keep));
    }
}

std::optional<std::uint64_t> StaleMinutes(std::uint64_t lastWrite, std::uint64_t now, unsigned maxMinutes) noexcept {
    if (lastWrite >= now || now - lastWrite <= maxMinutes * kTicksPerMinute) {
        return std::nullopt;
    }
    return (now - lastWrite) / kTicksPerMinute;
}

std::wstring StaleFileText(std::uint64_t minutes, const LocalTime& lastWrite) {
    wchar_t written[64];
    std::swprintf(written, std::size(written), L"%04d-%02d-%02d %02d:%02d:%02d", lastWrite.year, lastWrite.month,
                  lastWrite.day, lastWrite.hour, lastWrite.minute, lastWrite.second);
    return L"ERR: File not updated for " + std::to_wstring(minutes) + L" minutes (last written " + written + L")";
}

std::wstring StepFailureText(std::wstring_view description, int line) {
    std::wstring text = L"ERR: ";
    text += description;
    text += L" on line ";
    text += L' ';
    text += std::to_wstring(line);
    return text;
}

namespace {

// The first line is searched as it is read and never kept whole. The up word
// goes first: once it is found, the down word no longer counts.
class FirstLineSearch final : public TextSink {
public:
    FirstLineSearch(std::wstring_view upWord, std::wstring_view downWord) noexcept : m_up(upWord), m_down(downWord) {}

    void Add(std::wstring_view piece) override {
        m_up.Add(piece);
        if (!m_up.Found()) m_down.Add(piece);
    }

    bool Up() const noexcept { return m_up.Found(); }
    bool Down() const noexcept { return m_down.Found(); }

private:
    WordSearch m_up;
    WordSearch m_down;
};

// Leaves the run through the failure handler.
struct ReportedFailure {
    int line;
    FailureKind kind;
    std::wstring description;  // empty when there was no memory to copy it
};

class CheckRun {
public:
    explicit CheckRun(CheckEnvironment& environment) : m_environment(environment) {}

    CheckOutcome Run() noexcept {
        try {
            Steps();
            return std::move(m_outcome);
        } catch (const ReportedFailure& failure) {
            CheckOutcome outcome = FailureOutcome(failure);
            CancelLeftConnection(outcome);
            return outcome;
        } catch (...) {
            CancelLeftConnection({});
            return {};
        }
    }

private:
    void Steps() {
        if (!ReadFields()) return;
        if (m_needsConnection) {
            std::optional<std::wstring> server;
            Step(110, [&] { server = ServerOfPath(m_logFile); });
            if (!server && LongFormRest(m_logFile)) {
                // Read without the logon, the file would be read through whatever
                // connection the process holds to its server, perhaps another account's.
                m_outcome.up = false;
                Step(120, [&] { m_outcome.text = L"ERR: No server to log on to in " + std::wstring(m_logFile); });
                return;
            }
            Step(120, [&] {
                if (!server) throw Failure(FailureKind::SubscriptOutOfRange);
                m_server = std::move(*server);
            });
            Step(130, [&] {
                m_connectionOpen = true;
                m_environment.ConnectShare(m_server, m_user, m_password.View(), m_errorText);
            });
        }
        bool opened = true;
        if (!m_errorText.empty()) {
            m_outcome.up = false;
            Step(440, [&] { m_outcome.text = L"ERR: " + m_errorText + L" (authentication)"; });
        } else {
            opened = ReadAndDecide();
        }
        if (!m_user.empty()) {
            Decided(m_outcome);
            auto disconnect = [&] {
                m_connectionOpen = false;
                m_environment.DisconnectShare(m_server);
            };
            if (opened) {
                Step(480, disconnect);
            } else {
                Note(480, disconnect);  // the text names the failed open already
            }
        }
    }

    // False when the configuration cannot be checked; the outcome says why.
    bool ReadFields() {
        // The value becomes text once and is searched once; each field is still
        // a step of its own, so that a failure names the field it happened in.
        enum Field { LogFile, User, Password, Up, Down, MaxAgeField, kFieldCount };
        static constexpr std::array<std::wstring_view, kFieldCount> kKeys{L"LOGFILE", L"USER", L"PW",
                                                                          L"UP",      L"DOWN", L"MAXAGE"};
        std::array<std::wstring_view, kFieldCount> values;
        Step(40, [&] {
            m_parameter = SecretText(m_environment.ParameterText());
            FindFieldValues(m_parameter.View(), kKeys, values);
        });
        // The other fields stay views into the text, which lives as long as the run.
        m_logFile = values[LogFile];
        m_user = TrimmedView(values[User]);
        m_needsConnection = NeedsShareConnection(m_user, m_logFile);
        // Only a connection uses the password; without one it is only checked,
        // so that a broken value fails here all the same and no clear copy is made.
        Step(60, [&] {
            if (m_needsConnection) {
                m_password = DecodePassword(values[Password]);
            } else {
                CheckStoredPassword(values[Password]);
            }
        });
        m_upWord = values[Up];
        m_downWord = values[Down];
        // Decided before any connection is made: a wrong value never costs a logon.
        const MaxAge maxAge = ParseMaxAge(values[MaxAgeField]);
        if (!maxAge.valid) {
            m_outcome.up = false;
            Step(420, [&] { m_outcome.text = L"ERR: " + std::wstring(kMaxAgeRule); });
            return false;
        }
        m_maxAgeMinutes = maxAge.minutes;
        return true;
    }

    // False when the file could not be opened; the outcome says why.
    bool ReadAndDecide() {
        // The reader goes before the file it reads from.
        std::unique_ptr<ByteSource> file;
        std::optional<LineReader> reader;
        if (!Note(180, [&] { file = m_environment.OpenFile(m_logFile); })) {
            m_outcome.up = false;
            Note(410, [&] { m_outcome.text = L"ERR: " + NotedDescription(); });
            return false;
        }
        if (TooOld(*file)) return true;
        FirstLineSearch search(m_upWord, m_downWord);
        std::wstring secondLine;
        Step(210, [&] {
            reader.emplace(*file);
            if (!reader->ReadLine(search)) throw Failure(FailureKind::InputPastEndOfFile);
        });
        // The first line decides alone: a second line that cannot be read is empty.
        Note(240, [&] {
            std::optional<std::wstring> line = reader->ReadLine();
            if (!line) throw Failure(FailureKind::InputPastEndOfFile);
            secondLine = std::move(*line);
        });
        reader.reset();
        file.reset();

        if (search.Up()) {
            m_outcome.up = true;
            m_outcome.text = std::move(secondLine);
        } else if (search.Down()) {
            m_outcome.up = false;
            m_outcome.text = std::move(secondLine);
        } else {
            m_outcome.up = false;
            Step(360, [&] { m_outcome.text = L"ERR: None found"; });
        }
        return true;
    }

    // True when the file is older than MAXAGE allows: the outcome says so, and
    // its words no longer count, so its lines stay unread.
    bool TooOld(ByteSource& file) {
        if (m_maxAgeMinutes == 0) return false;
        std::uint64_t written = 0;
        std::optional<std::uint64_t> minutes;
        Step(370, [&] {
            const std::optional<std::uint64_t> time = file.LastWriteTime();
            if (!time) throw Failure(FailureKind::PathFileAccess);
            written = *time;
            minutes = StaleMinutes(written, m_environment.CurrentTime(), m_maxAgeMinutes);
        });
        if (!minutes) return false;
        m_outcome.up = false;
        Step(380, [&] { m_outcome.text = StaleFileText(*minutes, m_environment.ToLocalTime(written)); });
        return true;
    }

    // A step whose failure ends the run, named by its line.
    template <typename Body>
    void Step(int line, Body&& body) {
        if (auto failure = Attempt(line, body)) throw std::move(*failure);
    }

    // A step whose failure is only noted; the run goes on. True when it succeeded.
    template <typename Body>
    bool Note(int line, Body&& body) {
        auto failure = Attempt(line, body);
        if (!failure) return true;
        m_noted = std::move(failure);
        return false;
    }

    template <typename Body>
    static std::optional<ReportedFailure> Attempt(int line, Body& body) noexcept {
        try {
            body();
            return std::nullopt;
        } catch (const Failure& failure) {
            return Described(line, failure.Kind(), &failure.Description());
        } catch (const std::bad_alloc&) {
            return Described(line, FailureKind::OutOfMemory, nullptr);
        } catch (...) {
            return Described(line, FailureKind::System, nullptr);
        }
    }

    static ReportedFailure Described(int line, FailureKind kind, const std::wstring* description) noexcept {
        ReportedFailure failure{line, kind, {}};
        try {
            if (description) failure.description = *description;
        } catch (const std::bad_alloc&) {
            failure.kind = FailureKind::OutOfMemory;
        }
        return failure;
    }

    std::wstring NotedDescription() const {
        return m_noted->description.empty() ? std::wstring(FailureDescription(m_noted->kind)) : m_noted->description;
    }

    // A server going down may take long to cancel a connection; the caller
    // need not wait for that to hear a verdict that is known.
    void Decided(const CheckOutcome& outcome) noexcept {
        try {
            m_environment.Decided(outcome);
        } catch (...) {
            // The caller hears the outcome when the run ends instead.
        }
    }

    // A connection made before a failure is cancelled all the same.
    void CancelLeftConnection(const CheckOutcome& outcome) noexcept {
        if (!m_connectionOpen) {
            return;
        }
        Decided(outcome);
        m_connectionOpen = false;
        try {
            m_environment.DisconnectShare(m_server);
        } catch (...) {
            // The run has failed already; its text names the first failure.
        }
    }

    static CheckOutcome FailureOutcome(const ReportedFailure& failure) noexcept {
        CheckOutcome outcome;
        try {
            outcome.text = StepFailureText(
                failure.description.empty() ? std::wstring_view(FailureDescription(failure.kind)) : failure.description,
                failure.line);
        } catch (...) {
            // Without memory even for the text, an empty text still says down.
        }
        return outcome;
    }

    CheckEnvironment& m_environment;
    std::optional<ReportedFailure> m_noted;
    bool m_connectionOpen = false;

    SecretText m_parameter;  // holds the PW value
    std::wstring_view m_logFile;
    std::wstring_view m_user;
    bool m_needsConnection = false;
    SecretText m_password;  // decoded only for a connection
    std::wstring_view m_upWord;
    std::wstring_view m_downWord;
    unsigned m_maxAgeMinutes = 0;  // 0: any age
    std::wstring m_server;
    std::wstring m_errorText;
    CheckOutcome m_outcome;
};

}  // namespace

CheckOutcome RunCheckSteps(CheckEnvironment& environment) noexcept {
    CheckRun run(environment);
    return run.Run();
}

}  // namespace lineprobe
