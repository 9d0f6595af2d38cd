#include "CheckRun.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>

#include "DetachedWork.h"
#include "Failure.h"
#include "ParameterString.h"
#include "Result.h"
#include "SecretText.h"
#include "StatusFileWin.h"
#include "Variant.h"

namespace lineprobe {
namespace {

// The share connection and the status file through the platform.
class PlatformEnvironment : public CheckEnvironment {
public:
    PlatformEnvironment(const ShareApi& shareApi, TimeLimit limit) noexcept : m_servers(shareApi), m_limit(limit) {}

    // Checks of the process that log on to the server with the same account
    // share one connection: a cancel of its own would take away the
    // connection another check reads through.
    bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                      std::wstring& errorText) override {
        std::optional<ShareConnections::Use> use =
            ServerConnections().Join(server, user, password, m_limit.deadline, m_servers);
        if (!use) {
            errorText = NoAnswerReason(server, m_limit.seconds);
            return false;
        }
        m_use.emplace(std::move(*use));
        if (!m_use->Connected()) errorText = m_use->ErrorText();
        return m_use->Connected();
    }

    // A check that never took part made no connection: one of that server
    // belongs to other checks.
    bool DisconnectShare(std::wstring_view) override {
        if (!m_use) return false;
        ShareConnections::Use use = std::move(*m_use);
        m_use.reset();
        return use.Leave();
    }

    std::unique_ptr<ByteSource> OpenFile(std::wstring_view path) override {
        return OpenStatusFile(std::wstring(path));
    }

    std::uint64_t CurrentTime() override {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    }

    // By the time zone rules in force at that moment, daylight saving included,
    // not by today's offset.
    LocalTime ToLocalTime(std::uint64_t ticks) override {
        FILETIME utc{};
        utc.dwLowDateTime = static_cast<DWORD>(ticks);
        utc.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        SYSTEMTIME universal{};
        SYSTEMTIME local{};
        if (!FileTimeToSystemTime(&utc, &universal) ||
            !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
            const DWORD code = GetLastError();
            const std::wstring text = SystemErrorText(code);
            throw Failure(FailureKind::System, text.empty() ? L"Error " + std::to_wstring(code) : text);
        }
        return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    }

private:
    SystemShareServers m_servers;  // outlives the use, whose last cancel goes through it
    TimeLimit m_limit;
    std::optional<ShareConnections::Use> m_use;  // from the logon to the cancel
};

class ObjectEnvironment final : public PlatformEnvironment {
public:
    ObjectEnvironment(const VARIANT& parameter, const ShareApi& shareApi) noexcept
        : PlatformEnvironment(shareApi, {}), m_parameter(parameter) {}

    // Reading an object's default property calls out: the copy keeps the
    // object alive even if that call puts a new value into the property. A
    // text calls nothing and is read as it stands. An object is called once
    // per check: a value that could not be read fails again the same way.
    std::wstring ParameterText() override {
        if (m_failure) std::rethrow_exception(m_failure);
        try {
            if (V_VT(&m_parameter) == VT_BSTR) return VariantToText(m_parameter);
            unique_variant copy;
            const HRESULT hr = VariantCopy(copy.get(), const_cast<VARIANT*>(&m_parameter));
            if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
            if (FAILED(hr)) throw Failure(FailureKind::TypeMismatch);
            return VariantToText(*copy.get());
        } catch (...) {
            m_failure = std::current_exception();
            throw;
        }
    }

private:
    const VARIANT& m_parameter;
    std::exception_ptr m_failure;
};

class TextEnvironment final : public PlatformEnvironment {
public:
    TextEnvironment(std::wstring_view parameter, const ShareApi& shareApi) noexcept
        : PlatformEnvironment(shareApi, {}), m_parameter(parameter) {}

    // Work that may outlive its caller keeps a copy of its own, wiped at the end.
    TextEnvironment(SecretText parameter, const ShareApi& shareApi, TimeLimit limit) noexcept
        : PlatformEnvironment(shareApi, limit), m_owned(std::move(parameter)), m_parameter(m_owned.View()) {}

    std::wstring ParameterText() override { return std::wstring(m_parameter); }

private:
    SecretText m_owned;
    std::wstring_view m_parameter;
};

// What the caller of a limited run and its work share.
struct LimitedRun {
    std::atomic<bool> logonReturned{false};  // the file is being opened: no logon, or it is over
    std::atomic<bool> abandoned{false};
    std::mutex lock;
    std::condition_variable published;
    std::optional<CheckOutcome> outcome;

    // The first outcome counts: the one known before the final cancel.
    void Publish(CheckOutcome result) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            if (outcome) return;
            outcome = std::move(result);
        }
        published.notify_all();
    }
};

// The environment of the work, which notes how far it got and opens nothing
// once the caller has gone: a logon that succeeds late is left at once.
class WatchedEnvironment final : public CheckEnvironment {
public:
    WatchedEnvironment(std::unique_ptr<CheckEnvironment> inner, std::shared_ptr<LimitedRun> run) noexcept
        : m_inner(std::move(inner)), m_run(std::move(run)) {}

    std::wstring ParameterText() override { return m_inner->ParameterText(); }

    // A logon ends in an open or in the run's outcome; the wait for another
    // check's logon ends at the caller's own deadline and still counts as the
    // logon, so only the open says that the logon is over.
    bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                      std::wstring& errorText) override {
        return m_inner->ConnectShare(server, user, password, errorText);
    }

    bool DisconnectShare(std::wstring_view server) override { return m_inner->DisconnectShare(server); }

    std::unique_ptr<ByteSource> OpenFile(std::wstring_view path) override {
        m_run->logonReturned = true;
        if (m_run->abandoned) throw Failure(FailureKind::System, L"The check was given up");
        return m_inner->OpenFile(path);
    }

    std::uint64_t CurrentTime() override { return m_inner->CurrentTime(); }
    LocalTime ToLocalTime(std::uint64_t ticks) override { return m_inner->ToLocalTime(ticks); }

    // A server going down may take long to cancel a connection; the caller
    // has its answer before that.
    void Decided(const CheckOutcome& outcome) override { m_run->Publish(outcome); }

private:
    std::unique_ptr<CheckEnvironment> m_inner;
    std::shared_ptr<LimitedRun> m_run;
};

CheckOutcome FailedOutcome(std::wstring_view description) noexcept {
    CheckOutcome outcome;
    try {
        outcome.text = L"ERR: " + std::wstring(description);
    } catch (...) {
        // Without memory even for the text, an empty text still says down.
    }
    return outcome;
}

}  // namespace

unsigned TimeLimitOf(const VARIANT& timeout) noexcept {
    const VARIANT& value = Unwrapped(timeout);
    switch (V_VT(&value)) {
    case VT_BSTR:
        return ParseTimeLimit(std::wstring_view(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value))));
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: {
        unique_variant number;
        if (FAILED(VariantChangeType(number.get(), const_cast<VARIANT*>(&value), 0, VT_R8))) return 0;
        const double seconds = V_R8(number.get());
        if (seconds < 1 || seconds > kTimeLimitMax || std::floor(seconds) != seconds) return 0;
        return static_cast<unsigned>(seconds);
    }
    default:
        return 0;
    }
}

CheckOutcome RunAgainstTime(std::wstring_view server, unsigned seconds,
                            const std::function<std::unique_ptr<CheckEnvironment>(const TimeLimit&)>& make) noexcept {
    try {
        const TimeLimit limit{std::chrono::steady_clock::now() + std::chrono::seconds(seconds), seconds};
        auto run = std::make_shared<LimitedRun>();
        auto environment = std::make_shared<WatchedEnvironment>(make(limit), run);
        DetachedWork::Start([run, environment] { run->Publish(RunCheckSteps(*environment)); });
        environment.reset();
        {
            std::unique_lock<std::mutex> hold(run->lock);
            run->published.wait_until(hold, *limit.deadline, [&] { return run->outcome.has_value(); });
            run->abandoned = true;
            if (run->outcome) return std::move(*run->outcome);
        }
        // Read before the flag was set, the phase may still say logon when the
        // open had just begun; it never says open while the logon runs.
        std::wstring text = L"ERR: " + NoAnswerReason(server, seconds);
        if (!run->logonReturned) text += L" (authentication)";
        return {false, std::move(text)};
    } catch (const ComError& error) {
        return FailedOutcome(error.Description());
    } catch (const Failure& failure) {
        return FailedOutcome(failure.Description());
    } catch (...) {
        return FailedOutcome(FailureDescription(FailureKind::OutOfMemory));
    }
}

CheckOutcome RunCheck(const VARIANT& parameter, unsigned timeLimit, const ShareApi& shareApi) noexcept {
    ObjectEnvironment environment(parameter, shareApi);
    if (timeLimit != 0) {
        std::optional<SecretText> text;
        try {
            text.emplace(environment.ParameterText());
        } catch (...) {
            // The run below fails on the same value in the same way and says where.
        }
        if (text) return RunCheck(text->View(), timeLimit, shareApi);
    }
    return RunCheckSteps(environment);
}

CheckOutcome RunCheck(std::wstring_view parameter, unsigned timeLimit, const ShareApi& shareApi) noexcept {
    if (timeLimit != 0) {
        std::optional<std::wstring> server;
        try {
            server = RemoteServerOf(GetParameterField(parameter, L"LOGFILE"));
        } catch (...) {
            return FailedOutcome(FailureDescription(FailureKind::OutOfMemory));
        }
        if (server) {
            return RunAgainstTime(*server, timeLimit, [&](const TimeLimit& limit) {
                return std::make_unique<TextEnvironment>(SecretText(std::wstring(parameter)), shareApi, limit);
            });
        }
    }
    TextEnvironment environment(parameter, shareApi);
    return RunCheckSteps(environment);
}

}  // namespace lineprobe
