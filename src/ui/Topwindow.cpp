#include "Topwindow.h"

namespace lineprobe {

bool SetTopMost(HWND window, bool topmost) noexcept {
    return SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != FALSE;
}

}  // namespace lineprobe
