// The configuration entry point: fills the dialog from the object's values and shows it.
#pragma once

#include <oaidl.h>

#include <optional>
#include <string>

namespace lineprobe {

class frmmain;
struct ShareApi;

// Returns the new parameter string when the dialog was closed with OK, nothing
// when it was closed any other way. Throws Failure, ComError or std::bad_alloc.
// The dialog's Test button runs the check with the system's share functions.
std::optional<std::wstring> ShowGui(frmmain& dialog, const VARIANT& timeout, const VARIANT& parameter);

// The same, with Test connecting to shares through the given functions, which
// must stay valid until every test started from the dialog has ended.
std::optional<std::wstring> ShowGui(frmmain& dialog, const VARIANT& timeout, const VARIANT& parameter,
                                    const ShareApi& shareApi);

}  // namespace lineprobe
