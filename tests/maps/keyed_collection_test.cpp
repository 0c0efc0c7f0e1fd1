#include "maps/keyed_collection.h"
#include "maps/key_case.h"
#include "maps/tagged_value.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using maps::FoldKeyCase;
using maps::KeyedCollection;
using maps::TaggedValue;

namespace {

std::vector<int> ItemsOf(const KeyedCollection<int>& collection) {
    std::vector<int> items;
    for (std::int32_t position = 1; position <= collection.Count(); ++position)
        items.push_back(collection.Item(position));
    return items;
}

std::int32_t ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ui::RaisedError& error) {
        return error.number();
    }
    return 0;
}

TEST(KeyedCollectionTest, AddsAtTheEndOrBehindAPosition) {
    KeyedCollection<int> collection;
    collection.Add(1, "one");
    collection.Add(3, "three");
    collection.Add(2, "two", 1);
    collection.Add(0, "zero", 0);
    collection.Add(4, "four", 4);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(collection.Count(), 5);
    EXPECT_EQ(collection.Item(3), 2);
    EXPECT_EQ(collection.Item("three"), 3);
}

TEST(KeyedCollectionTest, RemovingMovesLaterItemsUpAndFreesTheKey) {
    KeyedCollection<int> collection;
    for (int i = 1; i <= 4; ++i)
        collection.Add(i * 10, "k" + std::to_string(i));
    collection.Remove(2);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{10, 30, 40}));
    EXPECT_EQ(collection.Item("k3"), 30) << "keys behind the removed item still find their items";
    EXPECT_EQ(collection.Item("k4"), 40);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item("k2"); }), maps::kInvalidArgument);
    collection.Add(20, "K2", 1);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(collection.Item("k3"), 30);
}

TEST(KeyedCollectionTest, KeysAreFoundAndRefusedWithoutRegardToCase) {
    KeyedCollection<int> collection;
    collection.Add(1, "Key");
    EXPECT_EQ(collection.Item("kEY"), 1);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(2, "KEY"); }), maps::kDuplicateKey);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(2, "key", 0); }), maps::kDuplicateKey);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{1})) << "a refused add changed the collection";
}

TEST(KeyedCollectionTest, BadPositionsAndKeysRaiseAndChangeNothing) {
    KeyedCollection<int> collection;
    collection.Add(1, "a");
    collection.Add(2, "b");
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item(0); }), maps::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item(3); }), maps::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Remove(0); }), maps::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Remove(3); }), maps::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(3, "c", 3); }), maps::kInvalidArgument);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(3, "c", -1); }), maps::kInvalidArgument);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item("c"); }), maps::kInvalidArgument);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{1, 2}));
    collection.Add(3, "c");
    EXPECT_EQ(collection.Item("C"), 3) << "the refused key was not left behind";
}

std::string Utf8(const std::u32string& text) {
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// Unicode's data read afresh: every full folding (status C and F) is applied, folded text
// folds to itself (so both spellings are one key), and every code point the data leaves
// out, the Turkic alternatives (T) included, stays as it is.
TEST(KeyCaseTest, FoldsByEveryEntryOfUnicodesCaseFoldingData) {
    std::ifstream data(LUMIVERT_CASE_FOLDING_FILE);
    ASSERT_TRUE(data) << LUMIVERT_CASE_FOLDING_FILE;
    std::set<char32_t> folding;
    std::string line;
    while (std::getline(data, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string code, status, mapping;
        if (!std::getline(fields, code, ';') || !std::getline(fields, status, ';') ||
            !std::getline(fields, mapping, ';'))
            continue;
        if (status != " C" && status != " F")
            continue;
        const auto from = static_cast<char32_t>(std::stoul(code, nullptr, 16));
        std::u32string to;
        std::istringstream points(mapping);
        for (std::string point; points >> point;)
            to += static_cast<char32_t>(std::stoul(point, nullptr, 16));
        folding.insert(from);
        EXPECT_EQ(FoldKeyCase(Utf8({from})), Utf8(to)) << "U+" << std::hex << static_cast<unsigned>(from);
        EXPECT_EQ(FoldKeyCase(Utf8(to)), Utf8(to)) << "U+" << std::hex << static_cast<unsigned>(from);
    }
    EXPECT_GT(folding.size(), 1400u);
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if ((c < 0xD800 || c > 0xDFFF) && !folding.contains(c)) {
            ASSERT_EQ(FoldKeyCase(Utf8({c})), Utf8({c})) << "U+" << std::hex << static_cast<unsigned>(c);
        }
    }
}

TEST(KeyCaseTest, KeepsBytesThatAreNotUtf8) {
    EXPECT_EQ(FoldKeyCase("\xff" "A"), "\xff" "a");
    EXPECT_EQ(FoldKeyCase("\xC3" "A"), "\xC3" "a") << "a lead byte without its continuation";
    EXPECT_EQ(FoldKeyCase("\xC0\x80"), "\xC0\x80") << "an overlong form is not decoded";
    EXPECT_EQ(FoldKeyCase("\xE0\x83\x80"), "\xE0\x83\x80") << "nor a three-byte one (of À)";
    EXPECT_EQ(FoldKeyCase("\xED\xA0\x80"), "\xED\xA0\x80") << "a surrogate is not decoded";
    EXPECT_EQ(FoldKeyCase("\xE3\x82"), "\xE3\x82") << "a cut sequence";
}

TEST(TaggedValueTest, CarriesItsKindAndRefusesOthers) {
    EXPECT_EQ(TaggedValue().kind(), TaggedValue::Kind::Empty);
    EXPECT_EQ(TaggedValue(3).kind(), TaggedValue::Kind::Number);
    EXPECT_EQ(TaggedValue("3").kind(), TaggedValue::Kind::String);
    EXPECT_EQ(TaggedValue(std::make_shared<int>(3)).kind(), TaggedValue::Kind::Object);
    EXPECT_NE(TaggedValue(3), TaggedValue("3"));
    EXPECT_NE(TaggedValue(std::make_shared<int>(3)), TaggedValue(std::make_shared<int>(3)))
        << "two objects are two references, however alike";
    try {
        (void)TaggedValue("3").AsNumber();
        FAIL() << "a string read as a number";
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), maps::kTypeMismatch);
        EXPECT_EQ(error.description(), "型が一致しません。");
    }
    EXPECT_THROW((void)TaggedValue(3).AsString(), ui::RaisedError);
    EXPECT_THROW((void)TaggedValue().AsObject(), ui::RaisedError);
}

TEST(TaggedValueTest, NumbersReadInOrdinaryDecimalFormWithTheFewestDigits) {
    const std::pair<double, std::string> kTexts[] = {
        {1, "1"},         {-0.0, "0"},       {0.1, "0.1"},         {-2.5, "-2.5"}, {-2147483648, "-2147483648"},
        {100000, "100000"}, {1e6, "1000000"}, {1.0 / 3, "0.3333333333333333"}, {-1e21, "-1" + std::string(21, '0')},
        {123456789012345678.0, "123456789012345680"}, {0.0000001, "0.0000001"}, {-1.5e-10, "-0.00000000015"},
        {1e300, "1" + std::string(300, '0')}, {5e-324, "0." + std::string(323, '0') + "5"}};
    for (const auto& [number, text] : kTexts)
        EXPECT_EQ(TaggedValue(number).TextForm(), text);

    // Numbers of every size, the longest texts included, read back as themselves.
    std::vector<double> numbers = {-std::numeric_limits<double>::max(), -2.2250738585072009e-308};
    std::mt19937_64 random(14);
    for (int i = 0; i < 20000; ++i) {
        const double number = std::bit_cast<double>(random());
        if (std::isfinite(number))
            numbers.push_back(number);
    }
    for (const double number : numbers) {
        const std::string text = TaggedValue(number).TextForm();
        ASSERT_EQ(text.find_first_not_of("-0123456789."), std::string::npos) << text;
        ASSERT_EQ(std::strtod(text.c_str(), nullptr), number) << text;
    }
}

} // namespace
