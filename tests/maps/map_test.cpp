// Both maps against a plain model on random operation sequences, and what those never reach:
// errors, positions after insertions and removals, numbers as text.

#include "maps/cls_collection_map.h"
#include "maps/cls_handmade_map.h"
#include "tests/maps/map_operation_driver.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <random>

namespace {

using maps::TaggedValue;

TEST(Maps, RandomOperationsAgreeWithAPlainModel) {
    for (const auto drive : {maps_testing::DriveHandmadeMap, maps_testing::DriveCollectionMap}) {
        std::mt19937 random(20261206);
        for (int round = 0; round < 200; ++round) {
            std::vector<std::uint8_t> bytes(random() % 3001);
            for (std::uint8_t& byte : bytes)
                byte = static_cast<std::uint8_t>(random());
            const maps_testing::DriveReport report = drive(bytes);
            ASSERT_TRUE(report.Agreed()) << "round " << round << ": " << report.mismatch;
        }
    }
}

using Error = std::pair<std::int32_t, std::string>;

Error ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const report::RaisedError& error) {
        return {error.number(), error.description()};
    }
    return {0, "no error"};
}

// The items by position, then by key: equal halves when every key finds its own item.
std::vector<int> ItemsOf(const maps::KeyedCollection<int>& collection, std::initializer_list<const char*> keys) {
    std::vector<int> items;
    for (std::int32_t position = 1; position <= collection.Count(); ++position)
        items.push_back(collection.Item(position));
    for (const char* key : keys)
        items.push_back(collection.Item(key));
    return items;
}

// Every error's number and message; then keys find their items after insertions and a removal.
TEST(Maps, ErrorsAndPositionsOfTheKeyedCollection) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(ClsHandmadeMap::NextIndex(kMax - 1), kMax);
    ClsCollectionMap map;
    map.PutData("Ab", 1);
    maps::KeyedCollection<int> collection;
    collection.Add(1, "a");
    collection.Add(2, "b");
    const Error kPosition{maps::kSubscriptOutOfRange, "インデックスが有効範囲にありません。"},
        kArgument{maps::kInvalidArgument, "プロシージャの呼び出し、または引数が不正です。"},
        kDuplicate{maps::kDuplicateKey, "このキーは既にこのコレクションの要素に割り当てられています。"};
    const std::pair<std::function<void()>, Error> kCases[] = {
        {[] { ClsHandmadeMap::NextIndex(kMax); }, {maps::kOverflow, "オーバーフローしました。"}},
        {[&] { map.PutData("ab", 2); }, kDuplicate},
        {[&] { collection.Add(3, "B"); }, kDuplicate},
        {[&] { collection.Add(3, "A", 0); }, kDuplicate},
        {[&] { (void)collection.Item(0); }, kPosition},
        {[&] { (void)collection.Item(3); }, kPosition},
        {[&] { collection.Remove(3); }, kPosition},
        {[&] { collection.Add(3, "c", 3); }, kArgument},
        {[&] { (void)collection.Item("c"); }, kArgument},
        {[] { (void)TaggedValue("3").AsNumber(); }, {maps::kTypeMismatch, "型が一致しません。"}},
    };
    for (const auto& [action, error] : kCases)
        EXPECT_EQ(ErrorOf(action), error);
    collection.Add(0, "zero", 0);
    collection.Add(5, "five", 2);
    EXPECT_EQ(ItemsOf(collection, {"ZERO", "a", "Five", "B"}), (std::vector<int>{0, 1, 5, 2, 0, 1, 5, 2}));
    collection.Remove(1);
    collection.Add(3, "c", 3); // the key refused above was not left behind
    EXPECT_EQ(ItemsOf(collection, {"A", "five", "b", "C"}), (std::vector<int>{1, 5, 2, 3, 1, 5, 2, 3}));
}

TEST(TaggedValue, NumbersReadInOrdinaryDecimalFormWithTheFewestDigits) {
    const std::pair<double, std::string> kTexts[] = {
        {1, "1"}, {-0.0, "0"}, {0.1, "0.1"}, {-2.5, "-2.5"}, {-2147483648, "-2147483648"}, {100000, "100000"},
        {1.0 / 3, "0.3333333333333333"}, {123456789012345678.0, "123456789012345680"}, {0.0000001, "0.0000001"},
        {-1.5e-10, "-0.00000000015"}, {1e300, "1" + std::string(300, '0')}, {5e-324, "0." + std::string(323, '0') + "5"}};
    for (const auto& [number, text] : kTexts)
        EXPECT_EQ(TaggedValue(number).TextForm(), text);
    // Numbers of every size, the longest texts included, read back as themselves.
    std::mt19937_64 random(14);
    for (int i = 0; i < 20000; ++i) {
        const double number = i == 0 ? -std::numeric_limits<double>::max() : std::bit_cast<double>(random());
        const std::string text = TaggedValue(number).TextForm();
        ASSERT_TRUE(!std::isfinite(number) || (text.find_first_not_of("-0123456789.") == std::string::npos &&
                                               std::strtod(text.c_str(), nullptr) == number)) << text;
    }
}

} // namespace
