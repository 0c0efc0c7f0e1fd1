#include "imaging/encoder_ids.h"

#include "os/wide_text.h"

namespace mdlGdiplus {

std::string GetEncoderClsidString(std::int32_t FormatDigit) {
    return "{557CF40" + std::to_string(FormatDigit) + "-1A04-11D3-9A73-0000F81EF32E}";
}

ole32::GUID StringToGuid(const std::string& text) {
    ole32::GUID guid{};
    // A rejected text leaves the GUID zeroed; the save that uses it then fails on its own.
    ole32::CLSIDFromString(os::ToUtf16(text).c_str(), &guid);
    return guid;
}

} // namespace mdlGdiplus
