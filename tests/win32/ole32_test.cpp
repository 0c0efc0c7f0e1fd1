#include "win32/ole32/ole32.h"
#include "os/wide_text.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ole32;

TEST(Ole32, ParsesBracedTextWithTheFirstFieldsLittleEndian) {
    GUID guid;
    ASSERT_EQ(CLSIDFromString(u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}", &guid), S_OK);
    unsigned char bytes[16];
    std::memcpy(bytes, &guid, 16);
    const unsigned char expected[16] = {0xB5, 0xE4, 0x5B, 0x1D, 0x4A, 0xFA, 0x2D, 0x45,
                                        0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB};
    EXPECT_EQ(0, std::memcmp(bytes, expected, 16));

    GUID lower;
    ASSERT_EQ(IIDFromString(u"{1d5be4b5-fa4a-452d-9cdd-5db35105e7eb}", &lower), S_OK);
    EXPECT_EQ(lower, guid);
}

TEST(Ole32, RejectsAnythingButTheExactBracedFormAndLeavesTheGuidAlone) {
    const char16_t* bad[] = {
        u"1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB",     // no braces
        u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB",    // no closing brace
        u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB} ",  // something after it
        u"{557CF4012-1A04-11D3-9A73-0000F81EF32E}",  // the text of format digit 12
        u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EG}",   // not hexadecimal
        u"{1D5BE4B5+FA4A-452D-9CDD-5DB35105E7EB}",   // wrong separator
        u"{ D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}",   // a blank
        u"",
    };
    for (const char16_t* text : bad) {
        GUID guid;
        guid.Data1 = 0x12345678;
        EXPECT_EQ(CLSIDFromString(text, &guid), CO_E_CLASSSTRING);
        EXPECT_EQ(IIDFromString(text, &guid), E_INVALIDARG);
        EXPECT_EQ(guid.Data1, 0x12345678u);
    }
    GUID guid;
    EXPECT_EQ(CLSIDFromString(nullptr, &guid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}", nullptr), E_INVALIDARG);
}

TEST(WideText, EveryPathSurvivesTheRoundTrip) {
    const std::string paths[] = {
        "/tmp/Sample.png",
        "/tmp/画像フォルダ/Sample.gif",
        "/tmp/\xF0\x9F\x98\x80.jpg",      // outside the basic plane: a surrogate pair
        "/tmp/\xFF\xFE-latin1-\xE9.png",  // bytes that are not UTF-8
        "/tmp/\xED\xA0\x80.png",          // encoded surrogates, high and low, are not UTF-8 either
        "/tmp/\xED\xB0\x80.png",
    };
    for (const std::string& path : paths)
        EXPECT_EQ(os::FromUtf16(os::ToUtf16(path)), path);
    EXPECT_EQ(os::ToUtf16("画"), std::u16string(u"画"));
    EXPECT_EQ(os::ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
}
