#include "Topwindow.h"

namespace lineprobe {

bool SetTopMost(HWND window) noexcept {
    return SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != FALSE;
}

}  // namespace lineprobe
