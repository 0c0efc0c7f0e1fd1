#include "maps/keyed_collection.h"
#include "maps/key_case.h"
#include "maps/tagged_value.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using lumivert::FoldKeyCase;
using lumivert::KeyedCollection;
using ui::RaisedError;
using lumivert::TaggedValue;

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
    EXPECT_EQ(collection.Item("k4"), 40) << "keys behind the removed item still find their items";
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item("k2"); }), lumivert::kInvalidArgument);
    collection.Add(20, "K2", 1);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(collection.Item("k3"), 30);
}

TEST(KeyedCollectionTest, KeysAreFoundAndRefusedWithoutRegardToCase) {
    KeyedCollection<int> collection;
    collection.Add(1, "Key");
    EXPECT_EQ(collection.Item("kEY"), 1);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(2, "KEY"); }), lumivert::kDuplicateKey);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(2, "key", 0); }), lumivert::kDuplicateKey);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{1})) << "a refused add changed the collection";
}

TEST(KeyedCollectionTest, BadPositionsAndKeysRaiseAndChangeNothing) {
    KeyedCollection<int> collection;
    collection.Add(1, "a");
    collection.Add(2, "b");
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item(0); }), lumivert::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item(3); }), lumivert::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Remove(0); }), lumivert::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Remove(3); }), lumivert::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(3, "c", 3); }), lumivert::kInvalidArgument);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Add(3, "c", -1); }), lumivert::kInvalidArgument);
    EXPECT_EQ(ErrorNumberOf([&] { collection.Item("c"); }), lumivert::kInvalidArgument);
    EXPECT_EQ(ItemsOf(collection), (std::vector<int>{1, 2}));
    collection.Add(3, "c");
    EXPECT_EQ(collection.Item("C"), 3) << "the refused key was not left behind";
}

TEST(KeyCaseTest, FoldsCapitalLettersOfTheCommonAlphabets) {
    EXPECT_EQ(FoldKeyCase("AbC xyZ 09"), "abc xyz 09");
    EXPECT_EQ(FoldKeyCase("ÀÉÖØÞ×"), "àéöøþ×") << "the multiplication sign is no letter";
    EXPECT_EQ(FoldKeyCase("ĀĲŁŊŸŽ"), "āĳłŋÿž");
    EXPECT_EQ(FoldKeyCase("ΑΩ"), "αω");
    EXPECT_EQ(FoldKeyCase("ЖЯЁЂ"), "жяёђ");
    EXPECT_EQ(FoldKeyCase("ＡＺ"), "ａｚ");
    EXPECT_EQ(FoldKeyCase("キー値ßİı"), "キー値ßİı") << "no simple small letter: kept";
}

TEST(KeyCaseTest, KeepsBytesThatAreNotUtf8) {
    EXPECT_EQ(FoldKeyCase("\xff" "A"), "\xff" "a");
    EXPECT_EQ(FoldKeyCase("\xC3" "A"), "\xC3" "a") << "a lead byte without its continuation";
    EXPECT_EQ(FoldKeyCase("\xC0\x80"), "\xC0\x80") << "an overlong form is not decoded";
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
        EXPECT_EQ(error.number(), lumivert::kTypeMismatch);
        EXPECT_EQ(error.description(), "型が一致しません。");
    }
    EXPECT_THROW((void)TaggedValue(3).AsString(), ui::RaisedError);
    EXPECT_THROW((void)TaggedValue().AsObject(), ui::RaisedError);
}

TEST(TaggedValueTest, NumbersReadInTheirShortestDecimalForm) {
    EXPECT_EQ(TaggedValue(1).TextForm(), "1");
    EXPECT_EQ(TaggedValue(-0.0).TextForm(), "0");
    EXPECT_EQ(TaggedValue(0.1).TextForm(), "0.1");
    EXPECT_EQ(TaggedValue(-2147483648).TextForm(), "-2147483648");
    EXPECT_EQ(TaggedValue(1.0 / 3).TextForm(), "0.3333333333333333");
}

} // namespace
