#include "CheckObject.h"

#include <windows.h>

#include "Console.h"

#include "Module.h"
#include "Result.h"
#include "ProgId.h"
#include "SecretText.h"
#include "ToolOutput.h"
#include "Variant.h"

using Microsoft::WRL::ComPtr;

namespace lineprobe::tool {
namespace {

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllRegistrationFn = HRESULT(STDAPICALLTYPE*)();
using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

constexpr DWORD kUnloadPollMilliseconds = 50;
// How long the tool waits at its end for work the object left running.
constexpr ULONGLONG kUnloadWaitMilliseconds = 3000;

// GetProcAddress hands out a generic function pointer; the detour through
// void(*)() is the conversion the compiler accepts without a warning.
template <typename Fn>
Fn ExportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::wstring WithHresult(std::wstring text, HRESULT hr) {
    const std::wstring system = SystemMessage(hr);
    if (!system.empty()) text += L": " + system;
    return text + L" (" + HresultText(static_cast<std::uint32_t>(hr)) + L")";
}

unique_hmodule LoadServer(const std::wstring& path, const std::wstring& advice) {
    unique_hmodule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        std::wstring message = WithHresult(L"cannot load " + path, hr);
        std::wstring hint = RegistrationAdvice(static_cast<std::uint32_t>(hr));
        if (!advice.empty()) hint = advice;
        if (!hint.empty()) message += L"; " + hint;
        throw ToolError(message);
    }
    return module;
}

// The module whose code serves the object, held: its vtable lies in it.
unique_hmodule ModuleServing(IUnknown* object) {
    HMODULE module = nullptr;
    const auto vtable = *reinterpret_cast<const LPCWSTR*>(object);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, vtable, &module)) return unique_hmodule();
    return unique_hmodule(module);
}

// The description the object left in the thread's error information, if it left one.
std::wstring ErrorInfoText(IUnknown* object, REFIID iid) {
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&support))) || support->InterfaceSupportsErrorInfo(iid) != S_OK) {
        return {};
    }
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    unique_bstr description;
    if (FAILED(info->GetDescription(description.put()))) return {};
    return OneLine(description.view());
}

}  // namespace

ComApartment::ComApartment() {
    if (FAILED(m_apartment.Status())) throw ToolError(WithHresult(L"COM could not be started", m_apartment.Status()));
}

std::wstring SystemMessage(HRESULT hr) {
    wchar_t buffer[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(hr), 0, buffer, static_cast<DWORD>(std::size(buffer)),
                                        nullptr);
    std::wstring text = OneLine(std::wstring_view(buffer, length));
    while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) text.pop_back();
    return text;
}

std::wstring DllBesideTool() {
    std::wstring path;
    try {
        path = ModuleFilePath(nullptr);
    } catch (const ComError& error) {
        throw ToolError(WithHresult(L"cannot find lineprobe.exe's own folder", error.Code()));
    }
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"comlineprobe.dll";
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

std::optional<std::wstring> RegisteredServerPath() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(kProgId, &clsid))) return std::nullopt;
    wchar_t clsidText[40];
    if (StringFromGUID2(clsid, clsidText, static_cast<int>(std::size(clsidText))) == 0) return std::nullopt;
    const std::wstring key = std::wstring(L"CLSID\\") + clsidText + L"\\InprocServer32";
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes < sizeof(wchar_t)) {
        return std::nullopt;
    }
    std::wstring path(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    path.resize(wcsnlen(path.c_str(), path.size()));
    return path;
}

CheckObject CheckObject::Create(const std::optional<std::wstring>& dll) {
    CheckObject check;
    if (!dll) {
        CLSID clsid;
        if (SUCCEEDED(CLSIDFromProgID(kProgId, &clsid))) {
            const HRESULT hr =
                CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__lineprobeCom, &check.m_object);
            if (SUCCEEDED(hr)) {
                check.m_module = ModuleServing(check.m_object.Get());
                check.m_origin = L"created by ProgID " + std::wstring(kProgId) + L" from " +
                                 RegisteredServerPath().value_or(L"the registration");
                return check;
            }
            // The ProgID is shared by both bitnesses; the class may be registered for the other one only.
            if (hr != REGDB_E_CLASSNOTREG) {
                throw ToolError(WithHresult(L"the registered " + std::wstring(kProgId) + L" cannot be created", hr) +
                                L"; repair it with lineprobe register, or try the DLL with --dll PATH");
            }
        }
    }

    const std::wstring path = dll ? FullPath(*dll) : DllBesideTool();
    check.m_module = LoadServer(
        path, dll ? std::wstring()
                  : L"comlineprobe is not registered for this bitness and no comlineprobe.dll lies beside "
                    L"lineprobe.exe: name one with --dll PATH");
    const auto getClassObject = ExportOf<DllGetClassObjectFn>(check.m_module.get(), "DllGetClassObject");
    if (!getClassObject) throw ToolError(path + L" is no COM server: it has no DllGetClassObject");
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_lineprobeCom, IID_PPV_ARGS(&factory));
    if (FAILED(hr)) throw ToolError(WithHresult(path + L" does not serve lineprobeCom", hr));
    hr = factory->CreateInstance(nullptr, IID__lineprobeCom, &check.m_object);
    if (FAILED(hr)) throw ToolError(WithHresult(L"the class factory of " + path + L" made no object", hr));
    check.m_origin = L"loaded from " + path + L" without registration";
    return check;
}

CheckObject::~CheckObject() {
    m_object.Reset();
    if (!m_module) return;
    const auto canUnloadNow = ExportOf<DllCanUnloadNowFn>(m_module.get(), "DllCanUnloadNow");
    if (!canUnloadNow) return;
    const ULONGLONG start = GetTickCount64();
    while (canUnloadNow() != S_OK) {
        if (GetTickCount64() - start >= kUnloadWaitMilliseconds) {
            WriteLine(Stream::Err, L"lineprobe: work of the check is still running (a server that has not answered); "
                                   L"it ends with the tool");
            return;
        }
        Sleep(kUnloadPollMilliseconds);
    }
}

void CheckObject::Fail(const wchar_t* member, HRESULT hr) const {
    std::wstring text = std::wstring(member) + L" failed";
    const std::wstring description = ErrorInfoText(m_object.Get(), IID__lineprobeCom);
    if (description.empty()) throw ToolError(WithHresult(text, hr));
    throw ToolError(text + L": " + description + L" (" + HresultText(static_cast<std::uint32_t>(hr)) + L")");
}

void CheckObject::PutParameter(std::wstring_view text) {
    unique_variant value = TextVariant(text);
    // The string may hold a password; the object keeps a copy of its own.
    const WipedOnExit wipe(V_BSTR(value.get()), SysStringByteLen(V_BSTR(value.get())));
    const HRESULT hr = m_object->put_ec_parameter(*value.get());
    if (FAILED(hr)) Fail(L"ec_parameter", hr);
}

void CheckObject::PutTimeout(std::int32_t seconds) {
    unique_variant value;
    V_VT(value.get()) = VT_I4;
    V_I4(value.get()) = seconds;
    const HRESULT hr = m_object->put_ec_timeout(*value.get());
    if (FAILED(hr)) Fail(L"ec_timeout", hr);
}

bool CheckObject::DoCheck() {
    VARIANT_BOOL verdict = VARIANT_FALSE;
    const HRESULT hr = m_object->ec_docheck(&verdict);
    if (FAILED(hr)) Fail(L"ec_docheck", hr);
    return verdict != VARIANT_FALSE;
}

std::wstring CheckObject::Result() {
    unique_variant value;
    const HRESULT hr = m_object->get_ec_result(value.get());
    if (FAILED(hr)) Fail(L"ec_result", hr);
    return V_VT(value.get()) == VT_EMPTY ? std::wstring() : VariantToText(*value.get());
}

std::wstring CheckObject::Parameter() {
    unique_variant value;
    const HRESULT hr = m_object->get_ec_parameter(value.get());
    if (FAILED(hr)) Fail(L"ec_parameter", hr);
    return V_VT(value.get()) == VT_EMPTY ? std::wstring() : VariantToText(*value.get());
}

void CheckObject::ShowGui() {
    const HRESULT hr = m_object->ec_showGUI();
    if (FAILED(hr)) Fail(L"ec_showGUI", hr);
}

void CallRegistrationEntry(const std::wstring& path, bool unregister) {
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const std::wstring entryName = unregister ? L"DllUnregisterServer" : L"DllRegisterServer";
    const unique_hmodule module = LoadServer(path, {});
    const auto call = ExportOf<DllRegistrationFn>(module.get(), entry);
    if (!call) throw ToolError(path + L" has no " + entryName + L": it is no self-registering COM server");
    const HRESULT hr = call();
    if (FAILED(hr)) {
        std::wstring message = WithHresult(entryName + L" of " + path + L" failed", hr);
        const std::wstring advice = RegistrationAdvice(static_cast<std::uint32_t>(hr));
        if (!advice.empty()) message += L"; " + advice;
        throw ToolError(message);
    }
}

std::optional<std::wstring> FileVersionText(const std::wstring& path) {
    const std::optional<FileVersion> version = ReadFileVersion(path);
    if (!version) return std::nullopt;
    return std::to_wstring(version->major) + L"." + std::to_wstring(version->minor) + L"." +
           std::to_wstring(version->build) + L"." + std::to_wstring(version->revision);
}

}  // namespace lineprobe::tool
