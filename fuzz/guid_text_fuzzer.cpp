// GUID text parsing: any UTF-16 text. Besides not crashing, both parsers must agree, leave the
// GUID alone on rejection, and accept exactly the texts that print back as themselves.

#include "win32/ole32/ole32.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The braced form of guid in upper-case hexadecimal.
std::u16string Braced(const ole32::GUID& guid) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return std::u16string(text, text + 38);
}

std::u16string UpperAscii(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

// The plain rule: 38 characters, braces at both ends, hyphens at 9, 14, 19 and 24, and
// hexadecimal digits everywhere else.
bool LooksBraced(const std::u16string& text) {
    if (text.size() != 38)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (i == 0 || i == 37 || i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != (i == 0 ? u'{' : i == 37 ? u'}' : u'-'))
                return false;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "guid_text: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input's bytes in pairs, little-endian, as UTF-16 code units; the text ends at the
    // first zero unit or at the end of the input.
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));

    const ole32::GUID untouched{0xA5A5A5A5u, 0x5A5A, 0xA5A5, {1, 2, 3, 4, 5, 6, 7, 8}};
    ole32::CLSID clsid = untouched;
    ole32::IID iid = untouched;
    const ole32::HRESULT clsidResult = ole32::CLSIDFromString(text.c_str(), &clsid);
    const ole32::HRESULT iidResult = ole32::IIDFromString(text.c_str(), &iid);

    const bool accepted = clsidResult == ole32::S_OK;
    Require(accepted == LooksBraced(text), "acceptance differs from the plain rule");
    Require((iidResult == ole32::S_OK) == accepted, "the two parsers disagree on acceptance");
    if (accepted) {
        Require(clsid == iid, "the two parsers read different GUIDs");
        Require(Braced(clsid) == UpperAscii(text), "an accepted text does not print back as itself");
    } else {
        Require(clsidResult == ole32::CO_E_CLASSSTRING, "CLSIDFromString rejected with another code");
        Require(iidResult == ole32::E_INVALIDARG, "IIDFromString rejected with another code");
        Require(clsid == untouched && iid == untouched, "a rejected text changed the GUID");
    }
    return 0;
}
