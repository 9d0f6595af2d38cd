// The DLL comlineprobe: entry point, the class factory of lineprobeCom and the four exports.
#include <comlineprobe.h>
#include <olectl.h>

#include "LineprobeCom.h"
#include "Module.h"
#include "Registration.h"

namespace lineprobe {
namespace {

// One factory for the life of the DLL; it is not counted, only its locks are.
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return LineprobeCom::Create(iid, out);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        if (lock) {
            module::AddRef();
        } else {
            module::Release();
        }
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace
}  // namespace lineprobe

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        // No other thread runs code of this DLL any more: DllMain holds the loader lock.
        lineprobe::LineprobeCom::s_typeInfo.Release(reserved != nullptr);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return lineprobe::module::InUse() ? S_FALSE : S_OK;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_lineprobeCom)) return CLASS_E_CLASSNOTAVAILABLE;
    return lineprobe::g_factory.QueryInterface(iid, out);
}

STDAPI DllRegisterServer() {
    return lineprobe::RegisterServer();
}

STDAPI DllUnregisterServer() {
    return lineprobe::UnregisterServer();
}
