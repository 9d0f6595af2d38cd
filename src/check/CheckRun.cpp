#include "CheckRun.h"

#include "CheckSteps.h"
#include "ComSupport.h"
#include "Share.h"
#include "StatusFileWin.h"

namespace lineprobe {
namespace {

class WindowsEnvironment final : public CheckEnvironment {
public:
    WindowsEnvironment(const VARIANT& parameter, const ShareApi& shareApi) noexcept
        : m_parameter(parameter), m_shareApi(shareApi) {}

    std::wstring ParameterText() override { return VariantToText(m_parameter); }

    bool ConnectShare(std::wstring_view server, std::wstring_view user, std::wstring_view password,
                      std::wstring& errorText) override {
        return lineprobe::ConnectShare(server, user, password, errorText, m_shareApi);
    }

    bool DisconnectShare(std::wstring_view server) override { return lineprobe::DisconnectShare(server, m_shareApi); }

    std::unique_ptr<ByteSource> OpenFile(const std::wstring& path) override { return OpenStatusFile(path); }

private:
    const VARIANT& m_parameter;
    const ShareApi& m_shareApi;
};

}  // namespace

CheckResult RunCheck(const VARIANT& parameter) noexcept { return RunCheck(parameter, SystemShareApi()); }

CheckResult RunCheck(const VARIANT& parameter, const ShareApi& shareApi) noexcept {
    WindowsEnvironment environment(parameter, shareApi);
    CheckOutcome outcome = RunCheckSteps(environment);
    return {outcome.up, std::move(outcome.text)};
}

}  // namespace lineprobe
