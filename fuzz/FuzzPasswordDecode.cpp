// The lenient decoder on any text: it either fails as documented or yields at
// most three bytes per group, and the check without decoding fails exactly
// when it does; and encoding any bytes decodes back to them.
#include <cstdlib>

#include "Base64.h"
#include "Failure.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = WideFromBytes(data, size);
    bool decodes = true;
    try {
        const std::string bytes = lineprobe::Base64DecodeBytes(text);
        if (bytes.size() > (text.size() + 3) / 4 * 3) {
            std::abort();
        }
        (void)lineprobe::DecodePassword(text);
    } catch (const lineprobe::Failure& failure) {
        if (failure.Kind() != lineprobe::FailureKind::InvalidProcedureCall) {
            std::abort();
        }
        decodes = false;
    }
    try {
        lineprobe::CheckStoredPassword(text);
        if (!decodes) std::abort();
    } catch (const lineprobe::Failure&) {
        if (decodes) std::abort();
    }

    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string encoded = lineprobe::Base64EncodeBytes(raw);
    if (lineprobe::Base64DecodeBytes(std::wstring(encoded.begin(), encoded.end())) != raw) {
        std::abort();
    }
    return 0;
}
