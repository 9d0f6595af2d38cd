#include "CheckRun.h"

#include <new>

#include "Failure.h"
#include "Share.h"
#include "StatusFileWin.h"
#include "Variant.h"

namespace lineprobe {
namespace {

// The share connection and the status file through the platform.
class PlatformEnvironment : public CheckEnvironment {
public:
    explicit PlatformEnvironment(const ShareApi& shareApi) noexcept : m_shareApi(shareApi) {}

    bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                      std::wstring& errorText) override {
        return lineprobe::ConnectShare(server, user, password, errorText, m_shareApi);
    }

    bool DisconnectShare(std::wstring_view server) override { return lineprobe::DisconnectShare(server, m_shareApi); }

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
    const ShareApi& m_shareApi;
};

class ObjectEnvironment final : public PlatformEnvironment {
public:
    ObjectEnvironment(const VARIANT& parameter, const ShareApi& shareApi) noexcept
        : PlatformEnvironment(shareApi), m_parameter(parameter) {}

    // Reading an object's default property calls out: the copy keeps the
    // object alive even if that call puts a new value into the property. A
    // text calls nothing and is read as it stands.
    std::wstring ParameterText() override {
        if (V_VT(&m_parameter) == VT_BSTR) return VariantToText(m_parameter);
        unique_variant copy;
        const HRESULT hr = VariantCopy(copy.get(), const_cast<VARIANT*>(&m_parameter));
        if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
        if (FAILED(hr)) throw Failure(FailureKind::TypeMismatch);
        return VariantToText(*copy.get());
    }

private:
    const VARIANT& m_parameter;
};

class TextEnvironment final : public PlatformEnvironment {
public:
    TextEnvironment(std::wstring_view parameter, const ShareApi& shareApi) noexcept
        : PlatformEnvironment(shareApi), m_parameter(parameter) {}

    std::wstring ParameterText() override { return std::wstring(m_parameter); }

private:
    std::wstring_view m_parameter;
};

}  // namespace

CheckOutcome RunCheck(const VARIANT& parameter) noexcept { return RunCheck(parameter, SystemShareApi()); }

CheckOutcome RunCheck(const VARIANT& parameter, const ShareApi& shareApi) noexcept {
    ObjectEnvironment environment(parameter, shareApi);
    return RunCheckSteps(environment);
}

CheckOutcome RunCheck(std::wstring_view parameter, const ShareApi& shareApi) noexcept {
    TextEnvironment environment(parameter, shareApi);
    return RunCheckSteps(environment);
}

}  // namespace lineprobe
