// One check run over the platform: the parameter value of the object, the
// share connection through mpr and the status file through the file system.
#pragma once

#include <oaidl.h>

#include <string_view>

#include "CheckSteps.h"

namespace lineprobe {

struct ShareApi;

// Never throws: every failure becomes a down verdict with an "ERR: " text.
// The run works on its own copy of the value, which holds its own reference
// to an object carried in it, so a change of the property meanwhile cannot
// pull the value away under it.
CheckOutcome RunCheck(const VARIANT& parameter) noexcept;

// The same run with the share connection going through the given platform functions.
CheckOutcome RunCheck(const VARIANT& parameter, const ShareApi& shareApi) noexcept;

// A run for a parameter string, as the dialog tries a configuration: it needs
// no COM, so it runs on any thread.
CheckOutcome RunCheck(std::wstring_view parameter, const ShareApi& shareApi) noexcept;

}  // namespace lineprobe
