#pragma once

// The two class-identifier parsers of the component object library: braced GUID text to the
// 16-byte GUID.

#include <cstdint>

namespace ole32 {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);

// The Windows GUID: the first three fields are stored in the machine's (little-endian) order,
// Data4 byte by byte.
struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16);

using CLSID = GUID;
using IID = GUID;

// Both accept exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits in either
// case) and nothing else: no blanks, no missing braces, nothing after the closing brace.
// On failure the GUID is left as it was. CLSIDFromString answers CO_E_CLASSSTRING for text it
// rejects, IIDFromString E_INVALIDARG; a null text or GUID address is E_INVALIDARG.
HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid);
HRESULT IIDFromString(const char16_t* text, IID* iid);

} // namespace ole32
