#include "ShowGui.h"

#include "ComSupport.h"

namespace lineprobe {

std::optional<std::wstring> ShowGui(frmmain&, const VARIANT&, const VARIANT&) {
    throw ComError(E_NOTIMPL, L"The configuration dialog is not built yet");
}

}  // namespace lineprobe
