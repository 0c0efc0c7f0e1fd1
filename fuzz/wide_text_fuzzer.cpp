// Paths to UTF-16 and back: any bytes (Linux file names need not be UTF-8) must come back
// unchanged, and the UTF-16 text must hold no unpaired high surrogate.

#include "os/wide_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string wide = os::ToUtf16(bytes);
    if (os::FromUtf16(wide) != bytes) {
        std::fprintf(stderr, "wide_text: the round trip changed the bytes\n");
        std::abort();
    }
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const bool high = wide[i] >= 0xD800 && wide[i] <= 0xDBFF;
        const bool pairedLow = i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
        if (high && !pairedLow) {
            std::fprintf(stderr, "wide_text: an unpaired high surrogate at %zu\n", i);
            std::abort();
        }
        if (high)
            ++i;
    }
    return 0;
}
