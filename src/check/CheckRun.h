// One check run over the platform: the parameter value of the object, the
// share connection through mpr and the status file through the file system.
#pragma once

#include <oaidl.h>

#include <functional>
#include <memory>
#include <string_view>

#include "CheckSteps.h"
#include "Share.h"
#include "ShareConnections.h"
#include "Trace.h"

namespace lineprobe {

// The host's time limit in ec_timeout, in seconds: a whole number from 1 to a
// day, as a number or as a text of digits with spaces around it; 0, no limit,
// for anything else.
unsigned TimeLimitOf(const VARIANT& timeout) noexcept;

// Never throws: every failure becomes a down verdict with an "ERR: " text.
// The run works on its own copy of the value, which holds its own reference
// to an object carried in it, so a change of the property meanwhile cannot
// pull the value away under it. With a time limit, a file on another machine
// is read by work of its own, which the caller leaves to finish alone when
// the limit has passed; a local file is read on the caller's thread either way.
CheckOutcome RunCheck(const VARIANT& parameter, unsigned timeLimit = 0,
                      const ShareApi& shareApi = SystemShareApi()) noexcept;

// A run for a parameter string, as the dialog tries a configuration: it needs
// no COM, so it runs on any thread.
CheckOutcome RunCheck(std::wstring_view parameter, unsigned timeLimit, const ShareApi& shareApi) noexcept;

// When the work of a limited run has to give up: no more waiting for the
// server's connection and no new open after this moment.
struct TimeLimit {
    ShareConnections::Deadline deadline;
    unsigned seconds = 0;
};

// The limited run of a check that reads from the server, with the environment
// made for it (by the caller, on the caller's thread); open to tests. The trace
// tells when the answer was handed back and when the work ended.
CheckOutcome RunAgainstTime(std::wstring_view server, unsigned seconds,
                            const std::function<std::unique_ptr<CheckEnvironment>(const TimeLimit&)>& make,
                            const CheckTrace& trace = {}) noexcept;

}  // namespace lineprobe
