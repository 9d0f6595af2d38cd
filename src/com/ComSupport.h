// RAII owners for what the platform hands out, early-return macros and the one
// place where failures become HRESULTs with error information for the host.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include "Failure.h"

#define RETURN_IF_FAILED(expr)              \
    do {                                    \
        const HRESULT hr_ = (expr);         \
        if (FAILED(hr_)) return hr_;        \
    } while (0)

namespace lineprobe {

class unique_bstr {
public:
    unique_bstr() = default;
    explicit unique_bstr(BSTR value) noexcept : m_value(value) {}
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    unique_bstr(unique_bstr&& other) noexcept : m_value(other.release()) {}
    unique_bstr& operator=(unique_bstr&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_bstr() { reset(); }

    BSTR get() const noexcept { return m_value; }
    BSTR* put() noexcept {
        reset();
        return &m_value;
    }
    BSTR release() noexcept { return std::exchange(m_value, nullptr); }
    void reset(BSTR value = nullptr) noexcept {
        if (m_value) SysFreeString(m_value);
        m_value = value;
    }
    std::wstring_view view() const noexcept { return {m_value ? m_value : L"", SysStringLen(m_value)}; }

private:
    BSTR m_value = nullptr;
};

// A BSTR copy of the text; throws std::bad_alloc when the system has no memory.
unique_bstr MakeBstr(std::wstring_view text);

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&m_value); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    unique_variant(unique_variant&& other) noexcept : m_value(other.release()) {}
    unique_variant& operator=(unique_variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&m_value);
            m_value = other.release();
        }
        return *this;
    }
    ~unique_variant() { VariantClear(&m_value); }

    VARIANT* get() noexcept { return &m_value; }
    const VARIANT* get() const noexcept { return &m_value; }
    VARIANT* addressof() noexcept { return &m_value; }
    void reset() noexcept { VariantClear(&m_value); }
    VARIANT release() noexcept {
        VARIANT out = m_value;
        VariantInit(&m_value);
        return out;
    }
    void swap(unique_variant& other) noexcept { std::swap(m_value, other.m_value); }

private:
    VARIANT m_value;
};

template <typename Traits>
class unique_any_handle {
public:
    using pointer = typename Traits::pointer;
    unique_any_handle() = default;
    explicit unique_any_handle(pointer value) noexcept : m_value(value) {}
    unique_any_handle(const unique_any_handle&) = delete;
    unique_any_handle& operator=(const unique_any_handle&) = delete;
    unique_any_handle(unique_any_handle&& other) noexcept : m_value(other.release()) {}
    unique_any_handle& operator=(unique_any_handle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_any_handle() { reset(); }

    pointer get() const noexcept { return m_value; }
    pointer* put() noexcept {
        reset();
        return &m_value;
    }
    pointer release() noexcept { return std::exchange(m_value, Traits::invalid()); }
    void reset(pointer value = Traits::invalid()) noexcept {
        if (m_value != Traits::invalid()) Traits::close(m_value);
        m_value = value;
    }
    explicit operator bool() const noexcept { return m_value != Traits::invalid(); }

private:
    pointer m_value = Traits::invalid();
};

struct HandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { CloseHandle(h); }
};
struct HkeyTraits {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { RegCloseKey(h); }
};
struct HmoduleTraits {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { FreeLibrary(h); }
};

using unique_handle = unique_any_handle<HandleTraits>;  // a file handle: invalid is INVALID_HANDLE_VALUE
using unique_hkey = unique_any_handle<HkeyTraits>;
using unique_hmodule = unique_any_handle<HmoduleTraits>;

// A failure of a platform call that the host should see with its HRESULT.
class ComError : public std::exception {
public:
    ComError(HRESULT hr, std::wstring description) : m_hr(hr), m_description(std::move(description)) {}
    HRESULT Code() const noexcept { return m_hr; }
    const std::wstring& Description() const noexcept { return m_description; }
    const char* what() const noexcept override { return "lineprobe::ComError"; }

private:
    HRESULT m_hr;
    std::wstring m_description;
};

// The HRESULT an automation host expects for a runtime failure (the control
// facility with the classic error number, so scripts see the familiar number).
HRESULT HresultFromFailure(FailureKind kind) noexcept;

// Sets the thread's error information for the host and returns hr.
HRESULT ReportError(HRESULT hr, std::wstring_view description, REFIID iid) noexcept;

// Runs body at an interface boundary: no C++ exception ever crosses it.
// Failure, ComError and std::bad_alloc become failing HRESULTs with error information.
template <typename Body>
HRESULT Guarded(REFIID iid, Body&& body) noexcept {
    try {
        return body();
    } catch (const Failure& failure) {
        return ReportError(HresultFromFailure(failure.Kind()), failure.Description(), iid);
    } catch (const ComError& error) {
        return ReportError(error.Code(), error.Description(), iid);
    } catch (const std::bad_alloc&) {
        return ReportError(E_OUTOFMEMORY, FailureDescription(FailureKind::OutOfMemory), iid);
    } catch (...) {
        return ReportError(E_UNEXPECTED, FailureDescription(FailureKind::System), iid);
    }
}

// Like Guarded, for entry points that hand back a bare HRESULT and no error
// information (the DLL exports, loading the type library).
template <typename Body>
HRESULT Shielded(Body&& body) noexcept {
    try {
        return body();
    } catch (const ComError& error) {
        return error.Code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Text form of a value as an automation host converts it: VariantChangeTypeEx
// to BSTR with the user's locale and VARIANT_ALPHABOOL. A null value fails
// with InvalidUseOfNull, a value without a text form with TypeMismatch.
std::wstring VariantToText(const VARIANT& value);

}  // namespace lineprobe
