#pragma once

// Reads an operation sequence byte by byte; past the end it reads zeros, so every sequence,
// however short, is a valid one.

#include <cstddef>
#include <cstdint>
#include <span>

namespace maps_testing {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return position_ >= bytes_.size(); }
    std::uint8_t Next() { return AtEnd() ? 0 : bytes_[position_++]; }
    std::int32_t NextInt32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | Next();
        return static_cast<std::int32_t>(value);
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace maps_testing
