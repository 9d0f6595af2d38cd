#include "FormLayout.h"

namespace lineprobe {

TwipsRect ClientRectTwips(const ControlSpec& control) {
    TwipsRect rect{control.left, control.top, control.width, control.height};
    for (auto container = FindControl(control.container); container;
         container = FindControl(kFrmmainControls[*container].container)) {
        rect.left += kFrmmainControls[*container].left;
        rect.top += kFrmmainControls[*container].top;
    }
    return rect;
}

std::optional<std::size_t> FindControl(std::wstring_view name) {
    for (std::size_t i = 0; i < kFrmmainControls.size(); ++i) {
        if (!name.empty() && kFrmmainControls[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

int TwipsToPixels(int twips, int dpi) {
    // Rounded to the nearest pixel; 64 bits so that no length can overflow.
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

std::wstring FormCaption(unsigned major, unsigned minor, unsigned revision) {
    return L"Word in First Line: External COM check (version " + std::to_wstring(major) + L"." +
           std::to_wstring(minor) + L" build " + L" " + std::to_wstring(revision) + L")";
}

}  // namespace lineprobe
