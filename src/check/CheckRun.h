// One check run: reads the status file named by the parameter string and judges its first line.
#pragma once

#include <oaidl.h>

#include <string>

namespace lineprobe {

struct ShareApi;

struct CheckResult {
    bool up = false;
    std::wstring text;  // the second line, or a text that begins with "ERR: "
};

// Never throws: every failure becomes a down verdict with an "ERR: " text.
CheckResult RunCheck(const VARIANT& parameter) noexcept;

// The same run with the share connection going through the given platform functions.
CheckResult RunCheck(const VARIANT& parameter, const ShareApi& shareApi) noexcept;

}  // namespace lineprobe
