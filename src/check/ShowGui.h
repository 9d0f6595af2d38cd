// The configuration entry point: fills the dialog from the object's values and shows it.
#pragma once

#include <oaidl.h>

#include <optional>
#include <string>

namespace lineprobe {

class frmmain;

// Returns the new parameter string when the dialog was closed with OK, nothing
// when it was closed any other way. Throws Failure, ComError or std::bad_alloc.
std::optional<std::wstring> ShowGui(frmmain& dialog, const VARIANT& timeout, const VARIANT& parameter);

}  // namespace lineprobe
