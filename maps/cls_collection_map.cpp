#include "maps/cls_collection_map.h"

void ClsCollectionMap::PutData(std::string key, maps::TaggedValue data) {
    const std::int32_t index = KeyIndex(key);
    // An existing key is taken out of both collections and put back at its own position
    // (behind position index - 1, which for the first entry means in front of the rest).
    // Once it is out, no other key can clash with it, so the two Adds can fail only for
    // want of memory; the entry is then lost, but the collections stay in step.
    std::optional<std::int32_t> after;
    if (index != -1) {
        colKeys.Remove(index);
        colValues.Remove(index);
        after = index - 1;
    }
    colKeys.Add(key, key, after);
    try {
        colValues.Add(std::move(data), key, after);
    } catch (...) {
        colKeys.Remove(after ? *after + 1 : colKeys.Count()); // keep the two in step
        throw;
    }
}

maps::TaggedValue ClsCollectionMap::GetData(std::string_view key) const {
    if (!ContainsKey(key))
        return {};
    return colValues.Item(key);
}

bool ClsCollectionMap::ContainsKey(std::string_view key) const {
    return KeyIndex(key) != -1;
}

std::int32_t ClsCollectionMap::KeyIndex(std::string_view key) const {
    for (std::int32_t position = 1; position <= colKeys.Count(); ++position)
        if (colKeys.Item(position) == key)
            return position;
    return -1;
}

std::string ClsCollectionMap::ToString() const {
    std::string text;
    for (std::int32_t position = 1; position <= colKeys.Count(); ++position)
        text += colKeys.Item(position) + "：" + colValues.Item(position).TextForm() + "\r\n";
    return text;
}
