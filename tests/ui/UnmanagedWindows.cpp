// Under Wine without a window manager, hiding a managed top-level window waits
// two seconds for a manager that never answers. The dialog tests therefore
// ask Wine to draw this program's windows itself, for this program only, and
// take the setting away again when the program ends.
#include <windows.h>

#include <string>

#include "Module.h"

namespace {

class UnmanagedWindows {
public:
    UnmanagedWindows() {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
        std::wstring name = lineprobe::ModuleFilePath(nullptr);
        name = name.substr(name.find_last_of(L"\\/") + 1);
        m_key = L"Software\\Wine\\AppDefaults\\" + name;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, (m_key + L"\\X11 Driver").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            m_key.clear();
            return;
        }
        RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
        RegCloseKey(key);
    }
    UnmanagedWindows(const UnmanagedWindows&) = delete;
    UnmanagedWindows& operator=(const UnmanagedWindows&) = delete;
    ~UnmanagedWindows() {
        if (!m_key.empty()) RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str());
    }

private:
    std::wstring m_key;
};

// Before main, so before the first window loads Wine's display driver.
const UnmanagedWindows kUnmanagedWindows;

}  // namespace
