// Registration is a table: keys under HKLM\Software\Classes of this DLL's own
// registry view, written in order and removed in reverse, plus the type library
// registered from the DLL's own resource.
//
// On 64-bit Windows the 32-bit and the 64-bit DLL are often registered side by
// side. Their CLSID and Interface keys live apart, one set per registry view,
// but the ProgID key is one key seen from both; so is the TypeLib key, which
// keeps the two platforms in subkeys of their own. Unregistering one DLL must
// therefore leave alone what the other still needs, and what another copy of
// this DLL registered.
#include "Registration.h"

#include <comlineprobe.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "Module.h"
#include "ProgId.h"
#include "Result.h"
#include "UniqueResource.h"

namespace lineprobe {
namespace {

constexpr wchar_t kClassesRoot[] = L"Software\\Classes\\";
constexpr WORD kLibraryMajor = 1;
constexpr WORD kLibraryMinor = 0;
constexpr LCID kLibraryLcid = 0x0409;
#ifdef _WIN64
constexpr SYSKIND kLibrarySyskind = SYS_WIN64;
constexpr wchar_t kPlatform[] = L"win64";
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr SYSKIND kLibrarySyskind = SYS_WIN32;
constexpr wchar_t kPlatform[] = L"win32";
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

struct RegistryValue {
    const wchar_t* name;  // nullptr: the key's default value
    std::wstring data;
};

struct RegistryKey {
    std::wstring path;  // below HKLM\Software\Classes
    std::vector<RegistryValue> values;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[39] = {};
    if (StringFromGUID2(guid, text, 39) == 0) throw ComError(E_UNEXPECTED, L"A GUID has no text form");
    return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_lineprobeCom); }

std::vector<RegistryKey> ProgIdKeys() {
    const std::wstring progId = kProgId;
    return {
        {progId, {{nullptr, progId}}},
        {progId + L"\\CLSID", {{nullptr, GuidText(CLSID_lineprobeCom)}}},
    };
}

std::vector<RegistryKey> ClassKeys(const std::wstring& dllPath) {
    const std::wstring classKey = ClassKey();
    return {
        {classKey, {{nullptr, kProgId}}},
        {classKey + L"\\InprocServer32", {{nullptr, dllPath}, {L"ThreadingModel", L"Apartment"}}},
        {classKey + L"\\ProgID", {{nullptr, kProgId}}},
        {classKey + L"\\TypeLib", {{nullptr, GuidText(LIBID_comlineprobe)}}},
    };
}

// The key of one locale of the library's version 1.0.
std::wstring LibraryLocaleKey(const wchar_t* locale) {
    return L"TypeLib\\" + GuidText(LIBID_comlineprobe) + L"\\1.0\\" + locale;
}

// The type-library marshaler looks the library up for the neutral locale, so
// without this key no call reaches the object from another apartment.
std::vector<RegistryKey> NeutralLocaleKeys(const std::wstring& dllPath) {
    const std::wstring locale = LibraryLocaleKey(L"0");
    return {
        {locale, {}},
        {locale + L"\\" + kPlatform, {{nullptr, dllPath}}},
    };
}

std::wstring ClassesPath(const std::wstring& path) { return kClassesRoot + path; }

// The keys one registration created, so that a failed one takes back only those.
class CreatedKeys {
public:
    HRESULT Write(const RegistryKey& key) noexcept {
        unique_hkey handle;
        DWORD disposition = 0;
        LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassesPath(key.path).c_str(), 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, handle.put(), &disposition);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        if (disposition == REG_CREATED_NEW_KEY) {
            try {
                m_paths.push_back(key.path);
            } catch (const std::bad_alloc&) {
                handle.reset();
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, ClassesPath(key.path).c_str());
                return E_OUTOFMEMORY;
            }
        }
        for (const RegistryValue& value : key.values) {
            const auto bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
            status = RegSetValueExW(handle.get(), value.name, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.data.c_str()), bytes);
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        }
        return S_OK;
    }

    void RemoveAll() noexcept {
        for (auto path = m_paths.rbegin(); path != m_paths.rend(); ++path) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, ClassesPath(*path).c_str());
        }
        m_paths.clear();
    }

private:
    std::vector<std::wstring> m_paths;
};

// A key that another registration still fills with subkeys stays.
HRESULT DeleteKey(const std::wstring& path) noexcept {
    const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, ClassesPath(path).c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
    unique_hkey key;
    DWORD subkeys = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ClassesPath(path).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS &&
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys > 0) {
        return S_OK;
    }
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteKeys(const std::vector<RegistryKey>& keys) noexcept {
    HRESULT first = S_OK;
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        const HRESULT hr = DeleteKey(key->path);
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

// The default value of a key in the given view; nothing when there is none.
std::optional<std::wstring> DefaultValue(const std::wstring& path, REGSAM view = 0) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ClassesPath(path).c_str(), 0, KEY_QUERY_VALUE | view, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD bytes = 0;
    if (RegGetValueW(key.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::wstring();
    }
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegGetValueW(key.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, data.data(), &bytes) != ERROR_SUCCESS) {
        return std::wstring();
    }
    data.resize(wcsnlen(data.c_str(), data.size()));
    return data;
}

bool SamePath(const std::wstring& a, const std::wstring& b) noexcept {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// By file identity: the same DLL reached by another name (a short name, a
// second drive onto its folder) is this one. A registered file that cannot be
// opened is no other live copy either, and only its name is left to compare.
bool NamesThisDll(const std::optional<std::wstring>& registered, const std::wstring& dllPath) {
    return registered && SameFile(*registered, dllPath).value_or(SamePath(*registered, dllPath));
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

// This platform's own entry, for the library's locale or else the neutral one.
// Not QueryPathOfRegTypeLib: in a 64-bit process it answers with the win32
// entry where there is no win64 one.
std::optional<std::wstring> RegisteredLibraryPath() {
    for (const wchar_t* locale : {L"409", L"0"}) {
        if (auto path = DefaultValue(LibraryLocaleKey(locale) + L"\\" + kPlatform)) return path;
    }
    return std::nullopt;
}

HRESULT UnregisterLibrary() noexcept {
    return UnRegisterTypeLib(LIBID_comlineprobe, kLibraryMajor, kLibraryMinor, kLibraryLcid, kLibrarySyskind);
}

HRESULT RegisterAll(CreatedKeys& created, bool& libraryRegistered) {
    const std::wstring dllPath = module::FilePath();
    for (const auto& keys : {ProgIdKeys(), ClassKeys(dllPath)}) {
        for (const RegistryKey& key : keys) RETURN_IF_FAILED(created.Write(key));
    }
    const bool libraryBefore = RegisteredLibraryPath().has_value();
    RETURN_IF_FAILED(RegisterLibrary(dllPath));
    libraryRegistered = !libraryBefore;
    for (const RegistryKey& key : NeutralLocaleKeys(dllPath)) RETURN_IF_FAILED(created.Write(key));
    return S_OK;
}

HRESULT UnregisterAll() {
    const std::wstring dllPath = module::FilePath();
    HRESULT first = S_OK;
    auto note = [&first](HRESULT hr) {
        if (SUCCEEDED(first)) first = hr;
    };
    const std::vector<RegistryKey> neutral = NeutralLocaleKeys(dllPath);
    if (NamesThisDll(DefaultValue(neutral.back().path), dllPath)) note(DeleteKeys(neutral));
    if (NamesThisDll(RegisteredLibraryPath(), dllPath)) note(UnregisterLibrary());

    const std::wstring server = ClassKey() + L"\\InprocServer32";
    if (NamesThisDll(DefaultValue(server), dllPath)) note(DeleteKeys(ClassKeys(dllPath)));
    // The ProgID goes with the last class registration of either view.
    if (!DefaultValue(server) && !DefaultValue(server, kOtherView)) note(DeleteKeys(ProgIdKeys()));
    return first;
}

}  // namespace

HRESULT RegisterServer() noexcept {
    CreatedKeys created;
    bool libraryRegistered = false;
    const HRESULT hr = Shielded([&] { return RegisterAll(created, libraryRegistered); });
    if (FAILED(hr)) {
        // Leave no half registration behind, and nothing that was there before.
        created.RemoveAll();
        if (libraryRegistered) UnregisterLibrary();
    }
    return hr;
}

HRESULT UnregisterServer() noexcept { return Shielded(UnregisterAll); }

}  // namespace lineprobe
