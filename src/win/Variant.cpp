#include "Variant.h"

#include <new>

#include "Failure.h"

namespace lineprobe {

unique_bstr MakeBstr(std::wstring_view text) {
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value) {
        throw std::bad_alloc();
    }
    return unique_bstr(value);
}

unique_variant TextVariant(std::wstring_view text) {
    unique_variant value;
    V_BSTR(value.get()) = MakeBstr(text).release();
    V_VT(value.get()) = VT_BSTR;
    return value;
}

const VARIANT& Unwrapped(const VARIANT& value) noexcept {
    if (V_VT(&value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&value)) {
        return *V_VARIANTREF(&value);
    }
    return value;
}

bool IsNull(const VARIANT& value) noexcept { return (V_VT(&Unwrapped(value)) & ~VT_BYREF) == VT_NULL; }

std::wstring VariantToText(const VARIANT& value) {
    const VARIANT& inner = Unwrapped(value);
    if (IsNull(inner)) {
        throw Failure(FailureKind::InvalidUseOfNull);
    }
    if (V_VT(&inner) == VT_BSTR) {
        return std::wstring(V_BSTR(&inner) ? V_BSTR(&inner) : L"", SysStringLen(V_BSTR(&inner)));
    }
    unique_variant text;
    const HRESULT hr = VariantChangeTypeEx(text.get(), const_cast<VARIANT*>(&inner), LOCALE_USER_DEFAULT,
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
