#include "fast/gif_lzw.h"

#include "fast/key_table.h"

#include <algorithm>
#include <array>

namespace fast {

namespace {

constexpr std::uint32_t kLastCode = 4095; // codes are at most 12 bits wide

// The strings of the code table: (prefix code, next index) → code, a key of 20 bits and a
// code of 12 packed into one 32-bit slot, in open addressing with linear probing. At most
// 4093 strings are in the table at once, so its 8192 slots stay at most half full and take
// 32 KiB: the size of the processor's first cache, where the look-up of every pixel is paid.
// (A direct table of every key, 2 MiB, takes fewer instructions but was slower on a photo:
// its look-ups miss the cache.)
class StringTable {
public:
    StringTable() { Clear(); }

    // The code of key, or -1 when key is absent; slot is where key is or would go.
    std::int32_t Find(std::uint32_t key, std::uint32_t& slot) const {
        slot = fast::HashSlot<kBits>(key);
        for (;;) {
            const std::uint32_t entry = slots_[slot];
            if (entry == kEmpty)
                return -1;
            if (entry >> 12 == key)
                return static_cast<std::int32_t>(entry & 0xFFF);
            slot = (slot + 1) & kMask;
        }
    }
    void Put(std::uint32_t slot, std::uint32_t key, std::uint32_t code) { slots_[slot] = key << 12 | code; }
    void Clear() { slots_.fill(kEmpty); }

private:
    static constexpr int kBits = 13;
    static constexpr std::uint32_t kMask = (1u << kBits) - 1;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF; // no key is all ones: a prefix is below 4095
    std::array<std::uint32_t, std::size_t{1} << kBits> slots_;
};

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
    StringTable strings;
    // Within a run of one index, the code of each string extended by that index, as index |
    // code << 8 (0: none yet). A run extends the same strings again and again and finds each
    // here in one read of a small table; elsewhere only the compare with the previous index
    // is paid, which a photo's pixels answer the same way nearly every time.
    std::array<std::uint32_t, kLastCode + 1> runChild{};
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
        std::uint32_t previous = current;
        const std::uint8_t* const end = indexes.data() + indexes.size();
        for (const std::uint8_t* next = indexes.data() + 1; next != end; ++next) {
            const std::uint32_t index = *next & mask;
            const bool inRun = index == previous;
            previous = index;
            if (inRun) {
                if (const std::uint32_t child = runChild[current]; child != 0 && (child & 0xFF) == index) {
                    current = child >> 8;
                    continue;
                }
            }
            const std::uint32_t key = current << 8 | index;
            std::uint32_t slot;
            if (const std::int32_t code = strings.Find(key, slot); code >= 0) {
                if (inRun)
                    runChild[current] = index | static_cast<std::uint32_t>(code) << 8;
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
                runChild.fill(0);
            } else {
                if (inRun)
                    runChild[key >> 8] = index | nextCode << 8;
                strings.Put(slot, key, nextCode++);
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
