#pragma once

// An ordered collection of items, each stored under a string key. Items are reached by their
// 1-based position or by their key; keys are compared without regard to letter case
// (FoldKeyCase), so a collection never holds two keys that differ only in case.
//
// Errors: a key already present raises the duplicate-key error, an insertion point outside
// 0 to Count and an absent key the invalid-argument error, a position outside 1 to Count the
// subscript error, and an Add that finds no memory the out-of-memory error. A failed Add or
// Remove leaves the collection unchanged.

#include "maps/key_case.h"
#include "maps/map_errors.h"

#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace maps {

template <typename T>
class KeyedCollection {
    // Items move when others are inserted or removed; a move that could fail part way would
    // leave the collection half changed.
    static_assert(std::is_nothrow_move_constructible_v<T>);

public:
    std::int32_t Count() const { return static_cast<std::int32_t>(slots_.size()); }

    // Stores item under key at the end, or, when after is given, directly behind position
    // after (0 puts it in front of the first item).
    void Add(T item, std::string_view key, std::optional<std::int32_t> after = std::nullopt) {
        const std::int32_t insertAt = after.value_or(Count());
        if (insertAt < 0 || insertAt > Count())
            throw MapError(kInvalidArgument);
        if (Count() == std::numeric_limits<std::int32_t>::max())
            throw MapError(kOverflow);
        try {
            std::string folded = FoldKeyCase(key);
            const auto [entry, added] = indexOfKey_.try_emplace(folded, static_cast<std::size_t>(insertAt));
            if (!added)
                throw MapError(kDuplicateKey);
            try {
                slots_.insert(slots_.begin() + insertAt, Slot{std::move(folded), std::move(item)});
            } catch (...) {
                indexOfKey_.erase(entry);
                throw;
            }
        } catch (const std::bad_alloc&) {
            throw MapError(kOutOfMemory);
        }
        Renumber(static_cast<std::size_t>(insertAt) + 1);
    }

    // Removes the item at position; the items behind it move up by one.
    void Remove(std::int32_t position) {
        const std::size_t index = IndexOf(position);
        indexOfKey_.erase(slots_[index].foldedKey);
        slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(index));
        Renumber(index);
    }

    const T& Item(std::int32_t position) const { return slots_[IndexOf(position)].item; }

    const T& Item(std::string_view key) const {
        const auto found = indexOfKey_.find(FoldKeyCase(key));
        if (found == indexOfKey_.end())
            throw MapError(kInvalidArgument);
        return slots_[found->second].item;
    }

private:
    struct Slot {
        std::string foldedKey;
        T item;
    };

    std::size_t IndexOf(std::int32_t position) const {
        if (position < 1 || position > Count())
            throw MapError(kSubscriptOutOfRange);
        return static_cast<std::size_t>(position - 1);
    }

    // Points the keys of the slots from index first on at their places again.
    void Renumber(std::size_t first) {
        for (std::size_t i = first; i < slots_.size(); ++i)
            indexOfKey_.find(slots_[i].foldedKey)->second = i;
    }

    std::vector<Slot> slots_;
    std::unordered_map<std::string, std::size_t> indexOfKey_; // folded key to index in slots_
};

} // namespace maps
