#pragma once

// Appends fixed-size little-endian fields to a byte buffer, one call per field, so that a
// binary header reads as the list of its fields.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mdlBitmap {

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::size_t reserve = 0) { bytes_.reserve(reserve); }

    void U8(std::uint8_t value) { bytes_.push_back(static_cast<std::byte>(value)); }
    void U16(std::uint16_t value) {
        U8(static_cast<std::uint8_t>(value));
        U8(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        U16(static_cast<std::uint16_t>(value));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }

    const std::vector<std::byte>& bytes() const { return bytes_; }

private:
    std::vector<std::byte> bytes_;
};

} // namespace mdlBitmap
