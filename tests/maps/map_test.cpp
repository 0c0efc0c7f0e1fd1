// Both maps against their plain models (tests/maps/*_driver.cpp) on random operation
// sequences, plus what no sequence reaches: the index overflow, running out of memory, and
// the refusal's message.

#include "maps/cls_collection_map.h"
#include "maps/cls_handmade_map.h"
#include "maps/map_errors.h"
#include "tests/maps/map_operation_driver.h"
#include "tests/maps/memory_limit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using maps::TaggedValue;

namespace {

TEST(Maps, RandomOperationsAgreeWithAPlainModel) {
    const maps_testing::DriveReport handmade =
        maps_testing::DriveRandomly(maps_testing::DriveHandmadeMap, 20261206, 300, 3000);
    ASSERT_TRUE(handmade.Agreed()) << handmade.mismatch;
    EXPECT_GT(handmade.newKeys, 1000u);
    EXPECT_GT(handmade.replaced, 1000u);
    const maps_testing::DriveReport collection =
        maps_testing::DriveRandomly(maps_testing::DriveCollectionMap, 61206, 300, 2000);
    ASSERT_TRUE(collection.Agreed()) << collection.mismatch;
    EXPECT_GT(collection.newKeys, 1000u);
    EXPECT_GT(collection.replaced, 1000u);
    EXPECT_GT(collection.rejected, 1000u);
}

TEST(Maps, ErrorsCarryTheirNumberAndMessage) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(ClsHandmadeMap::NextIndex(kMax - 1), kMax);
    try {
        ClsHandmadeMap::NextIndex(kMax);
        ADD_FAILURE() << "no overflow error";
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), maps::kOverflow);
        EXPECT_EQ(error.description(), "オーバーフローしました。");
    }
    ClsCollectionMap map;
    map.PutData("Ab", 1);
    try {
        map.PutData("ab", 2);
        ADD_FAILURE() << "a key differing only in case was stored";
    } catch (const ui::RaisedError& error) {
        EXPECT_EQ(error.number(), maps::kDuplicateKey);
        EXPECT_EQ(error.description(), "このキーは既にこのコレクションの要素に割り当てられています。");
    }
}

// A map that grows until memory runs out raises the out-of-memory error and keeps every
// entry it had; the collection map keeps its two collections in step, so the refused key can
// be stored once memory is back. Which allocation fails first depends on the head room, so
// the collection map's growth is tried with several.
TEST(Maps, GrowthWithoutMemoryRaisesAndKeepsTheEntries) {
    if (!maps_testing::kAddressSpaceLimitFailsAllocations)
        GTEST_SKIP() << "an address-space limit cannot fail allocations under AddressSanitizer";
    const int handmade = maps_testing::ExitCodeInChild([] {
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
            if (error.number() != maps::kOutOfMemory)
                return 3;
        }
        for (std::int32_t key = 0; key < stored; key += 97)
            if (map.KeyIndex(key) != key || map.GetData(key) != -key)
                return 4;
        return map.ContainsKey(stored) ? 5 : 0;
    });
    EXPECT_EQ(handmade, 0) << "2: never ran out, 3: other error, 4: entry lost, 5: entry invented";
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
                if (error.number() != maps::kOutOfMemory)
                    return 3;
            }
            try {
                if (map.ContainsKey(std::to_string(stored)))
                    return 5;
                maps_testing::LiftAddressSpaceLimit();
                map.PutData(std::to_string(stored), stored);
                for (std::int32_t key = 0; key <= stored; key += 97)
                    if (map.KeyIndex(std::to_string(key)) != key + 1 || map.GetData(std::to_string(key)) != TaggedValue(key))
                        return 4;
                const std::string listing = map.ToString();
                if (std::count(listing.begin(), listing.end(), '\n') != stored + 1)
                    return 6;
            } catch (const ui::RaisedError&) {
                return 7;
            }
            return 0;
        });
        ASSERT_EQ(code, 0) << "head room " << headroom << ": 2: never ran out, 3: other error, 4: entry lost, "
                           << "5: entry invented, 6: listing incomplete, 7: collections out of step";
    }
}

} // namespace
