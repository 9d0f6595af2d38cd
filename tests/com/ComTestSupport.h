// What the in-process test programs of the COM server share beyond TestObject.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "TestObject.h"

namespace lineprobe::test {

// HRESULTs print in hex, as every COM programmer reads them.
struct Hr {
    HRESULT value;
    bool operator==(const Hr&) const = default;
};
inline void PrintTo(const Hr& hr, std::ostream* out) {
    const std::wstring text = HexCode(static_cast<std::uint32_t>(hr.value));
    *out << std::string(text.begin(), text.end());
}

// What a script host reports as "Object required".
constexpr HRESULT kObjectRequired = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 424);

inline unique_variant Int16(SHORT number) {
    unique_variant value;
    V_I2(value.get()) = number;
    V_VT(value.get()) = VT_I2;
    return value;
}

inline unique_variant Double(double number) {
    unique_variant value;
    V_R8(value.get()) = number;
    V_VT(value.get()) = VT_R8;
    return value;
}

inline unique_variant Date(DATE date) {
    unique_variant value;
    V_DATE(value.get()) = date;
    V_VT(value.get()) = VT_DATE;
    return value;
}

inline unique_variant Null() {
    unique_variant value;
    V_VT(value.get()) = VT_NULL;
    return value;
}

// A dispatch object that only counts its references; it lives on the stack of
// a case. A case that needs a default value derives and answers Invoke.
class CountingObject : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // References held by others than the case itself.
    ULONG Held() const noexcept { return m_references - 1; }

private:
    ULONG m_references = 1;
};

// The description of the thread's current error information, empty when there is none.
inline std::wstring TakeErrorDescription() {
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return L"";
    unique_bstr description;
    info->GetDescription(description.put());
    return std::wstring(description.view());
}

}  // namespace lineprobe::test

#define EXPECT_HR(expected, expression) \
    EXPECT_EQ(::lineprobe::test::Hr{expected}, ::lineprobe::test::Hr{expression})
#define ASSERT_HR(expected, expression) \
    ASSERT_EQ(::lineprobe::test::Hr{expected}, ::lineprobe::test::Hr{expression})
