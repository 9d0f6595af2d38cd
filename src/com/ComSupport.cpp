#include "ComSupport.h"

#include <new>

namespace lineprobe {

unique_bstr MakeBstr(std::wstring_view text) {
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value) {
        throw std::bad_alloc();
    }
    return unique_bstr(value);
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
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(L"comlineprobe.lineprobeCom"));
        try {
            const std::wstring text(description);
            create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
        } catch (...) {
            // Without memory for the text the HRESULT alone has to do.
        }
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return hr;
}

std::wstring VariantToText(const VARIANT& value) {
    const VARIANT* inner = &value;
    if (V_VT(inner) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(inner)) {
        inner = V_VARIANTREF(inner);
    }
    if ((V_VT(inner) & ~VT_BYREF) == VT_NULL) {
        throw Failure(FailureKind::InvalidUseOfNull);
    }
    if (V_VT(inner) == VT_BSTR) {
        return std::wstring(V_BSTR(inner) ? V_BSTR(inner) : L"", SysStringLen(V_BSTR(inner)));
    }
    unique_variant text;
    const HRESULT hr = VariantChangeTypeEx(text.get(), const_cast<VARIANT*>(inner), LOCALE_USER_DEFAULT,
                                           VARIANT_ALPHABOOL, VT_BSTR);
    if (hr == E_OUTOFMEMORY) {
        throw std::bad_alloc();
    }
    if (FAILED(hr) || V_VT(text.get()) != VT_BSTR) {
        throw Failure(FailureKind::TypeMismatch);
    }
    return std::wstring(V_BSTR(text.get()) ? V_BSTR(text.get()) : L"", SysStringLen(V_BSTR(text.get())));
}

}  // namespace lineprobe
