// Both maps against a plain model on random operation sequences, and what those never reach.

#include "maps/cls_collection_map.h"
#include "maps/cls_handmade_map.h"
#include "maps/key_case.h"
#include "tests/maps/map_operation_driver.h"
#include "tests/sanitized_build.h"
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using maps::TaggedValue;
using test_support::ExitCodeInChild;

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

std::string Utf8(const std::u32string& text) {
    std::string out;
    for (const char32_t c : text) {
        const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(tail == 0 ? c : ((0xFF80 >> tail) & 0xFF) | c >> 6 * tail);
        for (int i = tail - 1; i >= 0; --i)
            out += static_cast<char>(0x80 | (c >> 6 * i & 0x3F));
    }
    return out;
}

// Unicode's full foldings (C, F) apply and fold to themselves; all else, Turkic (T) too, stays.
TEST(KeyCase, FoldsByEveryEntryOfUnicodesCaseFoldingData) {
    std::ifstream data(LUMIVERT_CASE_FOLDING_FILE);
    ASSERT_TRUE(data) << LUMIVERT_CASE_FOLDING_FILE;
    std::set<char32_t> folding;
    for (std::string line; std::getline(data, line);) {
        unsigned from = 0;
        char status = 0, mapping[64] = {};
        if (std::sscanf(line.c_str(), "%x; %c; %63[^;]", &from, &status, mapping) != 3 || (status != 'C' && status != 'F'))
            continue;
        std::u32string to;
        std::istringstream points(mapping);
        for (unsigned point = 0; points >> std::hex >> point;)
            to += static_cast<char32_t>(point);
        folding.insert(static_cast<char32_t>(from));
        EXPECT_EQ(maps::FoldKeyCase(Utf8({static_cast<char32_t>(from)})), Utf8(to)) << std::hex << from;
        EXPECT_EQ(maps::FoldKeyCase(Utf8(to)), Utf8(to)) << std::hex << from;
    }
    EXPECT_GT(folding.size(), 1400u);
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if ((c < 0xD800 || c > 0xDFFF) && !folding.contains(c)) {
            ASSERT_EQ(maps::FoldKeyCase(Utf8({c})), Utf8({c})) << std::hex << static_cast<unsigned>(c);
        }
    }
    // Bytes that are not UTF-8 (a lone lead byte, overlong and cut forms, a surrogate) stay.
    for (const std::string bytes : {"\xff" "A", "\xC3" "A", "\xC0\x80", "\xE0\x83\x80", "\xED\xA0\x80", "\xE3\x82"}) {
        const bool folds = bytes.back() == 'A';
        EXPECT_EQ(maps::FoldKeyCase(bytes), folds ? bytes.substr(0, bytes.size() - 1) + "a" : bytes);
    }
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

// Caps the address space at its present use plus headroom, or lifts the cap.
void CapAddressSpace(std::optional<rlim_t> headroom) {
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = limit.rlim_max;
    if (headroom) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        limit.rlim_cur = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE)) + *headroom;
    }
    ::setrlimit(RLIMIT_AS, &limit);
}

// Grows the map under a cap up to the out-of-memory error: 0, else what failed.
template <class Map, class Key>
int GrowWithoutMemory(rlim_t headroom, Key (*key)(std::int32_t)) {
    Map map;
    std::int32_t stored = 0;
    try {
        for (; stored < 4'000'000; ++stored) {
            if (stored == 1000)
                CapAddressSpace(headroom);
            map.PutData(key(stored), stored);
        }
        return 2;
    } catch (const report::RaisedError& error) {
        if (error.number() != maps::kOutOfMemory)
            return 3;
    }
    CapAddressSpace(std::nullopt);
    if (map.ContainsKey(key(stored)))
        return 5;
    map.PutData(key(stored), stored); // an error here aborts the child
    const std::int32_t first = map.KeyIndex(key(0));
    for (std::int32_t i = stored % 97; i <= stored; i += 97)
        if (map.KeyIndex(key(i)) != first + i || !(map.GetData(key(i)) == i))
            return 4;
    return map.ContainsKey(key(stored + 1)) ? 5 : 0;
}

// Several headrooms make different allocations of the collection map fail first.
TEST(Maps, GrowthWithoutMemoryRaisesAndKeepsTheEntries) {
    if (lumivert::testing::kAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer's heap lies in a region reserved at start: a cap never fails it";
    const char* kCodes = ": 2: never ran out, 3: other error, 4: entry lost, 5: entry invented, -1: refused later";
    EXPECT_EQ(ExitCodeInChild([] { return GrowWithoutMemory<ClsHandmadeMap>(1 << 20, +[](std::int32_t i) { return i; }); }), 0)
        << kCodes;
    for (rlim_t headroom = 256 << 10; headroom <= 4 << 20; headroom += 256 << 10) {
        const auto text = +[](std::int32_t i) { return std::to_string(i); };
        EXPECT_EQ(ExitCodeInChild([&] { return GrowWithoutMemory<ClsCollectionMap>(headroom, text); }), 0) << headroom << kCodes;
    }
}

} // namespace
