// IUnknown once for every heap object of the component: an atomic reference count,
// QueryInterface as a table, and the module count held for the object's lifetime.
#pragma once

#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <utility>

#include "Module.h"

namespace lineprobe {

// One row of a QueryInterface table: an interface id and how to reach it from the object.
template <typename Derived>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(Derived* self) noexcept;
};

template <typename Derived, typename Interface>
IUnknown* CastTo(Derived* self) noexcept {
    return static_cast<Interface*>(self);
}

// Derived lists its interfaces in `static const InterfaceEntry<Derived> kInterfaces[]`;
// the first row answers for IUnknown, which keeps the object's identity stable.
template <typename Derived, typename... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // Makes a new object and hands out the asked interface; a constructor that
    // throws becomes a failing HRESULT.
    template <typename... Args>
    static HRESULT Create(REFIID iid, void** out, Args&&... args) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        try {
            // Adopts the birth reference; mingw-w64's ComPtr::Attach would add one more.
            Microsoft::WRL::ComPtr<Derived> object;
            *object.GetAddressOf() = new Derived(std::forward<Args>(args)...);
            return object->QueryInterface(iid, out);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        auto* self = static_cast<Derived*>(this);
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = Derived::kInterfaces[0].cast(self);
            AddRef();
            return S_OK;
        }
        for (const auto& entry : Derived::kInterfaces) {
            if (IsEqualIID(iid, *entry.iid)) {
                *out = entry.cast(self);
                AddRef();
                return S_OK;
            }
        }
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++m_references; }

    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = --m_references;
        if (left == 0) {
            delete static_cast<Derived*>(this);
        }
        return left;
    }

protected:
    // Born with one reference, which Create hands over to the caller's interface.
    ComObject() noexcept { module::AddRef(); }
    ~ComObject() { module::Release(); }

private:
    std::atomic<ULONG> m_references{1};
};

}  // namespace lineprobe
