#include "tests/maps/map_operation_driver.h"

#include "maps/cls_collection_map.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

using maps::TaggedValue;

namespace maps_testing {

namespace {

// String keys, each with the number of its case class: keys of one class differ only in
// letter case, so the collections must refuse the second one.
struct PoolKey {
    const char* text;
    int caseClass;
};
constexpr std::array<PoolKey, 30> kKeys = {{
    {"p", 0}, {"P", 0}, {"ab", 1}, {"Ab", 1}, {"aB", 1}, {"AB", 1},
    {"é", 2}, {"É", 2}, {"ａ", 3}, {"Ａ", 3}, {"я", 4}, {"Я", 4}, {"ω", 5}, {"Ω", 5},
    {"", 6}, {"x y", 7}, {"キー", 8}, {"ı", 9}, {"i", 10}, {"I", 10}, {"İ", 11},
    {"ÿ", 12}, {"Ÿ", 12}, {"ĳ", 13}, {"Ĳ", 13}, {"\xff", 14}, {"\xff" "A", 15}, {"\xff" "a", 15},
    {"×", 16}, {"÷", 17},
}};

const PoolKey& KeyFrom(std::uint8_t code) {
    return kKeys[code % kKeys.size()];
}

// Values of every kind, with their text forms written out here rather than computed by the
// code under test. Numbers are halves, so their text is plain to spell.
struct PoolValue {
    TaggedValue value;
    std::string text;
};

PoolValue ValueFrom(ByteReader& reader, const std::array<std::shared_ptr<void>, 2>& objects) {
    const std::uint8_t kind = reader.Next();
    const int code = reader.Next();
    switch (kind % 4) {
    case 0:
        return {TaggedValue(), ""};
    case 1: {
        const int halves = code - 128;
        const std::string whole = std::to_string(std::abs(halves) / 2);
        const std::string sign = halves < 0 ? "-" : "";
        return {TaggedValue(halves / 2.0), halves % 2 == 0 ? (halves == 0 ? "0" : sign + whole)
                                                           : sign + whole + ".5"};
    }
    case 2: {
        static constexpr std::array<const char*, 4> kTexts = {"", "C", "値", "a\r\nb"};
        const char* text = kTexts[code % kTexts.size()];
        return {TaggedValue(text), text};
    }
    default:
        if (code % 3 == 2)
            return {TaggedValue(std::shared_ptr<void>()), "<nothing>"};
        return {TaggedValue(objects[code % 3]), "<object>"};
    }
}

struct ModelEntry {
    PoolKey key;
    PoolValue value;
};

// The collection map's model: entries in insertion order, matched exactly; a key whose case
// class is taken by another spelling is refused.
class StringModel {
public:
    std::int32_t KeyIndex(std::string_view key) const {
        const auto found = std::find_if(entries_.begin(), entries_.end(),
                                        [key](const ModelEntry& entry) { return entry.key.text == key; });
        return found == entries_.end() ? -1 : static_cast<std::int32_t>(found - entries_.begin()) + 1;
    }
    TaggedValue GetData(std::string_view key) const {
        const std::int32_t position = KeyIndex(key);
        return position == -1 ? TaggedValue() : entries_[static_cast<std::size_t>(position - 1)].value.value;
    }
    bool ClassTaken(const PoolKey& key) const {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const ModelEntry& entry) { return entry.key.caseClass == key.caseClass; });
    }
    void Replace(std::int32_t position, PoolValue value) {
        entries_[static_cast<std::size_t>(position - 1)].value = std::move(value);
    }
    void Append(const PoolKey& key, PoolValue value) { entries_.push_back({key, std::move(value)}); }
    std::string Text() const {
        std::string text;
        for (const ModelEntry& entry : entries_)
            text += std::string(entry.key.text) + "：" + entry.value.text + "\r\n";
        return text;
    }

private:
    std::vector<ModelEntry> entries_;
};

std::string CompareOne(const ClsCollectionMap& map, const StringModel& model, const PoolKey& key) {
    const std::string quoted = std::string("\"") + key.text + "\"";
    if (map.KeyIndex(key.text) != model.KeyIndex(key.text))
        return "KeyIndex(" + quoted + ") gave " + std::to_string(map.KeyIndex(key.text)) + ", expected " +
               std::to_string(model.KeyIndex(key.text));
    if (map.ContainsKey(key.text) != (model.KeyIndex(key.text) != -1))
        return "ContainsKey(" + quoted + ") disagrees";
    if (!(map.GetData(key.text) == model.GetData(key.text)))
        return "GetData(" + quoted + ") gave \"" + map.GetData(key.text).TextForm() + "\"";
    return {};
}

std::string CompareAll(const ClsCollectionMap& map, const StringModel& model) {
    for (const PoolKey& key : kKeys) {
        std::string mismatch = CompareOne(map, model, key);
        if (!mismatch.empty())
            return mismatch;
    }
    if (map.ToString() != model.Text())
        return "ToString gave \"" + map.ToString() + "\", expected \"" + model.Text() + "\"";
    return {};
}

// One put on map and model; an empty string when they agree on its outcome.
std::string Put(ClsCollectionMap& map, StringModel& model, const PoolKey& key, PoolValue value,
                DriveReport& report) {
    const std::int32_t position = model.KeyIndex(key.text);
    const bool refused = position == -1 && model.ClassTaken(key);
    try {
        map.PutData(key.text, value.value);
        if (refused)
            return std::string("PutData(\"") + key.text + "\") was not refused";
    } catch (const ui::RaisedError& error) {
        if (!refused || error.number() != maps::kDuplicateKey)
            return std::string("PutData(\"") + key.text + "\") raised " + std::to_string(error.number());
        ++report.rejected;
        return {};
    }
    if (position == -1) {
        model.Append(key, std::move(value));
        ++report.newKeys;
    } else {
        model.Replace(position, std::move(value));
        ++report.replaced;
    }
    return {};
}

} // namespace

DriveReport DriveCollectionMap(std::span<const std::uint8_t> bytes) {
    const std::array<std::shared_ptr<void>, 2> objects = {std::make_shared<int>(1), std::make_shared<int>(2)};
    ByteReader reader(bytes);
    ClsCollectionMap map;
    StringModel model;
    DriveReport report;
    while (!reader.AtEnd() && report.Agreed()) {
        const std::uint8_t operation = reader.Next();
        const PoolKey& key = KeyFrom(reader.Next());
        const std::size_t rejectedBefore = report.rejected;
        if (operation % 4 != 3)
            report.mismatch = Put(map, model, key, ValueFrom(reader, objects), report);
        // A refused put must leave the whole map as it was.
        const bool fullCheck = operation % 8 == 7 || report.rejected != rejectedBefore;
        if (report.Agreed())
            report.mismatch = fullCheck ? CompareAll(map, model) : CompareOne(map, model, key);
    }
    if (report.Agreed())
        report.mismatch = CompareAll(map, model);
    return report;
}

} // namespace maps_testing
