#pragma once

// A small map from 32-bit integer keys to 32-bit integer values, kept in one array of
// records in the order in which the keys were first stored. A key keeps its index for the
// life of the map: entries are never moved or removed. Lookups scan from index 0, which is
// the right trade for the few hundred entries of a palette.

#include <cstdint>
#include <vector>

struct MapEntry {
    std::int32_t key;
    std::int32_t value;
};
static_assert(sizeof(MapEntry) == 8, "a record is two 32-bit integers");

class ClsHandmadeMap {
public:
    // Stores value under key. A new key gets the next index; an existing key keeps its index
    // and takes the new value. When the map cannot take one more key (it already holds
    // 2^31 entries, or memory runs out) the overflow or out-of-memory error is raised and
    // the map is left as it was.
    void PutData(std::int32_t key, std::int32_t value);

    // The value stored under key, or 0 when key is absent; ContainsKey tells a stored 0 from
    // an absent key.
    std::int32_t GetData(std::int32_t key) const;

    bool ContainsKey(std::int32_t key) const;

    // The 0-based index of key's record, or -1 when key is absent. Any key, -1 included,
    // may be stored; only the result -1 is special.
    std::int32_t KeyIndex(std::int32_t key) const;

    // The index after lastIndex; the overflow error when lastIndex is the largest 32-bit
    // value. Every new key takes its index from here.
    static std::int32_t NextIndex(std::int32_t lastIndex);

private:
    // Index of the last record; -1 when the map is empty.
    std::int32_t LastIndex() const {
        return Entries.empty() ? -1 : static_cast<std::int32_t>(Entries.size() - 1);
    }

    std::vector<MapEntry> Entries;
};
