// The configuration dialog. An instance has no window until it is first used.
#pragma once

namespace lineprobe {

class frmmain {
public:
    frmmain() = default;
};

}  // namespace lineprobe
