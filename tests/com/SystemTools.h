// Running the system's own tools of this program's bitness (regsvr32, cscript) and
// reading back what registration left in this program's view of the registry.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "ComTestSupport.h"

namespace lineprobe::test {

// A tool from the system folder of this program's bitness: syswow64 for a 32-bit program.
inline std::wstring SystemTool(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
#ifndef _WIN64
    if (GetSystemWow64DirectoryW(folder, MAX_PATH) != 0) return std::wstring(folder) + L"\\" + name;
#endif
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

struct ToolRun {
    DWORD exitCode = ~0u;
    std::string output;  // stdout and stderr together
};

// Runs the tool and waits for it (at most two minutes). Output goes through a
// temporary file, so helper processes that inherit it cannot keep us waiting.
inline ToolRun RunTool(const std::wstring& tool, const std::wstring& arguments) {
    ToolRun run;
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    if (GetTempFileNameW(folder, L"lpt", 0, file) == 0) return run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    unique_handle output(CreateFileW(file, GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!output) return run;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    std::wstring commandLine = L"\"" + tool + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        run.output = "CreateProcess failed: " + std::to_string(GetLastError());
        return run;
    }
    const unique_handle processHandle(process.hProcess);
    const unique_handle threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        run.output = "timed out";
        return run;
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);

    SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(output.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) run.output.append(buffer, read);
    return run;
}

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

}  // namespace lineprobe::test
