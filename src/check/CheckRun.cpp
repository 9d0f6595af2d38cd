#include "CheckRun.h"

namespace lineprobe {

CheckResult RunCheck(const VARIANT&) noexcept {
    return {false, L"ERR: the check run is not built yet"};
}

}  // namespace lineprobe
