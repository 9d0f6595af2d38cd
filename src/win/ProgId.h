// The name by which hosts, scripts and the registry know the check class.
#pragma once

namespace lineprobe {

inline constexpr wchar_t kProgId[] = L"comlineprobe.lineprobeCom";

}  // namespace lineprobe
