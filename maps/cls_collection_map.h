#pragma once

// An ordered map from string keys to tagged values, kept in two keyed collections that
// change in step: colKeys holds each key under itself, colValues the value under the key.
// Entries stay in the order in which their keys were first stored.
//
// Lookups match keys exactly, letter case included, while the collections refuse a key
// that differs from a stored one only in case: putting such a key raises the duplicate-key
// error and leaves the map as it was.
//
// Nothing in the program calls it: it is one of the program's two maps with the same
// operations, kept as described beside ClsHandmadeMap, which the own GIF conversion uses.

#include "maps/keyed_collection.h"
#include "maps/tagged_value.h"

#include <cstdint>
#include <string>
#include <string_view>

class ClsCollectionMap {
public:
    // Stores data under key: a new key is appended, an existing key keeps its position and
    // takes the new value.
    void PutData(std::string key, maps::TaggedValue data);

    // The value stored under key, or the empty value when key is absent.
    maps::TaggedValue GetData(std::string_view key) const;

    bool ContainsKey(std::string_view key) const;

    // The 1-based position of key's entry, or -1 when key is absent.
    std::int32_t KeyIndex(std::string_view key) const;

    // One line per entry in order: key, "：", the value's text form, CR LF.
    std::string ToString() const;

private:
    maps::KeyedCollection<std::string> colKeys;
    maps::KeyedCollection<maps::TaggedValue> colValues;
};
