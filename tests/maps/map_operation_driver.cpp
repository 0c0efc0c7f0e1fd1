#include "tests/maps/map_operation_driver.h"

#include "maps/cls_collection_map.h"
#include "maps/cls_handmade_map.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace maps_testing {

namespace {

using maps::TaggedValue;

// Reads a sequence byte by byte, and zeros past its end, so every sequence is a valid one.
struct ByteReader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    std::uint8_t Next() { return at < bytes.size() ? bytes[at++] : 0; }
};

// Keys at the boundaries and around 0 (so that they repeat), any value; positions count
// from 0, a missing key reads 0.
struct IntegerMap {
    using Map = ClsHandmadeMap;
    using Key = std::int32_t;
    using Value = std::int32_t;
    static constexpr std::int32_t kFirstPosition = 0;
    static constexpr int kKeyCodes = 256;

    static Key KeyFrom(std::uint8_t code) {
        constexpr Key kSpecial[] = {std::numeric_limits<Key>::min(), std::numeric_limits<Key>::max(), -1, 0,
                                    0x00FFFFFF, 0x01000000, -0x01000000, 0x7F000000};
        return code < 32 ? kSpecial[code % 8] : code - 144;
    }
    static Value ValueFrom(ByteReader& reader) { return (reader.Next() - 128) * 0x00FF00FF; }
    static Key Name(Key key) { return key; }
    static Value Data(Value value) { return value; }
    static bool SameCase(Key, Key) { return false; }
};

// Keys of one case class differ only in letter case, so a second spelling is refused; each
// value's text form is spelled out. Positions count from 1, a missing key reads empty.
struct StringMap {
    struct Key {
        const char* text;
        int caseClass;
    };
    struct Value {
        TaggedValue value;
        std::string text;
    };
    using Map = ClsCollectionMap;
    static constexpr std::int32_t kFirstPosition = 1;
    static constexpr int kKeyCodes = 30;

    static Key KeyFrom(std::uint8_t code) {
        static constexpr Key kKeys[kKeyCodes] = {
            {"p", 0}, {"P", 0}, {"ab", 1}, {"Ab", 1}, {"aB", 1}, {"AB", 1},
            {"é", 2}, {"É", 2}, {"ａ", 3}, {"Ａ", 3}, {"я", 4}, {"Я", 4}, {"ω", 5}, {"Ω", 5},
            {"", 6}, {"x y", 7}, {"キー", 8}, {"ı", 9}, {"i", 10}, {"I", 10}, {"İ", 11},
            {"ÿ", 12}, {"Ÿ", 12}, {"ĳ", 13}, {"Ĳ", 13}, {"\xff", 14}, {"\xff" "A", 15}, {"\xff" "a", 15},
            {"×", 16}, {"÷", 17},
        };
        return kKeys[code % kKeyCodes];
    }
    static Value ValueFrom(ByteReader& reader) {
        static const std::shared_ptr<void> kFirst = std::make_shared<int>(1), kSecond = std::make_shared<int>(1);
        static const Value kValues[] = {
            {{}, ""}, {0, "0"}, {0.5, "0.5"}, {-2, "-2"}, {-1e21, "-1000000000000000000000"}, {"", ""},
            {"値", "値"}, {"a\r\nb", "a\r\nb"}, {kFirst, "<object>"}, {kSecond, "<object>"},
            {std::shared_ptr<void>(), "<nothing>"},
        };
        return kValues[reader.Next() % std::size(kValues)];
    }
    static std::string Name(const Key& key) { return key.text; }
    static const TaggedValue& Data(const Value& value) { return value.value; }
    static bool SameCase(const Key& a, const Key& b) { return a.caseClass == b.caseClass; }
};

template <class Subject>
class Run {
    using Key = typename Subject::Key;
    using Value = typename Subject::Value;

public:
    // Every fourth operation only reads; after a refused put, and now and then, every key is
    // compared, else the one key operated on.
    DriveReport Drive(std::span<const std::uint8_t> bytes) {
        ByteReader reader{bytes};
        while (reader.at < bytes.size() && report_.Agreed()) {
            const std::uint8_t operation = reader.Next();
            const Key key = Subject::KeyFrom(reader.Next());
            const bool refused = operation % 4 != 3 && !Put(key, Subject::ValueFrom(reader));
            if (report_.Agreed())
                report_.mismatch = refused || operation % 16 == 15 ? CompareAll() : Compare(key);
        }
        if (report_.Agreed())
            report_.mismatch = CompareAll();
        return report_;
    }

private:
    static std::string Describe(const char* operation, const Key& key, const char* outcome) {
        return (std::ostringstream() << operation << "(" << Subject::Name(key) << ") " << outcome).str();
    }

    // The key's index in the model, or -1.
    std::int32_t Find(const Key& key) const {
        const auto found = std::find_if(model_.begin(), model_.end(),
                                        [&](const auto& entry) { return Subject::Name(entry.first) == Subject::Name(key); });
        return found == model_.end() ? -1 : static_cast<std::int32_t>(found - model_.begin());
    }

    // Puts in the map and the model; false when the map (rightly or not) refused.
    bool Put(const Key& key, Value value) {
        const std::int32_t found = Find(key);
        const bool refused = found == -1 && std::any_of(model_.begin(), model_.end(), [&](const auto& entry) {
                                 return Subject::SameCase(entry.first, key);
                             });
        try {
            map_.PutData(Subject::Name(key), Subject::Data(value));
        } catch (const ui::RaisedError& error) {
            if (!refused || error.number() != maps::kDuplicateKey)
                report_.mismatch = Describe("PutData", key, "raised an error");
            return false;
        }
        if (refused)
            report_.mismatch = Describe("PutData", key, "was not refused");
        else if (found == -1)
            model_.emplace_back(key, std::move(value));
        else
            model_[static_cast<std::size_t>(found)].second = std::move(value);
        return true;
    }

    std::string Compare(const Key& key) const {
        const std::int32_t found = Find(key);
        const auto name = Subject::Name(key);
        const Value expected = found == -1 ? Value{} : model_[static_cast<std::size_t>(found)].second;
        if (map_.KeyIndex(name) == (found == -1 ? -1 : found + Subject::kFirstPosition) &&
            map_.ContainsKey(name) == (found != -1) && map_.GetData(name) == Subject::Data(expected))
            return {};
        return Describe("KeyIndex, ContainsKey or GetData", key, "disagrees with the model");
    }

    std::string CompareAll() const {
        for (int code = 0; code < Subject::kKeyCodes; ++code)
            if (std::string mismatch = Compare(Subject::KeyFrom(static_cast<std::uint8_t>(code))); !mismatch.empty())
                return mismatch;
        if constexpr (requires(const typename Subject::Map& map) { map.ToString(); }) {
            std::string text;
            for (const auto& [key, value] : model_)
                text += std::string(key.text) + "：" + value.text + "\r\n";
            if (map_.ToString() != text)
                return "ToString gave \"" + map_.ToString() + "\", expected \"" + text + "\"";
        }
        return {};
    }

    typename Subject::Map map_;
    std::vector<std::pair<Key, Value>> model_;
    DriveReport report_;
};

} // namespace

DriveReport DriveHandmadeMap(std::span<const std::uint8_t> bytes) {
    return Run<IntegerMap>().Drive(bytes);
}

DriveReport DriveCollectionMap(std::span<const std::uint8_t> bytes) {
    return Run<StringMap>().Drive(bytes);
}

} // namespace maps_testing
