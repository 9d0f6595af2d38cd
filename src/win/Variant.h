// VARIANT chores shared by the check object, the dialog entry and the tool.
#pragma once

#include <oaidl.h>

#include <string>
#include <string_view>

#include "UniqueResource.h"

namespace lineprobe {

// A BSTR copy of the text; throws std::bad_alloc when the system has no memory.
unique_bstr MakeBstr(std::wstring_view text);

// A VT_BSTR VARIANT holding a copy of the text; throws std::bad_alloc.
unique_variant TextVariant(std::wstring_view text);

// The value a by-reference VARIANT (VT_VARIANT | VT_BYREF) points at, else the value itself.
const VARIANT& Unwrapped(const VARIANT& value) noexcept;

// Whether the value, seen through a reference, is Null.
bool IsNull(const VARIANT& value) noexcept;

// Text form of a value as an automation host converts it: VariantChangeTypeEx
// to BSTR with the user's locale and VARIANT_ALPHABOOL. A null value fails
// with InvalidUseOfNull, a value without a text form with TypeMismatch.
std::wstring VariantToText(const VARIANT& value);

}  // namespace lineprobe
