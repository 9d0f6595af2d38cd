#include "Result.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "ProgId.h"

namespace lineprobe {

void ThrowLastError(const wchar_t* what) {
    const DWORD error = GetLastError();
    throw ComError(error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL, what);
}

HRESULT HresultFromFailure(FailureKind kind) noexcept {
    auto control = [](unsigned number) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number); };
    switch (kind) {
    case FailureKind::InvalidProcedureCall: return control(5);
    case FailureKind::OutOfMemory: return E_OUTOFMEMORY;
    case FailureKind::SubscriptOutOfRange: return control(9);
    case FailureKind::TypeMismatch: return control(13);
    case FailureKind::BadFileName: return control(52);
    case FailureKind::FileNotFound: return control(53);
    case FailureKind::InputPastEndOfFile: return control(62);
    case FailureKind::DeviceUnavailable: return control(68);
    case FailureKind::PermissionDenied: return control(70);
    case FailureKind::PathFileAccess: return control(75);
    case FailureKind::PathNotFound: return control(76);
    case FailureKind::InvalidUseOfNull: return control(94);
    case FailureKind::System: return E_FAIL;
    }
    return E_FAIL;
}

HRESULT ReportError(HRESULT hr, std::wstring_view description, REFIID iid) noexcept {
    Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(kProgId));
    try {
        const std::wstring text(description);
        create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    } catch (...) {
        // Without memory for the text the HRESULT alone has to do.
    }
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    return hr;
}

}  // namespace lineprobe
