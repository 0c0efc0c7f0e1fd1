#include "maps/cls_handmade_map.h"
#include "maps/map_errors.h"
#include "tests/maps/map_operation_driver.h"
#include "tests/maps/memory_limit.h"

#include <gtest/gtest.h>

#include <limits>

using ui::RaisedError;

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(ClsHandmadeMapTest, EmptyMapFindsNothing) {
    const ClsHandmadeMap map;
    for (std::int32_t key : {0, -1, 1, kMin, kMax}) {
        EXPECT_EQ(map.KeyIndex(key), -1) << key;
        EXPECT_FALSE(map.ContainsKey(key)) << key;
        EXPECT_EQ(map.GetData(key), 0) << key;
    }
}

TEST(ClsHandmadeMapTest, KeysTakeIndexesInOrderOfFirstPut) {
    ClsHandmadeMap map;
    map.PutData(5, 50);
    map.PutData(7, 70);
    map.PutData(9, 90);
    EXPECT_EQ(map.KeyIndex(5), 0);
    EXPECT_EQ(map.KeyIndex(7), 1);
    EXPECT_EQ(map.KeyIndex(9), 2);
    EXPECT_EQ(map.GetData(9), 90);

    map.PutData(7, -3);
    EXPECT_EQ(map.KeyIndex(7), 1) << "a replaced value keeps its index";
    EXPECT_EQ(map.GetData(7), -3);
    EXPECT_EQ(map.KeyIndex(9), 2);
    EXPECT_EQ(map.KeyIndex(8), -1);
}

TEST(ClsHandmadeMapTest, StoredZeroIsToldApartFromAbsentKeyOnlyByContainsKey) {
    ClsHandmadeMap map;
    map.PutData(3, 0);
    EXPECT_EQ(map.GetData(3), 0);
    EXPECT_TRUE(map.ContainsKey(3));
    EXPECT_EQ(map.GetData(4), 0);
    EXPECT_FALSE(map.ContainsKey(4));
}

TEST(ClsHandmadeMapTest, NegativeAndBoundaryKeysWorkLikeAnyOther) {
    ClsHandmadeMap map;
    map.PutData(-1, 11);
    map.PutData(kMin, 12);
    map.PutData(kMax, 13);
    map.PutData(-2, -1);
    EXPECT_EQ(map.KeyIndex(-1), 0);
    EXPECT_EQ(map.GetData(-1), 11);
    EXPECT_EQ(map.KeyIndex(kMin), 1);
    EXPECT_EQ(map.GetData(kMin), 12);
    EXPECT_EQ(map.KeyIndex(kMax), 2);
    EXPECT_EQ(map.GetData(kMax), 13);
    EXPECT_EQ(map.GetData(-2), -1) << "a stored -1 is a value like any other";
    EXPECT_TRUE(map.ContainsKey(-1));
}

TEST(ClsHandmadeMapTest, ThePaletteSizedMapKeepsEveryIndex) {
    // The use the map is made for: 24-bit colours to the 256 indexes of a palette.
    ClsHandmadeMap map;
    for (std::int32_t i = 0; i < 256; ++i)
        map.PutData(i * 0x010101, i);
    for (std::int32_t i = 0; i < 256; ++i) {
        ASSERT_EQ(map.KeyIndex(i * 0x010101), i);
        ASSERT_EQ(map.GetData(i * 0x010101), i);
    }
    EXPECT_EQ(map.KeyIndex(0x00FFFFFF + 1), -1);
}

TEST(ClsHandmadeMapTest, IndexAfterTheLargestRaisesOverflow) {
    EXPECT_EQ(ClsHandmadeMap::NextIndex(-1), 0);
    EXPECT_EQ(ClsHandmadeMap::NextIndex(kMax - 1), kMax);
    try {
        ClsHandmadeMap::NextIndex(kMax);
        FAIL() << "no overflow error";
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), lumivert::kOverflow);
        EXPECT_EQ(error.description(), "オーバーフローしました。");
    }
}

// A map that grows until memory runs out raises the out-of-memory error and keeps every
// entry it had.
TEST(ClsHandmadeMapTest, GrowthWithoutMemoryRaisesAndKeepsTheEntries) {
    if (!maps_testing::kAddressSpaceLimitFailsAllocations)
        GTEST_SKIP() << "an address-space limit cannot fail allocations under AddressSanitizer";
    const int code = maps_testing::ExitCodeInChild([] {
        ClsHandmadeMap map;
        std::int32_t stored = 0;
        try {
            for (; stored < 1000; ++stored)
                map.PutData(stored, -stored);
            maps_testing::LimitAddressSpaceToCurrentUse(1 << 20);
            for (; stored < 4'000'000; ++stored)
                map.PutData(stored, -stored);
            return 2;
        } catch (const ui::RaisedError& error) {
            if (error.number() != lumivert::kOutOfMemory)
                return 3;
        }
        for (std::int32_t key = 0; key < stored; key += 97) {
            if (map.KeyIndex(key) != key || map.GetData(key) != -key)
                return 4;
        }
        return map.ContainsKey(stored) ? 5 : 0;
    });
    EXPECT_EQ(code, 0) << "2: never ran out, 3: other error, 4: entry lost, 5: entry invented";
}

TEST(ClsHandmadeMapTest, RandomOperationsAgreeWithAPlainModel) {
    const maps_testing::DriveReport report =
        maps_testing::DriveRandomly(maps_testing::DriveHandmadeMap, 20261206, 300, 3000);
    ASSERT_TRUE(report.Agreed()) << report.mismatch;
    EXPECT_GT(report.newKeys, 1000u);
    EXPECT_GT(report.replaced, 1000u);
}

} // namespace
