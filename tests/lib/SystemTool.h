// Runs the system's own tools of a program's bitness (regsvr32, cscript) and
// captures what they write; for test programs and the benchmark alike.
#pragma once

#include <windows.h>

#include <string>

#include "Result.h"
#include "UniqueResource.h"
#include "Variant.h"

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

// Runs the tool and waits for it (at most timeoutMs). Output goes through a
// temporary file, so helper processes that inherit it cannot keep us waiting.
inline ToolRun RunTool(const std::wstring& tool, const std::wstring& arguments, DWORD timeoutMs = 120000) {
    ToolRun run;
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    if (GetTempFileNameW(folder, L"lpt", 0, file) == 0) return run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    unique_hfile output(CreateFileW(file, GENERIC_READ | GENERIC_WRITE,
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
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
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

}  // namespace lineprobe::test
