// Puts a window into the topmost band of the window order.
#pragma once

#include <windows.h>

namespace lineprobe {

// Position, size and visibility stay as they are. Returns whether the system agreed.
bool SetTopMost(HWND window) noexcept;

}  // namespace lineprobe
