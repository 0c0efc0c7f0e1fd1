#include "app/result_page_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ResultTimeTextTest, MillisecondsUpTo999ThenShortestSecondsOverTheWrappingCounter) {
    const struct {
        std::int32_t start, end;
        const char *separator, *text;
    } cases[] = {
        {5000, 5000, ".", "0ミリ秒"}, {0, 999, ".", "999ミリ秒"}, {0, 1000, ".", "1秒"}, {0, 1500, ".", "1.5秒"},
        {100, 1334, ".", "1.234秒"}, {0, 61234, ".", "61.234秒"}, {0, 1500, ",", "1,5秒"},
        {0, INT32_MAX, ".", "2147483.647秒"},                    // no exponent
        {INT32_MAX - 499, INT32_MIN + 1000, ".", "1.5秒"},      // the counter passing 2^31
        {-256, 100, ".", "356ミリ秒"},                          // the unsigned counter passing 2^32
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumivert::ResultTimeText({c.start, c.end}, c.separator), c.text) << c.start << " " << c.end;
}

// Shift_JIS bytes of an ordinary page, encoded independently (Python's cp932 codec).
constexpr char kOrdinaryPage[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
    "<title>\211\346\221\234\212m\224F</title><base href=\"/opt/lumivert/bin/\"></head>\r\n"
    "<body bgcolor=#FFCCBB>\217\210\227\235\216\236\212\324&nbsp;\201F1.5\225b<br>\203t\203@\203C\203\213\226\274"
    "\201F/opt/lumivert/bin/Sample.png<br>\203t\203@\203C\203\213\216\355\227\336\201FPNG\201@\223\247\211\337\220F"
    "\201F#FFFFFF<br><img src=\"Sample.png\"></body></html>\r\n";

TEST(ResultPageFileTextTest, OrdinaryPathGivesExactlyThePageBytes) {
    const std::string page = lumivert::ResultPageFileText("/opt/lumivert/bin/", "/opt/lumivert/bin/Sample.png",
                                                          "ファイル種類：PNG　透過色：#FFFFFF", "1.5秒", "#FFCCBB",
                                                          "Sample.png");
    EXPECT_EQ(lumivert::EncodeShiftJis(page), std::string(kOrdinaryPage));
}

TEST(ResultPageFileTextTest, MarkupAndUrlCharactersInValuesAreEscaped) {
    const std::string folder = "/tmp/a&b <c> \"d\" #1 50% ?/";
    const std::string page = lumivert::ResultPageFileText(folder, folder + "x#y.bmp", "<b>説明</b>", "0ミリ秒",
                                                          "White", "x#y.bmp");
    EXPECT_NE(page.find("<base href=\"/tmp/a&amp;b &lt;c&gt; &quot;d&quot; %231 50%25 %3F/\">"), std::string::npos);
    EXPECT_NE(page.find("ファイル名：/tmp/a&amp;b &lt;c&gt; &quot;d&quot; #1 50% ?/x#y.bmp<br>"), std::string::npos);
    EXPECT_NE(page.find("<br>&lt;b&gt;説明&lt;/b&gt;<br>"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"x%23y.bmp\">"), std::string::npos);
}

TEST(EncodeShiftJisTest, CharactersOutsideShiftJisBecomeCharacterReferences) {
    EXPECT_EQ(lumivert::EncodeShiftJis("A😀B"), "A&#128512;B");
    EXPECT_EQ(lumivert::EncodeShiftJis("é～"), "&#233;\201`") << "～ is in code page 932";
    EXPECT_EQ(lumivert::EncodeShiftJis("a\xff" "b\xe3\x81"), "a&#65533;b&#65533;&#65533;") << "invalid UTF-8";
    const std::string long_text(5000, 'x');
    EXPECT_EQ(lumivert::EncodeShiftJis(long_text + "😀"), long_text + "&#128512;");
}

} // namespace
