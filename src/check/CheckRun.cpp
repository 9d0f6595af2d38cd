#include "CheckRun.h"

#include <new>

#include "Failure.h"
#include "Share.h"
#include "StatusFileWin.h"
#include "Variant.h"

namespace lineprobe {
namespace {

class WindowsEnvironment final : public CheckEnvironment {
public:
    WindowsEnvironment(const VARIANT& parameter, const ShareApi& shareApi) noexcept
        : m_parameter(parameter), m_shareApi(shareApi) {}

    // Reading an object's default property calls out: the copy keeps the
    // object alive even if that call puts a new value into the property.
    std::wstring ParameterText() override {
        unique_variant copy;
        const HRESULT hr = VariantCopy(copy.get(), const_cast<VARIANT*>(&m_parameter));
        if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
        if (FAILED(hr)) throw Failure(FailureKind::TypeMismatch);
        return VariantToText(*copy.get());
    }

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

CheckOutcome RunCheck(const VARIANT& parameter) noexcept { return RunCheck(parameter, SystemShareApi()); }

CheckOutcome RunCheck(const VARIANT& parameter, const ShareApi& shareApi) noexcept {
    WindowsEnvironment environment(parameter, shareApi);
    return RunCheckSteps(environment);
}

}  // namespace lineprobe
