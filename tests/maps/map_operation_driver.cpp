#include "tests/maps/map_operation_driver.h"

#include "maps/cls_collection_map.h"
#include "maps/cls_handmade_map.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace maps_testing {

namespace {

using maps::TaggedValue;

// Keys of one case class differ only in letter case: a second spelling is refused.
struct Key {
    std::string text;
    int caseClass;
};

// A value with its text form spelled out.
struct Value {
    TaggedValue value;
    std::string text;
};

// The integer map seen through text keys.
struct IntegerMap {
    ClsHandmadeMap map;
    void PutData(const std::string& key, const TaggedValue& value) {
        map.PutData(std::stoi(key), static_cast<std::int32_t>(value.AsNumber()));
    }
    TaggedValue GetData(const std::string& key) const { return map.GetData(std::stoi(key)); }
    bool ContainsKey(const std::string& key) const { return map.ContainsKey(std::stoi(key)); }
    std::int32_t KeyIndex(const std::string& key) const { return map.KeyIndex(std::stoi(key)); }
};

// Puts (key code, value code), every fourth operation only reads; compares the key, or all.
template <class Map>
struct Run {
    std::span<const Key> keys;
    std::span<const Value> values;
    std::int32_t firstPosition;
    TaggedValue missing;
    Map map{};
    std::vector<std::pair<Key, Value>> model{};
    DriveReport report{};

    DriveReport Drive(std::span<const std::uint8_t> bytes) {
        for (std::size_t at = 0; at + 2 < bytes.size() && report.Agreed(); at += 3) {
            const Key& key = keys[bytes[at + 1] % keys.size()];
            const bool refused = bytes[at] % 4 != 3 && !Put(key, values[bytes[at + 2] % values.size()]);
            if (report.Agreed())
                report.mismatch = refused || bytes[at] % 16 == 15 ? CompareAll() : Compare(key);
        }
        if (report.Agreed())
            report.mismatch = CompareAll();
        return report;
    }

    // The key's index in the model, or -1.
    std::int32_t Find(const Key& key) const {
        const auto found = std::find_if(model.begin(), model.end(), [&](const auto& e) { return e.first.text == key.text; });
        return found == model.end() ? -1 : static_cast<std::int32_t>(found - model.begin());
    }

    // Puts in the map and the model; false when the map (rightly or not) refused.
    bool Put(const Key& key, const Value& value) {
        const std::int32_t found = Find(key);
        const bool refused = found == -1 && std::any_of(model.begin(), model.end(), [&](const auto& e) {
                                 return e.first.caseClass == key.caseClass;
                             });
        try {
            map.PutData(key.text, value.value);
        } catch (const report::RaisedError& error) {
            if (!refused || error.number() != maps::kDuplicateKey)
                report.mismatch = "PutData(" + key.text + ") raised an error";
            return false;
        }
        if (refused)
            report.mismatch = "PutData(" + key.text + ") was not refused";
        else if (found == -1)
            model.emplace_back(key, value);
        else
            model[static_cast<std::size_t>(found)].second = value;
        return true;
    }

    std::string Compare(const Key& key) const {
        const std::int32_t found = Find(key);
        const TaggedValue& expected = found == -1 ? missing : model[static_cast<std::size_t>(found)].second.value;
        if (map.KeyIndex(key.text) == (found == -1 ? -1 : found + firstPosition) &&
            map.ContainsKey(key.text) == (found != -1) && map.GetData(key.text) == expected)
            return {};
        return "KeyIndex, ContainsKey or GetData(" + key.text + ") disagrees with the model";
    }

    std::string CompareAll() const {
        for (const Key& key : keys)
            if (std::string mismatch = Compare(key); !mismatch.empty())
                return mismatch;
        if constexpr (requires(const Map& m) { m.ToString(); }) {
            std::string text;
            for (const auto& [key, value] : model)
                text += key.text + "：" + value.text + "\r\n";
            if (map.ToString() != text)
                return "ToString gave \"" + map.ToString() + "\", expected \"" + text + "\"";
        }
        return {};
    }
};

} // namespace

// Keys at the boundaries and around 0 (so that they repeat); a missing key reads 0.
DriveReport DriveHandmadeMap(std::span<const std::uint8_t> bytes) {
    static const auto kKeysAndValues = [] {
        constexpr std::int32_t kSpecial[] = {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                                             -1, 0, 0x00FFFFFF, 0x01000000, -0x01000000, 0x7F000000};
        std::pair<std::vector<Key>, std::vector<Value>> made(256, 256);
        for (int code = 0; code < 256; ++code) {
            made.first[code] = {std::to_string(code < 32 ? kSpecial[code % 8] : code - 144), code < 32 ? code % 8 : code};
            made.second[code].value = (code - 128) * 0x00FF00FF;
        }
        return made;
    }();
    return Run<IntegerMap>{kKeysAndValues.first, kKeysAndValues.second, 0, 0}.Drive(bytes);
}

DriveReport DriveCollectionMap(std::span<const std::uint8_t> bytes) {
    static const Key kKeys[] = {
        {"p", 0}, {"P", 0}, {"ab", 1}, {"Ab", 1}, {"aB", 1}, {"AB", 1},
        {"é", 2}, {"É", 2}, {"ａ", 3}, {"Ａ", 3}, {"я", 4}, {"Я", 4}, {"ω", 5}, {"Ω", 5},
        {"", 6}, {"x y", 7}, {"キー", 8}, {"ı", 9}, {"i", 10}, {"I", 10}, {"İ", 11},
        {"ÿ", 12}, {"Ÿ", 12}, {"ĳ", 13}, {"Ĳ", 13}, {"\xff", 14}, {"\xff" "A", 15}, {"\xff" "a", 15},
        {"×", 16}, {"÷", 17},
    };
    static const std::shared_ptr<void> kFirst = std::make_shared<int>(1), kSecond = std::make_shared<int>(1);
    static const Value kValues[] = {
        {{}, ""}, {0, "0"}, {0.5, "0.5"}, {-2, "-2"}, {-1e21, "-1000000000000000000000"}, {"", ""},
        {"値", "値"}, {"a\r\nb", "a\r\nb"}, {kFirst, "<object>"}, {kSecond, "<object>"},
        {std::shared_ptr<void>(), "<nothing>"},
    };
    return Run<ClsCollectionMap>{kKeys, kValues, 1, {}}.Drive(bytes);
}

} // namespace maps_testing
