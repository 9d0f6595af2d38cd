// Running the system's own tools of this program's bitness (regsvr32, cscript) and
// reading back what registration left in this program's view of the registry.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "SystemTool.h"

namespace lineprobe::test {

// Lines of output without carriage returns.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

inline std::wstring GuidText(REFGUID guid) {
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

// Every key and value under HKEY_CLASSES_ROOT\root, one line each, sorted:
// "key" for a key, "key: name = data" for a value ("@" is the default value).
inline void Collect(HKEY parent, const std::wstring& path, const std::wstring& name, std::vector<std::wstring>& lines) {
    unique_hkey key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    lines.push_back(path);
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        BYTE data[2048] = {};
        DWORD dataLength = sizeof data - sizeof(wchar_t);
        if (RegEnumValueW(key.get(), i, valueName, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) {
            break;
        }
        const std::wstring shown = nameLength == 0 ? L"@" : std::wstring(valueName, nameLength);
        const std::wstring text = type == REG_SZ ? std::wstring(reinterpret_cast<const wchar_t*>(data))
                                                 : L"(type " + std::to_wstring(type) + L")";
        lines.push_back(path + L": " + shown + L" = " + text);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t child[256];
        DWORD childLength = 256;
        if (RegEnumKeyExW(key.get(), i, child, &childLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Collect(key.get(), path + L"\\" + child, child, lines);
    }
}

inline std::vector<std::wstring> Snapshot(const std::vector<std::wstring>& roots) {
    std::vector<std::wstring> lines;
    for (const std::wstring& root : roots) Collect(HKEY_CLASSES_ROOT, root, root, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The four places registration writes to.
inline std::vector<std::wstring> RegistrationRoots() {
    return {L"comlineprobe.lineprobeCom", L"CLSID\\" + GuidText(CLSID_lineprobeCom),
            L"Interface\\" + GuidText(IID__lineprobeCom), L"TypeLib\\" + GuidText(LIBID_comlineprobe)};
}

using ServerRegistrationFunction = HRESULT(STDAPICALLTYPE*)();

// Undoes a registration this program made, also when a case ends early.
class RegistrationGuard {
public:
    RegistrationGuard() = default;
    RegistrationGuard(const RegistrationGuard&) = delete;
    RegistrationGuard& operator=(const RegistrationGuard&) = delete;
    ~RegistrationGuard() {
        if (!Snapshot(RegistrationRoots()).empty()) {
            if (const auto unregister = ServerExport<ServerRegistrationFunction>("DllUnregisterServer")) unregister();
        }
    }
};

inline ToolRun Regsvr32(const wchar_t* switches) {
    return RunTool(SystemTool(L"regsvr32.exe"), std::wstring(switches) + L" \"" + ServerPath() + L"\"");
}

// A suite whose cases need the DLL registered by regsvr32; undone after the suite.
class RegisteredSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_registered = false;
        if (!ServerModule() || !Snapshot(RegistrationRoots()).empty()) return;
        s_registered = Regsvr32(L"/s").exitCode == 0;
    }
    static void TearDownTestSuite() {
        if (s_registered) Regsvr32(L"/u /s");
        RegistrationGuard leaveNothing;
    }
    static inline bool s_registered = false;
};

}  // namespace lineprobe::test
