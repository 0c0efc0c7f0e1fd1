#include "app/picture_completeness.h"

#include "win32/gdi32/gdi32.h"

#include <QByteArray>
#include <QIODevice>

#include <cstdint>

namespace lumivert {

namespace {

std::uint32_t U16(const QByteArray& bytes, int at) {
    return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8;
}
std::uint32_t U32(const QByteArray& bytes, int at) { return U16(bytes, at) | U16(bytes, at + 2) << 16; }

// Uncompressed pixel rows (BI_RGB, BI_BITFIELDS) must all be in the file.
bool BmpEndsEarly(QIODevice& device) {
    const QByteArray head = device.peek(54);
    if (head.size() < 54 || U32(head, 14) < 40)
        return false; // too short for the reader to take at all, or the old core header
    const std::uint32_t compression = U32(head, 30);
    if (compression != 0 && compression != 3)
        return false;
    const std::int64_t width = static_cast<std::int32_t>(U32(head, 18));
    const std::int64_t height = static_cast<std::int32_t>(U32(head, 22));
    const std::int64_t bits = U16(head, 28);
    constexpr std::int64_t kLargest = 1 << 24; // a header beyond this is the reader's to refuse
    if (width <= 0 || width > kLargest || height < -kLargest || height > kLargest || bits <= 0 || bits > 32)
        return false;
    const std::int64_t stride = gdi32::DibStride(static_cast<std::int32_t>(width), static_cast<std::uint32_t>(bits));
    const std::int64_t needed = U32(head, 10) + stride * (height < 0 ? -height : height);
    return needed > device.size();
}

// Walks the blocks up to the end of the first picture's data.
bool GifEndsEarly(QIODevice& device) {
    const qint64 size = device.size();
    const auto byteAt = [&device, size](qint64 at) -> int {
        char c = 0;
        if (at >= size || !device.seek(at) || !device.getChar(&c))
            return -1;
        return static_cast<std::uint8_t>(c);
    };
    // Sub-blocks from at: a length byte and that many bytes, until a length of 0. The
    // position after them, or -1 when the file ends first.
    const auto skipSubBlocks = [&](qint64 at) -> qint64 {
        for (;;) {
            const int length = byteAt(at);
            if (length < 0)
                return -1;
            at += 1 + length;
            if (length == 0)
                return at;
        }
    };
    const int screenFlags = byteAt(10);
    if (screenFlags < 0)
        return true;
    qint64 at = 13 + ((screenFlags & 0x80) ? 3 * (2 << (screenFlags & 7)) : 0);
    for (;;) {
        const int block = byteAt(at);
        if (block == 0x21) { // extension: label, then sub-blocks
            at = skipSubBlocks(at + 2);
        } else if (block == 0x2C) { // the first picture: descriptor, colour table, code size, data
            const int flags = byteAt(at + 9);
            if (flags < 0)
                return true;
            at += 10 + ((flags & 0x80) ? 3 * (2 << (flags & 7)) : 0) + 1;
            return skipSubBlocks(at) < 0;
        } else {
            return block < 0; // the trailer, or bytes the reader judges itself
        }
        if (at < 0)
            return true;
    }
}

} // namespace

bool EndsEarly(QIODevice& device) {
    const qint64 start = device.pos();
    if (!device.seek(0))
        return false;
    const QByteArray magic = device.peek(6);
    bool early = false;
    if (magic.startsWith("BM"))
        early = BmpEndsEarly(device);
    else if (magic == "GIF87a" || magic == "GIF89a")
        early = GifEndsEarly(device);
    device.seek(start);
    return early;
}

} // namespace lumivert
