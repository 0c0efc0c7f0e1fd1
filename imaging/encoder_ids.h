#pragma once

// The class identifiers of the built-in encoders and of the JPEG quality parameter.

#include "win32/ole32/ole32.h"

#include <cstdint>
#include <string>

namespace mdlGdiplus {

inline constexpr const char* EncoderQualityText = "{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}";

// "{557CF40" + the format digit in decimal + "-1A04-11D3-9A73-0000F81EF32E}". No range check:
// a digit outside 0 to 9 gives a text that is not a GUID.
std::string GetEncoderClsidString(std::int32_t FormatDigit);

// The GUID of a braced GUID text; all zero bytes for a text that is not one.
ole32::GUID StringToGuid(const std::string& text);

} // namespace mdlGdiplus
