#include "maps/cls_handmade_map.h"

#include "maps/map_errors.h"

#include <limits>
#include <new>

void ClsHandmadeMap::PutData(std::int32_t key, std::int32_t value) {
    const std::int32_t index = KeyIndex(key);
    if (index != -1) {
        Entries[static_cast<std::size_t>(index)].value = value;
        return;
    }
    NextIndex(LastIndex()); // raises the overflow error before anything changes
    try {
        // push_back leaves the records untouched when it cannot grow the array, so a failed
        // growth never leaves a record counted that was not stored.
        Entries.push_back({key, value});
    } catch (const std::bad_alloc&) {
        throw maps::MapError(maps::kOutOfMemory);
    }
}

std::int32_t ClsHandmadeMap::GetData(std::int32_t key) const {
    const std::int32_t index = KeyIndex(key);
    return index == -1 ? 0 : Entries[static_cast<std::size_t>(index)].value;
}

bool ClsHandmadeMap::ContainsKey(std::int32_t key) const {
    return KeyIndex(key) != -1;
}

std::int32_t ClsHandmadeMap::KeyIndex(std::int32_t key) const {
    for (std::size_t i = 0; i < Entries.size(); ++i) {
        if (Entries[i].key == key)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::int32_t ClsHandmadeMap::NextIndex(std::int32_t lastIndex) {
    if (lastIndex == std::numeric_limits<std::int32_t>::max())
        throw maps::MapError(maps::kOverflow);
    return lastIndex + 1;
}
