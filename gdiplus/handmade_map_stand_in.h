#pragma once

// Stand-in for the array-backed map until the maps library is in: the same operations,
// the same linear scans, in this module's namespace so that it cannot clash with it.

#include <cstdint>
#include <vector>

namespace mdlGdiplus {

class ClsHandmadeMap {
public:
    void PutData(std::int32_t key, std::int32_t value) {
        const std::int32_t index = KeyIndex(key);
        if (index == -1)
            entries_.push_back({key, value});
        else
            entries_[static_cast<std::size_t>(index)].value = value;
    }
    std::int32_t GetData(std::int32_t key) const {
        const std::int32_t index = KeyIndex(key);
        return index == -1 ? 0 : entries_[static_cast<std::size_t>(index)].value;
    }
    bool ContainsKey(std::int32_t key) const { return KeyIndex(key) != -1; }
    std::int32_t KeyIndex(std::int32_t key) const {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].key == key)
                return static_cast<std::int32_t>(i);
        return -1;
    }

private:
    struct Entry {
        std::int32_t key;
        std::int32_t value;
    };
    std::vector<Entry> entries_;
};

} // namespace mdlGdiplus
