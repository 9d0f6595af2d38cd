// How test programs reach the check object: comlineprobe.dll from the folder of the
// running test program, loaded once and kept for the process, and a few VARIANT
// and IDispatch helpers so that cases stay one line each.
#pragma once

#include <comlineprobe.h>
#include <wrl/client.h>

#include <string>
#include <string_view>

#include "Apartment.h"
#include "Module.h"
#include "Result.h"
#include "UniqueResource.h"
#include "Variant.h"

namespace lineprobe::test {

// Folder of the running test program, with a trailing backslash.
inline std::wstring ProgramFolder() {
    const std::wstring path = ModuleFilePath(nullptr);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

inline std::wstring ServerPath() { return ProgramFolder() + L"comlineprobe.dll"; }

// The DLL under test; null when it cannot be loaded. It stays loaded until the
// program ends, so it outlives every object made from it.
inline HMODULE ServerModule() {
    static const unique_hmodule module(LoadLibraryW(ServerPath().c_str()));
    return module.get();
}

// An export of the DLL under test by name (or MAKEINTRESOURCEA(ordinal)), null when missing.
template <typename Function>
Function ServerExport(const char* name) {
    const HMODULE module = ServerModule();
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

using DllGetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

inline HRESULT ServerClassFactory(Microsoft::WRL::ComPtr<IClassFactory>& factory) {
    const auto getClassObject = ServerExport<DllGetClassObjectFunction>("DllGetClassObject");
    if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return getClassObject(CLSID_lineprobeCom, IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
}

// A new check object made by the DLL's own class factory, without registration.
inline HRESULT CreateTestObject(Microsoft::WRL::ComPtr<_lineprobeCom>& object) {
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    RETURN_IF_FAILED(ServerClassFactory(factory));
    return factory->CreateInstance(nullptr, IID__lineprobeCom, reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
}

// The same, empty when creation failed (check with ASSERT_TRUE(object)).
inline Microsoft::WRL::ComPtr<_lineprobeCom> NewTestObject() {
    Microsoft::WRL::ComPtr<_lineprobeCom> object;
    if (FAILED(CreateTestObject(object))) object.Reset();
    return object;
}

// VARIANTs made in one expression.
inline unique_variant Text(std::wstring_view text) { return TextVariant(text); }

inline unique_variant Int32(LONG number) {
    unique_variant value;
    V_I4(value.get()) = number;
    V_VT(value.get()) = VT_I4;
    return value;
}

inline unique_variant Bool(bool flag) {
    unique_variant value;
    V_BOOL(value.get()) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    V_VT(value.get()) = VT_BOOL;
    return value;
}

// Holds one more reference to the object.
inline unique_variant Object(IDispatch* object) {
    unique_variant value;
    if (object) object->AddRef();
    V_DISPATCH(value.get()) = object;
    V_VT(value.get()) = VT_DISPATCH;
    return value;
}

// A by-reference VARIANT pointing at the caller's variable (no ownership).
inline VARIANT RefTo(VARIANT& variable) {
    VARIANT reference;
    VariantInit(&reference);
    V_VARIANTREF(&reference) = &variable;
    V_VT(&reference) = VT_VARIANT | VT_BYREF;
    return reference;
}

// A short, comparable description: "VT_EMPTY", "VT_BSTR:abc", "VT_I4:30", "VT_BOOL:-1",
// "VT_DISPATCH", or "vt=N" for any other type.
inline std::wstring Describe(const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_EMPTY: return L"VT_EMPTY";
    case VT_NULL: return L"VT_NULL";
    case VT_BSTR: return L"VT_BSTR:" + std::wstring(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value)));
    case VT_I2: return L"VT_I2:" + std::to_wstring(V_I2(&value));
    case VT_I4: return L"VT_I4:" + std::to_wstring(V_I4(&value));
    case VT_R8: return L"VT_R8:" + std::to_wstring(V_R8(&value));
    case VT_DATE: return L"VT_DATE:" + std::to_wstring(V_DATE(&value));
    case VT_BOOL: return L"VT_BOOL:" + std::to_wstring(V_BOOL(&value));
    case VT_DISPATCH: return L"VT_DISPATCH";
    case VT_UNKNOWN: return L"VT_UNKNOWN";
    default: return L"vt=" + std::to_wstring(V_VT(&value));
    }
}

// Late binding, as a script host calls: by DISPID with the standard argument conventions.
inline DISPID DispatchId(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
    return id;
}

inline HRESULT DispatchPut(IDispatch* object, DISPID id, const VARIANT& value, WORD flags = DISPATCH_PROPERTYPUT,
                           EXCEPINFO* exception = nullptr) {
    VARIANT argument = value;  // shallow: Invoke only reads its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&argument, &named, 1, 1};
    EXCEPINFO ignored = {};
    UINT argumentError = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr,
                                      exception ? exception : &ignored, &argumentError);
    if (!exception) {
        SysFreeString(ignored.bstrSource);
        SysFreeString(ignored.bstrDescription);
        SysFreeString(ignored.bstrHelpFile);
    }
    return hr;
}

// Property get (DISPATCH_PROPERTYGET) or method call (DISPATCH_METHOD) without arguments.
inline HRESULT DispatchGet(IDispatch* object, DISPID id, unique_variant& result, WORD flags = DISPATCH_PROPERTYGET) {
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    result.reset();
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.get(), &exception,
                                      &argumentError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

}  // namespace lineprobe::test
