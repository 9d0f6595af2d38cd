// Where failures become HRESULTs: early-return macros, the exception shields of
// every interface boundary and error information for the host.
#pragma once

#include <windows.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "Failure.h"

#define RETURN_IF_FAILED(expr)              \
    do {                                    \
        const HRESULT hr_ = (expr);         \
        if (FAILED(hr_)) return hr_;        \
    } while (0)

namespace lineprobe {

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

// Throws ComError with the thread's last error (E_FAIL when it holds none).
[[noreturn]] void ThrowLastError(const wchar_t* what);

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

}  // namespace lineprobe
