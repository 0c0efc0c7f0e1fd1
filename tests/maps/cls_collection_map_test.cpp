#include "maps/cls_collection_map.h"
#include "maps/map_errors.h"
#include "tests/maps/map_operation_driver.h"
#include "tests/maps/memory_limit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using ui::RaisedError;
using lumivert::TaggedValue;

namespace {

ClsCollectionMap MapOf(std::initializer_list<std::pair<std::string, TaggedValue>> entries) {
    ClsCollectionMap map;
    for (const auto& [key, value] : entries)
        map.PutData(key, value);
    return map;
}

TEST(ClsCollectionMapTest, EmptyMapFindsNothingAndListsNothing) {
    const ClsCollectionMap map;
    EXPECT_EQ(map.KeyIndex("p"), -1);
    EXPECT_EQ(map.KeyIndex(""), -1);
    EXPECT_FALSE(map.ContainsKey("p"));
    EXPECT_TRUE(map.GetData("p").IsEmpty());
    EXPECT_EQ(map.ToString(), "");
}

TEST(ClsCollectionMapTest, ReplacingAValueKeepsTheEntryInPlace) {
    for (const char* replaced : {"p", "q", "r"}) {
        ClsCollectionMap map = MapOf({{"p", 1}, {"q", 2}, {"r", 3}});
        map.PutData(replaced, 9);
        EXPECT_EQ(map.KeyIndex("p"), 1) << replaced;
        EXPECT_EQ(map.KeyIndex("q"), 2) << replaced;
        EXPECT_EQ(map.KeyIndex("r"), 3) << replaced;
        EXPECT_EQ(map.GetData(replaced), TaggedValue(9)) << replaced;
    }
    ClsCollectionMap map = MapOf({{"p", 1}, {"q", 2}, {"r", 3}});
    map.PutData("q", "nine");
    EXPECT_EQ(map.ToString(), "p：1\r\nq：nine\r\nr：3\r\n");
}

TEST(ClsCollectionMapTest, ReplacingTheOnlyEntryKeepsOneEntry) {
    ClsCollectionMap map = MapOf({{"p", 1}});
    map.PutData("p", 5);
    EXPECT_EQ(map.GetData("p"), TaggedValue(5));
    EXPECT_EQ(map.KeyIndex("p"), 1);
    EXPECT_EQ(map.ToString(), "p：5\r\n");
}

TEST(ClsCollectionMapTest, LookupsMatchCaseExactlyButKeysDifferingInCaseAreRefused) {
    ClsCollectionMap map = MapOf({{"Ab", 1}});
    EXPECT_FALSE(map.ContainsKey("ab"));
    EXPECT_EQ(map.KeyIndex("ab"), -1);
    EXPECT_TRUE(map.GetData("ab").IsEmpty());
    try {
        map.PutData("ab", 2);
        FAIL() << "a key differing only in case was stored";
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), lumivert::kDuplicateKey);
        EXPECT_EQ(error.description(), "このキーは既にこのコレクションの要素に割り当てられています。");
    }
    EXPECT_EQ(map.ToString(), "Ab：1\r\n") << "the refused put changed the map";
    map.PutData("Ab", 3);
    EXPECT_EQ(map.ToString(), "Ab：3\r\n") << "the map still works after the refusal";

    ClsCollectionMap wide = MapOf({{"Ｘ", 1}, {"Ω", 2}});
    EXPECT_THROW(wide.PutData("ｘ", 3), ui::RaisedError);
    EXPECT_THROW(wide.PutData("ω", 3), ui::RaisedError);
    EXPECT_EQ(wide.ToString(), "Ｘ：1\r\nΩ：2\r\n");
}

TEST(ClsCollectionMapTest, ToStringListsEveryEntryWithAFullWidthColonAndCrLf) {
    const ClsCollectionMap map = MapOf({{"x", 1}, {"y", "z"}});
    EXPECT_EQ(map.ToString(), "x：1\r\ny：z\r\n");
    const ClsCollectionMap example = MapOf({{"A", 1}, {"B", "C"}});
    EXPECT_EQ(example.ToString(), "A\xEF\xBC\x9A" "1\r\nB\xEF\xBC\x9A" "C\r\n");
}

TEST(ClsCollectionMapTest, EveryKindOfValueIsStoredAndListed) {
    const auto object = std::make_shared<std::string>("shared");
    ClsCollectionMap map;
    map.PutData("empty", TaggedValue());
    map.PutData("half", 0.5);
    map.PutData("big", 1e20);
    map.PutData("negative", -7);
    map.PutData("text", std::string("値"));
    map.PutData("object", object);
    map.PutData("nothing", std::shared_ptr<void>());
    EXPECT_EQ(map.ToString(),
              "empty：\r\nhalf：0.5\r\nbig：100000000000000000000\r\nnegative：-7\r\ntext：値\r\n"
              "object：<object>\r\nnothing：<nothing>\r\n");
    EXPECT_TRUE(map.ContainsKey("empty")) << "an empty value is still an entry";
    EXPECT_EQ(map.GetData("object").AsObject(), object) << "the reference is shared, not copied";
    EXPECT_EQ(map.GetData("negative").AsNumber(), -7);
}

TEST(ClsCollectionMapTest, TheMapKeepsItsOwnCopyOfKeyAndValue) {
    std::string key = "k";
    std::string value = "v";
    ClsCollectionMap map;
    map.PutData(key, value);
    key[0] = 'K';
    value[0] = 'V';
    EXPECT_EQ(map.GetData("k"), TaggedValue("v"));
}

// A map that grows until memory runs out raises the out-of-memory error with its two
// collections still in step: every entry listed, none half stored, and the refused key free
// to be stored once memory is back. Which allocation fails first depends on the head room,
// so the growth is tried with several.
TEST(ClsCollectionMapTest, GrowthWithoutMemoryRaisesAndKeepsTheCollectionsInStep) {
    if (!maps_testing::kAddressSpaceLimitFailsAllocations)
        GTEST_SKIP() << "an address-space limit cannot fail allocations under AddressSanitizer";
    for (rlim_t headroom = 256 << 10; headroom <= 4 << 20; headroom += 256 << 10) {
        const int code = maps_testing::ExitCodeInChild([headroom] {
            ClsCollectionMap map;
            std::int32_t stored = 0;
            try {
                for (; stored < 1000; ++stored)
                    map.PutData(std::to_string(stored), stored);
                maps_testing::LimitAddressSpaceToCurrentUse(headroom);
                for (; stored < 4'000'000; ++stored)
                    map.PutData(std::to_string(stored), stored);
                return 2;
            } catch (const ui::RaisedError& error) {
                if (error.number() != lumivert::kOutOfMemory)
                    return 3;
            }
            try {
                if (map.ContainsKey(std::to_string(stored)))
                    return 5;
                maps_testing::LiftAddressSpaceLimit();
                map.PutData(std::to_string(stored), stored);
                for (std::int32_t key = 0; key <= stored; key += 97) {
                    if (map.KeyIndex(std::to_string(key)) != key + 1 ||
                        map.GetData(std::to_string(key)) != TaggedValue(key))
                        return 4;
                }
                const std::string listing = map.ToString();
                if (std::count(listing.begin(), listing.end(), '\n') != stored + 1)
                    return 6;
            } catch (const ui::RaisedError&) {
                return 7;
            }
            return 0;
        });
        ASSERT_EQ(code, 0) << "head room " << headroom << ": 2: never ran out, 3: other error, "
                           << "4: entry lost, 5: entry invented, 6: listing incomplete, 7: collections out of step";
    }
}

TEST(ClsCollectionMapTest, RandomOperationsAgreeWithAPlainModel) {
    const maps_testing::DriveReport report =
        maps_testing::DriveRandomly(maps_testing::DriveCollectionMap, 61206, 300, 2000);
    ASSERT_TRUE(report.Agreed()) << report.mismatch;
    EXPECT_GT(report.newKeys, 1000u);
    EXPECT_GT(report.replaced, 1000u);
    EXPECT_GT(report.rejected, 1000u);
}

} // namespace
