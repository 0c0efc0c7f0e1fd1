#include "win32/ole32/ole32.h"

#include <optional>
#include <string_view>

namespace ole32 {

namespace {

std::optional<std::uint32_t> HexValue(std::u16string_view digits) {
    std::uint32_t value = 0;
    for (const char16_t c : digits) {
        std::uint32_t digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = (value << 4) | digit;
    }
    return value;
}

// Reads the 38 characters of the braced form; anything else, longer or shorter, is rejected.
std::optional<GUID> ParseBracedGuid(const char16_t* text) {
    constexpr std::size_t kLength = 38;
    std::size_t length = 0;
    while (length <= kLength && text[length] != u'\0')
        ++length;
    if (length != kLength)
        return std::nullopt;
    const std::u16string_view s(text, kLength);
    if (s[0] != u'{' || s[37] != u'}' || s[9] != u'-' || s[14] != u'-' || s[19] != u'-' ||
        s[24] != u'-')
        return std::nullopt;

    GUID guid;
    const auto data1 = HexValue(s.substr(1, 8));
    const auto data2 = HexValue(s.substr(10, 4));
    const auto data3 = HexValue(s.substr(15, 4));
    if (!data1 || !data2 || !data3)
        return std::nullopt;
    guid.Data1 = *data1;
    guid.Data2 = static_cast<std::uint16_t>(*data2);
    guid.Data3 = static_cast<std::uint16_t>(*data3);
    // Data4: two bytes before the last hyphen, six after it.
    constexpr std::size_t kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        const auto byte = HexValue(s.substr(kByteOffsets[i], 2));
        if (!byte)
            return std::nullopt;
        guid.Data4[i] = static_cast<std::uint8_t>(*byte);
    }
    return guid;
}

HRESULT Parse(const char16_t* text, GUID* out, HRESULT rejected) {
    if (text == nullptr || out == nullptr)
        return E_INVALIDARG;
    const auto guid = ParseBracedGuid(text);
    if (!guid)
        return rejected;
    *out = *guid;
    return S_OK;
}

} // namespace

HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid) {
    return Parse(text, clsid, CO_E_CLASSSTRING);
}

HRESULT IIDFromString(const char16_t* text, IID* iid) {
    return Parse(text, iid, E_INVALIDARG);
}

} // namespace ole32
