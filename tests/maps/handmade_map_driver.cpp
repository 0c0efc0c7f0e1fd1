#include "tests/maps/map_operation_driver.h"

#include "maps/cls_handmade_map.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace maps_testing {

namespace {

// Integer keys: the boundary values and a small range around 0, so that keys repeat often.
std::int32_t IntegerKeyFrom(std::uint8_t code) {
    static constexpr std::array<std::int32_t, 8> kSpecial = {
        std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
        -1, 0, 0x00FFFFFF, 0x00FFFFFF + 1, -0x01000000, 0x7F000000};
    return code < 32 ? kSpecial[code % kSpecial.size()] : static_cast<std::int32_t>(code) - 144;
}

std::string Describe(const char* operation, std::int32_t key, std::int64_t got, std::int64_t expected) {
    return std::string(operation) + "(" + std::to_string(key) + ") gave " + std::to_string(got) +
           ", expected " + std::to_string(expected);
}

// The handmade map's model: the entries in insertion order, found by a plain search.
class IntegerModel {
public:
    std::int32_t KeyIndex(std::int32_t key) const {
        const auto found = std::find_if(entries_.begin(), entries_.end(),
                                        [key](const MapEntry& entry) { return entry.key == key; });
        return found == entries_.end() ? -1 : static_cast<std::int32_t>(found - entries_.begin());
    }
    std::int32_t GetData(std::int32_t key) const {
        const std::int32_t index = KeyIndex(key);
        return index == -1 ? 0 : entries_[static_cast<std::size_t>(index)].value;
    }
    // True when the key was new.
    bool Put(std::int32_t key, std::int32_t value) {
        const std::int32_t index = KeyIndex(key);
        if (index != -1) {
            entries_[static_cast<std::size_t>(index)].value = value;
            return false;
        }
        entries_.push_back({key, value});
        return true;
    }

private:
    std::vector<MapEntry> entries_;
};

std::string CompareOne(const ClsHandmadeMap& map, const IntegerModel& model, std::int32_t key) {
    if (map.KeyIndex(key) != model.KeyIndex(key))
        return Describe("KeyIndex", key, map.KeyIndex(key), model.KeyIndex(key));
    if (map.GetData(key) != model.GetData(key))
        return Describe("GetData", key, map.GetData(key), model.GetData(key));
    if (map.ContainsKey(key) != (model.KeyIndex(key) != -1))
        return Describe("ContainsKey", key, map.ContainsKey(key), model.KeyIndex(key) != -1);
    return {};
}

std::string CompareAll(const ClsHandmadeMap& map, const IntegerModel& model) {
    for (int code = 0; code < 256; ++code) {
        std::string mismatch = CompareOne(map, model, IntegerKeyFrom(static_cast<std::uint8_t>(code)));
        if (!mismatch.empty())
            return mismatch;
    }
    return {};
}

} // namespace

DriveReport DriveHandmadeMap(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    ClsHandmadeMap map;
    IntegerModel model;
    DriveReport report;
    while (!reader.AtEnd() && report.Agreed()) {
        const std::uint8_t operation = reader.Next();
        const std::int32_t key = IntegerKeyFrom(reader.Next());
        if (operation % 4 == 0) {
            const std::int32_t value = reader.NextInt32();
            map.PutData(key, value);
            ++(model.Put(key, value) ? report.newKeys : report.replaced);
        }
        report.mismatch = operation % 16 == 1 ? CompareAll(map, model) : CompareOne(map, model, key);
    }
    if (report.Agreed())
        report.mismatch = CompareAll(map, model);
    return report;
}

} // namespace maps_testing
