// The check object as lineprobe.exe reaches it: through the registration, or
// straight from a comlineprobe.dll without registering anything.
#pragma once

#include <wrl/client.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Apartment.h"
#include "UniqueResource.h"
#include "comlineprobe.h"

namespace lineprobe::tool {

// A failure the tool reports in words and ends with exit code 3.
class ToolError : public std::exception {
public:
    explicit ToolError(std::wstring message) : m_message(std::move(message)) {}
    const std::wstring& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return "lineprobe::tool::ToolError"; }

private:
    std::wstring m_message;
};

// COM for the calling thread, in the single-threaded apartment the class asks
// for; throws ToolError when COM cannot start.
class ComApartment {
public:
    ComApartment();

private:
    Apartment m_apartment;
};

class CheckObject {
public:
    // By ProgID when the class is registered for this bitness; otherwise, or
    // when dll is given, from that DLL (default: comlineprobe.dll beside the tool).
    static CheckObject Create(const std::optional<std::wstring>& dll);

    // Releases the object, then waits until the DLL's DllCanUnloadNow says S_OK:
    // work the object left running (a check past its time limit, a dialog's
    // Test) holds the DLL's module count. The answer is out by then, and a host
    // kills a plugin that overruns its own limit anyway, so the wait is short:
    // work still running then (a logon to a server that has not answered) is
    // named on standard error and ends with the process.
    ~CheckObject();
    CheckObject(CheckObject&&) = default;
    CheckObject& operator=(CheckObject&&) = delete;

    // Where the object came from, for --verbose.
    const std::wstring& Origin() const noexcept { return m_origin; }

    void PutParameter(std::wstring_view text);
    void PutTimeout(std::int32_t seconds);
    bool DoCheck();
    std::wstring Result();
    std::wstring Parameter();
    void ShowGui();

private:
    CheckObject() = default;
    [[noreturn]] void Fail(const wchar_t* member, HRESULT hr) const;

    // The server's module, also for an object created by ProgID; first member:
    // freed only after the object below is released.
    unique_hmodule m_module;
    Microsoft::WRL::ComPtr<_lineprobeCom> m_object;
    std::wstring m_origin;
};

// comlineprobe.dll in the folder of the running lineprobe.exe.
std::wstring DllBesideTool();
std::wstring FullPath(const std::wstring& path);
// The server file the registration names for this bitness, when there is one.
std::optional<std::wstring> RegisteredServerPath();
// Calls DllRegisterServer or DllUnregisterServer of the DLL; throws ToolError in words.
void CallRegistrationEntry(const std::wstring& path, bool unregister);
// "1.0.0.15" from the file's version block.
std::optional<std::wstring> FileVersionText(const std::wstring& path);
// The system's text for an HRESULT, on one line; empty when it has none.
std::wstring SystemMessage(HRESULT hr);

}  // namespace lineprobe::tool
