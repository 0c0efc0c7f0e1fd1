#pragma once

// The hash table of the fast paths (the LZW coder keeps its own, a key and its code packed
// into one word a slot): 32-bit keys with a 16-bit value each, in open addressing with
// linear probing, slots found by Fibonacci hashing (the key times 2^32 / φ, whose top bits
// depend on every bit of the key). What it buys over a scan of up to 256
// slots or a call into a map per look-up: a look-up is a multiply and, while the table stays
// at most half full, one or two reads. Its twin in the tests is std::unordered_map.

#include <array>
#include <cstddef>
#include <cstdint>

namespace fast {

inline constexpr std::uint32_t kFibonacci = 2654435761u;

// The top bits of key's hash, a slot of a table of 2^bits.
template <int kBits>
constexpr std::uint32_t HashSlot(std::uint32_t key) {
    return (key * kFibonacci) >> (32 - kBits);
}

// At most 2^(kBits − 1) keys; kEmpty is a value that no key takes.
template <int kBits, std::uint32_t kEmpty>
class KeyTable {
public:
    static constexpr std::size_t kCapacity = std::size_t{1} << (kBits - 1);

    KeyTable() { keys_.fill(kEmpty); }

    bool Contains(std::uint32_t key) const { return keys_[SlotOf(key)] == key; }

    // The value of key, or none when key is absent.
    std::int32_t Find(std::uint32_t key, std::int32_t none) const {
        const std::uint32_t slot = SlotOf(key);
        return keys_[slot] == key ? values_[slot] : none;
    }

    // Adds key with value, or gives the key already there the new value.
    void Put(std::uint32_t key, std::uint16_t value) {
        const std::uint32_t slot = SlotOf(key);
        if (keys_[slot] != key)
            used_[usedCount_++] = static_cast<std::uint16_t>(slot);
        keys_[slot] = key;
        values_[slot] = value;
    }

    // Empties the slots used, not the whole table.
    void Clear() {
        for (std::size_t i = 0; i < usedCount_; ++i)
            keys_[used_[i]] = kEmpty;
        usedCount_ = 0;
    }

    std::size_t size() const { return usedCount_; }

private:
    static constexpr std::uint32_t kMask = (1u << kBits) - 1;

    // The slot that holds key, or the empty slot where it would go.
    std::uint32_t SlotOf(std::uint32_t key) const {
        std::uint32_t slot = HashSlot<kBits>(key);
        while (keys_[slot] != key && keys_[slot] != kEmpty)
            slot = (slot + 1) & kMask;
        return slot;
    }

    std::array<std::uint32_t, std::size_t{1} << kBits> keys_;
    std::array<std::uint16_t, std::size_t{1} << kBits> values_{};
    std::array<std::uint16_t, kCapacity> used_{};
    std::size_t usedCount_ = 0;
};

} // namespace fast
