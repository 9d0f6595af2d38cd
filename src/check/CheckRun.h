// One check run: reads the status file named by the parameter string and judges its first line.
#pragma once

#include <oaidl.h>

#include <string>

namespace lineprobe {

struct CheckResult {
    bool up = false;
    std::wstring text;  // the second line, or a text that begins with "ERR: "
};

// Never throws: every failure becomes a down verdict with an "ERR: " text.
CheckResult RunCheck(const VARIANT& parameter) noexcept;

}  // namespace lineprobe
