#include "CheckSteps.h"

#include <new>
#include <utility>

#include "Base64.h"
#include "Failure.h"
#include "ParameterString.h"

namespace lineprobe {

bool NeedsShareConnection(std::wstring_view user, std::wstring_view path) {
    return !user.empty() && !Trim(path).ends_with(L":\\");
}

std::optional<std::wstring> ServerOfPath(std::wstring_view path) {
    if (!path.starts_with(L"\\\\") || path.size() == 2) {
        return std::nullopt;
    }
    const std::wstring_view rest = path.substr(2);
    return std::wstring(rest.substr(0, rest.find(L'\\')));
}

bool ContainsWord(std::wstring_view line, std::wstring_view word) noexcept {
    return !line.empty() && line.find(word) != std::wstring_view::npos;
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
            CancelLeftConnection();
            return FailureOutcome(failure);
        } catch (...) {
            CancelLeftConnection();
            return {};
        }
    }

private:
    void Steps() {
        Step(10, [] {});
        Step(40, [&] { m_logFile = GetParameterField(m_environment.ParameterText(), L"LOGFILE"); });
        Step(50, [&] { m_user = Trim(GetParameterField(m_environment.ParameterText(), L"USER")); });
        Step(60, [&] { m_password = DecodePassword(GetParameterField(m_environment.ParameterText(), L"PW")); });
        Step(70, [&] { m_upWord = GetParameterField(m_environment.ParameterText(), L"UP"); });
        Step(80, [&] { m_downWord = GetParameterField(m_environment.ParameterText(), L"DOWN"); });

        bool connect = false;
        Step(90, [&] { connect = NeedsShareConnection(m_user, m_logFile); });
        if (connect) {
            std::optional<std::wstring> server;
            Step(100, [] {});
            Step(110, [&] { server = ServerOfPath(m_logFile); });
            Step(120, [&] {
                if (!server) throw Failure(FailureKind::SubscriptOutOfRange);
                m_server = std::move(*server);
            });
            Step(130, [&] {
                m_connectionOpen = true;
                m_environment.ConnectShare(m_server, m_user, m_password, m_errorText);
            });
        }
        bool refused = false;
        Step(150, [&] { refused = !m_errorText.empty(); });
        if (refused) {
            Step(440, [&] { m_outcome.text = L"ERR: " + m_errorText + L" (authentication)"; });
            Step(450, [&] { m_outcome.up = false; });
        } else {
            ReadAndDecide();
        }
        Step(470, [] {});
        if (!m_user.empty()) {
            Step(480, [&] {
                m_connectionOpen = false;
                m_environment.DisconnectShare(m_server);
            });
        }
        Step(510, [] {});
    }

    void ReadAndDecide() {
        // The reader goes before the file it reads from.
        std::unique_ptr<ByteSource> file;
        std::optional<LineReader> reader;
        Step(160, [] {});
        Step(170, [&] { m_reporting = false; });
        Step(180, [&] { file = m_environment.OpenFile(m_logFile); });
        bool openFailed = false;
        Step(190, [&] { openFailed = m_noted.has_value(); });
        if (openFailed) {
            Step(400, [&] { m_outcome.up = false; });
            Step(410, [&] { m_outcome.text = L"ERR: " + NotedDescription(); });
            return;
        }
        std::wstring firstLine;
        std::wstring secondLine;
        Step(200, [&] { m_reporting = true; });
        Step(210, [&] {
            reader.emplace(*file);
            std::optional<std::wstring> line = reader->ReadLine();
            if (!line) throw Failure(FailureKind::InputPastEndOfFile);
            firstLine = std::move(*line);
        });
        Step(220, [&] { m_reporting = false; });
        Step(230, [&] { secondLine.clear(); });
        Step(240, [&] {
            std::optional<std::wstring> line = reader->ReadLine();
            if (!line) throw Failure(FailureKind::InputPastEndOfFile);
            secondLine = std::move(*line);
        });
        Step(250, [&] { m_reporting = true; });
        Step(260, [&] {
            reader.reset();
            file.reset();
        });

        bool upFound = false;
        Step(270, [&] { upFound = ContainsWord(firstLine, m_upWord); });
        if (upFound) {
            Step(280, [&] { m_outcome.up = true; });
            Step(290, [&] { m_outcome.text = secondLine; });
            return;
        }
        bool downFound = false;
        Step(310, [&] { downFound = ContainsWord(firstLine, m_downWord); });
        if (downFound) {
            Step(320, [&] { m_outcome.text = secondLine; });
            Step(330, [&] { m_outcome.up = false; });
            return;
        }
        Step(350, [&] { m_outcome.up = false; });
        Step(360, [&] { m_outcome.text = L"ERR: None found"; });
    }

    // While failures are reported, a failing step leaves the run for the failure
    // handler; while they are only noted, the step is abandoned and the run goes on.
    template <typename Body>
    void Step(int line, Body&& body) {
        try {
            body();
        } catch (const Failure& failure) {
            Fail(line, failure.Kind(), &failure.Description());
        } catch (const std::bad_alloc&) {
            Fail(line, FailureKind::OutOfMemory, nullptr);
        } catch (...) {
            Fail(line, FailureKind::System, nullptr);
        }
    }

    void Fail(int line, FailureKind kind, const std::wstring* description) {
        ReportedFailure failure{line, kind, {}};
        try {
            if (description) failure.description = *description;
        } catch (const std::bad_alloc&) {
            failure.kind = FailureKind::OutOfMemory;
        }
        if (m_reporting) {
            throw std::move(failure);
        }
        m_noted = std::move(failure);
    }

    std::wstring NotedDescription() const {
        return m_noted->description.empty() ? std::wstring(FailureDescription(m_noted->kind)) : m_noted->description;
    }

    // A connection made before a failure is cancelled all the same.
    void CancelLeftConnection() noexcept {
        if (!m_connectionOpen) {
            return;
        }
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
    bool m_reporting = true;
    std::optional<ReportedFailure> m_noted;
    bool m_connectionOpen = false;

    std::wstring m_logFile;
    std::wstring m_user;
    std::wstring m_password;
    std::wstring m_upWord;
    std::wstring m_downWord;
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
