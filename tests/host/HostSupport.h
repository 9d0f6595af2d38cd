// What the host simulation programs share: one check run through the object as
// a host makes it, described so that a case compares in one line.
#pragma once

#include <string>
#include <vector>

#include "TestObject.h"

namespace lineprobe::test {

// "up: <text>" or "down: <text>", or the failing call.
inline std::wstring CheckOnce(_lineprobeCom* object, const std::wstring& parameter) {
    HRESULT hr = object->put_ec_parameter(*Text(parameter).get());
    if (FAILED(hr)) return L"put failed " + std::to_wstring(hr);
    VARIANT_BOOL up = 1;
    hr = object->ec_docheck(&up);
    if (FAILED(hr)) return L"ec_docheck failed " + std::to_wstring(hr);
    unique_variant result;
    hr = object->get_ec_result(result.get());
    if (FAILED(hr) || V_VT(result.get()) != VT_BSTR) return L"ec_result: " + Describe(*result.get());
    const std::wstring verdict = up == VARIANT_TRUE ? L"up: " : up == VARIANT_FALSE ? L"down: " : L"neither: ";
    return verdict + std::wstring(V_BSTR(result.get()), SysStringLen(V_BSTR(result.get())));
}

// Lines that a host thread collected, for the main thread's report.
inline std::string Narrow(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const auto& line : lines) text += std::string(line.begin(), line.end()) + "\n";
    return text;
}

}  // namespace lineprobe::test
