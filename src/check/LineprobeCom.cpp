#include "LineprobeCom.h"

#include "CheckRun.h"
#include "Result.h"
#include "ShowGui.h"
#include "Variant.h"

namespace lineprobe {
namespace {

// What a script host shows for "Object required".
constexpr HRESULT kObjectRequired = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 424);

HRESULT Fail(HRESULT hr, std::wstring_view description) noexcept {
    return ReportError(hr, description, IID__lineprobeCom);
}

// Put by value: the object's own copy, with a reference to the caller's variable
// resolved now. An object reference put by value is kept as a reference.
HRESULT PutValue(unique_variant& slot, const VARIANT& value) noexcept {
    unique_variant copy;
    const HRESULT hr = VariantCopyInd(copy.get(), const_cast<VARIANT*>(&value));
    if (hr == E_OUTOFMEMORY) return Fail(hr, FailureDescription(FailureKind::OutOfMemory));
    if (FAILED(hr)) return Fail(hr, L"The value cannot be stored");
    slot.swap(copy);  // the previous value goes with copy, after the new one is in place
    return S_OK;
}

bool CarriesObject(VARTYPE type) noexcept {
    switch (type) {
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_DISPATCH | VT_BYREF:
    case VT_UNKNOWN | VT_BYREF:
        return true;
    default:
        return false;
    }
}

// Put by reference: one more reference to the object carried, nothing else accepted.
HRESULT PutReference(unique_variant& slot, const VARIANT& value) noexcept {
    const VARIANT& carrier = Unwrapped(value);
    if (!CarriesObject(V_VT(&carrier))) return Fail(kObjectRequired, L"Object required");
    return PutValue(slot, carrier);
}

HRESULT GetValue(unique_variant& slot, VARIANT* value) noexcept {
    if (!value) return E_POINTER;
    VariantInit(value);
    unique_variant copy;
    const HRESULT hr = VariantCopy(copy.get(), slot.get());
    if (hr == E_OUTOFMEMORY) return Fail(hr, FailureDescription(FailureKind::OutOfMemory));
    if (FAILED(hr)) return Fail(hr, L"The value cannot be read");
    *value = copy.release();
    return S_OK;
}

// A copy that holds its own reference to an object carried in the value.
HRESULT CopyValue(const unique_variant& slot, unique_variant& copy) noexcept {
    const HRESULT hr = VariantCopy(copy.get(), const_cast<VARIANT*>(slot.get()));
    if (hr == E_OUTOFMEMORY) return Fail(hr, FailureDescription(FailureKind::OutOfMemory));
    if (FAILED(hr)) return Fail(hr, L"The value cannot be read");
    return S_OK;
}

}  // namespace

ModuleTypeInfo LineprobeCom::s_typeInfo(IID__lineprobeCom);

const InterfaceEntry<LineprobeCom> LineprobeCom::kInterfaces[3] = {
    {&IID__lineprobeCom, &CastTo<LineprobeCom, _lineprobeCom>},
    {&IID_IDispatch, &CastTo<LineprobeCom, _lineprobeCom>},
    {&IID_ISupportErrorInfo, &CastTo<LineprobeCom, ISupportErrorInfo>},
};

// The dialog instance exists from the start, but has no window until it is shown.
LineprobeCom::LineprobeCom() : m_dialog(std::make_unique<frmmain>()) {}

// The dialog goes before the four values.
LineprobeCom::~LineprobeCom() { m_dialog.reset(); }

HRESULT LineprobeCom::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT LineprobeCom::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    RETURN_IF_FAILED(s_typeInfo.Get(*info));
    (*info)->AddRef();
    return S_OK;
}

HRESULT LineprobeCom::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    RETURN_IF_FAILED(s_typeInfo.Get(info));
    return DispGetIDsOfNames(info, names, count, ids);
}

HRESULT LineprobeCom::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argumentError) noexcept {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    RETURN_IF_FAILED(s_typeInfo.Get(info));
    return DispInvoke(static_cast<_lineprobeCom*>(this), info, id, flags, params, result, exception, argumentError);
}

// Never fails towards the host: whatever goes wrong is a down verdict.
HRESULT LineprobeCom::ec_docheck(VARIANT_BOOL* up) noexcept {
    if (!up) return E_POINTER;
    *up = VARIANT_FALSE;
    // Reading an object's default property calls out, and the host may let
    // its last reference go meanwhile: the object outlives its own call.
    const Microsoft::WRL::ComPtr<LineprobeCom> self(this);
    const CheckOutcome result = RunCheck(*m_parameter.get(), TimeLimitOf(*m_timeout.get()));
    try {
        unique_variant text = TextVariant(result.text);
        m_result.swap(text);  // the previous result goes with text, after the new one is in place
        *up = result.up ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    } catch (...) {
    }
    // No memory for the result text: down, and ec_result keeps its old value. The
    // call succeeds, so no error information may linger for the host to find.
    SetErrorInfo(0, nullptr);
    return S_OK;
}

HRESULT LineprobeCom::ec_showGUI() noexcept {
    // The dialog's modal loop dispatches every message of the thread; one of
    // them may release the host's last reference while the dialog is shown.
    const Microsoft::WRL::ComPtr<LineprobeCom> self(this);
    // Copies, so that a property put meanwhile cannot pull a value away under the dialog.
    unique_variant timeout;
    unique_variant parameter;
    RETURN_IF_FAILED(CopyValue(m_timeout, timeout));
    RETURN_IF_FAILED(CopyValue(m_parameter, parameter));
    return Guarded(IID__lineprobeCom, [&]() -> HRESULT {
        const std::optional<std::wstring> edited = ShowGui(*m_dialog, *timeout.get(), *parameter.get());
        if (!edited) return S_OK;
        unique_variant text = TextVariant(*edited);
        return put_ec_parameter(*text.get());
    });
}

HRESULT LineprobeCom::put_ec_result(VARIANT value) noexcept { return PutValue(m_result, value); }
HRESULT LineprobeCom::putref_ec_result(VARIANT value) noexcept { return PutReference(m_result, value); }
HRESULT LineprobeCom::get_ec_result(VARIANT* value) noexcept { return GetValue(m_result, value); }
HRESULT LineprobeCom::put_ec_parameter(VARIANT value) noexcept { return PutValue(m_parameter, value); }
HRESULT LineprobeCom::putref_ec_parameter(VARIANT value) noexcept { return PutReference(m_parameter, value); }
HRESULT LineprobeCom::get_ec_parameter(VARIANT* value) noexcept { return GetValue(m_parameter, value); }
HRESULT LineprobeCom::put_ec_timeout(VARIANT value) noexcept { return PutValue(m_timeout, value); }
HRESULT LineprobeCom::putref_ec_timeout(VARIANT value) noexcept { return PutReference(m_timeout, value); }
HRESULT LineprobeCom::get_ec_timeout(VARIANT* value) noexcept { return GetValue(m_timeout, value); }
HRESULT LineprobeCom::put_ec_hostname(VARIANT value) noexcept { return PutValue(m_hostname, value); }
HRESULT LineprobeCom::putref_ec_hostname(VARIANT value) noexcept { return PutReference(m_hostname, value); }
HRESULT LineprobeCom::get_ec_hostname(VARIANT* value) noexcept { return GetValue(m_hostname, value); }

HRESULT LineprobeCom::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
    return IsEqualIID(iid, IID__lineprobeCom) ? S_OK : S_FALSE;
}

}  // namespace lineprobe
