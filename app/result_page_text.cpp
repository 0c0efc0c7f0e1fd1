#include "app/result_page_text.h"

#include "os/wide_text.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <iconv.h>
#include <stdexcept>

namespace lumivert {

namespace {

class Converter {
public:
    Converter() : cd_(iconv_open("CP932", "UTF-8")) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv: no conversion from UTF-8 to CP932");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts text[pos, end) until the end or a character that cannot be converted;
    // returns where it stopped.
    std::size_t Convert(const std::string& text, std::size_t pos, std::string& out) {
        char* in = const_cast<char*>(text.data() + pos);
        std::size_t inLeft = text.size() - pos;
        while (inLeft > 0) {
            std::array<char, 1024> buffer;
            char* outPtr = buffer.data();
            std::size_t outLeft = buffer.size();
            const std::size_t done = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer.data(), buffer.size() - outLeft);
            if (done == static_cast<std::size_t>(-1) && errno != E2BIG)
                break; // EILSEQ or EINVAL: the caller handles the character at in
        }
        return text.size() - inLeft;
    }

private:
    iconv_t cd_;
};

std::string NumericReference(char32_t code) {
    return "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";";
}

} // namespace

std::string ResultTimeText(const TickSpan& span, const std::string& decimalSeparator) {
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(span.EndTick) -
                                                   static_cast<std::uint32_t>(span.StartTick));
    if (elapsed <= 999)
        return std::to_string(elapsed) + "ミリ秒";
    std::array<char, 64> buffer;
    const auto written =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), elapsed / 1000.0, std::chars_format::general, 15);
    std::string seconds(buffer.data(), written.ptr);
    if (const auto point = seconds.find('.'); point != std::string::npos)
        seconds.replace(point, 1, decimalSeparator);
    return seconds + "秒";
}

std::string ResultPageFileText(const std::string& appFolder, const std::string& path, const std::string& description,
                               const std::string& timeText, const std::string& pageColour,
                               const std::string& imageName) {
    std::string page;
    page += "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";
    page += "\r\n";
    page += "<title>画像確認</title><base href=\"";
    page += EscapeUrlAttribute(appFolder);
    page += "\"></head>";
    page += "\r\n";
    page += "<body bgcolor=";
    page += EscapeHtml(pageColour);
    page += ">処理時間&nbsp;：";
    page += timeText;
    page += "<br>ファイル名：";
    page += EscapeHtml(path);
    page += "<br>";
    page += EscapeHtml(description);
    page += "<br><img src=\"";
    page += EscapeUrlAttribute(imageName);
    page += "\"></body></html>";
    page += "\r\n";
    return page;
}

std::string ResultBodyText(const std::string& path, const std::string& description, const std::string& timeText) {
    std::string body;
    body += "処理時間&nbsp;：";
    body += timeText;
    body += "<br>ファイル名：";
    body += EscapeHtml(path);
    body += "<br>";
    body += EscapeHtml(description);
    body += "<br><img src=\"";
    body += EscapeUrlAttribute(path);
    body += "\">";
    return body;
}

std::string EscapeHtml(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string EscapeUrlAttribute(const std::string& path) {
    std::string url;
    url.reserve(path.size());
    for (const char c : path) {
        switch (c) {
        case '%': url += "%25"; break;
        case '#': url += "%23"; break;
        case '?': url += "%3F"; break;
        default: url += c;
        }
    }
    return EscapeHtml(url);
}

std::string EncodeShiftJis(const std::string& utf8) {
    Converter converter;
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        pos = converter.Convert(utf8, pos, out);
        if (pos >= utf8.size())
            break;
        const auto [code, length] = os::DecodeUtf8At(utf8, pos);
        out += length == 0 ? NumericReference(0xFFFD) : NumericReference(code);
        pos += length == 0 ? 1 : length;
    }
    return out;
}

} // namespace lumivert
