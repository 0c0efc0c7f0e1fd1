#include "fast/gif_lzw.h"

#include "fast/key_table.h"

#include <algorithm>
#include <array>

namespace fast {

namespace {

constexpr std::uint32_t kLastCode = 4095; // codes are at most 12 bits wide

// The strings of the code table: (prefix code, next index) → code. A key is at most 0xFFEFF
// (prefix 4094, index 255), and at most 4093 strings are in the table at once. (A direct
// table of every key, 2 MiB, takes fewer instructions but was slower on a photo: its
// look-ups miss the cache, where the hash table's 48 KiB stay in it.)
using HashedStrings = KeyTable<13, 0xFFFFFFFF>;

// Codes packed from the lowest bit up into bytes, the bytes into sub-blocks of up to 255
// bytes, each after its length.
class CodeWriter {
public:
    explicit CodeWriter(std::vector<std::byte>& out) : out_(out) {}

    void Put(std::uint32_t code, int width) {
        bits_ |= static_cast<std::uint64_t>(code) << pending_;
        pending_ += width;
        while (pending_ >= 8) {
            PutByte(static_cast<std::uint8_t>(bits_));
            bits_ >>= 8;
            pending_ -= 8;
        }
    }
    // The last bits, padded with zeros, and the last sub-block.
    void Finish() {
        if (pending_ > 0)
            PutByte(static_cast<std::uint8_t>(bits_));
        bits_ = 0;
        pending_ = 0;
        FlushBlock();
    }

private:
    void PutByte(std::uint8_t byte) {
        if (block_[0] == 255)
            FlushBlock();
        block_[++block_[0]] = byte;
    }
    void FlushBlock() {
        if (block_[0] == 0)
            return;
        const auto* bytes = reinterpret_cast<const std::byte*>(block_.data());
        out_.insert(out_.end(), bytes, bytes + block_[0] + 1);
        block_[0] = 0;
    }

    std::vector<std::byte>& out_;
    std::uint64_t bits_ = 0;
    int pending_ = 0;
    std::array<std::uint8_t, 256> block_{};
};

} // namespace

namespace {

void Code(std::span<const std::uint8_t> indexes, int bitsPerPixel, std::vector<std::byte>& out) {
    const int rootBits = std::max(bitsPerPixel, 2);
    const std::uint8_t mask = static_cast<std::uint8_t>((1u << rootBits) - 1);
    const std::uint32_t clearCode = 1u << rootBits;
    const std::uint32_t endCode = clearCode + 1;

    CodeWriter writer(out);
    HashedStrings strings;
    std::uint32_t nextCode = endCode + 1;
    int width = rootBits + 1;
    std::uint32_t widthLimit = 1u << width;
    // The width grows once the next code to be made no longer fits, checked after each code
    // is written, as giflib does.
    const auto put = [&](std::uint32_t code) {
        writer.Put(code, width);
        if (nextCode >= widthLimit)
            widthLimit = 1u << ++width;
    };

    put(clearCode);
    if (!indexes.empty()) {
        std::uint32_t current = indexes[0] & mask;
        const std::uint8_t* const end = indexes.data() + indexes.size();
        for (const std::uint8_t* next = indexes.data() + 1; next != end; ++next) {
            const std::uint32_t index = *next & mask;
            const std::uint32_t key = current << 8 | index;
            if (const std::int32_t code = strings.Find(key, -1); code >= 0) {
                current = static_cast<std::uint32_t>(code);
                continue;
            }
            put(current);
            current = index;
            if (nextCode >= kLastCode) { // the table is full: start afresh
                put(clearCode);
                nextCode = endCode + 1;
                width = rootBits + 1;
                widthLimit = 1u << width;
                strings.Clear();
            } else {
                strings.Put(key, static_cast<std::uint16_t>(nextCode++));
            }
        }
        put(current);
    }
    put(endCode);
    writer.Finish();
}

} // namespace

void AppendLzwBlocks(std::span<const std::uint8_t> indexes, int bitsPerPixel, std::vector<std::byte>& out) {
    Code(indexes, bitsPerPixel, out);
}

} // namespace fast
