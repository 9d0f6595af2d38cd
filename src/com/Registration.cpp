// Registration is a table: keys under HKEY_CLASSES_ROOT written in order and removed
// in reverse, plus the type library registered from the DLL's own resource.
#include "Registration.h"

#include <comlineprobe.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "Result.h"
#include "UniqueResource.h"
#include "Module.h"
#include "ProgId.h"

namespace lineprobe {
namespace {

constexpr WORD kLibraryMajor = 1;
constexpr WORD kLibraryMinor = 0;
constexpr LCID kLibraryLcid = 0x0409;
#ifdef _WIN64
constexpr SYSKIND kLibrarySyskind = SYS_WIN64;
#else
constexpr SYSKIND kLibrarySyskind = SYS_WIN32;
#endif

struct RegistryValue {
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring data;
};

struct RegistryKey {
    std::wstring path;
    std::vector<RegistryValue> values;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[39] = {};
    if (StringFromGUID2(guid, text, 39) == 0) throw ComError(E_UNEXPECTED, L"A GUID has no text form");
    return text;
}

std::vector<RegistryKey> ServerKeys(const std::wstring& dllPath) {
    const std::wstring progId = kProgId;
    const std::wstring clsid = GuidText(CLSID_lineprobeCom);
    const std::wstring classKey = L"CLSID\\" + clsid;
    return {
        {progId, {{nullptr, progId}}},
        {progId + L"\\CLSID", {{nullptr, clsid}}},
        {classKey, {{nullptr, progId}}},
        {classKey + L"\\InprocServer32", {{nullptr, dllPath}, {L"ThreadingModel", L"Apartment"}}},
        {classKey + L"\\ProgID", {{nullptr, progId}}},
        {classKey + L"\\TypeLib", {{nullptr, GuidText(LIBID_comlineprobe)}}},
    };
}

HRESULT WriteKey(const RegistryKey& key) noexcept {
    unique_hkey handle;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, handle.put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    for (const RegistryValue& value : key.values) {
        const auto bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(handle.get(), value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data.c_str()),
                                bytes);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT DeleteKey(const RegistryKey& key) noexcept {
    const LSTATUS status = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.path.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
    return HRESULT_FROM_WIN32(status);
}

std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HRESULT RegisterLibrary(const std::wstring& dllPath) {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadTypeLibEx(dllPath.c_str(), REGKIND_NONE, &library));
    // The help file is looked for beside the DLL.
    std::wstring helpFolder = FolderOf(dllPath);
    std::wstring path = dllPath;  // the declaration takes non-const text
    return RegisterTypeLib(library.Get(), path.data(), helpFolder.data());
}

HRESULT UnregisterLibrary() noexcept {
    unique_bstr registeredPath;
    if (FAILED(QueryPathOfRegTypeLib(LIBID_comlineprobe, kLibraryMajor, kLibraryMinor, kLibraryLcid,
                                     registeredPath.put()))) {
        return S_OK;  // not registered
    }
    return UnRegisterTypeLib(LIBID_comlineprobe, kLibraryMajor, kLibraryMinor, kLibraryLcid, kLibrarySyskind);
}

HRESULT RegisterAll() {
    const std::wstring dllPath = module::FilePath();
    for (const RegistryKey& key : ServerKeys(dllPath)) {
        RETURN_IF_FAILED(WriteKey(key));
    }
    return RegisterLibrary(dllPath);
}

HRESULT UnregisterAll() {
    HRESULT first = UnregisterLibrary();
    const std::vector<RegistryKey> keys = ServerKeys(module::FilePath());
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        const HRESULT hr = DeleteKey(*key);
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

}  // namespace

HRESULT RegisterServer() noexcept {
    const HRESULT hr = Shielded(RegisterAll);
    if (FAILED(hr)) {
        UnregisterServer();  // leave no half registration behind
    }
    return hr;
}

HRESULT UnregisterServer() noexcept { return Shielded(UnregisterAll); }

}  // namespace lineprobe
